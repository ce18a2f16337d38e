// nlsolve's output as another process sees it: a write that fails is a
// failure, a batch's results leave line by line as they are done, and a batch
// stopped or killed leaves only whole lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"

extern char** environ;

namespace {

using nlohmann::json;

// Not a measure of speed: a guard so that a missing line fails the test
// instead of hanging it.
constexpr int kGuardMilliseconds = 60000;

constexpr std::string_view kGoodLine =
    R"({"eq": ["x1^2 - 2*x2 - 2", "x1 - x2^3 - 1"], "start": "1,1", "id": )";

std::string GoodLine(int id) { return std::string(kGoodLine) + std::to_string(id) + "}\n"; }

// nlsolve with pipes for standard input and output (or a path for the
// output), standard error in a pipe read at the end.
class Child {
 public:
  explicit Child(const std::vector<std::string>& args, const char* outputPath = nullptr) {
    // Input sent after the child ended must not end the test.
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    if (outputPath != nullptr) {
      posix_spawn_file_actions_addopen(&actions, 1, outputPath, O_WRONLY, 0);
    } else {
      posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<std::string> argvText{NLSOLVE_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, NLSOLVE_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
    if (spawned != 0) throw std::runtime_error("cannot start " NLSOLVE_PATH);
  }
  ~Child() {
    CloseInput();
    CloseOutput();
    close(error_);
    if (pid_ > 0) Wait();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // False when the child no longer reads.
  bool Write(const std::string& text) {
    return write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  void CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }
  void CloseOutput() {
    if (output_ >= 0) close(output_);
    output_ = -1;
  }
  void Signal(int signal) { kill(pid_, signal); }

  // The next line of the output without its line end; false at its end.
  bool ReadLine(std::string& line) {
    while (true) {
      if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return true;
      }
      pollfd ready{output_, POLLIN, 0};
      if (poll(&ready, 1, kGuardMilliseconds) != 1) throw std::runtime_error("no output line in time");
      char chunk[4096];
      const ssize_t got = read(output_, chunk, sizeof chunk);
      if (got <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }
  // What is left after the last line end when the output ended.
  const std::string& Rest() const { return buffer_; }

  // The exit status, or 1000 + the signal that killed it; then standard error.
  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(error_, chunk, sizeof chunk)) > 0) err_.append(chunk, static_cast<std::size_t>(got));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  const std::string& Err() const { return err_; }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
  std::string buffer_;
  std::string err_;
};

// Every line read until the output ends must be a whole result object; their
// ids count up from 0.
std::size_t ReadWholeLines(Child& child, std::size_t firstId) {
  std::string line;
  std::size_t id = firstId;
  while (child.ReadLine(line)) {
    SCOPED_TRACE(line.substr(0, 80));
    EXPECT_TRUE(json::accept(line));
    EXPECT_EQ(json::parse(line)["id"], id);
    ++id;
  }
  EXPECT_EQ(child.Rest(), "");  // no torn last line
  return id;
}

TEST(OutputFailure, AFullDeviceIsAFailureSaidInWords) {
  const std::vector<std::vector<std::string>> commands{
      {"solve", "--eq", "x1-1", "--eq", "x2-2"},
      {"batch"},
      {"examples"},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0]);
    Child child(args, "/dev/full");
    child.Write(GoodLine(1));
    child.CloseInput();
    EXPECT_EQ(child.Wait(), cli::kExitFailure);
    EXPECT_EQ(child.Err(), "nlsolve: cannot write the output: No space left on device\n");
  }
}

// `nlsolve batch | head -1`: the reader goes away; the batch ends quietly
// with status 1, without a crash.
TEST(OutputFailure, AReaderThatLeavesEndsTheBatchQuietly) {
  Child child({"batch", "--jobs", "2"});
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(child.Write(GoodLine(i)));
  std::string line;
  ASSERT_TRUE(child.ReadLine(line));
  child.CloseOutput();
  for (int i = 50; i < 100; ++i) child.Write(GoodLine(i));
  child.CloseInput();
  EXPECT_EQ(child.Wait(), cli::kExitFailure);
  EXPECT_EQ(child.Err(), "");
}

// Line 1's result is read while line 2 has not even been sent: it cannot
// have waited for a block to fill or for the input to end.
TEST(BatchStream, EachResultLeavesAsSoonAsItIsDone) {
  Child child({"batch", "--jobs", "2"});
  std::string line;
  for (int id = 0; id < 3; ++id) {
    ASSERT_TRUE(child.Write(GoodLine(id)));
    ASSERT_TRUE(child.ReadLine(line));
    EXPECT_EQ(json::parse(line)["id"], id);
  }
  child.CloseInput();
  EXPECT_FALSE(child.ReadLine(line));
  EXPECT_EQ(child.Wait(), cli::kExitSuccess);
}

// SIGTERM and SIGINT while lines run and more input is awaited: the lines
// already started are finished and written whole, in order, and the status
// says which signal stopped it. SIGKILL cannot be caught, but each line left
// with one write, so what was written is whole too.
TEST(BatchStream, AStoppedOrKilledBatchLeavesWholeLines) {
  struct Row {
    int signal;
    int status;
  };
  const std::vector<Row> rows{{SIGTERM, 143}, {SIGINT, 130}, {SIGKILL, 1000 + SIGKILL}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.signal);
    Child child({"batch", "--jobs", "3"});
    std::string many;
    for (int i = 0; i < 400; ++i) many += GoodLine(i);
    ASSERT_TRUE(child.Write(many));  // the input stays open: the batch never sees its end
    std::string line;
    ASSERT_TRUE(child.ReadLine(line));
    EXPECT_EQ(json::parse(line)["id"], 0);
    child.Signal(row.signal);
    const std::size_t next = ReadWholeLines(child, 1);
    EXPECT_LE(next, 400u);
    EXPECT_EQ(child.Wait(), row.status);
    EXPECT_EQ(child.Err(), "");
  }
}

// The id nested 50000 deep once crashed the batch and lost every result.
TEST(BatchStream, ADeepIdIsOneBadLine) {
  const std::string deep = "{\"id\":" + std::string(50000, '[') + std::string(50000, ']') + "}\n";
  const clitest::CliRun run = clitest::RunProcessWithInput({"batch", "--jobs", "2"}, GoodLine(0) + deep + GoodLine(2));
  EXPECT_EQ(run.status, cli::kExitFailure);
  const std::vector<std::string> lines = clitest::Lines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(json::parse(lines[1])["error"], "line 2: arrays and objects nest deeper than 100 levels");
  EXPECT_EQ(json::parse(lines[2])["id"], 2);
}

}  // namespace
