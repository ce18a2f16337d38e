#include <clocale>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "problem/NumberReader.h"

namespace problem {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

FieldText Option(std::string source, std::string text) { return FieldText{std::move(source), {}, PlacedText(std::move(text), 0, 0)}; }

struct StrictRow {
  const char* text;
  bool bounds;
  std::optional<double> expected;
};

// Each accepted text against the double the compiler reads from the same digits.
const StrictRow kStrictRows[] = {
    {"1", false, 1.0},
    {" -2.5\t", false, -2.5},
    {"+3", false, 3.0},
    {".5", false, 0.5},
    {"5.", false, 5.0},
    {"1e3", false, 1000.0},
    {"1E-3", false, 1E-3},
    {"-0", false, -0.0},
    // Seventeen digits reach the value whole, not as 15-digit text.
    {"0.12345678901234567", false, 0.12345678901234567},
    {"9007199254740993", false, 9007199254740993.0},  // a tie: to even
    {"2.2250738585072011e-308", false, 2.2250738585072011e-308},
    {"1E-400", false, 0.0},  // below the smallest double
    {"inf", true, kInfinity},
    {"-Inf", true, -kInfinity},
    {"+INF", true, kInfinity},
    {"inf", false, std::nullopt},
    {"1E400", false, std::nullopt},
    {"3x", false, std::nullopt},
    {"&H10", false, std::nullopt},
    {"0x10", false, std::nullopt},
    {"nan", true, std::nullopt},
    {"", false, std::nullopt},
    {"1 1", false, std::nullopt},
    {"- 3", false, std::nullopt},
    {"1e", false, std::nullopt},
    {"1,5", false, std::nullopt},
    {"+-3", false, std::nullopt},
    {"infinity", true, std::nullopt},
};

TEST(StrictNumberTexts, AcceptedAndRefused) {
  for (const StrictRow& row : kStrictRows) {
    SCOPED_TRACE(row.text);
    const std::optional<double> value = StrictNumber(row.text, row.bounds);
    ASSERT_EQ(value.has_value(), row.expected.has_value());
    if (value) {
      EXPECT_EQ(*value, *row.expected);
      EXPECT_EQ(std::signbit(*value), std::signbit(*row.expected));
    }
  }
}

TEST(StrictNumberTexts, SameUnderDecimalCommaLocale) {
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  EXPECT_EQ(StrictNumber("2.5", false), 2.5);
  EXPECT_EQ(StrictNumber("2,5", false), std::nullopt);
  std::setlocale(LC_ALL, "C");
}

struct ListRow {
  const char* text;
  NumberRule rule;
  std::vector<double> values;
  const char* error;    // Format of the refusal, or nullptr
  const char* warning;  // Format of the one warning, or nullptr
};

const ListRow kListRows[] = {
    {"1, 2.5,-3", NumberRule::Strict, {1, 2.5, -3}, nullptr, nullptr},
    {"1,3x", NumberRule::Strict, {}, "--x0: '3x' is not a number", nullptr},
    {"1 1", NumberRule::Strict, {}, "--x0: '1 1' is not a number; values are separated by commas", nullptr},
    {"1;2", NumberRule::Strict, {}, "--x0: '1;2' is not a number; values are separated by commas", nullptr},
    {"1,,2", NumberRule::Strict, {}, "--x0: a value is missing (two commas in a row, or one at an end)", nullptr},
    {"&H10", NumberRule::Strict, {}, "--x0: '&H10' is not a number", nullptr},
    {"1,-1E400", NumberRule::Strict, {}, "--x0: '-1E400' is beyond the largest number", nullptr},
    // The window's leading-number rule, through the engine's own conversion.
    {"2.5E1,3x,abc,&H10,- 3", NumberRule::Leading, {25, 3, 0, 16, -3}, nullptr, nullptr},
    {"1.5,,-2", NumberRule::Leading, {1.5, 0, -2}, nullptr, nullptr},
    {"1 1,2", NumberRule::Leading, {11, 2}, nullptr,
     "--x0: '1 1' reads as the one number 11; values are separated by commas"},
    {"", NumberRule::Strict, {}, nullptr, nullptr},
};

TEST(NumberListTexts, ValuesErrorsAndWarnings) {
  for (const ListRow& row : kListRows) {
    SCOPED_TRACE(row.text);
    WarningList warnings;
    try {
      const std::vector<double> values = ReadNumbers(Option("--x0", row.text), row.rule, warnings);
      EXPECT_EQ(row.error, nullptr);
      EXPECT_EQ(values, row.values);
    } catch (const ProblemFailure& failure) {
      ASSERT_NE(row.error, nullptr);
      EXPECT_EQ(Format(failure.error), row.error);
    }
    ASSERT_EQ(warnings.kept.size(), row.warning ? 1u : 0u);
    if (row.warning) {
      EXPECT_EQ(Format(warnings.kept[0]), row.warning);
      EXPECT_EQ(warnings.kept[0].code, WarningCode::Separator);
    }
  }
}

struct RangeRow {
  const char* text;
  NumberRule rule;
  std::vector<Range> ranges;
  const char* error;
};

const RangeRow kRangeRows[] = {
    {"-5:5", NumberRule::Strict, {{-5, 5}}, nullptr},
    {" 0:1 , -1e3:2.5", NumberRule::Strict, {{0, 1}, {-1000, 2.5}}, nullptr},
    {"0:inf,-inf:inf", NumberRule::Bounds, {{0, kInfinity}, {-kInfinity, kInfinity}}, nullptr},
    {"0:inf", NumberRule::Strict, {}, "--box: 'inf' is not a number"},
    {"5:5", NumberRule::Strict, {}, "--box: expected LOW below HIGH, got '5:5'"},
    {"5", NumberRule::Strict, {}, "--box: expected LOW:HIGH, got '5'"},
    {"inf:inf", NumberRule::Bounds, {}, "--box: expected LOW below HIGH, got 'inf:inf'"},
};

TEST(RangeTexts, RangesAndRefusals) {
  for (const RangeRow& row : kRangeRows) {
    SCOPED_TRACE(row.text);
    try {
      EXPECT_EQ(ReadRanges(Option("--box", row.text), row.rule), row.ranges);
      EXPECT_EQ(row.error, nullptr);
    } catch (const ProblemFailure& failure) {
      ASSERT_NE(row.error, nullptr);
      EXPECT_EQ(Format(failure.error), row.error);
    }
  }
}

TEST(WholeNumberTexts, LimitsAndRefusals) {
  EXPECT_EQ(ReadWholeNumber(Option("--seed", "18446744073709551615"), UINT64_MAX, true), UINT64_MAX);
  EXPECT_EQ(ReadWholeNumber(Option("--seed", " +0 "), UINT64_MAX, true), 0u);
  for (const char* bad : {"0", "-1", "1.5", "1e3", "", "2147483648"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ReadWholeNumber(Option("--max-starts", bad), 2147483647, false), ProblemFailure);
  }
}

}  // namespace
}  // namespace problem
