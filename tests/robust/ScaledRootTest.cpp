// The scale-aware root test against points whose distance from an exact
// root is known, in both directions, and under equations scaled by 1E-12
// and 1E+8 (the verdict must not move).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/SolverUi.h"
#include "eval/compiled/CompiledSystem.h"
#include "robust/Verdict.h"
#include "support/StandardSystems.h"

namespace {

using robust::detail::RootTest;
using robust::detail::RootTestOptions;
using robust::detail::RootVerdict;

struct Text {
  std::vector<std::string> equations;
  std::vector<std::string> names;
};

RootVerdict Verdict(const Text& text, const std::vector<double>& x, const RootTestOptions& options = {}) {
  eval::SilentUi ui;
  eval::CompiledSystem system(text.equations, text.names, std::make_shared<eval::ClsMath>());
  const std::size_t m = text.equations.size();
  std::vector<double> f(m);
  std::vector<double> jacobian(m * x.size());
  std::vector<double> bounds(m);
  const eval::EvaluationStatus s = system.Evaluate(x, f, jacobian, bounds);
  EXPECT_TRUE(s.ok) << s.description;
  return robust::detail::ScaledRootTest(f, jacobian, bounds, x, options);
}

const double kSqrt2 = std::sqrt(2.0);

TEST(ScaledRootTest, FollowsTheEquationsScale) {
  struct Row {
    std::string name;
    Text text;
    std::vector<double> x;
    bool root;          // scaled test
    bool absoluteRoot;  // |F| <= 1E-10
  };
  const Text tiny{{"1E-12*(x^2 - 2)", "1E-12*(y - 1)"}, {"x", "y"}};
  const Text huge{{"1E6*(x^2 - 2)"}, {"x"}};
  const std::vector<Row> rows = {
      {"tiny, the doubles nearest the root", tiny, {kSqrt2, 1}, true, true},
      {"tiny, two units in the last place off", tiny, {std::nextafter(std::nextafter(kSqrt2, 2.0), 2.0), 1}, true,
       true},
      // |F| < 1E-10 at all of these, yet they are far from the root.
      {"tiny, x off by 1E-4", tiny, {1.4142, 1}, false, true},
      {"tiny, y off by 1E-9", tiny, {kSqrt2, 1 + 1E-9}, false, true},
      {"tiny, far away", tiny, {3, -7}, false, true},
      // |F| > 1E-10 at the double nearest sqrt 2, which is as close as doubles get.
      {"huge, the double nearest the root", huge, {kSqrt2}, true, false},
      {"huge, a thousand units off", huge, {kSqrt2 * (1 + 1000 * 0x1p-52)}, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RootVerdict scaled = Verdict(row.text, row.x);
    EXPECT_EQ(scaled.root, row.root) << "ratio " << scaled.worstRatio;
    EXPECT_TRUE(scaled.boundsKnown);
    RootTestOptions absolute;
    absolute.test = RootTest::Absolute;
    absolute.ftol = 1E-10;
    EXPECT_EQ(Verdict(row.text, row.x, absolute).root, row.absoluteRoot);
  }
}

// Standard systems written as text, the catalogue's roots, every equation
// multiplied by 1, 1E-12 and 1E+8.
TEST(ScaledRootTest, StandardSystemsAtAnyScale) {
  struct Row {
    std::string catalogueName;
    Text text;
  };
  const std::vector<Row> rows = {
      {"rosenbrock", {{"10*(y - x^2)", "1 - x"}, {"x", "y"}}},
      {"freudenstein-roth", {{"-13 + x + ((5 - y)*y - 2)*y", "-29 + x + ((y + 1)*y - 14)*y"}, {"x", "y"}}},
      {"logarithm and root", {{"Log(x) - 1", "Sqr(y) - 2"}, {"x", "y"}}},
      {"powell singular",
       {{"a + 10*b", "Sqr(5)*(c - d)", "(b - 2*c)^2", "Sqr(10)*(a - d)^2"}, {"a", "b", "c", "d"}}},
  };
  std::vector<robust::StandardSystem> catalogue = robust::SmallSystems();
  catalogue.push_back(robust::Wood());
  const Row wood{"wood",
                 {{"-200*a*(b - a^2) - (1 - a)", "200*(b - a^2) + 20.2*(b - 1) + 19.8*(d - 1)",
                   "-180*c*(d - c^2) - (1 - c)", "180*(d - c^2) + 20.2*(d - 1) + 19.8*(b - 1)"},
                  {"a", "b", "c", "d"}}};
  std::vector<Row> all = rows;
  all.push_back(wood);
  for (const Row& row : all) {
    const robust::StandardSystem* system = nullptr;
    for (const robust::StandardSystem& s : catalogue) {
      if (s.name == row.catalogueName) system = &s;
    }
    ASSERT_NE(system, nullptr) << row.catalogueName;
    // The text is the catalogue's function: the two agree at the start.
    {
      eval::SilentUi ui;
      eval::CompiledSystem compiled(row.text.equations, row.text.names, std::make_shared<eval::ClsMath>());
      std::vector<double> textF(system->start.size());
      std::vector<double> nativeF(system->start.size());
      compiled.Evaluate(system->start, textF);
      system->function(system->start, nativeF, {});
      for (std::size_t i = 0; i < textF.size(); ++i) {
        EXPECT_NEAR(textF[i], nativeF[i], 1E-12 * (1 + std::fabs(nativeF[i]))) << row.catalogueName;
      }
    }
    // One part in a million off every coordinate (a thousandth where it is 0).
    std::vector<double> off = system->root;
    for (double& v : off) v = v == 0 ? 1E-3 : v * (1 + 1E-6);
    for (const std::string factor : {"1", "1E-12", "1E+8"}) {
      SCOPED_TRACE(row.catalogueName + " times " + factor);
      Text scaled = row.text;
      for (std::string& e : scaled.equations) e = factor + "*(" + e + ")";
      EXPECT_TRUE(Verdict(scaled, system->root).root);
      EXPECT_FALSE(Verdict(scaled, off).root);
    }
  }
}

TEST(ScaledRootTest, NoBoundNoRoot) {
  // Asin's error has no bound: even an exact zero of F is not judged by it.
  const RootVerdict v = Verdict({{"Asin(x) - 0.5"}, {"x"}}, {0.479425538604203});
  EXPECT_FALSE(v.boundsKnown);
  EXPECT_FALSE(v.root);
}

}  // namespace
