// Every name means in the compiled form what it means to the engine: the
// language's named constants and keywords, library members and built-ins,
// each in an equation run through Eval and through the compiled form, values
// and gradients compared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "CompiledTestSupport.h"
#include "eval/Ascii.h"
#include "eval/Builtins.h"
#include "eval/EquationNames.h"

namespace {

using compiledtest::Compiled;
using compiledtest::EngineEval;
using compiledtest::Identical;
using eval::Derivatives;
using eval::EquationFault;

// The language's named constants, every one the engine knows.
const std::vector<std::string> kNamedConstants{
    "vbCr",      "vbLf",      "vbCrLf", "vbNewLine", "vbTab",    "vbNullChar", "vbNullString", "vbTrue", "vbFalse",
    "vbEmpty",   "vbNull",    "vbInteger", "vbLong", "vbSingle", "vbDouble",   "vbString",     "vbBoolean",
};

// The test's own central difference of the engine's value: a step of about
// cbrt(epsilon) leaves an error near 1E-10 relative to the derivative's size
// for these smooth functions; the compiled form's central differences take
// steps of their own, so the two agree to this.
constexpr double kStep = 1E-5;
constexpr double kGradientTolerance = 1E-7;

struct NameRow {
  std::string expr;        // of x1 and x2
  std::vector<double> x;   // x1, x2
  Derivatives method;      // what the compiled form takes
};

void ExpectAgreement(const NameRow& row) {
  SCOPED_TRACE(row.expr);
  const std::vector<std::string> names{"x1", "x2"};
  Compiled c(row.expr, names);
  EXPECT_EQ(c.equation.Method(), row.method) << c.equation.FallbackReason();
  const compiledtest::EngineAnswer engine = EngineEval(row.expr, names, row.x);
  std::vector<double> gradient(row.x.size());
  const eval::EquationResult r = c.equation.Evaluate(row.x, gradient);
  if (!engine.value) {  // an error, or a value that is no number (Null)
    EXPECT_EQ(r.fault, EquationFault::ScriptError);
    if (!engine.error.empty()) {
      EXPECT_EQ(r.description, engine.error);
    }
    return;
  }
  ASSERT_NE(r.fault, EquationFault::ScriptError) << r.description;
  EXPECT_TRUE(Identical(r.value, *engine.value)) << r.value << " vs " << *engine.value;
  for (std::size_t i = 0; i < row.x.size(); ++i) {
    std::vector<double> up = row.x;
    std::vector<double> down = row.x;
    up[i] += kStep;
    down[i] -= kStep;
    const compiledtest::EngineAnswer fUp = EngineEval(row.expr, names, up);
    const compiledtest::EngineAnswer fDown = EngineEval(row.expr, names, down);
    ASSERT_TRUE(fUp.value && fDown.value);
    const double expected = (*fUp.value - *fDown.value) / (up[i] - down[i]);
    EXPECT_NEAR(gradient[i], expected, kGradientTolerance * std::max(1.0, std::fabs(expected))) << "d/dx" << i + 1;
  }
}

TEST(CompiledNames, EveryNamedConstantAsTheEngineReadsIt) {
  std::vector<NameRow> rows;
  for (const std::string& name : kNamedConstants) {
    ASSERT_TRUE(eval::FindConstant(eval::FoldName(name))) << name;
    const eval::NameMeaning meaning = eval::EquationEngineName(name);
    ASSERT_EQ(meaning.kind, eval::NameKind::Constant) << name;
    // A constant that is a text makes the equation one the compiled form does not cover.
    const Derivatives method = meaning.value->IsString() ? Derivatives::CentralDifferences : Derivatives::Exact;
    rows.push_back({"x1 * x2 + " + name, {1.5, -2}, method});
    rows.push_back({name + " * x1 - x2 ^ 2", {0.5, 3}, method});
    rows.push_back({"Sin(x1 + " + name + ")", {0.25, 0}, method});
    // Any letter case: the engine folds names.
    std::string upper = name;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    rows.push_back({"x1 + " + upper, {2, 0}, method});
  }
  for (const NameRow& row : rows) ExpectAgreement(row);
}

TEST(CompiledNames, KeywordsLibraryMembersAndBuiltins) {
  const std::vector<NameRow> rows{
      // Keywords the parser reads as literals: True and False are Booleans, no numbers.
      {"x1 + True", {1, 0}, Derivatives::CentralDifferences},
      {"x1 * False - x2 * True", {1, 2}, Derivatives::CentralDifferences},
      {"-True * x1 + (True + True) * x2", {3, 4}, Derivatives::CentralDifferences},
      {"x1 + Empty", {1, 0}, Derivatives::Exact},
      {"x1 + Null", {1, 0}, Derivatives::CentralDifferences},
      // Library members by bare name and the library object.
      {"pi * x1 + E - ra * Da", {2, 0}, Derivatives::Exact},
      {"SinD(x1) + LogN(x2, 3)", {30, 5}, Derivatives::Exact},
      {"sinh(x1) * Sqr2(x2)", {0.4, 2}, Derivatives::Exact},
      {"math.SinD(x1)", {30, 0}, Derivatives::CentralDifferences},
      {"math + x1", {1, 0}, Derivatives::CentralDifferences},  // an object has no value: fails alike
      // Built-ins.
      {"Exp(x1) * Atn(x2) + Abs(x1 - 5)", {1, 2}, Derivatives::Exact},
      {"Round(x1, 2) + Sqr(x2) + CDbl(x1)", {1.1, 4}, Derivatives::Exact},
      {"Len(vbTab) * x1", {2, 0}, Derivatives::CentralDifferences},
      // Names nothing defines read as Empty; calling one fails as the engine fails.
      {"x1 + undefinedName * 3", {1, 0}, Derivatives::Exact},
      {"vbTrue(x1)", {1, 0}, Derivatives::CentralDifferences},
  };
  for (const NameRow& row : rows) ExpectAgreement(row);
}

TEST(CompiledNames, UnknownsShadowWhatTheEngineKnows) {
  // Unknowns named as a member or a built-in are the engine's variables first.
  for (const std::vector<std::string>& names :
       {std::vector<std::string>{"pi", "x2"}, std::vector<std::string>{"math", "x2"},
        std::vector<std::string>{"Sin", "x2"}}) {
    SCOPED_TRACE(names[0]);
    const std::string expr = names[0] + " * x2 + 1";
    Compiled c(expr, names);
    EXPECT_EQ(c.equation.Method(), Derivatives::Exact) << c.equation.FallbackReason();
    std::vector<double> g(2);
    EXPECT_EQ(c.equation.Evaluate(std::vector<double>{3, 5}, g).value, *EngineEval(expr, names, {3, 5}).value);
    EXPECT_EQ(g, (std::vector<double>{5, 3}));
  }
  // A constant cannot be assigned: the compile fails as the engine's AddCode does.
  EXPECT_THROW(Compiled("vbTrue + 1", {"vbTrue"}), eval::ScriptError);
}

TEST(EquationEngineNames, WhatAnEquationsEngineKnows) {
  struct Row {
    std::string name;
    eval::NameKind kind;
  };
  const std::vector<Row> rows{
      {"SinD", eval::NameKind::Member},     {"PI", eval::NameKind::Member},
      {"Math", eval::NameKind::Object},     {"sqr", eval::NameKind::Builtin},
      {"VBCRLF", eval::NameKind::Constant}, {"x1", eval::NameKind::Unknown},
      {"theFunction", eval::NameKind::Unknown},  // defined per equation, not known beforehand
      {"sinx", eval::NameKind::Unknown},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(eval::EquationEngineName(row.name).kind, row.kind);
    EXPECT_EQ(eval::IsEngineName(row.name), row.kind != eval::NameKind::Unknown);
  }
  EXPECT_EQ(eval::ToDouble(*eval::EquationEngineName("vbTrue").value), -1);
}

}  // namespace
