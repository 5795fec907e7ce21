// The front end of a Wayland desktop: the hotkeys are global shortcuts the
// desktop portal binds for us (all at once, in one dialog the user answers),
// their presses come as signals on the session bus, and the boxes are
// zenity's. There is no window: Wayland has no hidden one to give.

#include <poll.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <charconv>
#include <cstdlib>
#include <deque>
#include <set>
#include <string>
#include <thread>

#include "platform/linux/bus_handles.hpp"
#include "platform/linux/dialogs.hpp"
#include "platform/linux/front_end.hpp"
#include "platform/linux/keymap.hpp"
#include "platform/linux/session_bus.hpp"
#include "platform/linux/wake_pipe.hpp"
#include "platform/linux/wayland_clipboard.hpp"
#include "platform/linux/x_session.hpp"
#include "platform/text.hpp"

// Last: Xlib's macros (None, Bool...) clash with the program's own names.
#include <X11/Xlib.h>

namespace tarrow {

namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr uint64_t kCallTimeoutUs = 10'000'000;
constexpr int64_t kSessionLimitMs = 30'000;
// A person answers the bind dialog, maybe through a screen reader: leave time.
constexpr int64_t kBindLimitMs = 5 * 60'000;


// The shortcut in the trigger form portals take, for example
// "CTRL+ALT+SHIFT+q"; empty when the key has no keysym here.
std::string PreferredTrigger(uint32_t modifiers, uint8_t virtualKey,
                             std::u16string_view layoutName) {
    const unsigned long keysym = KeysymForVirtualKey(virtualKey, layoutName);
    const char* keyName = keysym != 0 ? XKeysymToString(keysym) : nullptr;
    if (keyName == nullptr) return {};
    std::string trigger;
    if (modifiers & kModControl) trigger += "CTRL+";
    if (modifiers & kModAlt) trigger += "ALT+";
    if (modifiers & kModShift) trigger += "SHIFT+";
    if (modifiers & kModWin) trigger += "LOGO+";
    return trigger + keyName;
}

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

std::optional<int> ShortcutNumber(std::string_view text) {
    int id = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return id;
}

// What a Request's Response carried.
struct PortalAnswer {
    bool arrived = false;
    uint32_t code = 2;  // 0 granted, 1 cancelled by the user, 2 ended otherwise
    std::string sessionHandle;
    std::set<int> boundIds;
};

// Reads the shortcuts of a BindShortcuts answer: a(sa{sv}), the ids we keep.
int ReadShortcuts(sd_bus_message* message, std::set<int>& ids) {
    int r = sd_bus_message_enter_container(message, 'a', "(sa{sv})");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(message, 'r', "sa{sv}")) > 0) {
        const char* id = nullptr;
        if ((r = sd_bus_message_read(message, "s", &id)) < 0) return r;
        if (const auto number = ShortcutNumber(id)) ids.insert(*number);
        if ((r = sd_bus_message_skip(message, "a{sv}")) < 0) return r;
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(message);
}

int ReadResponse(sd_bus_message* message, PortalAnswer& answer) {
    int r = sd_bus_message_read(message, "u", &answer.code);
    if (r < 0) return r;
    if ((r = sd_bus_message_enter_container(message, 'a', "{sv}")) < 0) return r;
    while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read(message, "s", &key)) < 0) return r;
        const std::string_view name(key);
        char type = 0;
        const char* contents = nullptr;
        if ((r = sd_bus_message_peek_type(message, &type, &contents)) < 0) return r;
        const std::string_view inner(contents ? contents : "");
        if (name == "session_handle" && (inner == "s" || inner == "o")) {
            // Portals give it as a string; the documents once said an object path.
            const char* handle = nullptr;
            if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) return r;
            if ((r = sd_bus_message_read_basic(message, inner[0], &handle)) < 0) return r;
            answer.sessionHandle = handle;
            if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        } else if (name == "shortcuts" && inner == "a(sa{sv})") {
            if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) return r;
            if ((r = ReadShortcuts(message, answer.boundIds)) < 0) return r;
            if ((r = sd_bus_message_exit_container(message)) < 0) return r;
        } else if ((r = sd_bus_message_skip(message, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(message)) < 0) return r;
    }
    return r;
}

