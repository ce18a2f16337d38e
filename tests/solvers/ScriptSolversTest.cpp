// The solvers on equations typed as script text, through real engines that
// carry the function library, as the Go command runs them.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/ClsMath.h"
#include "eval/NumberText.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"
#include "eval/SolverUi.h"
#include "solvers/EquationSystem.h"
#include "solvers/Solvers.h"

namespace solvers {
namespace {

using Lines = std::vector<std::string>;

constexpr double kNewtonTol = 1E-5;
constexpr double kDescentTol = 1E-4;

// One engine per equation with the library as "math", members global.
struct ScriptSystem {
  ScriptSystem(std::vector<std::string> texts, eval::SolverUi& ui)
      : eqTexts(std::move(texts)), mathLib(std::make_shared<eval::ClsMath>()), libraryUi(*mathLib, ui) {
    for (std::size_t i = 1; i <= eqTexts.size(); ++i) {
      names.push_back("x" + std::to_string(i));
      engines.push_back(std::make_unique<eval::ScriptEngine>());
      engines.back()->SetLanguage("VBScript");
      engines.back()->AddObject("math", mathLib, true);
    }
  }
  ScriptEquations Equations(eval::SolverUi& ui) { return ScriptEquations(engines, eqTexts, names, ui); }
  std::int16_t NEq() const { return std::int16_t(eqTexts.size()); }

  std::vector<std::string> eqTexts;
  std::vector<std::string> names;
  std::shared_ptr<eval::ClsMath> mathLib;
  eval::ClsMath::UiBinding libraryUi;
  std::vector<std::unique_ptr<eval::ScriptEngine>> engines;
};

// A converged Newton run leaves residuals of the order of the last
// correction times the Jacobian (entries up to about 10 here) squared away
// by the quadratic convergence; 1E-8 leaves room for the 15-digit coordinates.
constexpr double kResidualTolerance = 1E-8;

TEST(ScriptNewton, Example1ConvergesToARoot) {
  eval::RecordingUi ui;
  ScriptSystem system({"x1^2-2*x2-2", "x1-x2^3-1"}, ui);
  ScriptEquations equations = system.Equations(ui);
  const std::vector<double> x = {0, 0};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, equations, x, 30, kNewtonTol, xOut);

  EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.beeps, 0);
  ASSERT_EQ(xOut.size(), 2u);
  EXPECT_NEAR(xOut[0] * xOut[0] - 2 * xOut[1] - 2, 0, kResidualTolerance);
  EXPECT_NEAR(xOut[0] - xOut[1] * xOut[1] * xOut[1] - 1, 0, kResidualTolerance);
  ASSERT_EQ(ui.log.size(), 3u + 3 * std::size_t(report.iterations));
  EXPECT_EQ(Lines(ui.log.begin(), ui.log.begin() + 3),
            (Lines{"i=1x(1)=0", "i=2x(2)=0", "NEWTON METHOD FOR NONLINEAR SYSTEMS"}));
  EXPECT_EQ(ui.log.back(), "x(2)= " + eval::NumberText(xOut[1]));
}

TEST(ScriptNewton, FailingEquationBeepsAtEveryEvaluationAndCountsAsZero) {
  // Equation 1 divides by zero everywhere: 2*2 derivative evaluations and
  // one value per iteration fail, its Jacobian row is 0 and the solve fails.
  eval::RecordingUi ui;
  ScriptSystem system({"1/(x1-x1)", "x2-1"}, ui);
  ScriptEquations equations = system.Equations(ui);
  const std::vector<double> x = {0.5, 0};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, equations, x, 30, kNewtonTol, xOut);
  EXPECT_TRUE(report.singularSeen);
  EXPECT_EQ(report.iterations, 1);
  EXPECT_EQ(ui.beeps, 5);
  EXPECT_EQ(ui.messages, (Lines{"Division by zero", "Division by zero", "Division by zero",
                                "Division by zero", "Division by zero",
                                "LINEAR SYSTEM HAS NO SOLUTION"}));
  EXPECT_EQ(ui.log.back(), "x(2)= 0");
}

