// The main loop sleeps until something is due instead of polling every
// millisecond; these check that what is heard, and when, does not change.

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>

#include "app/application.hpp"
#include "app/release_profile.hpp"
#include "platform/fake_platform.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using enum MonitorName;

size_t Count(const FakePlatform& fake, const std::string& call) {
    return static_cast<size_t>(std::count(fake.calls.begin(), fake.calls.end(), call));
}

// The loop as it would run with a fixed 1-ms wait on every pass.
LoopControl PollingPass(Application& app) {
    MonitorPass(app.platform, app.speech, app.processes, app.monitors, app.cues);
    const int64_t now = app.platform.facts.NowMs();
    if (now >= app.lastRefreshTime + app.refreshInterval) {
        app.lastRefreshTime = now;
        RefreshProcessList(app.platform, app.processes);
    }
    return Dispatch(app, app.platform.window.WaitEvent(1));
}

struct Trace {
    std::vector<std::string> calls;
    std::vector<int64_t> spokenAt;
    std::vector<int64_t> playedAt;
    int passes = 0;
};

// A busy few seconds: three monitors with their own intervals, figures that
// move with the clock, hotkeys at odd moments, a toggle and a refresh period.
Trace RunScenario(const std::function<LoopControl(Application&)>& pass) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    fake.AddProcess(42, u"app.exe", 64 << 20);
    Application app(fake, testing::ReleaseProfile());
    EXPECT_TRUE(Startup(app));
    app.monitors[PcMemory].enabled = 1;
    app.monitors[PcMemory].interval = 700;
    app.monitors[PcBattery].enabled = 1;
    app.monitors[PcBattery].interval = 1500;
    app.monitors[PcCpu].interval = 333;
    fake.PushHotkey(13, 1234);
    fake.PushHotkey(24, 1266);  // PC CPU monitor on
    fake.PushHotkey(26, 2000);
    fake.PushHotkey(24, 4100);  // and off again
    fake.PushHotkey(23, 1);
    Trace trace;
    while (fake.now < 12000) {
        fake.memory = {16ull << 30, (12ull << 30) - static_cast<uint64_t>(fake.now / 100) * (40 << 20)};
        fake.power = {static_cast<uint8_t>(fake.now < 6000 ? 1 : 0),
                      static_cast<uint8_t>(100 - fake.now / 400)};
        fake.processes[0].cpuTime = static_cast<uint64_t>(fake.now) * 20000;
        if (pass(app) != LoopControl::Continue) break;
        ++trace.passes;
    }
    trace.calls = fake.calls;
    trace.spokenAt = fake.spokenAt;
    trace.playedAt = fake.playedAt;
    return trace;
}

TEST(LoopWait, WhatIsHeardAndWhenMatchesAOneMillisecondPoll) {
    const Trace polling = RunScenario(PollingPass);
    const Trace waiting = RunScenario(RunPass);
    EXPECT_EQ(waiting.calls, polling.calls);
    EXPECT_EQ(waiting.spokenAt, polling.spokenAt);
    EXPECT_EQ(waiting.playedAt, polling.playedAt);
    EXPECT_GT(waiting.spokenAt.size(), 10u);
    EXPECT_GT(waiting.playedAt.size(), 4u);
    // The same story in far fewer passes.
    EXPECT_GT(polling.passes, 11000);
    EXPECT_LT(waiting.passes, 150);
}

TEST(LoopWait, IdleLoopWakesOnlyForTheRefresh) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    const size_t atStart = Count(fake, "TakeProcessSnapshot");
    RunPass(app);
    EXPECT_EQ(fake.now, 5000);  // one wait to the refresh's due time
    RunPass(app);
    EXPECT_EQ(Count(fake, "TakeProcessSnapshot"), atStart + 1);
    EXPECT_EQ(app.lastRefreshTime, 5000);
    EXPECT_EQ(fake.now, 10000);
}

TEST(LoopWait, AMonitorStillFiresAtItsDueTime) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    app.monitors[PcMemory].enabled = 1;
    app.monitors[PcMemory].interval = 1000;
    RunPass(app);
    EXPECT_EQ(fake.now, 1000);
    RunPass(app);
    ASSERT_EQ(fake.spoken.size(), 2u);
    EXPECT_EQ(fake.spoken.back().text, u"4.00 GB RAM");
    EXPECT_EQ(fake.spokenAt.back(), 1000);
}

TEST(LoopWait, AHotkeyIsStillAnsweredAtOnce) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    fake.PushHotkey(13, 300);
    while (fake.spoken.size() < 2 && fake.now < 10000) RunPass(app);
    EXPECT_EQ(fake.spoken.back().text, u"CPU: 0%");
    EXPECT_EQ(fake.spokenAt.back(), 300);
}

TEST(LoopWait, AnIntervalOfZeroStillFiresEveryMillisecond) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    app.monitors[PcMemory].enabled = 1;
    app.monitors[PcMemory].interval = 0;
    app.monitors[PcMemory].threshold = -1;
    for (int i = 0; i < 10; ++i) RunPass(app);
    EXPECT_EQ(fake.now, 10);
    EXPECT_EQ(fake.spoken.size(), 11u);  // the welcome and one per pass
}

}  // namespace
}  // namespace tarrow
