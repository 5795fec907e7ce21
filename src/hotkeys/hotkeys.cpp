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

bool RegisterAllHotkeys(Keyboard& keyboard, Dialogs& dialogs, std::u16string& modifier,
                        const HotkeyTable& table) {
    const std::u16string layoutName = keyboard.KeyboardLayoutName();
    std::array<HotkeyRequest, kHotkeyCount> requests;
    for (size_t i = 0; i < requests.size(); ++i) {
        const HotkeyAction& row = table[static_cast<size_t>(kRegistrationOrder[i])];
        requests[i] = {row.id, static_cast<uint32_t>(ParseModifiers(modifier)),
                       row.KeyOn(layoutName), row.label};
    }
    keyboard.PrepareHotkeys(requests);
    for (const int id : kRegistrationOrder) {
        const HotkeyAction& row = table[static_cast<size_t>(id)];
        const auto flags = static_cast<uint32_t>(ParseModifiers(modifier));
        if (keyboard.RegisterHotkey(id, flags, row.KeyOn(layoutName), row.label)) continue;
        if (row.Fatal()) {
            dialogs.ShowMessage(u"Error", std::u16string(row.failureMessage) +
                                              std::u16string(kExitSuffix), kMbOk);
            return false;
        }
        dialogs.ShowMessage(u"Error", row.failureMessage, kMbOk);
    }
    return true;
}

}  // namespace tarrow
