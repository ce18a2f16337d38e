#include "DerivativeRules.h"

#include <array>
#include <cmath>

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

constexpr DerivativeRule Smooth(std::string_view name, bool member, bool foldable, Partials p) {
  return {name, member, foldable, RuleKind::Smooth, ExtremeKind::None, p};
}
constexpr DerivativeRule Pick(std::string_view name, ExtremeKind extreme) {
  return {name, true, true, RuleKind::Select, extreme, nullptr};
}
constexpr bool kBuiltin = false;
constexpr bool kMember = true;
constexpr bool kPure = true;
constexpr bool kGuarded = false;  // also members that show a message or set Error

constexpr std::array kRules{
    // Built-ins.
    Smooth("Abs", kBuiltin, kPure, AbsPartial),
    Smooth("Atn", kBuiltin, kPure, Along<Atan>),
    Smooth("Cos", kBuiltin, kPure, Along<Cos>),
    Smooth("Exp", kBuiltin, kPure, ExpPartial),
    Smooth("Fix", kBuiltin, kPure, Steps<AtWholeButZero>),
    Smooth("Int", kBuiltin, kPure, IntPartial),
    Smooth("Log", kBuiltin, kPure, Along<Ln>),
    Smooth("Round", kBuiltin, kPure, RoundPartial),
    Smooth("Sgn", kBuiltin, kPure, Steps<AtZero>),
    Smooth("Sin", kBuiltin, kPure, Along<Sin>),
    Smooth("Sqr", kBuiltin, kPure, SqrPartial),
    Smooth("Tan", kBuiltin, kPure, Along<Tan>),
    Smooth("CDbl", kBuiltin, kPure, IdentityPartial),
    // Library members.
    Smooth("SinD", kMember, kGuarded, Along<SinD>),
    Smooth("CosD", kMember, kGuarded, Along<CosD>),
    Smooth("TanD", kMember, kGuarded, Along<TanD>),
    Smooth("Cot", kMember, kGuarded, Along<Cot>),
    Smooth("CotD", kMember, kGuarded, Along<CotD>),
    Smooth("Csc", kMember, kGuarded, Along<Csc>),
    Smooth("CscD", kMember, kGuarded, Along<CscD>),
    Smooth("Sec", kMember, kGuarded, Along<Sec>),
    Smooth("SecD", kMember, kGuarded, Along<SecD>),
    Smooth("Asin", kMember, kGuarded, OutsideUnitBand<AsinFormula>),
    Smooth("AsinD", kMember, kGuarded, OutsideUnitBand<AsinDFormula>),
    Smooth("Acos", kMember, kGuarded, OutsideUnitBand<AcosFormula>),
    Smooth("AcosD", kMember, kGuarded, OutsideUnitBand<AcosDFormula>),
    Smooth("Asec", kMember, kGuarded, Along<AsecAngle>),
    Smooth("AsecD", kMember, kGuarded, Along<AsecAngleD>),
    Smooth("Acsc", kMember, kGuarded, Along<AsecAngle>),
    Smooth("AcscD", kMember, kGuarded, Along<AsecAngleD>),
    Smooth("Acot", kMember, kPure, Along<Atan>),
    Smooth("AcotD", kMember, kPure, Along<AtanD>),
    Smooth("Atan", kMember, kPure, Along<Atan>),
    Smooth("AtanD", kMember, kPure, Along<AtanD>),
    Smooth("sinH", kMember, kGuarded, Along<SinH>),
    Smooth("cosH", kMember, kGuarded, Along<CosH>),
    Smooth("tanH", kMember, kGuarded, Along<TanH>),
    Smooth("secH", kMember, kGuarded, Along<SecH>),
    Smooth("cscH", kMember, kGuarded, Along<CscH>),
    Smooth("cotH", kMember, kGuarded, Along<CotH>),
    Smooth("AsinH", kMember, kGuarded, Along<AsinH>),
    Smooth("ACosH", kMember, kGuarded, Along<ACosH>),
    Smooth("AtanH", kMember, kGuarded, Along<AtanH>),
    Smooth("AsecH", kMember, kGuarded, Along<AsecH>),
    Smooth("AcscH", kMember, kGuarded, Along<AcscH>),
    Smooth("AcotH", kMember, kGuarded, Along<AcotH>),
    Smooth("e", kMember, kPure, nullptr),
    Smooth("PI", kMember, kPure, nullptr),
    Smooth("ra", kMember, kPure, nullptr),
    Smooth("Da", kMember, kPure, nullptr),
    Smooth("Frac", kMember, kPure, FracPartial),
    Smooth("LogN", kMember, kGuarded, LogNPartial),
    Smooth("Log10", kMember, kGuarded, Log10Partial),
    Smooth("Ln", kMember, kGuarded, Along<Ln>),
    Smooth("SIGN", kMember, kPure, Steps<AtZero>),
    Smooth("Modxy", kMember, kPure, Steps<RoundingTie>),
    Smooth("Floor", kMember, kPure, Steps<AtWholeButZero>),
    Smooth("Lcm", kMember, kGuarded, Steps<RoundingTie>),
    Smooth("Gcd", kMember, kGuarded, Steps<RoundingTie>),
    Smooth("Odd", kMember, kPure, Steps<Whole>),
    Smooth("Even", kMember, kPure, Steps<Whole>),
    Pick("DMin", ExtremeKind::Minimum),
    Pick("DMax", ExtremeKind::Maximum),
    Smooth("Sqr2", kMember, kGuarded, Sqr2Partial),
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
