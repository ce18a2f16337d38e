// Hostile code: deep nesting, endless recursion, bytes that are no text, huge
// inputs and runaway texts end in an error (or a value), never in a crash, and
// the engine keeps working afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using enginetest::EvalOn;
using enginetest::FailureOf;
using enginetest::NewEngine;

constexpr int kHostileDepth = 100000;

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  text.reserve(piece.size() * static_cast<std::size_t>(times));
  for (int k = 0; k < times; ++k) text += piece;
  return text;
}

void ExpectUsable(eval::ScriptEngine& engine) { EXPECT_EQ(EvalOn(engine, "1 + 1"), "Integer:2"); }

TEST(DepthLimits, DeepNestingIsOutOfStackSpace) {
  struct Row {
    std::string name;
    std::string expression;
  };
  const std::vector<Row> rows = {
      {"parentheses", Repeat("(", kHostileDepth) + "1" + Repeat(")", kHostileDepth)},
      {"unary minus", Repeat("-", kHostileDepth) + "1"},
      {"Not", Repeat("Not ", kHostileDepth) + "1"},
      {"signs after ^", "2^" + Repeat("-", kHostileDepth) + "2"},
      {"parenthesized sums", Repeat("(1+", kHostileDepth) + "1" + Repeat(")", kHostileDepth)},
      {"function calls", Repeat("Abs(", kHostileDepth) + "1" + Repeat(")", kHostileDepth)},
      {"member calls", Repeat("Sqr(1+", kHostileDepth) + "1" + Repeat(")", kHostileDepth)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto engine = NewEngine();
    const auto viaEval = FailureOf([&] { engine->Eval(row.expression); });
    EXPECT_EQ(viaEval.number, 28);
    EXPECT_EQ(viaEval.description, "Out of stack space");
    const auto viaCode = FailureOf([&] { engine->AddCode("TheFunction = " + row.expression); });
    EXPECT_EQ(viaCode.number, 28);
    ExpectUsable(*engine);
  }
}

// A flat chain is one level however long: it evaluates, or fails with the
// error of its arithmetic, never with Out of stack space.
TEST(DepthLimits, LongFlatChainsEvaluate) {
  struct Row {
    std::string name;
    std::string expression;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"sum chain", Repeat("1+", kHostileDepth) + "1", "Long:100001"},
      {"product chain", "1" + Repeat("*1", kHostileDepth), "Integer:1"},
      {"power chain", Repeat("2^", kHostileDepth) + "2", "error 6"},
      {"signed exponents", Repeat("2^-", kHostileDepth) + "2", "error 6"},
      {"mixed levels", Repeat("2*3-1+", 20000) + "0", "Long:100000"},
      {"comparisons", Repeat("1<", 20000) + "2", "Boolean:True"},
      {"joins", Repeat("\"a\"&", 20000) + "1", "String:" + Repeat("a", 20000) + "1"},
      {"sum in parentheses", "(" + Repeat("1+", 20000) + "1)*2", "Long:40002"},
      {"sum as an argument", "Abs(-" + Repeat("1-", 20000) + "1)", "Integer:20001"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto engine = NewEngine();
    EXPECT_EQ(EvalOn(*engine, row.expression), row.expected);
    engine->AddCode("Function f()\r\nf = " + row.expression + "\r\nEnd Function");
    EXPECT_EQ(EvalOn(*engine, "f()"), row.expected);
  }
}

TEST(DepthLimits, ModerateNestingWorks) {
  auto engine = NewEngine();
  EXPECT_EQ(EvalOn(*engine, Repeat("(", 100) + "1" + Repeat(")", 100)), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, Repeat("-", 100) + "1"), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, Repeat("Abs(", 100) + "-1" + Repeat(")", 100)), "Integer:1");
  EXPECT_EQ(EvalOn(*engine, Repeat("1+", 500) + "1"), "Integer:501");
}

