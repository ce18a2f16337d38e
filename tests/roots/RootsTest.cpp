// The root search on systems whose real roots are known in closed form.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "robust/Deflation.h"
#include "robust/Roots.h"
#include "support/StandardSystems.h"
#include "robust/Verdict.h"

namespace robust {
namespace {

using Box = std::vector<std::pair<double, double>>;

struct SystemRow {
  const char* name;
  int n;
  NativeResiduals::Function function;
  Box box;
  std::vector<std::vector<double>> roots;  // every real root in the box
};

// Circle x1^2 + x2^2 = 4 and the line x1 - c x2 = d.
NativeResiduals::Function CircleAndLine(double c, double d) {
  return [c, d](std::span<const double> x, std::span<double> f, std::span<double> j) {
    f[0] = x[0] * x[0] + x[1] * x[1] - 4;
    f[1] = x[0] - c * x[1] - d;
    if (!j.empty()) {
      j[0] = 2 * x[0], j[1] = 2 * x[1];
      j[2] = 1, j[3] = -c;
    }
  };
}

std::vector<SystemRow> Systems() {
  const double s = std::sqrt(2.0);
  const Box square = {{-10, 10}, {-10, 10}};
  return {
      {"circle and line through it", 2, CircleAndLine(1, 0), square, {{-s, -s}, {s, s}}},
      {"circle and tangent line (double root)", 2, CircleAndLine(0, 2), square, {{2, 0}}},
      {"circle and line apart", 2, CircleAndLine(0, 5), square, {}},
      {"four roots", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = x[0] * x[0] - 1, f[1] = x[1] * x[1] - 1;
         if (!j.empty()) j[0] = 2 * x[0], j[1] = 0, j[2] = 0, j[3] = 2 * x[1];
       },
       square, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}}},
      {"double root at x1 = 1 and a simple one", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = (x[0] - 1) * (x[0] - 1) * (x[0] + 2), f[1] = x[1] - x[0] * x[0];
         if (!j.empty()) {
           j[0] = 2 * (x[0] - 1) * (x[0] + 2) + (x[0] - 1) * (x[0] - 1), j[1] = 0;
           j[2] = -2 * x[0], j[3] = 1;
         }
       },
       square, {{-2, 4}, {1, 1}}},
      {"two roots 0.001 apart stay two", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = (x[0] - 1) * (x[0] - 1.001), f[1] = x[1] - x[0];
         if (!j.empty()) j[0] = 2 * x[0] - 2.001, j[1] = 0, j[2] = -1, j[3] = 1;
       },
       square, {{1, 1}, {1.001, 1.001}}},
      {"no real root", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = x[0] * x[0] + x[1] * x[1] + 1, f[1] = x[0] - x[1];
         if (!j.empty()) j[0] = 2 * x[0], j[1] = 2 * x[1], j[2] = 1, j[3] = -1;
       },
       square, {}},
      {"three unknowns, eight roots", 3,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         for (int i = 0; i < 3; ++i) f[i] = x[i] * x[i] - (i + 1.0);
         if (!j.empty())
           for (int i = 0; i < 9; ++i) j[i] = i % 4 == 0 ? 2 * x[i / 3] : 0;
       },
       {{-3, 3}, {-3, 3}, {-3, 3}}, {}},
  };
}

