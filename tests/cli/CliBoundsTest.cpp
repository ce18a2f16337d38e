// Bounds through every door: --bounds, a system file's bounds: line and a
// batch line's "bounds" field give the same answer; the Go road refuses
// them; roots searches the bounds as its box and lists nothing beyond them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Batch.h"

namespace {

using clitest::RunInProcess;
using clitest::TextFile;
using nlohmann::json;

// x^2 = 1 has a root on either side of 0; the bounds pick one.
TEST(CliBounds, EveryDoorKeepsTheUnknownsWithinTheBounds) {
  const TextFile file("names: x\nstart: -5\nbounds: 0:inf\nx^2 = 1\n");
  const std::vector<std::vector<std::string>> commands = {
      {"solve", "--eq", "x^2 - 1", "--vars", "x", "--x0", "-5", "--bounds", "0:inf", "--method", "sparse", "--json"},
      {"solve", file.Path(), "--method", "auto", "--json"},
      {"solve", file.Path(), "--method", "hybrid", "--json"},
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[1]);
    const clitest::CliRun run = RunInProcess(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = json::parse(run.out);
    EXPECT_EQ(doc["x"][0], 1.0);
    EXPECT_EQ(doc["method"], "sparse");
    EXPECT_EQ(doc["bounds"], json::parse("[[0.0, null]]"));
    EXPECT_EQ(doc["onBound"], json::array());
    EXPECT_EQ(doc["startMovedInside"], true);
  }
  const cli::BatchLineResult line = cli::RunBatchLine(
      R"({"eq": ["x^2 - 1"], "names": "x", "start": "5", "bounds": "-inf:0", "method": "auto"})", 1);
  EXPECT_EQ(json::parse(line.json)["x"][0], -1.0);
}

TEST(CliBounds, AMinimumOnABoundIsSaidAndFailsTheStatus) {
  const clitest::CliRun run =
      RunInProcess({"solve", "--eq", "x1 + 1", "--x0", "5", "--bounds", "0:10", "--method", "sparse"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("least-squares minimum on the bounds"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("unknown 1 at its lower bound 0"), std::string::npos);
}

TEST(CliBounds, RefusalsSayWhy) {
  struct Row {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Row> rows = {
      {{"solve", "--eq", "x1^2-1", "--eq", "x2", "--bounds", "0:1"}, "--bounds needs --method sparse, auto, hybrid or lm"},
      {{"solve", "--eq", "x1", "--bounds", "1:0", "--method", "sparse"}, "--bounds"},
      {{"solve", "--eq", "x1", "--eq", "x2", "--bounds", "0:1,0:1,0:1", "--method", "sparse"}, "--bounds"},
  };
  for (const Row& row : rows) {
    const clitest::CliRun run = RunInProcess(row.args);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
  }
}

TEST(CliBounds, RootsSearchesTheBoundsAsItsBox) {
  const clitest::CliRun run =
      RunInProcess({"roots", "--eq", "x^3 - x", "--vars", "x", "--bounds", "0.5:inf", "--json", "--seed", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  const json doc = json::parse(run.out);
  EXPECT_EQ(doc["box"], json::parse("[[0.5, 10.0]]"));
  ASSERT_EQ(doc["roots"].size(), 1u);
  EXPECT_EQ(doc["roots"][0]["x"][0], 1.0);
  EXPECT_EQ(doc["outsideBox"], json::array());  // -1 and 0 lie beyond the bound
}

}  // namespace
