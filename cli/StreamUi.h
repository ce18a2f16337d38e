// The command line's view of a running command: log lines to an optional
// stream, each message box as one line on the error stream, beeps counted.
#pragma once

#include <ostream>
#include <streambuf>
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

// A stream buffer over a file descriptor (the program's standard output)
// that writes whole lines: text waits in memory until a flush, or until more
// than a block has gathered, and then leaves up to its last line end with one
// write(2) call (repeated only for what a signal or a full pipe left
// unwritten). A line is thus never split between two writes unless it is
// longer than the memory holds, and a reader killed or a process killed
// between writes sees only whole lines. The first failure is kept; from then
// on everything is refused, so the stream turns bad and the caller can say so.
class FileDescriptorOutput : public std::streambuf {
 public:
  explicit FileDescriptorOutput(int fd) : fd_(fd) {}
  ~FileDescriptorOutput() override;
  FileDescriptorOutput(const FileDescriptorOutput&) = delete;
  FileDescriptorOutput& operator=(const FileDescriptorOutput&) = delete;

  // The errno of the first failed write, 0 while none has failed.
  int Error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  // Writes the first `count` pending bytes; false (and error_ set) on failure.
  bool WriteOut(std::size_t count);
  void WriteWholeLinesIfLarge();

  int fd_;
  std::string pending_;
  int error_ = 0;
};

// What a failed write of the output is called on the error stream: "cannot
// write the output: No space left on device". Empty for a reader that went
// away (a closed pipe, as `| head -1` leaves): that ends the command quietly.
std::string OutputFailureText(const std::ostream& out);

// A message text as one line: each line break (CR LF, CR or LF) becomes one
// blank, so that one message box is always one line on the stream.
std::string OneLine(std::string_view text);

}  // namespace cli
