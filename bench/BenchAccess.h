// The window befriends one struct for code outside it. The tests have their
// own, fuller copy; this is the bench binaries' copy with only what they
// touch. The two are never linked into the same program.
#pragma once

#include "app/MovraTestTool.h"

struct MovraTestAccess
{
    static Ui::MovraTestToolClass &ui(MovraTestTool &w) { return w.ui; }
    static QTimer &tickTimer(MovraTestTool &w) { return w.tickTimer; }
    static QByteArray &rxBuffer(MovraTestTool &w) { return w.rxBuffer; }
    static quint16 &idleTicks(MovraTestTool &w) { return w.idleTicks; }
    static qint32 &pendingRequest(MovraTestTool &w) { return w.pendingRequest; }
    static qint32 &linkState(MovraTestTool &w) { return w.linkState; }
    static quint8 &devAddress(MovraTestTool &w) { return w.devAddress; }

    // The slot itself, as the timer's direct connection calls it.
    static void tick(MovraTestTool &w) { w._10msTimerCallback(); }
    static void appendLog(MovraTestTool &w, const QString &m) { w.appendLog(m); }
};
