// nlsolve roots FILE, jacobian FILE and plot FILE: the file gives the equations and its
// names:, start: and box: lines, the command line overrides them, and a
// refused text of the file names its line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"

namespace {

using clitest::RunInProcess;
using clitest::TextFile;

// u^2 = 4, v = 1: roots (2, 1) and (-2, 1); the box keeps only u = 2.
constexpr std::string_view kSystem = "names: u,v\nstart: 1, 3\nbox: 0:5\nu^2 - 4\nv - _\n  1\n";

std::vector<double> FirstRoot(const clitest::CliRun& run) {
  EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
  const nlohmann::json document = nlohmann::json::parse(run.out);
  if (document["roots"].empty()) return {};
  return document["roots"][0]["x"].get<std::vector<double>>();
}

struct RootsRow {
  std::string note;
  std::vector<std::string> options;  // after the file
  std::size_t roots;
  double u;  // of the first root
};

TEST(CliRootsFile, FileLinesAndOverrides) {
  const TextFile file{std::string(kSystem)};
  const std::vector<RootsRow> rows{
      {"the file's box keeps u = 2", {}, 1, 2},
      {"--box wins", {"--box", "-5:-1,0:5"}, 1, -2},
      {"--vars wins: unknown 1 is v", {"--vars", "v,u", "--box", "0:5,-5:0", "--x0", "1,-1"}, 1, 1},
  };
  for (const RootsRow& row : rows) {
    SCOPED_TRACE(row.note);
    std::vector<std::string> args{"roots", file.Path(), "--json", "--seed", "1"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const clitest::CliRun run = RunInProcess(args);
    const std::vector<double> root = FirstRoot(run);
    ASSERT_FALSE(root.empty()) << run.out;
    EXPECT_EQ(nlohmann::json::parse(run.out)["roots"].size(), row.roots);
    EXPECT_NEAR(root[0], row.u, 1e-9);
  }
}

TEST(CliRootsFile, StandardInput) {
  const clitest::CliRun run = clitest::RunProcessWithInput({"roots", "-", "--json"}, std::string(kSystem));
  const std::vector<double> root = FirstRoot(run);
  ASSERT_EQ(root.size(), 2u);
  EXPECT_NEAR(root[0], 2, 1e-9);
}

TEST(CliJacobianFile, PointFromStartOrAt) {
  const TextFile file{std::string(kSystem)};
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows{
      // start: 1, 3 is u = 1, v = 3.
      {{}, "F1 = -3\nF2 = 2\ndF1/du = 2\ndF1/dv = 0\ndF2/du = 0\ndF2/dv = 1\nderivatives = exact\n"},
      {{"--at", "2,0"}, "F1 = 0\nF2 = -1\ndF1/du = 4\ndF1/dv = 0\ndF2/du = 0\ndF2/dv = 1\nderivatives = exact\n"},
      {{"--vars", "v,u", "--at", "0,3"},
       "F1 = 5\nF2 = -1\ndF1/dv = 0\ndF1/du = 6\ndF2/dv = 1\ndF2/du = 0\nderivatives = exact\n"},
  };
  for (const auto& [options, expected] : rows) {
    SCOPED_TRACE(expected);
    std::vector<std::string> args{"jacobian", file.Path()};
    args.insert(args.end(), options.begin(), options.end());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(run.out, expected);
  }
}

struct RefusalRow {
  std::string command;
  std::string text;  // the file
  std::vector<std::string> options;
  int status;
  std::string err;  // after the file's name
};

TEST(CliFileCommands, RefusalsNameTheFileAndLine) {
  const std::vector<RefusalRow> rows{
      {"roots", "x1\n\n(x2\n", {}, 1, ":3:4: Eq_2: Expected ')'\n"},
      {"jacobian", "start: 1,2\nx1\n(x2\n", {}, 1, ":3:4: Eq_2: Expected ')'\n"},
      {"roots", "names: a\nx1\nx2\n", {}, 1, ":1: names: needs 2 names, one per equation (given 1)\n"},
      {"roots", "start: 1\nx1\nx2\n", {}, 1, ":1: start: needs 2 values, one per unknown (given 1)\n"},
      {"jacobian", "start: 1\nx1\nx2\n", {}, 1, ":1: start: needs 2 values, one per unknown (given 1)\n"},
      {"jacobian", "names: a,A\nstart: 1,2\na\n", {}, 1, ":1:10: names: \"A\" is named twice; the first is at 1:8\n"},
      {"jacobian", "x1\n", {}, 2, " has no start: line\n"},
      {"plot", "x1\n(x2\n", {"-o", "never.png"}, 1, ":2:4: Eq_2: Expected ')'\n"},
      {"plot", "x1\nx2\nstart: 1,2,3\n", {"-o", "never.png"}, 1, ":3: start: needs 2 values, one per unknown (given 3)\n"},
  };
  for (const RefusalRow& row : rows) {
    SCOPED_TRACE(row.command + ": " + row.text);
    const TextFile file{row.text};
    std::vector<std::string> args{row.command, file.Path()};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, row.status);
    EXPECT_NE(run.err.find(file.Path() + row.err), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(CliFileCommands, EqDoesNotMixWithFile) {
  const TextFile file{std::string(kSystem)};
  for (const std::vector<std::string>& args : {std::vector<std::string>{"roots", file.Path(), "--eq", "x1"},
                                               {"jacobian", file.Path(), "--eq", "x1", "--at", "1"}}) {
    SCOPED_TRACE(args.front());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitUsage);
    EXPECT_NE(run.err.find("--eq and FILE do not mix"), std::string::npos) << run.err;
  }
}

}  // namespace
