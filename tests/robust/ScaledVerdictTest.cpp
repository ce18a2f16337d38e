// The scale-aware verdict where it decides: Solve, FindRoots and the check
// of one point, on systems written as text (so the rounding-error bounds are
// the compiled equations'), every equation multiplied by 1, 1E-12 and 1E+8.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "robust/CompiledResiduals.h"
#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/Roots.h"
#include "robust/Verdict.h"

namespace {

using robust::RootTest;
using robust::Verdict;

const std::vector<std::string> kFactors = {"1", "1E-12", "1E+8"};

// Equations (each multiplied by factor) compiled and seen as Residuals.
class Compiled {
 public:
  Compiled(std::vector<std::string> equations, const std::vector<std::string>& names, const std::string& factor) {
    for (std::string& e : equations) e = factor + "*(" + e + ")";
    system_ = std::make_unique<eval::CompiledSystem>(equations, names, std::make_shared<eval::ClsMath>());
    residuals_ = std::make_unique<robust::CompiledResiduals>(*system_);
  }
  robust::Residuals& Residuals() { return *residuals_; }

 private:
  eval::SilentUi ui_;
  std::unique_ptr<eval::CompiledSystem> system_;
  std::unique_ptr<robust::CompiledResiduals> residuals_;
};

double DistanceInf(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0;
  for (std::size_t j = 0; j < a.size(); ++j) d = std::max(d, std::abs(a[j] - b[j]));
  return d;
}

// A root the methods report lies this close to the exact one (relative):
// the scaled test passes only within a few units in the last place of it
// for these simple roots.
constexpr double kRootAgreement = 1E-13;

struct SolveRow {
  std::string name;
  std::vector<std::string> equations, names;
  std::vector<double> start, root;
  bool root_found;  // auto reaches the root from the start (at every scale alike)
};

TEST(ScaledVerdict, SolveSaysTheSameAtEveryScale) {
  const std::vector<SolveRow> rows = {
      {"issue example", {"x^2 - 2", "y - 1"}, {"x", "y"}, {1, 1}, {std::sqrt(2.0), 1}, true},
      {"rosenbrock", {"10*(y - x^2)", "1 - x"}, {"x", "y"}, {-1.2, 1}, {1, 1}, true},
      {"logarithm and root", {"Log(x) - 1", "Sqr(y) - 2"}, {"x", "y"}, {1, 1}, {std::exp(1.0), 4}, true},
      {"wood",
       {"-200*a*(b - a^2) - (1 - a)", "200*(b - a^2) + 20.2*(b - 1) + 19.8*(d - 1)", "-180*c*(d - c^2) - (1 - c)",
        "180*(d - c^2) + 20.2*(d - 1) + 19.8*(b - 1)"},
       // Reaches another root of the gradient system than the minimum's (1, 1, 1, 1).
       {"a", "b", "c", "d"}, {-3, -1, -3, -1}, {}, true},
      {"double root", {"(x - 1)^2", "y - 1"}, {"x", "y"}, {3, 3}, {1, 1}, true},
      {"no real root", {"x^2 + y^2 + 1", "x - y"}, {"x", "y"}, {1, 2}, {}, false},
  };
  for (const SolveRow& row : rows) {
    for (const std::string& factor : kFactors) {
      SCOPED_TRACE(row.name + " times " + factor);
      Compiled compiled(row.equations, row.names, factor);
      robust::Options options;
      const robust::Report report = robust::Solve(options, compiled.Residuals(), row.start);
      EXPECT_EQ(report.verdict == Verdict::Root, row.root_found) << robust::Summary(report);
      EXPECT_EQ(report.rootCheck.test, RootTest::Scaled);
      ASSERT_EQ(report.rootCheck.residualBounds.size(), row.equations.size());
      EXPECT_EQ(report.rootCheck.worstRatio <= 1, report.verdict == Verdict::Root);
      if (row.root_found && !row.root.empty()) {
        EXPECT_LE(DistanceInf(report.x, row.root), kRootAgreement * 4) << report.x[0];
        // auto stops at the first start whose answer passes.
        EXPECT_EQ(report.startsTried, 1);
      }
    }
  }
}

TEST(ScaledVerdict, FtolKeepsTheAbsoluteTest) {
  // 1E-12*(x^2-2) is below 1E-10 at x = 1.4142: a root by --ftol's test, not by the scaled one.
  Compiled compiled({"x^2 - 2"}, {"x"}, "1E-12");
  std::vector<double> x = {1.4142};
  robust::detail::Budget budget(100, 10);
  robust::detail::CheckOptions absolute;
  absolute.ftol = 1E-10;
  const robust::detail::PointCheck byFtol = robust::detail::CheckPoint(compiled.Residuals(), x, budget, absolute);
  EXPECT_TRUE(byFtol.root);
  EXPECT_EQ(byFtol.rootCheck.test, RootTest::Absolute);
  EXPECT_EQ(byFtol.rootCheck.residualBounds, std::vector<double>{1E-10});
  const robust::detail::PointCheck scaled = robust::detail::CheckPoint(compiled.Residuals(), x, budget, {});
  EXPECT_FALSE(scaled.root);
  EXPECT_EQ(scaled.rootCheck.test, RootTest::Scaled);
  EXPECT_GT(scaled.rootCheck.worstRatio, 1E6);
}

// One unit in the last place off an exact root passes, a few hundred fail,
// at every scale; nothing moves the point (no polishing here).
TEST(ScaledVerdict, UnitsInTheLastPlace) {
  struct Row {
    std::string name;
    std::vector<std::string> equations, names;
    std::vector<double> root;  // the doubles nearest an exact root
  };
  const std::vector<Row> rows = {
      {"sqrt 2", {"x^2 - 2", "y - 1"}, {"x", "y"}, {std::sqrt(2.0), 1}},
      {"circle and line", {"x^2 + y^2 - 8", "x - y"}, {"x", "y"}, {2, 2}},
      {"exponential", {"Exp(x) - 3", "x*y - 1"}, {"x", "y"}, {std::log(3.0), 1 / std::log(3.0)}},
  };
  auto ulps = [](double v, int k) { return v + k * std::abs(v) * 0x1p-52; };
  for (const Row& row : rows) {
    for (const std::string& factor : kFactors) {
      SCOPED_TRACE(row.name + " times " + factor);
      Compiled compiled(row.equations, row.names, factor);
      robust::detail::Budget budget(100, 10);
      for (const auto& [k, passes] : std::vector<std::pair<int, bool>>{{0, true}, {1, true}, {-1, true}, {300, false}, {-300, false}}) {
        std::vector<double> x = row.root;
        x[0] = ulps(x[0], k);
        const std::vector<double> before = x;
        const robust::detail::PointCheck check = robust::detail::CheckPoint(compiled.Residuals(), x, budget, {});
        EXPECT_EQ(check.root, passes) << k << " ulps, ratio " << check.rootCheck.worstRatio;
        EXPECT_EQ(x, before);
      }
    }
  }
}

TEST(ScaledVerdict, ConditionShowsAMultipleRoot) {
  struct Row {
    std::string name;
    std::vector<std::string> equations;
    std::vector<double> x;
    double atLeast, below;
  };
  const std::vector<Row> rows = {
      {"simple root", {"x^2 - 2", "y - 1"}, {std::sqrt(2.0), 1}, 1, 100},
      // Unknowns larger than 1 keep their units out of the estimate.
      {"gigametres", {"1E-9*x - 1", "y - 1"}, {1E9, 1}, 1, 10},
      {"double root, 1E-8 off", {"(x - 1)^2", "y - 1"}, {1 + 1E-8, 1}, 1E7, INFINITY},
      {"double root, one unit off", {"(x - 1)^2", "y - 1"}, {1 + 0x1p-52, 1}, 1E14, INFINITY},
      {"double root exactly", {"(x - 1)^2", "y - 1"}, {1, 1}, INFINITY, INFINITY},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Compiled compiled(row.equations, {"x", "y"}, "1E-12");
    std::vector<double> x = row.x;
    robust::detail::Budget budget(100, 10);
    const robust::detail::PointCheck check = robust::detail::CheckPoint(compiled.Residuals(), x, budget, {});
    EXPECT_GE(check.condition, row.atLeast);
    if (std::isfinite(row.below)) {
      EXPECT_LT(check.condition, row.below);
    }
  }
}

struct RootsRow {
  std::string name;
  std::vector<std::string> equations, names;
  std::vector<std::vector<double>> roots;  // every root in the box, sorted
};

TEST(ScaledVerdict, FindRootsFindsTheSameRootsAtEveryScale) {
  const double r2 = std::sqrt(2.0);
  const std::vector<RootsRow> rows = {
      {"issue example", {"x^2 - 2", "y - 1"}, {"x", "y"}, {{-r2, 1}, {r2, 1}}},
      {"four corners", {"x^2 - 1", "y^2 - 1"}, {"x", "y"}, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}}},
      {"circle and line", {"x^2 + y^2 - 8", "x - y"}, {"x", "y"}, {{-2, -2}, {2, 2}}},
      {"no real root", {"x^2 + y^2 + 1", "x - y"}, {"x", "y"}, {}},
  };
  for (const RootsRow& row : rows) {
    for (const std::string& factor : kFactors) {
      SCOPED_TRACE(row.name + " times " + factor);
      Compiled compiled(row.equations, row.names, factor);
      robust::RootsOptions options;
      options.box.assign(row.names.size(), {-3, 3});
      const robust::RootsReport report = robust::FindRoots(options, compiled.Residuals());
      EXPECT_TRUE(report.outsideBox.empty());
      ASSERT_EQ(report.roots.size(), row.roots.size());
      for (std::size_t k = 0; k < row.roots.size(); ++k) {
        const robust::FoundRoot& root = report.roots[k];
        EXPECT_LE(DistanceInf(root.x, row.roots[k]), kRootAgreement * 4) << "root " << k;
        EXPECT_EQ(root.rootCheck.test, RootTest::Scaled);
        EXPECT_LE(root.rootCheck.worstRatio, 1);
        EXPECT_FALSE(root.nearSingular);
      }
    }
  }
}

