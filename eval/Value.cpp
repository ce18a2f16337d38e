#include "Value.h"

#include <cfloat>
#include <cmath>
#include <string>

#include "Ascii.h"
#include "NumberScan.h"
#include "NumberText.h"
#include "ScriptError.h"

namespace eval {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Nearest whole number, ties to the even one (the processor's default
// rounding; never changed by this program).
double RoundHalfEven(double d) { return std::nearbyint(d); }

}  // namespace

bool operator==(const Value& a, const Value& b) {
  if (a.type_ != b.type_) return false;
  switch (a.type_) {
    case VarType::Empty:
    case VarType::Null:
      return true;
    case VarType::Boolean:
      return a.b_ == b.b_;
    case VarType::Integer:
      return a.i_ == b.i_;
    case VarType::Long:
      return a.l_ == b.l_;
    case VarType::Single:
      return a.f_ == b.f_;
    case VarType::Double:
      return a.d_ == b.d_;
    case VarType::String:
      return *a.s_ == *b.s_;
  }
  return false;
}

std::string_view TypeName(VarType type) {
  switch (type) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Boolean:
      return "Boolean";
    case VarType::Integer:
      return "Integer";
    case VarType::Long:
      return "Long";
    case VarType::Single:
      return "Single";
    case VarType::Double:
      return "Double";
    case VarType::String:
      return "String";
  }
  return "Unknown";
}

TextNumber ReadNumericText(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  const std::string_view t = text.substr(begin, end - begin);
  TextNumber result;

  if (const RadixScan radix = ScanRadix(t); radix.length != 0) {
    if (radix.length != t.size()) return result;
    result.isNumber = true;
    result.overflow = radix.overflow;
    if (!radix.overflow) result.number = RadixValue(radix.bits);
    return result;
  }

  std::size_t k = 0;
  const bool negative = k < t.size() && t[k] == '-';
  if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
  const std::string_view digits = t.substr(k);
  const DecimalScan scan = ScanDecimal(digits);
  if (scan.length == 0 || scan.length != digits.size()) return result;
  result.isNumber = true;
  auto value = DecimalValue(digits, scan.whole);
  if (!value) {
    result.overflow = true;
    return result;
  }
  result.number = negative ? (value->Type() == VarType::Double ? Value::Double(-value->AsDouble())
                                                               : WholeValue(-NumberOf(*value)))
                           : std::move(*value);
  return result;
}

std::optional<double> ParseNumericText(std::string_view text) {
  const TextNumber read = ReadNumericText(text);
  if (!read.isNumber || read.overflow) return std::nullopt;
  return NumberOf(read.number);
}

namespace {

// A text used as a number: nullopt when it is none, Overflow when it is too large.
std::optional<double> TextAsDouble(const std::string& text) {
  const TextNumber read = ReadNumericText(text);
  if (!read.isNumber) return std::nullopt;
  if (read.overflow) throw ScriptError(ErrorNumber::Overflow);
  return NumberOf(read.number);
}

}  // namespace

std::optional<double> ToDouble(const Value& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::Null:
      return std::nullopt;
    case VarType::Boolean:
      return v.AsBoolean() ? -1.0 : 0.0;
    case VarType::Integer:
      return v.AsInteger();
    case VarType::Long:
      return v.AsLong();
    case VarType::Single:
      return static_cast<double>(v.AsSingle());
    case VarType::Double:
      return v.AsDouble();
    case VarType::String:
      return TextAsDouble(v.AsString());
  }
  return std::nullopt;
}

std::optional<std::string> ToText(const Value& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return std::string();
    case VarType::Null:
      return std::nullopt;
    case VarType::Boolean:
      return std::string(v.AsBoolean() ? "True" : "False");
    case VarType::Integer:
      return std::to_string(v.AsInteger());
    case VarType::Long:
      return std::to_string(v.AsLong());
    case VarType::Single:
      return SingleText(v.AsSingle());
    case VarType::Double:
      return NumberText(v.AsDouble());
    case VarType::String:
      return v.AsString();
  }
  return std::nullopt;
}

std::optional<bool> ToBoolean(const Value& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return false;
    case VarType::Null:
      return std::nullopt;
    case VarType::Boolean:
      return v.AsBoolean();
    case VarType::String: {
      if (EqualsFolded(v.AsString(), "true")) return true;
      if (EqualsFolded(v.AsString(), "false")) return false;
      auto d = TextAsDouble(v.AsString());
      if (!d) return std::nullopt;
      return *d != 0;
    }
    default: {
      auto d = ToDouble(v);
      if (!d) return std::nullopt;
      return *d != 0;
    }
  }
}

double RequireDouble(const Value& v) {
  if (v.IsNull()) throw ScriptError(ErrorNumber::InvalidUseOfNull);
  auto d = ToDouble(v);
  if (!d) throw ScriptError(ErrorNumber::TypeMismatch);
  return *d;
}

std::string RequireText(const Value& v) {
  auto t = ToText(v);
  if (!t) throw ScriptError(ErrorNumber::InvalidUseOfNull);
  return *t;
}

bool RequireBoolean(const Value& v) {
  if (v.IsNull()) throw ScriptError(ErrorNumber::InvalidUseOfNull);
  auto b = ToBoolean(v);
  if (!b) throw ScriptError(ErrorNumber::TypeMismatch);
  return *b;
}

std::int32_t RequireLong(const Value& v) {
  const double d = RoundHalfEven(RequireDouble(v));
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) throw ScriptError(ErrorNumber::Overflow);
  return static_cast<std::int32_t>(d);
}

std::int16_t RequireInteger(const Value& v) {
  const double d = RoundHalfEven(RequireDouble(v));
  if (!(d >= -32768.0 && d <= 32767.0)) throw ScriptError(ErrorNumber::Overflow);
  return static_cast<std::int16_t>(d);
}

float RequireSingle(const Value& v) {
  const double d = RequireDouble(v);
  if (std::isnan(d)) return static_cast<float>(d);
  if (std::fabs(d) > FLT_MAX) {
    // Values that round to FLT_MAX are still Singles.
    const float f = static_cast<float>(d);
    if (std::isinf(f)) throw ScriptError(ErrorNumber::Overflow);
    return f;
  }
  return static_cast<float>(d);
}

}  // namespace eval
