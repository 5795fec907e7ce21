#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>

#include "app/application.hpp"
#include "app/release_profile.hpp"
#include "platform/fake_platform.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::SpokenText;

const std::u16string kWelcome = u"Welcome to Tarrow version 1.0.7, Build 222!";

std::vector<std::string> CallsStartingWith(const FakePlatform& fake, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& c : fake.calls)
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

size_t IndexOf(const FakePlatform& fake, const std::string& call) {
    const auto it = std::find(fake.calls.begin(), fake.calls.end(), call);
    EXPECT_NE(it, fake.calls.end()) << call;
    return static_cast<size_t>(it - fake.calls.begin());
}

TEST(Startup, RunsItsStepsInOrderAndWelcomesFirst) {
    FakePlatform fake;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    EXPECT_EQ(CallsStartingWith(fake, "LoadCue"),
              (std::vector<std::string>{"LoadCue snd/up.wav", "LoadCue snd/down.wav",
                                        "LoadCue snd/CPU.wav", "LoadCue snd/memory.wav",
                                        "LoadCue snd/battery.wav"}));
    EXPECT_LT(IndexOf(fake, "InitServices"), IndexOf(fake, "StartAudio"));
    EXPECT_LT(IndexOf(fake, "LoadCue snd/battery.wav"), IndexOf(fake, "CreateHiddenWindow Tarrow Desk"));
    EXPECT_LT(IndexOf(fake, "CreateHiddenWindow Tarrow Desk"), IndexOf(fake, "AddTrayIcon Tarrow"));
    EXPECT_LT(IndexOf(fake, "AddTrayIcon Tarrow"), IndexOf(fake, "CreateTrayMenu 0 Exit"));
    EXPECT_LT(IndexOf(fake, "CreateTrayMenu 0 Exit"), IndexOf(fake, "RegisterHotkey 0"));
    EXPECT_LT(IndexOf(fake, "RegisterHotkey 29"), IndexOf(fake, "LoadSpeech"));
    EXPECT_LT(IndexOf(fake, "LoadSpeech"), IndexOf(fake, "Speak " + testing::Narrow(kWelcome)));
    EXPECT_LT(IndexOf(fake, "Speak " + testing::Narrow(kWelcome)), IndexOf(fake, "StartWorker"));
    EXPECT_EQ(fake.spoken, (std::vector<SpokenText>{{kWelcome, true}}));
    EXPECT_EQ(app.speech.LastSpokenText(), kWelcome);
    EXPECT_TRUE(fake.trayIconPresent);
}

TEST(Startup, NoAudioEngineLeavesEveryCueNone) {
    FakePlatform fake;
    fake.audioStarts = false;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    EXPECT_TRUE(CallsStartingWith(fake, "LoadCue").empty());
    EXPECT_EQ(app.cues.cpu, kNoCue);
    EXPECT_EQ(app.cues.battery, kNoCue);
}

TEST(Startup, AMissingCueIsNoneAndTheOthersLoad) {
    FakePlatform fake;
    fake.missingCues = {u"snd/CPU.wav"};
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    EXPECT_EQ(app.cues.cpu, kNoCue);
    EXPECT_NE(app.cues.memory, kNoCue);
    EXPECT_NE(app.cues.up, kNoCue);
}

TEST(Startup, APackageBuildWelcomesAlikeAndStartsNoUpdateCheck) {
    FakePlatform fake;
    Application app(fake, testing::PackageProfile());
    ASSERT_TRUE(Startup(app));
    EXPECT_EQ(fake.spoken, (std::vector<SpokenText>{{kWelcome, true}}));
    EXPECT_TRUE(CallsStartingWith(fake, "StartWorker").empty());
}

TEST(Dispatch, APackageBuildLeavesTheUpdateHotkeyToThePackageManager) {
    FakePlatform fake;
    Application app(fake, testing::PackageProfile());
    ASSERT_TRUE(Startup(app));
    const size_t mark = fake.calls.size();
    EXPECT_EQ(Dispatch(app, {EventKind::Hotkey, 28}), LoopControl::Continue);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Updates come from your package manager.", true}));
    EXPECT_TRUE(CallsStartingWith(fake, "StartWorker").empty());
    EXPECT_EQ(fake.calls.size(), mark + 1);  // the speech alone
}

