#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace eval {
namespace {

// Decimal digits and exponent of a value rounded to `digits` significant
// digits: value ~ 0.d1d2d3... * 10^(exponent + 1), d1 non-zero.
struct Rounded {
  std::string digits;  // exactly `digits` characters, first one non-zero
  int exponent = 0;    // decimal exponent of the first digit
};

// Splits to_chars' scientific text "d.ddde+XX" into digits and exponent.
Rounded SplitScientific(const char* first, const char* last) {
  Rounded r;
  const char* p = first;
  for (; p != last && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') r.digits.push_back(*p);
  }
  if (p != last) {
    ++p;
    if (p != last && *p == '+') ++p;  // from_chars takes a minus sign only
    std::from_chars(p, last, r.exponent);
  }
  return r;
}

// Adds one unit in the last place of a digit string; a carry out of the
// first digit shifts the exponent.
void IncrementLastDigit(Rounded& r) {
  int k = static_cast<int>(r.digits.size()) - 1;
  while (k >= 0 && r.digits[k] == '9') {
    r.digits[k] = '0';
    --k;
  }
  if (k >= 0) {
    ++r.digits[k];
  } else {
    r.digits.insert(r.digits.begin(), '1');
    r.digits.pop_back();
    ++r.exponent;
  }
}

// Rounds |value| (finite, non-zero) to `digits` significant digits. The
// binary value is rounded exactly; a value lying exactly halfway between two
// candidates goes away from zero, as VBScript's number text does.
Rounded RoundSignificant(double magnitude, int digits) {
  char buffer[1100];
  // Two guard digits decide the rounding unless they read 50, where the
  // exact value may lie on either side of the half or on it.
  auto guarded = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                               std::chars_format::scientific, digits + 1);
  Rounded r = SplitScientific(buffer, guarded.ptr);
  const int tail = (r.digits[digits] - '0') * 10 + (r.digits[digits + 1] - '0');
  r.digits.resize(static_cast<std::size_t>(digits));
  if (tail < 50) return r;
  if (tail > 50) {
    IncrementLastDigit(r);
    return r;
  }

  // The exact expansion of a double has at most ~770 significant digits.
  auto exact = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                             std::chars_format::scientific, 800);
  Rounded full = SplitScientific(buffer, exact.ptr);
  Rounded cut;
  cut.digits = full.digits.substr(0, static_cast<std::size_t>(digits));
  cut.exponent = full.exponent;
  if (full.digits[digits] >= '5') IncrementLastDigit(cut);  // the half itself goes up
  return cut;
}

// Plain notation when minExponent < exponent < maxExponent, else exponent form
// with a sign and at least two exponent digits (1E+15, 1.2E-07).
std::string Format(double value, int digits, int maxExponent) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return "0";  // negative zero too

  Rounded r = RoundSignificant(std::fabs(value), digits);
  while (r.digits.size() > 1 && r.digits.back() == '0') r.digits.pop_back();

  std::string text;
  if (value < 0) text.push_back('-');
  const int e = r.exponent;
  if (e > -5 && e < maxExponent) {
    if (e >= 0) {
      const std::size_t intDigits = static_cast<std::size_t>(e) + 1;
      if (r.digits.size() <= intDigits) {
        text += r.digits;
        text.append(intDigits - r.digits.size(), '0');
      } else {
        text.append(r.digits, 0, intDigits);
        text.push_back('.');
        text.append(r.digits, intDigits, std::string::npos);
      }
    } else {
      text += "0.";
      text.append(static_cast<std::size_t>(-e - 1), '0');
      text += r.digits;
    }
    return text;
  }
  text.push_back(r.digits[0]);
  if (r.digits.size() > 1) {
    text.push_back('.');
    text.append(r.digits, 1, std::string::npos);
  }
  text.push_back('E');
  text.push_back(e < 0 ? '-' : '+');
  const int absExp = e < 0 ? -e : e;
  if (absExp < 10) text.push_back('0');
  text += std::to_string(absExp);
  return text;
}

bool IsIgnoredInNumber(char c) { return c == ' ' || c == '\t' || c == '\n'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// &H / &O digits as VBScript reads them: up to 16 bits (4 hex or 6 octal
// digits up to 177777) an Integer, up to 32 bits a Long, both wrapping to
// negative; longer texts keep their unsigned value.
double RadixValue(const std::string& digits, int radix) {
  double unsignedValue = 0;
  for (char c : digits) unsignedValue = unsignedValue * radix + HexDigit(c);
  if (unsignedValue <= 65535) {
    return unsignedValue >= 32768 ? unsignedValue - 65536 : unsignedValue;
  }
  if (unsignedValue <= 4294967295.0) {
    return unsignedValue >= 2147483648.0 ? unsignedValue - 4294967296.0 : unsignedValue;
  }
  return unsignedValue;
}

}  // namespace

std::string NumberText(double value) { return Format(value, 15, 15); }

std::string SingleText(float value) { return Format(static_cast<double>(value), 7, 7); }

double LeadingNumber(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!IsIgnoredInNumber(c)) s.push_back(c);
  }

  if (s.size() >= 2 && s[0] == '&') {
    const char kind = s[1];
    int radix = 0;
    if (kind == 'h' || kind == 'H') radix = 16;
    if (kind == 'o' || kind == 'O') radix = 8;
    if (radix == 0) return 0;
    std::string digits;
    for (std::size_t k = 2; k < s.size(); ++k) {
      const int d = HexDigit(s[k]);
      if (d < 0 || d >= radix) break;
      digits.push_back(s[k]);
    }
    return digits.empty() ? 0 : RadixValue(digits, radix);
  }

  // sign, digits, ".", digits, then an exponent only if it has digits
  std::size_t k = 0;
  std::string number;
  if (k < s.size() && (s[k] == '+' || s[k] == '-')) {
    if (s[k] == '-') number.push_back('-');
    ++k;
  }
  bool anyDigit = false;
  while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
    number.push_back(s[k++]);
    anyDigit = true;
  }
  if (k < s.size() && s[k] == '.') {
    number.push_back('.');
    ++k;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
      number.push_back(s[k++]);
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0;
  if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
    std::size_t m = k + 1;
    std::string exponent = "e";
    if (m < s.size() && (s[m] == '+' || s[m] == '-')) exponent.push_back(s[m++]);
    bool expDigit = false;
    while (m < s.size() && s[m] >= '0' && s[m] <= '9') {
      exponent.push_back(s[m++]);
      expDigit = true;
    }
    if (expDigit) number += exponent;
  }
  double value = 0;
  auto res = std::from_chars(number.data(), number.data() + number.size(), value);
  if (res.ec == std::errc::result_out_of_range) {
    // Beyond the double range: an infinity of the right sign, or zero for an underflow.
    const bool negative = number[0] == '-';
    const auto ePos = number.find('e');
    const bool tiny = ePos != std::string::npos && number.find('-', ePos) != std::string::npos;
    if (tiny) return negative ? -0.0 : 0.0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  return value;
}

}  // namespace eval
