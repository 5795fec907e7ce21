// Events, the hidden window, the tray and hotkeys, on X11 or the terminal.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/display_session.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/text.hpp"

// Last: Xlib's macros (None, Bool...) clash with the program's own names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tarrow {

namespace {

constexpr unsigned kHotkeyModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

Event Make(EventKind kind, int64_t id = 0) { return Event{kind, id}; }

void DrainWakePipe(DisplaySession& session) {
    char buffer[64];
    while (session.wakeRead.Get() >= 0 && read(session.wakeRead.Get(), buffer, sizeof buffer) > 0) {
    }
}

Event Translate(DisplaySession& session, XEvent& event) {
    switch (event.type) {
        case KeyPress: {
            session.lastEventTime = event.xkey.time;
            const unsigned state = event.xkey.state & kHotkeyModifiers;
            for (const HotkeyGrab& grab : session.grabs) {
                if (grab.keycode == event.xkey.keycode && grab.modifiers == state) {
                    return Make(EventKind::Hotkey, grab.id);
                }
            }
            break;
        }
        case ClientMessage:
            if (event.xclient.window == session.window &&
                event.xclient.message_type == session.atoms.wmProtocols &&
                event.xclient.format == 32 &&
                static_cast<unsigned long>(event.xclient.data.l[0]) ==
                    session.atoms.wmDeleteWindow) {
                return Make(EventKind::Close);
            }
            break;
        case DestroyNotify:
            // Someone destroyed our window outright: take it as a close request.
            if (event.xdestroywindow.window == session.window && session.windowAlive) {
                session.windowAlive = false;
                session.ownsClipboard = false;
                return Make(EventKind::Close);
            }
            break;
        case SelectionRequest:
            AnswerSelectionRequest(session, event);
            break;
        case SelectionClear:
            if (event.xselectionclear.selection == session.atoms.clipboard) {
                session.ownsClipboard = false;
            }
            break;
        case MappingNotify:
            XRefreshKeyboardMapping(&event.xmapping);
            break;
        default:
            break;
    }
    return Make(EventKind::Other);
}

Event TakeXEvent(DisplaySession& session) {
    XEvent event;
    XNextEvent(session.display.get(), &event);
    return Translate(session, event);
}

// Waits on the wake-up pipe alone (no display, no terminal).
void WaitWakePipe(DisplaySession& session, int64_t timeoutMs) {
    if (timeoutMs <= 0 || session.wakeRead.Get() < 0) return;
    pollfd fd{session.wakeRead.Get(), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<int64_t>(timeoutMs, 1 << 30)));
    DrainWakePipe(session);
}

}  // namespace

Event NextXEvent(DisplaySession& session, int64_t timeoutMs) {
    Display* display = session.display.get();
    if (XPending(display) > 0) return TakeXEvent(session);
    if (timeoutMs <= 0) return {};
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {session.wakeRead.Get(), POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(std::min<int64_t>(timeoutMs, 1 << 30)));
    if (ready > 0 && (fds[1].revents & POLLIN)) DrainWakePipe(session);
    if (session.exitRequested.exchange(false)) return Make(EventKind::ExitRequest);
    if (XPending(display) > 0) return TakeXEvent(session);
    return {};
}

void DiscardKeyEvents(DisplaySession& session) {
    std::erase_if(session.pending, [](const Event& e) { return e.kind == EventKind::Hotkey; });
    Display* display = session.display.get();
    if (display == nullptr) return;
    // Every key the server sent while the box was open is in the queue after a round trip.
    XSync(display, False);
    XEvent event;
    while (XCheckTypedEvent(display, KeyPress, &event) ||
           XCheckTypedEvent(display, KeyRelease, &event)) {
    }
}

bool LinuxPlatform::OpenUserInterface(std::string& why) { return OpenDisplaySession(*display_, why); }

Event LinuxPlatform::WaitEvent(int64_t timeoutMs) {
    DisplaySession& session = *display_;
    if (session.exitRequested.exchange(false)) {
        DrainWakePipe(session);
        return Make(EventKind::ExitRequest);
    }
    if (!session.pending.empty()) {
        const Event event = session.pending.front();
        session.pending.pop_front();
        return event;
    }
    switch (session.mode.load()) {
        case UiMode::X11: return NextXEvent(session, timeoutMs);
        case UiMode::Terminal: return NextTerminalEvent(session, timeoutMs);
        case UiMode::Headless: break;
    }
    WaitWakePipe(session, timeoutMs);
    if (session.exitRequested.exchange(false)) return Make(EventKind::ExitRequest);
    return {};
}

void LinuxPlatform::PostExitRequest() {
    DisplaySession& session = *display_;
    session.exitRequested.store(true);
    if (session.wakeWrite.Get() >= 0) {
        const char byte = 1;
        // A full pipe already wakes the loop; nothing more to do then.
        [[maybe_unused]] const ssize_t written = write(session.wakeWrite.Get(), &byte, 1);
    }
}

void LinuxPlatform::CreateHiddenWindow(std::u16string_view title) {
    DisplaySession& session = *display_;
    Display* display = session.display.get();
    if (session.mode.load() != UiMode::X11 || display == nullptr || session.windowAlive) return;
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

void LinuxPlatform::CloseHiddenWindow() {
    DisplaySession& session = *display_;
    Display* display = session.display.get();
    if (display == nullptr || !session.windowAlive) return;
    XDestroyWindow(display, session.window);
    XFlush(display);
    session.windowAlive = false;
    session.ownsClipboard = false;
}

// No tray host is needed: under X the tooltip and menu have no home yet; in
// the terminal the tooltip is the terminal's title.
void LinuxPlatform::AddTrayIcon(std::u16string_view tooltip) {
    if (display_->mode.load() == UiMode::Terminal) SetTerminalTitle(*display_, tooltip);
}
void LinuxPlatform::SetTrayTooltip(std::u16string_view tooltip) {
    if (display_->mode.load() == UiMode::Terminal) {
        SetTerminalTitle(*display_, tooltip.substr(0, 63));
    }
}
void LinuxPlatform::RemoveTrayIcon() {}
void LinuxPlatform::CreateTrayMenu(int64_t, std::u16string_view) {}

bool LinuxPlatform::RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                   std::u16string_view label) {
    switch (display_->mode.load()) {
        case UiMode::X11: return GrabHotkey(*display_, id, modifiers, virtualKey);
        case UiMode::Terminal: return AddTerminalKey(*display_, id, virtualKey, label);
        case UiMode::Headless: break;
    }
    return false;
}

std::u16string LinuxPlatform::KeyboardLayoutName() {
    // The terminal's keys are read as US characters.
    if (display_->mode.load() == UiMode::X11) return XKeyboardLayoutName(*display_);
    return u"00000409";
}

}  // namespace tarrow
