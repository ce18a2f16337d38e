#include "Progress.h"

#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace cli {
namespace {

constexpr double kFirstAfterSeconds = 0.5;
constexpr double kEverySeconds = 0.25;

}  // namespace

std::function<void(int, double, double, double)> TerminalProgress::Callback() {
  if (!enabled_) return {};
  return [this](int iteration, double maxAbsResidual, double stepNorm, double seconds) {
    Show(iteration, maxAbsResidual, stepNorm, seconds);
  };
}

void TerminalProgress::Show(int iteration, double maxAbsResidual, double stepNorm, double seconds) {
  if (seconds < kFirstAfterSeconds || (lastShown_ >= 0 && seconds - lastShown_ < kEverySeconds)) return;
  lastShown_ = seconds;
  char line[160];
  if (std::isnan(stepNorm)) {
    std::snprintf(line, sizeof line, "iteration %d  max|F| %.3G  %.1f s", iteration, maxAbsResidual, seconds);
  } else {
    std::snprintf(line, sizeof line, "iteration %d  max|F| %.3G  step %.3G  %.1f s", iteration, maxAbsResidual,
                  stepNorm, seconds);
  }
  // Carriage return, the line, then erase what a longer earlier line left.
  err_ << '\r' << line << "\x1b[K" << std::flush;
  shown_ = true;
}

void TerminalProgress::Clear() {
  if (!shown_) return;
  err_ << "\r\x1b[K" << std::flush;
  shown_ = false;
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace cli
