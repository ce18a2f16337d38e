// Every enclosure rule against the doubles: over small boxes the enclosure
// holds the value (and, where smooth, the slope) the compiled form computes
// at points of the box, and says how much of the box it covers.
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
using eval::Coverage;
using eval::Interval;

// The doubles differ from the exact function by their rounding: a few units
// in the last place of the result or of the formula's largest term. Asin and
// its kin cancel near +-1, so the rows keep away from there.
constexpr double kValueMargin = 1E-12;
// The doubles' slope is itself rounded, relative to its size.
constexpr double kSlopeMargin = 1E-9;

// A point where the equation has a value: no fault, or only a missing
// derivative (a guarded member that failed leaves no value).
bool Defined(const eval::EquationResult& r) {
  return r.fault == eval::EquationFault::None ||
         (r.fault == eval::EquationFault::NoDerivative && r.description.find("failed") == std::string::npos);
}

struct Row {
  std::string text;
  std::vector<std::string> functions;  // the rules the row exercises
  std::vector<std::pair<double, double>> boxes;
};

struct CoverageRow {
  std::string text;
  double lo, hi;
  Coverage coverage;
};

std::vector<Row> Rows() {
  return {
      {"Sin(x) + Cos(x) + Tan(x) + Atn(x) + Exp(x)", {"Sin", "Cos", "Tan", "Atn", "Exp"}, {{0.2, 0.21}, {-1, -0.99}}},
      {"Log(x) + Sqr(x) + Abs(x - 3) + CDbl(x)", {"Log", "Sqr", "Abs", "CDbl"}, {{0.5, 0.51}, {2.99, 3.01}}},
      {"SinD(x) + CosD(x) + TanD(x)", {"SinD", "CosD", "TanD"}, {{30, 30.1}, {-100, -99.9}}},
      {"Cot(x) + Csc(x) + Sec(x)", {"Cot", "Csc", "Sec"}, {{0.7, 0.71}, {-2, -1.99}}},
      {"CotD(x) + CscD(x) + SecD(x)", {"CotD", "CscD", "SecD"}, {{40, 40.1}, {-130, -129.9}}},
      {"Asin(x) + Acos(x)", {"Asin", "Acos"}, {{0.3, 0.31}, {-0.9, -0.89}}},
      {"AsinD(x) + AcosD(x)", {"AsinD", "AcosD"}, {{0.5, 0.51}, {-0.2, -0.19}}},
      {"Asec(x) + Acsc(x)", {"Asec", "Acsc"}, {{1.5, 1.51}, {-3, -2.99}}},
      {"AsecD(x) + AcscD(x)", {"AsecD", "AcscD"}, {{2, 2.01}, {-1.6, -1.59}}},
      {"Acot(x) + AcotD(x) + Atan(x) + AtanD(x)", {"Acot", "AcotD", "Atan", "AtanD"}, {{0.2, 0.21}, {-30, -29.9}}},
      {"sinH(x) + cosH(x) + tanH(x)", {"sinH", "cosH", "tanH"}, {{0.5, 0.51}, {-4, -3.99}}},
      {"secH(x) + cscH(x) + cotH(x)", {"secH", "cscH", "cotH"}, {{0.5, 0.51}, {-2, -1.99}}},
      {"AsinH(x) + AcscH(x)", {"AsinH", "AcscH"}, {{0.5, 0.51}, {-7, -6.99}}},
      {"ACosH(x) + AcotH(x)", {"ACosH", "AcotH"}, {{1.5, 1.51}, {20, 20.1}}},
      {"AtanH(x) + AsecH(x)", {"AtanH", "AsecH"}, {{0.3, 0.31}, {0.9, 0.91}}},
      {"Ln(x) + Log10(x) + LogN(3, x) + LogN(x, 7)", {"Ln", "Log10", "LogN"}, {{0.5, 0.51}, {20, 20.1}}},
      {"Sqr2(x)", {"Sqr2"}, {{2, 2.01}, {-5, -4.99}, {-0.5, 0.5}}},
      {"x*e + PI*x - ra + Da", {"e", "PI", "ra", "Da"}, {{1, 1.1}}},
      {"Int(x) + Fix(x) + Round(x) + Sgn(x)", {"Int", "Fix", "Round", "Sgn"}, {{2.2, 2.3}, {-1.8, -1.7}, {-0.6, 1.6}}},
      {"Frac(x) + SIGN(x) + Floor(x)", {"Frac", "SIGN", "Floor"}, {{2.2, 2.3}, {-1.8, -1.7}, {-0.6, 1.6}}},
      {"DMin(x, 1 - x, 0.3) + DMax(x^2, 2*x)", {"DMin", "DMax"}, {{0.1, 0.2}, {0.25, 0.35}, {0.45, 0.55}, {1.9, 2.1}}},
  };
}

