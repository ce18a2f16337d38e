#include "Operators.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "Ascii.h"
#include "NumberScan.h"
#include "RealArithmetic.h"
#include "ScriptError.h"

namespace eval {
namespace {

// Arithmetic kinds in promotion order; Empty and Boolean count as Integer.
enum class NumKind : std::uint8_t { Integer, Long, Single, Double };

struct Num {
  NumKind kind;
  std::int64_t whole;  // Integer and Long
  double real;         // every kind
};

Num ToNum(const Value& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return {NumKind::Integer, 0, 0.0};
    case VarType::Boolean:
      return {NumKind::Integer, v.AsBoolean() ? -1 : 0, v.AsBoolean() ? -1.0 : 0.0};
    case VarType::Integer:
      return {NumKind::Integer, v.AsInteger(), static_cast<double>(v.AsInteger())};
    case VarType::Long:
      return {NumKind::Long, v.AsLong(), static_cast<double>(v.AsLong())};
    case VarType::Single:
      return {NumKind::Single, 0, static_cast<double>(v.AsSingle())};
    case VarType::Double:
      return {NumKind::Double, 0, v.AsDouble()};
    case VarType::String: {
      // A text in arithmetic is read as a Double.
      const auto d = ToDouble(v);
      if (!d) throw ScriptError(ErrorNumber::TypeMismatch);
      return {NumKind::Double, 0, *d};
    }
    case VarType::Null:
      break;
  }
  throw ScriptError(ErrorNumber::InvalidUseOfNull);
}

NumKind Promote(NumKind a, NumKind b) {
  // Single with Long needs Double's precision.
  if ((a == NumKind::Single && b == NumKind::Long) || (a == NumKind::Long && b == NumKind::Single)) {
    return NumKind::Double;
  }
  return a > b ? a : b;
}

bool FitsInteger(std::int64_t n) { return n >= -32768 && n <= 32767; }
bool FitsLong(std::int64_t n) { return n >= INT32_MIN && n <= INT32_MAX; }

// A whole result in the narrowest kind the operands allow: Integer, then Long, then Double.
Value WholeResult(NumKind kind, std::int64_t n) {
  if (kind == NumKind::Integer && FitsInteger(n)) return Value::Integer(static_cast<std::int16_t>(n));
  if (FitsLong(n)) return Value::Long(static_cast<std::int32_t>(n));
  return Value::Double(static_cast<double>(n));
}


Value DoubleResult(double r, double a, double b) { return Value::Double(CheckedReal(r, a, b)); }

Value SingleResult(double r, double a, double b) {
  const float f = static_cast<float>(r);
  if (std::isinf(f) && std::isfinite(r)) return DoubleResult(r, a, b);  // Single overflows into Double
  if (!std::isfinite(r)) return DoubleResult(r, a, b);
  return Value::Single(f);
}

Value Arithmetic(Op op, const Value& left, const Value& right) {
  const Num a = ToNum(left);
  const Num b = ToNum(right);
  const NumKind kind = Promote(a.kind, b.kind);
  if (kind == NumKind::Integer || kind == NumKind::Long) {
    std::int64_t r = 0;
    switch (op) {
      case Op::Add:
        r = a.whole + b.whole;
        break;
      case Op::Subtract:
        r = a.whole - b.whole;
        break;
      default:
        r = a.whole * b.whole;
        break;
    }
    return WholeResult(kind, r);
  }
  double r = 0;
  switch (op) {
    case Op::Add:
      r = a.real + b.real;
      break;
    case Op::Subtract:
      r = a.real - b.real;
      break;
    default:
      r = a.real * b.real;
      break;
  }
  return kind == NumKind::Single ? SingleResult(r, a.real, b.real) : DoubleResult(r, a.real, b.real);
}

Value DivideReals(double a, double b) { return Value::Double(DividedReal(a, b)); }
Value PowerOfReals(double a, double b) { return Value::Double(PoweredReal(a, b)); }

// Operand of \, Mod and the bitwise operators: a whole number, ties to even.
struct Whole {
  bool integerKind;    // Empty, Boolean or Integer
  bool boolean;        // Boolean
  std::int64_t n;
  bool fromText = false;  // a text: Boolean beside a Boolean, else its number's kind
};

Whole RoundedWhole(double real) {
  const double d = std::nearbyint(real);
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) throw ScriptError(ErrorNumber::Overflow);
  return {false, false, static_cast<std::int64_t>(d)};
}

