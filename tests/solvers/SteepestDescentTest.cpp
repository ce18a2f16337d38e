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

using testing::RecordingEquations;
using Function = NativeEquations::Function;
using Lines = std::vector<std::string>;

constexpr std::string_view kHeader1 = "STEEPEST DESCENT METHOD FOR NONLINEAR SYSTEMS";
constexpr std::string_view kHeader2 = "Iter. No.   Vector    G(vector)";
constexpr double kTol = 1E-4;  // what the Go command passes

Lines WithHeaders(const std::string& finish) {
  return {std::string(kHeader1), std::string(kHeader2), finish};
}

std::string FinishLine(int k, const std::vector<double>& x) {
  std::string line = "sta 400 K= " + std::to_string(k);
  for (std::size_t i = 0; i < x.size(); ++i) {
    line += ";X(" + std::to_string(i + 1) + ")= " + eval::NumberText(x[i]);
  }
  return line;
}

// f_i = x_i - c_i: g is a round paraboloid, so one interpolation step along
// the exact gradient lands on c up to rounding.
std::vector<Function> Shifted(std::vector<double> c) {
  std::vector<Function> f;
  for (std::size_t i = 0; i < c.size(); ++i) {
    f.push_back([i, c](std::span<const double> x) { return x[i] - c[i]; });
  }
  return f;
}

struct ConfirmRow {
  std::string confirm;
  std::int16_t nEq;
  std::string finish;
};

TEST(SteepestDescentConfirm, DeclinedPrintsOnlyTheFinishLineWithZeros) {
  const std::vector<ConfirmRow> rows = {
      {"n", 3, "sta 400 K= 0;X(1)= 0;X(2)= 0;X(3)= 0"},
      {"", 3, "sta 400 K= 0;X(1)= 0;X(2)= 0;X(3)= 0"},
      {"yes", 3, "sta 400 K= 0;X(1)= 0;X(2)= 0;X(3)= 0"},
      {"n", 2, "sta 400 K= 0;X(1)= 0;X(2)= 0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("confirm '" + row.confirm + "' nEq " + std::to_string(row.nEq));
    RecordingEquations eq(Shifted({1, 2, 3}));
    eval::RecordingUi ui;
    const std::vector<double> x = {5, 6, 7};
    std::vector<double> xOut = {9, 9, 9, 9};
    EXPECT_EQ(SteepestDescent(ui, row.confirm, row.nEq, eq, x, 30, kTol, xOut),
              DescentOutcome::NotConfirmed);
    EXPECT_EQ(ui.messages, Lines{"The program will end so that the functions can be created "});
    EXPECT_EQ(ui.log, Lines{row.finish});
    EXPECT_EQ(xOut, std::vector<double>(std::size_t(row.nEq), 0.0));
    EXPECT_TRUE(eq.calls.empty());
  }
}

TEST(SteepestDescentConfirm, CapitalYRunsLikeSmallY) {
  for (const std::string confirm : {"y", "Y"}) {
    SCOPED_TRACE(confirm);
    NativeEquations eq(Shifted({1, 2, 3}));
    eval::RecordingUi ui;
    const std::vector<double> x = {0, 0, 0};
    std::vector<double> xOut;
    EXPECT_EQ(SteepestDescent(ui, confirm, 3, eq, x, 30, kTol, xOut), DescentOutcome::Converged);
    EXPECT_EQ(ui.log.size(), 3u);
  }
}

TEST(SteepestDescentOutcomes, ZeroGradientAtAnExactSolution) {
  NativeEquations eq(Shifted({1, 2, -0.5}));
  eval::RecordingUi ui;
  const std::vector<double> x = {1, 2, -0.5};
  std::vector<double> xOut;
  EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 30, kTol, xOut), DescentOutcome::ZeroGradient);
  EXPECT_EQ(ui.messages, Lines{"ZERO GRADIENT: MAY HAVE MIN"});
  EXPECT_EQ(ui.log, WithHeaders("sta 400 K= 1;X(1)= 1;X(2)= 2;X(3)= -0.5"));
  EXPECT_EQ(xOut, x);
}

