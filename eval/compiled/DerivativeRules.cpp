#include "DerivativeRules.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "Interval.h"
#include "eval/ClsMath.h"

namespace eval {
namespace {

// A value and its derivative along one direction: the library's formulas are
// written once more over Dual below, in the library's own order, so each
// member's derivative is that of the formula it computes (Asec is not the
// textbook arcsecant), not of a textbook identity.
struct Dual {
  double v;
  double d;
};
Dual operator+(Dual a, Dual b) { return {a.v + b.v, a.d + b.d}; }
Dual operator+(Dual a, double b) { return {a.v + b, a.d}; }
Dual operator-(Dual a, Dual b) { return {a.v - b.v, a.d - b.d}; }
Dual operator-(double a, Dual b) { return {a - b.v, -b.d}; }
Dual operator-(Dual a, double b) { return {a.v - b, a.d}; }
Dual operator-(Dual a) { return {-a.v, -a.d}; }
Dual operator*(Dual a, Dual b) { return {a.v * b.v, a.d * b.v + a.v * b.d}; }
Dual operator*(Dual a, double b) { return {a.v * b, a.d * b}; }
Dual operator*(double a, Dual b) { return {a * b.v, a * b.d}; }
Dual operator/(Dual a, Dual b) {
  const double q = a.v / b.v;
  return {q, (a.d - q * b.d) / b.v};
}
Dual operator/(Dual a, double b) { return {a.v / b, a.d / b}; }
Dual operator/(double a, Dual b) {
  const double q = a / b.v;
  return {q, -q * b.d / b.v};
}
Dual Sqrt(Dual a) {
  const double r = std::sqrt(a.v);
  return {r, a.d / (2 * r)};
}
Dual Atan(Dual a) { return {std::atan(a.v), a.d / (1 + a.v * a.v)}; }
Dual Exp(Dual a) {
  const double e = std::exp(a.v);
  return {e, e * a.d};
}
Dual Log(Dual a) { return {std::log(a.v), a.d / a.v}; }
Dual Sin(Dual a) { return {std::sin(a.v), std::cos(a.v) * a.d}; }
Dual Cos(Dual a) { return {std::cos(a.v), -std::sin(a.v) * a.d}; }
Dual Tan(Dual a) {
  const double c = std::cos(a.v);
  return {std::tan(a.v), a.d / (c * c)};
}

double Sgn(double x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }
bool Whole(double x) { return x == std::floor(x); }
// Where rounding to the nearest whole number (ties to even) jumps.
bool RoundingTie(double x) { return x - std::floor(x) == 0.5; }

using Partials = bool (*)(std::span<const double>, double, std::span<double>);

// One argument: the derivative of `formula` at args[0], finite or none.
template <Dual (*Formula)(Dual)>
bool Along(std::span<const double> args, double, std::span<double> out) {
  out[0] = Formula(Dual{args[0], 1}).d;
  return std::isfinite(out[0]);
}

// Piecewise constant functions: 0, none where `jumps` says the point is an edge.
template <bool (*Jumps)(double)>
bool Steps(std::span<const double> args, double, std::span<double> out) {
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (Jumps(args[k])) return false;
    out[k] = 0;
  }
  return true;
}

bool AtZero(double x) { return x == 0; }
bool AtWholeButZero(double x) { return x != 0 && Whole(x); }

bool AbsPartial(std::span<const double> a, double, std::span<double> out) {
  if (a[0] == 0) return false;
  out[0] = a[0] > 0 ? 1 : -1;
  return true;
}
bool ExpPartial(std::span<const double>, double value, std::span<double> out) {
  out[0] = value;
  return std::isfinite(value);
}
bool SqrPartial(std::span<const double> a, double value, std::span<double> out) {
  if (a[0] == 0) return false;
  out[0] = 0.5 / value;
  return true;
}
bool IdentityPartial(std::span<const double>, double, std::span<double> out) {
  out[0] = 1;
  return true;
}

// Round(x[, places]): jumps where x scaled by 10^places is half-way between
// two whole numbers; where the digits lie beyond a double's precision the
// built-in leaves x as it is.
bool RoundPartial(std::span<const double> a, double, std::span<double> out) {
  if (a.size() > 1) {
    if (RoundingTie(a[1])) return false;
    out[1] = 0;
  }
  const double places = a.size() > 1 ? std::nearbyint(a[1]) : 0;
  const double x = a[0];
  if (places == 0) {
    if (RoundingTie(x) || std::fabs(x) >= 0x1p52) return false;
    out[0] = 0;
    return true;
  }
  const double scale = std::pow(10.0, places);
  const double scaled = x * scale;
  if (!std::isfinite(scale) || !std::isfinite(scaled) || std::fabs(scaled) >= 0x1p52) {
    out[0] = 1;
    return true;
  }
  if (RoundingTie(scaled)) return false;
  out[0] = 0;
  return true;
}

bool IntPartial(std::span<const double> a, double, std::span<double> out) {
  if (Whole(a[0])) return false;
  out[0] = 0;
  return true;
}

// Guarded members fail outside their domain; the engine caller sees that
// through Error before asking here.
Dual SinD(Dual x) { return Sin(x * ClsMath::Ra()); }
Dual CosD(Dual x) { return Cos(x * ClsMath::Ra()); }
Dual TanD(Dual x) { return Tan(x * ClsMath::Ra()); }
Dual Cot(Dual x) { return 1.0 / Tan(x); }
Dual CotD(Dual x) { return 1.0 / Tan(x * ClsMath::Ra()); }
Dual Csc(Dual x) { return 1.0 / Sin(x); }
Dual CscD(Dual x) { return 1.0 / Sin(x * ClsMath::Ra()); }
Dual Sec(Dual x) { return 1.0 / Cos(x); }
Dual SecD(Dual x) { return 1.0 / Cos(x * ClsMath::Ra()); }
Dual AsinFormula(Dual x) { return Atan(x / Sqrt(1.0 - x * x)); }
Dual AcosFormula(Dual x) { return Atan(-x / Sqrt(1.0 - x * x)); }
Dual AsinDFormula(Dual x) { return AsinFormula(x) * ClsMath::Da(); }
Dual AcosDFormula(Dual x) { return AcosFormula(x) * ClsMath::Da(); }
Dual AsecAngle(Dual x) { return Atan(x / Sqrt(x * x - 1.0)); }  // Asec and Acsc alike
Dual AsecAngleD(Dual x) { return AsecAngle(x) * ClsMath::Da(); }
Dual AtanD(Dual x) { return Atan(x) * ClsMath::Da(); }
Dual SinH(Dual x) { return (Exp(x) - Exp(-x)) / 2.0; }
Dual CosH(Dual x) { return (Exp(x) + Exp(-x)) / 2.0; }
Dual TanH(Dual x) { return (Exp(x) - Exp(-x)) / (Exp(-x) + Exp(x)); }
Dual SecH(Dual x) { return 2.0 / (Exp(-x) + Exp(x)); }
Dual CscH(Dual x) { return 2.0 / (Exp(x) - Exp(-x)); }
Dual CotH(Dual x) { return (Exp(x) + Exp(-x)) / (Exp(x) - Exp(-x)); }
Dual AsinH(Dual x) { return Log(Sqrt(x * x + 1.0) + x); }
Dual ACosH(Dual x) { return Log(Sqrt(x * x - 1.0) + x); }
Dual AtanH(Dual x) { return Log((x + 1.0) / (1.0 - x)) / 2.0; }
Dual AsecH(Dual x) { return Log((Sqrt(1.0 - x * x) + 1.0) / x); }
Dual AcscH(Dual x) { return Log((Sgn(x.v) * Sqrt(x * x + 1.0) + 1.0) / x); }
Dual AcotH(Dual x) { return Log((x + 1.0) / (x - 1.0)) / 2.0; }
Dual Ln(Dual x) { return Log(x); }
Dual Log10(Dual x) { return Log(x) / std::log(10.0); }

// Asin and Acos take their limit values in a band around +-1, where the
// formula's slope is unbounded: no derivative there.
constexpr double kUnitBand = 1E-8;
template <Dual (*Formula)(Dual)>
bool OutsideUnitBand(std::span<const double> a, double value, std::span<double> out) {
  if (std::fabs(std::fabs(a[0]) - 1) <= kUnitBand) return false;
  return Along<Formula>(a, value, out);
}

bool FracPartial(std::span<const double> a, double, std::span<double> out) {
  if (Whole(a[0])) return false;
  out[0] = 1;
  return true;
}

// LogN(R, B) = ln(B) / ln(R).
bool LogNPartial(std::span<const double> a, double, std::span<double> out) {
  out[0] = (Log(Dual{a[1], 0}) / Log(Dual{a[0], 1})).d;
  out[1] = (Log(Dual{a[1], 1}) / Log(Dual{a[0], 0})).d;
  return std::isfinite(out[0]) && std::isfinite(out[1]);
}

// Log10(x[, HasCondition]): the condition changes nothing.
bool Log10Partial(std::span<const double> a, double value, std::span<double> out) {
  if (a.size() > 1) out[1] = 0;
  return Along<Log10>(a, value, out);
}

bool Sqr2Partial(std::span<const double> a, double, std::span<double> out) {
  if (a[0] == 0) return false;
  out[0] = 0.5 / std::sqrt(std::fabs(a[0]));
  return std::isfinite(out[0]);
}


// ---- enclosures over intervals ----------------------------------------------
// Each encloses the exact function the library's formula denotes, with the
// library's constants (Ra, Da, its ln 10, 2*Atn(1)) as the doubles it holds.
// Where a box reaches outside the formula's domain the value is enclosed over
// the points inside it (Partly); Nowhere is said only when every point of the
// box lies outside.

using Args = std::span<const Interval>;
using Outs = std::span<Interval>;
constexpr long kBits = Interval::kPrecision;

// The value over the defined points is not known: the whole line.
Coverage Unknown(Interval& value) {
  value = Interval::WholeLine();
  return Coverage::Partly;
}

// Smooth when the value and every partial are finite.
Coverage Finish(Interval& value, Outs partials) {
  if (!value.Finite()) return Unknown(value);
  for (const Interval& p : partials) {
    if (!p.Finite()) return Unknown(value);
  }
  return Coverage::Smooth;
}

Interval Pi() {
  Interval r;
  arb_const_pi(r.get(), kBits);
  return r;
}

// 2 * Atn(1) as the library computes it (a double, within an ulp of pi/2).
Interval LibraryHalfPi() { return Interval(2 * std::atan(1.0)); }

Interval Degrees(bool degrees) { return Interval(degrees ? ClsMath::Da() : 1.0); }

// The sine-like functions of t = x * scale (scale 1 or Ra), with d/dx.
enum class Trig { Sin, Cos, Tan, Cot, Csc, Sec };
template <Trig kWhich, bool kDegrees>
Coverage EncloseTrig(Args a, Interval& value, Outs p) {
  const Interval scale(kDegrees ? ClsMath::Ra() : 1.0);
  const Interval t = a[0] * scale;
  Interval s;
  Interval c;
  arb_sin_cos(s.get(), c.get(), t.get(), kBits);
  switch (kWhich) {
    case Trig::Sin:
      value = s;
      p[0] = c * scale;
      break;
    case Trig::Cos:
      value = -s;  // reused below as the slope's sign
      p[0] = value * scale;
      value = c;
      break;
    case Trig::Tan:
      if (c.ContainsZero()) return Unknown(value);
      value = s / c;
      p[0] = scale / (c * c);
      break;
    case Trig::Cot:
      if (s.ContainsZero()) return Unknown(value);
      value = c / s;
      p[0] = -scale / (s * s);
      break;
    case Trig::Csc:
      if (s.ContainsZero()) return Unknown(value);
      value = Interval(1.0) / s;
      p[0] = -(value * c / s) * scale;
      break;
    case Trig::Sec:
      if (c.ContainsZero()) return Unknown(value);
      value = Interval(1.0) / c;
      p[0] = value * s / c * scale;
      break;
  }
  return Finish(value, p);
}

Coverage EncloseIdentity(Args a, Interval& value, Outs p) {
  value = a[0];
  p[0] = Interval(1.0);
  return Finish(value, p);
}

Coverage EncloseAbs(Args a, Interval& value, Outs p) {
  if (a[0].Positive()) return EncloseIdentity(a, value, p);
  if (a[0].Negative()) {
    value = -a[0];
    p[0] = Interval(-1.0);
  } else {
    // Across the kink every slope of |x| lies in [-1, 1].
    arb_abs(value.get(), a[0].get());
    p[0] = Interval(-1.0, 1.0);
  }
  return Finish(value, p);
}

Coverage EncloseExp(Args a, Interval& value, Outs p) {
  arb_exp(value.get(), a[0].get(), kBits);
  p[0] = value;
  return Finish(value, p);
}

// ln(x) / divisor, where ln(10) as the library computes it is a divisor.
Coverage EncloseLogOver(const Interval& x, const Interval& divisor, Interval& value, Interval& slope) {
  if (x.Upper() <= 0) return Coverage::Nowhere;
  if (!x.Positive()) return Unknown(value);
  arb_log(value.get(), x.get(), kBits);
  value = value / divisor;
  slope = Interval(1.0) / (x * divisor);
  return Finish(value, std::span<Interval>(&slope, 1));
}

Coverage EncloseLn(Args a, Interval& value, Outs p) { return EncloseLogOver(a[0], Interval(1.0), value, p[0]); }

Coverage EncloseLog10(Args a, Interval& value, Outs p) {
  if (p.size() > 1) p[1] = Interval(0.0);
  return EncloseLogOver(a[0], Interval(std::log(10.0)), value, p[0]);
}

// LogN(R, B) = ln(B) / ln(R).
Coverage EncloseLogN(Args a, Interval& value, Outs p) {
  if (a[0].Upper() <= 0 || a[1].Upper() <= 0) return Coverage::Nowhere;
  if (!a[0].Positive() || !a[1].Positive()) return Unknown(value);
  Interval lnR;
  Interval lnB;
  arb_log(lnR.get(), a[0].get(), kBits);
  arb_log(lnB.get(), a[1].get(), kBits);
  if (lnR.IsZero()) return Coverage::Nowhere;  // R is 1: a division by 0
  if (lnR.ContainsZero()) return Unknown(value);
  value = lnB / lnR;
  p[0] = -(value / (a[0] * lnR));
  p[1] = Interval(1.0) / (a[1] * lnR);
  return Finish(value, p);
}

// Sqr: defined from 0 on, with no slope at 0.
Coverage EncloseSqr(Args a, Interval& value, Outs p) {
  if (a[0].Upper() < 0) return Coverage::Nowhere;
  if (a[0].Positive()) {
    arb_sqrt(value.get(), a[0].get(), kBits);
    p[0] = Interval(0.5) / value;
    return Finish(value, p);
  }
  arb_sqrtpos(value.get(), a[0].get(), kBits);  // over the box's points >= 0
  if (!value.Finite()) return Unknown(value);
  return arb_is_nonnegative(a[0].get()) != 0 ? Coverage::NoSlope : Coverage::Partly;
}

// Sqr2(x) = Sgn(x) Sqr(Abs(x)): defined everywhere, no slope at 0.
Coverage EncloseSqr2(Args a, Interval& value, Outs p) {
  const Interval& x = a[0];
  if (x.Positive() || x.Negative()) {
    const Interval magnitude = x.Positive() ? x : -x;
    Interval root;
    arb_sqrt(root.get(), magnitude.get(), kBits);
    value = x.Positive() ? root : -root;
    p[0] = Interval(0.5) / root;
    return Finish(value, p);
  }
  // Nondecreasing: from -Sqr(-lo) to Sqr(hi).
  Interval low(-std::min(x.Lower(), 0.0));
  Interval high(std::max(x.Upper(), 0.0));
  arb_sqrt(low.get(), low.get(), kBits);
  arb_sqrt(high.get(), high.get(), kBits);
  value = Hull(-low, high);
  return value.Finite() ? Coverage::NoSlope : Unknown(value);
}

template <bool kDegrees>
Coverage EncloseAtan(Args a, Interval& value, Outs p) {
  const Interval scale = Degrees(kDegrees);
  arb_atan(value.get(), a[0].get(), kBits);
  value = value * scale;
  p[0] = scale / (Interval(1.0) + a[0] * a[0]);
  return Finish(value, p);
}

// Acot(x) = Atn(x) + 2*Atn(1).
template <bool kDegrees>
Coverage EncloseAcot(Args a, Interval& value, Outs p) {
  const Interval scale = Degrees(kDegrees);
  arb_atan(value.get(), a[0].get(), kBits);
  value = (value + LibraryHalfPi()) * scale;
  p[0] = scale / (Interval(1.0) + a[0] * a[0]);
  return Finish(value, p);
}

// Asin(x) = Atn(x / Sqr(1 - x^2)) and Acos(x) = Atn(-x / Sqr(1 - x^2)) + 2*Atn(1)
// for |x| < 1, that is asin(x) and 2*Atn(1) - asin(x). Within kUnitBand of
// +-1 the library returns fixed values (a jump at the band's edges), beyond
// it the square root fails. The margins keep each side of the band clear of
// the doubles' rounding in the library's test.
enum class Arc { Sin, Cos };
template <Arc kWhich, bool kDegrees>
Coverage EncloseArc(Args a, Interval& value, Outs p) {
  constexpr double kInsideBand = kUnitBand / 2;
  constexpr double kBeyondBand = 2 * kUnitBand;
  const double lo = a[0].Lower();
  const double hi = a[0].Upper();
  if (lo > 1 + kBeyondBand || hi < -1 - kBeyondBand) return Coverage::Nowhere;
  const Interval scale = Degrees(kDegrees);
  if (lo >= -1 + kBeyondBand && hi <= 1 - kBeyondBand) {
    Interval angle;
    arb_asin(angle.get(), a[0].get(), kBits);
    Interval root = Interval(1.0) - a[0] * a[0];
    arb_sqrt(root.get(), root.get(), kBits);
    if (kWhich == Arc::Sin) {
      value = angle * scale;
      p[0] = scale / root;
    } else {
      value = (LibraryHalfPi() - angle) * scale;
      p[0] = -scale / root;
    }
    return Finish(value, p);
  }
  // Across the band: every value the formula or the band takes.
  Interval half = Pi();
  arb_mul_2exp_si(half.get(), half.get(), -1);
  const Interval range = Hull(-half, half);
  if (kWhich == Arc::Sin) {
    value = range * scale;
  } else {
    value = Hull(LibraryHalfPi() - range, Interval(0.0, ClsMath::PI())) * scale;
  }
  if (!value.Finite()) return Unknown(value);
  return lo >= -1 - kInsideBand && hi <= 1 + kInsideBand ? Coverage::NoSlope : Coverage::Partly;
}

// Asec(x) = Atn(x / Sqr(x^2 - 1)) + Sgn(x - 1) * 2*Atn(1) and
// Acsc(x) = Atn(x / Sqr(x^2 - 1)) + (Sgn(x) - 1) * 2*Atn(1), for |x| > 1.
template <bool kCosecant, bool kDegrees>
Coverage EncloseArcSec(Args a, Interval& value, Outs p) {
  const Interval& x = a[0];
  const double lo = x.Lower();
  const double hi = x.Upper();
  if (lo >= -1 && hi <= 1) return Coverage::Nowhere;  // x^2 - 1 <= 0: a root of a negative, or a division by 0
  const Interval scale = Degrees(kDegrees);
  const bool above = lo > 1;
  if (!above && !(hi < -1)) {
    // Atn's values and the shifts stay within +-(pi/2 + 2*2*Atn(1)) < 5.
    value = Interval(-5.0, 5.0) * scale;
    return Coverage::Partly;
  }
  Interval square;
  arb_sqr(square.get(), x.get(), kBits);
  Interval root = square - Interval(1.0);
  arb_sqrt(root.get(), root.get(), kBits);
  Interval angle = x / root;
  arb_atan(angle.get(), angle.get(), kBits);
  const double shift = kCosecant ? (above ? 0 : -2) : (above ? 1 : -1);
  value = (angle + Interval(shift) * LibraryHalfPi()) * scale;
  // d/dx Atn(x / s) with s = Sqr(x^2 - 1) is -1 / (s (2x^2 - 1)).
  p[0] = -scale / (root * (Interval(2.0) * square - Interval(1.0)));
  return Finish(value, p);
}

enum class Hyper { Sinh, Cosh, Tanh, Sech, Csch, Coth };
template <Hyper kWhich>
Coverage EncloseHyper(Args a, Interval& value, Outs p) {
  Interval sh;
  Interval ch;
  arb_sinh_cosh(sh.get(), ch.get(), a[0].get(), kBits);
  if ((kWhich == Hyper::Csch || kWhich == Hyper::Coth) && sh.ContainsZero()) {
    return a[0].IsZero() ? Coverage::Nowhere : Unknown(value);  // a division by e^x - e^-x = 0
  }
  switch (kWhich) {
    case Hyper::Sinh:
      value = sh;
      p[0] = ch;
      break;
    case Hyper::Cosh:
      value = ch;
      p[0] = sh;
      break;
    case Hyper::Tanh:
      value = sh / ch;
      p[0] = Interval(1.0) / (ch * ch);
      break;
    case Hyper::Sech:
      value = Interval(1.0) / ch;
      p[0] = -(sh / (ch * ch));
      break;
    case Hyper::Csch:
      value = Interval(1.0) / sh;
      p[0] = -(ch / (sh * sh));
      break;
    case Hyper::Coth:
      value = ch / sh;
      p[0] = -(Interval(1.0) / (sh * sh));
      break;
  }
  return Finish(value, p);
}

// The inverse hyperbolic members: their formulas denote asinh, acosh, atanh,
// asech, acsch and acoth on the formulas' domains.
Coverage EncloseAsinH(Args a, Interval& value, Outs p) {
  arb_asinh(value.get(), a[0].get(), kBits);
  Interval root = a[0] * a[0] + Interval(1.0);
  arb_sqrt(root.get(), root.get(), kBits);
  p[0] = Interval(1.0) / root;
  return Finish(value, p);
}

// Log(Sqr(x^2 - 1) + x): from 1 on (below -1 the sum is negative), no slope at 1.
Coverage EncloseACosH(Args a, Interval& value, Outs p) {
  const double hi = a[0].Upper();
  if (hi < 1) return Coverage::Nowhere;
  if (a[0].Lower() > 1) {
    arb_acosh(value.get(), a[0].get(), kBits);
    Interval root = a[0] * a[0] - Interval(1.0);
    arb_sqrt(root.get(), root.get(), kBits);
    p[0] = Interval(1.0) / root;
    return Finish(value, p);
  }
  Interval top;
  arb_acosh(top.get(), Interval(hi).get(), kBits);  // increasing: from 0 at 1 up to acosh(hi)
  value = Hull(Interval(0.0), top);
  return value.Finite() ? Coverage::Partly : Unknown(value);
}

// Log((x + 1) / (1 - x)) / 2: inside (-1, 1).
Coverage EncloseAtanH(Args a, Interval& value, Outs p) {
  const double lo = a[0].Lower();
  const double hi = a[0].Upper();
  if (lo >= 1 || hi <= -1) return Coverage::Nowhere;
  if (lo <= -1 || hi >= 1) return Unknown(value);
  arb_atanh(value.get(), a[0].get(), kBits);
  p[0] = Interval(1.0) / (Interval(1.0) - a[0] * a[0]);
  return Finish(value, p);
}

// Log((Sqr(1 - x^2) + 1) / x): in (0, 1], no slope at 1.
Coverage EncloseAsecH(Args a, Interval& value, Outs p) {
  const double lo = a[0].Lower();
  const double hi = a[0].Upper();
  if (hi <= 0 || lo > 1) return Coverage::Nowhere;
  if (lo <= 0 || hi >= 1) return Unknown(value);
  Interval root = Interval(1.0) - a[0] * a[0];
  arb_sqrt(root.get(), root.get(), kBits);
  Interval quotient = (root + Interval(1.0)) / a[0];
  arb_log(value.get(), quotient.get(), kBits);
  p[0] = -(Interval(1.0) / (a[0] * root));
  return Finish(value, p);
}

// Log((Sgn(x) Sqr(x^2 + 1) + 1) / x) = asinh(1/x): everywhere but 0.
Coverage EncloseAcscH(Args a, Interval& value, Outs p) {
  if (a[0].IsZero()) return Coverage::Nowhere;
  if (a[0].ContainsZero()) return Unknown(value);
  const Interval inverse = Interval(1.0) / a[0];
  arb_asinh(value.get(), inverse.get(), kBits);
  Interval magnitude;
  arb_abs(magnitude.get(), a[0].get());
  Interval root = a[0] * a[0] + Interval(1.0);
  arb_sqrt(root.get(), root.get(), kBits);
  p[0] = -(Interval(1.0) / (magnitude * root));
  return Finish(value, p);
}

// Log((x + 1) / (x - 1)) / 2 = atanh(1/x): for |x| > 1.
Coverage EncloseAcotH(Args a, Interval& value, Outs p) {
  const double lo = a[0].Lower();
  const double hi = a[0].Upper();
  if (lo >= -1 && hi <= 1) return Coverage::Nowhere;
  if (!(lo > 1 || hi < -1)) return Unknown(value);
  const Interval inverse = Interval(1.0) / a[0];
  arb_atanh(value.get(), inverse.get(), kBits);
  p[0] = Interval(1.0) / (Interval(1.0) - a[0] * a[0]);
  return Finish(value, p);
}

template <double (*kConstant)()>
Coverage EncloseConstant(Args, Interval& value, Outs) {
  value = Interval(kConstant());
  return Coverage::Smooth;
}

// Piecewise constant and nondecreasing functions: constant over the box
// (slope 0) when its two ends agree, else every value between, without a slope.
template <double (*kStep)(double)>
Coverage EncloseSteps(Args a, Interval& value, Outs p) {
  for (Interval& partial : p) partial = Interval(0.0);
  const double lo = kStep(a[0].Lower());
  const double hi = kStep(a[0].Upper());
  if (!std::isfinite(lo) || !std::isfinite(hi)) return Unknown(value);
  value = Interval(lo, hi);
  return lo == hi ? Coverage::Smooth : Coverage::NoSlope;
}

double SignStep(double x) { return Sgn(x); }
double FloorStep(double x) { return std::floor(x); }
double TruncStep(double x) { return std::trunc(x); }
double RoundStep(double x) { return std::nearbyint(x); }  // half-way cases: either neighbour, both enclosed
// The member Floor truncates to a Long: beyond a Long's range it fails.
double LongTruncStep(double x) {
  const double t = std::trunc(x);
  return t >= -2147483648.0 && t <= 2147483647.0 ? t : std::numeric_limits<double>::quiet_NaN();
}

// Round(x[, places]): the whole-number form only.
Coverage EncloseRound(Args a, Interval& value, Outs p) {
  if (a.size() > 1) return Unknown(value);
  return EncloseSteps<RoundStep>(a, value, p);
}

// Frac(x) = x - Int(x): slope 1 between whole numbers, a jump at each.
Coverage EncloseFrac(Args a, Interval& value, Outs p) {
  const double lo = std::floor(a[0].Lower());
  const double hi = std::floor(a[0].Upper());
  if (!std::isfinite(lo) || !std::isfinite(hi)) return Unknown(value);
  p[0] = Interval(1.0);
  if (lo == hi) {
    value = a[0] - Interval(lo);
    return Finish(value, p);
  }
  value = Interval(0.0, 1.0);
  return Coverage::NoSlope;
}

// DMin and DMax: the extreme of the arguments' enclosures. The slope of a
// minimum of smooth functions lies in the hull of the slopes of those that
// may be the least, so each such argument gets a partial in [0, 1] (1 when
// it alone may be).
template <bool kMinimum>
Coverage EnclosePick(Args a, Interval& value, Outs p) {
  if (a.empty()) return Coverage::Nowhere;  // the library refuses an empty list
  value = a[0];
  for (std::size_t k = 1; k < a.size(); ++k) {
    if (kMinimum) {
      arb_min(value.get(), value.get(), a[k].get(), kBits);
    } else {
      arb_max(value.get(), value.get(), a[k].get(), kBits);
    }
  }
  std::size_t candidates = 0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const bool candidate = kMinimum ? !(a[k].Lower() > value.Upper()) : !(a[k].Upper() < value.Lower());
    p[k] = candidate ? Interval(0.0, 1.0) : Interval(0.0);
    candidates += candidate ? 1 : 0;
  }
  if (candidates == 1) {
    for (Interval& partial : p) {
      if (!partial.IsZero()) partial = Interval(1.0);
    }
  }
  return Finish(value, p);
}

