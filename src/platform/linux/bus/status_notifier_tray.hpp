#pragma once
// The tray on Linux desktops: a StatusNotifierItem with a one-item
// com.canonical.dbusmenu menu, registered with the StatusNotifierWatcher on
// the session bus. The bus belongs to the caller, who runs its processing in
// the event wait; this object only exports its objects on it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

typedef struct sd_bus sd_bus;  // <systemd/sd-bus.h>

namespace tarrow {

class StatusNotifierTray {
public:
    virtual ~StatusNotifierTray() = default;  // unregisters: the item leaves the tray

    virtual void SetTooltip(std::u16string_view tooltip) = 0;
    // The menu's one item; a later call replaces it.
    virtual void SetMenuItem(int64_t itemId, std::u16string_view text) = 0;
    // The item the user chose from the menu since the last call.
    virtual std::optional<int64_t> TakeChosenItem() = 0;
};

// Null when no StatusNotifierWatcher is on the bus or registration fails.
std::unique_ptr<StatusNotifierTray> RegisterStatusNotifierTray(sd_bus* bus,
                                                               std::u16string_view tooltip);

}  // namespace tarrow
