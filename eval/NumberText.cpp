#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace eval {
namespace {

// Decimal digits and exponent of a value rounded to a number of significant
// digits: value ~ d1.d2d3... * 10^exponent, d1 non-zero. Fixed storage: this
// runs for every coordinate of every evaluation.
struct Rounded {
  static constexpr int kMaxDigits = 20;
  char digits[kMaxDigits];
  int count = 0;
  int exponent = 0;
};

// Reads the first `wanted` digits and the exponent of to_chars' scientific
// text "d.ddde+XX".
void SplitScientific(const char* first, const char* last, int wanted, Rounded& r) {
  r.count = 0;
  const char* p = first;
  for (; p != last && *p != 'e'; ++p) {
    if (*p != '.' && r.count < wanted) r.digits[r.count++] = *p;
  }
  r.exponent = 0;
  if (p != last) {
    ++p;
    if (p != last && *p == '+') ++p;  // from_chars takes a minus sign only
    std::from_chars(p, last, r.exponent);
  }
}

// Adds one unit in the last place; a carry out of the first digit shifts the
// exponent.
void IncrementLastDigit(Rounded& r) {
  int k = r.count - 1;
  while (k >= 0 && r.digits[k] == '9') {
    r.digits[k] = '0';
    --k;
  }
  if (k >= 0) {
    ++r.digits[k];
  } else {
    r.digits[0] = '1';  // 99..9 became 00..0
    ++r.exponent;
  }
}

// Rounds |value| (finite, non-zero) to `digits` significant digits. The
// binary value is rounded exactly; a value lying exactly halfway between two
// candidates goes away from zero, as VBScript's number text does.
void RoundSignificant(double magnitude, int digits, Rounded& r) {
  char buffer[64];
  // Two guard digits decide the rounding unless they read 50, where the
  // exact value may lie on either side of the half or on it.
  auto guarded = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                               std::chars_format::scientific, digits + 1);
  SplitScientific(buffer, guarded.ptr, digits + 2, r);
  const int tail = (r.digits[digits] - '0') * 10 + (r.digits[digits + 1] - '0');
  r.count = digits;
  if (tail < 50) return;
  if (tail > 50) {
    IncrementLastDigit(r);
    return;
  }

  // The exact expansion of a double has at most ~770 significant digits.
  char exact[1100];
  auto full = std::to_chars(exact, exact + sizeof exact, magnitude,
                            std::chars_format::scientific, 800);
  SplitScientific(exact, full.ptr, digits + 1, r);
  const bool halfOrMore = r.digits[digits] >= '5';  // the half itself goes up
  r.count = digits;
  if (halfOrMore) IncrementLastDigit(r);
}

constexpr std::size_t kMaxTextLength = 48;

std::size_t Copy(char* out, std::string_view text) {
  text.copy(out, text.size());
  return text.size();
}

// Writes the text into out (kMaxTextLength bytes) and returns its length.
// Plain notation when -5 < exponent < maxExponent, else exponent form with a
// sign and at least two exponent digits (1E+15, 1.2E-07).
std::size_t Format(double value, int digits, int maxExponent, char* out) {
  if (std::isnan(value)) return Copy(out, "nan");
  if (std::isinf(value)) return Copy(out, value < 0 ? "-inf" : "inf");
  if (value == 0) return Copy(out, "0");  // negative zero too

  Rounded r;
  RoundSignificant(std::fabs(value), digits, r);
  while (r.count > 1 && r.digits[r.count - 1] == '0') --r.count;

  std::size_t n = 0;
  if (value < 0) out[n++] = '-';
  const int e = r.exponent;
  if (e > -5 && e < maxExponent) {
    if (e >= 0) {
      for (int k = 0; k <= e; ++k) out[n++] = k < r.count ? r.digits[k] : '0';
      if (r.count > e + 1) {
        out[n++] = '.';
        for (int k = e + 1; k < r.count; ++k) out[n++] = r.digits[k];
      }
    } else {
      out[n++] = '0';
      out[n++] = '.';
      for (int k = 0; k < -e - 1; ++k) out[n++] = '0';
      for (int k = 0; k < r.count; ++k) out[n++] = r.digits[k];
    }
    return n;
  }
  out[n++] = r.digits[0];
  if (r.count > 1) {
    out[n++] = '.';
    for (int k = 1; k < r.count; ++k) out[n++] = r.digits[k];
  }
  out[n++] = 'E';
  out[n++] = e < 0 ? '-' : '+';
  const int absExp = e < 0 ? -e : e;
  if (absExp < 10) out[n++] = '0';
  auto end = std::to_chars(out + n, out + kMaxTextLength, absExp);
  return static_cast<std::size_t>(end.ptr - out);
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

std::string NumberText(double value) {
  char out[kMaxTextLength];
  return std::string(out, Format(value, 15, 15, out));
}

void AppendNumberText(std::string& text, double value) {
  char out[kMaxTextLength];
  text.append(out, Format(value, 15, 15, out));
}

std::string SingleText(float value) {
  char out[kMaxTextLength];
  return std::string(out, Format(static_cast<double>(value), 7, 7, out));
}

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
