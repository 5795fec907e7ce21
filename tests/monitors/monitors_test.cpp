#include <gtest/gtest.h>

#include <limits>

#include "monitors/monitors.hpp"
#include "platform/fake_platform.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::SpokenText;
using enum MonitorName;

constexpr int64_t kMiB = 1 << 20;

class MonitorTest : public ::testing::Test {
protected:
    MonitorTest() : speech(fake) {
        InitMonitors(monitors, 0);
        cues = {10, 11, 12, 13, 14};  // up, down, cpu, memory, battery
    }

    // Moves the clock and runs one monitor pass.
    void PassAt(int64_t now) {
        fake.now = now;
        MonitorPass(fake, speech, processes, monitors, cues);
    }

    void SetTotalCpu(double a, double b) {
        processes.list.entries = {{u"a.exe", 1, a, 100}, {u"b.exe", 1, b, 200}};
    }

    void Toggle(MonitorName name) { ToggleMonitor(name, fake, fake, speech, processes, monitors); }

    // In-use memory of the machine, with 16 GiB in total.
    void SetUsedMemory(uint64_t used) { fake.memory = {16ull << 30, (16ull << 30) - used}; }

    std::vector<SpokenText> Take() {
        std::vector<SpokenText> out = std::move(fake.spoken);
        fake.spoken.clear();
        return out;
    }

    std::vector<CueId> TakeCues() {
        std::vector<CueId> out = std::move(fake.played);
        fake.played.clear();
        return out;
    }

    FakePlatform fake;
    SpeechOutput speech;
    ProcessState processes;
    Monitors monitors;
    SoundCues cues;
};

TEST_F(MonitorTest, AMoveEqualToTheThresholdStaysSilentAndOneMoreIsAnnounced) {
    monitors[PcCpu].enabled = 1;
    SetTotalCpu(4, 6);
    PassAt(5000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"10 CPU", false}}));
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.up, cues.cpu}));
    SetTotalCpu(6, 6);
    PassAt(10000);
    EXPECT_TRUE(Take().empty());
    EXPECT_TRUE(TakeCues().empty());
    SetTotalCpu(6, 7);
    PassAt(15000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"13 CPU", false}}));
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.up, cues.cpu}));
    SetTotalCpu(5, 5);
    PassAt(20000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"10 CPU", false}}));
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.down, cues.cpu}));
}

TEST_F(MonitorTest, ASlowDriftIsAnnouncedOnTheThirdSampleThenCountsFromThere) {
    monitors[PcCpu].enabled = 1;
    monitors[PcCpu].lastAnnounced = 10;
    int64_t now = 0;
    std::vector<std::u16string> heard;
    for (double figure = 11; figure <= 16; ++figure) {
        SetTotalCpu(figure, 0);
        PassAt(now += 5000);
        for (const auto& s : Take()) heard.push_back(s.text);
        heard.push_back(u"|");
    }
    // 11 12 13* 14 15 16*
    EXPECT_EQ(heard, (std::vector<std::u16string>{u"|", u"|", u"13 CPU", u"|", u"|", u"|",
                                                  u"16 CPU", u"|"}));
}

TEST_F(MonitorTest, AMonitorWaitsItsWholeIntervalAndCountsFromItsLastSample) {
    monitors[PcMemory].enabled = 1;
    monitors[PcMemory].interval = 1000;
    SetUsedMemory(4ull << 30);
    PassAt(999);
    EXPECT_TRUE(Take().empty());
    PassAt(1003);
    EXPECT_EQ(Take().size(), 1u);
    SetUsedMemory(6ull << 30);
    PassAt(2002);
    EXPECT_TRUE(Take().empty());
    PassAt(2003);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"6.00 GB RAM", false}}));
}

