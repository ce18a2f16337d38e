// nlsolve solve: the Go command on an example or typed equations, in plain
// text and as JSON, checked against the equations computed natively.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "CliRun.h"
#include "app/Examples.h"
#include "cli/Commands.h"

namespace {

using clitest::Lines;
using clitest::RunInProcess;
using clitest::StartsWith;

// Newton stops once its correction is below 1E-5 and converges quadratically
// near these simple roots, so what is left of an equation is many orders
// below this even with coefficients of several hundred.
constexpr double kResidualTolerance = 1e-6;
// The engine sees each coordinate rounded to 15 significant digits; with
// derivatives of up to about 1E3 its values may differ from the native ones
// at the exact point by about 1E-12.
constexpr double kEngineAgreement = 1e-9;
// An answer line holds 15 significant digits of the coordinate.
constexpr double kAnswerLineRelative = 1e-14;
// Linear equations: the forward-difference Jacobian is off by rounding
// (about 1E-10 relative), which Newton's second step all but removes.
constexpr double kLinearRootTolerance = 1e-9;
// Below half a unit of the 7th decimal the title shows 0.
constexpr double kTitleZero = 5e-8;

using NativeSystem = std::vector<std::function<double(const std::vector<double>&)>>;

const NativeSystem kExample1{
    [](const std::vector<double>& x) { return x[0] * x[0] - 2 * x[1] - 2; },
    [](const std::vector<double>& x) { return x[0] - x[1] * x[1] * x[1] - 1; },
};

const NativeSystem kExample4{
    [](const std::vector<double>& x) { return 3 * x[0] - std::cos(x[1] * x[2]) - 0.5; },
    [](const std::vector<double>& x) { return 4 * x[0] * x[0] - 625 * x[1] * x[1] + 2 * x[1] - 1; },
    [](const std::vector<double>& x) {
      return std::exp(-x[0] * x[1]) + 20 * x[2] + (10 * std::numbers::pi - 3) / 3;
    },
};

// The numbers of the answer lines "x<i>= <number>", in order.
std::vector<double> AnswerNumbers(const std::vector<std::string>& lines) {
  std::vector<double> numbers;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string label = "x" + std::to_string(i + 1) + "= ";
    EXPECT_TRUE(StartsWith(lines[i], label)) << lines[i];
    numbers.push_back(std::strtod(lines[i].c_str() + label.size(), nullptr));
  }
  return numbers;
}

void ExpectRoot(const NativeSystem& system, const std::vector<double>& x) {
  ASSERT_EQ(x.size(), system.size());
  for (std::size_t i = 0; i < system.size(); ++i) {
    SCOPED_TRACE("equation " + std::to_string(i + 1));
    EXPECT_LT(std::abs(system[i](x)), kResidualTolerance);
  }
}

std::string ZeroTitle(std::size_t count) {
  std::string title = "Fxyz1= 0;Fxyz2= 0";
  if (count == 3) title += ";Fxyz3= 0";
  return title;
}

struct ExampleRow {
  int example;
  const NativeSystem* system;
};

const std::vector<ExampleRow> kExampleRows{{1, &kExample1}, {4, &kExample4}};

TEST(CliSolvePlain, ExampleAnswerLinesThenTitle) {
  for (const ExampleRow& row : kExampleRows) {
    SCOPED_TRACE("example " + std::to_string(row.example));
    const clitest::CliRun run = RunInProcess({"solve", "--example", std::to_string(row.example)});
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    const std::size_t count = row.system->size();
    ASSERT_EQ(lines.size(), count + 1) << run.out;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    const std::vector<double> x = AnswerNumbers({lines.begin(), lines.begin() + static_cast<long>(count)});
    ExpectRoot(*row.system, x);
    EXPECT_EQ(lines.back(), ZeroTitle(count));
  }
}

TEST(CliSolvePlain, LogLinesComeFirst) {
  const clitest::CliRun run = RunInProcess({"solve", "--example", "1", "--log"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_GE(lines.size(), 6u);
  // Newton's starting point from the default initial values, then its header.
  EXPECT_EQ(lines[0], "i=1x(1)=0");
  EXPECT_EQ(lines[1], "i=2x(2)=0");
  EXPECT_EQ(lines[2], "NEWTON METHOD FOR NONLINEAR SYSTEMS");
  EXPECT_TRUE(StartsWith(lines[lines.size() - 3], "x1= "));
  EXPECT_TRUE(StartsWith(lines[lines.size() - 2], "x2= "));
  EXPECT_TRUE(StartsWith(lines.back(), "Fxyz1= "));

  // The same run without --log prints exactly the tail.
  const clitest::CliRun quiet = RunInProcess({"solve", "--example", "1"});
  const std::vector<std::string> tail = Lines(quiet.out);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), tail);
}

