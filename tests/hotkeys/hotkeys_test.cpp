#include <gtest/gtest.h>

#include "hotkeys/hotkeys.hpp"
#include "platform/fake_platform.hpp"

namespace tarrow {
namespace {

using testing::FakePlatform;
using testing::ShownMessage;

int64_t Parse(std::u16string text) { return ParseModifiers(text); }

TEST(Modifiers, WordsAreMatchedWholeInAnyCase) {
    std::u16string empty;
    EXPECT_EQ(ParseModifiers(empty), kModControl | kModAlt | kModShift);
    EXPECT_EQ(empty, u"control+alt+shift");
    EXPECT_EQ(Parse(u"WIN+Alt"), kModWin | kModAlt);
    EXPECT_EQ(Parse(u"shift+shift"), kModShift);
    EXPECT_EQ(Parse(u"win + alt"), 0);
    EXPECT_EQ(Parse(u"ctrl"), 0);
    EXPECT_EQ(Parse(u"+control+"), kModControl);
    EXPECT_EQ(Parse(u"Control"), kModControl);
}

TEST(HotkeyTable, LayoutChoosesTheKeysOfIdsOneAndEight) {
    for (const auto* layout : {u"00000409", u"00000415"}) {
        const auto table = HotkeyTable(layout);
        EXPECT_EQ(table[1].virtualKey, 0xC0);
        EXPECT_EQ(table[8].virtualKey, 0xDE);
    }
    const auto uk = HotkeyTable(u"00000809");
    EXPECT_EQ(uk[1].virtualKey, 0xDF);
    EXPECT_EQ(uk[8].virtualKey, 0xC0);
    const auto us = HotkeyTable(u"00000409");
    EXPECT_EQ(us[0].virtualKey, 'Q');
    EXPECT_EQ(us[29].virtualKey, 0x20);
    EXPECT_EQ(us[19].virtualKey, 'C');
    EXPECT_EQ(us[27].virtualKey, 0x77);
    for (int id = 0; id < kHotkeyCount; ++id) EXPECT_EQ(us[static_cast<size_t>(id)].id, id);
}

TEST(Registration, RegistersAllThirtyInOrderWithTheParsedFlags) {
    FakePlatform fake;
    std::u16string modifier = u"win+alt";
    EXPECT_TRUE(RegisterAllHotkeys(fake, modifier));
    ASSERT_EQ(fake.registrations.size(), 30u);
    const std::vector<int> order = {0,  1,  8,  7,  2,  3,  4,  5,  6,  9,  10, 11, 12, 13, 14,
                                    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(fake.registrations[i].id, order[i]);
        EXPECT_EQ(fake.registrations[i].modifiers, kModWin | kModAlt);
    }
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_TRUE(fake.spoken.empty());
}

TEST(Registration, OneFailureShowsOneBoxAndTheRestStillRegister) {
    FakePlatform fake;
    fake.failingHotkeys = {3, 28};
    std::u16string modifier;
    EXPECT_TRUE(RegisterAllHotkeys(fake, modifier));
    EXPECT_EQ(fake.registrations.size(), 30u);
    EXPECT_EQ(fake.messages,
              (std::vector<ShownMessage>{
                  {u"Error", u"Unable To register the next process hotkey.", kMbOk},
                  {u"Error", u"Unable To register the Check for updates hotkey.", kMbOk}}));
}

TEST(Registration, ExitHotkeyFailureStopsEverything) {
    FakePlatform fake;
    fake.failingHotkeys = {0, 5};
    std::u16string modifier;
    EXPECT_FALSE(RegisterAllHotkeys(fake, modifier));
    ASSERT_EQ(fake.registrations.size(), 1u);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].caption, u"Error");
    EXPECT_EQ(fake.messages[0].text,
              u"Unable To register the exit hotkey. The app will now exit. Please either make "
              u"sure no other copies of the app are running, or make modifications as necessary "
              u"to allow the app's hotkeys to work, change the modifier, unbind hotkeys in other "
              u"applications, etc.");
    EXPECT_TRUE(fake.spoken.empty());
}

}  // namespace
}  // namespace tarrow