TEST(ScriptNewton, AnIterateOutsideTheNumberRangeEndsTheRun) {
  // A tiny but accepted pivot under a huge neighbour: x1's correction leaves
  // the number range. The run stops there, before an evaluation the engine
  // could not take, and says in which iteration.
  eval::RecordingUi ui;
  ScriptSystem system({"1E294*x2+1E-19*x1", "1E10*(x2-1)"}, ui);
  ScriptEquations equations = system.Equations(ui);
  const std::vector<double> x = {0, 0};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, equations, x, 30, kNewtonTol, xOut);
  EXPECT_EQ(report.outcome, NewtonOutcome::LeftNumberRange);
  EXPECT_EQ(report.iterations, 1);
  ASSERT_EQ(xOut.size(), 2u);
  EXPECT_TRUE(std::isinf(xOut[0]));
  EXPECT_EQ(ui.log.size(), 6u);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(NumberRange, FiniteAndItsNumberTextReadsBack) {
  const double kMax = std::numeric_limits<double>::max();
  const struct {
    double value;
    bool inRange;
  } rows[] = {
      {0, true}, {-1E300, true}, {1.79769313486231E+308, true},
      {kMax, false},  // its 15-digit text 1.79769313486232E+308 is beyond the range
      {-kMax, false}, {std::numeric_limits<double>::infinity(), false},
      {std::numeric_limits<double>::quiet_NaN(), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(solvers::InNumberRange(row.value), row.inRange);
  }
}

TEST(ScriptDescent, ThreeEquationExampleThenNewtonSolves) {
  // Example 7 as the Go command runs it: descent from the origin, then Newton
  // from the descent's point.
  eval::RecordingUi ui;
  ScriptSystem system({"15*x1+x2^2+4*x3-13", "x1^2+10*x2-x3-11", "x2^3-25*x3+22"}, ui);
  ScriptEquations equations = system.Equations(ui);
  const std::vector<double> origin = {0, 0, 0};
  std::vector<double> xOut;
  SteepestDescent(ui, "y", 3, equations, origin, 30, kDescentTol, xOut);
  ASSERT_EQ(ui.log.size(), 3u);
  EXPECT_EQ(ui.log[0], "STEEPEST DESCENT METHOD FOR NONLINEAR SYSTEMS");
  EXPECT_EQ(ui.log[1], "Iter. No.   Vector    G(vector)");
  EXPECT_EQ(ui.log[2].rfind("sta 400 K= ", 0), 0u);
  EXPECT_EQ(ui.messages, Lines{"PROCEDURE COMPLETED SUCCESSFULLY"});

  const std::vector<double> start = xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 3, equations, start, 30, kNewtonTol, xOut);
  EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
  EXPECT_EQ(ui.log[3], "i=1x(1)=" + eval::NumberText(start[0]));
  const double x1 = xOut[0], x2 = xOut[1], x3 = xOut[2];
  EXPECT_NEAR(15 * x1 + x2 * x2 + 4 * x3 - 13, 0, kResidualTolerance);
  EXPECT_NEAR(x1 * x1 + 10 * x2 - x3 - 11, 0, kResidualTolerance);
  EXPECT_NEAR(x2 * x2 * x2 - 25 * x3 + 22, 0, kResidualTolerance);
}

TEST(ScriptDescent, ZeroGradientAtAnExactSolutionUsesTheLibrary) {
  // Log10 and SinD come from the library, made global in every engine; every
  // equation is exactly 0 at the start.
  eval::RecordingUi ui;
  ScriptSystem system({"Log10(x1)", "x2*2-1", "SinD(x3)"}, ui);
  ScriptEquations equations = system.Equations(ui);
  const std::vector<double> x = {1, 0.5, 0};
  std::vector<double> xOut;
  EXPECT_EQ(SteepestDescent(ui, "y", 3, equations, x, 30, kDescentTol, xOut),
            DescentOutcome::ZeroGradient);
  EXPECT_EQ(ui.beeps, 0);
  EXPECT_EQ(ui.messages, Lines{"ZERO GRADIENT: MAY HAVE MIN"});
  EXPECT_EQ(ui.log.back(), "sta 400 K= 1;X(1)= 1;X(2)= 0.5;X(3)= 0");
  EXPECT_EQ(xOut, x);
}

TEST(ScriptPartialDerivative, ForwardDifferenceThroughAnEngine) {
  eval::RecordingUi ui;
  ScriptSystem system({"x1^2-2*x2-2", "x1"}, ui);
  const std::vector<double> point = {1, 1};
  // Rounding of values near 1 magnified by 1/h: about 1E-10.
  constexpr double kDifferenceTolerance = 1E-9;
  EXPECT_NEAR(PartialDerivative(*system.engines[0], system.eqTexts[0], system.names, point, 1, ui),
              2.000001, kDifferenceTolerance);
  EXPECT_NEAR(PartialDerivative(*system.engines[0], system.eqTexts[0], system.names, point, 2, ui),
              -2, kDifferenceTolerance);
  EXPECT_EQ(PartialDerivative(*system.engines[1], system.eqTexts[1], system.names, point, 2, ui), 0);
  EXPECT_EQ(point, (std::vector<double>{1, 1}));
}

TEST(ScriptPartialDerivative, PointShorterThanTheNamesIsReported) {
  eval::RecordingUi ui;
  ScriptSystem system({"x1+x2", "x2"}, ui);
  const std::vector<double> point = {1};
  EXPECT_THROW(
      PartialDerivative(*system.engines[0], system.eqTexts[0], system.names, point, 1, ui),
      eval::ScriptError);
  EXPECT_THROW(
      PartialDerivative(*system.engines[0], system.eqTexts[0], system.names, {}, 3, ui),
      eval::ScriptError);
}

TEST(ScriptPartialDerivative, SyntaxErrorPassesThrough) {
  eval::RecordingUi ui;
  ScriptSystem system({"(x1+", "x2"}, ui);
  ScriptEquations equations = system.Equations(ui);
  const std::vector<double> x = {1, 2};
  std::vector<double> xOut;
  EXPECT_THROW(NewtonSystem(ui, "y", 2, equations, x, 30, kNewtonTol, xOut), eval::ScriptError);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace solvers

namespace solvers {
namespace {

TEST(ScriptEquationsArrays, EquationWithoutAnEngineIsReported) {
  eval::RecordingUi ui;
  std::vector<std::unique_ptr<eval::ScriptEngine>> engines;
  std::vector<std::string> eqTexts = {"x1", "x1"};
  std::vector<std::string> names = {"x1"};
  ScriptEquations equations(engines, eqTexts, names, ui);
  const std::vector<double> point = {1};
  for (int i : {0, 1, 3}) {
    SCOPED_TRACE(i);
    EXPECT_THROW(equations.Value(i, point), eval::ScriptError);
  }
}

}  // namespace
}  // namespace solvers
