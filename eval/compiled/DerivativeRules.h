// Partial derivatives of the built-ins and library members the compiled form
// covers, each with what a call costs in rounding and, where one is written,
// an enclosure of its values and partials over intervals. Values always come from the engine's own tables (CallBuiltin,
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

class Interval;

// How far a call's computed value may lie from the exact function at exact
// arguments, in units of u = 2^-53 (one unit in the last place is at most
// 2u|value|):
//   u * (value * |f| + argument * sum_k |df/da_k| |a_k| + slope * sum_k |df/da_k|).
// `value` covers roundings relative to the result (glibc's sin, cos, tan,
// exp, log and atan are within 2 ulps, 4u; sqrt and the operators 0.5 ulp,
// u); `argument` covers a rounding of the argument inside the formula (the
// degree functions round x*Ra); `slope` covers a cancellation inside the
// formula whose error follows the slope (sinh's e^x - e^-x near 0). Where no
// such bound holds over the whole domain, `bounded` is false and a call with
// a varying argument has no error bound.
struct ErrorModel {
  double value = 0;
  double argument = 0;
  double slope = 0;
  bool bounded = true;
  bool jumps = false;  // piecewise constant: exact at exact arguments, unbounded otherwise
};

// How much of a box an enclosure speaks for, from the most to the least.
// A later step never claims more than its operands: the tape keeps the
// largest of these along the way.
enum class Coverage : std::uint8_t {
  Smooth,   // defined at every point of the box; value and partials enclosed
  NoSlope,  // defined at every point, value enclosed; a partial is missing somewhere (a jump, an end)
  Partly,   // the value enclosed over the points where it is defined (the whole line when
            // unknown); it may be undefined at others
  Nowhere,  // undefined at every point of the box (the value means nothing)
};

// The function's values and partials over intervals of its arguments and how
// much of them it covers; the partials count only where Smooth.
using Enclosure = Coverage (*)(std::span<const Interval> args, Interval& value, std::span<Interval> partials);

struct DerivativeRule {
  std::string_view name;  // as the engine's table spells it; matched in any letter case
  bool member;            // a library member (true) or a built-in (false)
  bool foldable;          // pure: constant arguments may be evaluated once when compiling
  RuleKind kind;
  ExtremeKind extreme;    // Select only
  // The partial derivatives at `args`, where the function's value is `value`;
  // false where one does not exist (a kink, a jump). Smooth only.
  bool (*partials)(std::span<const double> args, double value, std::span<double> out);
  ErrorModel error;
  Enclosure enclose;  // null: the function has no enclosure rule
};

std::span<const DerivativeRule> DerivativeRules();

// The rule of a case-folded name, or null.
const DerivativeRule* FindDerivativeRule(std::string_view foldedName, bool member);

}  // namespace eval
