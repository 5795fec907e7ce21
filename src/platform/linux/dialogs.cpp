// Message boxes and the input prompt.

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/display_session.hpp"

namespace tarrow {

int LinuxPlatform::ShowMessage(std::u16string_view, std::u16string_view, unsigned style) {
    return style == kMbYesNo ? kIdNo : kIdOk;
}
std::u16string LinuxPlatform::PromptText(std::u16string_view, std::u16string_view,
                                         std::u16string_view) {
    return {};
}

}  // namespace tarrow
