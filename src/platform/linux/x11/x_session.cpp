// Opening the X display, the X error handler, the hidden window, hotkey
// grabs and the keyboard layout name.

#include <atomic>

#include "platform/linux/keys/keymap.hpp"
#include "platform/linux/x11/keyboard_layout.hpp"
#include "platform/linux/x11/x_session.hpp"
#include "platform/text.hpp"

// Last: Xlib's macros (None, Bool...) clash with the program's own names.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/keysym.h>

namespace tarrow {

namespace {

// Xlib reports protocol errors through one process-wide C callback, so what
// it learns has to live outside any session: a count of refused grabs.
std::atomic<unsigned long> gRefusedGrabs{0};

int OnXError(Display*, XErrorEvent* error) noexcept {
    if (error->error_code == BadAccess && error->request_code == X_GrabKey) {
        gRefusedGrabs.fetch_add(1);
    }
    // Anything else (a requestor window gone while we answer it, a window
    // destroyed by someone else) is harmless to us and ignored.
    return 0;
}

unsigned FindNumLockMask(Display* display) {
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display);
    if (map == nullptr) return 0;
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8 && numLock != 0; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            if (map->modifiermap[modifier * map->max_keypermod + k] == numLock) {
                mask = 1u << modifier;
            }
        }
    }
    XFreeModifiermap(map);
    return mask;
}

void InternAtoms(Display* display, XAtoms& atoms) {
    auto intern = [display](const char* name) { return XInternAtom(display, name, False); };
    atoms.wmProtocols = intern("WM_PROTOCOLS");
    atoms.wmDeleteWindow = intern("WM_DELETE_WINDOW");
    atoms.wmName = XA_WM_NAME;
    atoms.netWmName = intern("_NET_WM_NAME");
    atoms.utf8String = intern("UTF8_STRING");
    atoms.clipboard = intern("CLIPBOARD");
    atoms.targets = intern("TARGETS");
    atoms.text = intern("TEXT");
    atoms.rulesNames = intern("_XKB_RULES_NAMES");
}

// The Lock and NumLock variants every grab needs, so the hotkey works
// whatever the state of Caps Lock and Num Lock.
std::vector<unsigned> LockVariants(unsigned numLockMask) {
    std::vector<unsigned> variants = {0, LockMask};
    if (numLockMask != 0 && numLockMask != LockMask) {
        variants.push_back(numLockMask);
        variants.push_back(numLockMask | LockMask);
    }
    return variants;
}

std::string ReadRulesNames(Display* display, Window root, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, root, property, 0, 1024, False, XA_STRING, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 8) {
        value.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return value;
}

std::string SymbolsName(Display* display) {
    XkbDescPtr keyboard = XkbAllocKeyboard();
    if (keyboard == nullptr) return {};
    std::string symbols;
    if (XkbGetNames(display, XkbSymbolsNameMask, keyboard) == Success && keyboard->names &&
        keyboard->names->symbols != 0) {
        if (char* name = XGetAtomName(display, keyboard->names->symbols)) {
            symbols = name;
            XFree(name);
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return symbols;
}

}  // namespace

void XDisplayCloser::operator()(_XDisplay* display) const noexcept {
    if (display != nullptr) XCloseDisplay(display);
}

unsigned long RefusedGrabCount() { return gRefusedGrabs.load(); }

bool OpenXSession(XSession& session) {
    session.mainThread = std::this_thread::get_id();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    session.display.reset(display);
    XSetErrorHandler(OnXError);
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    XkbQueryExtension(display, &opcode, &event, &error, &major, &minor);
    session.root = DefaultRootWindow(display);
    InternAtoms(display, session.atoms);
    session.numLockMask = FindNumLockMask(display);
    return true;
}

void CloseXSession(XSession& session) noexcept {
    session.display.reset();
    session.windowAlive = false;
    session.ownsClipboard = false;
    session.grabs.clear();
}

void CreateXWindow(XSession& session, std::u16string_view title) {
    Display* display = session.display.get();
    if (display == nullptr || session.windowAlive) return;
    session.window = XCreateSimpleWindow(display, session.root, 0, 0, 1, 1, 0, 0, 0);
    session.windowAlive = true;
    const std::string name = Utf16ToUtf8(title);
    XStoreName(display, session.window, name.c_str());
    XChangeProperty(display, session.window, session.atoms.netWmName, session.atoms.utf8String, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(name.data()),
                    static_cast<int>(name.size()));
    Atom deleteWindow = session.atoms.wmDeleteWindow;
    XSetWMProtocols(display, session.window, &deleteWindow, 1);
    XSelectInput(display, session.window, StructureNotifyMask);
    XFlush(display);
}

void DestroyXWindow(XSession& session) {
    Display* display = session.display.get();
    if (display == nullptr || !session.windowAlive) return;
    XDestroyWindow(display, session.window);
    XFlush(display);
    session.windowAlive = false;
    session.ownsClipboard = false;
}

bool GrabHotkey(XSession& session, int id, uint32_t modifiers, uint8_t virtualKey) {
    Display* display = session.display.get();
    if (display == nullptr) return false;
    const KeySym keysym = KeysymForVirtualKey(virtualKey, XKeyboardLayoutName(session));
    if (keysym == NoSymbol) return false;
    const KeyCode keycode = XKeysymToKeycode(display, keysym);
    if (keycode == 0) return false;
    const unsigned mask = XModifierMask(modifiers);
    for (const HotkeyGrab& grab : session.grabs) {
        // X would let us grab a combination twice; the first hotkey keeps it.
        if (grab.keycode == keycode && grab.modifiers == mask) return false;
    }
    const unsigned long refusedBefore = RefusedGrabCount();
    const auto variants = LockVariants(session.numLockMask);
    for (const unsigned extra : variants) {
        XGrabKey(display, keycode, mask | extra, session.root, False, GrabModeAsync,
                 GrabModeAsync);
    }
    XSync(display, False);
    if (RefusedGrabCount() != refusedBefore) {
        // Another client holds (a variant of) it: give back what we got.
        for (const unsigned extra : variants) XUngrabKey(display, keycode, mask | extra, session.root);
        XSync(display, False);
        return false;
    }
    session.grabs.push_back({id, keycode, mask});
    return true;
}

std::u16string XKeyboardLayoutName(XSession& session) {
    Display* display = session.display.get();
    if (display == nullptr) return u"00000409";
    XkbStateRec state{};
    const int group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    // The loaded keymap's symbols name is the truth; the rules property on the
    // root window can be stale (a keymap loaded with xkbcomp leaves it alone).
    std::string layout = LayoutFromSymbolsName(SymbolsName(display), group);
    if (layout.empty()) {
        layout = LayoutFromRulesNames(
            ReadRulesNames(display, session.root, session.atoms.rulesNames), group);
    }
    return WindowsLayoutName(layout);
}

}  // namespace tarrow
