// What a running command may tell the user: the log surface, message boxes and
// the beep. The window implements it with Qt, the command line with standard
// streams, tests and the JSON output with the recorder below.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace eval {

class SolverUi {
 public:
  virtual ~SolverUi() = default;
  virtual void PrintLine(std::string_view line) = 0;    // one line on the log surface
  virtual void ShowMessage(std::string_view text) = 0;  // modal: returns once dismissed
  virtual void Beep() = 0;
};

// Keeps everything in order of arrival; `events` interleaves the three kinds
// so tests can check that a beep came before its message.
class RecordingUi : public SolverUi {
 public:
  void PrintLine(std::string_view line) override {
    log.emplace_back(line);
    events.push_back("log:" + std::string(line));
  }
  void ShowMessage(std::string_view text) override {
    messages.emplace_back(text);
    events.push_back("message:" + std::string(text));
  }
  void Beep() override {
    ++beeps;
    events.emplace_back("beep");
  }

  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> events;
  int beeps = 0;
};

// Tells nobody anything: for benchmarks, where only the work counts.
class SilentUi : public SolverUi {
 public:
  void PrintLine(std::string_view) override {}
  void ShowMessage(std::string_view) override {}
  void Beep() override {}
};

}  // namespace eval
