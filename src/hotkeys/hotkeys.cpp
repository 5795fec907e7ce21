#include "hotkeys/hotkeys.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/text.hpp"

namespace tarrow {

namespace {

// The exit hotkey first (when it fails, no other is taken), then ids 1, 8 and
// 7; the others follow in order of id, so a new row is registered last.
constexpr int kRegisteredFirst[] = {kExitHotkeyId, 1, 8, 7};

std::vector<int> RegistrationOrder(int count) {
    std::vector<int> order;
    for (const int id : kRegisteredFirst)
        if (id < count) order.push_back(id);
    for (int id = 0; id < count; ++id)
        if (std::find(std::begin(kRegisteredFirst), std::end(kRegisteredFirst), id) ==
            std::end(kRegisteredFirst))
            order.push_back(id);
    return order;
}

}  // namespace

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
                        HotkeyTable table) {
    const std::u16string layoutName = keyboard.KeyboardLayoutName();
    const std::vector<int> order = RegistrationOrder(static_cast<int>(table.size()));
    std::vector<HotkeyRequest> requests;
    for (const int id : order) {
        const HotkeyAction& row = table[static_cast<size_t>(id)];
        requests.push_back({row.id, static_cast<uint32_t>(ParseModifiers(modifier)),
                            row.KeyOn(layoutName), row.label});
    }
    keyboard.PrepareHotkeys(requests);
    for (const int id : order) {
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
