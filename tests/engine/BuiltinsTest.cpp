// The language's built-in functions: results, result kinds and argument errors.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using enginetest::CheckRows;
using enginetest::EvalText;

TEST(BuiltinMath, ResultsAndKinds) {
  CheckRows({
      {"Abs(-2.5)", "Double:2.5"},
      {"Abs(-3)", "Integer:3"},
      {"Abs(-32768)", "Long:32768"},
      {"Abs(Null)", "Null:"},
      {"Abs(Empty)", "Integer:0"},
      {"Abs(\"-2\")", "Double:2"},
      {"Atn(1) * 4", "Double:3.14159265358979"},
      {"Cos(0)", "Double:1"},
      {"Exp(0)", "Double:1"},
      {"Exp(1)", "Double:2.71828182845905"},
      {"Fix(-2.7)", "Double:-2"},
      {"Int(-2.7)", "Double:-3"},
      {"Int(7)", "Integer:7"},
      {"Fix(Null)", "Null:"},
      {"Log(Exp(2))", "Double:2"},
      {"Round(2.5)", "Double:2"},
      {"Round(3.5)", "Double:4"},
      {"Round(-2.5)", "Double:-2"},
      {"Round(0.125, 2)", "Double:0.12"},
      {"Round(1.23456, 3)", "Double:1.235"},
      {"Round(5)", "Integer:5"},
      {"Round(1.5, 400)", "Double:1.5"},
      {"Round(1, -1)", "error 5"},
      {"Sgn(-3.2)", "Integer:-1"},
      {"Sgn(0)", "Integer:0"},
      {"Sgn(7)", "Integer:1"},
      {"Sin(0)", "Double:0"},
      {"Sqr(16)", "Double:4"},
      {"Sqr(2)", "Double:1.4142135623731"},
      {"Tan(0)", "Double:0"},
  });
}

TEST(BuiltinConversions, ResultsAndErrors) {
  CheckRows({
      {"CBool(2)", "Boolean:True"},
      {"CBool(0)", "Boolean:False"},
      {"CBool(\"false\")", "Boolean:False"},
      {"CBool(\"x\")", "error 13"},
      {"CDbl(\" 2 \")", "Double:2"},
      {"CDbl(\"1e3\")", "Double:1000"},
      {"CDbl(\"&H10\")", "Double:16"},
      {"CDbl(\"3x\")", "error 13"},
      {"CInt(2.5)", "Integer:2"},
      {"CInt(3.5)", "Integer:4"},
      {"CInt(-32768.4)", "Integer:-32768"},
      {"CInt(\"12\")", "Integer:12"},
      {"CLng(2147483647)", "Long:2147483647"},
      {"CLng(2.5)", "Long:2"},
      {"CSng(0.1)", "Single:0.1"},
      {"CSng(1E300)", "error 6"},
      {"CStr(0.5)", "String:0.5"},
      {"CStr(1/3)", "String:0.333333333333333"},
      {"CStr(True)", "String:True"},
      {"CStr(1E15)", "String:1E+15"},
      {"Hex(255)", "String:FF"},
      {"Hex(-1)", "String:FFFF"},
      {"Hex(65536)", "String:10000"},
      {"Hex(Null)", "Null:"},
      {"Hex(Empty)", "String:0"},
      {"Hex(3e9)", "error 6"},
      {"Oct(8)", "String:10"},
      {"Oct(-1)", "String:177777"},
  });
}

