// interrupt.h — Ctrl-C during unzip and test: the first one asks the library to cancel (the
// Escape key of Windows), a second one ends the command at once.
#pragma once

namespace kestrel::cli {

// The exit status of a command ended by Ctrl-C, as shells report a program ended by SIGINT.
inline constexpr int kInterruptedStatus = 130;

// Installs the SIGINT handler for the rest of the command.
void CatchInterrupts();
// True once Ctrl-C has been pressed.
bool Interrupted();

}  // namespace kestrel::cli
