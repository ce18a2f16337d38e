// The language's own functions an equation may call (Abs, Sqr, CInt, Mid, ...),
// with VBScript's result kinds and errors for bad arguments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "Value.h"

namespace eval {

struct BuiltinInfo {
  std::string_view name;
  std::int16_t minArgs;
  std::int16_t maxArgs;
  Value (*call)(std::span<const Value> args);
};

// Every built-in function, in no particular order.
std::span<const BuiltinInfo> Builtins();

// The index into Builtins() of a case-folded name.
std::optional<std::uint32_t> FindBuiltin(std::string_view foldedName);

// The language's named constants (vbCrLf, vbTab, vbTrue, vbInteger, ...): the
// index of a case-folded name, and the value at an index.
std::optional<std::uint32_t> FindConstant(std::string_view foldedName);
const Value& ConstantValue(std::uint32_t index);

// The function of a double behind a built-in that takes one number and
// always gives a Double (Atn, Cos, Exp, Log, Sin, Sqr, Tan), with the
// built-in's errors; nullptr for every other built-in.
using RealFunction = double (*)(double);
RealFunction RealFunctionOf(std::uint32_t index);

// Calls a built-in after checking the argument count (Wrong number of arguments).
Value CallBuiltin(std::uint32_t index, std::span<const Value> args);

}  // namespace eval
