#include "hotkeys/hotkeys.hpp"

#include "platform/text.hpp"

namespace tarrow {

const std::array<int, kHotkeyCount> kRegistrationOrder = {
    0, 1, 8, 7, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15,
    16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};

const std::u16string_view kExitSuffix =
    u" The app will now exit. Please either make sure no other copies of the app are running, "
    u"or make modifications as necessary to allow the app's hotkeys to work, change the "
    u"modifier, unbind hotkeys in other applications, etc.";

namespace {

constexpr uint8_t kVkOem1 = 0xBA, kVkOemPlus = 0xBB, kVkOemMinus = 0xBD, kVkOem2 = 0xBF,
                  kVkOem3 = 0xC0, kVkOem4 = 0xDB, kVkOem5 = 0xDC, kVkOem6 = 0xDD,
                  kVkOem7 = 0xDE, kVkOem8 = 0xDF, kVkBack = 0x08, kVkDelete = 0x2E,
                  kVkSpace = 0x20, kVkF1 = 0x70;

}  // namespace

std::array<HotkeyAction, kHotkeyCount> HotkeyTable(std::u16string_view layoutName) {
    const bool usOrPolish = layoutName == u"00000409" || layoutName == u"00000415";
    const uint8_t cpuInfoKey = usOrPolish ? kVkOem3 : kVkOem8;
    const uint8_t lastProcessKey = usOrPolish ? kVkOem7 : kVkOem3;
    return {{
        {0, 'Q', u"Unable To register the exit hotkey.", true},
        {1, cpuInfoKey, u"Unable To register the Speak CPU Info hotkey.", false},
        {2, kVkOem4, u"Unable To register the previous process hotkey.", false},
        {3, kVkOem6, u"Unable To register the next process hotkey.", false},
        {4, kVkBack, u"Unable To register the kill process with confirmation hotkey.", false},
        {5, kVkDelete, u"Unable To register the kill process no confirmation hotkey.", false},
        {6, kVkOemPlus,
         u"Unable To register the focus the process with the most amount of memory hotkey.",
         false},
        {7, kVkOem1, u"Unable To register the first process hotkey.", false},
        {8, lastProcessKey, u"Unable To register the last process hotkey.", false},
        {9, kVkOemMinus, u"Unable To register the focus process with most CPU hotkey.", false},
        {10, 'K', u"Unable To register the kill favorites hotkey.", false},
        {11, kVkOem5, u"Unable To register the find process hotkey.", false},
        {12, kVkOem2, u"Unable To register the toggle sort hotkey.", false},
        {13, '1', u"Unable To register the speak cpu usage hotkey.", false},
        {14, '2', u"Unable To register the speak total memory hotkey.", false},
        {15, 'F', u"Unable To register the focus process hotkey.", false},
        {16, kVkF1, u"Unable To register the speak focused process name hotkey.", false},
        {17, kVkF1 + 1, u"Unable To register the speak focused process CPU hotkey.", false},
        {18, kVkF1 + 2, u"Unable To register the speak focused process memory hotkey.", false},
        {19, 'C', u"Unable To register the copy last text to clipboard hotkey.", false},
        {20, kVkF1 + 3, u"Unable To register the toggle focused process CPU monitor hotkey.",
         false},
        {21, kVkF1 + 4, u"Unable To register the toggle focused process memory monitor hotkey.",
         false},
        {22, 'P', u"Unable To register the speak process full path hotkey.", false},
        {23, '3', u"Unable To register the speak machine uptime hotkey.", false},
        {24, kVkF1 + 5, u"Unable To register the toggle pc CPU monitor hotkey.", false},
        {25, kVkF1 + 6, u"Unable To register the toggle pc memory monitor hotkey.", false},
        {26, '4', u"Unable To register the speak battery status hotkey.", false},
        {27, kVkF1 + 7, u"Unable To register the toggle battery monitor hotkey.", false},
        {28, 'U', u"Unable To register the Check for updates hotkey.", false},
        {29, kVkSpace, u"Unable To register the Repeat last spoken text hotkey.", false},
    }};
}

int64_t ParseModifiers(std::u16string& modifier) {
    if (modifier.empty()) modifier = u"control+alt+shift";
    int64_t flags = 0;
    size_t start = 0;
    while (true) {
        const size_t plus = modifier.find(u'+', start);
        const std::u16string field =
            LowerText(std::u16string_view(modifier).substr(start, plus - start));
        if (field == u"control") flags |= kModControl;
        else if (field == u"alt") flags |= kModAlt;
        else if (field == u"win") flags |= kModWin;
        else if (field == u"shift") flags |= kModShift;
        if (plus == std::u16string::npos) break;
        start = plus + 1;
    }
    return flags;
}

bool RegisterAllHotkeys(PlatformServices& platform, std::u16string& modifier) {
    const auto table = HotkeyTable(platform.KeyboardLayoutName());
    for (const int id : kRegistrationOrder) {
        const HotkeyAction& action = table[static_cast<size_t>(id)];
        const auto flags = static_cast<uint32_t>(ParseModifiers(modifier));
        if (platform.RegisterHotkey(id, flags, action.virtualKey)) continue;
        if (action.fatal) {
            platform.ShowMessage(u"Error", std::u16string(action.failureMessage) +
                                               std::u16string(kExitSuffix), kMbOk);
            return false;
        }
        platform.ShowMessage(u"Error", action.failureMessage, kMbOk);
    }
    return true;
}

}  // namespace tarrow
