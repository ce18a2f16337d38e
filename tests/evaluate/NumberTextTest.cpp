#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <limits>
#include <locale>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eval/Lexer.h"
#include "eval/NumberText.h"
#include "eval/Operators.h"
#include "eval/ScriptError.h"
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

namespace {

// What an engine reads back from the number text: a literal after an
// optional "-", negated as the language negates.
eval::Value ReadBackThroughText(double v) {
  const std::string text = eval::NumberText(v);
  const bool negative = text[0] == '-';
  eval::Value value;
  const std::string_view literal = std::string_view(text).substr(negative ? 1 : 0);
  EXPECT_EQ(eval::ReadDecimalLiteral(literal, 0, value), literal.size()) << text;
  return negative ? eval::ApplyUnary(eval::Op::Negate, value) : value;
}

// Same kind and the same bits (a Double's sign of zero included).
bool SameValue(const eval::Value& a, const eval::Value& b) {
  if (a.Type() != b.Type()) return false;
  if (a.Type() != eval::VarType::Double) return a == b;
  return std::signbit(a.AsDouble()) == std::signbit(b.AsDouble()) && a == b;
}

void ExpectReadBackWithoutText(double v) {
  const std::optional<eval::Value> read = eval::NumberTextValue(v);
  std::optional<eval::Value> viaText;
  try {
    viaText = ReadBackThroughText(v);
  } catch (const eval::ScriptError& error) {
    ASSERT_EQ(error.Number(), eval::ErrorNumber::Overflow);
  }
  ASSERT_EQ(read.has_value(), viaText.has_value()) << v;
  if (!read) return;
  const eval::Value& direct = *read;
  ASSERT_TRUE(SameValue(direct, *viaText))
      << std::hexfloat << v << std::defaultfloat << " text " << eval::NumberText(v) << " direct "
      << eval::TypeName(direct.Type()) << " " << *eval::ToText(direct);
}

TEST(NumberTextWithoutText, SwitchPointsAndKinds) {
  std::vector<double> values = {0.0, -0.0, 1, -1, 32767, -32767, 32768, -32768, 32767.5, -32768.5,
                                2147483647, -2147483647, 2147483648.0, -2147483648.0, 2147483647.4,
                                32767.000000000001, 999999999999999.4, 999999999999999.5,
                                999999999999999.6, 1E15, 1E14, 0.0001, 0.000099999, 0.00009999999999999999,
                                1.0 / 3, 0.1 + 0.2, 5E-324, 1.7976931348623157E308, 2.2250738585072014E-308};
  for (int k = -330; k <= 310; ++k) values.push_back(std::pow(10.0, k));
  std::vector<double> all;
  for (double v : values) {
    double up = v;
    double down = v;
    for (int step = 0; step < 4; ++step) {
      all.push_back(up);
      all.push_back(down);
      up = std::nextafter(up, HUGE_VAL);
      down = std::nextafter(down, -HUGE_VAL);
    }
  }
  for (double v : all) {
    if (!std::isfinite(v)) continue;
    ExpectReadBackWithoutText(v);
    ExpectReadBackWithoutText(-v);
  }
}

// Exact ties at the 15th digit: a whole part of L digits and a binary
// fraction of 16 - L decimal digits, odd, so the 16th digit is a 5.
TEST(NumberTextWithoutText, ExactTiesAndTheirNeighbours) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 300000; ++i) {
    const int wholeDigits = 1 + static_cast<int>(random() % 15);
    const int bits = 16 - wholeDigits;
    const double low = std::pow(10.0, wholeDigits - 1);
    const double whole = low + static_cast<double>(random() % static_cast<std::uint64_t>(9 * low));
    const double odd = static_cast<double>((random() % (std::uint64_t{1} << (bits - 1))) * 2 + 1);
    const double tie = whole + std::ldexp(odd, -bits);
    for (double v : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, HUGE_VAL)}) {
      ExpectReadBackWithoutText(v);
      ExpectReadBackWithoutText(-v);
    }
  }
}

TEST(NumberTextWithoutText, MillionsOfRandomDoubles) {
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> exponent(-12.0, 40.0);
  for (int i = 0; i < 1500000; ++i) {
    // Most where solvers work, every bit pattern now and then.
    double v;
    if (i % 8 == 0) {
      const std::uint64_t bits = random();
      std::memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) continue;
    } else {
      v = std::pow(10.0, exponent(random)) * ((i & 1) ? -1 : 1);
    }
    ExpectReadBackWithoutText(v);
  }
}

}  // namespace
