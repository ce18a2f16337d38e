// Long chains of operators compile, run and differentiate without using stack
// per term; only real nesting counts, refused as the engine refuses it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CompiledTestSupport.h"

namespace {

using compiledtest::Compiled;
using compiledtest::EngineEval;

std::string Repeat(const std::string& piece, int count, const std::string& between) {
  std::string text;
  text.reserve((piece.size() + between.size()) * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += between;
    text += piece;
  }
  return text;
}

TEST(CompiledLongExpressions, FlatChainsOfAnyLength) {
  struct Row {
    std::string name;
    std::string expr;
    std::vector<double> x;
    double value;
    std::vector<double> gradient;
  };
  const std::vector<Row> rows{
      {"sum", Repeat("x1 + x2", 100000, " + "), {1.5, -0.25}, 125000, {100000, 100000}},
      {"product", Repeat("x1", 200000, "*") + " * x2", {1, 3}, 3, {600000, 1}},
      // Right operands with nesting of their own, all along the chain.
      {"nested terms", Repeat("(x1 * (x2 + 1))", 20000, " - "), {2, 1}, -79992, {-39996, -39996}},
  };
  const std::vector<std::string> names{"x1", "x2"};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Compiled c(row.expr, names);
    ASSERT_EQ(c.equation.Method(), eval::Derivatives::Exact) << c.equation.FallbackReason();
    std::vector<double> g(2);
    const eval::EquationResult r = c.equation.Evaluate(row.x, g);
    ASSERT_EQ(r.fault, eval::EquationFault::None) << r.description;
    EXPECT_EQ(r.value, row.value);
    EXPECT_EQ(g, row.gradient);
    EXPECT_EQ(EngineEval(row.expr, names, row.x).value, row.value);
  }
}

TEST(CompiledLongExpressions, DeepNestingIsRefusedAsTheEngineRefusesIt) {
  const std::vector<std::string> deep{
      std::string(2000, '(') + "x1" + std::string(2000, ')'),
      std::string(5000, '-') + "x1",
      Repeat("x1 + (", 1000, "") + "x1" + std::string(1000, ')'),
      Repeat("Sin(", 1000, "") + "x1" + std::string(1000, ')'),
  };
  for (const std::string& expr : deep) {
    SCOPED_TRACE(expr.substr(0, 20));
    const compiledtest::EngineAnswer engine = EngineEval(expr, {"x1"}, {1});
    ASSERT_EQ(engine.error, "Out of stack space");
    try {
      Compiled c(expr, {"x1"});
      ADD_FAILURE() << "compiled";
    } catch (const eval::ScriptError& error) {
      EXPECT_EQ(error.Description(), engine.error);
    }
  }
  // Nesting the engine takes compiles to the engine's value.
  const std::string nested = Repeat("x1 * (", 150, "") + "1" + std::string(150, ')');
  Compiled c(nested, {"x1"});
  std::vector<double> g(1);
  const eval::EquationResult r = c.equation.Evaluate(std::vector<double>{1.0}, g);
  EXPECT_EQ(r.value, 1);
  EXPECT_EQ(g[0], 150);
}

TEST(CompiledLongExpressions, GradientsBeyondTheirBudgetFallBack) {
  // 1000 unknowns, 36000 operations: the gradients would take 288 MB.
  std::vector<std::string> names;
  std::string sum;
  for (int i = 1; i <= 1000; ++i) names.push_back("x" + std::to_string(i));
  for (int k = 0; k < 36; ++k) {
    for (const std::string& name : names) sum += name + "+";
  }
  sum += "0";
  Compiled c(sum, names);
  EXPECT_EQ(c.equation.Method(), eval::Derivatives::CentralDifferences);
  EXPECT_EQ(c.equation.FallbackReason(), "The equation needs more than 256 MiB for the gradients of its operations");
  const eval::EquationResult r = c.equation.Evaluate(std::vector<double>(1000, 0.5));
  EXPECT_EQ(r.value, 18000);
}

}  // namespace
