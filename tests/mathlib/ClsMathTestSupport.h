// Calls ClsMath members the way the script engine does: by name, in any
// letter case, with script values as arguments.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eval/ClsMath.h"
#include "eval/ScriptError.h"
#include "eval/SolverUi.h"
#include "eval/Value.h"

namespace mathtest {

using eval::ErrorNumber;
using eval::Value;

inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (std::tolower(static_cast<unsigned char>(a[k])) !=
        std::tolower(static_cast<unsigned char>(b[k]))) {
      return false;
    }
  }
  return true;
}

// The member's index, or the table size when there is none.
inline std::size_t FindMember(const eval::ClsMath& lib, std::string_view name) {
  const auto members = lib.Members();
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (SameName(members[k].name, name)) return k;
  }
  return members.size();
}

inline Value D(double d) { return Value::Double(d); }
inline Value S(std::string s) { return Value::String(std::move(s)); }

class MathTest : public ::testing::Test {
 protected:
  Value Call(std::string_view name, std::vector<Value> args = {}) {
    const std::size_t index = FindMember(lib, name);
    if (index == lib.Members().size()) {
      ADD_FAILURE() << "no member " << name;
      return Value();
    }
    return lib.Invoke(index, args);
  }

  // A member of one double argument that answers a double.
  double Fn(std::string_view name, double x) { return AsDouble(Call(name, {D(x)})); }

  static double AsDouble(const Value& v) {
    EXPECT_EQ(v.Type(), eval::VarType::Double);
    return v.AsDouble();
  }

  // The error number a call raises, or nothing when it does not raise.
  std::optional<ErrorNumber> ErrorOf(std::string_view name, std::vector<Value> args) {
    try {
      Call(name, std::move(args));
    } catch (const eval::ScriptError& e) {
      return e.Number();
    }
    return std::nullopt;
  }

  eval::RecordingUi ui;
  eval::ClsMath lib;
  eval::ClsMath::UiBinding libraryUi{lib, ui};
};

}  // namespace mathtest
