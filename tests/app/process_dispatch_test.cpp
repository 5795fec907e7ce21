// The process rows of the dispatch table, driven through the whole program.

#include <gtest/gtest.h>

#include "app/application.hpp"
#include "app/release_profile.hpp"
#include "platform/fake_platform.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::SpokenText;

class ProcessHotkeys : public ::testing::Test {
protected:
    void SetUp() override {
        fake.AddProcess(30, u"notepad.exe", 300);
        fake.AddProcess(10, u"explorer.exe", 100);
        fake.AddProcess(20, u"calc.exe", 200);
    }
    std::vector<std::u16string> Run(std::initializer_list<int64_t> ids) {
        for (int64_t id : ids) fake.PushHotkey(id, 1);
        EXPECT_EQ(RunTarrow(fake, testing::ReleaseProfile()), 0);
        auto texts = fake.SpokenTexts();
        texts.erase(texts.begin());  // the welcome
        return texts;
    }
    FakePlatform fake;
};

TEST_F(ProcessHotkeys, StartUpFillsTheListAndTheTooltip) {
    Run({});
    EXPECT_EQ(fake.tooltips.back(), u"Tarrow: 3 processes, 0% CPU");
}

TEST_F(ProcessHotkeys, WalkingAndSortingSpeakTheirTexts) {
    EXPECT_EQ(Run({3, 3, 3, 2, 7, 2, 8, 12, 12, 12}),
              (std::vector<std::u16string>{
                  u"explorer.exe: 0%; 100.00 B. 2 of 3", u"notepad.exe: 0%; 300.00 B. 3 of 3",
                  u"Bottom", u"explorer.exe: 0%; 100.00 B. 2 of 3",
                  u"calc.exe: 0%; 200.00 B. 1 of 3", u"Top", u"notepad.exe: 0%; 300.00 B. 3 of 3",
                  u"Memory", u"CPU", u"Name"}));
}

TEST_F(ProcessHotkeys, FindFocusAndPath) {
    fake.promptAnswers = {u"PAD"};
    fake.FindProcess(30)->imagePath = u"C:\\Windows\\notepad.exe";
    EXPECT_EQ(Run({11, 15, 16, 17, 18, 22}),
              (std::vector<std::u16string>{u"notepad.exe: 0%; 300.00 B. 3 of 3",
                                           u"notepad.exe is now the focused process.",
                                           u"notepad.exe, 30", u"0", u"300.00 B",
                                           u"C:\\Windows\\notepad.exe"}));
}

TEST_F(ProcessHotkeys, MostMemoryMostCpuAndTheKillRows) {
    fake.messageAnswers = {kIdYes};
    fake.files[u"processes.txt"] = "calc";
    EXPECT_EQ(Run({6, 9, 4, 5, 10}),
              (std::vector<std::u16string>{u"notepad.exe: 0%; 300.00 B. 3 of 3",
                                           u"calc.exe: 0%; 200.00 B. 1 of 3",
                                           u"0 processes killed. See processes.log for more info."}));
    // Row 4 ended calc (under the cursor) after Yes; row 5 ended explorer at once.
    EXPECT_EQ(fake.terminated, (std::vector<uint32_t>{20, 10}));
    EXPECT_EQ(fake.messages.size(), 1u);
}

TEST_F(ProcessHotkeys, EndingItsOwnEntryTakesTheRegularExitRoad) {
    for (const int64_t row : {4, 5}) {
        FakePlatform own;
        own.AddProcess(20, u"desk.exe", 200);  // first by name
        own.AddProcess(10, u"explorer.exe", 100);
        own.currentPid = 20;
        own.messageAnswers = {kIdYes};
        own.PushHotkey(row, 1);
        own.PushHotkey(3, 1);  // never reached
        EXPECT_EQ(RunTarrow(own, testing::ReleaseProfile()), 0);
        EXPECT_EQ(own.spoken.back(), (SpokenText{u"Exiting", true})) << row;
        EXPECT_FALSE(own.trayIconPresent);
        EXPECT_EQ(own.shutdowns, 1);
        EXPECT_TRUE(own.terminated.empty());
    }
}

}  // namespace
}  // namespace tarrow
