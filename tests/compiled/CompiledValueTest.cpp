// The compiled form against the engine: the same value bit for bit, the same
// errors, the same compile failures, and the fallback for what it does not cover.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "CompiledTestSupport.h"
#include "app/Examples.h"
#include "eval/Builtins.h"
#include "eval/compiled/DerivativeRules.h"

namespace {

using compiledtest::Compiled;
using compiledtest::EngineEval;
using compiledtest::Identical;
using eval::Derivatives;
using eval::EquationFault;

struct ValueRow {
  std::string expr;
  std::vector<double> x;  // x1, x2, x3 as far as given
};

std::vector<std::string> NamesFor(std::size_t n) {
  std::vector<std::string> names;
  for (std::size_t i = 1; i <= n; ++i) names.push_back("x" + std::to_string(i));
  return names;
}

void ExpectSameAsEngine(const std::string& expr, const std::vector<double>& x, Derivatives method) {
  SCOPED_TRACE(expr + " at x1 = " + compiledtest::Exact(x[0]));
  const auto names = NamesFor(x.size());
  Compiled c(expr, names);
  EXPECT_EQ(c.equation.Method(), method) << c.equation.FallbackReason();
  const compiledtest::EngineAnswer engine = EngineEval(expr, names, x);
  std::vector<double> gradient(x.size());
  const eval::EquationResult withGradient = c.equation.Evaluate(x, gradient);
  const eval::EquationResult valueOnly = c.equation.Evaluate(x);
  if (engine.value) {
    EXPECT_NE(valueOnly.fault, EquationFault::ScriptError) << valueOnly.description;
    EXPECT_TRUE(Identical(valueOnly.value, *engine.value)) << valueOnly.value << " vs " << *engine.value;
    EXPECT_TRUE(Identical(withGradient.value, *engine.value));
  } else {
    EXPECT_EQ(valueOnly.fault, EquationFault::ScriptError);
    EXPECT_EQ(valueOnly.description, engine.error);
    EXPECT_EQ(withGradient.description, engine.error);
  }
}

TEST(CompiledValues, ExampleEquationsAsTheEngineGivesThem) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> coordinate(-3, 3);
  for (int n = 1; n <= app::kExampleCount; ++n) {
    for (const auto& text : app::ExampleEquations(n)) {
      for (int k = 0; k < 25; ++k) {
        ExpectSameAsEngine(std::string(text), {coordinate(random), coordinate(random), coordinate(random)},
                           Derivatives::Exact);
      }
    }
  }
}