TEST(Roots, FindsEveryKnownRootAndNoFalseOne) {
  for (SystemRow& row : Systems()) {
    SCOPED_TRACE(row.name);
    if (row.roots.empty() && row.n == 3) {
      for (int k = 0; k < 8; ++k)
        row.roots.push_back({(k & 4 ? 1 : -1) * 1.0, (k & 2 ? 1 : -1) * std::sqrt(2.0), (k & 1 ? 1 : -1) * std::sqrt(3.0)});
    }
    NativeResiduals residuals(row.n, row.function);
    RootsOptions options;
    options.box = row.box;
    const RootsReport report = FindRoots(options, residuals);
    // Rounds of the default size, one more after each that found a root.
    EXPECT_EQ(report.startsDone, report.startsPlanned);
    EXPECT_EQ(report.startsDone % DefaultStarts(row.n), 0);
    EXPECT_EQ(report.startsDone > DefaultStarts(row.n), !row.roots.empty());
    EXPECT_FALSE(report.budgetReached);
    EXPECT_TRUE(report.outsideBox.empty());
    ASSERT_EQ(report.roots.size(), row.roots.size());
    int starts = 0;
    for (std::size_t k = 0; k < row.roots.size(); ++k) {
      const FoundRoot& root = report.roots[k];  // sorted as the rows are
      for (int j = 0; j < row.n; ++j) EXPECT_NEAR(root.x[j], row.roots[k][j], 1E-4) << "root " << k;
      EXPECT_LE(root.maxAbsResidual, kDefaultFtol);
      EXPECT_GE(root.starts, 1);
      starts += root.starts;
    }
    if (!row.roots.empty()) {
      EXPECT_GE(starts, report.startsDone / 2);
    }
    EXPECT_GT(report.evaluations, report.startsDone);
  }
}

TEST(Roots, DoubleRootIsNearSingularAndSimpleRootIsNot) {
  SystemRow row = Systems()[4];
  NativeResiduals residuals(row.n, row.function);
  RootsOptions options;
  options.box = row.box;
  const RootsReport report = FindRoots(options, residuals);
  ASSERT_EQ(report.roots.size(), 2u);
  EXPECT_FALSE(report.roots[0].nearSingular);  // (-2, 4)
  EXPECT_TRUE(report.roots[1].nearSingular);   // (1, 1)
  // The tangent's Jacobian has a column that vanishes at the root.
  SystemRow tangent = Systems()[1];
  NativeResiduals tangentResiduals(tangent.n, tangent.function);
  const RootsReport touching = FindRoots(options, tangentResiduals);
  ASSERT_EQ(touching.roots.size(), 1u);
  EXPECT_TRUE(touching.roots[0].nearSingular);
}

TEST(Roots, SameSeedSameReportOtherSeedSameRoots) {
  SystemRow row = Systems()[3];
  NativeResiduals residuals(row.n, row.function);
  RootsOptions options;
  options.box = {{-3, 2}, {-2, 3}};
  options.seed = 7;
  const RootsReport first = FindRoots(options, residuals);
  const RootsReport again = FindRoots(options, residuals);
  options.seed = 8;
  const RootsReport other = FindRoots(options, residuals);
  ASSERT_EQ(first.roots.size(), 4u);
  ASSERT_EQ(again.roots.size(), 4u);
  ASSERT_EQ(other.roots.size(), 4u);
  EXPECT_EQ(first.evaluations, again.evaluations);
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(first.roots[k].x, again.roots[k].x);
    EXPECT_EQ(first.roots[k].starts, again.roots[k].starts);
    for (int j = 0; j < 2; ++j) EXPECT_NEAR(first.roots[k].x[j], other.roots[k].x[j], 1E-9);
  }
}

TEST(Roots, StopsAtTheTimeBudgetAndSaysSo) {
  NativeResiduals residuals(2, CircleAndLine(1, 0));
  RootsOptions options;
  options.starts = 1000000;
  options.maxSeconds = 0.05;
  const RootsReport report = FindRoots(options, residuals);
  EXPECT_TRUE(report.budgetReached);
  EXPECT_LT(report.startsDone, report.startsPlanned);
  EXPECT_LT(report.seconds, 1.0);
  EXPECT_EQ(report.roots.size(), 2u);  // what it found before the stop stays
  EXPECT_NE(RootsSummary(report, options.maxSeconds).find("stopped at the time budget of 0.05 seconds"),
            std::string::npos);
}

