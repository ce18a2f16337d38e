// The member table the engine reaches the library through, the constants, and
// the Error property.
#include <bit>
#include <cmath>
#include <set>

#include "ClsMathTestSupport.h"

namespace mathtest {
namespace {

// The names equations use, in the class's declaration order.
constexpr std::string_view kMemberOrder[] = {
    "Error",  "SinD",      "CosD",       "TanD",     "Cot",       "CotD",      "Csc",
    "CscD",   "Sec",       "SecD",       "Asin",     "AsinD",     "Acos",      "AcosD",
    "Asec",   "AsecD",     "Acsc",       "AcscD",    "Acot",      "AcotD",     "Atan",
    "AtanD",  "sinH",      "cosH",       "tanH",     "secH",      "cscH",      "cotH",
    "AsinH",  "ACosH",     "AtanH",      "AsecH",    "AcscH",     "AcotH",     "e",
    "PI",     "ra",        "Da",         "Frac",     "LogN",      "Log10",     "Ln",
    "RadFromDms", "DmsFromRad", "SinS", "CosS",     "TanS",      "CtnS",      "AsinToDms",
    "AcosToDms", "AtnToDms", "SIGN",    "Modxy",    "Floor",     "Lcm",       "Gcd",
    "Odd",    "Even",      "DMin",       "DMax",     "Sqr2"};

struct CountRow {
  std::string_view name;
  std::int16_t minArgs;
  std::int16_t maxArgs;
};

// Every member whose count is not exactly one argument.
constexpr CountRow kCounts[] = {
    {"Error", 0, 0},      {"e", 0, 0},      {"PI", 0, 0},
    {"ra", 0, 0},         {"Da", 0, 0},     {"LogN", 2, 2},
    {"Log10", 1, 2},      {"DmsFromRad", 1, 2},
    {"Modxy", 2, 2},      {"Lcm", 2, 2},    {"Gcd", 2, 2},
    {"DMin", 0, eval::MemberInfo::kAnyCount}, {"DMax", 0, eval::MemberInfo::kAnyCount},
};

using ClsMathMemberTable = MathTest;

TEST_F(ClsMathMemberTable, HoldsEveryMemberInDeclarationOrder) {
  const auto members = lib.Members();
  ASSERT_EQ(members.size(), std::size(kMemberOrder));
  ASSERT_EQ(members.size(), 61u);
  for (std::size_t k = 0; k < members.size(); ++k) {
    EXPECT_EQ(members[k].name, kMemberOrder[k]) << "at " << k;
  }
}

TEST_F(ClsMathMemberTable, NamesAreUniqueInAnyLetterCase) {
  std::set<std::string> seen;
  for (const auto& member : lib.Members()) {
    std::string lower;
    for (char c : member.name) lower.push_back(static_cast<char>(std::tolower(c)));
    EXPECT_TRUE(seen.insert(lower).second) << "duplicate " << member.name;
  }
}

TEST_F(ClsMathMemberTable, ArgumentCounts) {
  for (const auto& member : lib.Members()) {
    SCOPED_TRACE(std::string(member.name));
    std::int16_t minArgs = 1;
    std::int16_t maxArgs = 1;
    for (const auto& row : kCounts) {
      if (row.name == member.name) {
        minArgs = row.minArgs;
        maxArgs = row.maxArgs;
      }
    }
    EXPECT_EQ(member.minArgs, minArgs);
    EXPECT_EQ(member.maxArgs, maxArgs);
    EXPECT_EQ(member.writable, member.name == "Error");
  }
}

TEST_F(ClsMathMemberTable, WrongArgumentCountFailsWhenCalledDirectly) {
  EXPECT_EQ(ErrorOf("SinD", {}), ErrorNumber::WrongNumberOfArguments);
  EXPECT_EQ(ErrorOf("SinD", {D(1), D(2)}), ErrorNumber::WrongNumberOfArguments);
  EXPECT_EQ(ErrorOf("PI", {D(1)}), ErrorNumber::WrongNumberOfArguments);
  EXPECT_EQ(ErrorOf("Log10", {D(1), D(1), D(1)}), ErrorNumber::WrongNumberOfArguments);
  EXPECT_THROW(lib.Invoke(lib.Members().size(), {}), eval::ScriptError);
}

TEST_F(ClsMathMemberTable, EveryMemberAnswersATypicalCall) {
  // One plausible argument list per member: nothing may fail, and the result
  // kind is the declared one.
  const std::set<std::string_view> kTextMembers{"RadFromDms", "SinS", "CosS", "TanS", "CtnS"};
  for (const auto& member : lib.Members()) {
    SCOPED_TRACE(std::string(member.name));
    std::vector<Value> args;
    if (kTextMembers.count(member.name) != 0) {
      args = {S("30d15m20s")};
    } else if (member.name == "Acsc" || member.name == "Asec" || member.name == "AcscD" ||
               member.name == "AsecD" || member.name == "ACosH" || member.name == "AcotH") {
      args = {D(2)};
    } else {
      for (int k = 0; k < member.minArgs; ++k) args.push_back(D(0.5 + k));
      if (member.minArgs == 0 && member.maxArgs != 0) args = {D(3), D(1), D(2)};
    }
    if (member.name == "Lcm" || member.name == "Gcd") args = {D(4), D(6)};
    Value result;
    ASSERT_NO_THROW(result = lib.Invoke(&member - lib.Members().data(), args));
    eval::VarType expected = eval::VarType::Double;
    if (member.name == "Error") expected = eval::VarType::Boolean;
    if (member.name == "SIGN") expected = eval::VarType::Integer;
    if (member.name == "Floor" || member.name == "Lcm" || member.name == "Gcd" ||
        member.name == "Odd" || member.name == "Even") {
      expected = eval::VarType::Long;
    }
    if (member.name.ends_with("ToDms") || member.name == "DmsFromRad") {
      expected = eval::VarType::String;
    }
    EXPECT_EQ(result.Type(), expected);
  }
  EXPECT_FALSE(lib.Error());
  EXPECT_TRUE(ui.messages.empty());
}

// ---- constants ---------------------------------------------------------------

struct ConstantRow {
  std::string_view name;
  std::uint64_t bits;
};

TEST_F(MathTest, ConstantsHaveTheirExactBits) {
  const ConstantRow rows[] = {
      {"e", 0x4005BF0A8B14575EULL},
      {"PI", 0x400921FB54442D11ULL},
      {"ra", 0x3F91DF46A2529D34ULL},
      {"Da", 0x404CA5DC1A63C200ULL},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(AsDouble(Call(row.name))), row.bits);
  }
  EXPECT_EQ(std::bit_cast<std::uint64_t>(eval::ClsMath::PI()), 0x400921FB54442D11ULL);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(eval::ClsMath::E()), 0x4005BF0A8B14575EULL);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(eval::ClsMath::Ra()), 0x3F91DF46A2529D34ULL);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(eval::ClsMath::Da()), 0x404CA5DC1A63C200ULL);
}

