// Behaviour a comparison with a VBScript engine asked for: signs after ^,
// comparisons written the other way round, the kinds of radix literals, texts
// in logical operators, texts beyond the double range, Round of a Boolean,
// Mid's Null length and the named constants.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"

namespace {

using enginetest::CheckRows;
using enginetest::EvalOn;
using enginetest::FailureOf;
using enginetest::NewEngine;

TEST(ParserPrecedence, SignAfterPowerBelongsToThatOperand) {
  CheckRows({
      {"2^-3^2", "Double:0.015625"},
      {"2^-2", "Double:0.25"},
      {"2^+3^2", "Double:64"},
      {"2^--1", "Double:2"},
      {"-2^-2", "Double:-0.25"},
      {"2^-3*2", "Double:0.25"},
      {"2^-(1+1)", "Double:0.25"},
      {"4^-x", "Double:1"},
      {"2 + 3 * 4 ^ 2 / 8 - 1", "Double:7"},
  });
}

TEST(ParserPrecedence, ComparisonsWrittenTheOtherWayRound) {
  CheckRows({
      {"1 =< 2", "Boolean:True"},
      {"2 =< 1", "Boolean:False"},
      {"2 => 1", "Boolean:True"},
      {"1 => 2", "Boolean:False"},
      {"1 >< 2", "Boolean:True"},
      {"1 >< 1", "Boolean:False"},
      {"1=<1", "Boolean:True"},
      {"1 = -1", "Boolean:False"},
  });
}

TEST(LexerNumbers, RadixLiteralsTakeTheKindOfTheirValue) {
  CheckRows({
      {"TypeName(&H10&)", "String:Integer"},
      {"&H7FFF&", "Integer:32767"},
      {"&HFFFFFFFF", "Integer:-1"},
      {"&H10000", "Long:65536"},
      {"&H80000000", "Long:-2147483648"},
      {"&HFFFF8000", "Integer:-32768"},
      {"&O177777", "Integer:-1"},
      {"&O200000", "Long:65536"},
      {"CDbl(\"&HFFFFFFFF\")", "Double:-1"},
      {"\"&H10\" + 0", "Double:16"},
  });
}

TEST(CoercionTextToNumber, TextsInLogicalOperators) {
  CheckRows({
      {"Not \"True\"", "Boolean:False"},
      {"Not \"false\"", "Boolean:True"},
      {"\"True\" And True", "Boolean:True"},
      {"\"TRUE\" Or False", "Boolean:True"},
      {"\"1\" And 3", "Integer:1"},
      {"\"1\" And True", "Boolean:True"},
      {"\"0\" Or False", "Boolean:False"},
      {"\"40000\" And 65535", "Long:40000"},
      {"\"2.5\" Xor 0", "Long:2"},
      // Not of a numeric text is a Long whatever the digits' kind (once the Integer -2).
      {"Not \"1\"", "Long:-2"},
      {"TypeName(Not \"1\")", "String:Long"},
      {"Not \"-1\"", "Long:0"},
      {"Not \"2.5\"", "Long:-3"},
      {"Not \"&H10\"", "Long:-17"},
      {"Not \" 7 \"", "Long:-8"},
      {"Not \"40000\"", "Long:-40001"},
      {"Not \"TRUE\"", "Boolean:False"},
      {"Not \"3e9\"", "error 6"},
      {"Not \"1e400\"", "error 6"},
      {"Not \"abc\"", "error 13"},
      {"Not \"\"", "error 13"},
      {"Not CInt(1)", "Integer:-2"},
      {"Not CLng(1)", "Long:-2"},
      {"Not CSng(1.5)", "Long:-3"},
      {"Not False", "Boolean:True"},
      {"\"abc\" And 1", "error 13"},
      {"\"1e400\" And 1", "error 6"},
      {"Null And \"False\"", "Boolean:False"},
  });
}

TEST(CoercionTextToNumber, TextsBeyondTheDoubleRangeAreOverflow) {
  CheckRows({
      {"CDbl(\"1e400\")", "error 6"},
      {"\"1e400\" * 1", "error 6"},
      {"\"-1e400\" + 1", "error 6"},
      {"CBool(\"1e400\")", "error 6"},
      {"IsNumeric(\"1e400\")", "Boolean:False"},
      {"CDbl(\"1e-400\")", "Double:0"},
      {"\"&H100000000\" * 1", "error 6"},
  });
}

TEST(BuiltinFunctions, RoundOfABooleanAndMidsNullLength) {
  CheckRows({
      {"Round(True)", "Boolean:True"},
      {"Round(False, 2)", "Boolean:False"},
      {"Abs(True)", "Integer:1"},
      {"Mid(\"123\", \"x\", Null)", "error 94"},
      {"Mid(\"123\", \"x\", 1)", "error 13"},
      {"Mid(Null, 1, 1)", "Null:"},
  });
}

TEST(NamedConstants, ValuesAndKinds) {
  CheckRows({
      {"vbCr", "String:\r"},
      {"vbLf", "String:\n"},
      {"Len(vbCrLf)", "Long:2"},
      {"vbNewLine = vbCrLf", "Boolean:True"},
      {"VBTAB", "String:\t"},
      {"Len(vbNullChar)", "Long:1"},
      {"vbNullString", "String:"},
      {"vbTrue", "Integer:-1"},
      {"vbFalse", "Integer:0"},
      {"vbEmpty + vbNull + vbInteger + vbLong + vbSingle", "Integer:10"},
      {"vbDouble & vbString & vbBoolean", "String:5811"},
  });
}

TEST(NamedConstants, CannotBeAssignedOrRedefined) {
  auto engine = NewEngine();
  const auto assigned = FailureOf([&] { engine->AddCode("vbTab = 1"); });
  EXPECT_EQ(assigned.number, 501);
  EXPECT_EQ(assigned.description, "Illegal assignment: 'vbTab'");
  EXPECT_EQ(FailureOf([&] { engine->AddCode("Dim vbCr"); }).number, 1041);
  EXPECT_EQ(EvalOn(*engine, "vbTab"), "String:\t");
}

}  // namespace
