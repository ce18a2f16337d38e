#include "NumberScan.h"

#include <charconv>
#include <cmath>

#include "Ascii.h"

namespace eval {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The rough decimal exponent of a number (its digits and its written
// exponent): tells a number beyond the double range from one below it.
long ApproximateMagnitude(std::string_view number) {
  long integerDigits = 0;
  long leadingFractionZeros = 0;
  long exponent = 0;
  bool seenNonZero = false;
  bool inFraction = false;
  std::size_t k = 0;
  for (; k < number.size(); ++k) {
    const char c = number[k];
    if (c == '.') {
      inFraction = true;
    } else if (IsDigit(c)) {
      if (c != '0') seenNonZero = true;
      if (!inFraction) {
        if (seenNonZero) ++integerDigits;
      } else if (!seenNonZero) {
        ++leadingFractionZeros;
      }
    } else {
      break;
    }
  }
  if (k < number.size()) {  // exponent part: E, sign, digits (capped: only the sign matters beyond)
    ++k;
    bool negative = false;
    if (k < number.size() && (number[k] == '+' || number[k] == '-')) negative = number[k++] == '-';
    for (; k < number.size() && IsDigit(number[k]); ++k) {
      if (exponent < 100000) exponent = exponent * 10 + (number[k] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return integerDigits > 0 ? integerDigits + exponent : exponent - leadingFractionZeros;
}

// The double a number spells when that takes one exact operation: at most
// 15 significant digits (a whole number below 2^53) scaled by a power of ten
// up to 1E22 (exact in a double), so the one multiplication or division rounds
// correctly, as any full conversion would. That covers every number text the
// evaluator writes; anything else returns nullopt for the general conversion.
std::optional<double> ExactDecimal(std::string_view number) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr int kMaxDigits = 15;
  constexpr int kMaxPower = 22;
  std::uint64_t mantissa = 0;
  int digits = 0;
  int scale = 0;  // decimal exponent to apply to the mantissa
  bool inFraction = false;
  std::size_t k = 0;
  for (; k < number.size(); ++k) {
    const char c = number[k];
    if (c == '.') {
      inFraction = true;
      continue;
    }
    if (!IsDigit(c)) break;
    if (mantissa != 0 || c != '0') {
      if (++digits > kMaxDigits) return std::nullopt;
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (inFraction) --scale;
  }
  if (k < number.size()) {  // exponent: E, sign, digits
    ++k;
    bool negative = false;
    if (k < number.size() && (number[k] == '+' || number[k] == '-')) negative = number[k++] == '-';
    int exponent = 0;
    for (; k < number.size(); ++k) {
      exponent = exponent * 10 + (number[k] - '0');
      if (exponent > 1000) return std::nullopt;
    }
    scale += negative ? -exponent : exponent;
  }
  if (mantissa == 0) return 0.0;
  const auto m = static_cast<double>(mantissa);
  if (scale >= 0 && scale <= kMaxPower) return m * kPowersOfTen[scale];
  if (scale < 0 && scale >= -kMaxPower) return m / kPowersOfTen[-scale];
  return std::nullopt;
}

}  // namespace

DecimalScan ScanDecimal(std::string_view text) {
  DecimalScan scan;
  std::size_t k = 0;
  bool anyDigit = false;
  while (k < text.size() && IsDigit(text[k])) {
    ++k;
    anyDigit = true;
  }
  if (k < text.size() && text[k] == '.') {
    const bool digitFollows = k + 1 < text.size() && IsDigit(text[k + 1]);
    if (anyDigit || digitFollows) {
      scan.whole = false;
      ++k;
      while (k < text.size() && IsDigit(text[k])) ++k;
      anyDigit = true;
    }
  }
  if (!anyDigit) return scan;
  if (k < text.size() && (text[k] == 'e' || text[k] == 'E')) {
    std::size_t e = k + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && IsDigit(text[e])) {
      while (e < text.size() && IsDigit(text[e])) ++e;
      k = e;
      scan.whole = false;
    } else {
      scan.danglingExponent = true;
    }
  }
  scan.length = k;
  return scan;
}

std::optional<Value> DecimalValue(std::string_view number, bool whole) {
  if (whole) {
    std::uint64_t n = 0;
    bool small = true;
    for (char c : number) {
      n = n * 10 + static_cast<std::uint64_t>(c - '0');
      if (n > 2147483647u) {
        small = false;
        break;
      }
    }
    if (small) return WholeValue(static_cast<double>(n));
  }
  if (const auto exact = ExactDecimal(number)) return Value::Double(*exact);
  double d = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), d,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    if (ApproximateMagnitude(number) > 0) return std::nullopt;
    d = 0.0;  // below the smallest denormal
  }
  return Value::Double(d);
}

RadixScan ScanRadix(std::string_view text) {
  RadixScan scan;
  if (text.size() < 3 || text[0] != '&') return scan;
  const char kind = FoldChar(text[1]);
  if (kind != 'h' && kind != 'o') return scan;
  const unsigned radix = kind == 'h' ? 16 : 8;
  std::size_t k = 2;
  std::uint64_t n = 0;
  for (; k < text.size(); ++k) {
    const char c = FoldChar(text[k]);
    unsigned digit;
    if (IsDigit(c)) {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= radix) break;
    n = n * radix + digit;
    if (n > 0xFFFFFFFFu) {
      scan.overflow = true;
      n = 0xFFFFFFFFu;
    }
  }
  if (k == 2) return scan;
  scan.length = k;
  scan.bits = static_cast<std::uint32_t>(n);
  return scan;
}

Value RadixValue(std::uint32_t bits) {
  const std::int32_t value = bits <= 0xFFFFu ? static_cast<std::int16_t>(static_cast<std::uint16_t>(bits))
                                             : static_cast<std::int32_t>(bits);
  return WholeValue(value);
}

double NumberOf(const Value& number) {
  switch (number.Type()) {
    case VarType::Integer:
      return number.AsInteger();
    case VarType::Long:
      return number.AsLong();
    default:
      return number.AsDouble();
  }
}

Value WholeValue(double whole) {
  if (whole >= -32768 && whole <= 32767) return Value::Integer(static_cast<std::int16_t>(whole));
  if (whole >= -2147483648.0 && whole <= 2147483647.0) return Value::Long(static_cast<std::int32_t>(whole));
  return Value::Double(whole);
}

}  // namespace eval
