// interrupt.h — Ctrl-C during unzip and test: the first one asks the library to cancel (the
// Escape key of Windows), a second one ends the command at once.
#pragma once

namespace kestrel::cli {

// Installs the SIGINT handler for the rest of the command.
void CatchInterrupts();
// True once Ctrl-C has been pressed.
bool Interrupted();

}  // namespace kestrel::cli
