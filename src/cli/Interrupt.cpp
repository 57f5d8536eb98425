#include "cli/Interrupt.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace movra::cli {

namespace {
volatile std::sig_atomic_t g_signal = 0;

#ifdef _WIN32
// A console has no SIGTERM, and the C runtime's SIGINT misses Ctrl+Break and
// a closed console window. Ctrl+C counts as SIGINT, the others as SIGTERM, so
// scripts see the same statuses on both systems.
BOOL WINAPI noteConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        g_signal = SIGINT;
        return TRUE;
    case CTRL_BREAK_EVENT:
        g_signal = SIGTERM;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process as soon as this returns: give the line a
        // moment to stop and the records to be kept.
        g_signal = SIGTERM;
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
}
#endif
} // namespace

void catchInterrupts()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(noteConsoleEvent, TRUE);
#else
    std::signal(SIGINT, noteSignal);
    std::signal(SIGTERM, noteSignal);
#endif
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
