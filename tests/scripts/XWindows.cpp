#include "XWindows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

XWindows::XWindows() : m_display(XOpenDisplay(nullptr)) {}

XWindows::~XWindows()
{
    if (m_display)
        XCloseDisplay(m_display);
}

namespace {
long pidOf(Display *display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data && items == 1 && format == 32)
        pid = *reinterpret_cast<long *>(data);
    if (data)
        XFree(data);
    return pid;
}
} // namespace

quint64 XWindows::shownWindowOf(qint64 pid) const
{
    if (!m_display)
        return 0;
    // No window manager: the top-level windows are the root's children.
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
        return 0;
    quint64 found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(m_display, children[i], &attributes) &&
            attributes.map_state == IsViewable && pidOf(m_display, children[i]) == pid)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

bool XWindows::requestClose(quint64 window) const
{
    if (!m_display)
        return false;
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = Window(window);
    event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(m_display, Window(window), False, NoEventMask, &event) != 0;
    XSync(m_display, False);
    return sent;
}
