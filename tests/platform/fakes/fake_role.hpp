#pragma once
// What the role fakes have in common. Each role fake is a layer over the role it
// implements: alone it stands on FakeRole<TheRole>; FakePlatform stacks all nine
// over FakeRole<PlatformServices>, so each method of a role is written once, in
// its own fake. Every layer sees the one clock and the one call log it was built with.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fakes/fake_clock.hpp"
#include "platform/text.hpp"

namespace tarrow::testing {

// The significant calls of every role in order, for order tests. Its lock also
// guards what worker threads touch: speech, boxes, events, workers and files.
struct FakeCallLog {
    std::vector<std::string> calls;
    std::mutex lock;
};

// Readable output for calls and gtest failures.
inline std::string Narrow(std::u16string_view text) { return Utf16ToUtf8(text); }

// The bottom of every stack of role fakes: `Role` is one role, or PlatformServices.
template <class Role>
class FakeRole : public Role {
public:
    FakeRole(FakeClock& clock, FakeCallLog& log) : clock_(clock), log_(log) {}

protected:
    FakeClock& clock_;
    FakeCallLog& log_;
};

}  // namespace tarrow::testing
