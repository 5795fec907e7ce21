#include "processes/process_fixture.hpp"

namespace tarrow::testing {
namespace {

const std::u16string kSummary2 = u"2 processes killed. See processes.log for more info.";

class EndingTest : public ProcessFixture {
protected:
    void SetUp() override {
        fake.AddProcess(812, u"notepad.exe", 100);
        fake.AddProcess(20, u"calc.exe", 100);
        fake.AddProcess(30, u"NOTEPAD2.EXE", 100);
        fake.AddProcess(40, u"note pad.exe", 100);
        Refresh();  // calc, notepad, NOTEPAD2, note pad
    }
    void Favourites(std::string text) { fake.files[u"processes.txt"] = std::move(text); }
    std::string Log() const {
        const auto it = fake.files.find(u"PROCESSES.LOG");
        return it == fake.files.end() ? std::string("<none>") : it->second;
    }
};

TEST_F(EndingTest, ConfirmationAnsweredYesEndsTheProcessSilentlyAndRefreshes) {
    SetCursor(state.list, 1);
    fake.messageAnswers = {kIdYes};
    KillWithConfirmation(fake, fake, speech, state);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0],
              (ShownMessage{u"Alert", u"Are you sure you wish to end notepad.exe?", kMbYesNo}));
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{812}));
    EXPECT_TRUE(fake.spoken.empty());
    EXPECT_EQ(fake.tooltips.back(), u"Tarrow: 3 processes, 0% CPU");
    EXPECT_EQ(state.list.cursor, 1);
    EXPECT_EQ(state.list.entries[1].name, u"NOTEPAD2.EXE");
}

TEST_F(EndingTest, APidReusedWhileTheQuestionIsOpenIsNotEnded) {
    SetCursor(state.list, 1);
    fake.messageAnswers = {kIdYes};
    fake.onShowMessage = [&] {
        FakeProcess& p = *fake.FindProcess(812);
        p.exeFile = u"editor.exe";
        p.startTime = 77;
    };
    EXPECT_EQ(KillWithConfirmation(fake, fake, speech, state), EndOutcome::Stay);
    EXPECT_TRUE(fake.terminated.empty());
    EXPECT_TRUE(fake.spoken.empty());
    EXPECT_NE(fake.FindProcess(812), nullptr);
}

TEST_F(EndingTest, TheProgramsOwnEntryIsNeverTerminated) {
    fake.currentPid = 812;
    Favourites("note");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{30, 40}));
    EXPECT_EQ(fake.spoken.back().text, kSummary2);
    EXPECT_EQ(Log().find("812"), std::string::npos) << Log();

    // At the cursor, with or without the question: the caller takes the exit road.
    SetCursor(state.list, 1);
    ASSERT_EQ(EntryAt(state.list, 1)->pid, 812);
    EXPECT_EQ(KillWithoutConfirmation(fake, speech, state), EndOutcome::ExitProgram);
    fake.messageAnswers = {kIdYes};
    EXPECT_EQ(KillWithConfirmation(fake, fake, speech, state), EndOutcome::ExitProgram);
    fake.messageAnswers = {kIdNo};
    EXPECT_EQ(KillWithConfirmation(fake, fake, speech, state), EndOutcome::Stay);
    EXPECT_EQ(fake.terminated.size(), 2u);
}

TEST_F(EndingTest, ConfirmationAnsweredNoDoesNothing) {
    SetCursor(state.list, 0);
    fake.messageAnswers = {kIdNo};
    const size_t snapshots = fake.tooltips.size();
    KillWithConfirmation(fake, fake, speech, state);
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_TRUE(fake.terminated.empty());
    EXPECT_TRUE(fake.spoken.empty());
    EXPECT_EQ(fake.tooltips.size(), snapshots);
}

TEST_F(EndingTest, WithoutConfirmationAsksNothingAndACursorPastTheEndDoesNothing) {
    SetCursor(state.list, 0);
    KillWithoutConfirmation(fake, speech, state);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{20}));
    EXPECT_EQ(state.list.entries.size(), 3u);

    SetCursor(state.list, 3);
    const size_t tooltips = fake.tooltips.size();
    KillWithConfirmation(fake, fake, speech, state);
    KillWithoutConfirmation(fake, speech, state);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(fake.terminated.size(), 1u);
    EXPECT_EQ(fake.tooltips.size(), tooltips);
    EXPECT_EQ(state.list.cursor, 3);
}

