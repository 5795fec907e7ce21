// The X CLIPBOARD selection.

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/display_session.hpp"

namespace tarrow {

bool LinuxPlatform::SetClipboardText(std::u16string_view) { return false; }

}  // namespace tarrow
