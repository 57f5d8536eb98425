#include "cli/Interrupt.h"

#include <QAbstractEventDispatcher>
#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace movra::cli {

namespace {
volatile std::sig_atomic_t g_signal = 0;
std::atomic<QAbstractEventDispatcher *> g_dispatcher{nullptr};

void wake()
{
    if (QAbstractEventDispatcher *dispatcher = g_dispatcher.load())
        dispatcher->wakeUp();
}

#ifdef _WIN32
// A console has no SIGTERM, and the C runtime's SIGINT misses Ctrl+Break and
// a closed console window. Ctrl+C counts as SIGINT, the others as SIGTERM, so
// scripts see the same statuses on both systems.
BOOL WINAPI noteConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        g_signal = SIGINT;
        wake();
        return TRUE;
    case CTRL_BREAK_EVENT:
        g_signal = SIGTERM;
        wake();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process as soon as this returns: give the line a
        // moment to stop and the records to be kept.
        g_signal = SIGTERM;
        wake();
        Sleep(3000);
        return TRUE;
    default:
        return FALSE;
    }
}
#else
void noteSignal(int signal)
{
    g_signal = signal;
    wake();
}
#endif
} // namespace

void catchInterrupts()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(noteConsoleEvent, TRUE);
    // The events and readings are UTF-8 ("°C"); a console's code page is not.
    SetConsoleOutputCP(CP_UTF8);
#else
    std::signal(SIGINT, noteSignal);
    std::signal(SIGTERM, noteSignal);
#endif
}

void wakeOnInterrupt(QAbstractEventDispatcher *dispatcher)
{
    if (!dispatcher || g_dispatcher.exchange(dispatcher) == dispatcher)
        return;
    QObject::connect(dispatcher, &QObject::destroyed, [dispatcher] {
        QAbstractEventDispatcher *expected = dispatcher;
        g_dispatcher.compare_exchange_strong(expected, nullptr);
    });
}

int interruptSignal()
{
    return int(g_signal);
}

int interruptStatus()
{
    return 128 + int(g_signal);
}

} // namespace movra::cli
