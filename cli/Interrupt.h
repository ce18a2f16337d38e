// SIGINT and SIGTERM as a request to stop, not a kill: a long command (roots,
// solve --method auto, batch) polls the flag, stops at the next safe point and
// reports what it has, marked as interrupted.
#pragma once

#include <atomic>

namespace cli {

// Exit status of a command stopped by a signal: 128 + the signal's number, as
// the shells report a process killed by it (130 for SIGINT, 143 for SIGTERM).
int InterruptedExitStatus(int signal);

// Installs the handlers for SIGINT and SIGTERM (once; later calls do nothing).
// Until then both signals keep their default action.
void CatchInterrupts();

// The signal that asked the process to stop, or 0 while none has.
int InterruptSignal();

// The flag itself, for code that takes a stop request as a pointer to an
// atomic (robust::RootsOptions::stop, robust::Options::stop). Non-zero once a
// signal has arrived.
const std::atomic<int>& InterruptFlag();

// Tests only: forget a caught signal.
void ResetInterrupt();

}  // namespace cli
