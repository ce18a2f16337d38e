#include "StreamUi.h"

namespace cli {

void StreamUi::PrintLine(std::string_view line) {
  if (log_ != nullptr) *log_ << line << '\n';
}

void StreamUi::ShowMessage(std::string_view text) {
  ++messages_shown_;
  // Flushed at once so that messages keep their place among the log lines
  // when both streams go to one terminal.
  messages_ << OneLine(text) << std::endl;
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += ' ';
    } else if (c == '\n') {
      line += ' ';
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace cli
