#include "ClsMath.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <iostream>

namespace eval {
namespace {

// The library's own message boxes.
constexpr std::string_view kBadInputMessage = "Err input data";
constexpr std::string_view kSqr2Message = "error im clsmath.sqr2";

constexpr std::int16_t kAny = MemberInfo::kAnyCount;

// Argument conversions, done before a body runs: their failures are the
// engine's errors even for guarded functions.
double Dbl(std::span<const Value> args, std::size_t index) { return RequireDouble(args[index]); }
std::int32_t Lng(std::span<const Value> args, std::size_t index) {
  return RequireLong(args[index]);
}
std::string Txt(std::span<const Value> args, std::size_t index) {
  return RequireText(args[index]);
}

Value Dv(double d) { return Value::Double(d); }
Value Lv(std::int32_t l) { return Value::Long(l); }
Value Sv(std::string s) { return Value::String(std::move(s)); }

double Finite(double d) {
  if (!std::isfinite(d)) throw ScriptError(ErrorNumber::Overflow);
  return d;
}

// A double as the script's 32-bit whole number: nearest, ties to even, Overflow
// outside the range.
std::int32_t ToLong(double d) { return RequireLong(Value::Double(d)); }

std::int32_t FromWide(std::int64_t wide) {
  if (wide < INT32_MIN || wide > INT32_MAX) throw ScriptError(ErrorNumber::Overflow);
  return static_cast<std::int32_t>(wide);
}

// For positive arguments the descending search stops at the first common
// divisor below min(m, n), which is the greatest one; Euclid's algorithm gets
// there without walking down one candidate at a time.
std::int32_t Euclid(std::int32_t m, std::int32_t n) {
  while (n != 0) {
    const std::int32_t rest = m % n;
    m = n;
    n = rest;
  }
  return m;
}

// Odd and Even share their table; only the wanted parity differs.
std::int32_t RoundToParity(const Value& number, bool wantOdd) {
  const double v = RequireDouble(number);
  if (v == 0) return wantOdd ? 1 : 0;
  const std::int64_t s = v > 0 ? 1 : -1;
  const std::int32_t k = ToLong(std::trunc(v));
  const bool kOdd = (k % 2) != 0;
  const bool wanted = kOdd == wantOdd;
  if (v == static_cast<double>(k)) return wanted ? k : FromWide(k + s);
  return FromWide(wanted ? k + 2 * s : k + s);
}

}  // namespace

void ClsMath::Tell(std::string_view message) {
  if (ui_ != nullptr) {
    ui_->ShowMessage(message);
  } else {
    std::cerr << message << '\n';
  }
}

// The member order is the order the class declares its members in; the engine
// and the tests see it through Members().
std::span<const ClsMath::Entry> ClsMath::Table() {
  using A = Args;
  static const std::array<Entry, 61> kTable{{
      {{"Error", 0, 0, true}, [](ClsMath& m, A) { return Value::Boolean(m.error_); }},
      {{"SinD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.SinD(Dbl(a, 0))); }},
      {{"CosD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.CosD(Dbl(a, 0))); }},
      {{"TanD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.TanD(Dbl(a, 0))); }},
      {{"Cot", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Cot(Dbl(a, 0))); }},
      {{"CotD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.CotD(Dbl(a, 0))); }},
      {{"Csc", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Csc(Dbl(a, 0))); }},
      {{"CscD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.CscD(Dbl(a, 0))); }},
      {{"Sec", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Sec(Dbl(a, 0))); }},
      {{"SecD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.SecD(Dbl(a, 0))); }},
      {{"Asin", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Asin(Dbl(a, 0))); }},
      {{"AsinD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AsinD(Dbl(a, 0))); }},
      {{"Acos", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Acos(Dbl(a, 0))); }},
      {{"AcosD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AcosD(Dbl(a, 0))); }},
      {{"Asec", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Asec(Dbl(a, 0))); }},
      {{"AsecD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AsecD(Dbl(a, 0))); }},
      {{"Acsc", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Acsc(Dbl(a, 0))); }},
      {{"AcscD", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AcscD(Dbl(a, 0))); }},
      {{"Acot", 1, 1}, [](ClsMath&, A a) { return Dv(Acot(Dbl(a, 0))); }},
      {{"AcotD", 1, 1}, [](ClsMath&, A a) { return Dv(AcotD(Dbl(a, 0))); }},
      {{"Atan", 1, 1}, [](ClsMath&, A a) { return Dv(Atan(Dbl(a, 0))); }},
      {{"AtanD", 1, 1}, [](ClsMath&, A a) { return Dv(AtanD(Dbl(a, 0))); }},
      {{"sinH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.SinH(Dbl(a, 0))); }},
      {{"cosH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.CosH(Dbl(a, 0))); }},
      {{"tanH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.TanH(Dbl(a, 0))); }},
      {{"secH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.SecH(Dbl(a, 0))); }},
      {{"cscH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.CscH(Dbl(a, 0))); }},
      {{"cotH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.CotH(Dbl(a, 0))); }},
      {{"AsinH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AsinH(Dbl(a, 0))); }},
      {{"ACosH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.ACosH(Dbl(a, 0))); }},
      {{"AtanH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AtanH(Dbl(a, 0))); }},
      {{"AsecH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AsecH(Dbl(a, 0))); }},
      {{"AcscH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AcscH(Dbl(a, 0))); }},
      {{"AcotH", 1, 1}, [](ClsMath& m, A a) { return Dv(m.AcotH(Dbl(a, 0))); }},
      {{"e", 0, 0, false, true}, [](ClsMath&, A) { return Dv(E()); }},
      {{"PI", 0, 0, false, true}, [](ClsMath&, A) { return Dv(PI()); }},
      {{"ra", 0, 0, false, true}, [](ClsMath&, A) { return Dv(Ra()); }},
      {{"Da", 0, 0, false, true}, [](ClsMath&, A) { return Dv(Da()); }},
      {{"Frac", 1, 1}, [](ClsMath&, A a) { return Dv(Frac(Dbl(a, 0))); }},
      {{"LogN", 2, 2},
       [](ClsMath& m, A a) {
         const double r = Dbl(a, 0);
         const double b = Dbl(a, 1);
         return Dv(m.LogN(r, b));
       }},
      {{"Log10", 1, 2},
       [](ClsMath& m, A a) {
         const double x = Dbl(a, 0);
         // HasCondition is converted like any Boolean parameter but changes nothing.
         if (a.size() > 1) RequireBoolean(a[1]);
         return Dv(m.Log10(x));
       }},
      {{"Ln", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Ln(Dbl(a, 0))); }},
      {{"RadFromDms", 1, 1}, [](ClsMath&, A a) { return Dv(RadFromDms(Txt(a, 0))); }},
      {{"DmsFromRad", 1, 2},
       [](ClsMath&, A a) {
         const double rad = Dbl(a, 0);
         const std::int16_t itype = a.size() > 1 ? RequireInteger(a[1]) : std::int16_t{0};
         return Sv(DmsFromRad(rad, itype));
       }},
      {{"SinS", 1, 1}, [](ClsMath&, A a) { return Dv(SinS(Txt(a, 0))); }},
      {{"CosS", 1, 1}, [](ClsMath&, A a) { return Dv(CosS(Txt(a, 0))); }},
      {{"TanS", 1, 1}, [](ClsMath&, A a) { return Dv(TanS(Txt(a, 0))); }},
      {{"CtnS", 1, 1}, [](ClsMath&, A a) { return Dv(CtnS(Txt(a, 0))); }},
      {{"AsinToDms", 1, 1}, [](ClsMath&, A a) { return Sv(AsinToDms(Dbl(a, 0))); }},
      {{"AcosToDms", 1, 1}, [](ClsMath&, A a) { return Sv(AcosToDms(Dbl(a, 0))); }},
      {{"AtnToDms", 1, 1}, [](ClsMath&, A a) { return Sv(AtnToDms(Dbl(a, 0))); }},
      {{"SIGN", 1, 1}, [](ClsMath&, A a) { return Value::Integer(SIGN(Dbl(a, 0))); }},
      {{"Modxy", 2, 2},
       [](ClsMath&, A a) {
         const double x = Dbl(a, 0);
         const double y = Dbl(a, 1);
         return Dv(Modxy(x, y));
       }},
      {{"Floor", 1, 1}, [](ClsMath&, A a) { return Lv(Floor(a[0])); }},
      {{"Lcm", 2, 2},
       [](ClsMath& m, A a) {
         const std::int32_t first = Lng(a, 0);
         const std::int32_t second = Lng(a, 1);
         return Lv(m.Lcm(first, second));
       }},
      {{"Gcd", 2, 2},
       [](ClsMath& m, A a) {
         const std::int32_t first = Lng(a, 0);
         const std::int32_t second = Lng(a, 1);
         return Lv(m.Gcd(first, second));
       }},
      {{"Odd", 1, 1}, [](ClsMath&, A a) { return Lv(Odd(a[0])); }},
      {{"Even", 1, 1}, [](ClsMath&, A a) { return Lv(Even(a[0])); }},
      {{"DMin", 0, kAny}, [](ClsMath&, A a) { return Dv(DMin(a)); }},
      {{"DMax", 0, kAny}, [](ClsMath&, A a) { return Dv(DMax(a)); }},
      {{"Sqr2", 1, 1}, [](ClsMath& m, A a) { return Dv(m.Sqr2(Dbl(a, 0))); }},
  }};
  return kTable;
}

std::span<const MemberInfo> ClsMath::Members() const {
  static const auto kInfos = [] {
    const auto table = Table();
    std::array<MemberInfo, 61> infos{};
    for (std::size_t k = 0; k < infos.size(); ++k) infos[k] = table[k].info;
    return infos;
  }();
  return kInfos;
}

Value ClsMath::Invoke(std::size_t member, std::span<const Value> args) {
  const auto table = Table();
  if (member >= table.size()) throw ScriptError(ErrorNumber::ObjectDoesntSupport);
  // The engine checks the count before calling; a direct caller gets the same error.
  const MemberInfo& info = table[member].info;
  const auto count = static_cast<std::ptrdiff_t>(args.size());
  if (count < info.minArgs || (info.maxArgs != MemberInfo::kAnyCount && count > info.maxArgs)) {
    throw ScriptError(ErrorNumber::WrongNumberOfArguments);
  }
  return table[member].handler(*this, args);
}

void ClsMath::Assign(std::size_t member, const Value& value) {
  const auto table = Table();
  if (member >= table.size() || !table[member].info.writable) {
    throw ScriptError(ErrorNumber::ObjectDoesntSupport);
  }
  // Error is the only writable member.
  error_ = RequireBoolean(value);
}

// ---- constants --------------------------------------------------------------

// The library works with these 15-digit constants, not with the doubles
// nearest e and pi; every degree conversion carries them.
double ClsMath::E() { return 2.71828182845904; }
double ClsMath::PI() { return 3.14159265358979; }
double ClsMath::Ra() { return PI() / 180; }
double ClsMath::Da() { return 180 / PI(); }

// ---- checked arithmetic -----------------------------------------------------

double ClsMath::Add(double a, double b) { return Finite(a + b); }
double ClsMath::Sub(double a, double b) { return Finite(a - b); }
double ClsMath::Mul(double a, double b) { return Finite(a * b); }

double ClsMath::Div(double a, double b) {
  if (!std::isfinite(a) || !std::isfinite(b)) throw ScriptError(ErrorNumber::Overflow);
  if (b == 0) {
    throw ScriptError(a == 0 ? ErrorNumber::Overflow : ErrorNumber::DivisionByZero);
  }
  return Finite(a / b);
}

double ClsMath::Sqrt(double a) {
  if (a < 0) throw ScriptError(ErrorNumber::InvalidProcedureCall);
  return Finite(std::sqrt(Finite(a)));
}

double ClsMath::Log(double a) {
  if (a <= 0) throw ScriptError(ErrorNumber::InvalidProcedureCall);
  return Finite(std::log(Finite(a)));
}

double ClsMath::Exp(double a) { return Finite(std::exp(Finite(a))); }

double ClsMath::Atan(double a) { return std::atan(Finite(a)); }

void ClsMath::FinalQuotient(double& result, double a, double b) {
  result = a / b;
  if (b == 0) {
    throw ScriptError(a == 0 ? ErrorNumber::Overflow : ErrorNumber::DivisionByZero);
  }
  Finite(result);
}

int ClsMath::Sgn(double a) { return a > 0 ? 1 : (a < 0 ? -1 : 0); }

// ---- logarithms -------------------------------------------------------------

double ClsMath::Frac(double x) { return Sub(x, std::floor(x)); }

double ClsMath::LogN(double r, double b) {
  return Guarded([&](double& result) {
    const double numerator = Log(b);
    const double denominator = Log(r);
    FinalQuotient(result, numerator, denominator);
  });
}

double ClsMath::Log10(double x) {
  return Guarded([&](double& result) {
    const double numerator = Log(x);
    FinalQuotient(result, numerator, Log(10.0));
  });
}

double ClsMath::Ln(double x) {
  return Guarded([&](double& result) { result = Log(x); });
}

// ---- whole numbers ----------------------------------------------------------

std::int16_t ClsMath::SIGN(double x) {
  if (x == 0) return 0;
  return RequireInteger(Value::Double(x / std::fabs(x)));
}

double ClsMath::Modxy(double x, double y) {
  const std::int32_t dividend = ToLong(x);
  const std::int32_t divisor = ToLong(y);
  if (divisor == 0) throw ScriptError(ErrorNumber::DivisionByZero);
  // INT32_MIN % -1 traps on the processor; the remainder is 0 anyway.
  if (divisor == -1) return 0;
  return dividend % divisor;
}

std::int32_t ClsMath::Floor(const Value& number) {
  return ToLong(std::trunc(RequireDouble(number)));
}

std::int32_t ClsMath::CommonDivisor(std::int32_t m, std::int32_t n) {
  if (m <= 0 || n < 0) Tell(kBadInputMessage);
  const std::int32_t g = m <= n ? m : n;
  if (g < 1) return g;  // the search never runs
  return Euclid(m, n);
}

std::int32_t ClsMath::Gcd(std::int32_t m, std::int32_t n) { return CommonDivisor(m, n); }

std::int32_t ClsMath::Lcm(std::int32_t m, std::int32_t n) {
  const std::int32_t g = CommonDivisor(m, n);
  const std::int32_t product = FromWide(static_cast<std::int64_t>(m) * n);
  if (g == 0) {
    throw ScriptError(product == 0 ? ErrorNumber::Overflow : ErrorNumber::DivisionByZero);
  }
  return ToLong(static_cast<double>(product) / g);
}

std::int32_t ClsMath::Odd(const Value& number) { return RoundToParity(number, true); }

std::int32_t ClsMath::Even(const Value& number) { return RoundToParity(number, false); }

double ClsMath::DMin(Args values) {
  if (values.empty()) throw ScriptError(ErrorNumber::SubscriptOutOfRange);
  double current = RequireDouble(values[0]);
  for (std::size_t k = 1; k < values.size(); ++k) {
    const double next = RequireDouble(values[k]);
    if (current > next) current = next;
  }
  return current;
}

double ClsMath::DMax(Args values) {
  if (values.empty()) throw ScriptError(ErrorNumber::SubscriptOutOfRange);
  double current = RequireDouble(values[0]);
  for (std::size_t k = 1; k < values.size(); ++k) {
    const double next = RequireDouble(values[k]);
    if (current < next) current = next;
  }
  return current;
}

double ClsMath::Sqr2(double x) {
  try {
    const double root = Sqrt(std::fabs(x));
    return x < 0 ? -root : root;
  } catch (const ScriptError&) {
    Tell(kSqr2Message);
    return 0;
  }
}

}  // namespace eval
