// Ctrl+C and SIGTERM: the handlers note the signal and wake the event loop;
// whoever runs the line looks at the note when it wakes and stops where it
// is safe to.
#pragma once

class QAbstractEventDispatcher;

namespace movra::cli {

// On Windows also sets the console to UTF-8.
void catchInterrupts();
// The loop a signal wakes: its wakeUp() only sets a flag and writes to a
// descriptor, so it may be called from the handler.
void wakeOnInterrupt(QAbstractEventDispatcher *dispatcher);
// The signal that came (SIGINT or SIGTERM), 0 while none did.
int interruptSignal();
// The exit status for it: 128 + the signal's number (130, 143).
int interruptStatus();

} // namespace movra::cli
