// Decimal literals read to the double nearest their value, whichever road
// the conversion takes inside; checked against the C library's strtod.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

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

struct TokenEndRow {
  std::string code;
  std::vector<std::size_t> ends;  // of each token before End
};

// Where each token ends: what a caller cuts a text at (a definition's
// expression up to its last token, a trailing comment dropped).
TEST(LexerTokenEnds, EachTokenEndsAfterItsLastByte) {
  const std::vector<TokenEndRow> rows{
      {"abc+12.5E3", {3, 4, 10}},
      {"&H1F& * &O7", {5, 7, 11}},        // the type suffix belongs to the number
      {"\"a\"\"b\" & x ' note", {6, 8, 10}},  // a doubled quote is inside the text
      {"a<=b =< c >< d <> e", {1, 3, 4, 7, 9, 12, 14, 17, 19}},
      {"x\r\ny:z", {1, 3, 4, 5, 6}},
      {"x _\r\n + Rem gone\r\ny", {1, 7, 18, 19}},  // a continued line and a Rem comment
      {"  pi  ", {4}},
  };
  for (const TokenEndRow& row : rows) {
    SCOPED_TRACE(row.code);
    eval::Lexer lexer(row.code);
    std::vector<std::size_t> ends;
    for (eval::Token token = lexer.Next(); token.kind != eval::TokenKind::End; token = lexer.Next()) {
      EXPECT_LT(token.position, token.end);
      ends.push_back(token.end);
    }
    EXPECT_EQ(ends, row.ends);
    EXPECT_EQ(lexer.Next().end, row.code.size());
  }
}

}  // namespace