TEST(CompiledValues, EveryCoveredFunctionAndOperator) {
  const std::vector<ValueRow> rows{
      {"x1+x2*x3-x1/x2", {0.75, -1.5, 2.25}},
      {"-x1^2", {3, 0, 0}},  // ^ before the sign
      {"2^-x1", {3, 0, 0}},
      {"x1^x2^x3", {1.5, 2, 0.5}},  // whatever tree the parser builds
      {"x1^2", {0.1, 0, 0}},
      {"x1^2", {512.92062593472724, 0, 0}},  // pow and x*x differ here
      {"x1^3-x1^0.5", {2.25, 0, 0}},
      {"+x1 - -x2", {1, 2, 0}},
      {"Abs(x1)+Atn(x1)+Cos(x1)+Exp(x1)+Fix(x1)+Int(x1)+Log(x1)+Round(x1)+Sgn(x1)", {2.5, 0, 0}},
      {"Sin(x1)+Sqr(x1)+Tan(x1)+CDbl(x1)+Round(x1, 1)+round(x2, 2)", {0.35, 1.005, 0}},
      {"SinD(x1)+CosD(x1)+TanD(x1)+Cot(x1)+CotD(x1)+Csc(x1)+CscD(x1)+Sec(x1)+SecD(x1)", {0.7, 0, 0}},
      {"Asin(x1)+AsinD(x1)+Acos(x1)+AcosD(x1)+Acot(x1)+AcotD(x1)+Atan(x1)+AtanD(x1)", {-0.6, 0, 0}},
      {"Asin(x1)+Acos(x1)", {1, 0, 0}},
      {"Asec(x1)+AsecD(x1)+Acsc(x1)+AcscD(x1)", {-2.5, 0, 0}},
      {"sinH(x1)+cosH(x1)+tanH(x1)+secH(x1)+cscH(x1)+cotH(x1)", {0.4, 0, 0}},
      {"AsinH(x1)+ACosH(x2)+AtanH(x3)", {-0.4, 1.5, 0.25}},
      {"AsecH(x1)+AcscH(x2)+AcotH(x3)", {0.4, -1.5, 2.5}},
      {"PI*x1+e*x2+ra*x3+Da", {1, 2, 3}},
      {"Frac(x1)+LogN(x2, x3)+Log10(x3)+Log10(x3, 1)+Ln(x3)", {-2.25, 2, 8}},
      {"SIGN(x1)+Modxy(x2, x3)+Floor(x1)+Odd(x2)+Even(x3)", {-2.7, 7.5, 2.5}},
      {"Lcm(x1, x2)+Gcd(x1, x2)", {4, 6, 0}},
      {"DMin(x1, x2, x3)*DMax(x1, x2, x3)+Sqr2(x1)", {-4, 2, 3}},
      {"y + x1", {2, 0, 0}},   // an undefined name reads as Empty
      {"(x1 + 1) * 2E+3 / 7", {0.3, 0, 0}},
      // Faults: the engine's errors.
      {"1/(x1-x1)", {2, 0, 0}},
      {"(x1-x1)/(x2-x2)", {2, 3, 0}},
      {"Sqr(x1)", {-1, 0, 0}},
      {"Log(x1)", {0, 0, 0}},
      {"x1^0.5", {-4, 0, 0}},
      {"x1^-1", {0, 0, 0}},
      {"Exp(x1)", {710, 0, 0}},
      {"x1*x1", {1E200, 0, 0}},
      {"Modxy(x1, x2)", {5, 0.4, 0}},
      {"Round(x1, x2)", {5, -1, 0}},
      {"Cot(x1)+1", {0, 0, 0}},  // a guarded member's infinity flows on
      {"1/Cot(x1)", {0, 0, 0}},
  };
  for (const ValueRow& row : rows) ExpectSameAsEngine(row.expr, row.x, Derivatives::Exact);
}

TEST(CompiledValues, EachFunctionOverRandomPointsOfItsDomainAndBeyond) {
  struct Sweep {
    std::string expr;  // in x1
    double from;
    double to;
  };
  const std::vector<Sweep> sweeps{
      {"Abs(x1)", -5, 5},     {"Atn(x1)", -50, 50},    {"Cos(x1)", -10, 10},   {"Exp(x1)", -20, 20},
      {"Fix(x1)", -5, 5},     {"Int(x1)", -5, 5},      {"Log(x1)", -1, 10},    {"Round(x1, 2)", -5, 5},
      {"Sgn(x1)", -1, 1},     {"Sin(x1)", -10, 10},    {"Sqr(x1)", -1, 10},    {"Tan(x1)", -3, 3},
      {"CDbl(x1)", -3, 3},    {"SinD(x1)", -400, 400}, {"CosD(x1)", -400, 400}, {"TanD(x1)", -400, 400},
      {"Cot(x1)", -3, 3},     {"CotD(x1)", -200, 200}, {"Csc(x1)", -3, 3},     {"CscD(x1)", -200, 200},
      {"Sec(x1)", -3, 3},     {"SecD(x1)", -200, 200}, {"Asin(x1)", -1.1, 1.1}, {"AsinD(x1)", -1.1, 1.1},
      {"Acos(x1)", -1.1, 1.1}, {"AcosD(x1)", -1.1, 1.1}, {"Asec(x1)", -4, 4},  {"AsecD(x1)", -4, 4},
      {"Acsc(x1)", -4, 4},    {"AcscD(x1)", -4, 4},    {"Acot(x1)", -9, 9},    {"AcotD(x1)", -9, 9},
      {"Atan(x1)", -9, 9},    {"AtanD(x1)", -9, 9},    {"sinH(x1)", -5, 5},    {"cosH(x1)", -5, 5},
      {"tanH(x1)", -5, 5},    {"secH(x1)", -5, 5},     {"cscH(x1)", -5, 5},    {"cotH(x1)", -5, 5},
      {"AsinH(x1)", -9, 9},   {"ACosH(x1)", -2, 9},    {"AtanH(x1)", -1.5, 1.5}, {"AsecH(x1)", -0.5, 1.5},
      {"AcscH(x1)", -3, 3},   {"AcotH(x1)", -3, 3},    {"Frac(x1)", -5, 5},    {"LogN(x1, 10)", -1, 9},
      {"Log10(x1)", -1, 9},   {"Ln(x1)", -1, 9},       {"SIGN(x1)", -1, 1},    {"Modxy(x1, 3)", -20, 20},
      {"Floor(x1)", -5, 5},   {"Lcm(x1, 6)", 1, 30},   {"Gcd(x1, 24)", 1, 30}, {"Odd(x1)", -5, 5},
      {"Even(x1)", -5, 5},    {"DMin(x1, 0.5)", -1, 1}, {"DMax(x1, 0.5)", -1, 1}, {"Sqr2(x1)", -9, 9},
  };
  std::mt19937_64 random(3);
  for (const Sweep& sweep : sweeps) {
    std::uniform_real_distribution<double> coordinate(sweep.from, sweep.to);
    for (int k = 0; k < 12; ++k) ExpectSameAsEngine(sweep.expr, {coordinate(random)}, Derivatives::Exact);
  }
}

