#include "cli/Interrupt.h"

#include <csignal>

namespace movra::cli {

namespace {
volatile std::sig_atomic_t g_signal = 0;

void noteSignal(int signal)
{
    g_signal = signal;
}
} // namespace

void catchInterrupts()
{
    std::signal(SIGINT, noteSignal);
    std::signal(SIGTERM, noteSignal);
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
