// Objects added to the engine: members by bare name in any case and as
// object.member, properties read and assigned, argument counts, lookup order.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineTestSupport.h"

namespace {

using enginetest::EvalOn;
using enginetest::FailureOf;
using enginetest::FakeLibrary;
using enginetest::NewEngine;

class ObjectMembers : public ::testing::Test {
 protected:
  void SetUp() override { engine->AddObject("math", library, true); }
  std::shared_ptr<FakeLibrary> library = std::make_shared<FakeLibrary>();
  std::unique_ptr<eval::ScriptEngine> engine = NewEngine();
};

TEST_F(ObjectMembers, BareNamesInAnyCaseAndQualifiedNames) {
  EXPECT_EQ(EvalOn(*engine, "pi"), "Double:3.14159265358979");
  EXPECT_EQ(EvalOn(*engine, "Pi * 2"), "Double:6.28318530717958");
  EXPECT_EQ(EvalOn(*engine, "twice(4)"), "Double:8");
  EXPECT_EQ(EvalOn(*engine, "TWICE(4)"), "Double:8");
  EXPECT_EQ(EvalOn(*engine, "math.Twice(4)"), "Double:8");
  EXPECT_EQ(EvalOn(*engine, "MATH.twice(4) + Math.PI"), "Double:11.1415926535898");
  EXPECT_EQ(EvalOn(*engine, "pi()"), "Double:3.14159265358979");
}

TEST_F(ObjectMembers, ArgumentCounts) {
  EXPECT_EQ(EvalOn(*engine, "sum()"), "Double:0");
  EXPECT_EQ(EvalOn(*engine, "sum"), "Double:0");
  EXPECT_EQ(EvalOn(*engine, "sum(1, 2, 3, 4, 5, 6, 7, 8, 9, 10)"), "Double:55");
  EXPECT_EQ(EvalOn(*engine, "scale(2)"), "Double:20");
  EXPECT_EQ(EvalOn(*engine, "scale(2, 3)"), "Double:6");
  EXPECT_EQ(EvalOn(*engine, "scale()"), "error 450");
  EXPECT_EQ(EvalOn(*engine, "scale(1, 2, 3)"), "error 450");
  EXPECT_EQ(EvalOn(*engine, "twice"), "error 450");
  EXPECT_EQ(EvalOn(*engine, "pi(1)"), "error 450");
  EXPECT_EQ(library->calls.size(), 5u);  // only the calls with a valid count reached the object
}

TEST_F(ObjectMembers, WritablePropertyReadAndAssigned) {
  EXPECT_EQ(EvalOn(*engine, "Error"), "Boolean:False");
  engine->AddCode("Error = True");
  EXPECT_TRUE(library->error);
  EXPECT_EQ(EvalOn(*engine, "math.Error"), "Boolean:True");
  engine->AddCode("math.Error = False");
  EXPECT_FALSE(library->error);
  engine->AddCode("ERROR = 1");  // the general road and the `name = number` shortcut agree
  EXPECT_TRUE(library->error);
  engine->AddCode("Function clear()\n Error = False\n clear = 1\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "clear()"), "Integer:1");
  EXPECT_FALSE(library->error);
  EXPECT_EQ(EvalOn(*engine, "Error"), "Boolean:False");
  EXPECT_EQ(FailureOf([&] { engine->AddCode("Error = \"maybe\""); }).number, 13);
}

TEST_F(ObjectMembers, ReadOnlyMembersAndUnknownMembers) {
  EXPECT_EQ(FailureOf([&] { engine->AddCode("math.PI = 3"); }).number, 450);
  const auto unknown = FailureOf([&] { engine->Eval("math.Nope(1)"); });
  EXPECT_EQ(unknown.number, 438);
  EXPECT_EQ(unknown.description, "Object doesn't support this property or method: 'math.Nope'");
  EXPECT_EQ(EvalOn(*engine, "math"), "error 438");
  EXPECT_EQ(EvalOn(*engine, "math(1)"), "error 13");
}

TEST_F(ObjectMembers, AssigningOtherNamesMakesGlobalsThatShadow) {
  engine->AddCode("e = 5");
  EXPECT_EQ(EvalOn(*engine, "e"), "Integer:5");
  engine->AddCode("pi = 3");
  EXPECT_EQ(EvalOn(*engine, "pi"), "Integer:3");
  EXPECT_EQ(EvalOn(*engine, "math.PI"), "Double:3.14159265358979");
  engine->AddCode("Function Twice(x)\nTwice = x * 3\nEnd Function");
  EXPECT_EQ(EvalOn(*engine, "twice(2)"), "Integer:6");
  EXPECT_EQ(EvalOn(*engine, "math.twice(2)"), "Double:4");
}

TEST_F(ObjectMembers, LaterObjectsComeAfterEarlierOnes) {
  auto other = std::make_shared<FakeLibrary>();
  other->error = true;
  engine->AddObject("other", other, true);
  EXPECT_EQ(EvalOn(*engine, "Error"), "Boolean:False");  // math was added first
  EXPECT_EQ(EvalOn(*engine, "other.Error"), "Boolean:True");
}

TEST_F(ObjectMembers, ObjectWithoutGlobalMembers) {
  auto lib = std::make_shared<FakeLibrary>();
  auto plain = NewEngine();
  plain->AddObject("lib", lib, false);
  EXPECT_EQ(FailureOf([&] { plain->Eval("twice(2)"); }).description, "Type mismatch: 'twice'");
  EXPECT_EQ(EvalOn(*plain, "lib.twice(2)"), "Double:4");
  EXPECT_EQ(EvalOn(*plain, "Error"), "Empty:");
  EXPECT_EQ(FailureOf([&] { plain->AddObject("x", nullptr, true); }).number, 424);
}

TEST_F(ObjectMembers, FailuresAndInfinitiesFromMembers) {
  EXPECT_EQ(EvalOn(*engine, "fail"), "error 5");
  // Values a member returns as infinity travel on by IEEE rules.
  EXPECT_EQ(EvalOn(*engine, "inf"), "Double:inf");
  EXPECT_EQ(EvalOn(*engine, "inf + 1"), "Double:inf");
  EXPECT_EQ(EvalOn(*engine, "1 / inf"), "Double:0");
  EXPECT_EQ(EvalOn(*engine, "-inf * 2"), "Double:-inf");
  EXPECT_EQ(EvalOn(*engine, "inf > 1E308"), "Boolean:True");
  EXPECT_EQ(EvalOn(*engine, "inf ^ 2"), "Double:inf");
  EXPECT_EQ(EvalOn(*engine, "Exp(inf)"), "Double:inf");
  EXPECT_EQ(EvalOn(*engine, "CInt(inf)"), "error 6");
  const std::string nan = EvalOn(*engine, "inf - inf");
  EXPECT_EQ(nan.substr(0, 7), "Double:");
  EXPECT_EQ(EvalOn(*engine, "(inf - inf) = 0"), "Boolean:False");
}

}  // namespace
