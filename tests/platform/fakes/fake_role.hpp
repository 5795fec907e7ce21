#pragma once
// What the role fakes have in common. Each role fake is a layer over the role it
// implements: alone it stands on FakeRole<TheRole>; FakePlatform stacks all nine
// over FakeRole<PlatformServices>, so each method of a role is written once, in
// its own fake. Every layer sees the one clock and the one call log it was built
// with; FakeAssembly gives a stack its own.

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

    // A copy of a record that worker threads may still be writing.
    template <class Record>
    Record Locked(const Record& record) const {
        std::lock_guard<std::mutex> guard(log_.lock);
        return record;
    }

protected:
    FakeClock& clock_;
    FakeCallLog& log_;
};

// A stack of role fakes with the clock and the call log its layers share: all
// nine (FakePlatform), or one role's fake alone, to stand beside real roles.
template <class Fakes>
class FakeAssembly : public FakeClock, private FakeCallLog, public Fakes {
public:
    FakeAssembly() : Fakes(*this, *this) {}

    using FakeCallLog::calls;  // significant calls in order, for order tests
};

}  // namespace tarrow::testing
