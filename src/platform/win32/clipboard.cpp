// The clipboard, as Unicode text.

#include "platform/win32/windows_api.hpp"

#include <algorithm>

#include "platform/win32/handles.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

namespace {

class ClipboardOpen {
public:
    ClipboardOpen() : open_(OpenClipboard(nullptr) != FALSE) {}
    ~ClipboardOpen() {
        if (open_) CloseClipboard();
    }
    ClipboardOpen(const ClipboardOpen&) = delete;
    ClipboardOpen& operator=(const ClipboardOpen&) = delete;
    bool ok() const { return open_; }

private:
    bool open_;
};

}  // namespace

bool Win32Platform::SetClipboardText(std::u16string_view text) {
    const ClipboardOpen clipboard;
    if (!clipboard.ok()) return false;
    // The text and its terminating zero unit.
    win32::UniqueGlobal block(
        GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, (text.size() + 1) * sizeof(wchar_t)));
    if (!block) return false;
    auto* units = static_cast<wchar_t*>(GlobalLock(block.get()));
    if (units == nullptr) return false;
    std::copy(text.begin(), text.end(), units);
    units[text.size()] = L'\0';
    GlobalUnlock(block.get());
    if (!EmptyClipboard()) return false;
    if (SetClipboardData(CF_UNICODETEXT, block.get()) == nullptr) return false;
    // The clipboard owns the block now.
    block.release();
    return true;
}

}  // namespace tarrow
