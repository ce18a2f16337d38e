#include "CliRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cli/Cli.h"

extern char** environ;

namespace clitest {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A temporary file name that exists (mkstemp), removed by the destructor.
class TempFile {
 public:
  TempFile() {
    char pattern[] = "/tmp/nlsolve_test_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    path_ = pattern;
  }
  ~TempFile() { unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

CliRun SpawnWithInput(const std::vector<std::string>& args, const std::string& inputPath);

}  // namespace

CliRun RunInProcess(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  CliRun run;
  run.status = cli::RunCli(args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

CliRun RunProcess(const std::vector<std::string>& args) { return SpawnWithInput(args, "/dev/null"); }

CliRun RunProcessWithInput(const std::vector<std::string>& args, const std::string& input) {
  const TextFile inputFile(input);
  return SpawnWithInput(args, inputFile.Path());
}

TextFile::TextFile(const std::string& text) {
  TempFile file;
  path_ = file.Path() + ".txt";
  std::ofstream(path_, std::ios::binary) << text;
}

TextFile::~TextFile() { unlink(path_.c_str()); }

namespace {

// The built nlsolve with its standard input read from `inputPath`.
CliRun SpawnWithInput(const std::vector<std::string>& args, const std::string& inputPath) {
  TempFile outFile;
  TempFile errFile;
  std::vector<std::string> argvText{NLSOLVE_PATH};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvText) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.Path().c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.Path().c_str(), O_WRONLY | O_TRUNC, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, NLSOLVE_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " NLSOLVE_PATH);

  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  CliRun run;
  // A crash shows as a status no exit code can have.
  run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 1000 + WTERMSIG(waitStatus);
  run.out = ReadFile(outFile.Path());
  run.err = ReadFile(errFile.Path());
  return run;
}

}  // namespace

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace clitest
