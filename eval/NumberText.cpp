#include "NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "NumberScan.h"

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

namespace {

// Powers of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;

// 10^k for k from kLowestDecimal to kHighestDecimal, as near as a double
// holds it: only to sharpen an estimate that is checked exactly afterwards.
constexpr int kLowestDecimal = -10;
constexpr int kHighestDecimal = 40;
constexpr auto kDecimalPowers = [] {
  std::array<double, kHighestDecimal - kLowestDecimal + 1> powers{};
  for (int k = kLowestDecimal; k <= kHighestDecimal; ++k) {
    double p = 1;
    for (int i = 0; i < (k < 0 ? -k : k); ++i) p *= 10;
    powers[static_cast<std::size_t>(k - kLowestDecimal)] = k < 0 ? 1 / p : p;
  }
  return powers;
}();

// The rounding error of the product a * b = p (a and b positive and far
// from overflow and underflow), exactly: Dekker's product where the processor
// has no fused multiply-add.
double ProductError(double a, double b, double p) {
#ifdef __FMA__
  // A build for processors with fused multiply-add may contract the
  // expressions below; the instruction itself is exact.
  return std::fma(a, b, -p);
#else
  constexpr double kSplit = 134217729.0;  // 2^27 + 1
  const double ta = kSplit * a;
  const double ah = ta - (ta - a);
  const double al = a - ah;
  const double tb = kSplit * b;
  const double bh = tb - (tb - b);
  const double bl = b - bh;
  return ((ah * bh - p) + ah * bl + al * bh) + al * bl;
#endif
}

// |value| * 10^scale as a double p and the sign of the exact product's
// remainder beyond it (-1, 0, 1). Exact: the power is exact, a product's
// rounding error is exact, and so is a quotient's remainder.
struct Scaled {
  double p;
  int beyond;
};

// Without a branch: the sign of a rounding error is as likely one way as the other.
int SignOf(double d) { return static_cast<int>(d > 0) - static_cast<int>(d < 0); }

Scaled Scale(double magnitude, int scale) {
  if (scale >= 0) {
    const double power = kExactPowers[scale];
    const double p = magnitude * power;
    return {p, SignOf(ProductError(magnitude, power, p))};
  }
  const double power = kExactPowers[-scale];
  const double q = magnitude / power;
  const double back = q * power;
  // magnitude - q * power exactly: (magnitude - back) is exact (the two are
  // within a factor of two), and so is back's rounding error.
  return {q, SignOf((magnitude - back) - ProductError(q, power, back))};
}

// The magnitude rounded to 15 significant digits without text, or nullopt
// outside the range where every step above is exact (about 1E-8 to 1E+37).
std::optional<double> RoundedMagnitude(double magnitude) {
  constexpr double kLow = 1e14;   // 15-digit whole numbers: [1E14, 1E15)
  constexpr double kHigh = 1e15;
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int binary = static_cast<int>(bits >> 52) - 1023;  // floor(log2), normal numbers
  // floor(binary * log10(2)), which is floor(log10(magnitude)) or one less;
  // corrected below.
  int decimal = (binary * 78913) >> 18;
  // One compare with the next power of ten makes it exact nearly always, so
  // the loop below seldom needs a second round.
  if (decimal >= kLowestDecimal && decimal < kHighestDecimal) {
    decimal += static_cast<int>(magnitude >= kDecimalPowers[decimal + 1 - kLowestDecimal]);
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int scale = 14 - decimal;
    if (scale > kMaxExactPower || scale < -kMaxExactPower) return std::nullopt;
    const Scaled s = Scale(magnitude, scale);
    if (s.p < kLow || (s.p == kLow && s.beyond < 0)) {
      --decimal;
      continue;
    }
    if (s.p > kHigh || (s.p == kHigh && s.beyond >= 0)) {
      ++decimal;
      continue;
    }
    // s.p < 2^50: its fraction is exact, and so is the conversion to whole.
    double whole = static_cast<double>(static_cast<std::int64_t>(s.p));
    const double fraction = s.p - whole;
    // Ties away from zero; without a branch, as the digit beyond is as likely
    // to round up as not.
    const bool up = (fraction > 0.5) | ((fraction == 0.5) & (s.beyond >= 0));
    whole += static_cast<double>(up);
    return scale >= 0 ? whole / kExactPowers[scale] : whole * kExactPowers[-scale];
  }
  return std::nullopt;
}

}  // namespace

std::optional<Value> NumberTextValue(double value) {
  if (value == 0) return Value::Integer(0);
  const double magnitude = std::fabs(value);
  double rounded;
  if (const auto fast = RoundedMagnitude(magnitude)) {
    rounded = *fast;
  } else {
    char out[kMaxTextLength];
    const std::size_t n = Format(magnitude, 15, 15, out);
    const std::string_view text(out, n);
    const auto read = DecimalValue(text, ScanDecimal(text).whole);
    if (!read) return std::nullopt;
    rounded = NumberOf(*read);
  }
  const bool negative = value < 0;
  // Plain digits without a point (below 1E+15, whole) read as an Integer or
  // Long when they fit; the negation of 32768 stays a Long.
  if (rounded <= 2147483647.0 && rounded == static_cast<double>(static_cast<std::int32_t>(rounded))) {
    if (rounded <= 32767) return Value::Integer(static_cast<std::int16_t>(negative ? -rounded : rounded));
    return Value::Long(static_cast<std::int32_t>(negative ? -rounded : rounded));
  }
  return Value::Double(negative ? -rounded : rounded);
}

double LeadingNumber(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!IsIgnoredInNumber(c)) s.push_back(c);
  }
  constexpr double kInfinity = std::numeric_limits<double>::infinity();

  if (!s.empty() && s[0] == '&') {
    const RadixScan radix = ScanRadix(s);
    if (radix.length == 0) return 0;
    return radix.overflow ? kInfinity : NumberOf(RadixValue(radix.bits));
  }
  std::size_t k = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) ++k;
  const std::string_view rest = std::string_view(s).substr(k);
  const DecimalScan scan = ScanDecimal(rest);
  if (scan.length == 0) return 0;
  const auto value = DecimalValue(rest.substr(0, scan.length), scan.whole);
  const double magnitude = value ? NumberOf(*value) : kInfinity;
  return negative ? -magnitude : magnitude;
}

}  // namespace eval
