#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "app/application.hpp"
#include "hotkeys/hotkeys.hpp"
#include "platform/fake_platform.hpp"
#include "platform/virtual_keys.hpp"

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

// Every row: id, key on the US and Polish layouts, key on any other, failure text.
struct Row {
    int id;
    uint8_t usKey;
    uint8_t otherKey;
    std::u16string_view failure;
};

constexpr Row kRows[] = {
    {0, 'Q', 'Q', u"Unable To register the exit hotkey."},
    {1, 0xC0, 0xDF, u"Unable To register the Speak CPU Info hotkey."},
    {2, 0xDB, 0xDB, u"Unable To register the previous process hotkey."},
    {3, 0xDD, 0xDD, u"Unable To register the next process hotkey."},
    {4, 0x08, 0x08, u"Unable To register the kill process with confirmation hotkey."},
    {5, 0x2E, 0x2E, u"Unable To register the kill process no confirmation hotkey."},
    {6, 0xBB, 0xBB, u"Unable To register the focus the process with the most amount of memory hotkey."},
    {7, 0xBA, 0xBA, u"Unable To register the first process hotkey."},
    {8, 0xDE, 0xC0, u"Unable To register the last process hotkey."},
    {9, 0xBD, 0xBD, u"Unable To register the focus process with most CPU hotkey."},
    {10, 'K', 'K', u"Unable To register the kill favorites hotkey."},
    {11, 0xDC, 0xDC, u"Unable To register the find process hotkey."},
    {12, 0xBF, 0xBF, u"Unable To register the toggle sort hotkey."},
    {13, '1', '1', u"Unable To register the speak cpu usage hotkey."},
    {14, '2', '2', u"Unable To register the speak total memory hotkey."},
    {15, 'F', 'F', u"Unable To register the focus process hotkey."},
    {16, 0x70, 0x70, u"Unable To register the speak focused process name hotkey."},
    {17, 0x71, 0x71, u"Unable To register the speak focused process CPU hotkey."},
    {18, 0x72, 0x72, u"Unable To register the speak focused process memory hotkey."},
    {19, 'C', 'C', u"Unable To register the copy last text to clipboard hotkey."},
    {20, 0x73, 0x73, u"Unable To register the toggle focused process CPU monitor hotkey."},
    {21, 0x74, 0x74, u"Unable To register the toggle focused process memory monitor hotkey."},
    {22, 'P', 'P', u"Unable To register the speak process full path hotkey."},
    {23, '3', '3', u"Unable To register the speak machine uptime hotkey."},
    {24, 0x75, 0x75, u"Unable To register the toggle pc CPU monitor hotkey."},
    {25, 0x76, 0x76, u"Unable To register the toggle pc memory monitor hotkey."},
    {26, '4', '4', u"Unable To register the speak battery status hotkey."},
    {27, 0x77, 0x77, u"Unable To register the toggle battery monitor hotkey."},
    {28, 'U', 'U', u"Unable To register the Check for updates hotkey."},
    {29, 0x20, 0x20, u"Unable To register the Repeat last spoken text hotkey."},
};