TEST(CompiledValues, SquaresAsPowGivesThemOverASweep) {
  // x^2 skips pow where it provably agrees with it; a wide sweep checks that.
  Compiled c("x^2");
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> mantissa(-1000, 1000);
  volatile double two = 2;  // keeps the compiler from turning pow into a product
  for (int k = 0; k < 2000000; ++k) {
    const double x = std::ldexp(mantissa(random), static_cast<int>(random() % 400) - 200);
    const double expected = std::pow(x, two);
    const double got = c.equation.Evaluate(std::vector<double>{x}).value;
    if (!Identical(got, expected)) {
      ADD_FAILURE() << compiledtest::Exact(x);
      break;
    }
  }
}

TEST(CompiledFallback, WhatTheCompiledFormDoesNotCoverFallsBack) {
  const std::vector<ValueRow> rows{
      {"x1 + (x1 > 0)", {0.5, 0, 0}},
      {"x1 + (x2 > 0 And x1 < 3)", {0.5, 1, 0}},
      {"Len(\"abc\") * x1", {0.5, 0, 0}},
      {"x1 \\ 1 + x1 Mod 2", {3.5, 0, 0}},
      {"SinS(\"30d15m20s\") * x1", {0.5, 0, 0}},
      {"CInt(x1) + x1", {2.5, 0, 0}},
      {"math.PI * x1", {2, 0, 0}},
      {"Error + x1", {1, 0, 0}},
      {"Log10(x1, True)", {2, 0, 0}},
      {"f(x1)\r\nEnd Function\r\nFunction f(t)\r\nf = t * t", {1.5, 0, 0}},
      {"x1 & \"\"", {1.5, 0, 0}},
      {"nothere(x1)", {1.5, 0, 0}},
      {"x1(2)", {1.5, 0, 0}},
  };
  for (const ValueRow& row : rows) ExpectSameAsEngine(row.expr, row.x, Derivatives::CentralDifferences);
}

TEST(CompiledValues, NamesAsTheEngineReadsThem) {
  // Blanks around a name (as a comma-separated field gives them) name the same variable.
  Compiled c("x2 * 10 + x1", {"x1", " x2 "});
  EXPECT_EQ(c.equation.Method(), Derivatives::Exact);
  std::vector<double> g(2);
  EXPECT_EQ(c.equation.Evaluate(std::vector<double>{1, 2}, g).value, 21);
  EXPECT_EQ(g, (std::vector<double>{1, 10}));
  // A name given twice: the engine keeps the later assignment.
  Compiled twice("x * 10", {"x", "X"});
  EXPECT_EQ(twice.equation.Evaluate(std::vector<double>{1, 2}, g).value, 20);
  EXPECT_EQ(g, (std::vector<double>{0, 10}));
}