// Error models, in units of u (see ErrorModel).
constexpr ErrorModel kExact{};
constexpr ErrorModel kLibm{4};            // one libm call: 2 ulps
constexpr ErrorModel kCorrectlyRounded{1};
constexpr ErrorModel kJumps{0, 0, 0, true, true};
// Formulas that cancel near an end of their domain without a bound of the
// three kinds: the inverse trigonometric ones near +-1 and their limit bands,
// Acot's atan(x) + pi/2 for large negative x, and the inverse hyperbolic ones
// built on log(sqrt(x^2 +- 1) + x).
constexpr ErrorModel kUnbounded{0, 0, 0, false};
// The degree functions round x*Ra before the libm call (relative u on the
// argument); the reciprocal ones add a rounded division 1/f.
constexpr ErrorModel kDegrees{4, 1};
constexpr ErrorModel kReciprocal{5};
constexpr ErrorModel kReciprocalDegrees{5, 1};
// atan(x) * Da: the libm call and one product.
constexpr ErrorModel kAtanDegrees{5};
// (e^x - e^-x)/2: each exponential within 4u|e^+-x|, so the difference is
// within 4u*cosh(x) = 4u|slope|, then one rounding of the difference.
constexpr ErrorModel kSinH{2, 0, 4};
constexpr ErrorModel kCosH{5};
// (e^x - e^-x)/(e^-x + e^x): the numerator's 4u*(e^x + e^-x) over the sum is
// 4u absolute, within 4u(|tanh| + sech^2); then the sum's and quotient's roundings.
constexpr ErrorModel kTanH{11, 0, 4};
constexpr ErrorModel kSecH{6};
// 2/(e^x - e^-x): the difference's relative error 4u*coth(x) gives 4u|slope|.
constexpr ErrorModel kCscH{2, 0, 4};
// (e^x + e^-x)/(e^x - e^-x): |coth| * 4u coth(x) = 4u(1 + csch^2) <= 4u(|f| + |slope|).
constexpr ErrorModel kCotH{10, 0, 4};
// ln(x) / ln(10): two libm calls (the constant's own error counts) and a quotient.
constexpr ErrorModel kLog10{9};
constexpr ErrorModel kLogN{9};