TEST(HotkeyTable, EveryRowOnEveryLayoutWithItsFailureText) {
    const std::pair<std::u16string, bool> layouts[] = {
        {u"00000409", true}, {u"00000415", true}, {u"00000809", false}, {u"00000407", false}};
    for (const auto& [layout, usKeys] : layouts) {
        FakePlatform fake;
        fake.layoutName = layout;
        std::u16string modifier;
        ASSERT_TRUE(RegisterAllHotkeys(fake, fake, modifier, kHotkeys));
        ASSERT_EQ(fake.registrations.size(), std::size(kRows));
        const int order[] = {0,  1,  8,  7,  2,  3,  4,  5,  6,  9,  10, 11, 12, 13, 14,
                             15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
        for (size_t i = 0; i < std::size(order); ++i)
            EXPECT_EQ(fake.registrations[i].id, order[i]) << "registration " << i;
        for (const Row& row : kRows) {
            const auto registered = std::find_if(
                fake.registrations.begin(), fake.registrations.end(),
                [&](const testing::Registration& r) { return r.id == row.id; });
            ASSERT_NE(registered, fake.registrations.end()) << row.id;
            EXPECT_EQ(registered->virtualKey, usKeys ? row.usKey : row.otherKey)
                << "id " << row.id << " on " << std::string(layout.begin(), layout.end());
        }
    }
    // Each row failing alone shows its own text, and only that box.
    for (const Row& row : kRows) {
        FakePlatform fake;
        fake.failingHotkeys = {row.id};
        std::u16string modifier;
        EXPECT_EQ(RegisterAllHotkeys(fake, fake, modifier, kHotkeys), row.id != 0);
        const std::u16string expected =
            std::u16string(row.failure) + (row.id == 0 ? std::u16string(kExitSuffix) : u"");
        EXPECT_EQ(fake.messages, (std::vector<ShownMessage>{{u"Error", expected, kMbOk}})) << row.id;
    }
}

TEST(Registration, RegistersEveryRowWithTheParsedFlags) {
    FakePlatform fake;
    std::u16string modifier = u"win+alt";
    EXPECT_TRUE(RegisterAllHotkeys(fake, fake, modifier, kHotkeys));
    ASSERT_EQ(fake.registrations.size(), kHotkeys.size());
    for (const auto& registration : fake.registrations)
        EXPECT_EQ(registration.modifiers, kModWin | kModAlt) << registration.id;
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_TRUE(fake.spoken.empty());
}

TEST(Registration, OneFailureShowsOneBoxAndTheRestStillRegister) {
    FakePlatform fake;
    fake.failingHotkeys = {3, 28};
    std::u16string modifier;
    EXPECT_TRUE(RegisterAllHotkeys(fake, fake, modifier, kHotkeys));
    EXPECT_EQ(fake.registrations.size(), kHotkeys.size());
    EXPECT_EQ(fake.messages,
              (std::vector<ShownMessage>{
                  {u"Error", u"Unable To register the next process hotkey.", kMbOk},
                  {u"Error", u"Unable To register the Check for updates hotkey.", kMbOk}}));
}

TEST(Registration, ExitHotkeyFailureStopsEverything) {
    FakePlatform fake;
    fake.failingHotkeys = {0, 5};
    std::u16string modifier;
    EXPECT_FALSE(RegisterAllHotkeys(fake, fake, modifier, kHotkeys));
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

// A keyboard that binds everything up front, as the shortcuts portal does.
struct PreparingKeyboard final : Keyboard {
    std::vector<std::vector<HotkeyRequest>> prepared;
    std::vector<HotkeyRequest> registered;
    void PrepareHotkeys(std::span<const HotkeyRequest> hotkeys) override {
        EXPECT_TRUE(registered.empty()) << "prepared after a registration";
        prepared.emplace_back(hotkeys.begin(), hotkeys.end());
    }
    bool RegisterHotkey(int id, uint32_t modifiers, uint8_t key, std::u16string_view label) override {
        registered.push_back({id, modifiers, key, label});
        return true;
    }
    std::u16string KeyboardLayoutName() override { return u"00000809"; }
};

TEST(Registration, EveryHotkeyIsPreparedOnceAsItIsThenRegistered) {
    PreparingKeyboard keyboard;
    FakePlatform fake;
    std::u16string modifier = u"control+win";
    EXPECT_TRUE(RegisterAllHotkeys(keyboard, fake, modifier, kHotkeys));
    ASSERT_EQ(keyboard.prepared.size(), 1u);
    ASSERT_EQ(keyboard.prepared[0].size(), keyboard.registered.size());
    ASSERT_EQ(keyboard.registered.size(), kHotkeys.size());
    for (size_t i = 0; i < keyboard.registered.size(); ++i) {
        const HotkeyRequest& want = keyboard.registered[i];
        const HotkeyRequest& got = keyboard.prepared[0][i];
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.modifiers, kModControl | kModWin) << want.id;
        EXPECT_EQ(got.virtualKey, want.virtualKey) << want.id;
        EXPECT_EQ(got.label, want.label) << want.id;
    }
}

// How the README names a key of the US layout.
std::string ReadmeKeyName(uint8_t key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, char(key));
    if (key >= kVkF1 && key <= kVkF8) {
        std::string name = "F";  // appended, not "F" + ...: GCC 12 warns wrongly on that form
        name += std::to_string(key - kVkF1 + 1);
        return name;
    }
    switch (key) {
        case kVkSpace: return "Space";
        case kVkBack: return "Backspace";
        case kVkDelete: return "Delete";
        case kVkOem1: return ";";
        case kVkOemPlus: return "=";
        case kVkOemMinus: return "-";
        case kVkOem2: return "/";
        case kVkOem3: return "`";
        case kVkOem4: return "[";
        case kVkOem5: return "\\";
        case kVkOem6: return "]";
        case kVkOem7: return "'";
        default: return "?";
    }
}

TEST(HotkeyTable, TheReadmeListsEveryHotkeyInIdOrderWithItsUsKey) {
    std::ifstream readme(TARROW_README);
    ASSERT_TRUE(readme) << TARROW_README;
    std::vector<std::string> keys;  // first word of the Key column, table order
    bool inSection = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## Hotkeys";
        if (!inSection || line.rfind("| ", 0) != 0 || line == "| Key | Action |") continue;
        keys.push_back(line.substr(2, line.find_first_of(" |", 2) - 2));
    }
    ASSERT_EQ(keys.size(), kHotkeys.size());
    for (const HotkeyAction& row : kHotkeys) {
        EXPECT_EQ(keys[static_cast<size_t>(row.id)], ReadmeKeyName(row.KeyOn(u"00000409")))
            << "README row of hotkey " << row.id;
    }
}

}  // namespace
}  // namespace tarrow
