// nlsolve eval --grad and nlsolve jacobian, whole outputs through the command line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace {

struct CommandRow {
  std::vector<std::string> args;
  int status;
  std::string out;  // whole standard output
  std::string err;  // whole standard error
};

TEST(CompiledCommands, TextOutputsAndFaults) {
  const std::vector<CommandRow> rows{
      {{"eval", "--grad", "--var", "x1=0.5", "--var", "x2=2", "--", "x1^2-2*x2-2"}, 0,
       "-5.75\nd/dx1 = 1\nd/dx2 = -2\n", ""},
      // Full precision: one third is not cut to 15 digits.
      {{"eval", "--grad", "--var", "x=3", "--", "1/x"}, 0, "0.3333333333333333\nd/dx = -0.1111111111111111\n", ""},
      {{"eval", "--grad", "--", "2+3"}, 0, "5\n", ""},
      {{"eval", "--grad", "--var", "x=0", "--", "Abs(x)"}, 1, "0\nd/dx = undefined\n",
       "Abs has no derivative at this point\n"},
      {{"eval", "--grad", "--var", "x=0", "--", "1/x"}, 1, "undefined\nd/dx = undefined\n", "Division by zero\n"},
      {{"eval", "--grad", "--var", "x=1", "--var", "X=2", "--", "x"}, 2, "",
       "nlsolve eval: --grad needs each NAME once, got \"X\" twice\n"},
      {{"jacobian", "--eq", "x1^2-2*x2-2", "--eq", "x1-x2^3-1", "--at", "1,2"}, 0,
       "F1 = -5\nF2 = -8\ndF1/dx1 = 2\ndF1/dx2 = -2\ndF2/dx1 = 1\ndF2/dx2 = -12\nderivatives = exact\n", ""},
      {{"jacobian", "--eq", "b + 7 * (a > 5)", "--vars", "a,b", "--at", "2,3"}, 0,
       "F1 = 3\ndF1/da = 0\ndF1/db = 1\nderivatives = central differences\n", ""},
      {{"jacobian", "--eq", "x1", "--eq", "1/(x2-2)", "--at", "1,2"}, 1,
       "F1 = 1\nF2 = undefined\ndF1/dx1 = 1\ndF1/dx2 = 0\ndF2/dx1 = undefined\ndF2/dx2 = undefined\n"
       "derivatives = exact\n",
       "equation 2: Division by zero\n"},
      {{"jacobian", "--eq", "x1", "--at", "1,2"}, 2, "", "nlsolve jacobian: --at: needs 1 value, one per unknown (given 2)\n"},
      {{"jacobian", "--eq", "x1", "--at", "one"}, 2, "", "nlsolve jacobian: --at: 'one' is not a number\n"},
      {{"jacobian", "--eq", "(x1", "--at", "1"}, 1, "", "nlsolve jacobian: --eq (column 4): Eq_1: Expected ')'\n"},
  };
  for (const CommandRow& row : rows) {
    SCOPED_TRACE(row.args.back());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::RunCli(row.args, out, err), row.status);
    EXPECT_EQ(out.str(), row.out);
    EXPECT_EQ(err.str(), row.err);
  }
}

TEST(CompiledCommands, JsonObjects) {
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(cli::RunCli(std::vector<std::string>{"eval", "--grad", "--json", "--var", "y=2", "--var", "x=0.5", "--", "x*y^3"}, out, err), 0);
  const auto grad = nlohmann::json::parse(out.str());
  EXPECT_EQ(grad, nlohmann::json::parse(R"({"value": 4, "gradient": {"y": 6, "x": 8}, "derivatives": "exact", "warnings": [], "jsonVersion": 2})"));

  out.str("");
  ASSERT_EQ(cli::RunCli(std::vector<std::string>{"jacobian", "--json", "--eq", "x1*x2", "--eq", "x1 - (x2 > 0)", "--at", "2,3"}, out, err), 0);
  const auto jac = nlohmann::json::parse(out.str());
  EXPECT_EQ(jac["residuals"], nlohmann::json::parse("[6, 3]"));
  EXPECT_EQ(jac["jacobian"][0], nlohmann::json::parse("[3, 2]"));
  EXPECT_NEAR(jac["jacobian"][1][0].get<double>(), 1, 1E-9);
  EXPECT_EQ(jac["derivatives"], "central differences");
  EXPECT_FALSE(jac.contains("errors"));
  EXPECT_EQ(err.str(), "");
}

}  // namespace
