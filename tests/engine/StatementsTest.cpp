// Global statements, Function definitions and calls, and what AddCode leaves
// behind when it fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "EngineTestSupport.h"

namespace {

using enginetest::EvalOn;
using enginetest::FailureOf;
using enginetest::NewEngine;

TEST(GlobalStatements, AssignmentsPersistAndNamesIgnoreCase) {
  auto engine = NewEngine();
  engine->AddCode("a = 2");
  engine->AddCode("b = a * 3");
  EXPECT_EQ(EvalOn(*engine, "b"), "Integer:6");
  engine->AddCode("X1 = 3");
  EXPECT_EQ(EvalOn(*engine, "x1"), "Integer:3");
  engine->AddCode("x1 = x1 + 1");
  EXPECT_EQ(EvalOn(*engine, "X1"), "Integer:4");
  EXPECT_EQ(EvalOn(*engine, "neverAssigned"), "Empty:");
}

TEST(GlobalStatements, SeparatorsCommentsAndLineEnds) {
  auto engine = NewEngine();
  engine->AddCode("a = 1: b = 2 ' comment\nRem another line\r\nc = a + b\r\n\r\n");
  EXPECT_EQ(EvalOn(*engine, "c"), "Integer:3");
  engine->AddCode("d = 1 + _\r\n  4");
  EXPECT_EQ(EvalOn(*engine, "d"), "Integer:5");
  engine->AddCode("");
  engine->AddCode("' only a comment");
  engine->AddCode("\r\n");
}

TEST(GlobalStatements, DimCreatesEmptyAndKeepsValues) {
  auto engine = NewEngine();
  engine->AddCode("Dim p, q");
  EXPECT_EQ(EvalOn(*engine, "TypeName(p)"), "String:Empty");
  engine->AddCode("p = 5");
  engine->AddCode("Dim p");
  EXPECT_EQ(EvalOn(*engine, "p"), "Integer:5");
}

TEST(Functions, DefinitionCallAndRedefinition) {
  auto engine = NewEngine();
  engine->AddCode("Function theFunction()\r\nTheFunction  = 1\r\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "theFunction()"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, "THEFUNCTION"), "Integer:1");
  engine->AddCode("Function THEfunction()\r\nTheFunction  = 2\r\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "theFunction()"), "Integer:2");
  EXPECT_EQ(EvalOn(*engine, "theFunction(1)"), "error 450");
}

TEST(Functions, ParametersLocalsAndExit) {
  auto engine = NewEngine();
  engine->AddCode(
      "Function add(a, ByVal b)\n"
      "  add = a + b\n"
      "End Function\n"
      "Function scaled(x)\n"
      "  Dim factor\n"
      "  factor = 10\n"
      "  scaled = x * factor\n"
      "End Function\n"
      "Function early(x)\n"
      "  early = 1\n"
      "  Exit Function\n"
      "  early = 2\n"
      "End Function\n"
      "Public Function one(): one = 1: End Function\n"
      "Private Function two\n two = 2\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "add(2, 3)"), "Integer:5");
  EXPECT_EQ(EvalOn(*engine, "add(2)"), "error 450");
  EXPECT_EQ(EvalOn(*engine, "add(1, 2, 3)"), "error 450");
  EXPECT_EQ(EvalOn(*engine, "scaled(1.5)"), "Double:15");
  EXPECT_EQ(EvalOn(*engine, "factor"), "Empty:");
  EXPECT_EQ(EvalOn(*engine, "early(0)"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, "one + two"), "Integer:3");
  EXPECT_EQ(EvalOn(*engine, "add(add(1, 2), add(3, 4))"), "Integer:10");
}

TEST(Functions, ImplicitNamesUpdateAnExistingGlobalElseStayLocal) {
  auto engine = NewEngine();
  engine->AddCode("Function g()\n t = 5\n g = t * 2\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "g()"), "Integer:10");
  EXPECT_EQ(EvalOn(*engine, "t"), "Empty:");
  engine->AddCode("t = 1");
  EXPECT_EQ(EvalOn(*engine, "g()"), "Integer:10");
  EXPECT_EQ(EvalOn(*engine, "t"), "Integer:5");
  // Dim makes a local even when a global of that name exists.
  engine->AddCode("t = 1\nFunction h()\n Dim t\n t = 7\n h = t\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "h()"), "Integer:7");
  EXPECT_EQ(EvalOn(*engine, "t"), "Integer:1");
}

TEST(Functions, ByRefHandsBackAssignedParameters) {
  auto engine = NewEngine();
  engine->AddCode(
      "Function inc(n)\n n = n + 1\n inc = n\nEnd Function\n"
      "Function incVal(ByVal n)\n n = n + 1\n incVal = n\nEnd Function\n"
      "Function outer(m)\n outer = inc(m) * 10 + m\nEnd Function");
  engine->AddCode("c = 1");
  engine->AddCode("d = inc(c)");
  EXPECT_EQ(EvalOn(*engine, "c & \",\" & d"), "String:2,2");
  engine->AddCode("d = incVal(c)");
  EXPECT_EQ(EvalOn(*engine, "c & \",\" & d"), "String:2,3");
  engine->AddCode("d = inc((c))");  // parentheses pass a copy
  EXPECT_EQ(EvalOn(*engine, "c"), "Integer:2");
  engine->AddCode("Call inc(c)");
  EXPECT_EQ(EvalOn(*engine, "c"), "Integer:3");
  engine->AddCode("inc c");
  EXPECT_EQ(EvalOn(*engine, "c"), "Integer:4");
  engine->AddCode("d = outer(c)");  // a local passed on ByRef
  EXPECT_EQ(EvalOn(*engine, "c & \",\" & d"), "String:5,55");
}

// Operands are evaluated left to right: a call on the right that changes a
// variable on the left does not change the left operand's value.
TEST(Functions, LeftOperandIsTakenBeforeTheRightRuns) {
  auto engine = NewEngine();
  engine->AddCode("a = 1\nFunction bump()\n a = 5\n bump = 0\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "a + bump()"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, "bump() + a"), "Integer:5");
  engine->AddCode("a = 1");
  EXPECT_EQ(EvalOn(*engine, "-a + bump() * 2 - a"), "Integer:-6");
  // A local on the left while the right-hand call grows the locals.
  engine->AddCode(
      "Function many(n)\n Dim p1, p2, p3, p4, p5, p6, p7, p8\n p8 = n\n many = p8\nEnd Function\n"
      "Function outer(n)\n Dim x\n x = n\n outer = x + many(many(many(2)))\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "outer(40)"), "Integer:42");
}

TEST(Functions, UseBeforeDefinitionInTheSameCode) {
  auto engine = NewEngine();
  engine->AddCode("a = later() + 1\nFunction later()\nlater = 5\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "a"), "Integer:6");
}

TEST(Functions, NamesThatAreNoFunctions) {
  auto engine = NewEngine();
  engine->AddCode("v = 1\nFunction f(p)\n f = p(1)\nEnd Function\nFunction k()\n k = 1\nEnd Function");
  EXPECT_EQ(FailureOf([&] { engine->Eval("v(1)"); }).description, "Type mismatch: 'v'");
  EXPECT_EQ(FailureOf([&] { engine->Eval("V()"); }).description, "Type mismatch: 'V'");
  EXPECT_EQ(FailureOf([&] { engine->Eval("f(2)"); }).description, "Type mismatch: 'p'");
  EXPECT_EQ(FailureOf([&] { engine->Eval("v.x"); }).description, "Object required: 'v'");
  const auto illegal = FailureOf([&] { engine->AddCode("k = 3"); });
  EXPECT_EQ(illegal.number, 501);
  EXPECT_EQ(illegal.description, "Illegal assignment: 'k'");
  EXPECT_EQ(FailureOf([&] { engine->AddCode("Dim k"); }).number, 1041);
}

TEST(Functions, ScriptFunctionShadowsBuiltin) {
  auto engine = NewEngine();
  EXPECT_EQ(EvalOn(*engine, "Sqr(4)"), "Double:2");
  engine->AddCode("Function Sqr(x)\nSqr = 42\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "sqr(4)"), "Integer:42");
  engine->AddCode("sin = 3");
  EXPECT_EQ(EvalOn(*engine, "sin"), "Integer:3");
}

TEST(AddCodeFailure, CompileErrorChangesNothing) {
  auto engine = NewEngine();
  engine->AddCode("z = 1\nFunction q()\nq = 1\nEnd Function");
  const auto failure =
      FailureOf([&] { engine->AddCode("z = 5\nFunction q()\nq = 2\nEnd Function\nFunction r()\nEnd Function\nw = ("); });
  EXPECT_EQ(failure.number, 1002);
  EXPECT_EQ(EvalOn(*engine, "z"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, "q()"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, "r()"), "error 13");
  EXPECT_EQ(EvalOn(*engine, "w"), "Empty:");
}

TEST(AddCodeFailure, RuntimeErrorKeepsEarlierStatementsAndFunctions) {
  auto engine = NewEngine();
  const auto failure = FailureOf(
      [&] { engine->AddCode("p = 1\nr = 1/0\ns = 2\nFunction m()\nm = 9\nEnd Function"); });
  EXPECT_EQ(failure.number, 11);
  EXPECT_EQ(EvalOn(*engine, "p"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, "s"), "Empty:");
  EXPECT_EQ(EvalOn(*engine, "r"), "Empty:");
  EXPECT_EQ(EvalOn(*engine, "m()"), "Integer:9");
}

// What the evaluator does for every evaluation, against the same arithmetic
// done natively on the 15-digit values the engine reads.
TEST(EvaluatorSequence, AssignDefineEvaluate) {
  auto engine = NewEngine();
  for (int i = 0; i < 200; ++i) {
    const double x1 = -0.79 + 0.01 * i;
    const double x2 = -1.54 + 0.003 * i;
    char t1[64], t2[64];
    std::snprintf(t1, sizeof t1, "%.15G", x1);
    std::snprintf(t2, sizeof t2, "%.15G", x2);
    SCOPED_TRACE(std::string(t1) + " " + t2);
    engine->AddCode(std::string("x1 = ") + t1);
    engine->AddCode(std::string("x2 = ") + t2);
    engine->AddCode("Function theFunction()\r\nTheFunction  = x1^2-2*x2-2\r\nEnd Function");
    const eval::Value v = engine->Eval("theFunction()");
    const double a = std::strtod(t1, nullptr);
    const double b = std::strtod(t2, nullptr);
    ASSERT_EQ(v.Type(), eval::VarType::Double);
    EXPECT_EQ(v.AsDouble(), std::pow(a, 2.0) - 2 * b - 2);
  }
}

}  // namespace
