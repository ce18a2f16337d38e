// Literals, operator precedence and the value kinds operators produce, checked
// against the measured VBScript results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using enginetest::CheckRows;
using enginetest::EvalText;

TEST(LexerNumbers, LiteralsHaveVBScriptKindsAndValues) {
  CheckRows({
      {"0", "Integer:0"},
      {"32767", "Integer:32767"},
      {"32768", "Long:32768"},
      {"2147483647", "Long:2147483647"},
      {"2147483648", "Double:2147483648"},
      {"1.5", "Double:1.5"},
      {".5", "Double:0.5"},
      {"1.", "Double:1"},
      {"1E-07", "Double:1E-07"},
      {"1.5E+20", "Double:1.5E+20"},
      {"2e3", "Double:2000"},
      {"-0.79", "Double:-0.79"},
      {"1e-400", "Double:0"},
      {"1e400", "error 6"},
      {"1E", "error 1002"},
      {"1E+", "error 1002"},
      {"&H10", "Integer:16"},
      {"&hff", "Integer:255"},
      {"&HFFFF", "Integer:-1"},
      {"&H8000", "Integer:-32768"},
      {"&H10000", "Long:65536"},
      {"&HFFFFFFFF", "Integer:-1"},
      {"&HFFFF&", "Integer:-1"},
      {"&O17", "Integer:15"},
      {"&O177777", "Integer:-1"},
      {"&H100000000", "error 6"},
      {"&H", "error 1002"},
      {"&Hz", "error 1002"},
  });
}

TEST(LexerNumbers, TextsAndConstants) {
  CheckRows({
      {"\"abc\"", "String:abc"},
      {"\"\"", "String:"},
      {"\"say \"\"hi\"\"\"", "String:say \"hi\""},
      {"\"30度15分20秒\"", "String:30度15分20秒"},
      {"\"it's\"", "String:it's"},
      {"True", "Boolean:True"},
      {"FALSE", "Boolean:False"},
      {"Empty", "Empty:"},
      {"Null", "Null:"},
      {"\"open", "error 1033"},
      {"\"line\nbreak\"", "error 1033"},
      {"1 ' a comment", "Integer:1"},
      {"1 Rem a comment", "Integer:1"},
      {"1 + _\n 2", "Integer:3"},
  });
}

TEST(ParserPrecedence, MeasuredVBScriptResults) {
  CheckRows({
      {"2^3^2", "Double:64"},
      {"-2^2", "Double:-4"},
      {"2^-2", "Double:0.25"},
      {"2 ^ -2 * 4", "Double:1"},
      {"-2 ^ 2 * 3", "Double:-12"},
      {"2 + 3 * 4 ^ 2 / 8 - 1", "Double:7"},
      {"1 < 2 < 3", "Boolean:True"},
      {"3 > 2 > 1", "Boolean:False"},
      {"True + 1", "Integer:0"},
      {"\"3\" + 4", "Double:7"},
      {"\"a\" & 1", "String:a1"},
      {"1 + 2 & 3", "String:33"},
      {"-7 Mod 3", "Integer:-1"},
      {"7.5 Mod 2", "Long:0"},
      {"6.5 Mod 4", "Long:2"},
      {"2 * 3 Mod 4", "Integer:2"},
      {"7 Mod 4 * 2", "Integer:7"},
      {"10 \\ 3 * 2", "Integer:1"},
      {"5 Mod 3 \\ 2", "Integer:0"},
      {"7 \\ 2", "Integer:3"},
      {"-7 \\ 2", "Integer:-3"},
      {"2.5 \\ 1", "Long:2"},
      {"3.5 \\ 1", "Long:4"},
      {"8 / 2 / 2", "Double:2"},
      {"8 - 2 - 2", "Integer:4"},
      {"(2 + 3) * 4", "Integer:20"},
      {"- - 2", "Integer:2"},
      {"+3", "Integer:3"},
      {"Not 0", "Integer:-1"},
      {"Not 1 = 2", "Boolean:True"},
      {"3 And 5", "Integer:1"},
      {"3 Or 4", "Integer:7"},
      {"5 Xor 1", "Integer:4"},
      {"1 = 1 And 2 = 2", "Boolean:True"},
      {"True Or False And False", "Boolean:True"},
      {"True Xor True Or True", "Boolean:False"},
      {"False Eqv True Xor True", "Boolean:True"},
      {"True Imp False Eqv False", "Boolean:True"},
      {"1 + 2 = 3", "Boolean:True"},
      {"\"a\" & 1 + 2", "String:a3"},
  });
}

TEST(ParserPrecedence, PowerBeforeUnaryMinusOnNames) {
  auto engine = enginetest::NewEngine();
  engine->AddCode("x = 3");
  EXPECT_EQ(enginetest::EvalOn(*engine, "-x^2"), "Double:-9");
  EXPECT_EQ(enginetest::EvalOn(*engine, "X^2 - 2*x - 2"), "Double:1");
}

