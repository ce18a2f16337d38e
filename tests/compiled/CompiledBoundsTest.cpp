// The rounding-error bounds and the interval enclosures of the compiled form,
// each checked against an independent answer: the exact value as Arb encloses
// it at the point (128 bits), and the doubles' values and slopes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "CompiledTestSupport.h"
#include "eval/compiled/DerivativeRules.h"
#include "eval/compiled/Interval.h"

namespace {

using compiledtest::Compiled;
using eval::Interval;

constexpr double u = 0x1p-53;
// A bound is useful only when it is close to the rounding that happens: at
// most this many times u times the row's largest intermediate magnitude.
constexpr double kLooseness = 64;

struct Row {
  std::string text;   // evaluated in doubles with its bound
  std::string exact;  // enclosed over intervals; the same function
  std::vector<double> points;
  double scale;  // the largest intermediate magnitude at those points
  std::vector<std::string> functions;  // the rules the row exercises
};

std::vector<Row> Rows() {
  return {
      {"x^2 - 2", "x^2 - 2", {1.41421356237, std::sqrt(2.0), 1.5, -3}, 9, {}},
      {"1E-12*(x^2 - 2)", "1E-12*(x^2 - 2)", {std::sqrt(2.0), 1.4}, 4E-12, {}},
      {"(x - 1)*(x - 1)*(x - 1) + x/3", "(x - 1)*(x - 1)*(x - 1) + x/3", {0.9999999, 1, 7}, 300, {}},
      {"x^3.5 - 2^x", "x^3.5 - 2^x", {0.5, 1.7, 3}, 50, {}},
      {"Sin(x) - 0.5", "Sin(x) - 0.5", {0.5235987755982988, 2, -7}, 1, {"Sin"}},
      {"Cos(x)*Tan(x) + Exp(x)", "Cos(x)*Tan(x) + Exp(x)", {0.3, -1.2, 2}, 10, {"Cos", "Tan", "Exp"}},
      {"Log(x) + Sqr(x) - Atn(x)", "Log(x) + Sqr(x) - Atn(x)", {0.01, 1, 50}, 10, {"Log", "Sqr", "Atn"}},
      {"Abs(x - 3) + CDbl(x)", "Abs(x - 3) + CDbl(x)", {1, 5}, 10, {"Abs", "CDbl"}},
      // x*Ra is rounded first: at -1000 degrees the slope times 17.5 radians.
      {"SinD(x) + CosD(x) + TanD(x)", "SinD(x) + CosD(x) + TanD(x)", {30, 100, -1000}, 20, {"SinD", "CosD", "TanD"}},
      {"Cot(x) + Csc(x) + Sec(x)", "Cot(x) + Csc(x) + Sec(x)", {0.7, -2}, 10, {"Cot", "Csc", "Sec"}},
      {"CotD(x) + CscD(x) + SecD(x)", "CotD(x) + CscD(x) + SecD(x)", {40, -130}, 10, {"CotD", "CscD", "SecD"}},
      {"Atan(x) + AtanD(x)", "Atan(x) + AtanD(x)", {0.2, -30}, 100, {"Atan", "AtanD"}},
      // Near 0 the differences of exponentials cancel: the slope term.
      {"sinH(x)", "sinH(x)", {1E-9, 0.5, -20}, 3E8, {"sinH"}},
      {"cosH(x) - 1", "cosH(x) - 1", {1E-3, 3}, 20, {"cosH"}},
      {"tanH(x)", "tanH(x)", {1E-9, 0.5, -4}, 100, {"tanH"}},
      // 1/sinh(x) near 0: its slope, 1/x^2, carries the exponentials' error.
      {"secH(x) + cscH(x) + cotH(x)", "1/cosH(x) + 1/sinH(x) + cosH(x)/sinH(x)", {1E-3, 2}, 1E6,
       {"secH", "cscH", "cotH"}},
      {"Ln(x) + Log10(x) + LogN(3, x)", "Ln(x) + Log10(x) + LogN(3, x)", {0.5, 1.0000001, 1E6}, 50,
       {"Ln", "Log10", "LogN"}},
      {"Sqr2(x)", "Sqr(Abs(x))*Sgn(x)", {2, 1E-20}, 2, {"Sqr2"}},
  };
}

TEST(CompiledErrorBound, CoversTheExactValueAndStaysTight) {
  for (const Row& row : Rows()) {
    Compiled compiled(row.text);
    Compiled exact(row.exact);
    for (const double x : row.points) {
      SCOPED_TRACE(row.text + " at " + compiledtest::Exact(x));
      std::vector<double> g(1);
      double bound = -1;
      const eval::EquationResult r = compiled.equation.Evaluate(std::vector<double>{x}, g, bound);
      ASSERT_EQ(r.fault, eval::EquationFault::None) << r.description;
      // The bounded road gives the very value and slope of the plain one.
      std::vector<double> plainG(1);
      const eval::EquationResult plain = compiled.equation.Evaluate(std::vector<double>{x}, plainG);
      EXPECT_TRUE(compiledtest::Identical(plain.value, r.value));
      EXPECT_TRUE(compiledtest::Identical(plainG[0], g[0]));

      Interval value;
      std::vector<Interval> slope(1);
      const std::vector<Interval> point{Interval(x)};
      if (row.exact.find("Sgn") != std::string::npos) {
        // Sgn has no enclosure: the exact value of the odd root directly.
        value = Interval(std::sqrt(std::fabs(x)) * (x < 0 ? -1 : 1));
        EXPECT_LE(std::fabs(r.value - value.Lower()), bound);
      } else {
        const eval::EnclosureStatus s = exact.equation.Enclose(point, value, slope);
        ASSERT_TRUE(s.ok) << s.what;
        EXPECT_GE(r.value, value.Lower() - bound);
        EXPECT_LE(r.value, value.Upper() + bound);
      }
      EXPECT_LE(bound, kLooseness * u * row.scale);
      EXPECT_TRUE(std::isfinite(bound));
    }
  }
}

// Every rule with an enclosure or a bounded error is exercised above.
TEST(CompiledErrorBound, EveryBoundedRuleIsExercised) {
  std::set<std::string> exercised;
  for (const Row& row : Rows()) exercised.insert(row.functions.begin(), row.functions.end());
  for (const eval::DerivativeRule& rule : eval::DerivativeRules()) {
    // (Every enclosure is walked in CompiledEnclosureTest.cpp.)
    const bool needed = rule.error.bounded && !rule.error.jumps && rule.partials != nullptr &&
                        rule.kind == eval::RuleKind::Smooth;
    if (needed) {
      EXPECT_TRUE(exercised.count(std::string(rule.name))) << rule.name;
    }
  }
}

TEST(CompiledErrorBound, UnknownWhereNoBoundHolds) {
  struct Case {
    std::string text;
    double x;
    bool finite;
  };
  const std::vector<Case> cases = {
      {"Asin(x)", 0.5, false},         // its formula cancels near +-1
      {"Int(x*1.1) - 1", 2.5, false},  // a jump under a rounded argument
      {"Int(x) - 1", 2.5, true},       // an exact argument: the whole part is exact
      {"DMax(x, 2*x) - 1", 0.75, true},
      {"x \\ 2", 3, false},  // the engine's road
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Compiled compiled(c.text);
    std::vector<double> g(1);
    double bound = 0;
    compiled.equation.Evaluate(std::vector<double>{c.x}, g, bound);
    EXPECT_EQ(std::isfinite(bound), c.finite) << bound;
  }
}

TEST(CompiledEnclosure, HoldsTheValuesAndSlopesOfTheBox) {
  for (const Row& row : Rows()) {
    if (row.exact.find("Sgn") != std::string::npos) continue;
    Compiled compiled(row.exact);
    for (const double x : row.points) {
      SCOPED_TRACE(row.exact + " at " + compiledtest::Exact(x));
      const double h = 1E-6 * std::max(std::fabs(x), 1E-12);
      const std::vector<Interval> box{Interval(x - h, x + h)};
      Interval value;
      std::vector<Interval> slope(1);
      const eval::EnclosureStatus s = compiled.equation.Enclose(box, value, slope);
      ASSERT_TRUE(s.ok) << s.what;
      for (const double at : {x - h, x, x + h}) {
        std::vector<double> g(1);
        double bound = 0;
        const eval::EquationResult r = compiled.equation.Evaluate(std::vector<double>{at}, g, bound);
        EXPECT_GE(r.value, value.Lower() - bound);
        EXPECT_LE(r.value, value.Upper() + bound);
        // The doubles' slope is itself rounded: a relative margin.
        const double margin = 1E-12 * std::fabs(g[0]);
        EXPECT_GE(g[0], slope[0].Lower() - margin);
        EXPECT_LE(g[0], slope[0].Upper() + margin);
      }
    }
  }
}

TEST(CompiledEnclosure, NamesWhatItCannotEnclose) {
  struct Case {
    std::string text;
    double lo, hi;
    eval::EnclosureFault fault;
    std::string what;
  };
  const std::vector<Case> cases = {
      {"Modxy(x, 3) - 1", 0.2, 0.3, eval::EnclosureFault::NoRule, "Modxy"},
      {"Gcd(x, 4)", 0.2, 0.3, eval::EnclosureFault::NoRule, "Gcd"},
      {"Odd(x) + x", 0.2, 0.3, eval::EnclosureFault::NoRule, "Odd"},
      {"Log(x)", -1, 1, eval::EnclosureFault::Domain, "Log"},
      {"1/x", -1, 1, eval::EnclosureFault::Domain, "/"},
      {"x^0.5", -1, 1, eval::EnclosureFault::Domain, "^"},
      {"Tan(x)", 1.5, 1.6, eval::EnclosureFault::Domain, "Tan"},
      {"x \\ 2", 1, 2, eval::EnclosureFault::NoRule, "The equation uses \\ or Mod"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Compiled compiled(c.text);
    Interval value;
    std::vector<Interval> slope(1);
    const eval::EnclosureStatus s = compiled.equation.Enclose(std::vector<Interval>{Interval(c.lo, c.hi)}, value, slope);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.fault, c.fault);
    EXPECT_EQ(s.what, c.what);
  }
}

}  // namespace
