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
    EXPECT_EQ(LastSpoken(), u"3 processes killed. The log could not be written.");
    EXPECT_EQ(Log(), "<none>");
    ASSERT_EQ(fake.fileProblems.size(), 1u);
    EXPECT_EQ(fake.fileProblems[0], u"PROCESSES.LOG: a line could not be written (it does not open).");
}

// One row per disk: how many bytes of log fit, and what the run says.
struct FullDiskRow {
    size_t room;
    std::string favourites;
    size_t ended;
    std::string log;
    std::u16string summary;
    size_t problems;
};

class FullDiskTest : public EndingTest, public ::testing::WithParamInterface<FullDiskRow> {};

TEST_P(FullDiskTest, TheProcessesEndAndTheSummaryTellsWhetherTheLogHoldsThem) {
    const FullDiskRow& row = GetParam();
    fake.fullFiles[u"PROCESSES.LOG"] = row.room;
    Favourites(row.favourites);
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated.size(), row.ended);
    EXPECT_EQ(Log(), row.log);
    EXPECT_EQ(fake.spoken.back(), (SpokenText{row.summary, true}));
    ASSERT_EQ(fake.fileProblems.size(), row.problems);
    if (row.problems > 0) {
        EXPECT_EQ(fake.fileProblems[0],
                  u"PROCESSES.LOG: a line could not be written (No space left on device).");
    }
}

const std::string kCalcLine = "Killed calc.exe, PID 20 on 2024-03-08, 14:05:09\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, FullDiskTest,
    ::testing::Values(
        FullDiskRow{0, "pad", 3, "", u"3 processes killed. The log could not be written.", 1},
        FullDiskRow{0, "calc", 1, "", u"1 processes killed. The log could not be written.", 1},
        // Full after the first line: the second is lost, and said to be.
        FullDiskRow{kCalcLine.size() + 5, "calc\nnote pad", 2, kCalcLine + "Kille",
                    u"2 processes killed. The log could not be written.", 1},
        // Room for every line, or nothing to write: the usual summary.
        FullDiskRow{kCalcLine.size(), "calc", 1, kCalcLine,
                    u"1 processes killed. See processes.log for more info.", 0},
        FullDiskRow{0, "nothing", 0, "", u"0 processes killed. See processes.log for more info.", 0}));

// One row per favourites file at or past a limit: which processes end, and
// the line on standard error.
struct FavouriteLimitRow {
    std::string name;
    std::string favourites;
    std::vector<uint32_t> ended;
    std::u16string problem;  // empty: none
};

class FavouriteLimitTest : public EndingTest,
                           public ::testing::WithParamInterface<FavouriteLimitRow> {};

TEST_P(FavouriteLimitTest, WhatLiesBeyondALimitIsIgnoredAndReportedOnce) {
    const FavouriteLimitRow& row = GetParam();
    Favourites(row.favourites);
    KillFavourites(fake, fake, speech, state);
    EXPECT_EQ(fake.terminated, row.ended);
    EXPECT_EQ(fake.readLimits, std::vector<size_t>{size_t(1) << 20});
    if (row.problem.empty()) {
        EXPECT_TRUE(fake.fileProblems.empty());
    } else {
        EXPECT_EQ(fake.fileProblems, std::vector<std::u16string>{row.problem});
    }
}

std::string Lines(size_t count, const std::string& line) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += line + "\n";
    return text;
}

const std::u16string kTooManyLines =
    u"processes.txt has more than 4096 lines: only the first 4096 are read.";
const std::u16string kTooLarge = u"processes.txt is larger than 1 MiB: only its first 1 MiB is read.";
const size_t kMiB = size_t(1) << 20;

INSTANTIATE_TEST_SUITE_P(
    Rows, FavouriteLimitTest,
    ::testing::Values(
        FavouriteLimitRow{"LineLimitReached", Lines(4095, "zz") + "calc", {20}, u""},
        FavouriteLimitRow{"LinesPastTheLimit", Lines(4096, "zz") + "calc\n", {}, kTooManyLines},
        FavouriteLimitRow{"AnEmptyLineEndsTheListFirst", Lines(4096, "zz") + "\ncalc", {}, u""},
        FavouriteLimitRow{"ByteLimitReached", "calc\n" + std::string(kMiB - 6, 'z') + "\n", {20}, u""},
        FavouriteLimitRow{"BytesPastTheLimit",
                          "calc\n" + std::string(kMiB, 'z') + "\nnotepad\n", {20}, kTooLarge},
        // "ca" of "calcX" lies within the limit: an unfinished line is not a line.
        FavouriteLimitRow{"ALineCutByTheLimit", std::string(kMiB - 3, 'z') + "\ncalcX\n", {}, kTooLarge}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace tarrow::testing
