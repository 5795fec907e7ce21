#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <thread>

#include "app/application.hpp"
#include "platform/linux/desktop/zenity_boxes.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/terminal/terminal_session.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/text.hpp"

namespace tarrow {
namespace {

using Args = std::vector<std::string>;

TEST(Zenity, EachValueIsOneArgumentAndTextIsNotMarkup) {
    EXPECT_EQ(ZenityArguments(DialogKind::Info, u"Error", u"a & <b>x</b>"),
              (Args{"zenity", "--info", "--title=Error", "--text=a & <b>x</b>", "--no-markup"}));
    EXPECT_EQ(ZenityArguments(DialogKind::Question, u"Kill", u"End \"x\"; rm -rf /?"),
              (Args{"zenity", "--question", "--title=Kill", "--text=End \"x\"; rm -rf /?",
                    "--no-markup"}));
    EXPECT_EQ(ZenityArguments(DialogKind::Entry, u"Find process", u"Name:", u"--help"),
              (Args{"zenity", "--entry", "--title=Find process", "--text=Name:",
                    "--entry-text=--help"}));
}

TEST(Zenity, TextIsUtf8AndLosesNulCharacters) {
    const std::u16string text{u'a', u'\0', u'\u00e9'};
    EXPECT_EQ(ZenityArguments(DialogKind::Info, u"", text)[3], "--text=a\xc3\xa9");
}

TEST(Zenity, ExitStatusGivesTheAnswer) {
    EXPECT_EQ(AnswerForExitStatus(kMbYesNo, 0), kIdYes);
    EXPECT_EQ(AnswerForExitStatus(kMbYesNo, 1), kIdNo);
    EXPECT_EQ(AnswerForExitStatus(kMbYesNo, 5), kIdNo);   // timed out
    EXPECT_EQ(AnswerForExitStatus(kMbYesNo, -1), kIdNo);  // could not run: never a yes
    EXPECT_EQ(AnswerForExitStatus(kMbOk, 0), kIdOk);
    EXPECT_EQ(AnswerForExitStatus(kMbOk, 1), kIdOk);
    EXPECT_EQ(AnswerForExitStatus(kMbOk, -1), kIdOk);
}

TEST(Zenity, PromptGivesTheLineOnOkAndNothingOtherwise) {
    EXPECT_EQ(PromptResult("chrome\n", 0), u"chrome");
    EXPECT_EQ(PromptResult(" two  words \n", 0), u" two  words ");
    EXPECT_EQ(PromptResult("caf\xc3\xa9\n", 0), u"caf\u00e9");
    EXPECT_EQ(PromptResult("\n", 0), u"");
    EXPECT_EQ(PromptResult("chrome\n", 1), u"");   // Escape or closed
    EXPECT_EQ(PromptResult("chrome\n", -1), u"");  // could not run
}

TEST(TerminalMode, LegendListsTheKeysInIdOrder) {
    // Each key as its hotkey registers it.
    const auto key = [](uint8_t virtualKey, int id) {
        return TerminalKey{virtualKey, id, Utf16ToUtf8(kHotkeys[static_cast<size_t>(id)].label)};
    };
    const std::vector<TerminalKey> keys = {key(0x20, 29), key('Q', 0), key(0xC0, 1), key(0x70, 16)};
    EXPECT_EQ(TerminalLegend(keys),
              "Tarrow Desk keys: q exit, ` CPU info, F1 focused name, Space repeat");
}

TEST(TerminalMode, KeysAreTakenOnceAndOnlyWhenTypable) {
    TerminalSession session;
    EXPECT_TRUE(AddTerminalKey(session, 0, 'Q', u"exit"));
    EXPECT_TRUE(AddTerminalKey(session, 29, 0x20, u"repeat"));
    EXPECT_FALSE(AddTerminalKey(session, 5, 'Q', u"kill"));   // already the exit key
    EXPECT_FALSE(AddTerminalKey(session, 1, 0xDF, u"CPU info"));  // VK_OEM_8 has no key
    ASSERT_EQ(session.terminalKeys.size(), 2u);
    EXPECT_EQ(session.terminalKeys[0].id, 0);
}

TEST(TerminalMode, RawModeIsUndoneWhenTheGuardGoes) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    UniqueFd masterFd(master), slaveFd(slave);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    ASSERT_TRUE(before.c_lflag & ICANON);
    {
        RawTerminal raw;
        ASSERT_TRUE(raw.Enter(slave));
        termios during{};
        ASSERT_EQ(tcgetattr(slave, &during), 0);
        EXPECT_FALSE(during.c_lflag & ICANON);
        EXPECT_FALSE(during.c_lflag & ECHO);
        EXPECT_TRUE(during.c_lflag & ISIG);  // Ctrl+C still ends the program
    }
    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
}

TEST(TerminalMode, AFatalSignalRestoresTheTerminalFirst) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    UniqueFd masterFd(master), slaveFd(slave);
    termios before{};
    ASSERT_EQ(tcgetattr(slave, &before), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (dup2(slave, STDIN_FILENO) < 0) _exit(3);
        RawTerminal raw;
        if (!raw.Enter(STDIN_FILENO)) _exit(4);
        raise(SIGTERM);
        _exit(5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);  // still ends the program
    termios after{};
    ASSERT_EQ(tcgetattr(slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
}

TEST(TerminalMode, RawModeRefusesWhatIsNotATerminal) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    RawTerminal raw;
    EXPECT_FALSE(raw.Enter(fds[0]));
}

// Without a display or terminal opened (as in these tests) the platform still
// answers: boxes give their safe answers, nothing registers.
TEST(Headless, BoxesGiveSafeAnswersAndNothingRegisters) {
    LinuxPlatform platform;
    EXPECT_EQ(platform.ShowMessage(u"Kill", u"End it?", kMbYesNo), kIdNo);
    EXPECT_EQ(platform.ShowMessage(u"Error", u"Note", kMbOk), kIdOk);
    EXPECT_EQ(platform.PromptText(u"Find process", u"Name", u"x"), u"");
    EXPECT_FALSE(platform.RegisterHotkey(0, kModControl, 'Q', u"exit"));
    EXPECT_FALSE(platform.SetClipboardText(u"text"));
    EXPECT_EQ(platform.KeyboardLayoutName(), u"00000409");
    EXPECT_EQ(platform.WaitEvent(0).kind, EventKind::None);
}

TEST(Headless, ExitRequestFromAnotherThreadWakesTheWait) {
    LinuxPlatform platform;
    std::thread poster([&platform] { platform.PostExitRequest(); });
    const auto start = std::chrono::steady_clock::now();
    // Long enough that only the wake-up ends it before the bound below.
    Event event = platform.WaitEvent(120000);
    if (event.kind == EventKind::None) event = platform.WaitEvent(120000);
    poster.join();
    EXPECT_EQ(event.kind, EventKind::ExitRequest);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60))
        << "the wait was not woken";
    EXPECT_EQ(platform.WaitEvent(0).kind, EventKind::None);  // delivered once
}

TEST(Headless, ExitRequestPostedBeforeTheWaitIsNotLost) {
    LinuxPlatform platform;
    platform.PostExitRequest();
    platform.PostExitRequest();
    EXPECT_EQ(platform.WaitEvent(0).kind, EventKind::ExitRequest);
    EXPECT_EQ(platform.WaitEvent(0).kind, EventKind::None);
}

TEST(Headless, ShutdownLeavesAWorkerBoxSafe) {
    LinuxPlatform platform;
    platform.ShutdownServices();
    EXPECT_EQ(platform.ShowMessage(u"Update", u"Failed", kMbOk), kIdOk);
}

}  // namespace
}  // namespace tarrow
