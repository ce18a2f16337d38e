// Partial derivatives of the built-ins and library members the compiled form
// covers. Values always come from the engine's own tables (CallBuiltin,
// ClsMath::Invoke); this table only adds each function's derivative, so a
// function added to the engine without a row here is still evaluated, by
// central differences.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace eval {

enum class RuleKind : std::uint8_t {
  Smooth,  // partials() gives every partial derivative
  Select,  // DMin, DMax: the derivative of the argument chosen (first extreme)
};

enum class ExtremeKind : std::uint8_t { None, Minimum, Maximum };

struct DerivativeRule {
  std::string_view name;  // as the engine's table spells it; matched in any letter case
  bool member;            // a library member (true) or a built-in (false)
  bool foldable;          // pure: constant arguments may be evaluated once when compiling
  RuleKind kind;
  ExtremeKind extreme;    // Select only
  // The partial derivatives at `args`, where the function's value is `value`;
  // false where one does not exist (a kink, a jump). Smooth only.
  bool (*partials)(std::span<const double> args, double value, std::span<double> out);
};

std::span<const DerivativeRule> DerivativeRules();

// The rule of a case-folded name, or null.
const DerivativeRule* FindDerivativeRule(std::string_view foldedName, bool member);

}  // namespace eval
