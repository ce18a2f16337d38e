// Logarithms and whole-number members: Frac, LogN/Log10/Ln, SIGN, Modxy,
// Floor, Gcd/Lcm, Odd/Even, DMin/DMax, Sqr2.
#include <cmath>
#include <limits>

#include "ClsMathTestSupport.h"

namespace mathtest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// ln(b)/ln(r) rounds twice: results agree with the exact logarithm to a few ulps.
constexpr double kLogRatioTol = 1e-15;

using ClsMathLogs = MathTest;

TEST_F(ClsMathLogs, FracIsNeverNegative) {
  EXPECT_EQ(Fn("Frac", 2.75), 0.75);
  EXPECT_EQ(Fn("Frac", -2.25), 0.75);
  EXPECT_EQ(Fn("Frac", -3), 0);
  for (double x = -10; x <= 10; x += 0.3) {
    SCOPED_TRACE(x);
    const double f = Fn("Frac", x);
    EXPECT_GE(f, 0);
    EXPECT_LT(f, 1);
    EXPECT_EQ(f, x - std::floor(x));
  }
}

TEST_F(ClsMathLogs, LogarithmsAgainstCmath) {
  EXPECT_NEAR(AsDouble(Call("LogN", {D(2), D(8)})), 3, 3 * kLogRatioTol);
  EXPECT_NEAR(AsDouble(Call("LogN", {D(8), D(2)})), 1.0 / 3, kLogRatioTol);
  for (double x = 0.01; x < 1e6; x *= 3.7) {
    SCOPED_TRACE(x);
    EXPECT_EQ(Fn("Ln", x), std::log(x));
    EXPECT_NEAR(Fn("Log10", x), std::log10(x), kLogRatioTol * std::max(1.0, std::fabs(std::log10(x))) * 4);
    EXPECT_EQ(AsDouble(Call("Log10", {D(x), Value::Boolean(true)})), Fn("Log10", x));
    EXPECT_EQ(AsDouble(Call("LogN", {D(x), D(7)})), std::log(7) / std::log(x));
  }
  EXPECT_FALSE(lib.Error());
}

struct LogFailureRow {
  std::string_view name;
  std::vector<Value> args;
  double result;
  bool nan = false;
};

TEST(ClsMathLogFailures, SetErrorAndReturnTheResultSoFar) {
  const LogFailureRow rows[] = {
      {"Ln", {D(0)}, 0},
      {"Ln", {D(-1)}, 0},
      {"Log10", {D(-1)}, 0},
      {"Log10", {D(0), Value::Boolean(true)}, 0},
      {"LogN", {D(-2), D(8)}, 0},
      {"LogN", {D(2), D(0)}, 0},
      // base 1: the final division by ln(1) = 0 keeps its IEEE quotient
      {"LogN", {D(1), D(2)}, kInf},
      {"LogN", {D(1), D(0.5)}, -kInf},
      {"LogN", {D(1), D(1)}, 0, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " row");
    eval::RecordingUi ui;
    eval::ClsMath lib;
    const eval::ClsMath::UiBinding libraryUi(lib, ui);
    const Value got = lib.Invoke(FindMember(lib, row.name), row.args);
    ASSERT_EQ(got.Type(), eval::VarType::Double);
    if (row.nan) {
      EXPECT_TRUE(std::isnan(got.AsDouble()));
    } else {
      EXPECT_EQ(got.AsDouble(), row.result);
    }
    EXPECT_TRUE(lib.Error());
  }
}

// ---- SIGN, Modxy, Floor -----------------------------------------------------------

using ClsMathWhole = MathTest;

TEST_F(ClsMathWhole, SignIsASixteenBitWholeNumber) {
  const std::pair<double, std::int16_t> rows[] = {
      {-2.5, -1}, {3, 1}, {0, 0}, {-0.0, 0}, {1e-300, 1}, {-1e300, -1}};
  for (const auto& [x, sign] : rows) {
    SCOPED_TRACE(x);
    EXPECT_EQ(Call("SIGN", {D(x)}), Value::Integer(sign));
  }
}