TEST(Roots, DeflationReachesARootPlainStartsMiss) {
  // (x - 1)(x - 3): every plain start in [0, 1.9] converges to 1.
  NativeResiduals residuals(1, [](std::span<const double> x, std::span<double> f, std::span<double> j) {
    f[0] = (x[0] - 1) * (x[0] - 3);
    if (!j.empty()) j[0] = 2 * x[0] - 4;
  });
  RootsOptions options;
  options.box = {{0, 1.9}};
  options.starts = 32;
  options.deflate = false;
  const RootsReport plain = FindRoots(options, residuals);
  ASSERT_EQ(plain.roots.size(), 1u);
  EXPECT_TRUE(plain.outsideBox.empty());
  options.deflate = true;
  const RootsReport deflated = FindRoots(options, residuals);
  ASSERT_EQ(deflated.roots.size(), 1u);
  ASSERT_EQ(deflated.outsideBox.size(), 1u);
  EXPECT_NEAR(deflated.outsideBox[0].x[0], 3.0, 1E-12);
  EXPECT_TRUE(deflated.outsideBox[0].byDeflation);
  EXPECT_EQ(RootsSummary(deflated, options.maxSeconds),
            "found 1 root in the box with 32 starts (each with max|F| at most 1E-10); no unseen root is likely; "
            "1 root outside the box listed apart");
}

TEST(Roots, TypedStartCentresTheBoxAndComesFirst) {
  RootsOptions options;
  options.start = {0, 30};
  EXPECT_EQ(SearchBox(options, 2), (Box{{-10, 10}, {0, 60}}));
  options.box = {{-1, 1}};
  EXPECT_NE(RootsOptionsProblem(options, 2), "");
  options.box = {{1, 1}, {0, 2}};
  EXPECT_NE(RootsOptionsProblem(options, 2), "");
  NativeResiduals residuals(2, CircleAndLine(1, 0));
  options.box = {};
  options.start = {1, 1};
  options.starts = 1;
  const RootsReport report = FindRoots(options, residuals);
  ASSERT_EQ(report.roots.size(), 1u);
  EXPECT_NEAR(report.roots[0].x[0], std::sqrt(2.0), 1E-12);
}

