// The sparse method and bounds on the unknowns, on systems whose answers are
// known exactly: roots on either side of a bound, least-squares minima on a
// bound that are never called roots, a start outside the bounds, auto's
// choice of method, and the sparse check of a point against the dense one.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/CompiledResiduals.h"
#include "robust/Minpack.h"
#include "robust/Robust.h"
#include "robust/Sparse.h"
#include "robust/Verdict.h"

namespace {

using robust::Method;
using robust::Verdict;

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Compiled {
  Compiled(const std::vector<std::string>& equations, const std::vector<std::string>& names)
      : system(equations, names, std::make_shared<eval::ClsMath>()), residuals(system) {}
  eval::SilentUi ui;
  eval::CompiledSystem system;
  robust::CompiledResiduals residuals;
};

std::vector<std::string> Names(int n) {
  std::vector<std::string> names;
  for (int i = 1; i <= n; ++i) names.push_back("x" + std::to_string(i));
  return names;
}

// Broyden's tridiagonal system: each equation uses three unknowns.
std::vector<std::string> Tridiagonal(int n) {
  std::vector<std::string> equations;
  for (int i = 1; i <= n; ++i) {
    std::string e = "(3 - 2*x" + std::to_string(i) + ")*x" + std::to_string(i) + " + 1";
    if (i > 1) e += " - x" + std::to_string(i - 1);
    if (i < n) e += " - 2*x" + std::to_string(i + 1);
    equations.push_back(e);
  }
  return equations;
}

TEST(SparseSolve, FindsTheRootTheDenseMethodsFind) {
  const int n = 60;
  Compiled c(Tridiagonal(n), Names(n));
  robust::Options options;
  options.method = Method::Sparse;
  const std::vector<double> start(n, -1.0);
  const robust::Report sparse = robust::Solve(options, c.residuals, start);
  options.method = Method::Hybrid;
  const robust::Report hybrid = robust::Solve(options, c.residuals, start);
  ASSERT_EQ(sparse.verdict, Verdict::Root) << robust::Summary(sparse);
  ASSERT_EQ(hybrid.verdict, Verdict::Root);
  EXPECT_EQ(sparse.method, Method::Sparse);
  for (int j = 0; j < n; ++j) EXPECT_NEAR(sparse.x[j], hybrid.x[j], 1E-13 * (1 + std::abs(hybrid.x[j])));
  // The condition comes from the sparse LU, the dense one's from its own: both Hager's estimate.
  EXPECT_NEAR(sparse.conditionEstimate / hybrid.conditionEstimate, 1.0, 0.05);
  EXPECT_TRUE(sparse.onBound.empty());
}

struct BoundsRow {
  std::string name;
  std::vector<std::string> equations;
  std::vector<double> start;
  std::vector<robust::Bounds> bounds;
  Method method;
  Verdict verdict;
  std::vector<double> x;                    // the exact answer
  std::vector<robust::BoundContact> onBound;
  bool movedInside;
};

TEST(SparseSolve, BoundsChooseTheRootAndNeverCallAMinimumOnThemARoot) {
  const std::vector<BoundsRow> rows = {
      {"the root above the bound", {"x1^2 - 1"}, {-5}, {{0, kInf}}, Method::Sparse, Verdict::Root, {1}, {}, true},
      {"the root below it", {"x1^2 - 1"}, {5}, {{-kInf, 0}}, Method::Auto, Verdict::Root, {-1}, {}, true},
      // hybrid has no bounds: the sparse method takes the system.
      {"a minimum on the lower bound", {"x1 + 1"}, {5}, {{0, kInf}}, Method::Hybrid, Verdict::LeastSquaresMinimum,
       {0}, {{0, false, 0}}, false},
      // x1 pressed to its upper bound; x2 still free, solved to match it.
      {"one unknown held, the other free",
       {"x1^2 - 2", "x2 - x1"}, {0.5, 0.5}, {{0, 1}, {0, 5}}, Method::Sparse, Verdict::LeastSquaresMinimum,
       {1, 1}, {{0, true, 1}}, false},
      // Undefined below the bound: the bounds keep every trial point where it is defined.
      {"a domain kept by the bounds", {"Sqr(x1) - 2"}, {-1}, {{0, kInf}}, Method::Sparse, Verdict::Root, {4}, {}, true},
  };
  for (const BoundsRow& row : rows) {
    SCOPED_TRACE(row.name);
    Compiled c(row.equations, Names(static_cast<int>(row.start.size())));
    robust::Options options;
    options.method = row.method;
    options.bounds = row.bounds;
    const robust::Report report = robust::Solve(options, c.residuals, row.start);
    EXPECT_EQ(report.verdict, row.verdict) << robust::Summary(report);
    EXPECT_EQ(report.method, Method::Sparse);
    ASSERT_EQ(report.x.size(), row.x.size());
    for (std::size_t j = 0; j < row.x.size(); ++j) EXPECT_NEAR(report.x[j], row.x[j], 1E-9);
    ASSERT_EQ(report.onBound.size(), row.onBound.size());
    for (std::size_t k = 0; k < row.onBound.size(); ++k) {
      EXPECT_EQ(report.onBound[k].unknown, row.onBound[k].unknown);
      EXPECT_EQ(report.onBound[k].upper, row.onBound[k].upper);
      EXPECT_EQ(report.onBound[k].bound, row.onBound[k].bound);
    }
    EXPECT_EQ(report.startMovedInside, row.movedInside);
    if (!row.onBound.empty()) {
      EXPECT_NE(robust::Summary(report).find("on the bounds"), std::string::npos);
    }
  }
}

TEST(SparseSolve, AutoChoosesTheSparseMethodForLargeSparseOrBoundedSystems) {
  struct Row {
    int n;
    std::size_t nonzeros;
    bool bounded;
    Method expected;
  };
  const robust::Options defaults;
  const std::vector<Row> rows = {
      {3, 9, false, Method::Auto},
      {10, 28, false, Method::Auto},  // small: the dense methods keep it
      {11, 30, false, Method::Sparse},  // 4 x 30 <= 121
      {20, 400, false, Method::Auto},  // dense
      {defaults.sparseFromUnknowns + 1, static_cast<std::size_t>(defaults.sparseFromUnknowns + 1) *
                                            (defaults.sparseFromUnknowns + 1), false, Method::Sparse},
      {2, 4, true, Method::Sparse},
  };
  for (const Row& row : rows) {
    robust::SparsityPattern pattern;
    pattern.columns.resize(row.nonzeros);
    robust::Options options;
    if (row.bounded) options.bounds.assign(static_cast<std::size_t>(row.n), {0, 1});
    EXPECT_EQ(robust::ChooseMethod(options, row.n, &pattern), row.expected) << row.n << " " << row.nonzeros;
  }
}

TEST(SparseSolve, AnEquationThatCannotBeEvaluatedAtTheStartIsAStartFailure) {
  Compiled c({"Log(x1) - 1", "x2 - 2"}, Names(2));
  robust::Options options;
  options.method = Method::Sparse;
  const robust::Report report = robust::Solve(options, c.residuals, std::vector<double>{-1, 0});
  EXPECT_EQ(report.verdict, Verdict::EvaluationFailure);
  EXPECT_EQ(report.stopReason, robust::StopReason::StartFailure);
  EXPECT_EQ(report.failedEquation, 0);
}

// The sparse check of one point says what the dense one says.
TEST(SparseSolve, TheSparseCheckAgreesWithTheDenseOne) {
  struct Row {
    std::vector<std::string> equations;
    std::vector<double> x;
  };
  const std::vector<Row> rows = {
      {{"x1^2 - 2", "x1*x2 - 1"}, {std::sqrt(2.0), 1 / std::sqrt(2.0)}},  // a root
      {{"x1^2 + 1", "x2 - 3"}, {0, 3}},                                 // a least-squares minimum
      {{"(x1 - 1)^2", "x2 - 1"}, {1.001, 1}},                           // near a double root
  };
  for (const Row& row : rows) {
    Compiled c(row.equations, Names(2));
    robust::detail::Budget budget(1000, 10);
    std::vector<double> dense = row.x, sparse = row.x;
    const robust::detail::PointCheck a = robust::detail::CheckPoint(c.residuals, dense, budget);
    const robust::detail::PointCheck b =
        robust::detail::CheckPointSparse(c.residuals, sparse, budget, {}, {}, robust::Options{}.factorBudgetBytes,
                                         robust::Options{}.factorBudgetFlops);
    EXPECT_EQ(a.root, b.root) << row.equations.front();
    EXPECT_EQ(a.rootCheck.test, b.rootCheck.test);
    EXPECT_DOUBLE_EQ(a.maxAbs, b.maxAbs);
    EXPECT_NEAR(a.gradientCosine, b.gradientCosine, 1E-12);
    if (std::isinf(a.condition)) {
      EXPECT_TRUE(std::isinf(b.condition));
    } else {
      EXPECT_NEAR(a.condition / b.condition, 1.0, 0.05);
    }
  }
}

}  // namespace
