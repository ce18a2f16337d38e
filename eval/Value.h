// Script values (VBScript's Variant subset) and their coercions.
//
// Coercions come in two forms: To* return std::optional and leave the error to
// the operator that needed the value; Require* raise VBScript's error at once
// (Type mismatch, Overflow, Invalid use of Null) for library functions whose
// parameters are declared with a type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace eval {

enum class VarType : std::uint8_t { Empty, Null, Boolean, Integer, Long, Single, Double, String };

class Value {
 public:
  Value() = default;  // Empty
  // A text lives on the heap, so that the numbers equations compute with stay
  // two words that move and vanish without work.
  Value(const Value& other) { CopyFrom(other); }
  Value(Value&& other) noexcept { StealFrom(other); }
  Value& operator=(const Value& other) {
    if (this != &other) {
      Value copy(other);
      *this = std::move(copy);
    }
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      Release();
      StealFrom(other);
    }
    return *this;
  }
  ~Value() { Release(); }

  static Value Null() { return Value(VarType::Null); }
  static Value Boolean(bool b) {
    Value v(VarType::Boolean);
    v.b_ = b;
    return v;
  }
  static Value Integer(std::int16_t i) {
    Value v(VarType::Integer);
    v.i_ = i;
    return v;
  }
  static Value Long(std::int32_t l) {
    Value v(VarType::Long);
    v.l_ = l;
    return v;
  }
  static Value Single(float f) {
    Value v(VarType::Single);
    v.f_ = f;
    return v;
  }
  static Value Double(double d) {
    Value v(VarType::Double);
    v.d_ = d;
    return v;
  }
  static Value String(std::string s) {
    Value v(VarType::String);
    v.s_ = new std::string(std::move(s));
    return v;
  }

  VarType Type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::Empty; }
  bool IsNull() const { return type_ == VarType::Null; }
  bool IsString() const { return type_ == VarType::String; }
  // Boolean, Integer, Long, Single or Double.
  bool IsNumeric() const {
    return type_ == VarType::Boolean || type_ == VarType::Integer || type_ == VarType::Long ||
           type_ == VarType::Single || type_ == VarType::Double;
  }

  // Raw accessors: valid only for the matching type.
  bool AsBoolean() const { return b_; }
  std::int16_t AsInteger() const { return i_; }
  std::int32_t AsLong() const { return l_; }
  float AsSingle() const { return f_; }
  double AsDouble() const { return d_; }
  const std::string& AsString() const { return *s_; }

  friend bool operator==(const Value& a, const Value& b);

 private:
  explicit Value(VarType type) : type_(type) {}

  void Release() noexcept {
    if (type_ == VarType::String) delete s_;
    type_ = VarType::Empty;
  }
  void CopyFrom(const Value& other) {
    if (other.type_ == VarType::String) {
      s_ = new std::string(*other.s_);
    } else {
      bits_ = other.bits_;  // carries whichever number member is set
    }
    type_ = other.type_;
  }
  // The other value is left Empty.
  void StealFrom(Value& other) noexcept {
    type_ = other.type_;
    if (type_ == VarType::String) {
      s_ = other.s_;
    } else {
      bits_ = other.bits_;
    }
    other.type_ = VarType::Empty;
  }

  VarType type_ = VarType::Empty;
  union {
    bool b_;
    std::int16_t i_;
    std::int32_t l_;
    float f_;
    double d_;
    std::string* s_;  // String: owned
    std::uint64_t bits_ = 0;
  };
};

// VBScript's TypeName: "Empty", "Null", "Boolean", "Integer", "Long", "Single", "Double", "String".
std::string_view TypeName(VarType type);

// Empty -> 0, Boolean -> -1/0, numbers as they are, numeric text (" 2 ", "1e3",
// "&H10") -> its number; Null and other texts -> nullopt. A numeric text
// beyond the double range raises Overflow.
std::optional<double> ToDouble(const Value& v);
// Number text for numbers, "True"/"False", "" for Empty; nullopt for Null.
std::optional<std::string> ToText(const Value& v);
// Numbers: non-zero is true; texts "True"/"False" (any case) or numeric text
// (Overflow beyond the double range); Empty false.
std::optional<bool> ToBoolean(const Value& v);

// Raise VBScript's errors: Null -> 94, not convertible -> 13, out of range -> 6.
double RequireDouble(const Value& v);
std::string RequireText(const Value& v);
bool RequireBoolean(const Value& v);
// Rounded to the nearest whole number, ties to the even one (CLng, CInt).
std::int32_t RequireLong(const Value& v);
std::int16_t RequireInteger(const Value& v);
// CSng: to single precision; a value beyond its range is an Overflow.
float RequireSingle(const Value& v);

// The number a whole text spells, as VBScript reads a text in arithmetic:
// surrounding blanks allowed, a sign, "." as decimal point, exponent, or &H
// and &O digits. The number has the kind its digits give a literal (Integer,
// Long or Double); `overflow` when it is beyond the double range.
struct TextNumber {
  bool isNumber = false;
  bool overflow = false;  // a number, but too large for a Double
  Value number;           // when isNumber and not overflow
};
TextNumber ReadNumericText(std::string_view text);

// ReadNumericText's number as a double; nullopt for a text that is no number
// or beyond the double range.
std::optional<double> ParseNumericText(std::string_view text);

}  // namespace eval