TEST(BuiltinInspection, ResultsAndKinds) {
  CheckRows({
      {"IsNumeric(\"12\")", "Boolean:True"},
      {"IsNumeric(\" 1e3 \")", "Boolean:True"},
      {"IsNumeric(\"1x\")", "Boolean:False"},
      {"IsNumeric(\"\")", "Boolean:False"},
      {"IsNumeric(Empty)", "Boolean:True"},
      {"IsNumeric(Null)", "Boolean:False"},
      {"IsNumeric(True)", "Boolean:True"},
      {"IsEmpty(y)", "Boolean:True"},
      {"IsEmpty(0)", "Boolean:False"},
      {"IsEmpty(\"\")", "Boolean:False"},
      {"TypeName(1)", "String:Integer"},
      {"TypeName(1.5)", "String:Double"},
      {"TypeName(70000)", "String:Long"},
      {"TypeName(\"\")", "String:String"},
      {"TypeName(Null)", "String:Null"},
      {"TypeName(y)", "String:Empty"},
      {"TypeName(True)", "String:Boolean"},
      {"TypeName(CSng(1))", "String:Single"},
      {"TypeName()", "error 450"},
  });
}

TEST(BuiltinText, CharactersNotBytes) {
  CheckRows({
      {"Len(\"abc\")", "Long:3"},
      {"Len(\"30度15分20秒\")", "Long:9"},
      {"Len(123)", "Long:3"},
      {"Len(Null)", "Null:"},
      {"Len(\"\")", "Long:0"},
      {"Left(\"hello\", 2)", "String:he"},
      {"Left(\"hi\", 5)", "String:hi"},
      {"Left(\"度分秒\", 2)", "String:度分"},
      {"Left(\"hi\", -1)", "error 5"},
      {"Left(Null, 1)", "Null:"},
      {"Right(\"hello\", 3)", "String:llo"},
      {"Right(\"度分秒\", 1)", "String:秒"},
      {"Right(\"hi\", 9)", "String:hi"},
      {"Mid(\"hello\", 2, 3)", "String:ell"},
      {"Mid(\"hello\", 4)", "String:lo"},
      {"Mid(\"hello\", 9)", "String:"},
      {"Mid(\"hello\", 0)", "error 5"},
      {"Mid(\"hello\", 1, -1)", "error 5"},
      {"Mid(\"30度15分\", 3, 1)", "String:度"},
      {"InStr(\"hello\", \"l\")", "Long:3"},
      {"InStr(4, \"hello\", \"l\")", "Long:4"},
      {"InStr(\"hello\", \"z\")", "Long:0"},
      {"InStr(\"hello\", \"\")", "Long:1"},
      {"InStr(9, \"hello\", \"o\")", "Long:0"},
      {"InStr(1, \"HeLLo\", \"ll\", 1)", "Long:3"},
      {"InStr(1, \"HeLLo\", \"ll\", 0)", "Long:0"},
      {"InStr(1, \"a\", \"a\", 2)", "error 5"},
      {"InStr(\"30度15分\", \"分\")", "Long:6"},
      {"InStr(0, \"a\", \"a\")", "error 5"},
      {"InStr(Null, \"a\")", "Null:"},
      {"UCase(\"abc度\")", "String:ABC度"},
      {"LCase(\"ABC\")", "String:abc"},
      {"Trim(\"  a b  \")", "String:a b"},
      {"Trim(\"   \")", "String:"},
      {"Len()", "error 450"},
      {"Mid(\"a\")", "error 450"},
      {"InStr(\"a\")", "error 450"},
      {"InStr(1, \"a\", \"a\", 0, 1)", "error 450"},
  });
}

// Numbers reach and leave the engine with "." whatever the process locale.
TEST(BuiltinText, NumberTextUnderDecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  auto engine = enginetest::NewEngine();
  engine->AddCode("x1 = 0.5");
  engine->AddCode("x2 = -1.54 ' read by the general parser");
  const std::string cstr = enginetest::EvalOn(*engine, "CStr(0.5)");
  const std::string joined = enginetest::EvalOn(*engine, "x1 & \"|\" & x2");
  const std::string sum = enginetest::EvalOn(*engine, "x1 * 2 + CDbl(\"0.25\")");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(cstr, "String:0.5");
  EXPECT_EQ(joined, "String:0.5|-1.54");
  EXPECT_EQ(sum, "Double:1.25");
}

}  // namespace