TEST(Roads, ExitHotkeySaysExitingRemovesTheIconAndEndsWithZero) {
    FakePlatform fake;
    fake.PushHotkey(0, 10);
    EXPECT_EQ(RunTarrow(fake, testing::ReleaseProfile()), 0);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Exiting", true}));
    EXPECT_FALSE(fake.trayIconPresent);
    EXPECT_FALSE(fake.windowOpen);
    EXPECT_EQ(fake.shutdowns, 1);
    EXPECT_LT(IndexOf(fake, "RemoveTrayIcon"), IndexOf(fake, "CloseHiddenWindow"));
    EXPECT_LT(IndexOf(fake, "CloseHiddenWindow"), IndexOf(fake, "ShutdownServices"));
}

TEST(Roads, TrayMenuExitDoesTheSameAndOtherItemsAreIgnored) {
    FakePlatform fake;
    fake.events.push_back({0, {EventKind::Menu, 3}});
    fake.events.push_back({0, {EventKind::Menu, 0}});
    fake.closeWhenIdle = false;
    EXPECT_EQ(RunTarrow(fake, testing::ReleaseProfile()), 0);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Exiting", true}));
    EXPECT_EQ(fake.shutdowns, 1);
    EXPECT_FALSE(fake.trayIconPresent);
}

TEST(Roads, CloseRequestEndsSilently) {
    FakePlatform fake;
    fake.events.push_back({50, {EventKind::Close, 0}});
    EXPECT_EQ(RunTarrow(fake, testing::ReleaseProfile()), 0);
    EXPECT_EQ(fake.spoken, (std::vector<SpokenText>{{kWelcome, true}}));
    EXPECT_EQ(fake.shutdowns, 1);
    EXPECT_FALSE(fake.trayIconPresent);
}

TEST(Roads, ExitHotkeyTakenShowsTheBoxAndEndsBeforeSpeaking) {
    FakePlatform fake;
    fake.failingHotkeys = {0};
    EXPECT_EQ(RunTarrow(fake, testing::ReleaseProfile()), 0);
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_TRUE(fake.spoken.empty());
    EXPECT_EQ(fake.shutdowns, 1);
    EXPECT_TRUE(CallsStartingWith(fake, "StartWorker").empty());
}

TEST(Roads, WorkerExitRequestRunsTheExitStepsOnTheMainThread) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    fake.events.push_back({5, {EventKind::None, 0}});
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    fake.PostExitRequest();
    LoopControl control = LoopControl::Continue;
    for (int i = 0; i < 10 && control == LoopControl::Continue; ++i) control = RunPass(app);
    EXPECT_EQ(control, LoopControl::Exit);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Exiting", true}));
    EXPECT_EQ(fake.shutdowns, 1);
}

// The first thing the user notices after `mark` calls: speech, a box, the
// prompt, a started worker; else an ended process.
std::string FirstEffect(const FakePlatform& fake, size_t mark, size_t boxesBefore) {
    for (size_t i = mark; i < fake.calls.size(); ++i) {
        const std::string& call = fake.calls[i];
        if (call.rfind("ShowMessage", 0) == 0) return "Box " + testing::Narrow(fake.messages[boxesBefore].text);
        if (call.rfind("Speak ", 0) == 0 || call.rfind("PromptText ", 0) == 0 || call == "StartWorker")
            return call;
    }
    return fake.terminated.empty() ? "nothing" : "End " + std::to_string(fake.terminated.front());
}