TEST_F(MonitorTest, FirstPcMemoryTickSpeaksRisingWithTheMemoryCue) {
    Settings settings;
    settings.pc_memory_monitor = 1;
    ApplySettings(monitors, settings);
    fake.memory = {8ull << 30, 4ull << 30};
    PassAt(4999);
    EXPECT_TRUE(fake.spoken.empty());
    PassAt(5000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"4.00 GB RAM", false}}));
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.up, cues.memory}));
    EXPECT_EQ(monitors[PcMemory].lastAnnounced, 4096);
}

TEST_F(MonitorTest, AFailedMemoryReadingSkipsTheTickAndIsNoFigure) {
    monitors[PcMemory].enabled = 1;
    monitors[PcMemory].lastAnnounced = 4096;
    fake.memory = {0, 0};
    PassAt(5000);
    EXPECT_TRUE(Take().empty());  // not "0.00 B RAM" with the falling cue
    EXPECT_TRUE(TakeCues().empty());
    EXPECT_EQ(monitors[PcMemory].lastAnnounced, 4096);
    EXPECT_EQ(monitors[PcMemory].lastSampleTime, 5000);  // the next try is one interval on
    SetUsedMemory(4ull << 30);
    PassAt(9999);
    EXPECT_TRUE(Take().empty());
    SetUsedMemory(6ull << 30);
    PassAt(10000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"6.00 GB RAM", false}}));
}

TEST_F(MonitorTest, MemoryIsCountedInWholeMebibytesThroughSinglePrecision) {
    // 16 GiB + 1.5 MiB - 1 byte is 16 GiB + 1.5 MiB in single precision, and
    // the half rounds up: 16386 MiB (in double it would be 16385).
    EXPECT_EQ(WholeMebibytes(static_cast<float>((16ull << 30) + 3 * kMiB / 2 - 1)), 16386);
    EXPECT_EQ(WholeMebibytes(static_cast<float>(5 * kMiB / 2)), 3);
    EXPECT_EQ(WholeMebibytes(static_cast<float>(kMiB / 2 - 1)), 0);
    EXPECT_EQ(InUseBytes(8, 3), 5);
    EXPECT_EQ(InUseBytes(3, 8), 0);  // more free than total: nothing in use, no wrap
}

TEST_F(MonitorTest, FocusedMemoryAsksTheReversedDirectionQuestion) {
    // Only a negative threshold lets an unchanged figure through; then the
    // PC memory monitor falls and the focused-process memory monitor rises.
    monitors[PcMemory].enabled = 1;
    monitors[PcMemory].threshold = -1;
    monitors[PcMemory].lastAnnounced = 4096;
    SetUsedMemory(4ull << 30);
    PassAt(5000);
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.down, cues.memory}));

    fake.AddProcess(42, u"app.exe", 100 * kMiB);
    processes.focusedPid = 42;
    monitors[PcMemory].enabled = 0;
    monitors[FocusedMemory].enabled = 1;
    monitors[FocusedMemory].threshold = -1;
    monitors[FocusedMemory].lastAnnounced = 100;
    PassAt(10000);
    EXPECT_EQ(Take().back(), (SpokenText{u"100.00 MB Memory", false}));
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.up, cues.memory}));
}

TEST_F(MonitorTest, BatteryOnMainsSpeaksItsStatusTwiceAtTheFirstTick) {
    monitors[PcBattery].enabled = 1;
    fake.power = {1, 85};
    PassAt(10000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"85% Charging", false}, {u"85% Charging", false}}));
    // The status first (power line 0 -> 1, no cue), then the cues, then again.
    std::vector<std::string> order;
    for (const auto& c : fake.calls)
        if (c.rfind("Speak", 0) == 0 || c.rfind("PlayCue", 0) == 0) order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"Speak 85% Charging", "PlayCue 10", "PlayCue 14",
                                               "Speak 85% Charging"}));
    TakeCues();
    PassAt(20000);
    EXPECT_TRUE(Take().empty());
    fake.power = {0, 80};  // unplugged, 5 points down: the line alone speaks
    PassAt(30000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"80% Not Charging", false}}));
    EXPECT_TRUE(TakeCues().empty());
    fake.power = {0, 74};
    PassAt(40000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"74% Not Charging", false}}));
    EXPECT_EQ(TakeCues(), (std::vector<CueId>{cues.down, cues.battery}));
    EXPECT_EQ(monitors.lastPowerLine, 0);
}