TEST(CoercionOperators, KindsPromotionAndNull) {
  CheckRows({
      {"32767 + 1", "Long:32768"},
      {"-32768 - 1", "Long:-32769"},
      {"200 * 200", "Long:40000"},
      {"2147483647 + 1", "Double:2147483648"},
      {"65536 * 65536", "Double:4294967296"},
      {"-(-32768)", "Long:32768"},
      {"1 / 2", "Double:0.5"},
      {"4 / 2", "Double:2"},
      {"2 ^ 2", "Double:4"},
      {"1 + 0.5", "Double:1.5"},
      {"True + True", "Integer:-2"},
      {"y + 1", "Integer:1"},
      {"y & \"\"", "String:"},
      {"Empty + Empty", "Integer:0"},
      {"Empty + \"x\"", "String:x"},
      {"\"a\" + \"b\"", "String:ab"},
      {"\"30\" * 1", "Double:30"},
      {"\" 2 \" - 1", "Double:1"},
      {"\"&H10\" + 0", "Double:16"},
      {"1 & 2", "String:12"},
      {"0.5 & \"\"", "String:0.5"},
      {"1 / 3 & \"\"", "String:0.333333333333333"},
      {"True & \"\"", "String:True"},
      {"Null + 1", "Null:"},
      {"1 - Null", "Null:"},
      {"Null * 2", "Null:"},
      {"Null / 2", "Null:"},
      {"Null ^ 2", "Null:"},
      {"Null \\ 2", "Null:"},
      {"-Null", "Null:"},
      {"Null & \"a\"", "String:a"},
      {"Null & Null", "Null:"},
      {"CSng(1.5) + 1", "Single:2.5"},
      {"CSng(1.5) + 1.5", "Double:3"},
      {"CSng(1.5) * 70000", "Double:105000"},
      {"CSng(2) * 0.5", "Double:1"},
      {"2 * 0.5", "Double:1"},
      {"32767 + 0.5", "Double:32767.5"},
      {"70000 - 0.5", "Double:69999.5"},
      {"True * 0.5", "Double:-0.5"},
      {"\"2\" * 0.5", "Double:1"},
      {"Empty - 0.5", "Double:-0.5"},
      {"0.5 ^ 2", "Double:0.25"},
      {"3 / 0.5", "Double:6"},
  });
}

TEST(CoercionOperators, Comparisons) {
  CheckRows({
      {"\"a\" < \"b\"", "Boolean:True"},
      {"\"B\" < \"a\"", "Boolean:True"},
      {"1 < \"a\"", "Boolean:True"},
      {"\"10\" = 10", "Boolean:False"},
      {"Empty = 0", "Boolean:True"},
      {"Empty = \"\"", "Boolean:True"},
      {"2 = 2.0", "Boolean:True"},
      {"True = -1", "Boolean:True"},
      {"1 <> 2", "Boolean:True"},
      {"2 <= 2", "Boolean:True"},
      {"3 >= 4", "Boolean:False"},
      {"Null = 1", "Null:"},
      {"Null = Null", "Null:"},
  });
}

TEST(CoercionOperators, LogicalOperatorsOnWholeNumbersAndNull) {
  CheckRows({
      {"True And True", "Boolean:True"},
      {"True And 1", "Integer:1"},
      {"Not True", "Boolean:False"},
      {"Not 2.5", "Long:-3"},
      {"Not Empty", "Integer:-1"},
      {"70000 And 1", "Long:0"},
      {"12 Eqv 10", "Integer:-7"},
      {"12 Imp 10", "Integer:-5"},
      {"Null And False", "Boolean:False"},
      {"Null And True", "Null:"},
      {"Null Or True", "Boolean:True"},
      {"Null Or False", "Null:"},
      {"False Imp Null", "Boolean:True"},
      {"True Imp Null", "Null:"},
      {"Null Imp True", "Boolean:True"},
      {"Null Xor True", "Null:"},
      {"Not Null", "Null:"},
      {"3e9 And 1", "error 6"},
  });
}

}  // namespace

namespace {

// Arithmetic over variables is computed in doubles where that gives the
// general rules' answer; the kinds and errors must stay those rules'.
TEST(ArithmeticKinds, VariablesOfEveryKindKeepTheGeneralRules) {
  struct Row {
    std::string setup;
    std::string expression;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"x = 3", "x * 2", "Integer:6"},
      {"x = 32767", "x + 1", "Long:32768"},
      {"x = 32767", "x + 1.5", "Double:32768.5"},
      {"x = 2147483647", "x * x", "Double:4.61168601413242E+18"},
      {"x = -32768", "-x", "Long:32768"},
      {"x = 1.5", "-x * 2 - 1", "Double:-4"},
      {"x = 2", "x / 4", "Double:0.5"},
      {"x = 2", "x ^ 2 - x * x", "Double:0"},
      {"x = 3", "x / 0", "error 11"},
      {"x = 0", "0 / x + 1.5", "error 6"},
      {"x = -8", "x ^ (1 / 3)", "error 5"},
      {"x = 0", "1.5 + x ^ -1", "error 5"},
      {"x = 1E308", "x * 10 + 1.5", "error 6"},
      {"x = True", "x * 1.5", "Double:-1.5"},
      {"x = \"2\"", "x * 1.5", "Double:3"},
      {"x = Null", "x * 1.5", "Null:"},
      {"x = Empty", "x * 1.5 + 1", "Double:1"},
      {"x = CSng(1.5)", "x * 2.5", "Double:3.75"},
      {"x = 2.5", "y * x", "Double:0"},
      {"x = 2.5", "x * 2 * 3 + (4 * 5)", "Double:35"},
      {"x = 2.5", "x + 1 - 1 * 2 ^ 3 / 4", "Double:1.5"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.setup + ": " + row.expression);
    auto engine = enginetest::NewEngine();
    engine->AddCode(row.setup);
    EXPECT_EQ(enginetest::EvalOn(*engine, row.expression), row.expected);
    engine->AddCode("Function f()\r\nf = " + row.expression + "\r\nEnd Function");
    EXPECT_EQ(enginetest::EvalOn(*engine, "f()"), row.expected);
  }
}

}  // namespace
