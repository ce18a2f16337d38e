// An object that code running in a script engine can call: the engine's
// AddObject makes its members reachable as name.Member and, with members made
// global, by their bare names in any letter case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "Value.h"

namespace eval {

struct MemberInfo {
  std::string_view name;    // as declared; matched in any letter case
  std::int16_t minArgs;     // required arguments
  std::int16_t maxArgs;     // kAnyCount for a parameter list of any length
  bool writable = false;    // a property that code can assign (name = value)
  // Takes no arguments, does nothing but give its value, and gives the same
  // number every time (a mathematical constant): the engine may read it once.
  bool constant = false;

  static constexpr std::int16_t kAnyCount = -1;
};

class ScriptObject {
 public:
  virtual ~ScriptObject() = default;
  // The members in declaration order; the span stays valid for the object's life.
  virtual std::span<const MemberInfo> Members() const = 0;
  // Called with an argument count the engine has already checked against the
  // member's minArgs/maxArgs (error 450 otherwise). Throws ScriptError.
  virtual Value Invoke(std::size_t member, std::span<const Value> args) = 0;
  // Only for writable members. Throws ScriptError (e.g. Type mismatch).
  virtual void Assign(std::size_t member, const Value& value) = 0;
};

}  // namespace eval