// A text where a logical operator needs a value: "True" and "False" (any
// case) are Booleans, a numeric text is its number with the kind of its digits.
Whole TextWhole(const std::string& text) {
  if (EqualsFolded(text, "true")) return {true, true, -1};
  if (EqualsFolded(text, "false")) return {true, true, 0};
  const TextNumber read = ReadNumericText(text);
  if (!read.isNumber) throw ScriptError(ErrorNumber::TypeMismatch);
  if (read.overflow) throw ScriptError(ErrorNumber::Overflow);
  Whole w = read.number.Type() == VarType::Integer ? Whole{true, false, read.number.AsInteger()}
            : read.number.Type() == VarType::Long  ? Whole{false, false, read.number.AsLong()}
                                                   : RoundedWhole(read.number.AsDouble());
  w.fromText = true;
  return w;
}

Whole ToWhole(const Value& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return {true, false, 0};
    case VarType::Boolean:
      return {true, true, v.AsBoolean() ? -1 : 0};
    case VarType::Integer:
      return {true, false, v.AsInteger()};
    case VarType::Long:
      return {false, false, v.AsLong()};
    default:
      return RoundedWhole(ToNum(v).real);
  }
}

// Operands of the logical operators: texts may spell True and False.
Whole LogicalOperand(const Value& v) { return v.IsString() ? TextWhole(v.AsString()) : ToWhole(v); }

// A Boolean result when both operands are Booleans, or one is and the other a text.
bool BooleanResult(const Whole& a, const Whole& b) {
  return (a.boolean || a.fromText) && (b.boolean || b.fromText) && (a.boolean || b.boolean);
}

Value IntegerDivide(Op op, const Value& left, const Value& right) {
  const Whole a = ToWhole(left);
  const Whole b = ToWhole(right);
  if (b.n == 0) throw ScriptError(ErrorNumber::DivisionByZero);
  const std::int64_t r = op == Op::IntDivide ? a.n / b.n : a.n % b.n;  // Mod keeps the dividend's sign
  if (a.integerKind && b.integerKind && FitsInteger(r)) return Value::Integer(static_cast<std::int16_t>(r));
  if (!FitsLong(r)) throw ScriptError(ErrorNumber::Overflow);
  return Value::Long(static_cast<std::int32_t>(r));
}

Value TypedWhole(bool boolean, bool integerKind, std::int64_t n) {
  if (boolean) return Value::Boolean(n != 0);
  if (integerKind) return Value::Integer(static_cast<std::int16_t>(n));
  return Value::Long(static_cast<std::int32_t>(n));
}

std::int64_t Bitwise(Op op, std::int64_t a, std::int64_t b) {
  switch (op) {
    case Op::And:
      return a & b;
    case Op::Or:
      return a | b;
    case Op::Xor:
      return a ^ b;
    case Op::Eqv:
      return ~(a ^ b);
    default:  // Imp
      return ~a | b;
  }
}

