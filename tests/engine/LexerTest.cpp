// Decimal literals read to the double nearest their value, whichever road
// the conversion takes inside; checked against the C library's strtod.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "eval/Lexer.h"
#include "eval/ScriptError.h"

namespace {

double Strtod(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

double Read(const std::string& text) {
  eval::Value value;
  EXPECT_EQ(eval::ReadDecimalLiteral(text, 0, value), text.size()) << text;
  if (value.Type() == eval::VarType::Integer) return value.AsInteger();
  if (value.Type() == eval::VarType::Long) return value.AsLong();
  EXPECT_EQ(value.Type(), eval::VarType::Double) << text;
  return value.AsDouble();
}

TEST(LexerNumbers, DecimalTextsReadAsTheNearestDouble) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");  // strtod reads "." here
  const char* rows[] = {
      "0.79", "1.54", "0.333333333333333", "999999999999999", "1E+15", "1E-05", "1.2E-07",
      "1.5E+300", "4.94065645841247E-324", "2.2250738585072E-308", "1.7976931348623157E+308",
      "0.000123", "123456789012345", "1234567890123456789", "0.1", "0.2", "0.3", "7E22", "7E23",
      "9007199254740993", "1.00000000000000011102230246251565404236316680908203125",
      "100000000000000000000000", "0.000000000000000000000000000001", "5E-324", "1e-320",
  };
  for (const char* row : rows) {
    SCOPED_TRACE(row);
    EXPECT_EQ(Read(row), Strtod(row));
  }
}

// The 15-digit text of the largest double rounds up beyond it.
TEST(LexerNumbers, BeyondTheLargestDoubleIsOverflow) {
  eval::Value value;
  try {
    eval::ReadDecimalLiteral("1.79769313486232E+308", 0, value);
    FAIL() << "no error";
  } catch (const eval::ScriptError& error) {
    EXPECT_EQ(error.Number(), eval::ErrorNumber::Overflow);
  }
}

TEST(LexerNumbers, NumberTextsOfRandomDoublesRoundTrip) {
  std::mt19937_64 random(20240607);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-330, 310);
  char text[64];
  for (int i = 0; i < 20000; ++i) {
    const double x = std::abs(mantissa(random) * std::pow(10.0, exponent(random) / 10.0 * (i % 2 ? 1 : 10)));
    if (!std::isfinite(x)) continue;
    for (const char* format : {"%.15G", "%.17G", "%.6G"}) {
      std::snprintf(text, sizeof text, format, x);
      SCOPED_TRACE(text);
      ASSERT_EQ(Read(text), Strtod(text));
    }
  }
}

}  // namespace
