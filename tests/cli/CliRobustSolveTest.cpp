// nlsolve solve --method hybrid|lm|auto over the compiled equations; the Go
// command's road (no --method, or newton) stays as it is.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"

namespace {

using clitest::Lines;
using clitest::RunInProcess;
using clitest::StartsWith;

// An answer line carries 15 significant digits.
constexpr double kAnswerTolerance = 1E-12;

std::vector<std::string> Solve(std::vector<std::string> args) {
  args.insert(args.begin(), "solve");
  return args;
}

// Broyden's tridiagonal system of n equations as typed text.
std::vector<std::string> BroydenArgs(int n) {
  std::vector<std::string> args = {"solve"};
  std::string names;
  std::string start;
  for (int i = 1; i <= n; ++i) {
    const std::string x = "x" + std::to_string(i);
    std::string eq = "(3-2*" + x + ")*" + x + "+1";
    if (i > 1) eq += "-x" + std::to_string(i - 1);
    if (i < n) eq += "-2*x" + std::to_string(i + 1);
    args.push_back("--eq");
    args.push_back(eq);
    names += (i > 1 ? "," : "") + x;
    start += i > 1 ? ",-1" : "-1";
  }
  for (const std::string& arg : {std::string("--vars"), names, std::string("--x0"), start}) args.push_back(arg);
  return args;
}

TEST(CliRobustSolve, AnswerLinesThenOneSentence) {
  // From (0, 0) lm settles in a local least-squares minimum of example 1.
  struct Row {
    std::string method;
    int status;
    std::string sentence;
  };
  const std::vector<Row> rows = {
      {"hybrid", cli::kExitSuccess, "Root found by hybrid "},
      {"auto", cli::kExitSuccess, "Root found by hybrid "},
      {"lm", cli::kExitFailure, "No root found: lm "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.method);
    const auto run = RunInProcess(Solve({"--example", "1", "--method", row.method}));
    EXPECT_EQ(run.status, row.status) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;  // two answer lines, then the sentence
    EXPECT_TRUE(StartsWith(lines[0], "x1= "));
    EXPECT_TRUE(StartsWith(lines[1], "x2= "));
    EXPECT_TRUE(StartsWith(lines[2], row.sentence)) << lines[2];
    if (row.status != cli::kExitSuccess) continue;
    const double x1 = std::stod(lines[0].substr(4)), x2 = std::stod(lines[1].substr(4));
    EXPECT_NEAR(x1 * x1 - 2 * x2 - 2, 0, kAnswerTolerance);
    EXPECT_NEAR(x1 - x2 * x2 * x2 - 1, 0, kAnswerTolerance);
  }
}

TEST(CliRobustSolve, NewtonIsTheGoCommandUnchanged) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--example", "4"}, {"--example", "2", "--json"}, {"--eq", "x1*x1+1", "--eq", "x2"}}) {
    const auto plain = RunInProcess(Solve(args));
    std::vector<std::string> withMethod = args;
    withMethod.insert(withMethod.end(), {"--method", "newton"});
    const auto newton = RunInProcess(Solve(withMethod));
    EXPECT_EQ(plain.out, newton.out);
    EXPECT_EQ(plain.err, newton.err);
    EXPECT_EQ(plain.status, newton.status);
  }
}

TEST(CliRobustSolve, JsonKeepsTodaysKeysAndAddsTheReport) {
  const auto run = RunInProcess(Solve({"--example", "1", "--method", "auto", "--json"}));
  ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
  const auto document = nlohmann::json::parse(run.out);
  for (const char* key : {"log", "messages", "beeps", "answer", "title", "x", "residuals", "converged", "error",
                          "method", "verdict", "startsTried", "iterations", "functionEvaluations",
                          "jacobianEvaluations", "maxAbsResidual", "conditionEstimate", "nearSingular"}) {
    EXPECT_TRUE(document.contains(key)) << key;
  }
  EXPECT_EQ(document["converged"], true);
  EXPECT_EQ(document["verdict"], "root");
  EXPECT_EQ(document["error"], nullptr);
  EXPECT_EQ(document["x"].size(), 2u);
  EXPECT_LE(document["maxAbsResidual"].get<double>(), 1E-10);
}

TEST(CliRobustSolve, OneToAHundredEquations) {
  const auto one = RunInProcess(Solve({"--eq", "atn(x1)", "--x0", "2", "--method", "hybrid"}));
  EXPECT_EQ(one.status, cli::kExitSuccess) << one.out << one.err;

  std::vector<std::string> args = BroydenArgs(100);
  args.insert(args.end(), {"--method", "auto", "--json"});
  const auto hundred = RunInProcess(args);
  ASSERT_EQ(hundred.status, cli::kExitSuccess) << hundred.err;
  const auto document = nlohmann::json::parse(hundred.out);
  EXPECT_EQ(document["x"].size(), 100u);
  EXPECT_EQ(document["derivatives"], "exact");
  EXPECT_EQ(document["converged"], true);
}

