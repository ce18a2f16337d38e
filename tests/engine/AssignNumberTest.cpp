// AssignNumber is `name = number` added as code, only faster: every outcome,
// failures included, must be the one AddCode gives for the same text.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "eval/NumberText.h"

namespace {

using enginetest::Describe;
using enginetest::FailureOf;
using enginetest::FakeLibrary;
using enginetest::NewEngine;

// An engine with a function, a library object and an earlier variable, so
// that names of every kind are there to hit.
std::unique_ptr<eval::ScriptEngine> PreparedEngine() {
  auto engine = NewEngine();
  engine->AddObject("lib", std::make_shared<FakeLibrary>(), true);
  engine->AddCode("Function theFunction()\r\nTheFunction  = x1 + 1\r\nEnd Function");
  engine->AddCode("x1 = 5");
  return engine;
}

// The failure of the operation and what the name and the function read afterwards.
std::string Outcome(eval::ScriptEngine& engine, const std::function<void()>& operation,
                    const std::string& name) {
  const auto failure = FailureOf(operation);
  std::string text = std::to_string(failure.number) + " " + failure.description;
  for (const std::string& expression : {name, std::string("theFunction()"), std::string("Error")}) {
    try {
      text += " | " + Describe(engine.Eval(expression));
    } catch (const eval::ScriptError& error) {
      text += " | error " + std::to_string(static_cast<int>(error.Number()));
    }
  }
  return text;
}

TEST(AssignNumber, SameOutcomeAsAddingTheCode) {
  const std::vector<std::string> names = {"x1", "X1", "x2", "abs", "lib", "Error", "PI", "theFunction",
                                          "vbTab", "Dim", "rem", "Rem", "1x", "x 1", "", " x1", "x1 ",
                                          "x_1", "x1'", "x1:x2", "Mod", "é"};
  const std::vector<std::string> texts = {"0.5", "-0.79", "1E-05", "-1.2E+300", "2", "-32768", "32768",
                                          "1e400", "1e-400", "abc", "1+2", "", "- 1", "--1", "&H10",
                                          ".5", "5.", "1e", " 2", "2 ", "1.79769313486232E+308", "0",
                                          "-0", "1:y=2", "3 ' note", "\"3\""};
  for (const auto& name : names) {
    for (const auto& text : texts) {
      SCOPED_TRACE(name + " = " + text);
      auto viaCode = PreparedEngine();
      auto viaAssign = PreparedEngine();
      const std::string code = Outcome(*viaCode, [&] { viaCode->AddCode(name + " = " + text); }, name);
      const std::string assign = Outcome(*viaAssign, [&] { viaAssign->AssignNumber(name, text); }, name);
      EXPECT_EQ(assign, code);
    }
  }
}

TEST(AssignNumber, FromADoubleAsFromItsNumberText) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> exponent(-30.0, 30.0);
  auto viaCode = PreparedEngine();
  auto viaAssign = PreparedEngine();
  for (int i = 0; i < 5000; ++i) {
    const double v = (i % 2 ? -1 : 1) * (i % 7 == 0 ? std::round(std::pow(10.0, exponent(random) / 3))
                                                    : std::pow(10.0, exponent(random)));
    const std::string name = "x" + std::to_string(i % 4);
    viaCode->AddCode(name + " = " + eval::NumberText(v));
    viaAssign->AssignNumber(name, v);
    ASSERT_EQ(Describe(viaAssign->Eval(name)), Describe(viaCode->Eval(name))) << v;
    ASSERT_EQ(Describe(viaAssign->Eval("theFunction()")), Describe(viaCode->Eval("theFunction()"))) << v;
  }
  for (double v : {1.7976931348623157E308, -1.7976931348623157E308, HUGE_VAL, std::nan("")}) {
    SCOPED_TRACE(v);
    EXPECT_EQ(FailureOf([&] { viaAssign->AssignNumber("x1", v); }).number, 6);
  }
  EXPECT_EQ(FailureOf([&] { viaAssign->AssignNumber("theFunction", 1.5); }).number, 501);
  EXPECT_EQ(FailureOf([&] { viaAssign->AssignNumber("1x", 1.5); }).number, 1024);
}

}  // namespace

namespace {

// The same double twice in a row may skip the work, never the assignment:
// whatever code did to the variable in between is overwritten.
TEST(AssignNumber, RepeatedDoubleStillAssigns) {
  auto engine = PreparedEngine();
  engine->AssignNumber("x1", 0.25);
  EXPECT_EQ(Describe(engine->Eval("x1")), "Double:0.25");
  const std::vector<std::string> changes = {"x1 = 7", "x1 = \"0.25\"", "x1 = 0.250000000000001",
                                            "Dim x1", "x1 = Null", "x1 = -0.25"};
  for (const auto& change : changes) {
    SCOPED_TRACE(change);
    engine->AddCode(change);
    engine->AssignNumber("x1", 0.25);
    EXPECT_EQ(Describe(engine->Eval("x1")), "Double:0.25");
    engine->AssignNumber("X1", 0.25);  // another spelling of the same variable
    EXPECT_EQ(Describe(engine->Eval("theFunction()")), "Double:1.25");
  }
  engine->AddCode("Function x1()\r\nx1 = 3\r\nEnd Function");  // the name becomes a function
  EXPECT_EQ(FailureOf([&] { engine->AssignNumber("x1", 0.25); }).number, 501);
}

}  // namespace

namespace {

// AssignNumbers is AssignNumber for each pair in order: the same variables
// afterwards and the same failure, which leaves the names before it assigned
// and those after it untouched. Code run between the calls changes kinds.
TEST(AssignNumbers, SameAsOneAtATime) {
  struct Call {
    std::string codeBefore;
    std::vector<std::string> names;
    std::vector<double> values;
  };
  const std::vector<Call> calls = {
      {"", {"x1", "x2", "x3"}, {0.25, -1.5, 3}},
      {"", {"x1", "x2", "x3"}, {0.25, -1.5000000000000002, 3}},
      {"x2 = \"text\"", {"x1", "x2", "x3"}, {0.5, -1.5, 3}},
      {"", {"x3", "x1", "x2"}, {1E20, 2.5, 40000}},
      {"", {"x1", "1x", "x3"}, {7, 8, 9}},
      {"", {"x1", "x2", "x3"}, {1, HUGE_VAL, 2}},
      {"Function x2()\r\nx2 = 3\r\nEnd Function", {"x1", "x2", "x3"}, {4, 5, 6}},
      {"", {"X1", "x4", "x3"}, {0.125, 1.7976931348623157E308, 0.75}},
      {"", {"x1", "x3"}, {1.25, 2.25}},
      {"", {"x1", "x3"}, {1.25, 2.25}},
  };
  auto batch = PreparedEngine();
  auto single = PreparedEngine();
  for (const Call& call : calls) {
    SCOPED_TRACE(call.codeBefore + " then " + call.names[0] + "...");
    if (!call.codeBefore.empty()) {
      batch->AddCode(call.codeBefore);
      single->AddCode(call.codeBefore);
    }
    const auto batchFailure = FailureOf([&] { batch->AssignNumbers(call.names, call.values); });
    const auto singleFailure = FailureOf([&] {
      for (std::size_t i = 0; i < call.names.size(); ++i) single->AssignNumber(call.names[i], call.values[i]);
    });
    EXPECT_EQ(batchFailure.number, singleFailure.number);
    for (const std::string& name : {"x1", "x2", "x3", "x4", "theFunction()"}) {
      EXPECT_EQ(Outcome(*batch, [] {}, name), Outcome(*single, [] {}, name)) << name;
    }
  }
}

}  // namespace
