#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SolverTestSupport.h"
#include "eval/ScriptError.h"
#include "solvers/Solvers.h"

namespace solvers {
namespace {

using testing::RecordingEquations;
using Function = NativeEquations::Function;

constexpr double kStep = 1E-6;

// A forward difference of f at x with step h is off from f'(x) by about
// h/2 * |f''| (truncation) plus about 4 * eps * |f| / h (the rounding of the
// two values and of their difference, magnified by 1/h).
double DifferenceTolerance(double secondDerivativeBound, double valueBound) {
  return 0.5 * kStep * secondDerivativeBound +
         4 * std::numeric_limits<double>::epsilon() * valueBound / kStep;
}

TEST(PartialDerivativeForward, SquareAddsTheStep) {
  // x1^2 - 2*x2 - 2 at (1, 1): (1 + h)^2 - 1 over h is 2 + h.
  NativeEquations eq({[](std::span<const double> x) { return x[0] * x[0] - 2 * x[1] - 2; }});
  const std::vector<double> point = {1, 1};
  const double tolerance = DifferenceTolerance(0, 3);
  EXPECT_NEAR(PartialDerivative(eq, 1, point, 1), 2.000001, tolerance);
  EXPECT_NEAR(PartialDerivative(eq, 1, point, 2), -2, tolerance);
}

struct AnalyticRow {
  std::string name;
  Function f;
  std::function<double(const std::vector<double>&)> derivative;  // by unknown j
  int j;
  std::vector<double> point;
  double secondDerivativeBound;  // |d2f/dxj2| near the point
  double valueBound;             // |f| near the point
};

TEST(PartialDerivativeForward, AgreesWithAnalyticDerivatives) {
  const std::vector<AnalyticRow> rows = {
      {"sin by x1", [](auto x) { return std::sin(x[0]) + x[1]; },
       [](const auto& x) { return std::cos(x[0]); }, 1, {0.7, 3}, 1, 4},
      {"exp by x2", [](auto x) { return std::exp(x[1]) - x[0]; },
       [](const auto& x) { return std::exp(x[1]); }, 2, {-1, 1.5}, 5, 6},
      {"product by x3", [](auto x) { return x[0] * x[1] * x[2]; },
       [](const auto& x) { return x[0] * x[1]; }, 3, {2, -3, 0.25}, 0, 2},
      {"cube by x1 at a negative point", [](auto x) { return x[0] * x[0] * x[0]; },
       [](const auto& x) { return 3 * x[0] * x[0]; }, 1, {-2}, 13, 9},
      {"cosine product by x2", [](auto x) { return std::cos(x[1] * x[2]); },
       [](const auto& x) { return -x[2] * std::sin(x[1] * x[2]); }, 2, {0, 0.5, 2}, 4, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    NativeEquations eq({row.f});
    EXPECT_NEAR(PartialDerivative(eq, 1, row.point, row.j), row.derivative(row.point),
                DifferenceTolerance(row.secondDerivativeBound, row.valueBound));
  }
}

TEST(PartialDerivativeForward, AbsentUnknownGivesExactlyZero) {
  NativeEquations eq({[](std::span<const double> x) { return std::sin(x[0]) * 3.7 - x[2]; }});
  const std::vector<double> point = {0.3, 12.5, -4};
  EXPECT_EQ(PartialDerivative(eq, 1, point, 2), 0.0);
}

TEST(PartialDerivativeForward, HugeCoordinateSwallowsTheStep) {
  NativeEquations eq({[](std::span<const double> x) { return x[0] * 2 + 1; }});
  const std::vector<double> point = {1E12};
  EXPECT_EQ(PartialDerivative(eq, 1, point, 1), 0.0);
}

TEST(PartialDerivativeEvaluations, TwoCallsUnperturbedFirstOnACopy) {
  RecordingEquations eq({[](auto x) { return x[0]; }, [](auto x) { return x[0] + x[1] + x[2]; }});
  const std::vector<double> point = {1.5, -2, 0.25};
  const std::vector<double> before = point;
  PartialDerivative(eq, 2, point, 3);

  ASSERT_EQ(eq.calls.size(), 2u);
  EXPECT_EQ(eq.calls[0].equation, 2);
  EXPECT_EQ(eq.calls[1].equation, 2);
  EXPECT_EQ(eq.calls[0].point, point);
  EXPECT_EQ(eq.calls[1].point, (std::vector<double>{1.5, -2, 0.25 + kStep}));
  EXPECT_EQ(point, before);
}

TEST(PartialDerivativeEvaluations, UnknownIndexOutsideThePointIsReported) {
  NativeEquations eq({[](auto x) { return x[0]; }});
  const std::vector<double> point = {1, 2};
  for (int j : {0, 3, -1}) {
    SCOPED_TRACE(j);
    try {
      PartialDerivative(eq, 1, point, j);
      ADD_FAILURE() << "no failure";
    } catch (const eval::ScriptError& e) {
      EXPECT_EQ(e.Number(), eval::ErrorNumber::SubscriptOutOfRange);
    }
  }
}

TEST(PartialDerivativeHostile, NonFiniteValuesComeBackAsTheyAre) {
  const double inf = std::numeric_limits<double>::infinity();
  NativeEquations overflowing({[](auto x) { return x[0] > 0 ? 1E308 * 10 : -1E308; }});
  NativeEquations notANumber({[](auto x) { return std::sqrt(x[0] - 5); }});
  const std::vector<double> point = {0};
  EXPECT_EQ(PartialDerivative(overflowing, 1, point, 1), inf);
  EXPECT_TRUE(std::isnan(PartialDerivative(notANumber, 1, point, 1)));
}

}  // namespace
}  // namespace solvers
