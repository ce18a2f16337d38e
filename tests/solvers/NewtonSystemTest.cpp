#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SolverTestSupport.h"
#include "eval/NumberText.h"
#include "eval/ScriptError.h"
#include "eval/SolverUi.h"
#include "solvers/Solvers.h"

namespace solvers {
namespace {

using testing::After;
using testing::RecordingEquations;
using Lines = std::vector<std::string>;

constexpr std::string_view kHeader = "NEWTON METHOD FOR NONLINEAR SYSTEMS";
constexpr std::string_view kNoSolution = "LINEAR SYSTEM HAS NO SOLUTION";
constexpr double kTol = 1E-5;  // what the Go command passes

// Forward differences of a linear function are off from the coefficients by
// rounding magnified by 1/h: about 1E-10 for values of order 1. One Newton
// step from (0, 0) therefore lands within a few 1E-10 of the root.
constexpr double kLinearStepTolerance = 1E-9;

NativeEquations LinearPair() {
  return NativeEquations({[](auto x) { return x[0] + x[1] - 3; },
                          [](auto x) { return x[0] - x[1] - 1; }});
}

double NumberAfter(const std::string& line, const std::string& marker) {
  return std::stod(After(line, marker));
}

TEST(NewtonLogText, LinearSystemFromTheOriginTakesTwoIterations) {
  NativeEquations eq = LinearPair();
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut);

  EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
  EXPECT_EQ(report.iterations, 2);
  EXPECT_FALSE(report.singularSeen);
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(ui.log.size(), 9u);
  EXPECT_EQ(Lines(ui.log.begin(), ui.log.begin() + 3),
            (Lines{"i=1x(1)=0", "i=2x(2)=0", std::string(kHeader)}));
  // Iteration 1: to (2, 1) with err 2, up to rounding.
  ASSERT_EQ(ui.log[3].rfind("IterNo=1Error=", 0), 0u) << ui.log[3];
  EXPECT_NEAR(NumberAfter(ui.log[3], "Error="), 2, kLinearStepTolerance);
  ASSERT_EQ(ui.log[4].rfind("x(1)= ", 0), 0u) << ui.log[4];
  EXPECT_NEAR(NumberAfter(ui.log[4], "= "), 2, kLinearStepTolerance);
  ASSERT_EQ(ui.log[5].rfind("x(2)= ", 0), 0u) << ui.log[5];
  EXPECT_NEAR(NumberAfter(ui.log[5], "= "), 1, kLinearStepTolerance);
  // Iteration 2: a correction far below the tolerance.
  ASSERT_EQ(ui.log[6].rfind("IterNo=2Error=", 0), 0u) << ui.log[6];
  EXPECT_LT(NumberAfter(ui.log[6], "Error="), kTol);
  // The point lines and XOut show the same iterate.
  EXPECT_EQ(ui.log[7], "x(1)= " + eval::NumberText(xOut[0]));
  EXPECT_EQ(ui.log[8], "x(2)= " + eval::NumberText(xOut[1]));
  EXPECT_EQ(x, (std::vector<double>{0, 0}));
}

TEST(NewtonLogText, StartingAtTheRootEndsAfterOneIteration) {
  // F is exactly 0, so the correction is exactly 0.
  NativeEquations eq = LinearPair();
  eval::RecordingUi ui;
  const std::vector<double> x = {2, 1};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut);
  EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
  EXPECT_EQ(ui.log, (Lines{"i=1x(1)=2", "i=2x(2)=1", std::string(kHeader), "IterNo=1Error=0",
                           "x(1)= 2", "x(2)= 1"}));
  EXPECT_EQ(xOut, x);
}

TEST(NewtonLogText, StartLinesShowTheTypedValues) {
  NativeEquations eq = LinearPair();
  eval::RecordingUi ui;
  const std::vector<double> x = {-0.79, 1.5};
  std::vector<double> xOut;
  NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut);
  ASSERT_GE(ui.log.size(), 3u);
  EXPECT_EQ(ui.log[0], "i=1x(1)=-0.79");
  EXPECT_EQ(ui.log[1], "i=2x(2)=1.5");
}