Value Logical(Op op, const Value& left, const Value& right) {
  if (left.IsNull() || right.IsNull()) {
    // Three-valued logic: a known operand can still decide the result.
    if (left.IsNull() && right.IsNull()) return Value::Null();
    const bool nullLeft = left.IsNull();
    const Whole known = LogicalOperand(nullLeft ? right : left);
    const auto typed = [&](std::int64_t n) { return TypedWhole(known.boolean, known.integerKind, n); };
    switch (op) {
      case Op::And:
        return known.n == 0 ? typed(0) : Value::Null();
      case Op::Or:
        return known.n == -1 ? typed(-1) : Value::Null();
      case Op::Imp:
        if (nullLeft) return known.n == -1 ? typed(-1) : Value::Null();  // Null Imp True
        return known.n == 0 ? typed(-1) : Value::Null();                 // False Imp Null
      default:
        return Value::Null();
    }
  }
  const Whole a = LogicalOperand(left);
  const Whole b = LogicalOperand(right);
  const std::int64_t r = Bitwise(op, a.n, b.n);
  return TypedWhole(BooleanResult(a, b), a.integerKind && b.integerKind, r);
}

// Integer, Long and Double operands as a double; false for any other kind.
bool AsReal(const Value& v, double& d) {
  switch (v.Type()) {
    case VarType::Integer:
      d = v.AsInteger();
      return true;
    case VarType::Long:
      d = v.AsLong();
      return true;
    case VarType::Double:
      d = v.AsDouble();
      return true;
    default:
      return false;
  }
}

bool IsNumberLike(const Value& v) { return v.IsNumeric() || v.IsEmpty(); }

// -1, 0, 1; a NaN (from a library result) compares unordered: every
// comparison but <> is false.
Value Compare(Op op, const Value& left, const Value& right) {
  if (left.IsNull() || right.IsNull()) return Value::Null();
  int order = 0;
  bool unordered = false;
  if (IsNumberLike(left) && IsNumberLike(right)) {
    const double a = ToNum(left).real;
    const double b = ToNum(right).real;
    if (std::isnan(a) || std::isnan(b)) {
      unordered = true;
    } else {
      order = a < b ? -1 : (a > b ? 1 : 0);
    }
  } else if ((left.IsString() || left.IsEmpty()) && (right.IsString() || right.IsEmpty())) {
    // Texts compare by their bytes; Empty compares as the empty text.
    static const std::string kNoText;
    const std::string& a = left.IsString() ? left.AsString() : kNoText;
    const std::string& b = right.IsString() ? right.AsString() : kNoText;
    const int c = a.compare(b);
    order = c < 0 ? -1 : (c > 0 ? 1 : 0);
  } else {
    // A number is less than any text.
    order = left.IsString() ? 1 : -1;
  }
  bool result = false;
  switch (op) {
    case Op::Equal:
      result = !unordered && order == 0;
      break;
    case Op::NotEqual:
      result = unordered || order != 0;
      break;
    case Op::Less:
      result = !unordered && order < 0;
      break;
    case Op::Greater:
      result = !unordered && order > 0;
      break;
    case Op::LessEqual:
      result = !unordered && order <= 0;
      break;
    default:  // GreaterEqual
      result = !unordered && order >= 0;
      break;
  }
  return Value::Boolean(result);
}

Value Concat(const Value& left, const Value& right) {
  if (left.IsNull() && right.IsNull()) return Value::Null();
  // Null joins as the empty text.
  const std::string a = left.IsNull() ? std::string() : *ToText(left);
  const std::string b = right.IsNull() ? std::string() : *ToText(right);
  return JoinTexts(a, b);
}

Value Add(const Value& left, const Value& right) {
  if (left.IsNull() || right.IsNull()) return Value::Null();
  if (left.IsString() && right.IsString()) return JoinTexts(left.AsString(), right.AsString());
  // Empty and a text: the text unchanged.
  if (left.IsEmpty() && right.IsString()) return right;
  if (left.IsString() && right.IsEmpty()) return left;
  return Arithmetic(Op::Add, left, right);
}

}  // namespace

Value JoinTexts(const std::string& left, const std::string& right) {
  if (left.size() > kMaxTextBytes || right.size() > kMaxTextBytes - left.size()) {
    throw ScriptError(ErrorNumber::OutOfStringSpace);
  }
  std::string joined;
  joined.reserve(left.size() + right.size());
  joined += left;
  joined += right;
  return Value::String(std::move(joined));
}

