// Each derivative rule against its analytic derivative on points inside the
// domain, near its edges and at kinks; random expressions against central
// differences.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "CompiledTestSupport.h"

namespace {

using compiledtest::Compiled;
using eval::EquationFault;

const double kPi = eval::ClsMath::PI();
const double kRa = eval::ClsMath::Ra();
const double kDa = eval::ClsMath::Da();
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();  // no derivative expected

// Dual numbers reach the analytic value up to a few roundings of each factor.
constexpr double kRuleTolerance = 1E-13;

struct RuleRow {
  std::string expr;  // in one unknown x
  double x;
  double derivative;  // kNone: the result must say there is none (or that the value is not finite)
};

double Sech(double x) { return 1 / std::cosh(x); }

TEST(CompiledDerivatives, EachRuleAgainstItsAnalyticDerivative) {
  const std::vector<RuleRow> rows{
      // Operators.
      {"x+3", 0.5, 1},
      {"3-x", 0.5, -1},
      {"-x", 0.5, -1},
      {"+x", 0.5, 1},
      {"x*x", -1.5, -3},
      {"2*x", 4, 2},
      {"1/x", 4, -1.0 / 16},
      {"x/4", 1, 0.25},
      {"x^2", -3, -6},
      {"x^3", 2, 12},
      {"x^-2", 2, -0.25},
      {"x^0.5", 4, 0.25},
      {"x^0.5", 0, kNone},  // unbounded slope at the edge
      {"x^1", 0, 1},
      {"x^0", 0, 0},
      {"2^x", 3, 8 * std::log(2.0)},
      {"x^x", 2, 4 * (std::log(2.0) + 1)},
      {"(x-3)^x", 1, kNone},  // a negative base only at whole exponents
      {"(-2)^x", 2, kNone},
      {"3^(x*0)", 2, 0},
      // Built-ins.
      {"Abs(x)", -2, -1},
      {"Abs(x)", 3, 1},
      {"Abs(x)", 0, kNone},
      {"Abs(0*2)+x", 0, 1},  // a constant argument has no kink
      {"Abs(x*0)", 0, kNone},  // no promise beyond the kink itself
      {"Atn(x)", -3, 0.1},
      {"Cos(x)", 0.7, -std::sin(0.7)},
      {"Sin(x)", 0.7, std::cos(0.7)},
      {"Tan(x)", 1.2, 1 / (std::cos(1.2) * std::cos(1.2))},
      {"Exp(x)", 1.5, std::exp(1.5)},
      {"Log(x)", 0.3, 1 / 0.3},
      {"Sqr(x)", 2, 0.5 / std::sqrt(2.0)},
      {"Sqr(x)", 0, kNone},
      {"Fix(x)", 2.5, 0},
      {"Fix(x)", 0, 0},
      {"Fix(x)", -3, kNone},
      {"Int(x)", -2.5, 0},
      {"Int(x)", 0, kNone},
      {"Round(x)", 2.4, 0},
      {"Round(x)", 2.5, kNone},
      {"Round(x, 1)", 0.25, kNone},
      {"Round(x, 1)", 0.31, 0},
      {"Round(x, 400)", 0.31, 1},  // digits beyond a double: x unchanged
      {"Sgn(x)", 2, 0},
      {"Sgn(x)", 0, kNone},
      {"CDbl(x)", 2, 1},
      // Degree-based and reciprocal trigonometry.
      {"SinD(x)", 30, std::cos(30 * kRa) * kRa},
      {"CosD(x)", 30, -std::sin(30 * kRa) * kRa},
      {"TanD(x)", 30, kRa / (std::cos(30 * kRa) * std::cos(30 * kRa))},
      {"Cot(x)", 0.7, -1 / (std::sin(0.7) * std::sin(0.7))},
      {"Cot(x)", 0, kNone},  // guarded failure
      {"CotD(x)", 40, -kRa / (std::sin(40 * kRa) * std::sin(40 * kRa))},
      {"Csc(x)", 0.7, -std::cos(0.7) / (std::sin(0.7) * std::sin(0.7))},
      {"CscD(x)", 40, -kRa * std::cos(40 * kRa) / (std::sin(40 * kRa) * std::sin(40 * kRa))},
      {"Sec(x)", 0.7, std::sin(0.7) / (std::cos(0.7) * std::cos(0.7))},
      {"SecD(x)", 40, kRa * std::sin(40 * kRa) / (std::cos(40 * kRa) * std::cos(40 * kRa))},
      // Inverse trigonometry.
      {"Asin(x)", 0.5, 1 / std::sqrt(0.75)},
      {"Asin(x)", -0.999, 1 / std::sqrt(1 - 0.999 * 0.999)},
      {"Asin(x)", 1, kNone},          // the limit band
      {"Asin(x)", 1.5, kNone},        // guarded failure
      {"AsinD(x)", 0.5, kDa / std::sqrt(0.75)},
      {"Acos(x)", 0.5, -1 / std::sqrt(0.75)},
      {"Acos(x)", -1, kNone},
      {"AcosD(x)", -0.5, -kDa / std::sqrt(0.75)},
      // Asec and Acsc compute atan(x / sqrt(x^2 - 1)) plus a constant.
      {"Asec(x)", 2, -1 / (7 * std::sqrt(3.0))},
      {"Asec(x)", -2, -1 / (7 * std::sqrt(3.0))},  // an even slope
      {"Asec(x)", 0.5, kNone},
      {"AsecD(x)", 2, -kDa / (7 * std::sqrt(3.0))},
      {"Acsc(x)", 3, -1 / (17 * std::sqrt(8.0))},
      {"AcscD(x)", 3, -kDa / (17 * std::sqrt(8.0))},
      {"Acot(x)", 2, 0.2},
      {"AcotD(x)", 2, 0.2 * kDa},
      {"Atan(x)", -2, 0.2},
      {"AtanD(x)", -2, 0.2 * kDa},
      // Hyperbolic.
      {"sinH(x)", 0.4, std::cosh(0.4)},
      {"cosH(x)", -0.4, std::sinh(-0.4)},
      {"tanH(x)", 0.4, Sech(0.4) * Sech(0.4)},
      {"secH(x)", 0.4, -std::tanh(0.4) * Sech(0.4)},
      {"cscH(x)", 0.4, -1 / (std::tanh(0.4) * std::sinh(0.4))},
      {"cscH(x)", 0, kNone},
      {"cotH(x)", 0.4, -1 / (std::sinh(0.4) * std::sinh(0.4))},
      {"sinH(x)", 800, kNone},  // exp overflows: guarded failure
      {"AsinH(x)", -0.4, 1 / std::sqrt(1.16)},
      {"ACosH(x)", 2, 1 / std::sqrt(3.0)},
      {"ACosH(x)", 1, kNone},
      {"AtanH(x)", 0.5, 1 / 0.75},
      {"AtanH(x)", 1, kNone},
      {"AsecH(x)", 0.5, -1 / (0.5 * std::sqrt(0.75))},
      {"AcscH(x)", 0.5, -1 / (0.5 * std::sqrt(1.25))},
      {"AcscH(x)", -0.5, -1 / (0.5 * std::sqrt(1.25))},
      {"AcotH(x)", 2, 1 / (1 - 4.0)},
      {"AcotH(x)", 0.5, kNone},
      // Constants, logarithms, whole numbers.
      {"PI*x+e+ra+Da", 1, kPi},
      {"Frac(x)", 2.25, 1},
      {"Frac(x)", -2, kNone},
      {"LogN(x, 8)", 2, -std::log(8.0) / (2 * std::log(2.0) * std::log(2.0))},
      {"LogN(2, x)", 3, 1 / (3 * std::log(2.0))},
      {"LogN(1, x)", 3, kNone},  // base 1: guarded failure
      {"Log10(x)", 5, 1 / (5 * std::log(10.0))},
      {"Log10(x, x)", 5, 1 / (5 * std::log(10.0))},
      {"Ln(x)", 0.25, 4},
      {"Ln(x)", 0, kNone},
      {"SIGN(x)", -2.5, 0},
      {"SIGN(x)", 0, kNone},
      {"Modxy(x, 3)", 7.2, 0},
      {"Modxy(x, 3)", 7.5, kNone},
      {"Modxy(7, x)", 2.5, kNone},
      {"Floor(x)", 2.7, 0},
      {"Floor(x)", 2, kNone},
      {"Floor(x)", 0, 0},
      {"Lcm(x, 6)", 4.2, 0},
      {"Gcd(x, 18)", 12.5, kNone},
      {"Odd(x)", 2.5, 0},
      {"Odd(x)", 1, kNone},
      {"Even(x)", 0, kNone},
      {"DMin(x, 2, 3)", 1, 1},
      {"DMin(x, 2, 3)", 5, 0},
      {"DMin(3*x, x+1)", 1, 1},   // the second argument is the smaller
      {"DMin(x, 1)", 1, kNone},   // a tie with another slope
      {"DMax(x, x)", 1, 1},       // a tie with the same slope
      {"DMax(x, 2*x)", 1, 2},
      {"Sqr2(x)", -4, 0.25},
      {"Sqr2(x)", 9, 1.0 / 6},
      {"Sqr2(x)", 0, kNone},
      // The chain rule through nested calls.
      {"Sin(Exp(x))", 0.3, std::cos(std::exp(0.3)) * std::exp(0.3)},
      {"Ln(Sqr(x)+1)^2", 4, 2 * std::log(3.0) / 3 * 0.25},
  };
  for (const RuleRow& row : rows) {
    SCOPED_TRACE(row.expr + " at " + compiledtest::Exact(row.x));
    Compiled c(row.expr);
    ASSERT_EQ(c.equation.Method(), eval::Derivatives::Exact) << c.equation.FallbackReason();
    std::vector<double> g(1);
    const eval::EquationResult r = c.equation.Evaluate(std::vector<double>{row.x}, g);
    if (std::isnan(row.derivative)) {
      EXPECT_TRUE(r.fault == EquationFault::NoDerivative || r.fault == EquationFault::NotFinite) << g[0];
      EXPECT_FALSE(r.description.empty());
      EXPECT_TRUE(std::isnan(g[0]));
    } else {
      EXPECT_EQ(r.fault, EquationFault::None) << r.description;
      EXPECT_NEAR(g[0], row.derivative, kRuleTolerance * std::max(1.0, std::fabs(row.derivative)));
    }
  }
}

TEST(CompiledDerivatives, PartialsOfSeveralUnknowns) {
  Compiled c("x1*x2^3 - LogN(x1, x2) + DMax(x1, x2)", {"x1", "x2"});
  std::vector<double> g(2);
  const auto r = c.equation.Evaluate(std::vector<double>{2, 3}, g);
  ASSERT_EQ(r.fault, EquationFault::None) << r.description;
  const double l2 = std::log(2.0);
  EXPECT_NEAR(g[0], 27 + std::log(3.0) / (2 * l2 * l2), 1E-13 * 30);
  EXPECT_NEAR(g[1], 2 * 27 - 1 / (3 * l2) + 1, 1E-13 * 60);
}

// Random smooth expressions: the exact gradient against a Richardson-extrapolated
// central difference of the same compiled values (error of order step^4).
std::string RandomExpression(std::mt19937_64& random, int depth) {
  static const std::vector<std::string> unary{"Sin", "Cos", "Exp", "Atn", "sinH", "cosH", "tanH",
                                               "AsinH", "Acot", "SinD", "secH"};
  static const std::vector<std::string> binary{"+", "-", "*", "/"};
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  if (depth == 0 || pick(4) == 0) {
    switch (pick(4)) {
      case 0:
        return "x1";
      case 1:
        return "x2";
      case 2:
        return "x3";
      default:
        return std::to_string(1 + pick(5)) + ".5";
    }
  }
  // One draw after another: the order of operands of + is not fixed.
  const std::size_t kind = pick(4);
  const std::string left = RandomExpression(random, depth - 1);
  switch (kind) {
    case 0:
      return unary[pick(unary.size())] + "(" + left + ")";
    case 1:
      return "(" + left + ")^" + std::to_string(2 + pick(2));
    case 2:
      return "-(" + left + ")";
    default: {
      const std::string op = binary[pick(binary.size())];
      return "(" + left + op + RandomExpression(random, depth - 1) + ")";
    }
  }
}

TEST(CompiledDerivatives, RandomExpressionsAgainstCentralDifferences) {
  std::mt19937_64 random(2024);
  std::uniform_real_distribution<double> coordinate(-1.5, 1.5);
  const std::vector<std::string> names{"x1", "x2", "x3"};
  int checked = 0;
  for (int k = 0; k < 400; ++k) {
    const std::string expr = RandomExpression(random, 4);
    Compiled c(expr, names);
    ASSERT_EQ(c.equation.Method(), eval::Derivatives::Exact) << expr;
    std::vector<double> x{coordinate(random), coordinate(random), coordinate(random)};
    std::vector<double> g(3);
    const auto r = c.equation.Evaluate(x, g);
    if (r.fault != EquationFault::None || std::fabs(r.value) > 1E6) continue;
    auto f = [&](std::size_t i, double h) {
      std::vector<double> at = x;
      at[i] += h;
      return c.equation.Evaluate(at).value;
    };
    for (std::size_t i = 0; i < 3; ++i) {
      SCOPED_TRACE(expr + " d/d" + names[i]);
      const double h = 1E-3;
      const double d1 = (f(i, h) - f(i, -h)) / (2 * h);
      const double d2 = (f(i, h / 2) - f(i, -h / 2)) / h;
      // Where the two steps disagree, the function bends too fast for the
      // difference to say anything (close to a pole of x3/x2, say).
      if (std::fabs(d1 - d2) > 1E-2 * std::max(1.0, std::fabs(d2))) continue;
      const double richardson = (4 * d2 - d1) / 3;
      // Step^4 truncation and epsilon/step rounding, relative to the slope's size.
      EXPECT_NEAR(g[i], richardson, 1E-6 * std::max(1.0, std::fabs(g[i])));
    }
    ++checked;
  }
  EXPECT_GT(checked, 200);
}

}  // namespace
