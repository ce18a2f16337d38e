// The library as equations reach it: added to real script engines as "math"
// with its members global, called by bare name and through math., in any
// letter case, and shared between engines.
#include <cctype>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "ClsMathTestSupport.h"
#include "eval/ScriptEngine.h"

namespace mathtest {
namespace {

// One typical call per member: the script text of its arguments and the same
// arguments as values.
struct TypicalArgs {
  std::string args;  // as written between the parentheses
  std::vector<Value> values;
};

TypicalArgs TypicalCall(const eval::MemberInfo& member) {
  const std::string_view name = member.name;
  if (name == "RadFromDms" || name == "SinS" || name == "CosS" || name == "TanS" ||
      name == "CtnS") {
    return {"\"30d15m20s\"", {S("30d15m20s")}};
  }
  if (name == "Asec" || name == "AsecD" || name == "Acsc" || name == "AcscD" ||
      name == "ACosH" || name == "AcotH") {
    return {"2", {D(2)}};
  }
  if (name == "Lcm" || name == "Gcd") return {"4, 6", {D(4), D(6)}};
  if (name == "DmsFromRad") return {"1, 3", {D(1), D(3)}};
  if (name == "Log10") return {"100, True", {D(100), Value::Boolean(true)}};
  if (member.maxArgs == eval::MemberInfo::kAnyCount) {
    return {"3, 1.5, 2", {D(3), D(1.5), D(2)}};
  }
  if (member.minArgs == 2) return {"0.75, 2.5", {D(0.75), D(2.5)}};
  if (member.minArgs == 1) return {"0.25", {D(0.25)}};
  return {};
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

class ClsMathInEngine : public ::testing::Test {
 protected:
  std::unique_ptr<eval::ScriptEngine> NewEngine() {
    auto engine = std::make_unique<eval::ScriptEngine>();
    engine->SetLanguage("VBScript");
    engine->AddObject("math", lib, true);
    return engine;
  }

  eval::RecordingUi ui;
  std::shared_ptr<eval::ClsMath> lib = std::make_shared<eval::ClsMath>();
  eval::ClsMath::UiBinding libraryUi{*lib, ui};
};

TEST_F(ClsMathInEngine, EveryMemberIsReachableByBareNameAndThroughMath) {
  auto engine = NewEngine();
  const auto members = lib->Members();
  for (std::size_t k = 0; k < members.size(); ++k) {
    const auto& member = members[k];
    const TypicalArgs call = TypicalCall(member);
    const Value expected = lib->Invoke(k, call.values);
    const std::string suffix = member.maxArgs == 0 ? "" : "(" + call.args + ")";
    const std::string forms[] = {
        Upper(member.name) + suffix,
        Lower(member.name) + suffix,
        "math." + Upper(member.name) + suffix,
        "MATH." + Lower(member.name) + suffix,
        std::string(member.name) + suffix,
    };
    for (const auto& expression : forms) {
      SCOPED_TRACE(expression);
      Value got;
      ASSERT_NO_THROW(got = engine->Eval(expression));
      EXPECT_EQ(got, expected);
    }
  }
  EXPECT_FALSE(lib->Error());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClsMathInEngine, EquationsComputeWithTheLibrary) {
  auto engine = NewEngine();
  EXPECT_EQ(engine->Eval("SinD(30)"), D(std::sin(30 * (3.14159265358979 / 180))));
  EXPECT_EQ(engine->Eval("2 * pi"), D(2 * 3.14159265358979));
  EXPECT_EQ(engine->Eval("Gcd(12, 18) + Lcm(4, 6)"), Value::Long(18));
  EXPECT_EQ(engine->Eval("DmsFromRad(RadFromDms(\"30d15m20s\"), 2)"), S("30度15分20秒"));
}

struct EngineErrorRow {
  std::string_view expression;
  ErrorNumber error;
};

TEST_F(ClsMathInEngine, UnguardedFailuresFailTheEvaluation) {
  const EngineErrorRow rows[] = {
      {"DMin()", ErrorNumber::SubscriptOutOfRange},
      {"Modxy(5, 0.4)", ErrorNumber::DivisionByZero},
      {"DmsFromRad(600, 1)", ErrorNumber::Overflow},
      {"RadFromDms(\"30d15m\")", ErrorNumber::SubscriptOutOfRange},
      {"AsinToDms(1.5)", ErrorNumber::InvalidProcedureCall},
      {"Lcm(5, 0)", ErrorNumber::Overflow},
      {"SinD(\"abc\")", ErrorNumber::TypeMismatch},
      {"Floor(Null)", ErrorNumber::InvalidUseOfNull},
      {"SinD(1, 2)", ErrorNumber::WrongNumberOfArguments},
  };
  auto engine = NewEngine();
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.expression));
    try {
      engine->Eval(row.expression);
      ADD_FAILURE() << "no error";
    } catch (const eval::ScriptError& e) {
      EXPECT_EQ(e.Number(), row.error);
    }
  }
  EXPECT_FALSE(lib->Error());
}

TEST_F(ClsMathInEngine, ErrorSetInOneEngineIsSeenInAnother) {
  auto first = NewEngine();
  auto second = NewEngine();
  EXPECT_EQ(second->Eval("Error"), Value::Boolean(false));
  EXPECT_EQ(first->Eval("Ln(0)"), D(0));
  EXPECT_EQ(second->Eval("Error"), Value::Boolean(true));
  EXPECT_EQ(second->Eval("math.error"), Value::Boolean(true));
  EXPECT_EQ(first->Eval("Ln(1)"), D(0));  // a later success leaves it set
  EXPECT_EQ(second->Eval("ERROR"), Value::Boolean(true));
  EXPECT_TRUE(lib->Error());
}

TEST_F(ClsMathInEngine, CodeCanWriteError) {
  auto first = NewEngine();
  auto second = NewEngine();
  first->AddCode("math.Error = True");
  EXPECT_EQ(second->Eval("error"), Value::Boolean(true));
  second->AddCode("Error = 0");
  EXPECT_FALSE(lib->Error());
  EXPECT_EQ(first->Eval("math.Error"), Value::Boolean(false));
  try {
    first->AddCode("Error = \"maybe\"");
    ADD_FAILURE() << "no error";
  } catch (const eval::ScriptError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::TypeMismatch);
  }
}

TEST_F(ClsMathInEngine, GcdMessageReachesTheUi) {
  auto engine = NewEngine();
  EXPECT_EQ(engine->Eval("Gcd(0, 5)"), Value::Long(0));
  EXPECT_EQ(engine->Eval("Sqr2(-4)"), D(-2));
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Err input data"});
}

TEST_F(ClsMathInEngine, MessagesGoToTheBindingInForceUntilItEnds) {
  auto engine = NewEngine();
  eval::RecordingUi command;
  try {
    const eval::ClsMath::UiBinding running(*lib, command);
    engine->Eval("Gcd(0, 5)");
    throw std::runtime_error("the command ends by an exception");
  } catch (const std::runtime_error&) {
  }
  engine->Eval("Lcm(-4, 6)");
  EXPECT_EQ(command.messages, std::vector<std::string>{"Err input data"});
  // Back with the binding that was in force before.
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Err input data"});
}

}  // namespace
}  // namespace mathtest