std::optional<Value> FoldUnary(Op op, const Value& operand) {
  try {
    return ApplyUnary(op, operand);
  } catch (const ScriptError&) {
    return std::nullopt;
  }
}

std::optional<Value> FoldBinary(Op op, const Value& left, const Value& right) {
  try {
    return ApplyBinary(op, left, right);
  } catch (const ScriptError&) {
    return std::nullopt;
  }
}

double ApplyReal(Op op, double a, double b) {
  double r;
  switch (op) {
    case Op::Add:
      r = a + b;
      break;
    case Op::Subtract:
      r = a - b;
      break;
    case Op::Multiply:
      r = a * b;
      break;
    case Op::Divide:
      return DividedReal(a, b);
    default:  // Power
      return PoweredReal(a, b);
  }
  return CheckedReal(r, a, b);
}

Value ApplyUnary(Op op, const Value& operand) {
  if (operand.IsNull()) return Value::Null();
  switch (op) {
    case Op::Plus:
      return operand;
    case Op::Negate: {
      const Num a = ToNum(operand);
      switch (a.kind) {
        case NumKind::Integer:
        case NumKind::Long:
          return WholeResult(a.kind, -a.whole);  // -(-32768) is the Long 32768
        case NumKind::Single:
          return Value::Single(-operand.AsSingle());
        case NumKind::Double:
          return Value::Double(-a.real);
      }
      break;
    }
    default: {  // Not
      if (operand.IsEmpty()) return Value::Integer(-1);
      const Whole a = LogicalOperand(operand);
      // Unlike the two-operand logical operators, Not reads a numeric text
      // as a Double and answers a Long whatever its digits' kind ("1" gives
      // the Long -2); "True" and "False" stay Booleans.
      if (a.fromText && !a.boolean) return Value::Long(static_cast<std::int32_t>(~a.n));
      return TypedWhole(a.boolean, a.integerKind, ~a.n);
    }
  }
  return Value();
}

Value ApplyBinary(Op op, const Value& left, const Value& right) {
  // The common case of equations: Doubles, possibly with whole-number
  // literals. With a Double among the operands the result is a Double, as the
  // general rules below would give too.
  double a;
  double b;
  if (AsReal(left, a) && AsReal(right, b) &&
      (left.Type() == VarType::Double || right.Type() == VarType::Double)) {
    switch (op) {
      case Op::Add:
      case Op::Subtract:
      case Op::Multiply:
      case Op::Divide:
      case Op::Power:
        return Value::Double(ApplyReal(op, a, b));
      default:
        break;
    }
  }
  switch (op) {
    case Op::Add:
      return Add(left, right);
    case Op::Subtract:
    case Op::Multiply:
      if (left.IsNull() || right.IsNull()) return Value::Null();
      return Arithmetic(op, left, right);
    case Op::Divide:
      if (left.IsNull() || right.IsNull()) return Value::Null();
      return DivideReals(ToNum(left).real, ToNum(right).real);
    case Op::Power:
      if (left.IsNull() || right.IsNull()) return Value::Null();
      return PowerOfReals(ToNum(left).real, ToNum(right).real);
    case Op::IntDivide:
    case Op::Mod:
      if (left.IsNull() || right.IsNull()) return Value::Null();
      return IntegerDivide(op, left, right);
    case Op::Concat:
      return Concat(left, right);
    case Op::Equal:
    case Op::NotEqual:
    case Op::Less:
    case Op::Greater:
    case Op::LessEqual:
    case Op::GreaterEqual:
      return Compare(op, left, right);
    case Op::And:
    case Op::Or:
    case Op::Xor:
    case Op::Eqv:
    case Op::Imp:
      return Logical(op, left, right);
    default:
      break;
  }
  throw ScriptError(ErrorNumber::SyntaxError);
}

}  // namespace eval
