// The compositor's keymap through wl_seat and wl_keyboard, read with
// xkbcommon. One short connection of our own at start; nothing stays open.

#include "platform/linux/bus/wayland_keymap.hpp"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/linux/unique_fd.hpp"

namespace tarrow {

namespace {

constexpr auto kKeymapLimit = std::chrono::seconds(2);

struct ContextUnref {
    void operator()(xkb_context* c) const noexcept { xkb_context_unref(c); }
};
struct KeymapUnref {
    void operator()(xkb_keymap* k) const noexcept { xkb_keymap_unref(k); }
};
struct StateUnref {
    void operator()(xkb_state* s) const noexcept { xkb_state_unref(s); }
};
using Context = std::unique_ptr<xkb_context, ContextUnref>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapUnref>;
using State = std::unique_ptr<xkb_state, StateUnref>;

// Each key's symbol of the first layout, without and with Shift, for keys
// other than letters; the first key giving a symbol wins.
ShiftedKeysymLookup ShiftedKeysymsOf(xkb_keymap* keymap) {
    if (keymap == nullptr) return {};
    const State state(xkb_state_new(keymap));
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    if (!state || shift == XKB_MOD_INVALID) return {};
    xkb_state_update_mask(state.get(), 1u << shift, 0, 0, 0, 0, 0);
    auto table = std::make_shared<std::map<unsigned long, unsigned long>>();
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
        const xkb_keysym_t* plain = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &plain) != 1) continue;
        // Letters keep Shift as a modifier: compositors match them as SHIFT+q.
        if (xkb_keysym_to_upper(plain[0]) != plain[0]) continue;
        const xkb_keysym_t shifted = xkb_state_key_get_one_sym(state.get(), key);
        if (shifted != XKB_KEY_NoSymbol && shifted != plain[0]) table->emplace(plain[0], shifted);
    }
    return [table](unsigned long keysym) -> unsigned long {
        const auto found = table->find(keysym);
        return found == table->end() ? 0 : found->second;
    };
}

struct DisplayClose {
    void operator()(wl_display* d) const noexcept { wl_display_disconnect(d); }
};

// What the registry, seat and keyboard listeners fill in.
struct KeymapReader {
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    bool seatAnswered = false;
    std::string text;
    bool keymapCame = false;
};

void OnKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) noexcept {
    auto& reader = *static_cast<KeymapReader*>(data);
    const UniqueFd owned(fd);
    reader.keymapCame = true;
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) return;
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, owned.Get(), 0);
    if (map == MAP_FAILED) return;
    try {
        reader.text.assign(static_cast<const char*>(map), strnlen(static_cast<const char*>(map), size));
    } catch (...) {
        reader.text.clear();
    }
    munmap(map, size);
}
void OnEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) noexcept {}
void OnLeave(void*, wl_keyboard*, uint32_t, wl_surface*) noexcept {}
void OnKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) noexcept {}
void OnModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) noexcept {}
void OnRepeatInfo(void*, wl_keyboard*, int32_t, int32_t) noexcept {}
const wl_keyboard_listener kKeyboardListener = {OnKeymap, OnEnter,     OnLeave,
                                                OnKey,    OnModifiers, OnRepeatInfo};

void OnCapabilities(void* data, wl_seat* seat, uint32_t capabilities) noexcept {
    auto& reader = *static_cast<KeymapReader*>(data);
    reader.seatAnswered = true;
    if (reader.keyboard != nullptr || !(capabilities & WL_SEAT_CAPABILITY_KEYBOARD)) return;
    reader.keyboard = wl_seat_get_keyboard(seat);
    if (reader.keyboard) wl_keyboard_add_listener(reader.keyboard, &kKeyboardListener, &reader);
}
void OnSeatName(void*, wl_seat*, const char*) noexcept {}
const wl_seat_listener kSeatListener = {OnCapabilities, OnSeatName};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) noexcept {
    auto& reader = *static_cast<KeymapReader*>(data);
    if (reader.seat != nullptr || std::strcmp(interface, wl_seat_interface.name) != 0) return;
    // Version 4 is the newest whose events our listeners all know.
    reader.seat = static_cast<wl_seat*>(
        wl_registry_bind(registry, name, &wl_seat_interface, version < 4 ? version : 4));
    if (reader.seat) wl_seat_add_listener(reader.seat, &kSeatListener, &reader);
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) noexcept {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

// Handles events until done() or the deadline: a compositor that does not
// answer cannot hold start-up.
template <typename Done>
bool DispatchUntil(wl_display* display, std::chrono::steady_clock::time_point deadline, Done done) {
    while (!done()) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) return false;
        }
        if (done()) {
            wl_display_cancel_read(display);
            break;
        }
        wl_display_flush(display);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{wl_display_get_fd(display), POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, int(left.count())) <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

ShiftedKeysymLookup ShiftedKeysymsOfKeymap(std::string_view keymapText) {
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) return {};
    const std::string text(keymapText);
    const Keymap keymap(xkb_keymap_new_from_string(context.get(), text.c_str(),
                                                   XKB_KEYMAP_FORMAT_TEXT_V1,
                                                   XKB_KEYMAP_COMPILE_NO_FLAGS));
    return ShiftedKeysymsOf(keymap.get());
}

ShiftedKeysymLookup ShiftedKeysymsOfLayout(const char* layout) {
    const Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) return {};
    const xkb_rule_names names{nullptr, nullptr, layout, nullptr, nullptr};
    const Keymap keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    return ShiftedKeysymsOf(keymap.get());
}

ShiftedKeysymLookup WaylandShiftedKeysyms() {
    const std::unique_ptr<wl_display, DisplayClose> display(wl_display_connect(nullptr));
    if (!display) return {};
    const auto deadline = std::chrono::steady_clock::now() + kKeymapLimit;
    KeymapReader reader;
    wl_registry* registry = wl_display_get_registry(display.get());
    if (registry == nullptr) return {};
    wl_registry_add_listener(registry, &kRegistryListener, &reader);
    bool synced = false;
    wl_callback* sync = wl_display_sync(display.get());
    static const wl_callback_listener kSyncListener = {
        [](void* data, wl_callback*, uint32_t) noexcept { *static_cast<bool*>(data) = true; }};
    if (sync) wl_callback_add_listener(sync, &kSyncListener, &synced);
    const bool read =
        sync && DispatchUntil(display.get(), deadline, [&] { return synced; }) && reader.seat &&
        DispatchUntil(display.get(), deadline, [&] { return reader.seatAnswered; }) &&
        reader.keyboard &&
        DispatchUntil(display.get(), deadline, [&] { return reader.keymapCame; });
    if (sync) wl_callback_destroy(sync);
    if (reader.keyboard) wl_keyboard_destroy(reader.keyboard);
    if (reader.seat) wl_seat_destroy(reader.seat);
    wl_registry_destroy(registry);
    if (!read || reader.text.empty()) return {};
    return ShiftedKeysymsOfKeymap(reader.text);
}

}  // namespace tarrow
