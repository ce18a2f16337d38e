#include "Interrupt.h"

#include <csignal>
#include <mutex>

namespace cli {
namespace {

std::atomic<int> gSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free atomic");

extern "C" void OnInterrupt(int signal) {
  int none = 0;
  gSignal.compare_exchange_strong(none, signal);
}

}  // namespace

int InterruptedExitStatus(int signal) { return 128 + signal; }

void CatchInterrupts() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  });
}

int InterruptSignal() { return gSignal.load(); }

const std::atomic<int>& InterruptFlag() { return gSignal; }

void ResetInterrupt() { gSignal.store(0); }

}  // namespace cli
