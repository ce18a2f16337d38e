// Branch and prune on systems whose real roots are known exactly: a claim of
// completeness or of a certified root is checked against the true roots.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/Completeness.h"

namespace {

using robust::Bounds;
using robust::CertifyOutcome;
using robust::InBox;

// A true root given as a double (sqrt(2) rounded) may lie this many of its
// own units in the last place outside an enclosure of the exact root.
constexpr double kRootUlps = 4;

struct Case {
  std::string name;
  std::vector<std::string> equations;
  std::vector<std::string> names;
  std::vector<Bounds> box;
  std::vector<std::vector<double>> searchRoots;  // what a search would hand over
  std::vector<std::vector<double>> roots;        // every real root of the system, in the box or not
  bool complete;
  std::vector<double> undecidedAt;  // incomplete: a point some undecided part holds
};

bool Holds(const std::vector<Bounds>& box, const std::vector<double>& p, double ulps) {
  for (std::size_t j = 0; j < box.size(); ++j) {
    const double slack = ulps * std::fabs(p[j]) * 0x1p-52;
    if (p[j] < box[j].lo - slack || p[j] > box[j].hi + slack) return false;
  }
  return true;
}

robust::ProveReport Prove(const Case& c, const robust::ProveOptions& options = {}) {
  eval::SilentUi ui;
  eval::CompiledSystem system(c.equations, c.names, std::make_shared<eval::ClsMath>());
  return robust::ProveRoots(system, c.box, c.searchRoots, options);
}

const double kSqrt2 = std::sqrt(2.0);

std::vector<Case> Cases() {
  const std::vector<Bounds> square{{-10, 10}, {-10, 10}};
  return {
      {"x^2 - 2, y - 1", {"x^2 - 2", "y - 1"}, {"x", "y"}, square, {{1.41421356, 1}, {-1.41421356, 1}},
       {{kSqrt2, 1}, {-kSqrt2, 1}}, true, {}},
      {"the same, scaled by 1E-12", {"1E-12*(x^2 - 2)", "1E-12*(y - 1)"}, {"x", "y"}, square, {},
       {{kSqrt2, 1}, {-kSqrt2, 1}}, true, {}},
      {"circle and line, one root searched", {"x^2 + y^2 - 25", "x - y - 1"}, {"x", "y"}, square, {{4, 3}},
       {{4, 3}, {-3, -4}}, true, {}},
      {"eight roots in three unknowns", {"x^2 - 1", "y^2 - 4", "z^2 - 9"}, {"x", "y", "z"},
       {{-5, 5}, {-5, 5}, {-5, 5}}, {},
       {{1, 2, 3}, {1, 2, -3}, {1, -2, 3}, {1, -2, -3}, {-1, 2, 3}, {-1, 2, -3}, {-1, -2, 3}, {-1, -2, -3}}, true, {}},
      {"no root at all", {"x^2 + 1", "y"}, {"x", "y"}, square, {}, {}, true, {}},
      {"a root outside the box only", {"x - 20", "y"}, {"x", "y"}, square, {{20, 0}}, {{20, 0}}, true, {}},
      {"a double root", {"(x - 1)^2", "y - 1"}, {"x", "y"}, square, {{1, 1}}, {{1, 1}}, false, {1, 1}},
      {"tangent curves", {"y - x^2", "y"}, {"x", "y"}, {{-2, 2}, {-2, 2}}, {}, {{0, 0}}, false, {0, 0}},
      {"a circle touching a line", {"x^2 + y^2 - 1", "y - 1"}, {"x", "y"}, {{-2, 2}, {-2, 2}}, {}, {{0, 1}}, false,
       {0, 1}},
      {"a root on the box's edge", {"x^2 - 4", "y - 3"}, {"x", "y"}, {{2, 5}, {0, 5}}, {{2, 3}}, {{2, 3}, {-2, 3}},
       true, {}},
      {"roots at the box's corners, not searched", {"x - 1", "y^2 - 4"}, {"x", "y"}, {{1, 3}, {-2, 2}}, {},
       {{1, 2}, {1, -2}}, true, {}},
      // 0 lies on the first split of [-10, 10]: a root on the face of two parts.
      {"roots on the parts' faces", {"x*(x - 5)", "y*(y + 5)"}, {"x", "y"}, square, {},
       {{0, 0}, {0, -5}, {5, 0}, {5, -5}}, true, {}},
      {"roots of very different scale", {"(x - 1E-6)*(x - 1E3)", "y + 1"}, {"x", "y"}, {{-2000, 2000}, {-5, 5}},
       {{1E-6, -1}}, {{1E-6, -1}, {1E3, -1}}, true, {}},
      {"undefined left of 0: Sqr", {"Sqr(x) - 0.5", "y"}, {"x", "y"}, {{-1, 1}, {-1, 1}}, {}, {{0.25, 0}}, true, {}},
      // Log(x) + 1 takes every value below 1 near 0: the parts there stay open.
      {"undefined left of 0: Log", {"Log(x) + 1", "y"}, {"x", "y"}, {{-1, 1}, {-1, 1}}, {},
       {{std::exp(-1.0), 0}}, false, {0, 0}},
      {"a function without an enclosure rule", {"Modxy(x, 3) + x - 1", "y"}, {"x", "y"}, {{0.5, 1.5}, {-1, 1}},
       {{1, 0}}, {{1, 0}}, false, {1, 0}},
  };
}

TEST(ProveRoots, KnownRootSets) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const robust::ProveReport r = Prove(c);
    EXPECT_EQ(r.complete, c.complete);
    // Never a false claim: each certified enclosure holds a true root, and
    // the search's roots keep their places in order.
    ASSERT_GE(r.roots.size(), c.searchRoots.size());
    for (std::size_t s = 0; s < c.searchRoots.size(); ++s) EXPECT_EQ(r.roots[s].searchIndex, static_cast<int>(s));
    int distinctInside = 0;
    for (const robust::ProvedRoot& root : r.roots) {
      if (root.certificate.outcome != CertifyOutcome::Certified) continue;
      bool holdsOne = false;
      for (const std::vector<double>& truth : c.roots) holdsOne = holdsOne || Holds(root.certificate.enclosure, truth, kRootUlps);
      EXPECT_TRUE(holdsOne) << "an enclosure without a root at " << root.point[0];
      if (root.sameAs < 0 && root.where == InBox::Inside) ++distinctInside;
    }
    EXPECT_EQ(distinctInside, r.certifiedInside);
    int inside = 0;
    for (const std::vector<double>& truth : c.roots) inside += Holds(c.box, truth, 0) ? 1 : 0;
    if (r.complete) {
      EXPECT_TRUE(r.undecided.empty());
      EXPECT_EQ(r.certifiedInside, inside);
      // Each true root inside is in exactly one distinct certified enclosure.
      for (const std::vector<double>& truth : c.roots) {
        if (!Holds(c.box, truth, 0)) continue;
        int holders = 0;
        for (const robust::ProvedRoot& root : r.roots) {
          if (root.certificate.outcome == CertifyOutcome::Certified && root.sameAs < 0 &&
              Holds(root.certificate.enclosure, truth, kRootUlps)) {
            ++holders;
          }
        }
        EXPECT_EQ(holders, 1) << "root at " << truth[0];
      }
    }
    if (!c.complete) {
      ASSERT_FALSE(r.undecided.empty());
      bool held = false;
      for (const std::vector<Bounds>& part : r.undecided) held = held || Holds(part, c.undecidedAt, 0);
      EXPECT_TRUE(held);
      for (std::size_t k = 1; k < r.undecided.size(); ++k) {
        double a = 0;
        double b = 0;
        for (std::size_t j = 0; j < c.box.size(); ++j) {
          const double w = c.box[j].hi - c.box[j].lo;
          a = std::max(a, (r.undecided[k - 1][j].hi - r.undecided[k - 1][j].lo) / w);
          b = std::max(b, (r.undecided[k][j].hi - r.undecided[k][j].lo) / w);
        }
        EXPECT_LE(a, b) << "smallest first";
      }
    }
    EXPECT_EQ(r.stop, robust::ProveStop::Finished);
  }
}

