// The command line's view of a running command: log lines to an optional
// stream, each message box as one line on the error stream, beeps counted.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "eval/SolverUi.h"

namespace cli {

class StreamUi : public eval::SolverUi {
 public:
  // `log` may be null: the log surface is then discarded, as the window's
  // hidden one is. Both streams must outlive the instance.
  StreamUi(std::ostream* log, std::ostream& messages) : log_(log), messages_(messages) {}

  void PrintLine(std::string_view line) override;
  void ShowMessage(std::string_view text) override;
  // A terminal bell on the error stream would garble captured output, so a
  // beep is only counted; every beep comes with a message that is shown.
  void Beep() override { ++beeps_; }

  int Beeps() const { return beeps_; }
  int Messages() const { return messages_shown_; }

 private:
  std::ostream* log_;
  std::ostream& messages_;
  int beeps_ = 0;
  int messages_shown_ = 0;
};

// A message text as one line: each line break (CR LF, CR or LF) becomes one
// blank, so that one message box is always one line on the stream.
std::string OneLine(std::string_view text);

}  // namespace cli