TEST(SteepestDescentOutcomes, ConvergesOnARoundBowlWithoutHalving) {
  // From 0 toward c = (1, 2, 3): g(0 - 1*z) = (|c| - 1)^2 < |c|^2 = g(0), so
  // no halving; the bracket is 0, 0.5, 1 and the trial points lie on the
  // segment from 0 toward c at those distances.
  const std::vector<double> c = {1, 2, 3};
  RecordingEquations eq(Shifted(c));
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut;
  EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 30, kTol, xOut), DescentOutcome::Converged);
  EXPECT_EQ(ui.messages, Lines{"PROCEDURE COMPLETED SUCCESSFULLY"});
  EXPECT_EQ(ui.log, WithHeaders(FinishLine(1, xOut)));

  // 3 values, 9 derivatives of 2 evaluations, then 3 trial points of 3.
  ASSERT_EQ(eq.calls.size(), 3u + 18 + 9);
  const double length = std::sqrt(14.0);
  // Each forward difference is off by about eps * |f| / h, below 1E-9 here,
  // and so is the unit direction built from them.
  constexpr double kDirectionTolerance = 1E-8;
  const double expectedAlpha[] = {1, 0.5};
  for (int t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    const auto& point = eq.calls[21 + 3 * t].point;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(point[i], expectedAlpha[t] * c[i] / length, kDirectionTolerance);
    }
  }
  // The interpolated step of a parabola is exact; the direction's error,
  // times the distance travelled, is what remains.
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(xOut[i], c[i], length * kDirectionTolerance);
  EXPECT_EQ(x, (std::vector<double>{0, 0, 0}));
}

TEST(SteepestDescentOutcomes, HalvesUntilTheTrialValueDrops) {
  // c close to the start: a whole unit step overshoots (g rises), half a
  // step does not, so the bracket is 0, 0.25, 0.5.
  const std::vector<double> c = {0.1, 0.2, 0.3};
  RecordingEquations eq(Shifted(c));
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut;
  SteepestDescent(ui, "y", 3, eq, x, 1, kTol, xOut);
  ASSERT_GE(eq.calls.size(), 21u + 12);
  const double length = std::sqrt(0.14);
  const double expectedAlpha[] = {1, 0.5, 0.25};
  constexpr double kDirectionTolerance = 1E-8;  // as in the test above
  for (int t = 0; t < 3; ++t) {
    SCOPED_TRACE(t);
    const auto& point = eq.calls[21 + 3 * t].point;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(point[i], expectedAlpha[t] * c[i] / length, kDirectionTolerance);
    }
  }
}

TEST(SteepestDescentOutcomes, OneIterationAllowedEndsWithKTwo) {
  // A curved system that one step does not solve.
  NativeEquations eq({[](auto x) { return x[0] * x[0] + x[1] - 11; },
                      [](auto x) { return x[0] + x[1] * x[1] - 7; },
                      [](auto x) { return x[2] * x[2] * x[2] - 1; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut;
  EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 1, kTol, xOut), DescentOutcome::IterationLimit);
  EXPECT_EQ(ui.messages, Lines{"MAXIMUM ITERATIONS EXCEEDED"});
  ASSERT_EQ(xOut.size(), 3u);
  EXPECT_NE(xOut, x);
  EXPECT_EQ(ui.log, WithHeaders(FinishLine(2, xOut)));
}

TEST(SteepestDescentOutcomes, HalvingExhaustedAtAMinimumAboveZero) {
  // g = (x1^2 + 1)^2 + x2^2 + x3^2 has its minimum 1 at the origin; the
  // forward difference still sees a slope in x1, but no step along it gets
  // below 1: 66 halvings are tried, the 67th gives up.
  RecordingEquations eq({[](auto x) { return x[0] * x[0] + 1; }, [](auto x) { return x[1]; },
                         [](auto x) { return x[2]; }});
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut;
  EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 30, kTol, xOut),
            DescentOutcome::NoLikelyImprovement);
  EXPECT_EQ(ui.messages, Lines{"NO LIKELY IMPROVEMENT: MAY HAVE MIN"});
  EXPECT_EQ(ui.log, WithHeaders("sta 400 K= 1;X(1)= 0;X(2)= 0;X(3)= 0"));
  EXPECT_EQ(eq.calls.size(), 3u + 18 + 3 * (1 + 66));
  EXPECT_EQ(eq.calls.back().point[0], -std::ldexp(1.0, -66));
  EXPECT_EQ(xOut, x);
}