TEST(ProveRoots, ReportsWhatStoppedIt) {
  const Case noRule = Cases().back();
  const robust::ProveReport r = Prove(noRule);
  EXPECT_EQ(r.equation, 0);
  EXPECT_EQ(r.what, "Modxy");
  ASSERT_EQ(r.roots.size(), 1U);
  EXPECT_EQ(r.roots[0].certificate.outcome, CertifyOutcome::NotCertifiable);
  EXPECT_EQ(r.roots[0].certificate.what, "Modxy");
}

TEST(ProveRoots, BudgetsLeaveTheRestUndecided) {
  const Case eight = Cases()[3];
  // A line of roots: no part around it is ever decided.
  const Case line{"a line of roots", {"x - y", "2*x - 2*y"}, {"x", "y"}, {{-1, 1}, {-1, 1}}, {}, {}, false, {}};
  robust::ProveOptions fewBoxes;
  fewBoxes.maxBoxes = 10;
  std::atomic<int> stop{1};
  robust::ProveOptions stopped;
  stopped.stop = &stop;
  robust::ProveOptions fewUndecided;
  fewUndecided.maxUndecided = 5;
  const struct {
    const Case& system;
    robust::ProveOptions options;
    robust::ProveStop expected;
  } rows[] = {{eight, fewBoxes, robust::ProveStop::BoxLimit},
              {eight, stopped, robust::ProveStop::Interrupted},
              {line, fewUndecided, robust::ProveStop::UndecidedLimit}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.system.name);
    const robust::ProveReport r = Prove(row.system, row.options);
    EXPECT_EQ(r.stop, row.expected);
    EXPECT_FALSE(r.complete);
    EXPECT_FALSE(r.undecided.empty());
    EXPECT_LE(r.boxes, row.options.maxBoxes);
  }
}

TEST(ProveRoots, RefusesWhatItCannotProve) {
  eval::SilentUi ui;
  eval::CompiledSystem notSquare(std::vector<std::string>{"x - 1", "x + y", "y"}, std::vector<std::string>{"x", "y"},
                                 std::make_shared<eval::ClsMath>());
  const std::vector<Bounds> box{{-1, 1}, {-1, 1}};
  const robust::ProveReport r = robust::ProveRoots(notSquare, box, std::vector<std::vector<double>>{{1, -1}});
  EXPECT_EQ(r.stop, robust::ProveStop::NotSquare);
  EXPECT_FALSE(r.complete);
  ASSERT_EQ(r.roots.size(), 1U);
  EXPECT_EQ(r.roots[0].certificate.outcome, CertifyOutcome::NotSquare);

  eval::CompiledSystem square(std::vector<std::string>{"x - 1", "y"}, std::vector<std::string>{"x", "y"},
                              std::make_shared<eval::ClsMath>());
  const std::vector<Bounds> reversed{{1, -1}, {-1, 1}};
  const robust::ProveReport bad = robust::ProveRoots(square, reversed, {});
  EXPECT_EQ(bad.stop, robust::ProveStop::BadBox);
  EXPECT_FALSE(bad.complete);
}

}  // namespace
