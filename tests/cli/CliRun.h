// Running nlsolve in the tests: in-process through RunCli, or as the built
// program with its standard streams captured.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace clitest {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// RunCli on string streams.
CliRun RunInProcess(const std::vector<std::string>& args);

// The built nlsolve as a child process; stdin is /dev/null.
CliRun RunProcess(const std::vector<std::string>& args);

// The same with `input` as its standard input.
CliRun RunProcessWithInput(const std::vector<std::string>& args, const std::string& input);

// A file holding `text` under a temporary name, removed by the destructor.
class TextFile {
 public:
  explicit TextFile(const std::string& text);
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The text split at each "\n"; a last piece without one is kept.
std::vector<std::string> Lines(std::string_view text);

bool StartsWith(std::string_view text, std::string_view prefix);

}  // namespace clitest