TEST_F(MathTest, PiIsTheFifteenDigitValueNotTheNearestDouble) {
  EXPECT_NE(eval::ClsMath::PI(), std::acos(-1.0));
  EXPECT_NEAR(std::acos(-1.0) - eval::ClsMath::PI(), 3.2e-15, 0.1e-15);
}

// ---- the Error property ----------------------------------------------------------

TEST_F(MathTest, ErrorStartsFalseAndCanBeWritten) {
  EXPECT_EQ(Call("Error"), Value::Boolean(false));
  lib.Assign(0, Value::Boolean(true));
  EXPECT_EQ(Call("error"), Value::Boolean(true));
  lib.Assign(0, D(0));
  EXPECT_FALSE(lib.Error());
  lib.Assign(0, S("True"));
  EXPECT_TRUE(lib.Error());
}

TEST_F(MathTest, AssignChecksTheValueAndTheMember) {
  try {
    lib.Assign(0, S("abc"));
    ADD_FAILURE() << "no error";
  } catch (const eval::ScriptError& e) {
    EXPECT_EQ(e.Number(), ErrorNumber::TypeMismatch);
  }
  EXPECT_THROW(lib.Assign(0, Value::Null()), eval::ScriptError);
  EXPECT_THROW(lib.Assign(FindMember(lib, "SinD"), D(1)), eval::ScriptError);
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, ErrorStaysTrueAfterLaterSuccessfulCalls) {
  EXPECT_EQ(Fn("Ln", 0), 0);
  EXPECT_TRUE(lib.Error());
  EXPECT_NEAR(Fn("Ln", std::exp(1.0)), 1.0, 1e-15);
  EXPECT_NEAR(Fn("SinD", 90), 1.0, 1e-15);
  EXPECT_EQ(Call("Error"), Value::Boolean(true));
}

TEST_F(MathTest, ArgumentConversionFailuresAreEngineErrorsEvenWhenGuarded) {
  EXPECT_EQ(ErrorOf("SinD", {S("abc")}), ErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorOf("Ln", {Value::Null()}), ErrorNumber::InvalidUseOfNull);
  EXPECT_EQ(ErrorOf("Log10", {D(10), S("maybe")}), ErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorOf("Gcd", {D(3e9), D(1)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("DmsFromRad", {D(1), D(40000)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("RadFromDms", {Value::Null()}), ErrorNumber::InvalidUseOfNull);
  EXPECT_FALSE(lib.Error());
  // Texts that spell numbers and Booleans convert like any script value.
  EXPECT_NEAR(AsDouble(Call("SinD", {S(" 90 ")})), 1.0, 1e-15);
  EXPECT_EQ(AsDouble(Call("Sqr2", {Value::Boolean(true)})), -1.0);
  EXPECT_EQ(Call("Gcd", {S("12"), Value::Integer(18)}), Value::Long(6));
}

}  // namespace
}  // namespace mathtest