TEST(CompiledEnclosureRules, HoldTheDoublesAtPointsOfTheBox) {
  constexpr int kSamples = 9;
  for (const Row& row : Rows()) {
    Compiled compiled(row.text);
    for (const auto& [lo, hi] : row.boxes) {
      SCOPED_TRACE(row.text + " over [" + compiledtest::Exact(lo) + ", " + compiledtest::Exact(hi) + "]");
      Interval value;
      std::vector<Interval> slope(1);
      const eval::EnclosureStatus s = compiled.equation.Enclose(std::vector<Interval>{Interval(lo, hi)}, value, slope);
      ASSERT_NE(s.fault, eval::EnclosureFault::NoRule) << s.what;
      ASSERT_NE(s.coverage, Coverage::Nowhere);
      for (int k = 0; k < kSamples; ++k) {
        const double x = lo + (hi - lo) * k / (kSamples - 1);
        std::vector<double> g(1);
        const eval::EquationResult r = compiled.equation.Evaluate(std::vector<double>{x}, g);
        ASSERT_TRUE(Defined(r)) << r.description;
        const double margin = kValueMargin * std::max(1.0, std::fabs(r.value));
        EXPECT_GE(r.value, value.Lower() - margin) << "at " << x;
        EXPECT_LE(r.value, value.Upper() + margin) << "at " << x;
        if (s.coverage == Coverage::Smooth && std::isfinite(g[0])) {
          const double slopeMargin = kSlopeMargin * std::max(1.0, std::fabs(g[0]));
          EXPECT_GE(g[0], slope[0].Lower() - slopeMargin) << "at " << x;
          EXPECT_LE(g[0], slope[0].Upper() + slopeMargin) << "at " << x;
        }
      }
    }
  }
}

// Every function with an enclosure rule is exercised above.
TEST(CompiledEnclosureRules, EveryRuleIsExercised) {
  std::set<std::string> exercised;
  for (const Row& row : Rows()) exercised.insert(row.functions.begin(), row.functions.end());
  for (const eval::DerivativeRule& rule : eval::DerivativeRules()) {
    if (rule.enclose != nullptr) {
      EXPECT_TRUE(exercised.count(std::string(rule.name))) << rule.name;
    }
  }
}

// What a box covers: undefined everywhere only where every point is.
TEST(CompiledEnclosureRules, SayHowMuchOfTheBoxTheyCover) {
  const std::vector<CoverageRow> rows = {
      {"Sqr(x) - 0.5", 0.25, 1, Coverage::Smooth},
      {"Sqr(x) - 0.5", 0, 0, Coverage::NoSlope},  // defined at 0, no slope there
      {"Sqr(x) - 0.5", -1, 1, Coverage::Partly},
      {"Sqr(x) - 0.5", -1, -0.5, Coverage::Nowhere},
      {"Log(x)", -1, 1, Coverage::Partly},
      {"Log(x)", -2, -1E-3, Coverage::Nowhere},
      {"Ln(x) + LogN(x, 2)", -3, -1, Coverage::Nowhere},
      {"1/x", -1, 1, Coverage::Partly},
      {"Asin(x)", 1.5, 2, Coverage::Nowhere},
      {"Asin(x)", 0.5, 1, Coverage::NoSlope},  // the library's fixed value near 1: a jump
      {"Acos(x)", 0.5, 1.5, Coverage::Partly},
      {"Asec(x)", -0.5, 0.5, Coverage::Nowhere},
      {"ACosH(x)", -3, 0.5, Coverage::Nowhere},
      {"AtanH(x)", 1.5, 2, Coverage::Nowhere},
      {"cscH(x)", 0, 0, Coverage::Nowhere},
      {"cscH(x)", -1, 1, Coverage::Partly},
      {"Int(x)", 0.5, 1.5, Coverage::NoSlope},
      {"Abs(x)", -1, 1, Coverage::Smooth},  // a kink: slopes in [-1, 1]
      {"DMin(x, -x)", -1, 1, Coverage::Smooth},
      {"Log(x) + Sqr(x - 5)", 1, 2, Coverage::Nowhere},  // one step undefined: the equation is
  };
  for (const CoverageRow& row : rows) {
    SCOPED_TRACE(row.text + " over [" + compiledtest::Exact(row.lo) + ", " + compiledtest::Exact(row.hi) + "]");
    Compiled compiled(row.text);
    Interval value;
    std::vector<Interval> slope(1);
    const eval::EnclosureStatus s =
        compiled.equation.Enclose(std::vector<Interval>{Interval(row.lo, row.hi)}, value, slope);
    EXPECT_EQ(s.coverage, row.coverage);
    EXPECT_EQ(s.ok, row.coverage == Coverage::Smooth);
    if (row.coverage != Coverage::Smooth) {
      EXPECT_EQ(s.fault, eval::EnclosureFault::Domain);
    }
    // The value holds the doubles wherever they are defined.
    for (const double x : {row.lo, (row.lo + row.hi) / 2, row.hi}) {
      std::vector<double> g(1);
      const eval::EquationResult r = compiled.equation.Evaluate(std::vector<double>{x}, g);
      if (Defined(r)) {
        EXPECT_NE(row.coverage, Coverage::Nowhere) << "defined at " << x;
        EXPECT_GE(r.value, value.Lower() - kValueMargin) << "at " << x;
        EXPECT_LE(r.value, value.Upper() + kValueMargin) << "at " << x;
      }
    }
  }
}

}  // namespace
