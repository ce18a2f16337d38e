// Progress of a long solve on standard error, for a person watching a
// terminal: one line rewritten in place (iteration, max|F|, step, elapsed
// time), from the first half second on and at most four times a second,
// cleared when the solve ends. Silent when standard error is not a terminal
// or with --quiet, so scripts and logs never see it.
#pragma once

#include <functional>
#include <ostream>

namespace cli {

class TerminalProgress {
 public:
  // Writes to `err` only when `enabled`; `err` must outlive this object.
  TerminalProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~TerminalProgress() { Clear(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  // The callback for robust::Options::progress; empty when disabled.
  std::function<void(int, double, double, double)> Callback();
  // Removes the line, if one is shown.
  void Clear();

 private:
  void Show(int iteration, double maxAbsResidual, double stepNorm, double seconds);

  std::ostream& err_;
  bool enabled_;
  bool shown_ = false;
  double lastShown_ = -1.0;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

}  // namespace cli