TEST_F(MonitorTest, NoBatteryFromTheToggleAndFromARunningMonitor) {
    fake.power = {1, 255};
    Toggle(PcBattery);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"No battery", false}}));
    EXPECT_EQ(monitors[PcBattery].enabled, 0);

    monitors[PcBattery].enabled = 1;
    PassAt(10000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"No battery", false}}));
    EXPECT_EQ(monitors[PcBattery].enabled, 0);
    EXPECT_TRUE(fake.played.empty());
    PassAt(30000);
    EXPECT_TRUE(Take().empty());
    // Neither road stores the switch.
    for (const auto& c : fake.calls) EXPECT_EQ(c.find("prefs.ini"), std::string::npos) << c;
}

TEST_F(MonitorTest, FocusedTogglesRefuseWithoutAFocusedProcess) {
    monitors[FocusedCpu].enabled = 1;
    Toggle(FocusedCpu);
    Toggle(FocusedMemory);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"No focused process", false},
                                               {u"No focused process", false}}));
    EXPECT_EQ(monitors[FocusedCpu].enabled, 0);
    EXPECT_EQ(monitors[FocusedMemory].enabled, 0);
}

TEST_F(MonitorTest, FocusedMonitorsSwitchThemselvesOffWhenTheProcessCloses) {
    fake.AddProcess(42, u"app.exe", 100 * kMiB);
    processes.focusedPid = 42;
    Toggle(FocusedCpu);
    Toggle(FocusedMemory);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"Focused Process CPU Monitor on", true},
                                               {u"Focused Process memory Monitor on", true}}));
    PassAt(5000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"100.00 MB Memory", false}}));
    fake.processes.clear();
    PassAt(10000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"Focused process closed. Monitor off.", false},
                                               {u"Focused process closed. Memory monitor off.",
                                                false}}));
    EXPECT_EQ(monitors[FocusedCpu].enabled, 0);
    EXPECT_EQ(monitors[FocusedMemory].enabled, 0);
    EXPECT_TRUE(TakeCues().size() == 2u);  // only the earlier memory announcement's
    // A new process with the same PID is not followed until switched on again.
    fake.AddProcess(42, u"app.exe", 300 * kMiB);
    PassAt(20000);
    EXPECT_TRUE(Take().empty());
}

TEST_F(MonitorTest, FocusedTogglesSwitchOffAndNeverSave) {
    fake.AddProcess(42, u"app.exe", 100 * kMiB);
    processes.focusedPid = 42;
    for (int i = 0; i < 2; ++i) {
        Toggle(FocusedCpu);
        Toggle(FocusedMemory);
    }
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"Focused Process CPU Monitor on", true},
                                               {u"Focused Process memory Monitor on", true},
                                               {u"Focused Process CPU Monitor off", true},
                                               {u"Focused Process memory Monitor off", true}}));
    for (const auto& c : fake.calls) EXPECT_EQ(c.find("prefs.ini"), std::string::npos) << c;
    EXPECT_TRUE(fake.files.empty());
}

TEST_F(MonitorTest, LastAnnouncedValuesSurviveAChangeOfFocus) {
    fake.AddProcess(42, u"first.exe", 100 * kMiB);
    fake.AddProcess(43, u"second.exe", 103 * kMiB);
    processes.focusedPid = 42;
    Toggle(FocusedMemory);
    PassAt(5000);
    EXPECT_EQ(Take().back(), (SpokenText{u"100.00 MB Memory", false}));
    processes.focusedPid = 43;  // 3 MiB from the first process's figure: silent
    PassAt(10000);
    EXPECT_TRUE(Take().empty());
    fake.FindProcess(43)->workingSet = 106 * kMiB;
    PassAt(15000);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"106.00 MB Memory", false}}));
    // Off and on again keeps it too.
    Toggle(FocusedMemory);
    Toggle(FocusedMemory);
    Take();
    fake.FindProcess(43)->workingSet = 110 * kMiB;
    PassAt(20000);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(monitors[FocusedMemory].lastAnnounced, 106);
}

