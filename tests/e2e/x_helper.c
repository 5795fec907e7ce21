/* Small X client for the end-to-end tests, where no window manager runs.
     x_helper close NAME  sends WM_DELETE_WINDOW to each top-level window so
                          named, as a window manager's close does;
                          status 0 when a window got it.
     x_helper grab KEY    grabs Control+Alt+Shift+KEY (a keysym name) on the
                          root window, says "grabbed" and holds it until killed. */

#include <X11/Xlib.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static int CloseWindows(Display* display, const char* wanted) {
    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Window root = DefaultRootWindow(display), parent, *children = NULL;
    unsigned count = 0;
    int sent = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            char* name = NULL;
            if (!XFetchName(display, children[i], &name) || name == NULL) continue;
            if (strcmp(name, wanted) == 0) {
                XEvent event;
                memset(&event, 0, sizeof event);
                event.xclient.type = ClientMessage;
                event.xclient.window = children[i];
                event.xclient.message_type = protocols;
                event.xclient.format = 32;
                event.xclient.data.l[0] = (long)deleteWindow;
                event.xclient.data.l[1] = CurrentTime;
                XSendEvent(display, children[i], False, NoEventMask, &event);
                ++sent;
            }
            XFree(name);
        }
        if (children) XFree(children);
    }
    XSync(display, False);
    return sent > 0 ? 0 : 1;
}

static int GrabAndHold(Display* display, const char* keyName) {
    KeySym keysym = XStringToKeysym(keyName);
    KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (keycode == 0) {
        fprintf(stderr, "x_helper: unknown key %s\n", keyName);
        return 2;
    }
    XGrabKey(display, keycode, ControlMask | Mod1Mask | ShiftMask, DefaultRootWindow(display),
             False, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    printf("grabbed\n");
    fflush(stdout);
    for (;;) pause();
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "close") != 0 && strcmp(argv[1], "grab") != 0)) {
        fprintf(stderr, "usage: %s close WINDOW-NAME | grab KEYSYM\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "x_helper: no display\n");
        return 2;
    }
    int status = strcmp(argv[1], "close") == 0 ? CloseWindows(display, argv[2])
                                               : GrabAndHold(display, argv[2]);
    XCloseDisplay(display);
    return status;
}
