// Helpers shared by the engine tests: a ready engine, a compact text form of
// values ("Double:0.25"), the error an operation raises, and a small fake
// object standing in for the function library.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eval/ScriptEngine.h"
#include "eval/ScriptError.h"
#include "eval/Value.h"

namespace enginetest {

inline std::unique_ptr<eval::ScriptEngine> NewEngine() {
  auto engine = std::make_unique<eval::ScriptEngine>();
  engine->SetLanguage("VBScript");
  return engine;
}

// "Type:text", e.g. "Integer:-1", "Double:0.25", "String:a1", "Empty:", "Null:".
inline std::string Describe(const eval::Value& v) {
  std::string text;
  if (!v.IsNull()) text = *eval::ToText(v);
  return std::string(eval::TypeName(v.Type())) + ":" + text;
}

struct Failure {
  int number = 0;
  std::string description;
};

// The error an operation raises; number 0 when it succeeds.
inline Failure FailureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const eval::ScriptError& error) {
    return {static_cast<int>(error.Number()), error.Description()};
  }
  return {};
}

// The value of an expression on a fresh engine, or "error N".
inline std::string EvalText(std::string_view expression) {
  auto engine = NewEngine();
  try {
    return Describe(engine->Eval(expression));
  } catch (const eval::ScriptError& error) {
    return "error " + std::to_string(static_cast<int>(error.Number()));
  }
}

inline std::string EvalOn(eval::ScriptEngine& engine, std::string_view expression) {
  try {
    return Describe(engine.Eval(expression));
  } catch (const eval::ScriptError& error) {
    return "error " + std::to_string(static_cast<int>(error.Number()));
  }
}

// A library-like object: a read-write property Error, a constant PI (not
// marked as one), a constant Tau (marked), a
// one-argument function Twice, a function Sum of any number of arguments, a
// function Scale(x [, factor]), a function Inf returning +infinity, and a
// Fail function raising Invalid procedure call. Records every call.
class FakeLibrary : public eval::ScriptObject {
 public:
  std::span<const eval::MemberInfo> Members() const override { return kMembers; }

  eval::Value Invoke(std::size_t member, std::span<const eval::Value> args) override {
    calls.push_back(std::string(kMembers[member].name) + "/" + std::to_string(args.size()));
    switch (member) {
      case 0:
        return eval::Value::Boolean(error);
      case 1:
        return eval::Value::Double(3.14159265358979);
      case 2:
        return eval::Value::Double(2 * eval::RequireDouble(args[0]));
      case 3: {
        double sum = 0;
        for (const auto& a : args) sum += eval::RequireDouble(a);
        return eval::Value::Double(sum);
      }
      case 4:
        return eval::Value::Double(eval::RequireDouble(args[0]) *
                                   (args.size() > 1 ? eval::RequireDouble(args[1]) : 10.0));
      case 5:
        return eval::Value::Double(std::numeric_limits<double>::infinity());
      case 7:
        return eval::Value::Double(6.28318530717959);
      default:
        throw eval::ScriptError(eval::ErrorNumber::InvalidProcedureCall);
    }
  }

  void Assign(std::size_t member, const eval::Value& value) override {
    calls.push_back("set " + std::string(kMembers[member].name));
    error = eval::RequireBoolean(value);
  }

  bool error = false;
  std::vector<std::string> calls;

 private:
  static constexpr eval::MemberInfo kMembers[] = {
      {"Error", 0, 0, true},
      {"PI", 0, 0, false},
      {"Twice", 1, 1, false},
      {"Sum", 0, eval::MemberInfo::kAnyCount, false},
      {"Scale", 1, 2, false},
      {"Inf", 0, 0, false},
      {"Fail", 0, 0, false},
      {"Tau", 0, 0, false, true},  // a constant: the engine may read it once
  };
};

// Rows of an expression and its expected "Type:text" or "error N".
struct Row {
  std::string expression;
  std::string expected;
};

inline void CheckRows(const std::vector<Row>& rows) {
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expression);
    EXPECT_EQ(EvalText(row.expression), row.expected);
  }
}

}  // namespace enginetest
