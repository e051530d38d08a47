// interrupt.h — Ctrl-C for every subcommand: the first one asks the work in progress to stop
// (the interface's calls through their progress callbacks, which answer Interrupted()), a
// second one ends the command at once. Either way the command exits with kInterruptedStatus.
#pragma once

#include "cli/exit_status.h"

namespace kestrel::cli {

inline constexpr int kInterruptedStatus = kExitInterrupted;

// Installs the SIGINT handler for the rest of the command.
void CatchInterrupts();
// True once Ctrl-C has been pressed.
bool Interrupted();

}  // namespace kestrel::cli
