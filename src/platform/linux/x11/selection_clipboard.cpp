// The X CLIPBOARD selection: we own it and answer requests from the event
// loop.

#include "platform/linux/x11/x_session.hpp"
#include "platform/text.hpp"

// Last: Xlib's macros (None, Bool...) clash with the program's own names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tarrow {

namespace {

// Latin-1 for requestors that only take STRING; other characters become '?'.
std::string Latin1(std::string_view utf8) {
    std::string out;
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
        out.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
    }
    return out;
}

// Largest property we hand over in one piece (no INCR transfers: the spoken
// texts are short, and a text too large is refused rather than cut).
size_t MaxPropertyBytes(Display* display) {
    long units = XExtendedMaxRequestSize(display);
    if (units == 0) units = XMaxRequestSize(display);
    return static_cast<size_t>(units) * 4 - 256;
}

}  // namespace

void AnswerSelectionRequest(XSession& session, const _XEvent& raw) {
    const XSelectionRequestEvent& request = raw.xselectionrequest;
    Display* display = session.display.get();
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // Obsolete clients give no property: use the target's name, as ICCCM says.
    const Atom property = request.property != None ? request.property : request.target;
    const XAtoms& atoms = session.atoms;
    if (request.selection == atoms.clipboard && session.ownsClipboard &&
        request.owner == session.window) {
        const std::string& text = session.clipboardUtf8;
        if (request.target == atoms.targets) {
            const Atom targets[] = {atoms.targets, atoms.utf8String, atoms.text, XA_STRING};
            XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(targets), 4);
            reply.property = property;
        } else if ((request.target == atoms.utf8String || request.target == atoms.text ||
                    request.target == XA_STRING) &&
                   text.size() <= MaxPropertyBytes(display)) {
            const bool latin1 = request.target == XA_STRING;
            const std::string bytes = latin1 ? Latin1(text) : text;
            XChangeProperty(display, request.requestor, property,
                            latin1 ? XA_STRING : atoms.utf8String, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
            reply.property = property;
        }
    }
    XEvent event{};
    event.xselection = reply;
    XSendEvent(display, request.requestor, False, NoEventMask, &event);
    XFlush(display);
}

bool SetXClipboard(XSession& session, std::u16string_view text) {
    Display* display = session.display.get();
    if (display == nullptr || !session.windowAlive) return false;
    session.clipboardUtf8 = Utf16ToUtf8(text);
    // ICCCM wants the time of the event that caused the change, not CurrentTime.
    const Time when = session.lastEventTime != 0 ? session.lastEventTime : CurrentTime;
    XSetSelectionOwner(display, session.atoms.clipboard, session.window, when);
    session.ownsClipboard = XGetSelectionOwner(display, session.atoms.clipboard) == session.window;
    return session.ownsClipboard;
}

}  // namespace tarrow
