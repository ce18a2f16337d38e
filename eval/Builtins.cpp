#include "Builtins.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include <vector>

#include "Ascii.h"
#include "ScriptError.h"

namespace eval {
namespace {

[[noreturn]] void InvalidArgument() { throw ScriptError(ErrorNumber::InvalidProcedureCall); }

// A Double result of a function of the finite or non-finite argument x:
// leaving the finite range from a finite argument is an Overflow.
double MathResult(double r, double x) {
  if (!std::isfinite(r) && std::isfinite(x)) throw ScriptError(ErrorNumber::Overflow);
  return r;
}

double RealAtn(double x) { return MathResult(std::atan(x), x); }
double RealCos(double x) { return MathResult(std::cos(x), x); }
double RealSin(double x) { return MathResult(std::sin(x), x); }
double RealTan(double x) { return MathResult(std::tan(x), x); }
double RealExp(double x) { return MathResult(std::exp(x), x); }
double RealLog(double x) {
  if (x <= 0) InvalidArgument();
  return MathResult(std::log(x), x);
}
double RealSqr(double x) {
  if (x < 0) InvalidArgument();
  return MathResult(std::sqrt(x), x);
}

template <double (*F)(double)>
Value OfDouble(std::span<const Value> a) {
  return Value::Double(F(RequireDouble(a[0])));
}

// Abs, Fix, Int and Round keep the kind of a number (Empty and Boolean count
// as Integer, a text as Double) and pass Null through.
template <typename WholeFn, typename RealFn>
Value KeepKind(const Value& v, WholeFn whole, RealFn real) {
  switch (v.Type()) {
    case VarType::Null:
      return Value::Null();
    case VarType::Empty:
      return Value::Integer(0);
    case VarType::Boolean:
    case VarType::Integer: {
      const std::int64_t base = v.Type() == VarType::Boolean ? (v.AsBoolean() ? -1 : 0) : v.AsInteger();
      const std::int64_t n = whole(base);
      if (n >= -32768 && n <= 32767) return Value::Integer(static_cast<std::int16_t>(n));
      return Value::Long(static_cast<std::int32_t>(n));
    }
    case VarType::Long: {
      const std::int64_t n = whole(v.AsLong());
      if (n >= INT32_MIN && n <= INT32_MAX) return Value::Long(static_cast<std::int32_t>(n));
      return Value::Double(static_cast<double>(n));
    }
    case VarType::Single:
      return Value::Single(static_cast<float>(real(static_cast<double>(v.AsSingle()))));
    default:
      return Value::Double(real(RequireDouble(v)));
  }
}

Value Abs(std::span<const Value> a) {
  return KeepKind(
      a[0], [](std::int64_t n) { return n < 0 ? -n : n; }, [](double d) { return std::fabs(d); });
}
Value Fix(std::span<const Value> a) {
  return KeepKind(
      a[0], [](std::int64_t n) { return n; }, [](double d) { return std::trunc(d); });
}
Value Int(std::span<const Value> a) {
  return KeepKind(
      a[0], [](std::int64_t n) { return n; }, [](double d) { return std::floor(d); });
}

Value Round(std::span<const Value> a) {
  std::int32_t places = 0;
  if (a.size() > 1) {
    places = RequireLong(a[1]);
    if (places < 0) InvalidArgument();
  }
  if (a[0].Type() == VarType::Boolean) return a[0];  // a Boolean is already whole
  return KeepKind(
      a[0], [](std::int64_t n) { return n; },
      [places](double d) {
        if (places == 0) return std::nearbyint(d);  // ties to even
        const double scale = std::pow(10.0, places);
        const double scaled = d * scale;
        // Digits beyond a double's precision leave the value as it is.
        if (!std::isfinite(scale) || !std::isfinite(scaled) || std::fabs(scaled) >= 0x1p52) return d;
        return std::nearbyint(scaled) / scale;
      });
}

Value Sgn(std::span<const Value> a) {
  const double x = RequireDouble(a[0]);
  return Value::Integer(static_cast<std::int16_t>(x > 0 ? 1 : (x < 0 ? -1 : 0)));
}

Value CBool(std::span<const Value> a) { return Value::Boolean(RequireBoolean(a[0])); }
Value CDbl(std::span<const Value> a) { return Value::Double(RequireDouble(a[0])); }
Value CInt(std::span<const Value> a) { return Value::Integer(RequireInteger(a[0])); }
Value CLng(std::span<const Value> a) { return Value::Long(RequireLong(a[0])); }
Value CSng(std::span<const Value> a) { return Value::Single(RequireSingle(a[0])); }
Value CStr(std::span<const Value> a) { return Value::String(RequireText(a[0])); }

// Hex and Oct: Integers (and Empty, Booleans) as 16 bits, everything else as a Long's 32.
Value RadixText(const Value& v, unsigned bitsPerDigit) {
  if (v.IsNull()) return Value::Null();
  std::uint32_t bits;
  if (v.IsEmpty()) {
    bits = 0;
  } else if (v.Type() == VarType::Integer) {
    bits = static_cast<std::uint16_t>(v.AsInteger());
  } else if (v.Type() == VarType::Boolean) {
    bits = v.AsBoolean() ? 0xFFFFu : 0u;
  } else {
    bits = static_cast<std::uint32_t>(RequireLong(v));
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::uint32_t mask = (1u << bitsPerDigit) - 1;
  std::string text;
  do {
    text.insert(text.begin(), kDigits[bits & mask]);
    bits >>= bitsPerDigit;
  } while (bits != 0);
  return Value::String(std::move(text));
}

Value Hex(std::span<const Value> a) { return RadixText(a[0], 4); }
Value Oct(std::span<const Value> a) { return RadixText(a[0], 3); }

Value IsNumeric(std::span<const Value> a) {
  const Value& v = a[0];
  if (v.IsString()) return Value::Boolean(ParseNumericText(v.AsString()).has_value());
  return Value::Boolean(v.IsNumeric() || v.IsEmpty());
}
Value IsEmpty(std::span<const Value> a) { return Value::Boolean(a[0].IsEmpty()); }
Value TypeNameOf(std::span<const Value> a) { return Value::String(std::string(TypeName(a[0].Type()))); }

// Texts hold UTF-8; the text functions count characters, not bytes. A byte
// that does not begin a well-formed sequence counts as one character.
std::size_t CharLength(const std::string& s, std::size_t at) {
  const auto lead = static_cast<unsigned char>(s[at]);
  std::size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  if (at + length > s.size()) return 1;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(s[at + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

std::size_t CountChars(const std::string& s, std::size_t endByte) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < endByte; at += CharLength(s, at)) ++count;
  return count;
}

// Byte offset of character `index` (0-based); s.size() when past the end.
std::size_t ByteOfChar(const std::string& s, std::size_t index) {
  std::size_t at = 0;
  for (std::size_t k = 0; k < index && at < s.size(); ++k) at += CharLength(s, at);
  return at < s.size() ? at : s.size();
}

std::size_t RequireCount(const Value& v) {
  const std::int32_t n = RequireLong(v);
  if (n < 0) InvalidArgument();
  return static_cast<std::size_t>(n);
}

Value Len(std::span<const Value> a) {
  if (a[0].IsNull()) return Value::Null();
  const std::string s = RequireText(a[0]);
  return Value::Long(static_cast<std::int32_t>(CountChars(s, s.size())));
}

Value Left(std::span<const Value> a) {
  const std::size_t n = RequireCount(a[1]);
  if (a[0].IsNull()) return Value::Null();
  const std::string s = RequireText(a[0]);
  return Value::String(s.substr(0, ByteOfChar(s, n)));
}

Value Right(std::span<const Value> a) {
  const std::size_t n = RequireCount(a[1]);
  if (a[0].IsNull()) return Value::Null();
  const std::string s = RequireText(a[0]);
  const std::size_t total = CountChars(s, s.size());
  return Value::String(n >= total ? s : s.substr(ByteOfChar(s, total - n)));
}

Value Mid(std::span<const Value> a) {
  if (a.size() > 2 && a[2].IsNull()) throw ScriptError(ErrorNumber::InvalidUseOfNull);
  const std::int32_t start = RequireLong(a[1]);
  if (start < 1) InvalidArgument();
  std::size_t count = std::numeric_limits<std::size_t>::max();
  if (a.size() > 2) count = RequireCount(a[2]);
  if (a[0].IsNull()) return Value::Null();
  const std::string s = RequireText(a[0]);
  const std::size_t from = ByteOfChar(s, static_cast<std::size_t>(start) - 1);
  std::size_t to = s.size();
  if (count != std::numeric_limits<std::size_t>::max()) {
    to = from;
    for (std::size_t k = 0; k < count && to < s.size(); ++k) to += CharLength(s, to);
  }
  return Value::String(s.substr(from, to - from));
}

// InStr([start, ] text, sought [, compare]): 1-based character position or 0.
Value InStr(std::span<const Value> a) {
  std::size_t start = 1;
  std::size_t first = 0;
  if (a.size() >= 3) {
    const std::int32_t s = RequireLong(a[0]);
    if (s < 1) InvalidArgument();
    start = static_cast<std::size_t>(s);
    first = 1;
  }
  bool textCompare = false;
  if (a.size() == 4) {
    const std::int32_t mode = RequireLong(a[3]);
    if (mode != 0 && mode != 1) InvalidArgument();
    textCompare = mode == 1;
  }
  if (a[first].IsNull() || a[first + 1].IsNull()) return Value::Null();
  std::string text = RequireText(a[first]);
  std::string sought = RequireText(a[first + 1]);
  if (textCompare) {
    text = FoldName(text);
    sought = FoldName(sought);
  }
  const std::size_t length = CountChars(text, text.size());
  if (start > length) return Value::Long(0);
  if (sought.empty()) return Value::Long(static_cast<std::int32_t>(start));
  const std::size_t found = text.find(sought, ByteOfChar(text, start - 1));
  if (found == std::string::npos) return Value::Long(0);
  return Value::Long(static_cast<std::int32_t>(CountChars(text, found) + 1));
}

Value UCase(std::span<const Value> a) {
  if (a[0].IsNull()) return Value::Null();
  return Value::String(UpperName(RequireText(a[0])));
}

Value LCase(std::span<const Value> a) {
  if (a[0].IsNull()) return Value::Null();
  return Value::String(FoldName(RequireText(a[0])));
}

Value Trim(std::span<const Value> a) {
  if (a[0].IsNull()) return Value::Null();
  const std::string s = RequireText(a[0]);
  const std::size_t begin = s.find_first_not_of(' ');
  if (begin == std::string::npos) return Value::String(std::string());
  const std::size_t end = s.find_last_not_of(' ');
  return Value::String(s.substr(begin, end - begin + 1));
}

constexpr std::array kBuiltins{
    BuiltinInfo{"Abs", 1, 1, Abs},
    BuiltinInfo{"Atn", 1, 1, OfDouble<RealAtn>},
    BuiltinInfo{"Cos", 1, 1, OfDouble<RealCos>},
    BuiltinInfo{"Exp", 1, 1, OfDouble<RealExp>},
    BuiltinInfo{"Fix", 1, 1, Fix},
    BuiltinInfo{"Int", 1, 1, Int},
    BuiltinInfo{"Log", 1, 1, OfDouble<RealLog>},
    BuiltinInfo{"Round", 1, 2, Round},
    BuiltinInfo{"Sgn", 1, 1, Sgn},
    BuiltinInfo{"Sin", 1, 1, OfDouble<RealSin>},
    BuiltinInfo{"Sqr", 1, 1, OfDouble<RealSqr>},
    BuiltinInfo{"Tan", 1, 1, OfDouble<RealTan>},
    BuiltinInfo{"CBool", 1, 1, CBool},
    BuiltinInfo{"CDbl", 1, 1, CDbl},
    BuiltinInfo{"CInt", 1, 1, CInt},
    BuiltinInfo{"CLng", 1, 1, CLng},
    BuiltinInfo{"CSng", 1, 1, CSng},
    BuiltinInfo{"CStr", 1, 1, CStr},
    BuiltinInfo{"Hex", 1, 1, Hex},
    BuiltinInfo{"Oct", 1, 1, Oct},
    BuiltinInfo{"IsNumeric", 1, 1, IsNumeric},
    BuiltinInfo{"IsEmpty", 1, 1, IsEmpty},
    BuiltinInfo{"TypeName", 1, 1, TypeNameOf},
    BuiltinInfo{"Len", 1, 1, Len},
    BuiltinInfo{"Left", 2, 2, Left},
    BuiltinInfo{"Right", 2, 2, Right},
    BuiltinInfo{"Mid", 2, 3, Mid},
    BuiltinInfo{"InStr", 2, 4, InStr},
    BuiltinInfo{"UCase", 1, 1, UCase},
    BuiltinInfo{"LCase", 1, 1, LCase},
    BuiltinInfo{"Trim", 1, 1, Trim},
};

}  // namespace

std::span<const BuiltinInfo> Builtins() { return kBuiltins; }

std::optional<std::uint32_t> FindBuiltin(std::string_view foldedName) {
  for (std::uint32_t k = 0; k < kBuiltins.size(); ++k) {
    if (EqualsFolded(kBuiltins[k].name, foldedName)) return k;
  }
  return std::nullopt;
}

namespace {

struct ConstantEntry {
  std::string_view folded;
  Value value;
};

const std::vector<ConstantEntry>& Constants() {
  static const std::vector<ConstantEntry> kConstants{
      {"vbcr", Value::String("\r")},
      {"vblf", Value::String("\n")},
      {"vbcrlf", Value::String("\r\n")},
      {"vbnewline", Value::String("\r\n")},
      {"vbtab", Value::String("\t")},
      {"vbnullchar", Value::String(std::string(1, '\0'))},
      {"vbnullstring", Value::String("")},
      {"vbtrue", Value::Integer(-1)},
      {"vbfalse", Value::Integer(0)},
      {"vbempty", Value::Integer(0)},
      {"vbnull", Value::Integer(1)},
      {"vbinteger", Value::Integer(2)},
      {"vblong", Value::Integer(3)},
      {"vbsingle", Value::Integer(4)},
      {"vbdouble", Value::Integer(5)},
      {"vbstring", Value::Integer(8)},
      {"vbboolean", Value::Integer(11)},
  };
  return kConstants;
}

}  // namespace

std::optional<std::uint32_t> FindConstant(std::string_view foldedName) {
  if (foldedName.size() < 4 || foldedName[0] != 'v' || foldedName[1] != 'b') return std::nullopt;
  const auto& constants = Constants();
  for (std::uint32_t k = 0; k < constants.size(); ++k) {
    if (constants[k].folded == foldedName) return k;
  }
  return std::nullopt;
}

const Value& ConstantValue(std::uint32_t index) { return Constants()[index].value; }

namespace {

// kBuiltins' entries that are functions of one number, in its order.
constexpr std::array<RealFunction, kBuiltins.size()> kRealFunctions = [] {
  std::array<RealFunction, kBuiltins.size()> real{};
  const struct {
    std::string_view name;
    RealFunction function;
  } kPairs[] = {{"Atn", RealAtn}, {"Cos", RealCos}, {"Exp", RealExp}, {"Log", RealLog},
                {"Sin", RealSin}, {"Sqr", RealSqr}, {"Tan", RealTan}};
  for (const auto& pair : kPairs) {
    for (std::size_t k = 0; k < kBuiltins.size(); ++k) {
      if (kBuiltins[k].name == pair.name) real[k] = pair.function;
    }
  }
  return real;
}();

}  // namespace

RealFunction RealFunctionOf(std::uint32_t index) { return kRealFunctions[index]; }

Value CallBuiltin(std::uint32_t index, std::span<const Value> args) {
  const BuiltinInfo& info = kBuiltins[index];
  if (args.size() < static_cast<std::size_t>(info.minArgs) ||
      args.size() > static_cast<std::size_t>(info.maxArgs)) {
    throw ScriptError(ErrorNumber::WrongNumberOfArguments);
  }
  return info.call(args);
}

}  // namespace eval