TEST(CliRobustSolve, VerdictsOtherThanRootFailTheExitStatus) {
  struct Row {
    std::vector<std::string> args;
    std::string verdict;
  };
  const std::string f1 = "-13+x1+((5-x2)*x2-2)*x2", f2 = "-29+x1+((x2+1)*x2-14)*x2";
  const std::vector<Row> rows = {
      {{"--eq", f1, "--eq", f2, "--x0", "0.5,-2", "--method", "lm"}, "no root found: least-squares minimum"},
      {{"--eq", f1, "--eq", f2, "--x0", "0.5,-2", "--method", "auto", "--max-evaluations", "10"}, "limit reached"},
      {{"--eq", "log(x1)-1", "--eq", "sqr(x2)-2", "--x0", "-1,4", "--method", "hybrid"}, "evaluation failure"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = Solve(row.args);
    args.push_back("--json");
    const auto run = RunInProcess(args);
    SCOPED_TRACE(run.out);
    EXPECT_EQ(run.status, cli::kExitFailure);
    const auto document = nlohmann::json::parse(run.out);
    EXPECT_EQ(document["verdict"], row.verdict);
    EXPECT_EQ(document["converged"], false);
  }
  // The failing equation is named, with the engine's description.
  const auto failure = RunInProcess(Solve({"--eq", "log(x1)-1", "--eq", "sqr(x2)-2", "--x0", "3,-4", "--method", "lm"}));
  EXPECT_NE(failure.out.find("equation 2 cannot be evaluated at the start"), std::string::npos) << failure.out;
}

// The library's own messages would come once per trial point; the robust
// road keeps it silent (the Go command shows them, as the window does).
TEST(CliRobustSolve, NoLibraryMessages) {
  const auto run = RunInProcess(Solve({"--eq", "x1-1+0*Gcd(0,3)", "--method", "hybrid"}));
  EXPECT_EQ(run.status, cli::kExitSuccess);
  EXPECT_EQ(run.err, "");
}

TEST(CliRobustSolve, WrongInputIsRefusedWithAMessage) {
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string text;  // in stderr
  };
  const std::vector<Row> rows = {
      {{"--example", "1", "--ftol", "1E-3"}, cli::kExitUsage, "need --method"},
      {{"--example", "1", "--method", "newton", "--seed", "3"}, cli::kExitUsage, "need --method"},
      {{"--example", "1", "--method", "hybrid", "--log"}, cli::kExitUsage, "--log"},
      {{"--example", "1", "--method", "bisection"}, cli::kExitUsage, "--method"},
      {{"--eq", "x1", "--method", "newton"}, cli::kExitUsage, "--eq"},
      {{"--example", "1", "--method", "lm", "--x0", "1,2,3"}, cli::kExitFailure, "--x0: needs 2 values, one per unknown (given 3)"},
      {{"--eq", "x1-1", "--eq", "x2+", "--method", "auto"}, cli::kExitFailure, "Eq_2: "},
  };
  for (const Row& row : rows) {
    const auto run = RunInProcess(Solve(row.args));
    SCOPED_TRACE(run.err);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE(run.err.find(row.text), std::string::npos);
  }
}

// A start the equations are not defined at is where auto's perturbed starts
// help; hybrid and lm have no other start. From a report of the two-log
// system below stopping at "cannot be evaluated at the start".
TEST(CliRobustSolve, AutoGoesOnFromAStartTheEquationsFailAt) {
  const std::vector<std::string> logs = {"--eq", "Log(e1-e2)-Log(1-e1)-Log(3)", "--eq",
                                         "Log(e2)-Log(e1-e2)-Log(0.5)", "--vars", "e1,e2", "--x0", "0.9,0.95"};
  auto args = Solve(logs);
  args.insert(args.end(), {"--method", "auto"});
  const auto run = RunInProcess(args);
  EXPECT_EQ(run.status, cli::kExitSuccess) << run.out;
  EXPECT_NE(run.out.find("Equation 1 cannot be evaluated at the given start"), std::string::npos) << run.out;
  args.push_back("--json");
  const nlohmann::json document = nlohmann::json::parse(RunInProcess(args).out);
  EXPECT_EQ(document["verdict"], "root");
  EXPECT_EQ(document["givenStartFailed"], true);
  for (const char* method : {"hybrid", "lm"}) {
    auto alone = Solve(logs);
    alone.insert(alone.end(), {"--method", method});
    const auto refused = RunInProcess(alone);
    EXPECT_EQ(refused.status, cli::kExitFailure);
    EXPECT_NE(refused.out.find("equation 1 cannot be evaluated at the start ("), std::string::npos) << refused.out;
  }
}

