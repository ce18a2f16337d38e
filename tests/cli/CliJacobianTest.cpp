// nlsolve jacobian --sparse and --format mm against the dense Jacobian of the
// same system; the dense methods' memory budget instead of a fixed count.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/RobustSolve.h"

namespace {

using clitest::RunInProcess;

struct SystemRow {
  std::vector<std::string> args;  // the system and the point, without the output options
  std::size_t nonzeros;
};

// The dense JSON's entry (row, column), 1-based.
const nlohmann::json& DenseEntry(const nlohmann::json& dense, std::size_t row, std::size_t column) {
  return dense["jacobian"][row - 1][column - 1];
}

TEST(CliJacobianSparse, TripletsJsonAndMatrixMarketAgreeWithTheDenseJacobian) {
  clitest::TextFile tridiagonal(
      "names: u1, u2, u3, u4, u5\nstart: 0.1, 0.2, 0.3, 0.4, 0.5\n"
      "2*u1 - u2 - 0.04*exp(u1)\n-u1 + 2*u2 - u3 - 0.04*exp(u2)\n-u2 + 2*u3 - u4 - 0.04*exp(u3)\n"
      "-u3 + 2*u4 - u5 - 0.04*exp(u4)\n-u4 + 2*u5 - 0.04*exp(u5)\n");
  const std::vector<SystemRow> rows{
      {{tridiagonal.Path()}, 13},
      // Not square; an unknown no equation uses; an entry that is 0 at the point.
      {{"--eq", "x1*x2", "--eq", "Sin(x3)", "--vars", "x1,x2,x3,x4", "--at", "0,2,1,5"}, 3},
      // Central differences: every unknown of that row.
      {{"--eq", "x1 + (x2 > 1)", "--eq", "x2^2", "--at", "1,2"}, 3},
      // A failed equation: its values are undefined, the status is 1.
      {{"--eq", "x1", "--eq", "1/(x2-2)", "--at", "1,2"}, 2},
  };
  for (const SystemRow& row : rows) {
    SCOPED_TRACE(row.args.front());
    auto run = [&](std::vector<std::string> extra) {
      std::vector<std::string> args{"jacobian"};
      args.insert(args.end(), row.args.begin(), row.args.end());
      args.insert(args.end(), extra.begin(), extra.end());
      return RunInProcess(args);
    };
    const clitest::CliRun denseRun = run({"--json"});
    const nlohmann::json dense = nlohmann::json::parse(denseRun.out);
    const std::size_t columnCount = dense["names"].size();

    const clitest::CliRun jsonRun = run({"--sparse", "--json"});
    EXPECT_EQ(jsonRun.status, denseRun.status);
    const nlohmann::json sparse = nlohmann::json::parse(jsonRun.out);
    EXPECT_FALSE(sparse.contains("jacobian"));
    EXPECT_EQ(sparse["residuals"], dense["residuals"]);
    EXPECT_EQ(sparse["derivatives"], dense["derivatives"]);
    ASSERT_EQ(sparse["nonzeros"], row.nonzeros);
    ASSERT_EQ(sparse["rows"].size(), row.nonzeros);
    ASSERT_EQ(sparse["columns"].size(), row.nonzeros);
    ASSERT_EQ(sparse["values"].size(), row.nonzeros);
    // Every listed entry is the dense one; every entry not listed is 0 there.
    std::vector<bool> listed(dense["residuals"].size() * columnCount, false);
    for (std::size_t e = 0; e < row.nonzeros; ++e) {
      const std::size_t i = sparse["rows"][e];
      const std::size_t k = sparse["columns"][e];
      EXPECT_EQ(sparse["values"][e], DenseEntry(dense, i, k)) << i << "," << k;
      listed[(i - 1) * columnCount + (k - 1)] = true;
    }
    // (Across a failed equation's row every partial is undefined.)
    std::vector<bool> failedRow(dense["residuals"].size() + 1, false);
    if (dense.contains("errors"))
      for (const nlohmann::json& error : dense["errors"]) failedRow[error["equation"].get<std::size_t>()] = true;
    for (std::size_t i = 1; i <= dense["residuals"].size(); ++i)
      for (std::size_t k = 1; k <= columnCount; ++k)
        if (!listed[(i - 1) * columnCount + (k - 1)]) {
          EXPECT_EQ(DenseEntry(dense, i, k), failedRow[i] ? nlohmann::json(nullptr) : nlohmann::json(0.0))
              << i << "," << k;
        }

    // The text triplets and the Matrix Market lines are the JSON's entries.
    std::vector<std::string> triplets;
    for (std::size_t e = 0; e < row.nonzeros; ++e) {
      const nlohmann::json& v = sparse["values"][e];
      std::ostringstream line;
      line << sparse["rows"][e].get<std::size_t>() << ' ' << sparse["columns"][e].get<std::size_t>() << ' ';
      triplets.push_back(line.str() + (v.is_null() ? std::string("undefined") : v.dump()));
    }
    const clitest::CliRun textRun = run({"--sparse"});
    EXPECT_EQ(textRun.status, denseRun.status);
    const std::vector<std::string> textLines = clitest::Lines(textRun.out);
    const std::size_t firstTriplet = dense["residuals"].size();  // after the F lines
    ASSERT_GE(textLines.size(), firstTriplet + row.nonzeros + 1);
    for (std::size_t e = 0; e < row.nonzeros; ++e) {
      std::string expected = triplets[e];
      // JSON writes whole numbers with ".0"; the text as the dense text does.
      if (const auto dot = expected.rfind(".0"); dot != std::string::npos && dot + 2 == expected.size())
        expected.erase(dot);
      EXPECT_EQ(textLines[firstTriplet + e], expected);
    }
    EXPECT_EQ(textLines[firstTriplet + row.nonzeros], "derivatives = " + dense["derivatives"].get<std::string>());

    const clitest::CliRun mmRun = run({"--format", "mm"});
    EXPECT_EQ(mmRun.status, denseRun.status);
    const std::vector<std::string> mm = clitest::Lines(mmRun.out);
    ASSERT_EQ(mm.size(), 3 + row.nonzeros);
    EXPECT_EQ(mm[0], "%%MatrixMarket matrix coordinate real general");
    EXPECT_EQ(mm[2], std::to_string(dense["residuals"].size()) + " " + std::to_string(columnCount) + " " +
                         std::to_string(row.nonzeros));
    for (std::size_t e = 0; e < row.nonzeros; ++e) {
      std::string expected = textLines[firstTriplet + e];
      if (const auto u = expected.find("undefined"); u != std::string::npos) expected.replace(u, 9, "nan");
      EXPECT_EQ(mm[3 + e], expected);
    }
  }
}

TEST(CliJacobianSparse, OptionsThatDoNotMix) {
  const std::vector<std::string> system{"jacobian", "--eq", "x1", "--at", "1"};
  struct Row {
    std::vector<std::string> extra;
    std::string err;  // first line of standard error
  };
  const std::vector<Row> rows{
      {{"--format", "mm", "--json"}, "nlsolve: --json and --format mm do not mix: choose one"},
      {{"--format", "csv"}, "nlsolve: --format: csv not in {text,mm}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.err);
    std::vector<std::string> args = system;
    args.insert(args.end(), row.extra.begin(), row.extra.end());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(clitest::Lines(run.err).front(), row.err);
  }
}

// The robust methods take any number of equations whose dense Jacobian fits
// the budget; the count named is the first that does not.
TEST(CliDenseBudget, CountsAroundTheBudget) {
  problem::CommandLineInput input;
  input.method = "hybrid";
  struct Row {
    std::size_t count;
    std::string refusal;  // empty when accepted
  };
  const std::vector<Row> rows{
      {1, ""},
      {1001, ""},
      {11585, ""},  // 11585^2 doubles are just under 1 GiB
      {11586,
       "--method hybrid keeps the Jacobian of 11586 equations as a dense matrix, more than its budget of 1 GiB "
       "(at most 11585 equations)"},
      {0, "--eq must be given at least once with --method hybrid (given 0)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.count);
    EXPECT_EQ(cli::RobustSolveProblem(input, row.count, false).value_or(""), row.refusal);
  }
  EXPECT_TRUE(cli::DenseJacobianFits(2, (std::size_t{1} << 26)));
  EXPECT_FALSE(cli::DenseJacobianFits(2, (std::size_t{1} << 26) + 1));
  EXPECT_TRUE(cli::DenseJacobianFits(std::size_t{1} << 40, 0));
}

}  // namespace
