// The front end of a Wayland desktop: the hotkeys are global shortcuts the
// desktop portal binds for us (all at once, in one dialog the user answers),
// their presses come as signals on the session bus, and the boxes are
// zenity's. There is no window: Wayland has no hidden one to give.

#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <set>
#include <string>
#include <thread>

#include "platform/linux/bus/bus_handles.hpp"
#include "platform/linux/bus/portal_messages.hpp"
#include "platform/linux/bus/portal_requests.hpp"
#include "platform/linux/bus/session_bus.hpp"
#include "platform/linux/bus/wayland_keymap.hpp"
#include "platform/linux/desktop/wayland_clipboard.hpp"
#include "platform/linux/desktop/zenity_boxes.hpp"
#include "platform/linux/front_end.hpp"
#include "platform/linux/wake_pipe.hpp"
#include "platform/linux/x11/x_session.hpp"
#include "platform/text.hpp"

namespace tarrow {

namespace {

constexpr int64_t kSessionLimitMs = 30'000;
// A person answers the bind dialog, maybe through a screen reader: leave time.
constexpr int64_t kBindLimitMs = 5 * 60'000;

// Boxes need a display zenity can open: X, or a Wayland compositor's socket.
bool WaylandSocketPresent() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr) return false;
        path = std::string(runtime) + "/" + path;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

class PortalFrontEnd final : public FrontEnd {
public:
    PortalFrontEnd(WakePipe& wake, SessionBus& bus)
        : wake_(wake), bus_(bus), requests_(wake, bus), mainThread_(std::this_thread::get_id()) {}
    ~PortalFrontEnd() override { Close(); }
    PortalFrontEnd(const PortalFrontEnd&) = delete;
    PortalFrontEnd& operator=(const PortalFrontEnd&) = delete;

    bool Open();

    Event NextEvent(int64_t timeoutMs) override {
        if (activated_.empty()) wake_.Poll(nullptr, 0, timeoutMs);
        if (activated_.empty()) return {};
        const int id = activated_.front();
        activated_.pop_front();
        return Event{EventKind::Hotkey, id};
    }
    void PrepareHotkeys(std::span<const HotkeyRequest> hotkeys) override;
    bool RegisterHotkey(int id, uint32_t, uint8_t, std::u16string_view) override {
        // An exit asked for during the bind ends the program without the exit box.
        return requests_.ExitRequested() || boundIds_.contains(id);
    }
    std::u16string KeyboardLayoutName() override { return layoutName_; }

    bool SetClipboardText(std::u16string_view text) override {
        return WaylandClipboardAvailable() && SetWaylandClipboard(text);
    }
    int ShowMessage(std::u16string_view caption, std::u16string_view text,
                    unsigned style) override {
        if (!hasDisplay_) {
            PrintToStderr(caption, text);
            return AnswerForExitStatus(style, -1);
        }
        const int answer = boxes_.ShowMessage(caption, text, style);
        DropPressesUnderBox();
        return answer;
    }
    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText) override {
        if (!hasDisplay_) return {};
        std::u16string text = boxes_.PromptText(title, prompt, defaultText);
        DropPressesUnderBox();
        return text;
    }

    void Close() noexcept override;

private:
    bool CreateSession(std::span<const HotkeyRequest> hotkeys, std::set<int>& listed);
    static int OnActivated(sd_bus_message* message, void* userdata, sd_bus_error*) noexcept;
    void DropPressesUnderBox();

    WakePipe& wake_;
    SessionBus& bus_;
    PortalRequests requests_;
    std::thread::id mainThread_;
    std::string sessionHandle_;
    BusSlot activatedSlot_;
    std::set<int> boundIds_;
    std::deque<int> activated_;
    std::u16string layoutName_ = u"00000409";
    ShiftedKeysymLookup shiftedKeysym_ = UsShiftedKeysym;
    bool hasDisplay_ = false;
    ZenityBoxes boxes_;
};

bool PortalFrontEnd::Open() {
    if (!requests_.Open()) return false;

    XSession display;
    if (OpenXSession(display)) {
        layoutName_ = XKeyboardLayoutName(display);
        hasDisplay_ = true;
        CloseXSession(display);
    } else {
        hasDisplay_ = WaylandSocketPresent();
    }
    // Where the compositor's keymap can be read, its shifted symbols; else the US table's.
    if (WaylandSocketPresent()) {
        if (ShiftedKeysymLookup lookup = WaylandShiftedKeysyms()) shiftedKeysym_ = std::move(lookup);
    }
    return true;
}