TEST(ScaledVerdict, FindRootsSaysADoubleRootIsNearSingular) {
  Compiled compiled({"(x - 1)^2", "y - 1"}, {"x", "y"}, "1");
  robust::RootsOptions options;
  options.box = {{-3, 3}, {-3, 3}};
  const robust::RootsReport report = robust::FindRoots(options, compiled.Residuals());
  ASSERT_EQ(report.roots.size(), 1u);
  EXPECT_LE(DistanceInf(report.roots[0].x, {1, 1}), 1E-8);
  EXPECT_TRUE(report.roots[0].nearSingular) << report.roots[0].condition;
}

TEST(UnseenRoots, ChaoAndGoodTuring) {
  struct Row {
    std::vector<int> starts;
    double roots, probability;
  };
  const std::vector<Row> rows = {
      {{}, 0, 0},
      {{20, 30}, 0, 0},
      {{1}, 0, 1},          // bias-corrected f1 (f1 - 1) / 2
      {{1, 1, 1, 9}, 3, 0.25},
      {{1, 1, 2, 4}, 2, 0.25},  // f1^2 / (2 f2)
      {{1, 2, 2, 3}, 0.25, 0.125},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.starts));
    const robust::UnseenEstimate estimate = robust::EstimateUnseen(row.starts);
    EXPECT_DOUBLE_EQ(estimate.roots, row.roots);
    EXPECT_DOUBLE_EQ(estimate.newRootProbability, row.probability);
  }
}

// Many roots, each reached by few starts: the search goes on until the
// evidence says none is likely unseen, or the round cap stops it.
TEST(UnseenRoots, SearchStopsOnEvidence) {
  Compiled compiled({"Sin(x)", "Sin(y)"}, {"x", "y"}, "1");
  robust::RootsOptions options;
  options.box = {{-10, 10}, {-10, 10}};
  const robust::RootsReport report = robust::FindRoots(options, compiled.Residuals());
  std::vector<int> starts;
  for (const robust::FoundRoot& root : report.roots) starts.push_back(root.starts);
  const robust::UnseenEstimate estimate = robust::EstimateUnseen(starts);
  EXPECT_DOUBLE_EQ(report.unseenEstimate.roots, estimate.roots);
  EXPECT_EQ(report.unseenEstimate.startsAtRoots, estimate.startsAtRoots);
  const bool capped = report.startsDone >= 16 * robust::DefaultStarts(2);
  EXPECT_TRUE(capped || report.unseenEstimate.roots < robust::kUnseenToGoOn) << report.startsDone;
  EXPECT_FALSE(report.budgetReached);
  EXPECT_EQ(report.roots.size(), 49u);  // k pi, k = -3..3, in each unknown
}

}  // namespace
