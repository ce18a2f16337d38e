// Wrong command lines end with status 2 and a usage line; help ends with 0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"

namespace {

using clitest::RunInProcess;

struct UsageRow {
  std::vector<std::string> args;
  std::string usageOf;  // the command whose usage line must be shown
};

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += "[" + arg + "]";
  return text;
}

TEST(CliUsage, WrongCommandLinesExitWithTwoAndAUsageLine) {
  const std::vector<std::string> sevenEquations{"solve", "--eq", "x1", "--eq", "x2", "--eq", "x3", "--eq", "x4",
                                                "--eq", "x5", "--eq", "x6", "--eq", "x7"};
  const std::vector<UsageRow> rows{
      {{}, "Usage: nlsolve solve"},
      {{"--bogus"}, "nlsolve --help"},
      {{"frobnicate"}, "nlsolve --help"},
      {{"solve"}, "Usage: nlsolve solve"},
      {{"solve", "--example", "0"}, "Usage: nlsolve solve"},
      {{"solve", "--example", "10"}, "Usage: nlsolve solve"},
      {{"solve", "--example", "-1"}, "Usage: nlsolve solve"},
      {{"solve", "--example", "two"}, "Usage: nlsolve solve"},
      {{"solve", "--example"}, "Usage: nlsolve solve"},
      {{"solve", "--eq", "x1-1"}, "Usage: nlsolve solve"},
      {sevenEquations, "Usage: nlsolve solve"},
      {{"solve", "--example", "1", "--eq", "x1", "--eq", "x2"}, "Usage: nlsolve solve"},
      {{"solve", "--eq", "x1", "x2"}, "Usage: nlsolve solve"},
      {{"solve", "--example", "1", "--bogus"}, "Usage: nlsolve solve"},
      {{"solve", "--vars", "a,b"}, "Usage: nlsolve solve"},
      {{"eval"}, "Usage: nlsolve eval"},
      {{"eval", "1", "2"}, "Usage: nlsolve eval"},
      {{"eval", "--var", "x", "x"}, "Usage: nlsolve eval"},
      {{"eval", "--var", "=1", "1"}, "Usage: nlsolve eval"},
      {{"eval", "--var"}, "Usage: nlsolve eval"},
      {{"examples", "extra"}, "Usage: nlsolve examples"},
  };
  for (const UsageRow& row : rows) {
    SCOPED_TRACE(Joined(row.args));
    const clitest::CliRun run = RunInProcess(row.args);
    EXPECT_EQ(run.status, cli::kExitUsage);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(row.usageOf), std::string::npos) << run.err;
  }
}

TEST(CliUsage, HelpExplainsEveryCommandOnStdout) {
  const clitest::CliRun run = RunInProcess({"--help"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  EXPECT_EQ(run.err, "");
  for (const char* word : {"eval", "solve", "examples", "--var", "--example", "--eq", "--vars", "--x0", "--log",
                           "--json", "Exit status"}) {
    SCOPED_TRACE(word);
    EXPECT_NE(run.out.find(word), std::string::npos);
  }
}

TEST(CliUsage, CommandHelpListsItsOptions) {
  const clitest::CliRun run = RunInProcess({"solve", "--help"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  EXPECT_NE(run.out.find("--example"), std::string::npos);
  EXPECT_NE(run.out.find("--json"), std::string::npos);
}

struct AssignmentRow {
  std::string text;
  bool valid;
  std::string name;
  double value;
};

TEST(CliAssignment, NameBeforeFirstEqualsValueAsLeadingNumber) {
  const std::vector<AssignmentRow> rows{
      {"x=2", true, "x", 2.0},
      {"x1=-0.5", true, "x1", -0.5},
      {"x=2.5E1", true, "x", 25.0},
      {"x=&H10", true, "x", 16.0},
      {"x=3abc", true, "x", 3.0},
      {"x=abc", true, "x", 0.0},
      {"x=", true, "x", 0.0},
      {"x=1=2", true, "x", 1.0},  // the name ends at the first "="
      {" y =- 3", true, " y ", -3.0},  // names exactly as typed, blanks in numbers ignored
      {"x", false, "", 0.0},
      {"=1", false, "", 0.0},
      {"", false, "", 0.0},
  };
  for (const AssignmentRow& row : rows) {
    SCOPED_TRACE(row.text);
    const auto parsed = cli::ParseAssignment(row.text);
    ASSERT_EQ(parsed.has_value(), row.valid);
    if (!parsed) continue;
    EXPECT_EQ(parsed->first, row.name);
    EXPECT_EQ(parsed->second, row.value);
  }
}

}  // namespace
