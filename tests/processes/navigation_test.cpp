#include <functional>

#include "processes/process_fixture.hpp"
#include "speech/wording.hpp"

namespace tarrow::testing {
namespace {

class NavigationTest : public ProcessFixture {
protected:
    // Sorted by name: alpha, bravo, charlie, delta.
    void SetUp() override {
        fake.AddProcess(30, u"delta.exe", 400);
        fake.AddProcess(10, u"alpha.exe", 100);
        fake.AddProcess(40, u"charlie.exe", 300);
        fake.AddProcess(20, u"bravo.exe", 200);
        Refresh();
    }
    std::u16string Entry(std::u16string_view name, int cpu, int64_t memory, int place) const {
        return std::u16string(name) + u": " + IntegerText(cpu) + u"%; " +
               FormatBytes(static_cast<float>(memory)) + u". " + IntegerText(place) + u" of " +
               IntegerText(static_cast<int64_t>(state.list.entries.size()));
    }
};

TEST_F(NavigationTest, SpeakEntryNamesFiguresAndPlace) {
    fake.affinityMask = 0x1;
    fake.FindProcess(40)->cpuTime = 0;
    fake.now += 1000;
    fake.FindProcess(40)->cpuTime = BusyMs(70);
    Refresh();
    SpeakEntry(speech, state.list, 2);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"charlie.exe: 7%; 300.00 B. 3 of 4", true}));
    SpeakEntry(speech, state.list, 4);  // no such entry: nothing
    EXPECT_EQ(fake.spoken.size(), 1u);
}

TEST_F(NavigationTest, NextAndPreviousStopAtBottomAndTop) {
    PreviousProcess(speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Top", true}));
    EXPECT_EQ(state.list.cursor, 0);
    NextProcess(speech, state);
    EXPECT_EQ(LastSpoken(), Entry(u"bravo.exe", 0, 200, 2));
    SetCursor(state.list, 3);
    NextProcess(speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Bottom", true}));
    EXPECT_EQ(state.list.cursor, 3);
    PreviousProcess(speech, state);
    EXPECT_EQ(LastSpoken(), Entry(u"charlie.exe", 0, 300, 3));
    EXPECT_EQ(state.list.cursor, 2);
}

TEST_F(NavigationTest, CursorRulesAfterTheListShrinks) {
    SetCursor(state.list, 9);
    fake.processes.resize(2);  // delta and alpha remain
    Refresh();
    NextProcess(speech, state);
    EXPECT_EQ(LastSpoken(), u"Bottom");
    EXPECT_EQ(state.list.cursor, 1);

    // The entry before the old cursor is gone too: back to the top, silently.
    SetCursor(state.list, 5);
    const size_t spoken = fake.spoken.size();
    PreviousProcess(speech, state);
    EXPECT_EQ(state.list.cursor, 0);
    EXPECT_EQ(fake.spoken.size(), spoken);

    // The entry before the old cursor still exists: it is spoken.
    SetCursor(state.list, 2);
    PreviousProcess(speech, state);
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(LastSpoken(), Entry(u"delta.exe", 0, 400, 2));
}

TEST_F(NavigationTest, FirstAndLast) {
    SetCursor(state.list, 2);
    FirstProcess(speech, state);
    EXPECT_EQ(state.list.cursor, 0);
    EXPECT_EQ(LastSpoken(), Entry(u"alpha.exe", 0, 100, 1));
    LastProcess(speech, state);
    EXPECT_EQ(state.list.cursor, 3);
    EXPECT_EQ(LastSpoken(), Entry(u"delta.exe", 0, 400, 4));
}

TEST_F(NavigationTest, MostMemoryTakesTheTopmostOfEqualsAndLastTakesTheLast) {
    fake.AddProcess(50, u"echo.exe", 400);
    state.list.sortMode = kSortByMemory;
    Refresh();  // ..., delta 400, echo 400
    FocusMostMemory(speech, state);
    EXPECT_EQ(state.list.cursor, 3);
    EXPECT_EQ(LastSpoken(), Entry(u"delta.exe", 0, 400, 4));
    LastProcess(speech, state);
    EXPECT_EQ(LastSpoken(), Entry(u"echo.exe", 0, 400, 5));
    EXPECT_EQ(state.focusedPid, 0);
}

TEST_F(NavigationTest, MostCpuTakesTheBusiestOrTheFirstWhenAllAreIdle) {
    SetCursor(state.list, 2);
    FocusMostCpu(speech, state);
    EXPECT_EQ(state.list.cursor, 0);
    EXPECT_EQ(LastSpoken(), Entry(u"alpha.exe", 0, 100, 1));

    fake.now += 1000;
    fake.FindProcess(20)->cpuTime = BusyMs(400);
    fake.FindProcess(30)->cpuTime = BusyMs(400);
    Refresh();
    FocusMostCpu(speech, state);
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(LastSpoken(), Entry(u"bravo.exe", 10, 200, 2));
    EXPECT_EQ(state.focusedPid, 0);
}

TEST_F(NavigationTest, FindWalksTheMatchesBelowTheCursorThenSaysNotFound) {
    fake.processes.clear();
    fake.AddProcess(1, u"explorer.exe", 100);
    fake.AddProcess(2, u"onenote.exe", 100);
    fake.AddProcess(3, u"NotePad.exe", 100);
    Refresh();  // explorer, NotePad, onenote
    fake.promptAnswers = {u"NOTE", u"NOTE", u"NOTE"};
    FindProcess(fake, speech, state);
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(LastSpoken(), Entry(u"NotePad.exe", 0, 100, 2));
    FindProcess(fake, speech, state);
    EXPECT_EQ(state.list.cursor, 2);
    EXPECT_EQ(LastSpoken(), Entry(u"onenote.exe", 0, 100, 3));
    const size_t spoken = fake.spoken.size();
    FindProcess(fake, speech, state);
    EXPECT_EQ(state.list.cursor, 2);
    EXPECT_EQ(fake.spoken.size(), spoken);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0],
              (ShownMessage{u"Not found", u"The selected process was not found.", kMbOk}));
    ASSERT_EQ(fake.prompts.size(), 3u);
    EXPECT_EQ(fake.prompts[0].title, u"Find process");
    EXPECT_EQ(fake.prompts[0].prompt, u"Enter the name of a process to find.");
    EXPECT_EQ(fake.prompts[0].defaultText, u"");
    EXPECT_EQ(fake.prompts[2].defaultText, u"NOTE");
}

