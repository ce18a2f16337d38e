// nlsolve eval: the value on stdout, failures on stderr with status 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/Commands.h"
#include "eval/ScriptError.h"
#include "eval/Value.h"

namespace {

using clitest::RunInProcess;

struct EvalRow {
  std::vector<std::string> args;  // after "eval"
  std::string out;                // the whole of stdout
};

TEST(CliEval, PrintsTheValue) {
  const std::vector<EvalRow> rows{
      {{"1+2"}, "3\n"},
      {{"7/2"}, "3.5\n"},
      {{"1/3"}, "0.333333333333333\n"},  // 15 significant digits
      {{"2^0.5"}, "1.4142135623731\n"},  // 1.41421356237310: the trailing zero goes
      {{"--", "-2*3"}, "-6\n"},
      {{"1E20*10"}, "1E+21\n"},
      {{"pi"}, "3.14159265358979\n"},
      {{"\"ab\" & \"c\""}, "abc\n"},
      {{"\"two words\""}, "two words\n"},
      {{"1<2"}, "True\n"},
      {{"1>2"}, "False\n"},
      {{"notAssigned"}, "\n"},  // an unassigned variable is Empty
      {{"--var", "x=2", "x^2"}, "4\n"},
      {{"--var", "x=1.5", "--var", "y=abc", "x+y"}, "1.5\n"},  // a value that is no number counts as 0
      {{"--var", "x=&H10", "x"}, "16\n"},
      {{"--var", "x=1", "--var", "x=5", "x"}, "5\n"},  // assigned in order, the last one stays
      {{"--var", "a=0.1", "--var", "b=0.2", "--", "a+b"}, "0.3\n"},
  };
  for (const EvalRow& row : rows) {
    std::vector<std::string> args{"eval"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(args.back());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
  }
}

TEST(CliEval, DivisionByZeroFailsWithTheDescription) {
  const clitest::CliRun run = RunInProcess({"eval", "1/0"});
  EXPECT_EQ(run.status, cli::kExitFailure);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Division by zero\n");
}

TEST(CliEval, FailuresEndWithStatusOneAndTheirDescription) {
  const std::vector<std::vector<std::string>> rows{
      {"eval", "(1+2"},                             // syntax error while adding code
      {"eval", ""},                                 // empty expression
      {"eval", "--var", "1x=2", "1"},               // a name the engine does not accept
      {"eval", "--var", "x=0", "1/x"},              // failure while evaluating
      {"eval", "noSuchFunction(1)"},                // unknown function
      {"eval", "--var", "x=1E400", "x"},            // a coordinate without number text
  };
  for (const auto& args : rows) {
    SCOPED_TRACE(args.back());
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitFailure);
    EXPECT_EQ(run.out, "");
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(clitest::Lines(run.err).size(), 1u) << run.err;
  }
}

TEST(CliEval, LibraryMessagesGoToStderrWithoutFailing) {
  // Gcd reports M <= 0 and carries on; with M = 0 its search finds nothing and gives 0.
  const clitest::CliRun run = RunInProcess({"eval", "Gcd(0, 4)"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  EXPECT_EQ(run.out, "0\n");
  EXPECT_EQ(run.err, "Err input data\n");
}

struct ValueTextRow {
  eval::Value value;
  std::string text;
};

TEST(CliValueText, EachKindOfValue) {
  const std::vector<ValueTextRow> rows{
      {eval::Value(), ""},
      {eval::Value::Null(), "Null"},
      {eval::Value::Boolean(true), "True"},
      {eval::Value::Boolean(false), "False"},
      {eval::Value::Integer(-32768), "-32768"},
      {eval::Value::Long(2147483647), "2147483647"},
      {eval::Value::Single(0.1f), "0.1"},  // as VBScript shows a Single, not its double expansion
      {eval::Value::Double(-0.79), "-0.79"},
      {eval::Value::Double(1.0 / 3.0), "0.333333333333333"},
      {eval::Value::String("x1 = 2"), "x1 = 2"},
  };
  for (const ValueTextRow& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(cli::ValueText(row.value), row.text);
  }
}

}  // namespace