TEST_F(MonitorTest, FocusedCpuCountsItsIntervalFromAfterItsFirstRefresh) {
    fake.AddProcess(42, u"app.exe", 100 * kMiB);
    processes.focusedPid = 42;
    fake.snapshotDurationMs = 7;  // each snapshot takes 7 ms
    monitors[FocusedCpu].enabled = 1;
    PassAt(5000);
    EXPECT_EQ(monitors[FocusedCpu].lastSampleTime, 5007);
    EXPECT_EQ(fake.now, 5014);
    monitors[FocusedCpu].enabled = 0;
    monitors[FocusedMemory].enabled = 1;
    PassAt(5000);
    EXPECT_EQ(monitors[FocusedMemory].lastSampleTime, 5000);
}

TEST_F(MonitorTest, SeveralMonitorsSpeakInPassOrder) {
    fake.AddProcess(42, u"app.exe", 100 * kMiB);
    processes.focusedPid = 42;
    for (Monitor& m : monitors.byName) {
        m.enabled = 1;
        m.interval = 5000;
        m.threshold = -1;  // every sample speaks
    }
    fake.power = {0, 50};
    SetUsedMemory(2ull << 30);
    PassAt(5000);
    std::vector<std::u16string> texts;
    for (const auto& s : Take()) texts.push_back(s.text);
    // The focused-process refresh leaves this process's first CPU figure at 0.
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"0 CPU", u"100.00 MB Memory", u"0 CPU",
                                                  u"2.00 GB RAM", u"50% Not Charging"}));
}

TEST_F(MonitorTest, OddIntervalsAndThresholds) {
    // Interval 0 samples on every pass; a negative threshold speaks every sample.
    monitors[PcMemory].enabled = 1;
    monitors[PcMemory].interval = 0;
    monitors[PcMemory].threshold = -5;
    SetUsedMemory(1ull << 30);
    PassAt(0);
    PassAt(0);
    PassAt(1);
    EXPECT_EQ(Take().size(), 3u);
    // A huge interval never comes round: no overflow into "always due".
    monitors[PcMemory].interval = std::numeric_limits<int64_t>::max();
    monitors[PcMemory].lastSampleTime = 10;
    PassAt(20);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(NextMonitorDue(monitors), std::numeric_limits<int64_t>::max());
    monitors[PcMemory].interval = std::numeric_limits<int64_t>::min();
    PassAt(30);
    EXPECT_EQ(Take().size(), 1u);
}

TEST_F(MonitorTest, NextDueIsTheEarliestEnabledMonitor) {
    EXPECT_EQ(NextMonitorDue(monitors), std::numeric_limits<int64_t>::max());
    monitors[PcBattery].enabled = 1;  // 10000
    monitors[PcMemory].enabled = 2;   // not on: ignored
    monitors[PcMemory].interval = 10;
    EXPECT_EQ(NextMonitorDue(monitors), 10000);
    monitors[FocusedCpu].enabled = 1;
    monitors[FocusedCpu].lastSampleTime = 300;
    monitors[FocusedCpu].interval = 4000;
    EXPECT_EQ(NextMonitorDue(monitors), 4300);
}

TEST_F(MonitorTest, PcTogglesSpeakTheirTextsAndSaveEveryPress) {
    fake.power = {1, 90};
    for (int i = 0; i < 2; ++i) {
        Toggle(PcCpu);
        Toggle(PcMemory);
        Toggle(PcBattery);
    }
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"PC CPU Monitor on", true},
                                               {u"PC memory Monitor on", true},
                                               {u"PC battery Monitor on", true},
                                               {u"PC CPU Monitor off", true},
                                               {u"PC memory Monitor off", true},
                                               {u"PC battery Monitor off", true}}));
    size_t writes = 0;
    for (const auto& c : fake.calls)
        if (c == "ReplaceFile prefs.ini" || c == "OpenOutputFile prefs.ini") ++writes;
    EXPECT_EQ(writes, 6u);
}

