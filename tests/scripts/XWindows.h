// The windows of a process on the X display named by DISPLAY, seen and
// closed as a window manager would: by the WM_DELETE_WINDOW message.
#pragma once

#include <QtGlobal>

struct _XDisplay;

class XWindows
{
public:
    XWindows();
    ~XWindows();
    XWindows(const XWindows &) = delete;
    XWindows &operator=(const XWindows &) = delete;

    bool isOpen() const { return m_display != nullptr; }
    // A mapped top-level window of process `pid`, 0 for none.
    quint64 shownWindowOf(qint64 pid) const;
    bool requestClose(quint64 window) const;

private:
    _XDisplay *m_display = nullptr;
};
