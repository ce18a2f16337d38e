// The built nlsolve as a process: exit statuses and the streams it writes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"

namespace {

using clitest::Lines;
using clitest::RunProcess;
using clitest::StartsWith;

TEST(CliProcess, NoArgumentsPrintsUsage) {
  const clitest::CliRun run = RunProcess({});
  EXPECT_EQ(run.status, cli::kExitUsage);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("Usage: nlsolve"), std::string::npos);
}

TEST(CliProcess, Help) {
  const clitest::CliRun run = RunProcess({"--help"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  EXPECT_NE(run.out.find("nlsolve solve"), std::string::npos);
}

TEST(CliProcess, EvalAndItsFailure) {
  const clitest::CliRun good = RunProcess({"eval", "--var", "x=3", "x*2"});
  EXPECT_EQ(good.status, cli::kExitSuccess);
  EXPECT_EQ(good.out, "6\n");

  const clitest::CliRun bad = RunProcess({"eval", "1/0"});
  EXPECT_EQ(bad.status, cli::kExitFailure);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "Division by zero\n");

  const clitest::CliRun syntax = RunProcess({"eval", "1+"});
  EXPECT_EQ(syntax.status, cli::kExitFailure);
  EXPECT_FALSE(syntax.err.empty());
}

TEST(CliProcess, SolveExamplePlainAndJson) {
  const clitest::CliRun plain = RunProcess({"solve", "--example", "1"});
  EXPECT_EQ(plain.status, cli::kExitSuccess);
  const std::vector<std::string> lines = Lines(plain.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(StartsWith(lines[0], "x1= "));
  EXPECT_TRUE(StartsWith(lines[2], "Fxyz1= "));

  const clitest::CliRun json = RunProcess({"solve", "--example", "4", "--json"});
  EXPECT_EQ(json.status, cli::kExitSuccess);
  EXPECT_EQ(json.err, "");
  const nlohmann::json doc = nlohmann::json::parse(json.out);
  EXPECT_TRUE(doc["converged"].get<bool>());
  EXPECT_TRUE(StartsWith(doc["answer"].get<std::string>(), "x1= "));
}

TEST(CliProcess, WrongUsageAndNonConvergence) {
  EXPECT_EQ(RunProcess({"solve", "--example", "10"}).status, cli::kExitUsage);
  EXPECT_EQ(RunProcess({"solve", "--eq", "x1"}).status, cli::kExitUsage);
  EXPECT_EQ(RunProcess({"solve", "--eq", "x1^2+1", "--eq", "x2^2+1", "--x0", "0.5,0.3"}).status,
            cli::kExitFailure);
}

TEST(CliProcess, ExamplesListing) {
  const clitest::CliRun run = RunProcess({"examples"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  EXPECT_EQ(Lines(run.out).size(), 9u);
}

}  // namespace
