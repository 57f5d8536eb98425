// The windows of a process on the display DISPLAY names, seen and closed as
// a window manager would: by the WM_DELETE_WINDOW message. Apart from the
// test, whose Qt headers and Xlib's macros do not mix.
#include <QtGlobal>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {
Display *display()
{
    static Display *const d = XOpenDisplay(nullptr);
    return d;
}

long pidOf(Window window)
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display(), window, XInternAtom(display(), "_NET_WM_PID", False), 0, 1,
                           False, XA_CARDINAL, &type, &format, &items, &after, &data) == Success &&
        data && items == 1 && format == 32)
        pid = *reinterpret_cast<long *>(data);
    if (data)
        XFree(data);
    return pid;
}
} // namespace

bool xDisplayOpen()
{
    return display() != nullptr;
}

// A mapped top-level window of process `pid`, 0 for none. Without a window
// manager the top-level windows are the root's children.
quint64 xShownWindowOf(qint64 pid)
{
    Window root = 0, parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!display() ||
        !XQueryTree(display(), DefaultRootWindow(display()), &root, &parent, &children, &count))
        return 0;
    quint64 found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display(), children[i], &a) && a.map_state == IsViewable &&
            pidOf(children[i]) == pid)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

bool xRequestClose(quint64 window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(display(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display(), Window(window), False, NoEventMask, &event) != 0;
    XSync(display(), False);
    return sent;
}