TEST_F(NavigationTest, FindNeverFindsTheEntryUnderTheCursor) {
    SetCursor(state.list, 1);
    fake.promptAnswers = {u"bravo"};
    FindProcess(fake, speech, state);
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(FindByName(state.list, u"bravo", false), 1);
    EXPECT_EQ(FindByName(state.list, u"", false), -1);
}

TEST_F(NavigationTest, DismissingThePromptForgetsTheTextAndMovesNothing) {
    fake.promptAnswers = {u"charlie", u""};
    FindProcess(fake, speech, state);
    EXPECT_EQ(state.list.cursor, 2);
    SetCursor(state.list, 1);
    const size_t spoken = fake.spoken.size();
    FindProcess(fake, speech, state);
    EXPECT_EQ(state.lastSearchText, u"");
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(fake.spoken.size(), spoken);
    EXPECT_TRUE(fake.messages.empty());
    FindProcess(fake, speech, state);
    EXPECT_EQ(fake.prompts.back().defaultText, u"");
}

TEST_F(NavigationTest, ToggleSortCyclesAndTheCursorFollowsItsProcess) {
    SetCursor(state.list, 3);  // delta
    fake.processes[1].workingSet = 999;  // alpha now holds the most memory
    ToggleSort(fake, speech, state);
    EXPECT_EQ(LastSpoken(), u"Memory");
    EXPECT_EQ(state.list.entries.back().name, u"alpha.exe");
    EXPECT_EQ(state.list.cursor, 2);
    EXPECT_EQ(EntryAt(state.list, 2)->name, u"delta.exe");
    ToggleSort(fake, speech, state);
    EXPECT_EQ(LastSpoken(), u"CPU");
    ToggleSort(fake, speech, state);
    EXPECT_EQ(LastSpoken(), u"Name");
    EXPECT_EQ(state.list.sortMode, kSortByName);
    EXPECT_EQ(state.list.entries.front().name, u"alpha.exe");
    EXPECT_EQ(fake.spoken.size(), 3u);
}

TEST_F(NavigationTest, FocusedProcessActions) {
    SpeakFocusedName(fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"No focused process.", false}));

    SetCursor(state.list, 2);
    FocusProcess(speech, state);
    EXPECT_EQ(state.focusedPid, 40);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"charlie.exe is now the focused process.", true}));

    fake.affinityMask = 0x1;
    fake.now += 1000;
    fake.FindProcess(40)->cpuTime = BusyMs(70);
    fake.FindProcess(40)->workingSet = 13107200;
    SpeakFocusedName(fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"charlie.exe, 40", true}));
    SpeakFocusedCpu(fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"7", true}));
    SpeakFocusedMemory(fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{FormatBytes(13107200.0f), true}));
}

TEST_F(NavigationTest, AnEndedFocusedProcessIsNoFocusedProcessAndTheCursorStays) {
    SetCursor(state.list, 3);
    FocusProcess(speech, state);  // delta
    fake.processes.erase(fake.processes.begin());
    SetCursor(state.list, 9);
    SpeakFocusedCpu(fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"No focused process.", false}));
    EXPECT_EQ(state.focusedPid, 30);
    EXPECT_EQ(state.list.cursor, 9);
}

