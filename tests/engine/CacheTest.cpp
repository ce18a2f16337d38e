// Compiled code is kept per text and `name = number` skips the compiler; the
// outcome must be the same as compiling every text afresh. Texts with a
// trailing comment take the general road.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using enginetest::Describe;
using enginetest::FakeLibrary;
using enginetest::NewEngine;

// Outcome of one AddCode: "ok" or the error.
std::string AddOutcome(eval::ScriptEngine& engine, const std::string& code) {
  try {
    engine.AddCode(code);
    return "ok";
  } catch (const eval::ScriptError& error) {
    return std::to_string(static_cast<int>(error.Number())) + " " + error.Description();
  }
}

std::string Peek(eval::ScriptEngine& engine, const std::string& expression) {
  try {
    return Describe(engine.Eval(expression));
  } catch (const eval::ScriptError& error) {
    return std::to_string(static_cast<int>(error.Number())) + " " + error.Description();
  }
}

// Disables the assignment shortcut: a statement with a comment takes the general road.
std::string Uncached(const std::string& code) { return code + "\n'" + std::string(5000, '-'); }

TEST(CacheEquivalence, AssignmentShortcutMatchesTheCompiler) {
  const std::vector<std::string> codes = {
      "x = -0.5",   "x = 1E-05", "x = 32768", "x = -32768", "X = 2",     "x=3",
      "x = 1E400",  "x = 1.",    "x = .5",    "x = 1E",     "x = -",     "x = --1",
      "Error = 1",  "f = 1",     "rem = 1",   "mod = 1",    "x1 = 0 ",   "x = 1 2",
      "x = 1e-400", "pi = 2",    "math = 1",  "sin = 0.5",  "x = 0.1.2", "\tx2\t=\t-7",
  };
  auto fast = NewEngine();
  auto slow = NewEngine();
  for (auto* engine : {fast.get(), slow.get()}) {
    engine->AddObject("math", std::make_shared<FakeLibrary>(), true);
    engine->AddCode("Function f()\nf = 1\nEnd Function");
  }
  for (const auto& code : codes) {
    SCOPED_TRACE(code);
    EXPECT_EQ(AddOutcome(*fast, code), AddOutcome(*slow, Uncached(code)));
    for (const char* probe : {"x", "X1", "x2", "Error", "f", "pi", "math.PI", "TypeName(x)", "sin"}) {
      EXPECT_EQ(Peek(*fast, probe), Peek(*slow, probe)) << probe;
    }
  }
}

TEST(CacheEquivalence, RepeatedAndRedefinedCodeMatchesFreshCompilation) {
  const std::vector<std::string> steps = {
      "Function theFunction()\r\nTheFunction  = x1^2-2*x2-2\r\nEnd Function",
      "x1 = 1.5",
      "Function theFunction()\r\nTheFunction  = x1^2-2*x2-2\r\nEnd Function",
      "x2 = -0.25",
      "Function theFunction()\r\nTheFunction  = x1 / x2\r\nEnd Function",
      "x2 = 0",
      "Function theFunction()\r\nTheFunction  = x1^2-2*x2-2\r\nEnd Function",
      "x2 = x1 + 1",
      "theFunction = 3",
      "Function theFunction()\r\nTheFunction  = e + pi\r\nEnd Function",
      "e = 2",
      "Function theFunction()\r\nTheFunction  = e + pi\r\nEnd Function",
      "Function theFunction()\r\nTheFunction  = (x1\r\nEnd Function",
  };
  auto cached = NewEngine();
  auto fresh = NewEngine();
  for (auto* engine : {cached.get(), fresh.get()}) {
    engine->AddObject("math", std::make_shared<FakeLibrary>(), true);
  }
  for (int round = 0; round < 3; ++round) {
    for (const auto& step : steps) {
      SCOPED_TRACE(step);
      EXPECT_EQ(AddOutcome(*cached, step), AddOutcome(*fresh, Uncached(step)));
      const std::string call = "theFunction()";
      EXPECT_EQ(Peek(*cached, call), Peek(*fresh, call + std::string(5000, ' ')));
    }
  }
}

TEST(CacheEquivalence, ManyDistinctTextsDoNotChangeResults) {
  auto engine = NewEngine();
  for (int i = 0; i < 2000; ++i) {
    const std::string n = std::to_string(i);
    engine->AddCode("Function theFunction()\r\nTheFunction  = " + n + " + x\r\nEnd Function");
    engine->AddCode("x = " + n);
    ASSERT_EQ(Peek(*engine, "theFunction()"), "Integer:" + std::to_string(2 * i)) << i;
    ASSERT_EQ(Peek(*engine, n + " * 2"), "Integer:" + std::to_string(2 * i)) << i;
  }
}

}  // namespace
