// The language's arithmetic on two doubles, as every road computes it: the
// operators (Operators.cpp), the engine's steps over doubles (RealTape) and
// the compiled equations (compiled/). One definition keeps them bit-identical.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "ScriptError.h"

namespace eval {

// A Double result computed from the operands a and b: leaving the finite
// range from finite operands is an Overflow; non-finite operands (a library
// function may return infinity) carry IEEE results through.
inline double CheckedReal(double r, double a, double b) {
  if (!std::isfinite(r) && std::isfinite(a) && std::isfinite(b)) [[unlikely]] {
    throw ScriptError(ErrorNumber::Overflow);
  }
  return r;
}

inline double DividedReal(double a, double b) {
  if (b == 0) [[unlikely]] {
    throw ScriptError(a == 0 || std::isnan(a) ? ErrorNumber::Overflow : ErrorNumber::DivisionByZero);
  }
  return CheckedReal(a / b, a, b);
}

inline double PoweredReal(double a, double b) {
  if (std::isfinite(a) && std::isfinite(b)) {
    if (a == 0 && b < 0) throw ScriptError(ErrorNumber::InvalidProcedureCall);
    if (a < 0 && b != std::trunc(b)) throw ScriptError(ErrorNumber::InvalidProcedureCall);
  }
  return CheckedReal(std::pow(a, b), a, b);
}

// a^2 exactly as PoweredReal(a, 2) gives it, mostly without calling pow. pow
// is not correctly rounded: it misses the rounding of a*a now and then, but
// only when the exact square lies within its error bound (0.52 units in the
// last place) of a half-way point. The exact error of a*a (Dekker's product)
// shows how far the square lies from one; only close to it is pow asked.
// `two` holds 2, so that the compiler cannot fold the call.
inline double SquaredReal(double a, double two) {
  constexpr double kSafeDistance = 0.46;  // units in the last place from hi: 1 - 0.54
  const double hi = a * a;
  const double magnitude = std::fabs(a);
  if (magnitude > 0x1p-450 && magnitude < 0x1p450) {
    const double split = 134217729.0 * a;  // 2^27 + 1
    const double high = split - (split - a);
    const double low = a - high;
    const double error = ((high * high - hi) + 2 * high * low) + low * low;
    const std::uint64_t exponentBits = std::bit_cast<std::uint64_t>(hi) & 0x7FF0000000000000u;
    const double ulp = std::bit_cast<double>(exponentBits - (std::uint64_t{52} << 52));
    if (std::fabs(error) < kSafeDistance * ulp) return hi;
  }
  return PoweredReal(a, two);
}

}  // namespace eval