TEST(SteepestDescentOutcomes, NotANumberTrialValuesAreNoImprovement) {
  // f1 = x1 - 1 has no value (NaN) from x1 = `edge` on; the trial points lie
  // at x1 = alpha. A NaN trial value once ended the halving, and the step was
  // then chosen from a bracket that was never checked (found from outside).
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    const char* what;
    double edge;
    DescentOutcome outcome;
    const char* message;
    std::vector<double> xOut;
  };
  const Row rows[] = {
      // Halving reaches alpha = 0.125, below the edge. The vertex (alpha 1)
      // has no value, so the bracket's best point is taken.
      {"edge 0.25", 0.25, DescentOutcome::IterationLimit, "MAXIMUM ITERATIONS EXCEEDED",
       {0.125, 0, 0}},
      {"no value off the start", 0, DescentOutcome::NoLikelyImprovement,
       "NO LIKELY IMPROVEMENT: MAY HAVE MIN", {0, 0, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const double edge = row.edge;
    // Defined at the start and at the derivative's perturbed point too.
    auto f1 = [nan, edge](auto x) { return x[0] < edge || x[0] == 0 || x[0] == 1E-6 ? x[0] - 1 : nan; };
    NativeEquations eq({f1,
                        [](auto x) { return x[1]; }, [](auto x) { return x[2]; }});
    eval::RecordingUi ui;
    const std::vector<double> x = {0, 0, 0};
    std::vector<double> xOut;
    EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 1, kTol, xOut), row.outcome);
    EXPECT_EQ(ui.messages, Lines{row.message});
    const int k = row.outcome == DescentOutcome::IterationLimit ? 2 : 1;
    EXPECT_EQ(ui.log, WithHeaders(FinishLine(k, row.xOut)));
    EXPECT_EQ(xOut, row.xOut);
  }
}

// g along the direction takes the values the table gives (by x1 only), so
// the interpolation sees chosen numbers. The gradient points to +x1, the
// trial points lie at x1 = -alpha.
std::vector<Function> Staged(double atHalf, double atOne, double elsewhere) {
  return {[=](auto x) {
            if (x[0] == 0) return 5.0;
            if (x[0] > 0) return 6.0;
            if (x[0] == -0.5) return atHalf;
            if (x[0] == -1) return atOne;
            return elsewhere;
          },
          [](auto) { return 0.0; }, [](auto) { return 0.0; }};
}

TEST(SteepestDescentInterpolation, StraightLineBracketChoosesTheFarPoint) {
  // g = 25, 17 (4^2 + 1^2), 9 at steps 0, 0.5, 1: the three values lie on a
  // line, so there is no vertex; the best bracket point, 1, is taken and
  // nothing is evaluated at the vertex.
  std::vector<Function> f = Staged(4, 3, 100);
  f[1] = [](auto x) { return x[0] == -0.5 ? 1.0 : 0.0; };
  RecordingEquations eq(f);
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut;
  EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 1, kTol, xOut), DescentOutcome::IterationLimit);
  EXPECT_EQ(ui.log, WithHeaders("sta 400 K= 2;X(1)= -1;X(2)= 0;X(3)= 0"));
  EXPECT_EQ(eq.calls.size(), 3u + 18 + 3 + 3);
}

struct ToleranceRow {
  double tol;
  DescentOutcome expected;
};

TEST(SteepestDescentInterpolation, AcceptedValueEqualToTolDoesNotStop) {
  // g = 25, 9, 0.25 at steps 0, 0.5, 1; the vertex (about 1.35) has g = 9,
  // so the step 1 with g* = 0.25 is taken, 24.75 away from g1.
  const std::vector<ToleranceRow> rows = {{0.25, DescentOutcome::IterationLimit},
                                          {0.2500001, DescentOutcome::Converged}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.tol);
    NativeEquations eq(Staged(3, 0.5, 3));
    eval::RecordingUi ui;
    const std::vector<double> x = {0, 0, 0};
    std::vector<double> xOut;
    EXPECT_EQ(SteepestDescent(ui, "y", 3, eq, x, 1, row.tol, xOut), row.expected);
    EXPECT_EQ(xOut, (std::vector<double>{-1, 0, 0}));
  }
}