TEST_F(NavigationTest, AFoundFocusedProcessPullsAStrayCursorBackToTheTop) {
    FocusProcess(speech, state);  // alpha
    SetCursor(state.list, 2);  // charlie, about to end
    fake.processes.resize(2);
    SpeakFocusedMemory(fake, speech, state);
    EXPECT_EQ(LastSpoken(), FormatBytes(100.0f));
    EXPECT_EQ(state.list.cursor, 0);
}

TEST_F(NavigationTest, FocusPathAndDeleteActOnTheFoundProcessAfterTheListShifts) {
    fake.promptAnswers = {u"CHAR"};
    fake.FindProcess(40)->imagePath = u"/usr/bin/charlie.exe";
    FindProcess(fake, speech, state);
    EXPECT_EQ(state.list.cursor, 2);
    fake.processes.erase(fake.processes.begin() + 3);  // bravo, before charlie, ends
    Refresh();
    FocusProcess(speech, state);
    EXPECT_EQ(state.focusedPid, 40);
    SpeakFullPath(fake, speech, state);
    EXPECT_EQ(LastSpoken(), u"/usr/bin/charlie.exe");
    KillWithoutConfirmation(fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{40}));
    // The ended process's index stays: the cursor is on what moved into its place.
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(EntryAt(state.list, 1)->name, u"delta.exe");
}

TEST_F(NavigationTest, InCpuOrderNextGoesToTheEntryAfterTheOneHeard) {
    fake.affinityMask = 0x1;
    state.list.sortMode = kSortByCpu;
    const auto busy = [&](uint64_t alpha, uint64_t bravo, uint64_t charlie, uint64_t delta) {
        fake.now += 1000;
        fake.FindProcess(10)->cpuTime = BusyMs(alpha);
        fake.FindProcess(20)->cpuTime = BusyMs(bravo);
        fake.FindProcess(40)->cpuTime = BusyMs(charlie);
        fake.FindProcess(30)->cpuTime = BusyMs(delta);
        Refresh();
    };
    busy(10, 20, 30, 40);  // 1, 2, 3 and 4 percent: alpha, bravo, charlie, delta
    SetCursor(state.list, 1);
    NextProcess(speech, state);
    EXPECT_EQ(LastSpoken(), Entry(u"charlie.exe", 3, 300, 3));
    busy(100, 80, 40, 60);  // over two seconds: charlie 2, delta 3, bravo 4, alpha 5
    NextProcess(speech, state);
    EXPECT_EQ(LastSpoken(), Entry(u"delta.exe", 3, 400, 2));
}

TEST_F(NavigationTest, FocusWithTheCursorPastTheEndTakesTheFirstEntry) {
    SetCursor(state.list, 12);
    FocusProcess(speech, state);
    EXPECT_EQ(state.list.cursor, 0);
    EXPECT_EQ(state.focusedPid, 10);
}

TEST_F(NavigationTest, FullPathOfTheEntryUnderTheCursor) {
    fake.FindProcess(20)->imagePath = u"C:\\Tools\\bravo.exe";
    SetCursor(state.list, 1);
    SpeakFullPath(fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"C:\\Tools\\bravo.exe", true}));

    // Unreadable (or ended since the refresh): the blank buffer.
    SetCursor(state.list, 7);
    SpeakFullPath(fake, speech, state);
    EXPECT_EQ(state.list.cursor, 0);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{std::u16string(260, u' '), true}));

    fake.FindProcess(10)->imagePath = std::u16string(300, u'x');
    SpeakFullPath(fake, speech, state);
    EXPECT_EQ(LastSpoken(), std::u16string(259, u'x'));
}

TEST(EmptyList, ActionsSayNothingOrTheirBoundaryAndNeverLeaveTheCursorNegative) {
    FakePlatform fake;
    SpeechOutput speech(fake);
    ProcessState state;
    RefreshProcessList(fake, state);
    const std::function<void()> actions[] = {
        [&] { FirstProcess(speech, state); },    [&] { LastProcess(speech, state); },
        [&] { FocusMostMemory(speech, state); }, [&] { FocusMostCpu(speech, state); },
        [&] { FocusProcess(speech, state); },    [&] { SpeakFullPath(fake, speech, state); }};
    for (const auto& action : actions) {
        SetCursor(state.list, 2);
        action();
        EXPECT_EQ(state.list.cursor, 0);
    }
    EXPECT_TRUE(fake.spoken.empty());
    EXPECT_EQ(state.focusedPid, 0);
    NextProcess(speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Bottom", true}));
    EXPECT_EQ(state.list.cursor, 0);
    PreviousProcess(speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"Top", true}));
    fake.promptAnswers = {u"x"};
    FindProcess(fake, speech, state);
    EXPECT_EQ(fake.messages.size(), 1u);
}

}  // namespace
}  // namespace tarrow::testing
