/* Presses key combinations for real through kwin's fake-input protocol
 * (org_kde_kwin_fake_input), for the end-to-end test on a private kwin.
 *   fake_keys COMBINATION...   each one like ctrl+alt+shift+bracketright:
 *                              the keys go down in order and up in reverse
 * Modifiers: ctrl alt shift meta. Keys: a-z, 0-9, F1-F12, BackSpace, Delete,
 * space and the US punctuation keys by their keysym names. Exit code 0 when
 * every combination was sent. */

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <string.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"

struct Key {
    const char* name;
    unsigned code;
};

static const struct Key kKeys[] = {
    {"ctrl", KEY_LEFTCTRL}, {"alt", KEY_LEFTALT}, {"shift", KEY_LEFTSHIFT}, {"meta", KEY_LEFTMETA},
    {"a", KEY_A}, {"b", KEY_B}, {"c", KEY_C}, {"d", KEY_D}, {"e", KEY_E}, {"f", KEY_F},
    {"g", KEY_G}, {"h", KEY_H}, {"i", KEY_I}, {"j", KEY_J}, {"k", KEY_K}, {"l", KEY_L},
    {"m", KEY_M}, {"n", KEY_N}, {"o", KEY_O}, {"p", KEY_P}, {"q", KEY_Q}, {"r", KEY_R},
    {"s", KEY_S}, {"t", KEY_T}, {"u", KEY_U}, {"v", KEY_V}, {"w", KEY_W}, {"x", KEY_X},
    {"y", KEY_Y}, {"z", KEY_Z}, {"1", KEY_1}, {"2", KEY_2}, {"3", KEY_3}, {"4", KEY_4},
    {"5", KEY_5}, {"6", KEY_6}, {"7", KEY_7}, {"8", KEY_8}, {"9", KEY_9}, {"0", KEY_0},
    {"F1", KEY_F1}, {"F2", KEY_F2}, {"F3", KEY_F3}, {"F4", KEY_F4}, {"F5", KEY_F5},
    {"F6", KEY_F6}, {"F7", KEY_F7}, {"F8", KEY_F8}, {"F9", KEY_F9}, {"F10", KEY_F10},
    {"F11", KEY_F11}, {"F12", KEY_F12}, {"BackSpace", KEY_BACKSPACE}, {"Delete", KEY_DELETE},
    {"space", KEY_SPACE}, {"Escape", KEY_ESC}, {"Return", KEY_ENTER}, {"grave", KEY_GRAVE}, {"minus", KEY_MINUS}, {"equal", KEY_EQUAL},
    {"bracketleft", KEY_LEFTBRACE}, {"bracketright", KEY_RIGHTBRACE},
    {"backslash", KEY_BACKSLASH}, {"semicolon", KEY_SEMICOLON}, {"apostrophe", KEY_APOSTROPHE},
    {"comma", KEY_COMMA}, {"period", KEY_DOT}, {"slash", KEY_SLASH},
};

static struct org_kde_kwin_fake_input* fake;

static void OnGlobal(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    (void)data;
    if (fake == NULL && strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
        version >= 4) {
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
    }
}

static void OnGlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

static int CodeOf(const char* name, size_t length, unsigned* code) {
    for (size_t i = 0; i < sizeof kKeys / sizeof kKeys[0]; ++i) {
        if (strlen(kKeys[i].name) == length && strncmp(kKeys[i].name, name, length) == 0) {
            *code = kKeys[i].code;
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    struct wl_display* display = wl_display_connect(NULL);
    if (display == NULL) {
        fprintf(stderr, "fake_keys: no Wayland display\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, NULL);
    wl_display_roundtrip(display);
    if (fake == NULL) {
        fprintf(stderr, "fake_keys: the compositor offers no fake input (version 4)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "tarrow-desk tests", "pressing the hotkeys");
    for (int a = 1; a < argc; ++a) {
        unsigned codes[8];
        int count = 0;
        for (const char* part = argv[a]; *part != '\0';) {
            const char* end = strchr(part, '+');
            const size_t length = end ? (size_t)(end - part) : strlen(part);
            if (count == 8 || !CodeOf(part, length, &codes[count])) {
                fprintf(stderr, "fake_keys: cannot press %s\n", argv[a]);
                return 2;
            }
            ++count;
            part += length + (end ? 1 : 0);
        }
        for (int i = 0; i < count; ++i) {
            org_kde_kwin_fake_input_keyboard_key(fake, codes[i], WL_KEYBOARD_KEY_STATE_PRESSED);
            wl_display_roundtrip(display);
        }
        for (int i = count - 1; i >= 0; --i) {
            org_kde_kwin_fake_input_keyboard_key(fake, codes[i], WL_KEYBOARD_KEY_STATE_RELEASED);
            wl_display_roundtrip(display);
        }
    }
    org_kde_kwin_fake_input_destroy(fake);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