TEST(Roots, SummarySaysWhatItKnows) {
  struct Row {
    int roots, starts;
    robust::UnseenEstimate unseen;
    robust::RootTest test;
    double bound;  // each root's bound on each |F_i|; 0: no test applied
    const char* text;
  } rows[] = {
      {0, 64, {}, robust::RootTest::Scaled, 0,
       "found no root in the box with 64 starts; no start reached an isolated root, so roots not found cannot be "
       "estimated"},
      {1, 1, {1, 1, 0, 0.0, 1.0}, robust::RootTest::Absolute, 1E-10,
       "found 1 root in the box with 1 start (each with max|F| at most 1E-10); no unseen root is likely"},
      {4, 64, {10, 3, 1, 4.5, 0.3}, robust::RootTest::Scaled, 1E-20,
       "found 4 roots in the box with 64 starts (each within its rounding bound at the equations' scale); about 5 "
       "more roots may exist (estimate from how many starts reached each root)"},
      {1, 8, {8, 0, 1, 0.5, 0.0}, robust::RootTest::Scaled, 1E-20,
       "found 1 root in the box with 8 starts (each within its rounding bound at the equations' scale); about 1 "
       "more root may exist (estimate from how many starts reached each root)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    RootsReport report;
    report.roots.resize(static_cast<std::size_t>(row.roots));
    for (FoundRoot& root : report.roots) {
      root.rootCheck.test = row.test;
      if (row.bound > 0) root.rootCheck.residualBounds = {row.bound};
    }
    report.unseenEstimate = row.unseen;
    report.startsDone = report.startsPlanned = row.starts;
    EXPECT_EQ(RootsSummary(report, 30), row.text);
  }
  // A proof speaks instead of the estimate.
  RootsReport report;
  report.startsDone = report.startsPlanned = 64;
  report.unseenEstimate = {10, 3, 1, 4.5, 0.3};
  EXPECT_EQ(RootsSummary(report, 30, false), "found no root in the box with 64 starts");
}

TEST(Deflation, JacobianMatchesCentralDifferences) {
  NativeResiduals inner(2, CircleAndLine(1, 0));
  DeflatedResiduals deflated(inner, {0.5, 2.0}, 2.0, 1.0);
  deflated.AddRoot(std::vector{1.0, 1.0});
  deflated.AddRoot(std::vector{-1.5, 0.5});
  const std::vector<double> x = {0.3, -0.7};
  std::vector<double> f(2), j(4), plus(2), minus(2);
  ASSERT_TRUE(deflated.Evaluate(x, f, j).Ok());
  for (int k = 0; k < 2; ++k) {
    const double h = 1E-6;
    std::vector<double> xp = x, xm = x;
    xp[k] += h, xm[k] -= h;
    deflated.Evaluate(xp, plus, {});
    deflated.Evaluate(xm, minus, {});
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(j[i * 2 + k], (plus[i] - minus[i]) / (2 * h), 1E-6);
  }
  EXPECT_FALSE(deflated.Evaluate(std::vector{1.0, 1.0}, f, j).Ok());  // at a known root
}

TEST(Halton, RadicalInversesInBasesTwoAndThree) {
  const std::vector<double> shift = {0, 0};
  std::vector<double> point(2);
  const double expected[][2] = {{0.5, 1.0 / 3}, {0.25, 2.0 / 3}, {0.75, 1.0 / 9}, {0.125, 4.0 / 9}};
  for (long k = 1; k <= 4; ++k) {
    HaltonPoint(k, shift, point);
    EXPECT_DOUBLE_EQ(point[0], expected[k - 1][0]);
    EXPECT_DOUBLE_EQ(point[1], expected[k - 1][1]);
  }
}

// Roots along a curve or surface are one fact, not a thousand roots; an
// isolated singular root is not such a set. From a report of
// `roots --eq "x1^2+x2^2-1" --eq "2*x1^2+2*x2^2-2" --box -2:2,-2:2` listing
// 1,014 points of the circle.
TEST(RootsNotIsolated, ASetOfRootsIsSaidOnceAndListedBriefly) {
  struct Row {
    const char* name;
    int n;
    NativeResiduals::Function function;
    std::optional<int> rank;  // of the set, or none when the roots are isolated
    std::function<double(std::span<const double>)> onSet;  // distance-like: 0 on the set
  };
  const Row rows[] = {
      {"circle twice", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = x[0] * x[0] + x[1] * x[1] - 1, f[1] = 2 * f[0];
         if (!j.empty()) j[0] = 2 * x[0], j[1] = 2 * x[1], j[2] = 4 * x[0], j[3] = 4 * x[1];
       },
       1, [](std::span<const double> x) { return std::abs(std::hypot(x[0], x[1]) - 1); }},
      {"plane thrice", 3,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         const double p = x[0] + x[1] + x[2] - 1;
         f[0] = p, f[1] = 2 * p, f[2] = -p;
         if (!j.empty())
           for (int k = 0; k < 3; ++k) j[k] = 1, j[3 + k] = 2, j[6 + k] = -1;
       },
       1, [](std::span<const double> x) { return std::abs(x[0] + x[1] + x[2] - 1); }},
      {"double root x1^2 = 0, x2 = 0", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = x[0] * x[0], f[1] = x[1];
         if (!j.empty()) j[0] = 2 * x[0], j[1] = 0, j[2] = 0, j[3] = 1;
       },
       std::nullopt, nullptr},
      {"singular at the origin only: x1*x2 = 0, x1 - x2 = 0", 2,
       [](std::span<const double> x, std::span<double> f, std::span<double> j) {
         f[0] = x[0] * x[1], f[1] = x[0] - x[1];
         if (!j.empty()) j[0] = x[1], j[1] = x[0], j[2] = 1, j[3] = -1;
       },
       std::nullopt, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    NativeResiduals residuals(row.n, row.function);
    RootsOptions options;
    options.box.assign(static_cast<std::size_t>(row.n), {-2.0, 2.0});
    const RootsReport report = FindRoots(options, residuals);
    ASSERT_EQ(report.notIsolated.has_value(), row.rank.has_value());
    if (!row.rank) {
      EXPECT_EQ(report.roots.size(), 1u);
      continue;
    }
    EXPECT_EQ(report.notIsolated->rank, *row.rank);
    EXPECT_GE(report.notIsolated->points, 3);
    EXPECT_EQ(report.notIsolated->samples.size(), 3u);
    EXPECT_LE(report.roots.size() + report.outsideBox.size(), static_cast<std::size_t>(options.listedSetPoints));
    for (const FoundRoot& root : report.roots) {
      EXPECT_TRUE(root.onSet);
      EXPECT_LT(row.onSet(root.x), 1E-9);
    }
    // Points of the set do not start new rounds, nor are they deflated.
    EXPECT_EQ(report.startsDone, DefaultStarts(row.n));
    EXPECT_NE(RootsSummary(report, options.maxSeconds).find("points of roots that are not isolated"),
              std::string::npos);
  }
}

