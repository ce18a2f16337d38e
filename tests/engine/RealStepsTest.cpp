// Arithmetic runs on steps over doubles where that gives the general rules'
// answer. Random expressions over variables of every kind are evaluated as
// they are and with every operand passed through a script function, which
// keeps them off the steps; kinds, values and errors must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

class Expressions {
 public:
  explicit Expressions(unsigned seed) : random_(seed) {}

  // The expression and the same with every operand wrapped as id(operand).
  std::pair<std::string, std::string> Next() {
    std::string plain;
    std::string wrapped;
    Write(3, plain, wrapped);
    return {plain, wrapped};
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  void Write(int depth, std::string& plain, std::string& wrapped) {
    static const std::vector<std::string> kLeaves = {"a", "b", "c", "u", "2", "3", "0", "40000", "1.5", "0.5",
                                                     "1E308", "32767", "vbLong", "vbTab"};
    static const std::vector<std::string> kFunctions = {"Sin", "Exp", "Sqr", "Log", "Abs", "Int"};
    static const std::vector<std::string> kOperators = {"+", "-", "*", "/", "^"};
    const int choice = depth == 0 ? 0 : Pick(6);
    if (choice <= 1) {
      const std::string& leaf = kLeaves[Pick(static_cast<int>(kLeaves.size()))];
      plain += leaf;
      wrapped += "id(" + leaf + ")";
    } else if (choice == 2) {
      const std::string sign = Pick(2) == 0 ? "-" : "+";
      plain += sign;
      wrapped += sign;
      Write(depth - 1, plain, wrapped);
    } else if (choice == 3) {
      const std::string& function = kFunctions[Pick(static_cast<int>(kFunctions.size()))];
      plain += function + "(";
      wrapped += function + "(";
      Write(depth - 1, plain, wrapped);
      plain += ")";
      wrapped += ")";
    } else {
      const bool parenthesized = Pick(3) == 0;
      if (parenthesized) {
        plain += "(";
        wrapped += "(";
      }
      Write(depth - 1, plain, wrapped);
      const std::string& op = kOperators[Pick(static_cast<int>(kOperators.size()))];
      plain += op;
      wrapped += op;
      Write(depth - 1, plain, wrapped);
      if (parenthesized) {
        plain += ")";
        wrapped += ")";
      }
    }
  }

  std::mt19937 random_;
};

TEST(RealSteps, AgreeWithTheGeneralRulesOnRandomExpressions) {
  // Each row sets the variables; the same compiled code then meets other kinds.
  const std::vector<std::string> settings = {
      "a = 1.25 : b = -0.5 : c = 3.75",
      "a = 3 : b = -2 : c = 40000",
      "a = 1.5 : b = 2 : c = 1E300",
      "a = 0 : b = 0.0 : c = -32768",
      "a = True : b = \"2\" : c = 1.5",
      "a = Null : b = CSng(1.5) : c = Empty",
  };
  Expressions expressions(20261209);
  int compared = 0;
  for (int n = 0; n < 1500; ++n) {
    const auto [plain, wrapped] = expressions.Next();
    auto fast = enginetest::NewEngine();
    auto general = enginetest::NewEngine();
    general->AddCode("Function id(v)\r\nid = v\r\nEnd Function");
    fast->AddCode("Function f()\r\nf = " + plain + "\r\nEnd Function");
    for (const std::string& setting : settings) {
      SCOPED_TRACE(setting + ": " + plain);
      fast->AddCode(setting);
      general->AddCode(setting);
      const std::string expected = enginetest::EvalOn(*general, wrapped);
      EXPECT_EQ(enginetest::EvalOn(*fast, plain), expected);
      EXPECT_EQ(enginetest::EvalOn(*fast, plain), expected);  // again, from the built steps
      EXPECT_EQ(enginetest::EvalOn(*fast, "f()"), expected);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 1500 * 6);
}

// A member marked constant is read when the steps are built, again only when
// names change; any other member is called at every evaluation.
TEST(RealSteps, ReadConstantMembersOncePerGenerationOfNames) {
  auto engine = enginetest::NewEngine();
  const auto library = std::make_shared<enginetest::FakeLibrary>();
  engine->AddObject("lib", library, true);
  engine->AddCode("x = 1.5");
  const auto count = [&](const std::string& call) {
    return std::count(library->calls.begin(), library->calls.end(), call);
  };
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(enginetest::EvalOn(*engine, "Tau * x"), "Double:9.42477796076938");
    EXPECT_EQ(enginetest::EvalOn(*engine, "PI * x"), "Double:4.71238898038469");
  }
  EXPECT_EQ(count("Tau/0"), 1);
  EXPECT_EQ(count("PI/0"), 3);
  engine->AddCode("y = 2");  // a new name
  EXPECT_EQ(enginetest::EvalOn(*engine, "Tau * x"), "Double:9.42477796076938");
  EXPECT_EQ(count("Tau/0"), 2);
}

}  // namespace