// The session carries the shortcuts too: KDE Plasma 5.27 binds only what
// CreateSession's options hold and ignores BindShortcuts' list, later portals
// bind in BindShortcuts, and portals pass over options they do not know.
// listed gets the ids the answer names as bound.
bool PortalFrontEnd::CreateSession(std::span<const HotkeyRequest> hotkeys, std::set<int>& listed) {
    const PortalAnswer created = requests_.Ask(
        "CreateSession", kSessionLimitMs, [&](sd_bus_message* call, const std::string& token) {
            int r = sd_bus_message_open_container(call, 'a', "{sv}");
            if (r >= 0) r = sd_bus_message_append(call, "{sv}", "handle_token", "s", token.c_str());
            if (r >= 0) {
                r = sd_bus_message_append(call, "{sv}", "session_handle_token", "s", "tarrow");
            }
            if (r >= 0) r = sd_bus_message_open_container(call, 'e', "sv");
            if (r >= 0) r = sd_bus_message_append(call, "s", "shortcuts");
            if (r >= 0) r = sd_bus_message_open_container(call, 'v', "a(sa{sv})");
            if (r >= 0) r = AppendShortcuts(call, hotkeys, layoutName_, shiftedKeysym_);
            if (r >= 0) r = sd_bus_message_close_container(call);
            if (r >= 0) r = sd_bus_message_close_container(call);
            return r < 0 ? r : sd_bus_message_close_container(call);
        });
    if (created.code != 0 || created.sessionHandle.empty()) return false;
    sessionHandle_ = created.sessionHandle;
    listed = created.boundIds;
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(bus_.Get(), &slot, requests_.Portal().c_str(), kPortalPath,
                            kShortcutsInterface, "Activated", OnActivated, this) < 0) {
        return false;
    }
    activatedSlot_.reset(slot);
    return true;
}

// A shortcut is bound when the session's answer, the bind's answer or, failing
// both, the session's list read back names it. The user answers one dialog at
// most: the bind's.
void PortalFrontEnd::PrepareHotkeys(std::span<const HotkeyRequest> hotkeys) {
    std::set<int> bound;
    if (!CreateSession(hotkeys, bound)) return;
    const std::string session = sessionHandle_;
    const PortalAnswer answer = requests_.Ask(
        "BindShortcuts", kBindLimitMs, [&](sd_bus_message* call, const std::string& token) {
            int r = sd_bus_message_append(call, "o", session.c_str());
            if (r >= 0) r = AppendShortcuts(call, hotkeys, layoutName_, shiftedKeysym_);
            if (r >= 0) r = sd_bus_message_append(call, "s", "");  // no parent window
            return r < 0 ? r : AppendOptions(call, {{"handle_token", token}});
        });
    // A cancelled dialog binds nothing.
    if (answer.code != 0) return;
    bound.insert(answer.boundIds.begin(), answer.boundIds.end());
    std::set<int> asked;
    for (const HotkeyRequest& hotkey : hotkeys) asked.insert(hotkey.id);
    if (!std::includes(bound.begin(), bound.end(), asked.begin(), asked.end())) {
        const PortalAnswer list = requests_.Ask(
            "ListShortcuts", kSessionLimitMs, [&](sd_bus_message* call, const std::string& token) {
                const int r = sd_bus_message_append(call, "o", session.c_str());
                return r < 0 ? r : AppendOptions(call, {{"handle_token", token}});
            });
        if (list.code == 0) bound.insert(list.boundIds.begin(), list.boundIds.end());
    }
    for (const int id : bound) {
        if (asked.contains(id)) boundIds_.insert(id);
    }
}

int PortalFrontEnd::OnActivated(sd_bus_message* message, void* userdata,
                                sd_bus_error*) noexcept {
    auto& self = *static_cast<PortalFrontEnd*>(userdata);
    // Any peer can send a signal to us; only the portal presses our shortcuts.
    if (!FromPeer(message, self.requests_.Portal())) return 0;
    const char* path = sd_bus_message_get_path(message);
    if (path == nullptr || std::string_view(path) != kPortalPath) return 0;
    const char* session = nullptr;
    const char* id = nullptr;
    if (sd_bus_message_read(message, "os", &session, &id) < 0) return 0;
    if (self.sessionHandle_ != session) return 0;
    const auto number = ShortcutNumber(id);
    if (!number || !self.boundIds_.contains(*number)) return 0;
    try {
        self.activated_.push_back(*number);
    } catch (...) {
        // Out of memory: the press is lost.
    }
    return 0;
}

// Presses made while a box held the loop are not acted upon after it closes.
void PortalFrontEnd::DropPressesUnderBox() {
    if (std::this_thread::get_id() != mainThread_) return;
    bus_.Process();
    activated_.clear();
}

void PortalFrontEnd::Close() noexcept {
    // A box a worker still shows would otherwise stay on screen after we end.
    boxes_.CloseAll();
    activatedSlot_.reset();
    if (sessionHandle_.empty()) return;
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.Get(), &raw, requests_.Portal().c_str(),
                                       sessionHandle_.c_str(), "org.freedesktop.portal.Session",
                                       "Close") >= 0) {
        const BusMessage call(raw);
        sd_bus_message_set_expect_reply(call.get(), 0);
        sd_bus_send(bus_.Get(), call.get(), nullptr);
        bus_.Flush();
    }
    sessionHandle_.clear();
}

}  // namespace

std::unique_ptr<FrontEnd> OpenPortalFrontEnd(WakePipe& wake, SessionBus& bus) {
    auto frontEnd = std::make_unique<PortalFrontEnd>(wake, bus);
    if (!frontEnd->Open()) return nullptr;
    return frontEnd;
}

}  // namespace tarrow
