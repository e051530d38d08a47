// interrupt.cpp — the command's SIGINT handler.
#include "cli/interrupt.h"

#include <csignal>
#include <cstdlib>

#include "kestrel.h"

namespace kestrel::cli {

namespace {

volatile std::sig_atomic_t interrupts = 0;

void OnInterrupt(int) {
  if (interrupts > 0) std::_Exit(kInterruptedStatus);
  interrupts = 1;
  kestrel_set_cancel(1);  // one lock-free atomic store; the reading calls poll interrupts
}

}  // namespace

void CatchInterrupts() {
  kestrel_set_cancel(0);
  std::signal(SIGINT, OnInterrupt);
}

bool Interrupted() { return interrupts != 0; }

}  // namespace kestrel::cli