TEST(SteepestDescentUnknowns, FinishLineNamesEveryUnknown) {
  for (int n = 2; n <= 6; ++n) {
    SCOPED_TRACE(n);
    std::vector<double> c;
    for (int i = 1; i <= n; ++i) c.push_back(0.5 * i);
    NativeEquations eq(Shifted(c));
    eval::RecordingUi ui;
    const std::vector<double> x = c;  // an exact solution: zero gradient
    std::vector<double> xOut;
    EXPECT_EQ(SteepestDescent(ui, "y", std::int16_t(n), eq, x, 30, kTol, xOut),
              DescentOutcome::ZeroGradient);
    EXPECT_EQ(ui.log, WithHeaders(FinishLine(1, c)));
    EXPECT_EQ(xOut, c);

    NativeEquations fromOrigin(Shifted(c));
    eval::RecordingUi ui2;
    const std::vector<double> origin(std::size_t(n), 0.0);
    EXPECT_EQ(SteepestDescent(ui2, "y", std::int16_t(n), fromOrigin, origin, 30, kTol, xOut),
              DescentOutcome::Converged);
    EXPECT_EQ(xOut.size(), std::size_t(n));
  }
}

struct ParameterRow {
  std::int16_t nEq;
  double tol;
  std::int16_t nIteration;
  std::string message;
};

TEST(SteepestDescentParameters, FirstFailingCheckShowsItsMessageOnceAndReturns) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<ParameterRow> rows = {
      {1, kTol, 30, "Neq must be greater than 1."},
      {0, -1, 0, "Neq must be greater than 1."},
      {-2, kTol, 30, "Neq must be greater than 1."},
      {3, 0, 30, "Tolerance must be positive "},
      {3, nan, 0, "Tolerance must be positive "},
      {3, kTol, 0, "Niteration Must be positive integer "},
      {3, kTol, -5, "Niteration Must be positive integer "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message + " nEq=" + std::to_string(row.nEq));
    RecordingEquations eq(Shifted({1, 2, 3}));
    eval::RecordingUi ui;
    const std::vector<double> x = {0, 0, 0};
    std::vector<double> xOut = {7};
    EXPECT_EQ(SteepestDescent(ui, "y", row.nEq, eq, x, row.nIteration, row.tol, xOut),
              DescentOutcome::InvalidParameter);
    EXPECT_EQ(ui.messages, Lines{row.message});
    EXPECT_TRUE(ui.log.empty());
    EXPECT_TRUE(eq.calls.empty());
    EXPECT_EQ(xOut, std::vector<double>{7});
  }
}

TEST(SteepestDescentParameters, FewerEquationsThanUnknownsIsReported) {
  NativeEquations eq(Shifted({1, 2}));
  eval::RecordingUi ui;
  const std::vector<double> x = {0, 0, 0};
  std::vector<double> xOut;
  EXPECT_THROW(SteepestDescent(ui, "y", 3, eq, x, 30, kTol, xOut), eval::ScriptError);
}

TEST(SteepestDescentHostile, OverflowNaNAndFlatSystemsEndWithOneOutcome) {
  struct Row {
    std::string name;
    std::vector<Function> f;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Row> rows = {
      {"overflowing squares", {[](auto x) { return 1E200 * (x[0] + 1); },
                               [](auto x) { return 1E200 * x[1]; }, [](auto x) { return x[2]; }}},
      {"overflowing gradient", {[](auto x) { return x[0] > 0 ? 1E308 : -1E308; },
                                [](auto x) { return x[1]; }, [](auto x) { return x[2]; }}},
      {"not a number", {[nan](auto) { return nan; }, [](auto x) { return x[1]; },
                        [](auto x) { return x[2] - 1; }}},
      {"flat", {[](auto) { return 1.0; }, [](auto) { return 2.0; }, [](auto) { return 3.0; }}},
      {"steep exponential", {[](auto x) { return std::exp(700 * x[0]); },
                             [](auto x) { return std::exp(-700 * x[1]); },
                             [](auto x) { return x[2] * x[2] * x[2] * x[2]; }}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    NativeEquations eq(row.f);
    eval::RecordingUi ui;
    const std::vector<double> x = {0.5, -0.5, 2};
    std::vector<double> xOut;
    SteepestDescent(ui, "y", 3, eq, x, 30, kTol, xOut);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.log.size(), 3u);
    ASSERT_EQ(xOut.size(), 3u);
    for (double v : xOut) EXPECT_TRUE(std::isfinite(v));
  }
}

}  // namespace
}  // namespace solvers