TEST(CliSolvePlain, ThreeEquationsRunSteepestDescentFirst) {
  const clitest::CliRun run = RunInProcess({"solve", "--example", "4", "--log"});
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "STEEPEST DESCENT METHOD FOR NONLINEAR SYSTEMS");
  // The steepest-descent outcome is a message: one line on stderr.
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
}

TEST(CliSolveJson, ExampleDocument) {
  for (const ExampleRow& row : kExampleRows) {
    SCOPED_TRACE("example " + std::to_string(row.example));
    const clitest::CliRun run = RunInProcess({"solve", "--example", std::to_string(row.example), "--json"});
    EXPECT_EQ(run.status, cli::kExitSuccess);
    EXPECT_EQ(run.err, "");  // messages are in the document only
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    for (const char* key : {"log", "messages", "beeps", "answer", "title", "x", "residuals", "converged", "error"}) {
      SCOPED_TRACE(key);
      EXPECT_TRUE(doc.contains(key));
    }
    const std::size_t count = row.system->size();
    EXPECT_TRUE(doc["converged"].get<bool>());
    EXPECT_TRUE(doc["error"].is_null());
    EXPECT_EQ(doc["beeps"].get<int>(), 0);
    EXPECT_TRUE(doc["log"].is_array());
    EXPECT_FALSE(doc["log"].empty());

    // The problem solved, echoed as read: the example's names and start.
    EXPECT_EQ(doc["names"].size(), count);
    EXPECT_EQ(doc["names"][0], "x1");
    EXPECT_EQ(doc["start"].size(), count);

    const auto x = doc["x"].get<std::vector<double>>();
    const auto residuals = doc["residuals"].get<std::vector<double>>();
    ASSERT_EQ(x.size(), count);
    ASSERT_EQ(residuals.size(), count);
    ExpectRoot(*row.system, x);
    for (std::size_t i = 0; i < count; ++i) {
      SCOPED_TRACE("residual " + std::to_string(i + 1));
      EXPECT_NEAR(residuals[i], (*row.system)[i](x), kEngineAgreement);
      EXPECT_LT(std::abs(residuals[i]), kTitleZero);
    }

    // The answer field's text: one "x<i>= " line per unknown, each ending in CR LF.
    const std::string answer = doc["answer"].get<std::string>();
    std::vector<std::string> answerLines;
    std::size_t start = 0;
    for (std::size_t end; (end = answer.find("\r\n", start)) != std::string::npos; start = end + 2)
      answerLines.push_back(answer.substr(start, end - start));
    EXPECT_EQ(start, answer.size()) << "the last line ends in CR LF too";
    ASSERT_EQ(answerLines.size(), count);
    const std::vector<double> shown = AnswerNumbers(answerLines);
    for (std::size_t i = 0; i < count; ++i)
      EXPECT_NEAR(shown[i], x[i], kAnswerLineRelative * std::max(1.0, std::abs(x[i])));

    const std::string title = doc["title"].get<std::string>();
    EXPECT_TRUE(StartsWith(title, "Fxyz1= "));
    EXPECT_EQ(title, ZeroTitle(count));
  }
}

TEST(CliSolveJson, LogMatchesThePlainLog) {
  const clitest::CliRun json = RunInProcess({"solve", "--example", "4", "--json"});
  const clitest::CliRun plain = RunInProcess({"solve", "--example", "4", "--log"});
  const nlohmann::json doc = nlohmann::json::parse(json.out);
  std::vector<std::string> plainLines = Lines(plain.out);
  plainLines.resize(plainLines.size() - 4);  // three answer lines and the title
  EXPECT_EQ(doc["log"].get<std::vector<std::string>>(), plainLines);
  EXPECT_EQ(doc["messages"].get<std::vector<std::string>>(), Lines(plain.err));
}

