// What a text costs: every expression, statement and name counts as one node
// of the syntax tree, a text beyond the bound is Out of memory, and a long
// text is compiled once however its evaluations interleave with others.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "eval/Parser.h"
#include "eval/ScriptError.h"

namespace {

using enginetest::EvalOn;
using enginetest::NewEngine;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int k = 0; k < times; ++k) text += piece;
  return text;
}

TEST(TreeSize, EachNodeCountsOnceAndTheBoundIsExact) {
  struct Row {
    std::string text;
    bool code;  // statements (ParseCode) or one expression
    std::size_t nodes;
  };
  const std::vector<Row> rows{
      {"1", false, 1},
      {"x", false, 2},                  // the expression and its name
      {"1+2*3", false, 5},
      {"-x", false, 3},
      {"f(1, 2)", false, 4},            // the call, its name, two literals
      {"o.m(1)", false, 4},             // the member expression, two names, a literal
      {"(((1)))", false, 1},            // parentheses add none
      {Repeat("1+", 1000) + "1", false, 2001},
      {"x = 1", true, 3},               // the statement, its name, the literal
      {"Dim a, b", true, 3},
      {"o.p = 2", true, 5},             // statement, two names, target, literal
      {"Function f(a)\nf = a\nEnd Function", true, 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    auto parse = [&](std::size_t maxNodes) {
      return row.code ? eval::ParseCode(row.text, maxNodes) : eval::ParseExpression(row.text, maxNodes);
    };
    EXPECT_EQ(parse(row.nodes)->nodeCount, row.nodes);
    try {
      parse(row.nodes - 1);
      ADD_FAILURE() << "parsed beyond the bound";
    } catch (const eval::ScriptError& error) {
      EXPECT_EQ(error.Number(), eval::ErrorNumber::OutOfMemory);
      EXPECT_EQ(error.Description(), "Out of memory");
    }
  }
}

TEST(TreeSize, ALongTextIsCompiledOnceAmongOthers) {
  auto engine = NewEngine();
  const std::string longCode = "Function f()\r\nf = " + Repeat("x+", 50000) + "1\r\nEnd Function";
  const auto first = engine->CompiledCode(longCode);
  for (int round = 0; round < 3; ++round) {
    engine->AddCode("x = " + std::to_string(round + 1));
    engine->AddCode("Function g()\r\ng = 2\r\nEnd Function");
    engine->AddCode(longCode);
    EXPECT_EQ(EvalOn(*engine, "f()"), "Long:" + std::to_string(50000 * (round + 1) + 1));
    EXPECT_EQ(engine->CompiledCode(longCode), first);
  }
}

}  // namespace