int OnResponse(sd_bus_message* message, void* userdata, sd_bus_error*) noexcept {
    auto& answer = *static_cast<PortalAnswer*>(userdata);
    if (answer.arrived) return 0;
    try {
        if (ReadResponse(message, answer) < 0) answer = PortalAnswer{};
    } catch (...) {
        answer = PortalAnswer{};
    }
    answer.arrived = true;  // a malformed answer counts as ended
    return 0;
}

class PortalFrontEnd final : public FrontEnd {
public:
    PortalFrontEnd(WakePipe& wake, SessionBus& bus)
        : wake_(wake), bus_(bus), mainThread_(std::this_thread::get_id()) {}
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
        return exitDuringBind_ || boundIds_.contains(id);
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
    std::string RequestPath(const std::string& token) const;
    BusSlot WatchResponse(const std::string& path, PortalAnswer& answer);
    template <typename AppendArguments>
    PortalAnswer Ask(const char* method, int64_t limitMs, AppendArguments append);
    static int OnActivated(sd_bus_message* message, void* userdata, sd_bus_error*) noexcept;
    void DropPressesUnderBox();

    WakePipe& wake_;
    SessionBus& bus_;
    std::thread::id mainThread_;
    std::string senderPart_;  // our unique name as a path element
    unsigned nextToken_ = 0;
    std::string sessionHandle_;
    BusSlot activatedSlot_;
    std::set<int> boundIds_;
    bool exitDuringBind_ = false;
    std::deque<int> activated_;
    std::u16string layoutName_ = u"00000409";
    bool hasDisplay_ = false;
    ZenityBoxes boxes_;
};

std::string PortalFrontEnd::RequestPath(const std::string& token) const {
    return std::string(kPortalPath) + "/request/" + senderPart_ + "/" + token;
}

BusSlot PortalFrontEnd::WatchResponse(const std::string& path, PortalAnswer& answer) {
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(bus_.Get(), &slot, nullptr, path.c_str(),
                            "org.freedesktop.portal.Request", "Response", OnResponse,
                            &answer) < 0) {
        return nullptr;
    }
    return BusSlot(slot);
}

// Calls a portal method that answers later through a Request object, and
// waits for that answer. The match goes in before the call, so an answer
// that comes at once is not lost.
template <typename AppendArguments>
PortalAnswer PortalFrontEnd::Ask(const char* method, int64_t limitMs, AppendArguments append) {
    PortalAnswer answer;
    const std::string token = "tarrow" + std::to_string(++nextToken_);
    const std::string expected = RequestPath(token);
    BusSlot watch = WatchResponse(expected, answer);
    if (!watch) return answer;

    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus_.Get(), &raw, kPortalName, kPortalPath,
                                       kShortcutsInterface, method) < 0) {
        return answer;
    }
    const BusMessage call(raw);
    if (append(call.get(), token) < 0) return answer;
    BusError error;
    sd_bus_message* rawReply = nullptr;
    if (sd_bus_call(bus_.Get(), call.get(), kCallTimeoutUs, &error.error, &rawReply) < 0) {
        return answer;
    }
    const BusMessage reply(rawReply);
    const char* handle = nullptr;
    if (sd_bus_message_read(reply.get(), "o", &handle) < 0) return answer;
    // An older portal may choose its own request path.
    if (expected != handle && !answer.arrived) watch = WatchResponse(handle, answer);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    bus_.Process();  // the answer may have come in with the reply
    while (!answer.arrived) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return PortalAnswer{};
        wake_.Poll(nullptr, 0, left.count());
        if (wake_.TakeExitRequest()) {
            wake_.PostExitRequest();  // for the main loop, which ends the program
            exitDuringBind_ = true;
            return PortalAnswer{};
        }
    }
    return answer;
}

int AppendOptions(sd_bus_message* message,
                  std::initializer_list<std::pair<const char*, std::string>> options) {
    int r = sd_bus_message_open_container(message, 'a', "{sv}");
    for (const auto& [key, value] : options) {
        if (r >= 0) r = sd_bus_message_append(message, "{sv}", key, "s", value.c_str());
    }
    return r < 0 ? r : sd_bus_message_close_container(message);
}

