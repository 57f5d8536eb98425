// Waiting on a real serial line without sleeping for protocol logic: the
// event loop polled until a condition holds, whether QSerialPort has handed
// everything it was given to the system, and ticks run until a condition
// holds.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QThread>
#include <functional>

namespace movratest {

// Polls the event loop until pred holds; false after timeoutMs.
inline bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 3000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!pred())
            QThread::usleep(200);
    }
    return true;
}

// QSerialPort empties its buffer at the write call but hands the bytes to
// the system, and reports bytesWritten, only at the next write
// notification; until then the count lags behind.
inline bool writesDone(QSerialPort &port)
{
    if (port.bytesToWrite() > 0)
        return false;
    const auto notifiers = port.findChildren<QSocketNotifier *>();
    for (const QSocketNotifier *n : notifiers) {
        if (n->type() == QSocketNotifier::Write && n->isEnabled())
            return false;
    }
    return true;
}

// Runs `tick` until pred holds, at most `max` times: the number of ticks it
// took, -1 when a tick failed or pred never held.
inline int ticksUntil(const std::function<bool()> &tick, const std::function<bool()> &pred, int max)
{
    for (int i = 1; i <= max; ++i) {
        if (!tick())
            return -1;
        if (pred())
            return i;
    }
    return -1;
}

} // namespace movratest