TEST_F(ClsMathWhole, ModxyRoundsThenTakesTheTruncatingRemainder) {
  struct Row {
    double x, y, result;
  };
  const Row rows[] = {
      {7, 3, 1},   {-7, 3, -1},  {7, -3, 1},  {7.5, 2, 0},   {6.5, 4, 2},
      {2.5, 2, 0}, {3.5, 2, 0},  {9, 2.5, 1}, {-2147483648.0, -1, 0},
      {2147483647, 2147483646, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.x) + " Mod " + std::to_string(row.y));
    EXPECT_EQ(Call("Modxy", {D(row.x), D(row.y)}), D(row.result));
  }
  EXPECT_EQ(ErrorOf("Modxy", {D(5), D(0.4)}), ErrorNumber::DivisionByZero);
  EXPECT_EQ(ErrorOf("Modxy", {D(5), D(-0.5)}), ErrorNumber::DivisionByZero);
  EXPECT_EQ(ErrorOf("Modxy", {D(3e9), D(7)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("Modxy", {D(7), D(-3e9)}), ErrorNumber::Overflow);
  EXPECT_FALSE(lib.Error());
}

TEST_F(ClsMathWhole, FloorTruncatesTowardZero) {
  struct Row {
    Value number;
    std::int32_t result;
  };
  const Row rows[] = {
      {D(2.7), 2},  {D(-2.7), -2},         {D(0.2), 0},
      {D(2147483647.9), 2147483647},       {D(-2147483648.9), -2147483647 - 1},
      {S("3.9"), 3}, {Value::Boolean(true), -1}, {Value(), 0}, {Value::Integer(-5), -5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(eval::ToText(row.number).value_or("Null"));
    EXPECT_EQ(Call("Floor", {row.number}), Value::Long(row.result));
  }
  EXPECT_EQ(ErrorOf("Floor", {S("abc")}), ErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorOf("Floor", {Value::Null()}), ErrorNumber::InvalidUseOfNull);
  EXPECT_EQ(ErrorOf("Floor", {D(2147483648.0)}), ErrorNumber::Overflow);
}

// ---- Gcd and Lcm ---------------------------------------------------------------

// The descending search, run candidate by candidate as the library describes it.
std::int32_t SearchedDivisor(std::int32_t m, std::int32_t n) {
  std::int32_t g = m <= n ? m : n;
  while (g >= 1) {
    const double a = static_cast<double>(m) / g;
    const double b = static_cast<double>(n) / g;
    if (a == std::floor(a) && b == std::floor(b)) break;
    --g;
  }
  return g;
}

TEST_F(ClsMathWhole, GcdAndLcmAgreeWithTheDescendingSearch) {
  constexpr int kSweep = 200;
  for (int m = 1; m <= kSweep; ++m) {
    for (int n = 1; n <= kSweep; ++n) {
      const std::int32_t g = SearchedDivisor(m, n);
      const Value gcd = Call("Gcd", {Value::Long(m), Value::Long(n)});
      const Value lcm = Call("Lcm", {Value::Long(m), Value::Long(n)});
      if (gcd != Value::Long(g) || lcm != Value::Long(m * n / g)) {
        ADD_FAILURE() << "Gcd/Lcm(" << m << ", " << n << ")";
        return;
      }
    }
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClsMathWhole, GcdAndLcmOfLargeArgumentsAnswerQuickly) {
  // The search would walk down two billion candidates here.
  EXPECT_EQ(Call("Gcd", {D(2147483647), D(2147483646)}), Value::Long(1));
  EXPECT_EQ(Call("Gcd", {D(2147483646), D(1073741823)}), Value::Long(1073741823));
  EXPECT_EQ(Call("Lcm", {D(46340), D(46341)}), Value::Long(46340 * 46341));
}

struct DivisorRow {
  std::string_view name;
  double m, n;
  std::optional<std::int32_t> result;  // nothing: the call fails with `error`
  ErrorNumber error;
  bool message;
};

TEST(ClsMathDivisors, EdgeCasesAndTheBadInputMessage) {
  const DivisorRow rows[] = {
      {"Gcd", 12, 18, 6, {}, false},
      {"Lcm", 4, 6, 12, {}, false},
      {"Gcd", 0, 5, 0, {}, true},
      {"Gcd", 5, 0, 0, {}, false},
      {"Gcd", -4, 6, -4, {}, true},
      {"Gcd", 6, -4, -4, {}, true},
      {"Lcm", -4, 6, 6, {}, true},
      {"Lcm", 5, -3, 5, {}, true},
      {"Lcm", -3, 0, 0, {}, true},
      {"Lcm", 5, 0, {}, ErrorNumber::Overflow, false},  // 0/0
      {"Lcm", 0, 5, {}, ErrorNumber::Overflow, true},
      {"Lcm", 65536, 65536, {}, ErrorNumber::Overflow, false},  // 32-bit product
      {"Gcd", 7.5, 10.5, 2, {}, false},                         // 8 and 10 after rounding
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + "(" + std::to_string(row.m) + ", " +
                 std::to_string(row.n) + ")");
    eval::RecordingUi ui;
    eval::ClsMath lib;
    const eval::ClsMath::UiBinding libraryUi(lib, ui);
    const Value args[] = {D(row.m), D(row.n)};
    const std::size_t index = FindMember(lib, row.name);
    if (row.result) {
      EXPECT_EQ(lib.Invoke(index, args), Value::Long(*row.result));
    } else {
      try {
        lib.Invoke(index, args);
        ADD_FAILURE() << "no error";
      } catch (const eval::ScriptError& e) {
        EXPECT_EQ(e.Number(), row.error);
      }
    }
    if (row.message) {
      EXPECT_EQ(ui.messages, std::vector<std::string>{"Err input data"});
    } else {
      EXPECT_TRUE(ui.messages.empty());
    }
    EXPECT_FALSE(lib.Error());
  }
}

// ---- Odd and Even ----------------------------------------------------------------

TEST_F(ClsMathWhole, OddAndEvenRoundAwayFromZero) {
  const std::pair<double, std::int32_t> odd[] = {
      {0, 1},  {1, 1},   {2, 3},   {2.5, 3},   {3.5, 5},   {-2, -3},   {-0.5, -1},
      {-1, -1}, {-3.5, -5}, {-2.5, -3}, {0.5, 1}, {1.5, 3}, {2147483647, 2147483647}};
  for (const auto& [x, result] : odd) {
    SCOPED_TRACE("Odd " + std::to_string(x));
    EXPECT_EQ(Call("Odd", {D(x)}), Value::Long(result));
  }
  const std::pair<double, std::int32_t> even[] = {
      {0, 0},   {1, 2},    {1.5, 2},  {2.5, 4},   {-1, -2},  {-0.5, -2},
      {2, 2},   {-2, -2},  {0.5, 2},  {-1.5, -2}, {-2.5, -4}, {-2147483647.0 - 1, -2147483647 - 1}};
  for (const auto& [x, result] : even) {
    SCOPED_TRACE("Even " + std::to_string(x));
    EXPECT_EQ(Call("Even", {D(x)}), Value::Long(result));
  }
}

TEST_F(ClsMathWhole, OddAndEvenNeedANumberInRange) {
  EXPECT_EQ(Call("Odd", {S("2")}), Value::Long(3));
  EXPECT_EQ(Call("Even", {Value::Boolean(true)}), Value::Long(-2));
  EXPECT_EQ(Call("Odd", {Value()}), Value::Long(1));
  EXPECT_EQ(ErrorOf("Odd", {S("two")}), ErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorOf("Even", {Value::Null()}), ErrorNumber::InvalidUseOfNull);
  EXPECT_EQ(ErrorOf("Even", {D(2147483647)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("Odd", {D(-2147483648.0)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("Odd", {D(2147483647.5)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("Even", {D(3e9)}), ErrorNumber::Overflow);
}

// ---- DMin and DMax -----------------------------------------------------------------

TEST_F(ClsMathWhole, DMinAndDMaxWithOneManyAndNone) {
  EXPECT_EQ(Call("DMin", {D(3), D(1), D(2)}), D(1));
  EXPECT_EQ(Call("DMax", {D(3), D(1), D(2)}), D(3));
  EXPECT_EQ(Call("DMin", {D(-7.5)}), D(-7.5));
  EXPECT_EQ(Call("DMax", {Value::Integer(4)}), D(4));
  EXPECT_EQ(Call("DMin", {D(5), S("-2"), Value::Boolean(true), Value::Long(0)}), D(-2));
  EXPECT_EQ(Call("DMax", {D(5), S("12"), Value::Boolean(true), Value::Long(0)}), D(12));
  EXPECT_EQ(ErrorOf("DMin", {}), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf("DMax", {}), ErrorNumber::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf("DMin", {D(1), S("x")}), ErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorOf("DMax", {D(1), Value::Null()}), ErrorNumber::InvalidUseOfNull);
}

TEST_F(ClsMathWhole, DMinAndDMaxReplaceOnlyWhenStrictlyBeyond) {
  // 0 and -0 compare equal: the first one seen survives.
  EXPECT_FALSE(std::signbit(AsDouble(Call("DMin", {D(0.0), D(-0.0)}))));
  EXPECT_TRUE(std::signbit(AsDouble(Call("DMin", {D(-0.0), D(0.0)}))));
  EXPECT_FALSE(std::signbit(AsDouble(Call("DMax", {D(0.0), D(-0.0)}))));
  std::vector<Value> many;
  for (int k = 0; k < 100; ++k) many.push_back(D(std::sin(k)));
  double lo = 2, hi = -2;
  for (int k = 0; k < 100; ++k) {
    lo = std::min(lo, std::sin(k));
    hi = std::max(hi, std::sin(k));
  }
  EXPECT_EQ(Call("DMin", many), D(lo));
  EXPECT_EQ(Call("DMax", many), D(hi));
}

// ---- Sqr2 ---------------------------------------------------------------------

TEST_F(ClsMathWhole, Sqr2KeepsTheSign) {
  EXPECT_EQ(Fn("Sqr2", -4), -2);
  EXPECT_EQ(Fn("Sqr2", 9), 3);
  EXPECT_EQ(Fn("Sqr2", 0), 0);
  for (double x = -50; x <= 50; x += 1.7) {
    EXPECT_EQ(Fn("Sqr2", x), x < 0 ? -std::sqrt(-x) : std::sqrt(x)) << x;
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ClsMathWhole, Sqr2ReportsAFailureByMessageNotByError) {
  EXPECT_EQ(Fn("Sqr2", std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(Fn("Sqr2", -kInf), 0);
  EXPECT_EQ(ui.messages,
            (std::vector<std::string>{"error im clsmath.sqr2", "error im clsmath.sqr2"}));
  EXPECT_FALSE(lib.Error());
}

}  // namespace
}  // namespace mathtest