TEST(CompiledFallback, GradientByCentralDifferencesAndSaysSo) {
  Compiled c("f(x)\r\nEnd Function\r\nFunction f(t)\r\nf = t * t * t", {"x"});
  ASSERT_EQ(c.equation.Method(), Derivatives::CentralDifferences);
  EXPECT_FALSE(c.equation.FallbackReason().empty());
  for (const double x : {0.5, -3.0, 1E5}) {
    SCOPED_TRACE(x);
    std::vector<double> g(1);
    const auto r = c.equation.Evaluate(std::vector<double>{x}, g);
    EXPECT_EQ(r.fault, EquationFault::None) << r.description;
    EXPECT_EQ(r.value, x * x * x);
    // Truncation error step^2 * f''' / 6 = step^2 relative to the coordinate's size.
    const double scale = std::max(1.0, std::fabs(x));
    EXPECT_NEAR(g[0], 3 * x * x, 1E-8 * 3 * scale * scale);
  }
}

TEST(CompiledFallback, AFailingNeighbourMeansNoDerivative) {
  // Sqr of a negative one step to the left of 0.
  Compiled c("Sqr(x) + (x > 5)");
  std::vector<double> g(1);
  const auto r = c.equation.Evaluate(std::vector<double>{0}, g);
  EXPECT_EQ(r.value, 0);
  EXPECT_EQ(r.fault, EquationFault::NoDerivative);
  EXPECT_TRUE(std::isnan(g[0]));
}

TEST(CompiledCompile, FaultsInTheTextFailAsEvaluatesAddCodeDoes) {
  struct Row {
    std::string expr;
    std::vector<std::string> names;
  };
  const std::vector<Row> rows{
      {"(x1 + 1", {"x1"}},
      {"", {"x1"}},
      {"x1 +* 2", {"x1"}},
      {"x1", {"1x"}},
      {"x1", {"x 1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expr);
    eval::SilentUi ui;
    eval::ScriptEngine engine;
    engine.SetLanguage("VBScript");
    engine.AddObject("math", std::make_shared<eval::ClsMath>(), true);
    std::string expected;
    try {
      for (const auto& name : row.names) engine.AddCode(name + " = 0");
      engine.AddCode("Function theFunction()\r\nTheFunction  = " + row.expr + "\r\nEnd Function");
    } catch (const eval::ScriptError& error) {
      expected = error.Description();
    }
    ASSERT_FALSE(expected.empty());
    try {
      Compiled c(row.expr, row.names);
      ADD_FAILURE() << "compiled";
    } catch (const eval::ScriptError& error) {
      EXPECT_EQ(error.Description(), expected);
    }
  }
}

TEST(CompiledRules, EveryRuleNamesAFunctionOfTheEngine) {
  eval::SilentUi ui;
  eval::ClsMath library;
  for (const eval::DerivativeRule& rule : eval::DerivativeRules()) {
    SCOPED_TRACE(std::string(rule.name));
    std::string folded(rule.name);
    for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(eval::FindDerivativeRule(folded, rule.member), &rule);
    if (rule.member) {
      bool found = false;
      for (const auto& m : library.Members()) found = found || m.name == rule.name;
      EXPECT_TRUE(found);
    } else {
      EXPECT_TRUE(eval::FindBuiltin(folded).has_value());
    }
    EXPECT_EQ(rule.kind == eval::RuleKind::Select, rule.partials == nullptr && rule.extreme != eval::ExtremeKind::None);
  }
}

TEST(CompiledRules, EveryNumericLibraryMemberIsCovered) {
  // The members that take or give texts are the only ones left to the fallback.
  const std::vector<std::string_view> textual{"Error",     "RadFromDms", "DmsFromRad", "SinS",     "CosS",
                                              "TanS",      "CtnS",       "AsinToDms",  "AcosToDms", "AtnToDms"};
  eval::SilentUi ui;
  eval::ClsMath library;
  for (const auto& m : library.Members()) {
    std::string folded(m.name);
    for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const bool isText = std::find(textual.begin(), textual.end(), m.name) != textual.end();
    EXPECT_EQ(eval::FindDerivativeRule(folded, true) != nullptr, !isText) << m.name;
  }
}

TEST(CompiledSystemEvaluate, FAndJacobianInOnePassNameTheFirstFault) {
  eval::SilentUi ui;
  auto library = std::make_shared<eval::ClsMath>();
  const std::vector<std::string> equations{"x1^2-2*x2-2", "1/(x1-1)", "Abs(x2)"};
  eval::CompiledSystem system(equations, std::vector<std::string>{"x1", "x2"}, library);
  EXPECT_EQ(system.Count(), 3);
  EXPECT_EQ(system.Dimension(), 2);
  EXPECT_EQ(system.Method(), Derivatives::Exact);

  std::vector<double> f(3);
  std::vector<double> j(6);
  auto status = system.Evaluate(std::vector<double>{3, -1}, f, j);
  EXPECT_TRUE(status.ok) << status.description;
  EXPECT_EQ(f, (std::vector<double>{9, 0.5, 1}));
  EXPECT_EQ(j, (std::vector<double>{6, -2, -0.25, 0, 0, -1}));

  status = system.Evaluate(std::vector<double>{1, 0}, f, j);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.failedEquation, 1);
  EXPECT_EQ(status.fault, EquationFault::ScriptError);
  EXPECT_EQ(status.description, eval::DescriptionOf(eval::ErrorNumber::DivisionByZero));
  EXPECT_EQ(f[2], 0);  // later equations are still evaluated

  status = system.Evaluate(std::vector<double>{3, 0}, f, j);
  EXPECT_EQ(status.failedEquation, 2);
  EXPECT_EQ(status.fault, EquationFault::NoDerivative);
  status = system.Evaluate(std::vector<double>{3, 0}, f);  // no Jacobian asked: no derivative fault
  EXPECT_TRUE(status.ok);

  // A coordinate that is no number reaches no equation, on either road.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const std::string text : {"Sgn(x1)", "Sgn(x1) + (x1 > 0)"}) {
    SCOPED_TRACE(text);
    Compiled c(text, {"x1"});
    EXPECT_EQ(c.equation.Evaluate(std::vector<double>{nan}).fault, EquationFault::NotFinite);
  }
}

