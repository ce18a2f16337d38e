#include "NumberReader.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "eval/Ascii.h"
#include "eval/NumberScan.h"
#include "eval/NumberText.h"

namespace problem {
namespace {

constexpr std::string_view kInfinity = "inf";
constexpr std::string_view kNotANumber = " is not a number";
constexpr std::string_view kSeparated = "; values are separated by commas";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// [begin, end) without the blanks around it.
std::pair<std::size_t, std::size_t> Trim(std::string_view text, std::size_t begin, std::size_t end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return {begin, end};
}

[[noreturn]] void Refuse(const FieldText& field, std::size_t offset, std::string message) {
  ProblemError error;
  error.source = field.source;
  error.field = field.field;
  error.place = field.text.PlaceOf(offset);
  error.message = std::move(message);
  throw ProblemFailure{std::move(error)};
}

// "3;4" and "1 1": two numbers where one is expected.
bool LooksLikeTwoNumbers(std::string_view piece) {
  const std::size_t cut = piece.find_first_of(" \t;");
  if (cut == std::string_view::npos) return false;
  std::size_t rest = cut;
  while (rest < piece.size() && (IsBlank(piece[rest]) || piece[rest] == ';')) ++rest;
  return rest < piece.size() && StrictNumber(piece.substr(0, cut), true) && StrictNumber(piece.substr(rest), true);
}

std::string Quoted(std::string_view piece) { return "'" + std::string(piece) + "'"; }

}  // namespace

std::optional<double> StrictNumber(std::string_view text, bool allowInfinity) {
  const auto [begin, end] = Trim(text, 0, text.size());
  text = text.substr(begin, end - begin);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (allowInfinity && text.size() == kInfinity.size() && eval::EqualsFolded(text, kInfinity)) {
    const double infinity = std::numeric_limits<double>::infinity();
    return negative ? -infinity : infinity;
  }
  const eval::DecimalScan scan = eval::ScanDecimal(text);
  if (scan.length == 0 || scan.length != text.size()) return std::nullopt;
  const std::optional<eval::Value> value = eval::DecimalValue(text, scan.whole);
  if (!value) return std::nullopt;  // beyond the largest double
  const double number = eval::NumberOf(*value);
  return negative ? -number : number;
}

double ReadNumber(const FieldText& field, std::size_t begin, std::size_t end, NumberRule rule) {
  const std::string_view text = std::string_view(field.text.Text()).substr(begin, end - begin);
  if (rule == NumberRule::Leading) {
    const double value = eval::LeadingNumber(text);
    // The Go command refuses an infinite start itself, as the window does.
    return value;
  }
  if (const auto value = StrictNumber(text, rule == NumberRule::Bounds)) return *value;
  const auto [first, last] = Trim(field.text.Text(), begin, end);
  const std::string_view piece = std::string_view(field.text.Text()).substr(first, last - first);
  if (piece.empty()) Refuse(field, first, "a value is missing (two commas in a row, or one at an end)");
  std::string message = Quoted(piece) + std::string(kNotANumber);
  if (LooksLikeTwoNumbers(piece)) message += kSeparated;
  const std::string_view digits = piece.substr(piece.front() == '+' || piece.front() == '-' ? 1 : 0);
  if (const eval::DecimalScan scan = eval::ScanDecimal(digits); scan.length > 0 && scan.length == digits.size())
    message = Quoted(piece) + " is beyond the largest number";
  Refuse(field, first, std::move(message));
}

std::vector<double> ReadNumbers(const FieldText& field, NumberRule rule, WarningList& warnings) {
  std::vector<double> values;
  const std::string_view text = field.text.Text();
  if (text.empty()) return values;
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    values.push_back(ReadNumber(field, start, comma, rule));
    if (rule == NumberRule::Leading) {
      const auto [first, last] = Trim(text, start, comma);
      if (LooksLikeTwoNumbers(text.substr(first, last - first))) {
        Warning warning{WarningCode::Separator, {}};
        warning.detail.source = field.source;
        warning.detail.field = field.field;
        warning.detail.place = field.text.PlaceOf(first);
        warning.detail.message = Quoted(text.substr(first, last - first)) + " reads as the one number " +
                                 eval::NumberText(values.back()) + std::string(kSeparated);
        warnings.Add(std::move(warning));
      }
    }
    if (comma == text.size()) break;
    start = comma + 1;
  }
  return values;
}

std::vector<Range> ReadRanges(const FieldText& field, NumberRule rule) {
  std::vector<Range> ranges;
  const std::string_view text = field.text.Text();
  for (std::size_t start = 0;;) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const auto [first, last] = Trim(text, start, comma);
    const std::string_view piece = text.substr(first, last - first);
    const std::size_t colon = piece.find(':');
    if (colon == std::string_view::npos)
      Refuse(field, first, "expected LOW:HIGH, got " + Quoted(piece));
    const Range range{ReadNumber(field, first, first + colon, rule), ReadNumber(field, first + colon + 1, last, rule)};
    if (!(range.low < range.high))
      Refuse(field, first, "expected LOW below HIGH, got " + Quoted(piece));
    ranges.push_back(range);
    if (comma == text.size()) break;
    start = comma + 1;
  }
  return ranges;
}

std::uint64_t ReadWholeNumber(const FieldText& field, std::uint64_t most, bool zeroAllowed) {
  const std::string_view text = field.text.Text();
  auto [first, last] = Trim(text, 0, text.size());
  const std::size_t digits = first < last && text[first] == '+' ? first + 1 : first;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data() + digits, text.data() + last, value);
  const bool whole = digits < last && ec == std::errc() && end == text.data() + last;
  const std::uint64_t least = zeroAllowed ? 0 : 1;
  if (!whole || value < least || value > most)
    Refuse(field, first, Quoted(text.substr(first, last - first)) + " is not a whole number from " +
                             std::to_string(least) + " to " + std::to_string(most));
  return value;
}

double ReadPositiveNumber(const FieldText& field) {
  const double value = ReadNumber(field, 0, field.text.Text().size(), NumberRule::Strict);
  if (!(value > 0)) {
    const auto [first, last] = Trim(field.text.Text(), 0, field.text.Text().size());
    Refuse(field, first, Quoted(std::string_view(field.text.Text()).substr(first, last - first)) +
                             " is not a positive number");
  }
  return value;
}

}  // namespace problem