TEST(RootsNotIsolated, NumericalRankOfKnownMatrices) {
  struct Row {
    const char* name;
    int n;
    std::vector<double> matrix;
    int rank;
  };
  const Row rows[] = {
      {"identity", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 3},
      {"rows proportional", 2, {2, 3, 4, 6}, 1},
      {"zero", 2, {0, 0, 0, 0}, 0},
      {"badly scaled but regular", 2, {1E6, 0, 0, 1E-6}, 2},
      {"third row the sum of the others", 3, {1, 2, 3, 0, 1, 4, 1, 3, 7}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<double> nullVector;
    EXPECT_EQ(detail::NumericalRank(row.matrix, row.n, 1E-8, &nullVector), row.rank);
    if (row.rank < row.n) {
      // The direction returned is one the matrix annihilates.
      for (int i = 0; i < row.n; ++i) {
        double product = 0;
        for (int j = 0; j < row.n; ++j) product += row.matrix[i * row.n + j] * nullVector[j];
        EXPECT_NEAR(product, 0.0, 1E-12);
      }
    }
  }
}

// A stop request (Ctrl-C in the command) keeps what was found so far.
TEST(RootsStop, AStopRequestKeepsTheRootsFoundSoFar) {
  NativeResiduals residuals(2, [](std::span<const double> x, std::span<double> f, std::span<double> j) {
    f[0] = std::sin(x[0]), f[1] = std::sin(x[1]);
    if (!j.empty()) j[0] = std::cos(x[0]), j[1] = 0, j[2] = 0, j[3] = std::cos(x[1]);
  });
  std::atomic<int> stop{0};
  RootsOptions options;
  options.box = {{-10, 10}, {-10, 10}};
  options.stop = &stop;
  options.progress = [&stop](const RootsProgress& progress) {
    if (progress.startsDone == 10) stop = 2;
  };
  const RootsReport report = FindRoots(options, residuals);
  EXPECT_TRUE(report.interrupted);
  EXPECT_FALSE(report.budgetReached);
  EXPECT_EQ(report.startsDone, 10);
  ASSERT_FALSE(report.roots.empty());
  for (const FoundRoot& root : report.roots)
    EXPECT_LE(std::max(std::abs(std::sin(root.x[0])), std::abs(std::sin(root.x[1]))), kDefaultFtol);
  EXPECT_NE(RootsSummary(report, options.maxSeconds).find("; interrupted by a stop request after 10 of 64 starts"),
            std::string::npos);
}

}  // namespace
}  // namespace robust