TEST_F(MonitorTest, PcToggleStoresTheSwitchesInPrefs) {
    fake.files[u"prefs.ini"] =
        "\xEF\xBB\xBF\r\n[general]\r\nmodifier = control+alt+shift\r\n[monitors]\r\n"
        "pc_cpu_monitor = 0\r\npc_memory_monitor = 0\r\npc_battery_monitor = 0\r\n";
    Toggle(PcMemory);
    const std::string& file = fake.files[u"prefs.ini"];
    EXPECT_NE(file.find("pc_memory_monitor = 1\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("pc_cpu_monitor = 0\r\n"), std::string::npos) << file;
}

TEST_F(MonitorTest, ASwitchOtherThanZeroOrOneIsLeftAlone) {
    fake.files[u"prefs.ini"] =
        "\xEF\xBB\xBF\r\n[general]\r\nmodifier = control+alt+shift\r\n[monitors]\r\n"
        "pc_cpu_monitor = 2\r\n";
    Settings settings;
    LoadSettings(fake, settings);
    ApplySettings(monitors, settings);
    EXPECT_EQ(monitors[PcCpu].enabled, 2);
    processes.list.entries = {{u"a.exe", 1, 50, 100}};
    for (int64_t now = 5000; now <= 30000; now += 5000) PassAt(now);
    EXPECT_TRUE(Take().empty());
    Toggle(PcCpu);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(monitors[PcCpu].enabled, 2);
    const std::string& file = fake.files[u"prefs.ini"];
    EXPECT_NE(file.find("pc_cpu_monitor = 2\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("pc_memory_monitor = 0\r\n"), std::string::npos) << file;
}

TEST_F(MonitorTest, SwitchingOnKeepsTheOldSampleTimeAndLastFigure) {
    monitors[PcMemory].enabled = 1;
    SetUsedMemory(1ull << 30);
    PassAt(5000);
    Take();
    Toggle(PcMemory);  // off at 5000
    SetUsedMemory(2ull << 30);
    fake.now = 60000;
    Toggle(PcMemory);  // on again, long overdue
    Take();
    PassAt(60001);
    EXPECT_EQ(Take(), (std::vector<SpokenText>{{u"2.00 GB RAM", false}}));
    EXPECT_EQ(monitors[PcMemory].lastSampleTime, 60001);
}

TEST_F(MonitorTest, ApplySettingsTakesSwitchesIntervalsAndThresholds) {
    Settings s;
    s.pc_cpu_monitor = 1;
    s.pc_memory_monitor = 7;
    s.pc_battery_monitor = -1;
    s.fp_memory_time = 11;
    s.fp_cpu_time = 12;
    s.pc_cpu_time = 13;
    s.pc_memory_time = 14;
    s.pc_battery_time = 15;
    s.fp_memory_diff = 21;
    s.fp_cpu_diff = 22;
    s.pc_cpu_diff = 23;
    s.pc_memory_diff = 24;
    s.pc_battery_diff = 25;
    ApplySettings(monitors, s);
    EXPECT_EQ(monitors[PcCpu].enabled, 1);
    EXPECT_EQ(monitors[PcMemory].enabled, 7);
    EXPECT_EQ(monitors[PcBattery].enabled, -1);
    EXPECT_EQ(monitors[FocusedCpu].enabled, 0);
    const Monitor* all[] = {&monitors[FocusedMemory], &monitors[FocusedCpu], &monitors[PcCpu],
                            &monitors[PcMemory], &monitors[PcBattery]};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(all[i]->interval, 11 + i);
        EXPECT_EQ(all[i]->threshold, 21 + i);
    }
}

}  // namespace
}  // namespace tarrow
