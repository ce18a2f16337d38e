// VBScript's error numbers and descriptions, at run time and when code is added.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using enginetest::FailureOf;
using enginetest::NewEngine;

struct ErrorRow {
  std::string code;
  int number;
  std::string description;
};

TEST(RuntimeErrors, NumberAndDescription) {
  const std::vector<ErrorRow> rows = {
      {"1 / 0", 11, "Division by zero"},
      {"x / 0", 6, "Overflow"},  // x is Empty: 0 / 0
      {"0 / 0", 6, "Overflow"},
      {"1 \\ 0", 11, "Division by zero"},
      {"1 Mod 0", 11, "Division by zero"},
      {"1E308 * 10", 6, "Overflow"},
      {"1E308 + 1E308", 6, "Overflow"},
      {"-1E308 - 1E308", 6, "Overflow"},
      {"Exp(1000)", 6, "Overflow"},
      {"10 ^ 400", 6, "Overflow"},
      {"1E300 / 1E-300", 6, "Overflow"},
      {"(-8) ^ (1/3)", 5, "Invalid procedure call or argument"},
      {"0 ^ -1", 5, "Invalid procedure call or argument"},
      {"Sqr(-1)", 5, "Invalid procedure call or argument"},
      {"Log(0)", 5, "Invalid procedure call or argument"},
      {"Log(-1)", 5, "Invalid procedure call or argument"},
      {"CInt(40000)", 6, "Overflow"},
      {"CLng(3e9)", 6, "Overflow"},
      {"-2147483648 \\ -1", 6, "Overflow"},
      {"Atn(\"x\")", 13, "Type mismatch"},
      {"\"abc\" * 2", 13, "Type mismatch"},
      {"\"\" + 1", 13, "Type mismatch"},
      {"foo(1)", 13, "Type mismatch: 'foo'"},
      {"FooBar()", 13, "Type mismatch: 'FooBar'"},
      {"Sqr(1, 2)", 450, "Wrong number of arguments or invalid property assignment"},
      {"Sqr()", 450, "Wrong number of arguments or invalid property assignment"},
      {"Abs", 450, "Wrong number of arguments or invalid property assignment"},
      {"CInt(Null)", 94, "Invalid use of Null"},
      {"Sqr(Null)", 94, "Invalid use of Null"},
      {"CStr(Null)", 94, "Invalid use of Null"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    auto engine = NewEngine();
    const auto failure = FailureOf([&] { engine->Eval(row.code); });
    EXPECT_EQ(failure.number, row.number);
    EXPECT_EQ(failure.description, row.description);
    // The same failure inside a function called from code.
    auto other = NewEngine();
    other->AddCode("Function theFunction()\r\nTheFunction  = " + row.code + "\r\nEnd Function");
    const auto viaFunction = FailureOf([&] { other->Eval("theFunction()"); });
    EXPECT_EQ(viaFunction.number, row.number);
    EXPECT_EQ(viaFunction.description, row.description);
  }
}

TEST(CompileErrors, NumberAndDescription) {
  const std::vector<ErrorRow> rows = {
      {"TheFunction = (x1+1", 1006, "Expected ')'"},
      {"TheFunction = ", 1002, "Syntax error"},
      {"x1 +* 2", 1002, "Syntax error"},
      {"1x = 2", 1024, "Expected statement"},
      {"\"x\"", 1024, "Expected statement"},
      {"= 3", 1024, "Expected statement"},
      {"x = \"abc", 1033, "Unterminated string constant"},
      {"x = 1 2", 1025, "Expected end of statement"},
      {"x = (1))", 1025, "Expected end of statement"},
      {"x = 5 # 3", 1032, "Invalid character"},
      {"x = 5 \xC2\xA7 3", 1032, "Invalid character"},
      {"x = Sqr(4", 1006, "Expected ')'"},
      {"x = math.", 1010, "Expected identifier"},
      {"x = 1E", 1002, "Syntax error"},
      {"For i = 1 To 3", 1002, "Syntax error"},
      {"Set x = y", 1002, "Syntax error"},
      {"Sub f()", 1002, "Syntax error"},
      {"Class C", 1002, "Syntax error"},
      {"Execute \"x = 1\"", 1002, "Syntax error"},
      {"ExecuteGlobal \"x = 1\"", 1002, "Syntax error"},
      {"Option Explicit", 1002, "Syntax error"},
      {"If x Then y = 1", 1002, "Syntax error"},
      {"x = CreateObject(\"WScript.Shell\"", 1006, "Expected ')'"},
      {"End Function", 1002, "Syntax error"},
      {"Exit Function", 1039, "Invalid 'exit' statement"},
      {"Dim", 1010, "Expected identifier"},
      {"Dim 1", 1010, "Expected identifier"},
      {"Function (", 1010, "Expected identifier"},
      {"Function f(1)", 1010, "Expected identifier"},
      {"Function f(a", 1006, "Expected ')'"},
      {"Function f()\nf = 1", 1012, "Expected 'End'"},
      {"Function f()\nf = 1\nEnd Sub", 1015, "Expected 'Function'"},
      {"Function f()\nExit Sub\nEnd Function", 1015, "Expected 'Function'"},
      {"Function f()\nFunction g()\nEnd Function\nEnd Function", 1002, "Syntax error"},
      {"Function f() x\nEnd Function", 1025, "Expected end of statement"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    auto engine = NewEngine();
    const auto failure = FailureOf([&] { engine->AddCode(row.code); });
    EXPECT_EQ(failure.number, row.number);
    EXPECT_EQ(failure.description, row.description);
  }
}

TEST(CompileErrors, CarryThePositionInTheCode) {
  auto engine = NewEngine();
  try {
    engine->AddCode("x = 1 +\n y = 2 # 3");
    FAIL() << "no error";
  } catch (const eval::ScriptError& error) {
    EXPECT_EQ(error.Number(), eval::ErrorNumber::SyntaxError);
    EXPECT_EQ(error.Position(), 7u);  // the line end where an operand was due
  }
  try {
    engine->AddCode("y = 2 # 3");
    FAIL() << "no error";
  } catch (const eval::ScriptError& error) {
    EXPECT_EQ(error.Position(), 6u);
  }
}

TEST(CompileErrors, EvalOfMalformedExpressions) {
  const std::vector<ErrorRow> rows = {
      {"", 1002, "Syntax error"},
      {"1 2", 1025, "Expected end of statement"},
      {"x = ", 1002, "Syntax error"},
      {"(1", 1006, "Expected ')'"},
      {"Function", 1002, "Syntax error"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    auto engine = NewEngine();
    const auto failure = FailureOf([&] { engine->Eval(row.code); });
    EXPECT_EQ(failure.number, row.number);
    EXPECT_EQ(failure.description, row.description);
  }
}

TEST(CompileErrors, LeadingBlankIsFine) {
  auto engine = NewEngine();
  engine->AddCode(" x2 = 0.5");
  engine->AddCode("\t x3 = 0.25 ");
  EXPECT_EQ(enginetest::EvalOn(*engine, "x2 + x3"), "Double:0.75");
}

TEST(ErrorTable, EveryNumberOnceWithADescription) {
  std::set<int> seen;
  for (const auto& entry : eval::ErrorTable()) {
    SCOPED_TRACE(static_cast<int>(entry.number));
    EXPECT_TRUE(seen.insert(static_cast<int>(entry.number)).second);
    EXPECT_FALSE(entry.description.empty());
    EXPECT_EQ(eval::DescriptionOf(entry.number), entry.description);
  }
}

TEST(Language, OnlyVBScript) {
  eval::ScriptEngine engine;
  EXPECT_EQ(FailureOf([&] { engine.AddCode("x = 1"); }).number, 5000);
  EXPECT_EQ(FailureOf([&] { engine.Eval("1"); }).number, 5000);
  EXPECT_EQ(FailureOf([&] { engine.SetLanguage("JScript"); }).number, 5000);
  EXPECT_EQ(FailureOf([&] { engine.SetLanguage(""); }).number, 5000);
  engine.SetLanguage("vbscript");
  EXPECT_EQ(engine.Language(), "VBScript");
  EXPECT_EQ(enginetest::EvalOn(engine, "1 + 1"), "Integer:2");
}

}  // namespace