TEST(DepthLimits, EndlessRecursionIsOutOfStackSpace) {
  auto engine = NewEngine();
  engine->AddCode("Function f(): f = f() + 1: End Function");
  const auto failure = FailureOf([&] { engine->Eval("f()"); });
  EXPECT_EQ(failure.number, 28);
  EXPECT_EQ(failure.description, "Out of stack space");
  ExpectUsable(*engine);

  engine->AddCode("Function a(x)\n a = b(x + 1)\nEnd Function\nFunction b(x)\n b = a(x * 1)\nEnd Function");
  EXPECT_EQ(FailureOf([&] { engine->Eval("a(1)"); }).number, 28);
  // Bare-name recursion and recursion inside deep expressions.
  engine->AddCode("Function g\n g = 1 + (((((g()))))) \nEnd Function");
  EXPECT_EQ(FailureOf([&] { engine->Eval("g"); }).number, 28);
  engine->AddCode("Function h(n)\n h = " + Repeat("(", 300) + "h(n)" + Repeat(")", 300) + "\nEnd Function");
  EXPECT_EQ(FailureOf([&] { engine->Eval("h(1)"); }).number, 28);
  ExpectUsable(*engine);
  // A run-time error during global code also unwinds cleanly.
  EXPECT_EQ(FailureOf([&] { engine->AddCode("r = f()"); }).number, 28);
  ExpectUsable(*engine);
}

TEST(HostileText, NulBytesAndInvalidUtf8) {
  auto engine = NewEngine();
  const std::string nul("x = 1\0", 6);
  EXPECT_EQ(FailureOf([&] { engine->AddCode(nul); }).number, 1032);
  EXPECT_EQ(FailureOf([&] { engine->Eval(std::string("1 +\0 2", 6)); }).number, 1032);
  EXPECT_EQ(FailureOf([&] { engine->AddCode("x = \xff"); }).number, 1032);
  EXPECT_EQ(FailureOf([&] { engine->AddCode("x\xc3\xa9 = 1"); }).number, 1032);
  EXPECT_EQ(FailureOf([&] { engine->AddCode("\xef\xbb\xbfx = 1"); }).number, 1032);
  // Inside a text literal every byte passes through.
  EXPECT_EQ(EvalOn(*engine, std::string("Len(\"a\0b\")", 10)), "Long:3");
  EXPECT_EQ(EvalOn(*engine, "Len(\"\xff\xfe\")"), "Long:2");
  EXPECT_EQ(EvalOn(*engine, "\"30度15分20秒\" & \"\""), "String:30度15分20秒");
  EXPECT_EQ(EvalOn(*engine, "Left(\"\xe5\xba\", 1)"), "String:\xe5");
  ExpectUsable(*engine);
}

// An empty view may point nowhere; added or evaluated twice, it meets the
// compiled-code cache's compare (the sanitizer build checks that compare).
TEST(HostileText, EmptyViewsWithoutData) {
  auto engine = NewEngine();
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(FailureOf([&] { engine->AddCode(std::string_view()); }).number, 0);
    EXPECT_NE(FailureOf([&] { engine->Eval(std::string_view()); }).number, 0);
  }
  ExpectUsable(*engine);
}

TEST(HostileText, MegabyteInputs) {
  constexpr int kMegabyte = 1 << 20;
  auto engine = NewEngine();
  // A megabyte-long text literal.
  engine->AddCode("s = \"" + std::string(kMegabyte, 'x') + "\"");
  EXPECT_EQ(EvalOn(*engine, "Len(s)"), "Long:1048576");
  // A megabyte of comment.
  engine->AddCode("' " + std::string(kMegabyte, 'c') + "\nc = 1");
  EXPECT_EQ(EvalOn(*engine, "c"), "Integer:1");
  // A megabyte of statements.
  engine->AddCode(Repeat("a = a + 1\n", kMegabyte / 10));
  EXPECT_EQ(EvalOn(*engine, "a"), "Long:" + std::to_string(kMegabyte / 10));  // past 32767: Long
  // A megabyte-long name.
  engine->AddCode(std::string(kMegabyte, 'n') + " = 2");
  EXPECT_EQ(EvalOn(*engine, std::string(kMegabyte, 'N')), "Integer:2");
  // A megabyte of digits.
  EXPECT_EQ(EvalOn(*engine, std::string(kMegabyte, '9')), "error 6");
  EXPECT_EQ(EvalOn(*engine, "0." + std::string(kMegabyte, '0') + "1"), "Double:0");
  EXPECT_EQ(EvalOn(*engine, "1e" + std::string(kMegabyte, '9')), "error 6");
  EXPECT_EQ(EvalOn(*engine, "&H" + std::string(kMegabyte, 'F')), "error 6");
  ExpectUsable(*engine);
}

