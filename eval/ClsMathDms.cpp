// Degree-minute-second angle texts: parsing them into radians, writing radians
// as such texts, and the trigonometric functions that take or give them.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "ClsMath.h"
#include "NumberText.h"

namespace eval {
namespace {

struct Marks {
  std::string_view degree;
  std::string_view minute;
  std::string_view second;
};

// The three mark sets (UTF-8), in the numbering DmsFromRad's format uses.
constexpr Marks kLatin{"d", "m", "s"};
constexpr Marks kChinese{"\u5EA6", "\u5206", "\u79D2"};  // 度 分 秒
constexpr Marks kSymbols{"\u00B0", "'", "''"};

const Marks* MarksOfFormat(std::int16_t itype) {
  switch (itype) {
    case 1:
      return &kLatin;
    case 2:
      return &kChinese;
    case 3:
      return &kSymbols;
    default:
      return nullptr;
  }
}

// Which marks a text uses: the Latin "d" first, then the degree sign, then 度.
const Marks* MarksOfText(std::string_view text) {
  for (const Marks* marks : {&kLatin, &kSymbols, &kChinese}) {
    if (text.find(marks->degree) != std::string_view::npos) return marks;
  }
  return nullptr;
}

// Splits at every occurrence of `mark`, empty pieces kept; an empty text has no pieces.
std::vector<std::string_view> Split(std::string_view text, std::string_view mark) {
  std::vector<std::string_view> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(mark, start);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + mark.size();
  }
}

std::string_view Piece(const std::vector<std::string_view>& pieces, std::size_t index) {
  if (index >= pieces.size()) throw ScriptError(ErrorNumber::SubscriptOutOfRange);
  return pieces[index];
}

// A component's number; one written beyond the double range ("1e999d") is an
// overflow rather than an infinite angle.
double Val(std::string_view piece) {
  const double value = LeadingNumber(piece);
  if (!std::isfinite(value)) throw ScriptError(ErrorNumber::Overflow);
  return value;
}

// The marks have no letter case, so ASCII lower-casing is enough and leaves
// the bytes of the other marks untouched.
std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::int16_t ToInteger(double whole) {
  if (!(whole >= -32768.0 && whole <= 32767.0)) throw ScriptError(ErrorNumber::Overflow);
  return static_cast<std::int16_t>(whole);
}

}  // namespace

double ClsMath::RadFromDms(std::string_view st1) {
  const std::string text = AsciiLower(st1);
  const Marks* marks = MarksOfText(text);
  if (marks == nullptr) return 0;

  const auto byDegree = Split(text, marks->degree);
  const double d = Val(Piece(byDegree, 0));
  const auto byMinute = Split(Piece(byDegree, 1), marks->minute);
  const double m = Val(Piece(byMinute, 0));
  const auto bySecond = Split(Piece(byMinute, 1), marks->second);
  const double s = Val(Piece(bySecond, 0));

  const double degrees = Add(Add(m / 60, d), s / 60 / 60);
  return Mul(degrees, Ra());
}

std::string ClsMath::DmsFromRad(double rad, std::int16_t itype) {
  const double deg = Mul(rad, Da());
  std::int16_t d = ToInteger(std::trunc(deg));
  const double mm = (deg - d) * 60;
  std::int16_t m = ToInteger(std::trunc(mm));
  float s = static_cast<float>((mm - m) * 60);

  // Rounding to single precision can reach 60 seconds; only positive angles carry.
  if (s >= 60.0f) {
    s = s - 60.0f;
    ++m;
  }
  if (m >= 60) {
    m = static_cast<std::int16_t>(m - 60);
    d = ToInteger(d + 1.0);
  }

  const Marks* marks = MarksOfFormat(itype);
  if (marks == nullptr) return {};
  std::string text = std::to_string(d);
  text += marks->degree;
  text += std::to_string(m);
  text += marks->minute;
  text += SingleText(s);
  text += marks->second;
  return text;
}

double ClsMath::SinS(std::string_view x) { return std::sin(RadFromDms(x)); }

double ClsMath::CosS(std::string_view x) { return std::cos(RadFromDms(x)); }

double ClsMath::TanS(std::string_view x) { return std::tan(RadFromDms(x)); }

// The small shift keeps a zero angle from dividing by zero.
double ClsMath::CtnS(std::string_view x) {
  constexpr double kShift = 1E-14;
  return Div(1, std::tan(Add(RadFromDms(x), kShift)));
}

std::string ClsMath::AsinToDms(double x) {
  const double root = Sqrt(Sub(1, Mul(x, x)));
  return DmsFromRad(Atan(Div(x, root)), 1);
}

std::string ClsMath::AcosToDms(double x) {
  const double root = Sqrt(Sub(1, Mul(x, x)));
  const double angle = Atan(Div(-x, root));
  return DmsFromRad(Add(Mul(2, Atan(1)), angle), 1);
}

std::string ClsMath::AtnToDms(double x) { return DmsFromRad(Atan(x), 1); }

}  // namespace eval
