#include "Value.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <string>

#include "NumberText.h"
#include "ScriptError.h"

namespace eval {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    char x = a[k], y = b[k];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

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
      return a.s_ == b.s_;
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

std::optional<double> ParseNumericText(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string_view t = text.substr(begin, end - begin);
  if (t.empty()) return std::nullopt;

  if (t.size() >= 2 && t[0] == '&') {
    const char kind = t[1];
    const int radix = (kind == 'h' || kind == 'H') ? 16 : (kind == 'o' || kind == 'O') ? 8 : 0;
    if (radix == 0 || t.size() == 2) return std::nullopt;
    for (std::size_t k = 2; k < t.size(); ++k) {
      const char c = t[k];
      const bool ok = radix == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                  : (c >= '0' && c <= '7');
      if (!ok) return std::nullopt;
    }
    return LeadingNumber(t);
  }

  // sign? digits* (. digits*)? ((e|E) sign? digits+)? with at least one digit
  std::size_t k = 0;
  if (t[k] == '+' || t[k] == '-') ++k;
  bool anyDigit = false;
  while (k < t.size() && t[k] >= '0' && t[k] <= '9') {
    ++k;
    anyDigit = true;
  }
  if (k < t.size() && t[k] == '.') {
    ++k;
    while (k < t.size() && t[k] >= '0' && t[k] <= '9') {
      ++k;
      anyDigit = true;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (k < t.size() && (t[k] == 'e' || t[k] == 'E')) {
    ++k;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) ++k;
    bool expDigit = false;
    while (k < t.size() && t[k] >= '0' && t[k] <= '9') {
      ++k;
      expDigit = true;
    }
    if (!expDigit) return std::nullopt;
  }
  if (k != t.size()) return std::nullopt;
  const double value = LeadingNumber(t);
  if (!std::isfinite(value)) return std::nullopt;  // "1e999" is no number VBScript can hold
  return value;
}

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
      return ParseNumericText(v.AsString());
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
      if (EqualsIgnoringCase(v.AsString(), "True")) return true;
      if (EqualsIgnoringCase(v.AsString(), "False")) return false;
      auto d = ParseNumericText(v.AsString());
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