constexpr DerivativeRule Smooth(std::string_view name, bool member, bool foldable, Partials p, ErrorModel error,
                                Enclosure enclose = nullptr) {
  return {name, member, foldable, RuleKind::Smooth, ExtremeKind::None, p, error, enclose};
}
// Selecting an argument adds no rounding: the result is off by at most the
// largest of the arguments' errors.
constexpr DerivativeRule Pick(std::string_view name, ExtremeKind extreme, Enclosure enclose) {
  return {name, true, true, RuleKind::Select, extreme, nullptr, kExact, enclose};
}
constexpr bool kBuiltin = false;
constexpr bool kMember = true;
constexpr bool kPure = true;
constexpr bool kGuarded = false;  // also members that show a message or set Error

constexpr std::array kRules{
    // Built-ins.
    Smooth("Abs", kBuiltin, kPure, AbsPartial, kExact, EncloseAbs),
    Smooth("Atn", kBuiltin, kPure, Along<Atan>, kLibm, EncloseAtan<false>),
    Smooth("Cos", kBuiltin, kPure, Along<Cos>, kLibm, EncloseTrig<Trig::Cos, false>),
    Smooth("Exp", kBuiltin, kPure, ExpPartial, kLibm, EncloseExp),
    Smooth("Fix", kBuiltin, kPure, Steps<AtWholeButZero>, kJumps, EncloseSteps<TruncStep>),
    Smooth("Int", kBuiltin, kPure, IntPartial, kJumps, EncloseSteps<FloorStep>),
    Smooth("Log", kBuiltin, kPure, Along<Ln>, kLibm, EncloseLn),
    Smooth("Round", kBuiltin, kPure, RoundPartial, kJumps, EncloseRound),
    Smooth("Sgn", kBuiltin, kPure, Steps<AtZero>, kJumps, EncloseSteps<SignStep>),
    Smooth("Sin", kBuiltin, kPure, Along<Sin>, kLibm, EncloseTrig<Trig::Sin, false>),
    Smooth("Sqr", kBuiltin, kPure, SqrPartial, kCorrectlyRounded, EncloseSqr),
    Smooth("Tan", kBuiltin, kPure, Along<Tan>, kLibm, EncloseTrig<Trig::Tan, false>),
    Smooth("CDbl", kBuiltin, kPure, IdentityPartial, kExact, EncloseIdentity),
    // Library members.
    Smooth("SinD", kMember, kGuarded, Along<SinD>, kDegrees, EncloseTrig<Trig::Sin, true>),
    Smooth("CosD", kMember, kGuarded, Along<CosD>, kDegrees, EncloseTrig<Trig::Cos, true>),
    Smooth("TanD", kMember, kGuarded, Along<TanD>, kDegrees, EncloseTrig<Trig::Tan, true>),
    Smooth("Cot", kMember, kGuarded, Along<Cot>, kReciprocal, EncloseTrig<Trig::Cot, false>),
    Smooth("CotD", kMember, kGuarded, Along<CotD>, kReciprocalDegrees, EncloseTrig<Trig::Cot, true>),
    Smooth("Csc", kMember, kGuarded, Along<Csc>, kReciprocal, EncloseTrig<Trig::Csc, false>),
    Smooth("CscD", kMember, kGuarded, Along<CscD>, kReciprocalDegrees, EncloseTrig<Trig::Csc, true>),
    Smooth("Sec", kMember, kGuarded, Along<Sec>, kReciprocal, EncloseTrig<Trig::Sec, false>),
    Smooth("SecD", kMember, kGuarded, Along<SecD>, kReciprocalDegrees, EncloseTrig<Trig::Sec, true>),
    Smooth("Asin", kMember, kGuarded, OutsideUnitBand<AsinFormula>, kUnbounded, EncloseArc<Arc::Sin, false>),
    Smooth("AsinD", kMember, kGuarded, OutsideUnitBand<AsinDFormula>, kUnbounded, EncloseArc<Arc::Sin, true>),
    Smooth("Acos", kMember, kGuarded, OutsideUnitBand<AcosFormula>, kUnbounded, EncloseArc<Arc::Cos, false>),
    Smooth("AcosD", kMember, kGuarded, OutsideUnitBand<AcosDFormula>, kUnbounded, EncloseArc<Arc::Cos, true>),
    Smooth("Asec", kMember, kGuarded, Along<AsecAngle>, kUnbounded, EncloseArcSec<false, false>),
    Smooth("AsecD", kMember, kGuarded, Along<AsecAngleD>, kUnbounded, EncloseArcSec<false, true>),
    Smooth("Acsc", kMember, kGuarded, Along<AsecAngle>, kUnbounded, EncloseArcSec<true, false>),
    Smooth("AcscD", kMember, kGuarded, Along<AsecAngleD>, kUnbounded, EncloseArcSec<true, true>),
    Smooth("Acot", kMember, kPure, Along<Atan>, kUnbounded, EncloseAcot<false>),
    Smooth("AcotD", kMember, kPure, Along<AtanD>, kUnbounded, EncloseAcot<true>),
    Smooth("Atan", kMember, kPure, Along<Atan>, kLibm, EncloseAtan<false>),
    Smooth("AtanD", kMember, kPure, Along<AtanD>, kAtanDegrees, EncloseAtan<true>),
    Smooth("sinH", kMember, kGuarded, Along<SinH>, kSinH, EncloseHyper<Hyper::Sinh>),
    Smooth("cosH", kMember, kGuarded, Along<CosH>, kCosH, EncloseHyper<Hyper::Cosh>),
    Smooth("tanH", kMember, kGuarded, Along<TanH>, kTanH, EncloseHyper<Hyper::Tanh>),
    Smooth("secH", kMember, kGuarded, Along<SecH>, kSecH, EncloseHyper<Hyper::Sech>),
    Smooth("cscH", kMember, kGuarded, Along<CscH>, kCscH, EncloseHyper<Hyper::Csch>),
    Smooth("cotH", kMember, kGuarded, Along<CotH>, kCotH, EncloseHyper<Hyper::Coth>),
    Smooth("AsinH", kMember, kGuarded, Along<AsinH>, kUnbounded, EncloseAsinH),
    Smooth("ACosH", kMember, kGuarded, Along<ACosH>, kUnbounded, EncloseACosH),
    Smooth("AtanH", kMember, kGuarded, Along<AtanH>, kUnbounded, EncloseAtanH),
    Smooth("AsecH", kMember, kGuarded, Along<AsecH>, kUnbounded, EncloseAsecH),
    Smooth("AcscH", kMember, kGuarded, Along<AcscH>, kUnbounded, EncloseAcscH),
    Smooth("AcotH", kMember, kGuarded, Along<AcotH>, kUnbounded, EncloseAcotH),
    Smooth("e", kMember, kPure, nullptr, kExact, EncloseConstant<ClsMath::E>),
    Smooth("PI", kMember, kPure, nullptr, kExact, EncloseConstant<ClsMath::PI>),
    Smooth("ra", kMember, kPure, nullptr, kExact, EncloseConstant<ClsMath::Ra>),
    Smooth("Da", kMember, kPure, nullptr, kExact, EncloseConstant<ClsMath::Da>),
    Smooth("Frac", kMember, kPure, FracPartial, kJumps, EncloseFrac),
    Smooth("LogN", kMember, kGuarded, LogNPartial, kLogN, EncloseLogN),
    Smooth("Log10", kMember, kGuarded, Log10Partial, kLog10, EncloseLog10),
    Smooth("Ln", kMember, kGuarded, Along<Ln>, kLibm, EncloseLn),
    Smooth("SIGN", kMember, kPure, Steps<AtZero>, kJumps, EncloseSteps<SignStep>),
    // The whole-number members below round their arguments to Longs (and
    // Gcd and Lcm tell the user of bad input): no enclosure rule, so an
    // equation using them is never certified and the proof names them.
    Smooth("Modxy", kMember, kPure, Steps<RoundingTie>, kJumps),
    Smooth("Floor", kMember, kPure, Steps<AtWholeButZero>, kJumps, EncloseSteps<LongTruncStep>),
    Smooth("Lcm", kMember, kGuarded, Steps<RoundingTie>, kJumps),
    Smooth("Gcd", kMember, kGuarded, Steps<RoundingTie>, kJumps),
    Smooth("Odd", kMember, kPure, Steps<Whole>, kJumps),
    Smooth("Even", kMember, kPure, Steps<Whole>, kJumps),
    Pick("DMin", ExtremeKind::Minimum, EnclosePick<true>),
    Pick("DMax", ExtremeKind::Maximum, EnclosePick<false>),
    Smooth("Sqr2", kMember, kGuarded, Sqr2Partial, kCorrectlyRounded, EncloseSqr2),
};

bool SameFolded(std::string_view name, std::string_view folded) {
  if (name.size() != folded.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c) != folded[i]) return false;
  }
  return true;
}

}  // namespace

std::span<const DerivativeRule> DerivativeRules() { return kRules; }

const DerivativeRule* FindDerivativeRule(std::string_view foldedName, bool member) {
  for (const DerivativeRule& rule : kRules) {
    if (rule.member == member && SameFolded(rule.name, foldedName)) return &rule;
  }
  return nullptr;
}

}  // namespace eval
