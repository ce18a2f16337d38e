#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include <gtest/gtest.h>

#include "eval/NumberText.h"
#include "eval/Value.h"

namespace {

struct TextRow {
  double value;
  const char* text;
};

// Switch points and tie rule of the engine's number text.
const TextRow kNumberTextRows[] = {
    {0.5, "0.5"},
    {-0.79, "-0.79"},
    {2, "2"},
    {1.0 / 3, "0.333333333333333"},
    {-0.0, "0"},
    {999999999999999.0, "999999999999999"},
    {999999999999999.6, "1E+15"},
    {999999999999992.5, "999999999999993"},   // exact tie: away from zero
    {-999999999999992.5, "-999999999999993"},
    {1E15, "1E+15"},
    {0.0001, "0.0001"},
    {0.000099999, "9.9999E-05"},
    {0.00009999999999999999, "0.0001"},
    {1.2E-7, "1.2E-07"},
    {1.5E300, "1.5E+300"},
    {4.94065645841247E-324, "4.94065645841247E-324"},
    {123456.789, "123456.789"},
    {1E14, "100000000000000"},
    {0.1 + 0.2, "0.3"},
    {2.000001, "2.000001"},
};

TEST(NumberTextSwitchPoints, MatchesTheEngineText) {
  for (const auto& row : kNumberTextRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(eval::NumberText(row.value), row.text);
  }
}

TEST(NumberTextSwitchPoints, ReadsBackAsTheValueRoundedTo15Digits) {
  // The text must carry the value to 15 significant digits and no further.
  const double samples[] = {M_PI, -M_E * 1E-9, 6.02214076E23, 1.0 / 7, 123.456E-300};
  for (double v : samples) {
    SCOPED_TRACE(v);
    const double back = eval::LeadingNumber(eval::NumberText(v));
    EXPECT_NEAR(back, v, std::fabs(v) * 1E-14);
  }
}

TEST(NumberTextSwitchPoints, SingleTextHasSevenDigits) {
  EXPECT_EQ(eval::SingleText(20.0f), "20");
  EXPECT_EQ(eval::SingleText(44.80625f), "44.80625");
  EXPECT_EQ(eval::SingleText(1.5E-10f), "1.5E-10");
  EXPECT_EQ(eval::SingleText(12345678.0f), "1.234568E+07");
  EXPECT_EQ(eval::SingleText(0.1f), "0.1");
}

TEST(NumberTextLocale, DecimalCommaLocaleChangesNothing) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  std::locale::global(std::locale("de_DE.UTF-8"));
  EXPECT_EQ(eval::NumberText(0.5), "0.5");
  EXPECT_EQ(eval::NumberText(-1234.25), "-1234.25");
  EXPECT_EQ(eval::NumberText(1.5E-7), "1.5E-07");
  EXPECT_EQ(eval::LeadingNumber("1.5"), 1.5);
  EXPECT_EQ(eval::LeadingNumber("1,5"), 1);
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, saved.c_str());
}

struct LeadingRow {
  const char* text;
  double value;
};

const LeadingRow kLeadingRows[] = {
    {"2.5E1", 25},  {"3x", 3},     {"abc", 0},       {"&H10", 16},   {"- 3", -3},
    {"1.5", 1.5},   {"", 0},       {"-.5", -0.5},    {"1e", 1},      {"1E-2", 0.01},
    {"&O17", 15},   {"&HFFFF", -1}, {"1 2 3", 123},  {"+4", 4},      {"\t7\n", 7},
    {"--3", 0},     {"5.", 5},     {"1.5.3", 1.5},   {"2e+3", 2000}, {".", 0},
    {"&Hxyz", 0},   {"&", 0},      {"1,5", 1},       {"30d", 30},
};

TEST(LeadingNumberConversion, ReadsTheLeadingNumber) {
  for (const auto& row : kLeadingRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(eval::LeadingNumber(row.text), row.value);
  }
}

TEST(LeadingNumberConversion, HugeExponentIsNotANumberTheSolversCanUse) {
  EXPECT_TRUE(std::isinf(eval::LeadingNumber("1e999")));
  EXPECT_EQ(eval::LeadingNumber("1e-999"), 0);
}

struct NumericTextRow {
  const char* text;
  std::optional<double> value;
};

const NumericTextRow kNumericTextRows[] = {
    {"30", 30},  {" 2 ", 2},         {"1e3", 1000},  {"&H10", 16},     {"3x", std::nullopt},
    {"", std::nullopt}, {" ", std::nullopt}, {"-1.5", -1.5}, {".5", 0.5}, {"1e", std::nullopt},
    {"+", std::nullopt}, {"1e999", std::nullopt},
};

TEST(CoercionTextToNumber, WholeTextMustBeANumber) {
  for (const auto& row : kNumericTextRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(eval::ParseNumericText(row.text), row.value);
  }
}

}  // namespace

namespace {

TEST(NumberTextSwitchPoints, AgreesWithCorrectlyRoundedPrintfOnRandomValues) {
  // printf rounds the exact binary value correctly (exact ties aside, which
  // skipped below); the 15 digits must agree.
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int k = 0; k < 200000; ++k) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const double mantissa = static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
    const int exponent = static_cast<int>(state % 41) - 20;
    const double v = (mantissa + 0.1) * std::pow(10.0, exponent) * ((state & 1) ? -1 : 1);
    char reference[64];
    std::snprintf(reference, sizeof reference, "%.14e", v);
    // Exact ties go away from zero here and to even in printf: skip them
    // (the tie rows above cover them).
    char exact[128];
    std::snprintf(exact, sizeof exact, "%.60e", v);
    const std::string digits(exact + (v < 0 ? 1 : 0), 62);
    if (digits[16] == '5' && digits.find_first_not_of('0', 17) >= 62) continue;
    const std::string text = eval::NumberText(v);
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(reference, nullptr))
        << "value " << reference << " text " << text;
  }
}

}  // namespace
