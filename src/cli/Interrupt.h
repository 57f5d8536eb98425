// Ctrl+C and SIGTERM: the handlers only note the signal; whoever runs the
// line looks at the note once a tick and stops where it is safe to.
#pragma once

namespace movra::cli {

void catchInterrupts();
// The signal that came (SIGINT or SIGTERM), 0 while none did.
int interruptSignal();
// The exit status for it: 128 + the signal's number (130, 143).
int interruptStatus();

} // namespace movra::cli