// Equations compiled one at a time make the same system as their texts:
// the same F, J and method, an equation on the engine's road included.
TEST(CompiledSystemEvaluate, FromCompiledEquationsAsFromTheirTexts) {
  eval::SilentUi ui;
  auto library = std::make_shared<eval::ClsMath>();
  const eval::ClsMath::UiBinding messages(*library, ui);
  const std::vector<std::string> names{"x1", "x2"};
  const std::vector<std::string> texts{"x1^2-2*x2-2", "(x1 Mod 3) + Sin(x2)"};
  eval::CompiledSystem fromTexts(texts, names, library);
  std::vector<eval::CompiledEquation> equations;
  for (const std::string& text : texts) equations.emplace_back(text, names, library);
  eval::CompiledSystem fromEquations(std::move(equations), names);
  EXPECT_EQ(fromEquations.Count(), 2);
  EXPECT_EQ(fromEquations.Dimension(), 2);
  EXPECT_EQ(fromEquations.Method(), Derivatives::CentralDifferences);
  EXPECT_EQ(fromEquations.Method(), fromTexts.Method());
  for (const std::vector<double>& x : {std::vector<double>{3, -1}, {0.5, 2}, {7.25, -0.5}}) {
    SCOPED_TRACE(x[0]);
    std::vector<double> f(2), j(4), fExpected(2), jExpected(4);
    EXPECT_TRUE(fromEquations.Evaluate(x, f, j).ok);
    EXPECT_TRUE(fromTexts.Evaluate(x, fExpected, jExpected).ok);
    EXPECT_EQ(f, fExpected);
    EXPECT_EQ(j, jExpected);
  }
}

TEST(CompiledSystemEvaluate, GuardedFailuresSetErrorAsTheEngineDoes) {
  Compiled c("Ln(x) + x");
  std::vector<double> g(1);
  auto r = c.equation.Evaluate(std::vector<double>{1}, g);
  EXPECT_EQ(r.fault, EquationFault::None);
  EXPECT_FALSE(c.library->Error());
  r = c.equation.Evaluate(std::vector<double>{-1}, g);
  EXPECT_EQ(r.value, -1);  // Ln's failure yields 0
  EXPECT_EQ(r.fault, EquationFault::NoDerivative);
  EXPECT_TRUE(c.library->Error());
  r = c.equation.Evaluate(std::vector<double>{1}, g);  // Error stays set, the derivative is back
  EXPECT_EQ(r.fault, EquationFault::None);
  EXPECT_TRUE(c.library->Error());
}

}  // namespace
