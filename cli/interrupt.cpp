// interrupt.cpp — the command's SIGINT handler.
#include "cli/interrupt.h"

#include <csignal>
#include <cstdlib>

namespace kestrel::cli {

namespace {

volatile std::sig_atomic_t interrupts = 0;

// Async-signal-safe: one store the progress callbacks read, or _Exit.
void OnInterrupt(int) {
  if (interrupts > 0) std::_Exit(kInterruptedStatus);
  interrupts = 1;
}

}  // namespace

void CatchInterrupts() { std::signal(SIGINT, OnInterrupt); }

bool Interrupted() { return interrupts != 0; }

}  // namespace kestrel::cli