TEST_F(EndingTest, FavouritesMatchInAnyCaseAndLogEachRequestAfterTheOldLines) {
    Favourites("NOTEPAD\r\nCALC.exe");
    fake.files[u"PROCESSES.LOG"] = "earlier run\r\n";
    SetCursor(state.list, 2);
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{812, 30, 20}));
    EXPECT_EQ(Log(),
              "earlier run\r\n"
              "Killed notepad.exe, PID 812 on 2024-03-08, 14:05:09\r\n"
              "Killed NOTEPAD2.EXE, PID 30 on 2024-03-08, 14:05:09\r\n"
              "Killed calc.exe, PID 20 on 2024-03-08, 14:05:09\r\n");
    EXPECT_EQ(fake.spoken.back(),
              (SpokenText{u"3 processes killed. See processes.log for more info.", true}));
    EXPECT_EQ(Names(), (std::vector<std::u16string>{u"note pad.exe"}));
    // On NOTEPAD2 it followed that entry up; once it ended, on what took its place.
    EXPECT_EQ(state.list.cursor, 0);
}

TEST_F(EndingTest, LogLinesCarryTheLocalTimeOfTheirWriting) {
    Favourites("calc");
    fake.localTime = {987, 12, 31, 0, 0, 7};
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(Log(), "Killed calc.exe, PID 20 on 0987-12-31, 00:00:07\r\n");
}

TEST_F(EndingTest, AnEmptyLineEndsTheListAndLoneCarriageReturnsEndLines) {
    Favourites("calc\r812\n\nnote");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{20}));
    EXPECT_EQ(LastSpoken(), u"1 processes killed. See processes.log for more info.");
}

TEST_F(EndingTest, AByteOrderMarkStaysInTheFirstLine) {
    Favourites("\xEF\xBB\xBFnotepad\ncalc");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{20}));
}

TEST_F(EndingTest, ATrailingSpaceBelongsToTheSearchText) {
    Favourites("note \r\n");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{40}));
}

TEST_F(EndingTest, ARefusedTerminationIsRequestedLoggedAndCountedOnce) {
    fake.FindProcess(812)->refusesTermination = true;
    Favourites("notepad");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{812, 30}));
    EXPECT_EQ(LastSpoken(), kSummary2);
    EXPECT_EQ(Log(),
              "Killed notepad.exe, PID 812 on 2024-03-08, 14:05:09\r\n"
              "Killed NOTEPAD2.EXE, PID 30 on 2024-03-08, 14:05:09\r\n");
    // A later line may ask again.
    Favourites("notepad.exe\nnotepad.exe");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{812, 30, 812, 812}));
}

TEST_F(EndingTest, ALineWaitsForTheNextRefreshToSeeNewProcesses) {
    fake.AddProcess(99, u"notepad3.exe", 100);  // started after the last refresh
    Favourites("notepad3");
    KillFavourites(fake, fake, speech, state);
    EXPECT_TRUE(fake.terminated.empty());
    EXPECT_EQ(LastSpoken(), u"0 processes killed. See processes.log for more info.");
}

TEST_F(EndingTest, MissingOrHeldFavouritesSayNoFileAndLeaveTheLogAlone) {
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"No processes.txt found.", true}));
    Favourites("calc");
    fake.unreadableFiles = {u"processes.txt"};
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{u"No processes.txt found.", true}));
    EXPECT_EQ(Log(), "<none>");
    EXPECT_TRUE(fake.terminated.empty());
}

TEST_F(EndingTest, AnEmptyFileCreatesTheLogAndCountsZero) {
    Favourites("");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(LastSpoken(), u"0 processes killed. See processes.log for more info.");
    Favourites("\r\ncalc");
    KillFavourites(fake, fake, speech, state);
    EXPECT_TRUE(fake.terminated.empty());
}

TEST_F(EndingTest, ALogThatCannotBeOpenedLosesItsLinesButNotTheRun) {
    fake.readOnlyFiles = {u"PROCESSES.LOG"};
    Favourites("pad");
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated.size(), 3u);
    EXPECT_EQ(LastSpoken(), u"3 processes killed. See processes.log for more info.");
    EXPECT_EQ(Log(), "<none>");
}

}  // namespace
}  // namespace tarrow::testing
