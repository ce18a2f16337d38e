// Reading a system file or a batch from a path, or from standard input for
// "-", with the size limit applied before the text is read to its end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "problem/SystemFile.h"

namespace cli {

inline constexpr std::string_view kStandardInputPath = "-";

// How messages name the input: the path as given, "<stdin>" for "-".
std::string InputName(std::string_view path);

// The file at a path open for reading, or standard input for "-" (which
// stays open); Get() is negative and Error() says why when it cannot be opened.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  int Get() const { return fd_; }
  const std::string& Error() const { return error_; }

 private:
  int fd_;
  bool owned_;
  std::string error_;
};

// The whole text, or the message why it cannot be had ("a.txt: cannot open:
// No such file or directory", the size limit).
struct InputRead {
  std::optional<std::string> text;
  std::string error;
};
InputRead ReadInputText(const std::string& path);

// Reads and parses a system file: what `solve FILE`, `eval --file`, the batch
// and any later command that takes a system file start from.
SystemFileRead LoadSystemFile(const std::string& path);

}  // namespace cli
