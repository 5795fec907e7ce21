// Placeholder until the StatusNotifierItem is written: no tray.

#include "platform/linux/status_notifier_tray.hpp"

namespace tarrow {

std::unique_ptr<StatusNotifierTray> RegisterStatusNotifierTray(sd_bus*, std::u16string_view) {
    return nullptr;
}

}  // namespace tarrow