// A program outside a sandbox is known to the portal by the name of its
// desktop entry only once it says so, before any other portal call. Portals
// older than this registry refuse the call; that changes nothing.
void RegisterDesktopEntryName(sd_bus* bus) {
    BusError error;
    sd_bus_call_method(bus, kPortalName, kPortalPath, "org.freedesktop.host.portal.Registry",
                       "Register", &error.error, nullptr, "sa{sv}", "tarrow-desk", 0);
}

bool PortalFrontEnd::Open() {
    RegisterDesktopEntryName(bus_.Get());
    BusError error;
    uint32_t version = 0;
    if (sd_bus_get_property_trivial(bus_.Get(), kPortalName, kPortalPath, kShortcutsInterface,
                                    "version", &error.error, 'u', &version) < 0 ||
        (version != 1 && version != 2)) {
        return false;
    }
    const char* unique = nullptr;
    if (sd_bus_get_unique_name(bus_.Get(), &unique) < 0) return false;
    for (const char c : std::string_view(unique).substr(1)) senderPart_ += c == '.' ? '_' : c;

    const auto sessionOptions = [](sd_bus_message* call, const std::string& token) {
        return AppendOptions(call, {{"handle_token", token}, {"session_handle_token", "tarrow"}});
    };
    const PortalAnswer created = Ask("CreateSession", kSessionLimitMs, sessionOptions);
    if (created.code != 0 || created.sessionHandle.empty()) return false;
    sessionHandle_ = created.sessionHandle;
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(bus_.Get(), &slot, nullptr, kPortalPath, kShortcutsInterface,
                            "Activated", OnActivated, this) < 0) {
        return false;
    }
    activatedSlot_.reset(slot);

    XSession display;
    if (OpenXSession(display)) {
        layoutName_ = XKeyboardLayoutName(display);
        hasDisplay_ = true;
        CloseXSession(display);
    } else {
        hasDisplay_ = WaylandSocketPresent();
    }
    return true;
}

void PortalFrontEnd::PrepareHotkeys(std::span<const HotkeyRequest> hotkeys) {
    const std::u16string layoutName = layoutName_;
    const std::string session = sessionHandle_;
    const PortalAnswer bound = Ask(
        "BindShortcuts", kBindLimitMs, [&](sd_bus_message* call, const std::string& token) {
            int r = sd_bus_message_append(call, "o", session.c_str());
            if (r >= 0) r = sd_bus_message_open_container(call, 'a', "(sa{sv})");
            for (const HotkeyRequest& hotkey : hotkeys) {
                if (r < 0) break;
                const std::string trigger =
                    PreferredTrigger(hotkey.modifiers, hotkey.virtualKey, layoutName);
                const std::string description = Utf16ToUtf8(hotkey.label);
                r = sd_bus_message_open_container(call, 'r', "sa{sv}");
                if (r >= 0) r = sd_bus_message_append(call, "s", std::to_string(hotkey.id).c_str());
                if (r >= 0) {
                    r = trigger.empty()
                            ? AppendOptions(call, {{"description", description}})
                            : AppendOptions(call, {{"description", description},
                                                   {"preferred_trigger", trigger}});
                }
                if (r >= 0) r = sd_bus_message_close_container(call);
            }
            if (r >= 0) r = sd_bus_message_close_container(call);
            if (r >= 0) r = sd_bus_message_append(call, "s", "");  // no parent window
            return r < 0 ? r : AppendOptions(call, {{"handle_token", token}});
        });
    // A cancelled dialog binds nothing.
    if (bound.code == 0) boundIds_ = bound.boundIds;
}

int PortalFrontEnd::OnActivated(sd_bus_message* message, void* userdata,
                                sd_bus_error*) noexcept {
    auto& self = *static_cast<PortalFrontEnd*>(userdata);
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
    if (sd_bus_message_new_method_call(bus_.Get(), &raw, kPortalName, sessionHandle_.c_str(),
                                       "org.freedesktop.portal.Session", "Close") >= 0) {
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