TEST(HostileText, RunawayTextsAreOutOfStringSpace) {
  auto engine = NewEngine();
  engine->AddCode("s = \"" + std::string(std::size_t{8} << 20, 'x') + "\"");
  engine->AddCode("s = s & s: s = s & s: s = s & s");  // 64 MiB: still allowed
  EXPECT_EQ(EvalOn(*engine, "Len(s)"), "Long:67108864");
  const auto failure = FailureOf([&] { engine->AddCode("t = s & \"!\""); });
  EXPECT_EQ(failure.number, 14);
  EXPECT_EQ(failure.description, "Out of string space");
  EXPECT_EQ(FailureOf([&] { engine->Eval("s + \"!\""); }).number, 14);
  engine->AddCode("s = Empty");
  ExpectUsable(*engine);
}

TEST(HostileText, NothingReachesTheOutsideWorld) {
  auto engine = NewEngine();
  EXPECT_EQ(EvalOn(*engine, "CreateObject(\"WScript.Shell\")"), "error 13");
  EXPECT_EQ(EvalOn(*engine, "GetObject(\"x\")"), "error 13");
  EXPECT_EQ(EvalOn(*engine, "Eval(\"1\")"), "error 13");
  EXPECT_EQ(FailureOf([&] { engine->AddCode("Execute \"x = 1\""); }).number, 1002);
  EXPECT_EQ(FailureOf([&] { engine->AddCode("Set fso = Nothing"); }).number, 1002);
}

TEST(HostileText, EngineUsableAfterEveryKindOfFailure) {
  auto engine = NewEngine();
  engine->AddCode("keep = 42");
  const std::vector<std::string> failing = {"x = (", "x = 1/0", "x = foo(1)", "x = \"", "x = \x01",
                                            "Function f(", "x = " + Repeat("(", 5000)};
  for (const auto& code : failing) {
    SCOPED_TRACE(code.substr(0, 20));
    EXPECT_NE(FailureOf([&] { engine->AddCode(code); }).number, 0);
    EXPECT_EQ(EvalOn(*engine, "keep"), "Integer:42");
    ExpectUsable(*engine);
  }
}

}  // namespace

namespace {

// Many copies of a large text, kept in variables or made by one statement,
// end in "Out of string space" instead of exhausting memory.
TEST(HostileText, CopiesOfLargeTextsAreBounded) {
  auto engine = NewEngine();
  engine->AddCode("s = \"" + std::string(std::size_t{8} << 20, 'x') + "\"");
  engine->AddCode("s = s & s: s = s & s: s = s & s");  // 64 MiB
  int kept = 0;
  eval::ErrorNumber stop = eval::ErrorNumber::SyntaxError;
  for (int k = 0; k < 100; ++k) {
    try {
      engine->AddCode("copy" + std::to_string(k) + " = s");
      ++kept;
    } catch (const eval::ScriptError& error) {
      stop = error.Number();
      break;
    }
  }
  EXPECT_EQ(stop, eval::ErrorNumber::OutOfStringSpace);
  EXPECT_LT(kept, 4);  // 64 MiB each within the engine's 256 MiB for variables
  EXPECT_EQ(FailureOf([&] { engine->AddCode("copy" + std::to_string(kept) + " = s"); }).number, 14);
  EXPECT_EQ(EvalOn(*engine, "IsEmpty(copy" + std::to_string(kept) + ")"), "Boolean:True");
  // Temporaries: a call with many copies of the text as arguments.
  engine->AddCode("Function many(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q)\n many = 1\nEnd Function");
  EXPECT_EQ(FailureOf([&] { engine->Eval("many(s, s, s, s, s, s, s, s, s, s, s, s, s, s, s, s, s)"); }).number, 14);
  // Freeing variables gives the space back.
  for (int k = 0; k < kept; ++k) engine->AddCode("copy" + std::to_string(k) + " = 0");
  engine->AddCode("again = s");
  EXPECT_EQ(EvalOn(*engine, "Len(again)"), "Long:67108864");
  // Locals of finished calls count no more.
  engine->AddCode("Function hold(x)\n Dim t\n t = x & \"\"\n hold = Len(t)\nEnd Function");
  for (int k = 0; k < 5; ++k) EXPECT_EQ(EvalOn(*engine, "hold(s)"), "Long:67108864");
  ExpectUsable(*engine);
}

}  // namespace