// Values typed with blanks are one value; the message says how to separate
// them. One equation is refused on the Go road with the methods that take it.
TEST(CliMessages, CountsAndSeparatorsAreExplained) {
  struct Row {
    std::vector<std::string> args;
    std::string text;  // in stderr
    bool hint;         // the separator hint is there
  };
  const std::vector<Row> rows = {
      {{"--eq", "x1-1", "--eq", "x2-2", "--x0", "1 1"}, "2 initial values; 1 was given. Separate them with commas.", true},
      {{"--eq", "x1-1", "--eq", "x2-2", "--x0", "1;1", "--method", "hybrid"},
       "--x0: '1;1' is not a number; values are separated by commas", false},
      {{"--eq", "x1-1", "--eq", "x2-2", "--vars", "x1 x2"}, "(Varaiabls); 1 was given. Separate them with commas.", true},
      {{"--eq", "x1-1", "--eq", "x2-2", "--x0", " 1 "}, "2 initial values; 1 was given.", false},
      {{"--eq", "x1-1", "--eq", "x2-2", "--x0", "1,2,3"}, "2 initial values; 3 were given.", false},
      {{"--eq", "x1^2-2"}, "(given 1); --method hybrid, lm or auto takes 1 equation or more", false},
      {{"--eq", "x1^2-2", "--method", "hybrid", "--ftol", "0"}, "--ftol: must be a number above 0, got 0\n", false},
      {{"--eq", "x1^2-2", "--method", "lm", "--max-seconds", "inf"}, "must be a number above 0, got inf\n", false},
  };
  for (const Row& row : rows) {
    const auto run = RunInProcess(Solve(row.args));
    SCOPED_TRACE(run.err);
    EXPECT_NE(run.status, cli::kExitSuccess);
    EXPECT_NE(run.err.find(row.text), std::string::npos);
    EXPECT_EQ(run.err.find("Separate") != std::string::npos, row.hint);
  }
}

// SIGINT or SIGTERM to the real program: the search or the solve stops, says
// so, prints what it has and exits with 128 + the signal.
TEST(CliInterrupt, ASignalStopsTheCommandWithWhatItFound) {
  struct Row {
    std::vector<std::string> args;
    int signal;
    std::string text;  // in stdout
  };
  const std::vector<Row> rows = {
      {{"roots", "--eq", "Sin(x1)", "--eq", "Sin(x2)", "--box", "-100:100", "--starts", "100000000", "--budget",
        "600"},
       SIGINT, "The search was interrupted by SIGINT; the roots listed are those found so far."},
      {{"roots", "--eq", "Sin(x1)", "--box", "-100:100", "--starts", "100000000", "--budget", "600", "--json"},
       SIGTERM, "\"interrupted\": true"},
      {{"solve", "--eq", "x1^2+1", "--eq", "x2^2+1", "--method", "auto", "--max-starts", "100000000",
        "--max-evaluations", "2000000000", "--max-seconds", "600"},
       SIGTERM, "The solve was interrupted by SIGTERM."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0]);
    clitest::TextFile out("");
    std::vector<std::string> argvText{NLSOLVE_PATH};
    argvText.insert(argvText.end(), row.args.begin(), row.args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int fd = open(out.Path().c_str(), O_WRONLY | O_TRUNC);
      dup2(fd, 1);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 2);
      execv(argv[0], argv.data());
      _exit(127);
    }
    // Signal only once nlsolve runs (before exec the child is a copy of this
    // process, which may catch the signals itself) and has installed its
    // handler, so the default action never kills it instead.
    const std::string statusPath = "/proc/" + std::to_string(pid) + "/status";
    const std::string exePath = "/proc/" + std::to_string(pid) + "/exe";
    const std::string program = std::filesystem::canonical(NLSOLVE_PATH).string();
    bool caught = false;
    for (int poll = 0; poll < 60000 && !caught; ++poll) {
      std::error_code error;
      const bool execed = std::filesystem::read_symlink(exePath, error).string() == program;
      std::ifstream status(statusPath);
      if (!execed) status.setstate(std::ios::failbit);
      for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
          caught = (std::stoull(line.substr(7), nullptr, 16) >> (row.signal - 1) & 1U) != 0;
      if (!caught) usleep(1000);
    }
    ASSERT_TRUE(caught);
    kill(pid, row.signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), cli::InterruptedExitStatus(row.signal));
    std::ifstream file(out.Path());
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(row.text), std::string::npos) << text;
  }
}

}  // namespace