TEST(CliSolve, TypedEquationsWithOwnNames) {
  const clitest::CliRun run =
      RunInProcess({"solve", "--eq", "a+b-3", "--eq", "a-b+1", "--vars", "a,b", "--x0", "5,5"});
  EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  // Answer lines are labelled by position whatever the names.
  const std::vector<double> x = AnswerNumbers({lines[0], lines[1]});
  EXPECT_NEAR(x[0], 1.0, kLinearRootTolerance);
  EXPECT_NEAR(x[1], 2.0, kLinearRootTolerance);
  EXPECT_EQ(lines[2], "Fxyz1= 0;Fxyz2= 0");
}

TEST(CliSolve, SixEquations) {
  std::vector<std::string> args{"solve"};
  for (int i = 1; i <= 6; ++i) {
    args.push_back("--eq");
    args.push_back("x" + std::to_string(i) + "-" + std::to_string(i));
  }
  const clitest::CliRun run = RunInProcess(args);
  EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 7u) << run.out;
  const std::vector<double> x = AnswerNumbers({lines.begin(), lines.begin() + 6});
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(x[static_cast<std::size_t>(i)], i + 1.0, kLinearRootTolerance);
  // The title shows only the first two values.
  EXPECT_EQ(lines[6], "Fxyz1= 0;Fxyz2= 0");
}

TEST(CliSolve, NoRealRootDoesNotConverge) {
  // x^2 + 1 has no real root: Newton wanders until its limit.
  const clitest::CliRun run =
      RunInProcess({"solve", "--eq", "x1^2+1", "--eq", "x2^2+1", "--x0", "0.5,0.3"});
  EXPECT_EQ(run.status, cli::kExitFailure);
  EXPECT_NE(run.err.find("DIVERGENCE - STOPPED AFTER ITERNN30"), std::string::npos) << run.err;
  // The last iterate is still shown.
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(StartsWith(lines[2], "Fxyz1= "));
}

TEST(CliSolve, SingularStartIsNotReportedAsConverged) {
  // The first equation does not depend on x1 or x2: the Jacobian's first row
  // is zero, the linear solve fails at once and Newton sees no correction.
  const clitest::CliRun run = RunInProcess({"solve", "--eq", "1", "--eq", "x2-1", "--json"});
  EXPECT_EQ(run.status, cli::kExitFailure);
  const nlohmann::json doc = nlohmann::json::parse(run.out);
  EXPECT_FALSE(doc["converged"].get<bool>());
  const auto messages = doc["messages"].get<std::vector<std::string>>();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "LINEAR SYSTEM HAS NO SOLUTION"), messages.end());
}

TEST(CliSolve, BadEquationGivesErrorText) {
  const clitest::CliRun json = RunInProcess({"solve", "--eq", "x1+(", "--eq", "x2", "--json"});
  EXPECT_EQ(json.status, cli::kExitFailure);
  const nlohmann::json doc = nlohmann::json::parse(json.out);
  EXPECT_FALSE(doc["converged"].get<bool>());
  ASSERT_TRUE(doc["error"].is_string());
  EXPECT_FALSE(doc["error"].get<std::string>().empty());

  const clitest::CliRun plain = RunInProcess({"solve", "--eq", "x1+(", "--eq", "x2"});
  EXPECT_EQ(plain.status, cli::kExitFailure);
  EXPECT_NE(plain.err.find(doc["error"].get<std::string>()), std::string::npos) << plain.err;
}

TEST(CliSolve, TooFewNamesOrValuesFailWithAMessage) {
  const std::vector<std::vector<std::string>> rows{
      {"solve", "--example", "4", "--vars", "x1,x2"},
      {"solve", "--example", "1", "--x0", "1"},
      {"solve", "--example", "1", "--vars", ""},
  };
  for (const auto& args : rows) {
    SCOPED_TRACE(args[3] + " " + args[4]);
    const clitest::CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, cli::kExitFailure);
    EXPECT_FALSE(run.err.empty());
  }
}

TEST(CliSolve, EvaluationFailuresAreCountedAndShown) {
  const clitest::CliRun run = RunInProcess({"solve", "--eq", "1/(x1-x1)", "--eq", "x2", "--json"});
  EXPECT_EQ(run.status, cli::kExitFailure);
  const nlohmann::json doc = nlohmann::json::parse(run.out);
  EXPECT_FALSE(doc["converged"].get<bool>());
  EXPECT_GT(doc["beeps"].get<int>(), 0);
  const auto messages = doc["messages"].get<std::vector<std::string>>();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "Division by zero"), messages.end());
}

