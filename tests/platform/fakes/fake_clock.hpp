#pragma once
// The scripted time the role fakes share. Nothing sleeps: a wait, an open box or
// a snapshot moves it, and a test sets it.

#include <cstdint>

namespace tarrow::testing {

struct FakeClock {
    int64_t now = 0;  // the millisecond clock
};

}  // namespace tarrow::testing
