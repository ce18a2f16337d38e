#include <clocale>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/ClsMath.h"
#include "eval/Evaluate.h"
#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"

namespace {

using eval::ErrorNumber;
using eval::ScriptError;
using eval::Value;

class EvaluateTest : public ::testing::Test {
 protected:
  EvaluateTest() {
    engine_.SetLanguage("VBScript");
    engine_.AddObject("math", mathLib_, true);
  }

  double Eval(std::string_view expr, std::vector<std::string> names, std::vector<double> values) {
    return eval::ResultToDouble(eval::Evaluate(engine_, expr, names, values, ui_), ui_);
  }

  eval::RecordingUi ui_;
  eval::ScriptEngine engine_;
  std::shared_ptr<eval::ClsMath> mathLib_ = std::make_shared<eval::ClsMath>();
  eval::ClsMath::UiBinding libraryUi_{*mathLib_, ui_};
};

TEST_F(EvaluateTest, ValueOfTheExpressionAtThePoint) {
  EXPECT_EQ(Eval("x1^2-2*x2-2", {"x1", "x2"}, {1, 1}), -3);
  EXPECT_EQ(Eval("x1-x2^3-1", {"x1", "x2"}, {2, -1}), 2);
  EXPECT_NEAR(Eval("sin(4*pi*x1*x2)-2*x2-x1", {"x1", "x2"}, {0.5, 0.25}), std::sin(3.14159265358979 * 0.5) - 1, 1E-15);
  EXPECT_EQ(ui_.beeps, 0);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(EvaluateTest, CoordinatesReachTheEngineAs15DigitText) {
  // One third arrives as 0. followed by fifteen 3s.
  Value v = eval::Evaluate(engine_, "CStr(x1)", std::vector<std::string>{"x1"},
                           std::vector<double>{1.0 / 3}, ui_);
  ASSERT_TRUE(v.IsString());
  EXPECT_EQ(v.AsString(), "0.333333333333333");
  // Coordinates that differ only beyond the 15th digit give the same value.
  const double a = Eval("x1*3", {"x1"}, {1.0 / 3});
  const double b = Eval("x1*3", {"x1"}, {std::nextafter(1.0 / 3, 1.0)});
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, 0.333333333333333 * 3);  // not 1: the digits beyond the 15th are gone
}

TEST_F(EvaluateTest, DecimalCommaLocaleStillHandsAPoint) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  Value v = eval::Evaluate(engine_, "CStr(x1) & \"|\" & (x1 * 2)", std::vector<std::string>{"x1"},
                           std::vector<double>{0.5}, ui_);
  std::setlocale(LC_ALL, "C");
  ASSERT_TRUE(v.IsString());
  EXPECT_EQ(v.AsString(), "0.5|1");
}

TEST_F(EvaluateTest, EvaluationFailureBeepsShowsTheDescriptionAndYieldsEmpty) {
  for (int call = 1; call <= 3; ++call) {
    Value v = eval::Evaluate(engine_, "1/(x1-x1)", std::vector<std::string>{"x1"},
                             std::vector<double>{2}, ui_);
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_EQ(eval::ResultToDouble(v, ui_), 0);
  }
  // Shown once for every failing call, each time after its beep.
  ASSERT_EQ(ui_.events.size(), 6u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(ui_.events[2 * k], "beep");
    EXPECT_EQ(ui_.events[2 * k + 1], "message:Division by zero");
  }
  // The engine stays usable.
  EXPECT_EQ(Eval("x1+1", {"x1"}, {2}), 3);
}

struct FailureRow {
  const char* expr;
  const char* description;
};

TEST_F(EvaluateTest, EngineDescriptionsOfEvaluationFailures) {
  const FailureRow rows[] = {
      {"Sqr(x1-3)", "Invalid procedure call or argument"},
      {"Exp(x1*1000)", "Overflow"},
      {"nosuch(x1)", "Type mismatch: 'nosuch'"},
      {"\"abc\" * x1", "Type mismatch"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expr);
    ui_.messages.clear();
    EXPECT_EQ(Eval(row.expr, {"x1"}, {1}), 0);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_EQ(ui_.messages[0], row.description);
  }
}

TEST_F(EvaluateTest, AddCodeFailuresPassToTheCallerWithoutAMessage) {
  struct Row {
    const char* expr;
    std::vector<std::string> names;
    std::vector<double> values;
    ErrorNumber number;
  };
  const Row rows[] = {
      {"(x1+1", {"x1"}, {1}, ErrorNumber::ExpectedCloseParen},
      {"", {"x1"}, {1}, ErrorNumber::SyntaxError},
      {"x1 +* 2", {"x1"}, {1}, ErrorNumber::SyntaxError},
      {"x1", {"1x"}, {1}, ErrorNumber::ExpectedStatement},
      {"x1", {"x1"}, {std::numeric_limits<double>::infinity()}, ErrorNumber::Overflow},
      {"x1", {"x1"}, {std::nan("")}, ErrorNumber::Overflow},
      {"x1", {"x1"}, {1, 2}, ErrorNumber::SubscriptOutOfRange},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expr);
    try {
      eval::Evaluate(engine_, row.expr, row.names, row.values, ui_);
      ADD_FAILURE() << "no failure";
    } catch (const ScriptError& error) {
      EXPECT_EQ(error.Number(), row.number);
      EXPECT_FALSE(error.Description().empty());
    }
  }
  EXPECT_EQ(ui_.beeps, 0);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Eval("x1*2", {"x1"}, {4}), 8);
}

TEST_F(EvaluateTest, AssignmentsBeforeAFailingOneStayInEffect) {
  EXPECT_THROW(eval::Evaluate(engine_, "a", std::vector<std::string>{"a", "b"},
                              std::vector<double>{7, std::numeric_limits<double>::infinity()}, ui_),
               ScriptError);
  // No value: the engine still holds a from the failed call.
  EXPECT_EQ(Eval("a", {}, {}), 7);
}

TEST_F(EvaluateTest, LatestExpressionReplacesTheEarlierFunction) {
  EXPECT_EQ(Eval("x1*10", {"x1"}, {2}), 20);
  EXPECT_EQ(Eval("x1*10", {"x1"}, {2}), 20);
  EXPECT_EQ(Eval("x1+10", {"x1"}, {2}), 12);
  // An empty point assigns nothing: the engine's own x1 is used.
  EXPECT_EQ(Eval("x1-1", {}, {}), 1);
}

TEST_F(EvaluateTest, NamesAreCaseInsensitiveAndTheLibraryIsGlobal) {
  EXPECT_EQ(Eval("X1 + PI - pi", {"x1"}, {5}), 5);
  EXPECT_EQ(Eval("x1 * math.ra * Da", {"x1"}, {3}), 3 * eval::ClsMath::Ra() * eval::ClsMath::Da());
}

TEST(ResultToDoubleConversion, EmptyNumbersTextsAndFailures) {
  eval::RecordingUi ui;
  EXPECT_EQ(eval::ResultToDouble(Value(), ui), 0);
  EXPECT_EQ(eval::ResultToDouble(Value::Boolean(true), ui), -1);
  EXPECT_EQ(eval::ResultToDouble(Value::String("2.5"), ui), 2.5);
  EXPECT_EQ(ui.beeps, 0);
  EXPECT_EQ(eval::ResultToDouble(Value::String("abc"), ui), 0);
  EXPECT_EQ(eval::ResultToDouble(Value::Null(), ui), 0);
  EXPECT_EQ(ui.beeps, 2);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0], "Type mismatch");
  EXPECT_EQ(ui.messages[1], "Invalid use of Null");
}

}  // namespace
