#include <gtest/gtest.h>

#include <array>
#include <set>

#include "app/application.hpp"
#include "hotkeys/hotkeys.hpp"
#include "platform/linux/bus/portal_messages.hpp"
#include "platform/linux/bus/wayland_keymap.hpp"
#include "platform/linux/keys/keymap.hpp"
#include "platform/linux/terminal/terminal_keys.hpp"
#include "platform/linux/terminal/terminal_text.hpp"
#include "platform/linux/x11/keyboard_layout.hpp"

namespace tarrow {
namespace {

using Keys = std::vector<uint8_t>;

TEST(XKeys, EveryHotkeyOfTheUsTableHasItsOwnKey) {
    std::set<unsigned long> seen;
    for (const HotkeyAction& action : kHotkeys) {
        const unsigned long keysym = KeysymForVirtualKey(action.KeyOn(u"00000409"));
        EXPECT_NE(keysym, 0u) << "id " << action.id;
        EXPECT_TRUE(seen.insert(keysym).second) << "id " << action.id << " shares its key";
    }
}

TEST(XKeys, KeysAreThoseOfTheUsLayout) {
    EXPECT_EQ(KeysymForVirtualKey('Q'), 0x71u);    // q
    EXPECT_EQ(KeysymForVirtualKey('1'), 0x31u);
    EXPECT_EQ(KeysymForVirtualKey(0xC0), 0x60u);   // grave
    EXPECT_EQ(KeysymForVirtualKey(0xDE), 0x27u);   // apostrophe
    EXPECT_EQ(KeysymForVirtualKey(0xDB), 0x5Bu);   // bracketleft
    EXPECT_EQ(KeysymForVirtualKey(0xDD), 0x5Du);   // bracketright
    EXPECT_EQ(KeysymForVirtualKey(0xBA), 0x3Bu);   // semicolon
    EXPECT_EQ(KeysymForVirtualKey(0xBB), 0x3Du);   // equal
    EXPECT_EQ(KeysymForVirtualKey(0xBD), 0x2Du);   // minus
    EXPECT_EQ(KeysymForVirtualKey(0xBF), 0x2Fu);   // slash
    EXPECT_EQ(KeysymForVirtualKey(0xDC), 0x5Cu);   // backslash
    EXPECT_EQ(KeysymForVirtualKey(0x20), 0x20u);   // space
    EXPECT_EQ(KeysymForVirtualKey(0x08), 0xFF08u); // BackSpace
    EXPECT_EQ(KeysymForVirtualKey(0x2E), 0xFFFFu); // Delete
    EXPECT_EQ(KeysymForVirtualKey(0x70), 0xFFBEu); // F1
    EXPECT_EQ(KeysymForVirtualKey(0x77), 0xFFC5u); // F8
}

TEST(XKeys, KeysWithoutAUsKeyFailToRegister) {
    EXPECT_EQ(KeysymForVirtualKey(0xDF), 0u);  // VK_OEM_8
    EXPECT_EQ(KeysymForVirtualKey(0x78), 0u);  // F9: not in our table
    EXPECT_EQ(KeysymForVirtualKey(0x00), 0u);
    // On layouts read as US other than US and Polish, only id 1 (VK_OEM_8) has no key.
    EXPECT_EQ(KeysymForVirtualKey(kHotkeys[1].KeyOn(u"00000407"), u"00000407"), 0u);
    EXPECT_EQ(KeysymForVirtualKey(kHotkeys[8].KeyOn(u"00000407"), u"00000407"), 0x60u);
}

TEST(XKeys, TheUkLayoutKeepsTheUsKeysOfEveryHotkey) {
    for (size_t id = 0; id < kHotkeys.size(); ++id) {
        EXPECT_EQ(KeysymForVirtualKey(kHotkeys[id].KeyOn(u"00000809"), u"00000809"),
                  KeysymForVirtualKey(kHotkeys[id].KeyOn(u"00000409"), u"00000409"))
            << "hotkey " << id;
    }
    EXPECT_EQ(KeysymForVirtualKey(0xDE, u"00000809"), 0x23u);  // numbersign
}

TEST(XKeys, ModifierFlagsBecomeXMasks) {
    EXPECT_EQ(XModifierMask(0), 0u);
    EXPECT_EQ(XModifierMask(kModAlt), 1u << 3);      // Mod1
    EXPECT_EQ(XModifierMask(kModControl), 1u << 2);  // Control
    EXPECT_EQ(XModifierMask(kModShift), 1u << 0);    // Shift
    EXPECT_EQ(XModifierMask(kModWin), 1u << 6);      // Mod4
    EXPECT_EQ(XModifierMask(kModAlt | kModControl | kModShift), 0b1101u);
}

TEST(Layouts, XkbLayoutsGetTheirWindowsNames) {
    EXPECT_EQ(WindowsLayoutName("us"), u"00000409");
    EXPECT_EQ(WindowsLayoutName("pl"), u"00000415");
    EXPECT_EQ(WindowsLayoutName("gb"), u"00000809");
    EXPECT_EQ(WindowsLayoutName("de(nodeadkeys)"), u"00000407");
    EXPECT_EQ(WindowsLayoutName("FR"), u"0000040C");
    EXPECT_EQ(WindowsLayoutName(" ru "), u"00000419");
    EXPECT_EQ(WindowsLayoutName("xx"), u"00000409");
    EXPECT_EQ(WindowsLayoutName(""), u"00000409");
}

TEST(Layouts, ActiveGroupIsPickedFromTheRulesNames) {
    using namespace std::string_view_literals;
    const auto names = "evdev\0pc105\0us,pl\0,\0grp:alt_shift_toggle\0"sv;
    EXPECT_EQ(LayoutFromRulesNames(names, 0), "us");
    EXPECT_EQ(LayoutFromRulesNames(names, 1), "pl");
    EXPECT_EQ(LayoutFromRulesNames(names, 3), "us");  // no such group: the first
    EXPECT_EQ(LayoutFromRulesNames("evdev\0pc105\0gb(extd)\0\0\0"sv, 0), "gb");
    EXPECT_EQ(LayoutFromRulesNames("evdev\0pc105"sv, 0), "");
    EXPECT_EQ(LayoutFromRulesNames(""sv, 0), "");
}

TEST(Layouts, SymbolsNameGivesTheLayoutWhenRulesAreMissing) {
    EXPECT_EQ(LayoutFromSymbolsName("pc+us+pl:2+inet(evdev)", 0), "us");
    EXPECT_EQ(LayoutFromSymbolsName("pc+us+pl:2+inet(evdev)", 1), "pl");
    EXPECT_EQ(LayoutFromSymbolsName("pc+gb+inet(evdev)+group(alt_shift_toggle)", 0), "gb");
    EXPECT_EQ(LayoutFromSymbolsName("pc+de(nodeadkeys)+inet(evdev)", 2), "de");
    EXPECT_EQ(LayoutFromSymbolsName("pc+inet(evdev)", 0), "");
    EXPECT_EQ(LayoutFromSymbolsName("", 0), "");
}

TEST(TerminalKeys, PlainKeysAndTheirShiftedCharacters) {
    EXPECT_EQ(DecodeTerminalKeys("q"), Keys{'Q'});
    EXPECT_EQ(DecodeTerminalKeys("Qk1"), (Keys{'Q', 'K', '1'}));
    EXPECT_EQ(DecodeTerminalKeys(" "), Keys{0x20});
    EXPECT_EQ(DecodeTerminalKeys("\x7f\b"), (Keys{0x08, 0x08}));
    EXPECT_EQ(DecodeTerminalKeys("`~'\""), (Keys{0xC0, 0xC0, 0xDE, 0xDE}));
    EXPECT_EQ(DecodeTerminalKeys("[{]};:=+-_\\|/?"),
              (Keys{0xDB, 0xDB, 0xDD, 0xDD, 0xBA, 0xBA, 0xBB, 0xBB, 0xBD, 0xBD, 0xDC, 0xDC,
                    0xBF, 0xBF}));
    EXPECT_EQ(DecodeTerminalKeys("!@"), (Keys{'1', '2'}));
    EXPECT_EQ(DecodeTerminalKeys("\n\t\x01\xc3\xa9"), Keys{});  // controls and non-ASCII
}

TEST(TerminalKeys, FunctionKeysAndDeleteFromTheirSequences) {
    EXPECT_EQ(DecodeTerminalKeys("\x1b[3~"), Keys{0x2E});
    EXPECT_EQ(DecodeTerminalKeys("\x1bOP\x1bOQ\x1bOR\x1bOS"), (Keys{0x70, 0x71, 0x72, 0x73}));
    EXPECT_EQ(DecodeTerminalKeys("\x1b[11~\x1b[15~\x1b[17~\x1b[18~\x1b[19~"),
              (Keys{0x70, 0x74, 0x75, 0x76, 0x77}));
    EXPECT_EQ(DecodeTerminalKeys("\x1b[[A\x1b[[E"), (Keys{0x70, 0x74}));  // Linux console
    EXPECT_EQ(DecodeTerminalKeys("\x1b[1;2P"), Keys{0x70});
    EXPECT_EQ(DecodeTerminalKeys("a\x1b[3~b"), (Keys{'A', 0x2E, 'B'}));
}

TEST(TerminalKeys, OtherSequencesAndCutOffInputGiveNothing) {
    EXPECT_EQ(DecodeTerminalKeys("\x1b[A\x1b[D"), Keys{});  // arrows
    EXPECT_EQ(DecodeTerminalKeys("\x1b[20~\x1b[99999999~"), Keys{});
    EXPECT_EQ(DecodeTerminalKeys("\x1bq"), Keys{});  // Alt+q is not the bare key
    EXPECT_EQ(DecodeTerminalKeys("\x1b"), Keys{});
    EXPECT_EQ(DecodeTerminalKeys("\x1b[3"), Keys{});
    EXPECT_EQ(DecodeTerminalKeys("q\x1bO"), Keys{'Q'});
}

TEST(TerminalText, LabelsForTheLegend) {
    EXPECT_EQ(TerminalKeyLabel('Q'), "q");
    EXPECT_EQ(TerminalKeyLabel('3'), "3");
    EXPECT_EQ(TerminalKeyLabel(0xC0), "`");
    EXPECT_EQ(TerminalKeyLabel(0x20), "Space");
    EXPECT_EQ(TerminalKeyLabel(0x08), "Backspace");
    EXPECT_EQ(TerminalKeyLabel(0x2E), "Delete");
    EXPECT_EQ(TerminalKeyLabel(0x77), "F8");
    EXPECT_EQ(TerminalKeyLabel(0xDF), "0xDF");
}

TEST(TerminalText, ControlCharactersCannotReachTheTerminal) {
    EXPECT_EQ(TerminalSafe("a\x1b]0;x\x07z"), "a ]0;x z");
    EXPECT_EQ(TerminalSafe("\r\n\x7f"), "   ");
    EXPECT_EQ(TerminalSafe("\xc2\x9b" "2J"), " 2J");  // C1 CSI
    EXPECT_EQ(TerminalSafe("caf\xc3\xa9 \xe2\x82\xac"), "caf\xc3\xa9 \xe2\x82\xac");
}

TEST(TerminalText, Base64OfTheStandardVectors) {
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foo"), "Zm9v");
    EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64("\xff\xfe"), "//4=");
}

// The trigger each hotkey asks the portal for with the default modifier: keys
// whose symbol changes with Shift are written with the shifted symbol and no
// SHIFT, as kwin matches a real press; the others keep SHIFT.
TEST(PortalTriggers, EveryRowOfTheUsTableWithTheDefaultModifier) {
    constexpr std::array<std::string_view, kHotkeyCount> kTriggers = {
        "CTRL+ALT+SHIFT+q",         "CTRL+ALT+asciitilde",      "CTRL+ALT+braceleft",
        "CTRL+ALT+braceright",      "CTRL+ALT+SHIFT+BackSpace", "CTRL+ALT+SHIFT+Delete",
        "CTRL+ALT+plus",            "CTRL+ALT+colon",           "CTRL+ALT+quotedbl",
        "CTRL+ALT+underscore",      "CTRL+ALT+SHIFT+k",         "CTRL+ALT+bar",
        "CTRL+ALT+question",        "CTRL+ALT+exclam",          "CTRL+ALT+at",
        "CTRL+ALT+SHIFT+f",         "CTRL+ALT+SHIFT+F1",        "CTRL+ALT+SHIFT+F2",
        "CTRL+ALT+SHIFT+F3",        "CTRL+ALT+SHIFT+c",         "CTRL+ALT+SHIFT+F4",
        "CTRL+ALT+SHIFT+F5",        "CTRL+ALT+SHIFT+p",         "CTRL+ALT+numbersign",
        "CTRL+ALT+SHIFT+F6",        "CTRL+ALT+SHIFT+F7",        "CTRL+ALT+dollar",
        "CTRL+ALT+SHIFT+F8",        "CTRL+ALT+SHIFT+u",         "CTRL+ALT+SHIFT+space",
    };
    const uint32_t modifiers = kModControl | kModAlt | kModShift;
    for (const HotkeyAction& row : kHotkeys) {
        EXPECT_EQ(PreferredTrigger(modifiers, row.KeyOn(u"00000409"), u"00000409", UsShiftedKeysym),
                  kTriggers[size_t(row.id)])
            << "id " << row.id;
    }
}

TEST(PortalTriggers, TheModifierOfThePreferencesIsKept) {
    EXPECT_EQ(PreferredTrigger(kModAlt | kModWin, 0xDD, u"00000409", UsShiftedKeysym),
              "ALT+LOGO+bracketright");
    EXPECT_EQ(PreferredTrigger(kModAlt | kModWin, 'Q', u"00000409", UsShiftedKeysym), "ALT+LOGO+q");
    EXPECT_EQ(PreferredTrigger(kModControl | kModShift, '1', u"00000409", UsShiftedKeysym),
              "CTRL+exclam");
    EXPECT_EQ(PreferredTrigger(kModShift | kModWin, 0xDB, u"00000409", UsShiftedKeysym),
              "LOGO+braceleft");
    EXPECT_EQ(PreferredTrigger(kModShift | kModWin, 0x70, u"00000409", UsShiftedKeysym),
              "SHIFT+LOGO+F1");
}

TEST(PortalTriggers, ShiftedSymbolsComeFromTheLookupGiven) {
    // The UK layout's hash key: the US table knows no shifted symbol for it.
    EXPECT_EQ(PreferredTrigger(kModControl | kModShift, 0xDE, u"00000809", UsShiftedKeysym),
              "CTRL+SHIFT+numbersign");
    // A layout's own lookup (from its keymap) wins; none keeps the plain form.
    const ShiftedKeysymLookup asciitilde = [](unsigned long) { return 0x7EuL; };
    EXPECT_EQ(PreferredTrigger(kModControl | kModShift, 0xDE, u"00000809", asciitilde),
              "CTRL+asciitilde");
    EXPECT_EQ(PreferredTrigger(kModControl | kModShift, 0xDD, u"00000409", nullptr),
              "CTRL+SHIFT+bracketright");
    EXPECT_EQ(PreferredTrigger(kModControl | kModShift, 0xDF, u"00000409", UsShiftedKeysym), "");
}

// A compositor's keymap gives the shifted symbols of its own layout.
TEST(PortalTriggers, ShiftedSymbolsOfAKeymap) {
    const ShiftedKeysymLookup us = ShiftedKeysymsOfLayout("us");
    ASSERT_TRUE(us);
    EXPECT_EQ(us(0x5D), 0x7Du);  // bracketright: braceright
    EXPECT_EQ(us(0x31), 0x21u);  // 1: exclam
    EXPECT_EQ(us(0x71), 0u);     // q: letters keep SHIFT
    EXPECT_EQ(us(0xFFBE), 0u);   // F1: no other symbol
    const ShiftedKeysymLookup de = ShiftedKeysymsOfLayout("de");
    ASSERT_TRUE(de);
    EXPECT_EQ(de(0x33), 0xA7u);  // 3: section
    EXPECT_EQ(de(0x5D), 0u);     // no key gives bracketright unshifted
    const uint32_t modifiers = kModControl | kModAlt | kModShift;
    EXPECT_EQ(PreferredTrigger(modifiers, '3', u"00000407", de), "CTRL+ALT+section");
    EXPECT_EQ(PreferredTrigger(modifiers, 0xDD, u"00000407", de), "CTRL+ALT+SHIFT+bracketright");
    EXPECT_EQ(PreferredTrigger(modifiers, 0xDD, u"00000409", us), "CTRL+ALT+braceright");
    EXPECT_EQ(PreferredTrigger(modifiers, 'Q', u"00000409", us), "CTRL+ALT+SHIFT+q");
    EXPECT_FALSE(ShiftedKeysymsOfKeymap("not a keymap"));
}

TEST(PortalIds, OnlyTheTextWeSendNamesAShortcut) {
    EXPECT_EQ(ShortcutNumber("0"), 0);
    EXPECT_EQ(ShortcutNumber("9"), 9);
    EXPECT_EQ(ShortcutNumber("29"), 29);
    for (const std::string_view bad : {"", "029", "00", "+1", "-1", " 1", "1 ", "1x", "0x1", "١",
                                       "100", "2147483648", "1.0"}) {
        EXPECT_EQ(ShortcutNumber(bad), std::nullopt) << "'" << bad << "'";
    }
}

}  // namespace
}  // namespace tarrow
