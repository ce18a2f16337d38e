// One decimal text read through the three doors (a literal in code, a text
// used as a number, the leading-number conversion of initial values) gives
// one value: the correctly rounded double, 0 below the smallest, Overflow
// beyond the largest.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "EngineTestSupport.h"
#include "eval/NumberText.h"

namespace {

using enginetest::NewEngine;

// What a door made of the text: its number, or "error N".
std::string Door(const std::function<double()>& read) {
  try {
    const double d = read();
    if (std::isinf(d)) return "error 6";  // the leading number's Overflow
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", d);
    return text;
  } catch (const eval::ScriptError& error) {
    return "error " + std::to_string(static_cast<int>(error.Number()));
  }
}

struct Doors {
  std::string literal, text, leading;
};

Doors ReadThroughAllDoors(eval::ScriptEngine& engine, const std::string& number) {
  return {Door([&] { return *eval::ToDouble(engine.Eval(number)); }),
          Door([&] { return *eval::ToDouble(engine.Eval("\"" + number + "\" * 1")); }),
          Door([&] { return eval::LeadingNumber(number); })};
}

void ExpectSameEverywhere(eval::ScriptEngine& engine, const std::string& number, const std::string& expected) {
  SCOPED_TRACE(number);
  const Doors doors = ReadThroughAllDoors(engine, number);
  EXPECT_EQ(doors.literal, expected);
  EXPECT_EQ(doors.text, expected);
  EXPECT_EQ(doors.leading, expected);
}

std::string Strtod(const std::string& number) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", std::strtod(number.c_str(), nullptr));
  return text;
}

TEST(NumberDoors, EdgesOfTheDoubleRange) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  auto engine = NewEngine();
  struct Row {
    std::string number;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"0." + std::string(400, '0') + "1", "0"},  // was 0, Overflow and Type mismatch
      {"1e-400", "0"},
      {"2.4703282292062328e-324", "4.9406564584124654e-324"},  // just above half the smallest
      {"2.4703282292062327e-324", "0"},
      {"4.9406564584124654e-324", "4.9406564584124654e-324"},
      {"1.7976931348623157e308", "1.7976931348623157e+308"},
      {"1.7976931348623158e308", "1.7976931348623157e+308"},  // rounds down to the largest
      {"1.797693134862316e308", "error 6"},
      {"1e400", "error 6"},
      {"1" + std::string(400, '0'), "error 6"},
      {"0.1", "0.10000000000000001"},
      {"9007199254740993", "9007199254740992"},  // a tie: to even
      {"32768", "32768"},
      {"2147483648", "2147483648"},
      {"5.", "5"},
      {".5", "0.5"},
      {"1" + std::string(30, '0') + "e-30", "1"},
  };
  for (const auto& row : rows) ExpectSameEverywhere(*engine, row.number, row.expected);
}

TEST(NumberDoors, RandomTextsAgreeWithStrtod) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  auto engine = NewEngine();
  std::mt19937_64 random(20261209);
  std::uniform_int_distribution<int> digitCount(1, 40);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> exponent(-360, 340);
  for (int i = 0; i < 3000; ++i) {
    const int count = digitCount(random);
    std::string digits;
    for (int k = 0; k < count; ++k) digits += static_cast<char>('0' + digit(random));
    std::string number = digits;
    if (i % 3 != 0) number.insert(random() % (digits.size() + 1), ".");
    if (number == ".") number = "0.5";
    if (i % 2 == 0) number += "E" + std::to_string(exponent(random));
    const double reference = std::strtod(number.c_str(), nullptr);
    ExpectSameEverywhere(*engine, number, std::isinf(reference) ? "error 6" : Strtod(number));
  }
}

}  // namespace
