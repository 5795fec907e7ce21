// The X11 front end's events: key presses of the grabbed hotkeys, the window
// closed, and the clipboard requests answered on the way.

#include <poll.h>

#include <algorithm>

#include "platform/linux/wake_pipe.hpp"
#include "platform/linux/x11/x_session.hpp"

// Last: Xlib's macros (None, Bool...) clash with the program's own names.
#include <X11/Xlib.h>

namespace tarrow {

namespace {

constexpr unsigned kHotkeyModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

Event Make(EventKind kind, int64_t id = 0) { return Event{kind, id}; }

Event Translate(XSession& session, XEvent& event) {
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

Event TakeXEvent(XSession& session) {
    XEvent event;
    XNextEvent(session.display.get(), &event);
    return Translate(session, event);
}

}  // namespace

Event NextXEvent(XSession& session, WakePipe& wake, int64_t timeoutMs) {
    Display* display = session.display.get();
    if (XPending(display) > 0) return TakeXEvent(session);
    if (timeoutMs <= 0) return {};
    pollfd display_fd{ConnectionNumber(display), POLLIN, 0};
    wake.Poll(&display_fd, 1, timeoutMs);
    if (wake.TakeExitRequest()) return Make(EventKind::ExitRequest);
    if (XPending(display) > 0) return TakeXEvent(session);
    return {};
}

void DiscardKeyEvents(XSession& session) {
    Display* display = session.display.get();
    if (display == nullptr) return;
    // Every key the server sent while the box was open is in the queue after a round trip.
    XSync(display, False);
    XEvent event;
    while (XCheckTypedEvent(display, KeyPress, &event) ||
           XCheckTypedEvent(display, KeyRelease, &event)) {
    }
}

}  // namespace tarrow