TEST(NewtonSingular, ZeroJacobianRowInTheFirstIterationEndsAtTheStart) {
  // The second equation does not depend on the unknowns.
  NativeEquations eq({[](auto x) { return x[0] * x[0] - 4; },
                      [](auto x) { return x[0] - x[0] + 1; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {0.5, 3};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut);
  EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
  EXPECT_TRUE(report.singularSeen);
  EXPECT_EQ(report.iterations, 1);
  EXPECT_EQ(ui.messages, Lines{std::string(kNoSolution)});
  EXPECT_EQ(ui.log, (Lines{"i=1x(1)=0.5", "i=2x(2)=3", std::string(kHeader), "IterNo=1Error=0",
                           "x(1)= 0.5", "x(2)= 3"}));
}

TEST(NewtonSingular, LaterFailureAppliesThePreviousCorrectionAgain) {
  // Linear in x1 near the origin, constant (singular) from x1 = 0.5 on.
  // Iteration 1 solves to x1 = 1 (correction 1); iteration 2 is singular and
  // moves by that same correction once more, to x1 = 2.
  NativeEquations eq({[](auto x) { return x[0] < 0.5 ? x[0] - 1 : 0.0; },
                      [](auto x) { return x[1]; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 2, kTol, xOut);
  EXPECT_TRUE(report.singularSeen);
  EXPECT_EQ(report.outcome, NewtonOutcome::IterationLimit);
  EXPECT_EQ(ui.messages, (Lines{std::string(kNoSolution), "DIVERGENCE - STOPPED AFTER ITERNN2"}));
  ASSERT_EQ(ui.log.size(), 9u);
  EXPECT_NEAR(NumberAfter(ui.log[6], "Error="), 1, kLinearStepTolerance);
  EXPECT_NEAR(xOut[0], 2, 2 * kLinearStepTolerance);
  EXPECT_EQ(xOut[1], 0);
}

TEST(NewtonDivergence, NoRealRootRunsToTheLimit) {
  NativeEquations eq({[](auto x) { return x[0] * x[0] + 1; },
                      [](auto x) { return x[1] * x[1] + 1; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {0.5, 2};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 20, kTol, xOut);
  EXPECT_EQ(report.outcome, NewtonOutcome::IterationLimit);
  EXPECT_EQ(report.iterations, 20);
  EXPECT_EQ(ui.messages, Lines{"DIVERGENCE - STOPPED AFTER ITERNN20"});
  ASSERT_EQ(ui.log.size(), 3u + 20 * 3);
  for (int k = 1; k <= 20; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(ui.log[std::size_t(3 * k)].rfind("IterNo=" + std::to_string(k) + "Error=", 0), 0u);
  }
  ASSERT_EQ(xOut.size(), 2u);
  EXPECT_EQ(ui.log[61], "x(1)= " + eval::NumberText(xOut[0]));
  EXPECT_EQ(ui.log[62], "x(2)= " + eval::NumberText(xOut[1]));
}

TEST(NewtonEvaluations, EachIterationCostsTwiceNSquaredPlusN) {
  RecordingEquations eq({[](auto x) { return x[0] + x[1] + x[2] - 3; },
                         [](auto x) { return x[0] - x[1] - 1; },
                         [](auto x) { return x[2] - 0.5; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut(5, 7.0);
  const NewtonReport report = NewtonSystem(ui, "y", 3, eq, x, 30, kTol, xOut);
  EXPECT_EQ(eq.calls.size(), std::size_t(report.iterations) * (2 * 9 + 3));
  // The Jacobian first (equation 1 by unknowns 1..3, ...), then the values.
  EXPECT_EQ(eq.calls[0].equation, 1);
  EXPECT_EQ(eq.calls[5].equation, 1);
  EXPECT_EQ(eq.calls[6].equation, 2);
  EXPECT_EQ(eq.calls[18].equation, 1);
  EXPECT_EQ(eq.calls[18].point, x);
  EXPECT_EQ(eq.calls[20].equation, 3);
  // XOut passed with five entries comes back with three.
  EXPECT_EQ(xOut.size(), 3u);
}

struct ConfirmRow {
  std::string confirm;
  bool runs;
};

TEST(NewtonConfirm, OnlyYInEitherCaseRuns) {
  const std::vector<ConfirmRow> rows = {{"y", true}, {"Y", true}, {"n", false}, {"", false},
                                        {"yes", false}, {" y", false}, {"N", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE("confirm '" + row.confirm + "'");
    NativeEquations eq = LinearPair();
    eval::RecordingUi ui;
    const std::vector<double> x = {2, 1};
    std::vector<double> xOut = {9, 9, 9};
    const NewtonReport report = NewtonSystem(ui, row.confirm, 2, eq, x, 30, kTol, xOut);
    if (row.runs) {
      EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
      EXPECT_EQ(ui.log.size(), 6u);
    } else {
      EXPECT_EQ(report.outcome, NewtonOutcome::NotConfirmed);
      EXPECT_EQ(ui.messages,
                Lines{"program will end so that the functions F(X) and J(X) can be created "});
      EXPECT_TRUE(ui.log.empty());
      EXPECT_EQ(xOut, (std::vector<double>{9, 9, 9}));
    }
  }
}

struct ParameterRow {
  std::int16_t nEq;
  double tol;
  std::int16_t nTry;
  std::string message;
};

TEST(NewtonParameters, FirstFailingCheckShowsItsMessageOnceAndReturns) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<ParameterRow> rows = {
      {1, kTol, 30, "NEq must be greater than 1."},
      {-3, kTol, 30, "NEq must be greater than 1."},
      {0, 0, 0, "NEq must be greater than 1."},
      {2, 0, 30, "Tolerance must be positive "},
      {2, -1E-5, 0, "Tolerance must be positive "},
      {2, nan, 30, "Tolerance must be positive "},
      {2, kTol, 0, "NTry Must be positive integer "},
      {2, kTol, -1, "NTry Must be positive integer "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message + " nEq=" + std::to_string(row.nEq));
    RecordingEquations eq({[](auto x) { return x[0]; }, [](auto x) { return x[1]; }});
    eval::RecordingUi ui;
    const std::vector<double> x = {1, 1};
    std::vector<double> xOut = {5};
    const NewtonReport report = NewtonSystem(ui, "y", row.nEq, eq, x, row.nTry, row.tol, xOut);
    EXPECT_EQ(report.outcome, NewtonOutcome::InvalidParameter);
    EXPECT_EQ(ui.messages, Lines{row.message});
    EXPECT_TRUE(ui.log.empty());
    EXPECT_TRUE(eq.calls.empty());
    EXPECT_EQ(xOut, std::vector<double>{5});
  }
}

TEST(NewtonParameters, FewerStartingValuesThanUnknownsIsReported) {
  NativeEquations eq = LinearPair();
  eval::RecordingUi ui;
  const std::vector<double> x = {1};
  std::vector<double> xOut;
  EXPECT_THROW(NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut), eval::ScriptError);
  EXPECT_TRUE(ui.log.empty());
}

TEST(NewtonConvergence, FindsKnownRoots) {
  struct Row {
    std::string name;
    std::vector<NativeEquations::Function> f;
    std::vector<double> start;
    std::vector<double> root;
  };
  // Newton's quadratic convergence leaves the last iterate far closer to the
  // root than the last correction (< 1E-5); forward differences limit it to
  // about 1E-6 relative on the Jacobian, hence this bound.
  constexpr double kRootTolerance = 1E-8;
  const std::vector<Row> rows = {
      {"circle and line",
       {[](auto x) { return x[0] * x[0] + x[1] * x[1] - 25; },
        [](auto x) { return x[0] - x[1] - 1; }},
       {3.5, 2.5}, {4, 3}},
      {"exponential and cubic",
       {[](auto x) { return std::exp(x[0]) - x[1] - 1; },
        [](auto x) { return x[1] * x[1] * x[1] - 8 * x[0]; }},
       {0.3, 0.2}, {0, 0}},
      {"three unknowns",
       {[](auto x) { return x[0] * x[1] - 2; }, [](auto x) { return x[1] * x[2] - 6; },
        [](auto x) { return x[0] + x[2] - 4; }},
       {1.2, 1.8, 2.7}, {1, 2, 3}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    NativeEquations eq(row.f);
    eval::RecordingUi ui;
    std::vector<double> xOut;
    const auto n = std::int16_t(row.root.size());
    const NewtonReport report = NewtonSystem(ui, "y", n, eq, row.start, 30, kTol, xOut);
    EXPECT_EQ(report.outcome, NewtonOutcome::Converged);
    EXPECT_FALSE(report.nonFinite);
    ASSERT_EQ(xOut.size(), row.root.size());
    for (std::size_t i = 0; i < xOut.size(); ++i) EXPECT_NEAR(xOut[i], row.root[i], kRootTolerance);
  }
}

TEST(NewtonHostile, OverflowNaNAndSingularSystemsEndCleanly) {
  struct Row {
    std::string name;
    std::vector<NativeEquations::Function> f;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Row> rows = {
      {"overflowing", {[](auto x) { return std::exp(800 * x[0]); },
                       [](auto x) { return 1E300 * x[1] * x[1] * 1E300; }}},
      {"not a number", {[nan](auto) { return nan; }, [](auto x) { return x[1]; }}},
      {"square root of negatives", {[](auto x) { return std::sqrt(x[0] - 10); },
                                    [](auto x) { return std::sqrt(-x[1] - 10); }}},
      {"singular everywhere", {[](auto x) { return x[0] + x[1]; },
                               [](auto x) { return 2 * (x[0] + x[1]) + 1; }}},
      {"infinite Jacobian", {[](auto x) { return x[0] > 0 ? 1E308 * 2 : 0; },
                             [](auto x) { return x[1] - 1; }}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    NativeEquations eq(row.f);
    eval::RecordingUi ui;
    const std::vector<double> x = {0.5, 0.5};
    std::vector<double> xOut;
    const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut);
    EXPECT_GE(report.iterations, 1);
    EXPECT_LE(report.iterations, 30);
    EXPECT_EQ(ui.log.size(), 3u + std::size_t(report.iterations) * 3);
    EXPECT_EQ(xOut.size(), 2u);
    if (report.nonFinite) {
      EXPECT_FALSE(std::isfinite(xOut[0]) && std::isfinite(xOut[1]));
    }
  }
}

TEST(NewtonHostile, NaNCorrectionIsFlaggedNotHidden) {
  // Every value is NaN: the correction is NaN, which no comparison sees, so
  // err stays 0 and the run stops at once; the report says the point is not
  // a number.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  NativeEquations eq({[nan](auto) { return nan; }, [nan](auto) { return nan; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {1, 2};
  std::vector<double> xOut;
  const NewtonReport report = NewtonSystem(ui, "y", 2, eq, x, 30, kTol, xOut);
  EXPECT_EQ(report.iterations, 1);
  EXPECT_TRUE(report.nonFinite);
  EXPECT_EQ(ui.log[3], "IterNo=1Error=0");
}

}  // namespace
}  // namespace solvers
