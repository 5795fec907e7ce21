#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string_view>

#include "platform/linux/terminal/terminal_session.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/linux/wake_pipe.hpp"

namespace tarrow {
namespace {

// Puts a pseudo-terminal on standard input for one test; what the test types
// is written to its other side beforehand.
class TypedInput : public ::testing::Test {
protected:
    void SetUp() override {
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        master_ = UniqueFd(master);
        slave_ = UniqueFd(slave);
        savedStdin_ = UniqueFd(dup(STDIN_FILENO));
        ASSERT_GE(dup2(slave, STDIN_FILENO), 0);
        ASSERT_TRUE(session_.terminal.Enter(STDIN_FILENO));
    }
    void TearDown() override {
        session_.terminal.Restore();
        if (savedStdin_.Get() >= 0) dup2(savedStdin_.Get(), STDIN_FILENO);
    }
    void Type(std::string_view keys) {
        ASSERT_EQ(write(master_.Get(), keys.data(), keys.size()), ssize_t(keys.size()));
    }

    WakePipe wake_;
    TerminalSession session_;
    UniqueFd master_, slave_, savedStdin_;
};

TEST_F(TypedInput, YesNoBoxWaitsForYOrN) {
    Type("x\x1b[Ay");
    EXPECT_EQ(TerminalMessage(session_, u"Kill", u"End it?", kMbYesNo), kIdYes);
    Type("N");
    EXPECT_EQ(TerminalMessage(session_, u"Kill", u"End it?", kMbYesNo), kIdNo);
}

TEST_F(TypedInput, OkBoxClosesOnEnter) {
    Type("\n");
    EXPECT_EQ(TerminalMessage(session_, u"Error", u"Taken", kMbOk), kIdOk);
}

TEST_F(TypedInput, KeysTypedAheadOfTheBoxAreDropped) {
    Type("y q q");
    EXPECT_EQ(TerminalMessage(session_, u"Kill", u"End it?", kMbYesNo), kIdYes);
    Type("k");
    session_.terminalKeys = {{'Q', 0, "exit"}, {'K', 10, "kill favourites"}};
    session_.legendShown = true;
    const Event event = NextTerminalEvent(session_, wake_, 1000);
    EXPECT_EQ(event.kind, EventKind::Hotkey);
    EXPECT_EQ(event.id, 10);  // not the q typed under the box
}

TEST_F(TypedInput, PromptEditsTheDefaultText) {
    Type("ab\x7f" "c\n");
    EXPECT_EQ(TerminalPrompt(session_, u"Find process", u"Name", u"zz"), u"zzac");
    Type("\x7f\x7f\x7f\x7f" "caf\xc3\xa9\x7f" "e\n");
    EXPECT_EQ(TerminalPrompt(session_, u"Find process", u"Name", u"x"), u"cafe");
}

TEST_F(TypedInput, EscapeGivesTheEmptyText) {
    Type("\x1b");
    EXPECT_EQ(TerminalPrompt(session_, u"Find process", u"Name", u"zz"), u"");
}

TEST_F(TypedInput, BareKeysBecomeHotkeysInOrder) {
    session_.terminalKeys = {{'Q', 0, "exit"}, {0x20, 29, "repeat"}, {0x2E, 5, "kill"}};
    session_.legendShown = true;
    Type(" x\x1b[3~Q");
    std::vector<int64_t> ids;
    for (int i = 0; i < 3; ++i) {
        const Event event = NextTerminalEvent(session_, wake_, 1000);
        ASSERT_EQ(event.kind, EventKind::Hotkey);
        ids.push_back(event.id);
    }
    EXPECT_EQ(ids, (std::vector<int64_t>{29, 5, 0}));
}

TEST_F(TypedInput, HangUpIsACloseRequest) {
    session_.legendShown = true;
    master_ = UniqueFd();
    const Event event = NextTerminalEvent(session_, wake_, 1000);
    EXPECT_EQ(event.kind, EventKind::Close);
}

}  // namespace
}  // namespace tarrow