TEST(Dispatch, EveryIdReachesItsOwnAction) {
    const std::string expected[] = {
        "Speak Exiting",
        "Speak Processor: Fake CPU, with 4 total cores.",
        "Speak b.exe: 0%; 200.00 B. 2 of 6",
        "Speak d.exe: 0%; 400.00 B. 4 of 6",
        "Box Are you sure you wish to end c.exe?",
        "End 3",
        "Speak c.exe: 0%; 900.00 B. 3 of 6",
        "Speak a.exe: 0%; 100.00 B. 1 of 6",
        "Speak f.exe: 0%; 600.00 B. 6 of 6",
        "Speak e.exe: 25%; 500.00 B. 5 of 6",
        "Speak No processes.txt found.",
        "PromptText Find process",
        "Speak Memory",
        "Speak CPU: 25%",
        "Speak 4.00 GB of 8.00 GB, 50%.",
        "Speak c.exe is now the focused process.",
        "Speak f.exe, 6",
        "Speak 0",
        "Speak 600.00 B",
        "Speak Copied marker",
        "Speak Focused Process CPU Monitor on",
        "Speak Focused Process memory Monitor on",
        "Speak C:\\c.exe",
        "Speak 1 hour, 1 second",
        "Speak PC CPU Monitor on",
        "Speak PC memory Monitor on",
        "Speak 80% Charging",
        "Speak PC battery Monitor on",
        "StartWorker",
        "Speak marker",
    };
    ASSERT_EQ(std::size(expected), kHotkeys.size());
    for (int64_t id = 0; id < kHotkeyCount; ++id) {
        FakePlatform fake;
        const char16_t* names[] = {u"a.exe", u"b.exe", u"c.exe", u"d.exe", u"e.exe", u"f.exe"};
        for (uint32_t pid = 1; pid <= 6; ++pid) fake.AddProcess(pid, names[pid - 1], 100 * pid);
        fake.FindProcess(3)->workingSet = 900;
        fake.FindProcess(3)->imagePath = u"C:\\c.exe";
        fake.uptimeMs = 3601000;
        fake.power = {1, 80};
        Application app(fake, testing::ReleaseProfile());
        ASSERT_TRUE(Startup(app));
        // e.exe takes a quarter of the four processors' time over the next second.
        fake.now += 1000;
        fake.FindProcess(5)->cpuTime = 4 * 2500000;
        RefreshProcessList(fake, app.processes);
        app.processes.list.cursor = 2;
        app.processes.focusedPid = 6;
        app.speech.Speak(u"marker", true);
        const size_t mark = fake.calls.size(), boxes = fake.messages.size();

        Dispatch(app, {EventKind::Hotkey, id});
        EXPECT_EQ(FirstEffect(fake, mark, boxes), expected[id]) << "id " << id;
        if (id == 19) {
            EXPECT_EQ(fake.clipboard, std::vector<std::u16string>{u"marker"});
        }
    }
    EXPECT_EQ(std::set<std::string>(std::begin(expected), std::end(expected)).size(),
              kHotkeys.size());
}

TEST(Dispatch, UnknownIdsAndOtherEventsAreIgnored) {
    FakePlatform fake;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    const size_t mark = fake.calls.size();
    for (const int64_t id : {int64_t{kHotkeyCount}, int64_t{-1}, int64_t{1000}})
        EXPECT_EQ(Dispatch(app, {EventKind::Hotkey, id}), LoopControl::Continue) << id;
    EXPECT_EQ(Dispatch(app, {EventKind::Other, 0}), LoopControl::Continue);
    EXPECT_EQ(FirstEffect(fake, mark, 0), "nothing");
    EXPECT_EQ(Dispatch(app, {EventKind::Hotkey, 0}), LoopControl::Exit);
}

TEST(Dispatch, RepeatAndCopyWorkEndToEnd) {
    FakePlatform fake;
    fake.PushHotkey(29);
    fake.PushHotkey(19);
    fake.PushHotkey(29);
    EXPECT_EQ(RunTarrow(fake, testing::ReleaseProfile()), 0);
    EXPECT_EQ(fake.spoken, (std::vector<SpokenText>{{kWelcome, true},
                                                    {kWelcome, false},
                                                    {u"Copied " + kWelcome, true},
                                                    {kWelcome, false}}));
    EXPECT_EQ(fake.clipboard, std::vector<std::u16string>{kWelcome});
}

TEST(Loop, OneRefreshPerPassAfterALongActionThenEveryFiveSeconds) {
    FakePlatform fake;
    fake.closeWhenIdle = false;
    fake.dialogDurationMs = 20000;
    Application app(fake, testing::ReleaseProfile());
    ASSERT_TRUE(Startup(app));
    const size_t atStart = CallsStartingWith(fake, "TakeProcessSnapshot").size();
    // A box held by an action: the clock jumps 20 s inside one pass.
    fake.ShowMessage(u"Alert", u"held", kMbOk);
    RunPass(app);
    EXPECT_EQ(CallsStartingWith(fake, "TakeProcessSnapshot").size(), atStart + 1);
    const int64_t refreshedAt = app.lastRefreshTime;
    while (fake.now < refreshedAt + 4999) RunPass(app);
    EXPECT_EQ(CallsStartingWith(fake, "TakeProcessSnapshot").size(), atStart + 1);
    while (fake.now < refreshedAt + 5000) RunPass(app);
    RunPass(app);
    EXPECT_EQ(CallsStartingWith(fake, "TakeProcessSnapshot").size(), atStart + 2);
    EXPECT_EQ(app.lastRefreshTime, refreshedAt + 5000);
}

}  // namespace
}  // namespace tarrow