TEST(CliSolveInput, ExampleLoadsAsADoubleClickDoes) {
  cli::SolveOptions options;
  options.example = 4;
  app::ProblemState state;
  app::InputFields fields;
  cli::PrepareSolveInput(options, state, fields);
  EXPECT_EQ(state.nEq, 3);
  EXPECT_EQ(fields.txtEqs[0], "3*x1-cos(x2*x3)-0.5 ");  // the blank before ";Eq_2" stays
  EXPECT_EQ(fields.txtEqs[2], "exp(-x1*x2)+20*x3+(10*pi-3)/3");
  EXPECT_EQ(fields.txtVars, "x1,x2,x3");
  EXPECT_EQ(fields.txtVarsI, "0,0,0");
}

TEST(CliSolveInput, TypedEquationsAndOverrides) {
  cli::SolveOptions options;
  options.equations = {"a-1", "b=2", "c;d"};  // "=" and ";" reach the fields unchanged
  options.valuesText = "1,,2";
  app::ProblemState state;
  app::InputFields fields;
  cli::PrepareSolveInput(options, state, fields);
  EXPECT_EQ(state.nEq, 3);
  EXPECT_EQ(fields.txtEqs[0], "a-1");
  EXPECT_EQ(fields.txtEqs[1], "b=2");
  EXPECT_EQ(fields.txtEqs[2], "c;d");
  EXPECT_EQ(fields.txtEqs[3], "");
  EXPECT_EQ(fields.txtVars, "x1,x2,x3");
  EXPECT_EQ(fields.txtVarsI, "1,,2");
}

TEST(CliOptions, AnEmptyValueAfterEqualsIsTheEmptyText) {
  // "--x0=" once took the next argument as its value: "--vars=x1,x2" became
  // the initial values and the run reported success (found from outside).
  using Args = std::vector<std::string>;
  struct Row {
    Args withEquals;  // "--name=" spelled with the equals sign
    Args spelledOut;  // the same with --name ""
    int status;
  };
  const Args eqs = {"solve", "--eq=x1-1", "--eq=x2-1"};
  auto with = [&](Args more) {
    Args args = eqs;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const Row rows[] = {
      {with({"--x0=", "--vars=x1,x2"}), with({"--x0", "", "--vars=x1,x2"}), cli::kExitFailure},
      {with({"--x0=", "--json"}), with({"--x0", "", "--json"}), cli::kExitFailure},
      {with({"--vars=", "--x0=1,1"}), with({"--vars", "", "--x0=1,1"}), cli::kExitFailure},
      {{"solve", "--eq=", "--eq=x1"}, {"solve", "--eq", "", "--eq=x1"}, cli::kExitFailure},
      {{"eval", "--var=", "1"}, {"eval", "--var", "", "1"}, cli::kExitUsage},
      // A flag takes no value and keeps its old reading; after "--" nothing is an option.
      {with({"--log=", "--x0=1,1"}), with({"--log", "--x0=1,1"}), cli::kExitSuccess},
      {{"eval", "--", "--x="}, {"eval", "--", "--x="}, cli::kExitFailure},
  };
  for (const auto& row : rows) {
    std::string joined;
    for (const auto& arg : row.withEquals) joined += arg + " ";
    SCOPED_TRACE(joined);
    const clitest::CliRun equals = RunInProcess(row.withEquals);
    const clitest::CliRun spelled = RunInProcess(row.spelledOut);
    EXPECT_EQ(equals.status, row.status);
    EXPECT_EQ(equals.status, spelled.status);
    EXPECT_EQ(equals.out, spelled.out);
    EXPECT_EQ(equals.err, spelled.err);
  }
}

TEST(CliExamples, ListsTheNineEntriesNumbered) {
  const clitest::CliRun run = RunInProcess({"examples"});
  EXPECT_EQ(run.status, cli::kExitSuccess);
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "1\t Eq_1 =x1^2-2*x2-2 ;Eq_2=x1-x2^3-1");
  EXPECT_EQ(lines[8], "9\t Eq_1 =2*x1-3*x2-x3-4 ;Eq_2=2*x1+x2-x3+4 ;Eq_3=x1^2+x2^2+x3^2-4");
  for (int i = 1; i <= 9; ++i) EXPECT_TRUE(StartsWith(lines[static_cast<std::size_t>(i - 1)], std::to_string(i) + "\t "));
}

}  // namespace
