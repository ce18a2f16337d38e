// Trigonometric members against <cmath>: the degree conversions carry the
// 15-digit PI, the reciprocal and inverse forms follow their formulas, and the
// guarded ones record failures in Error.
#include <cmath>
#include <limits>
#include <numbers>

#include "ClsMathTestSupport.h"

namespace mathtest {
namespace {

constexpr double kPi15 = 3.14159265358979;  // the library's PI, written independently
constexpr double kRa = kPi15 / 180;
constexpr double kDa = 180 / kPi15;
constexpr double kInf = std::numeric_limits<double>::infinity();

// The 15-digit PI is 3.2E-15 short of pi: a degree argument up to 720 moves by
// at most 720 * 1.8E-17 rad, plus a few units of rounding.
constexpr double kDegreeConversionTol = 5e-14;
// Functions that only differ from <cmath>'s by rounding of a few operations.
constexpr double kFewUlpsRel = 1e-14;

double Sgn(double v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

struct FormulaRow {
  std::string_view name;
  double (*formula)(double);   // the written formula, same operation order: bit-equal
  double (*textbook)(double);  // the mathematical function the member approximates
  double tolerance;            // between member and textbook
};

// Degree-based and reciprocal functions over a sweep of angles.
const FormulaRow kDegreeRows[] = {
    {"SinD", [](double x) { return std::sin(x * kRa); },
     [](double x) { return std::sin(x * std::numbers::pi / 180); }, kDegreeConversionTol},
    {"CosD", [](double x) { return std::cos(x * kRa); },
     [](double x) { return std::cos(x * std::numbers::pi / 180); }, kDegreeConversionTol},
    {"SecD", [](double x) { return 1 / std::cos(x * kRa); },
     [](double x) { return 1 / std::cos(x * std::numbers::pi / 180); }, 1e-12},
};

TEST(ClsMathDegreeTrig, SweepMatchesFormulaAndCmath) {
  eval::RecordingUi ui;
  eval::ClsMath lib;
  const eval::ClsMath::UiBinding libraryUi(lib, ui);
  for (const auto& row : kDegreeRows) {
    const std::size_t index = FindMember(lib, row.name);
    for (double x = -720; x <= 720; x += 7.5) {
      if (row.name == "SecD" && std::fmod(std::fabs(x), 180) == 90) continue;
      SCOPED_TRACE(std::string(row.name) + "(" + std::to_string(x) + ")");
      const Value args[] = {D(x)};
      const double got = lib.Invoke(index, args).AsDouble();
      EXPECT_EQ(got, row.formula(x));
      EXPECT_NEAR(got, row.textbook(x), row.tolerance * std::max(1.0, std::fabs(got)));
    }
  }
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, RadianReciprocalsOverASweep) {
  for (double x = -6; x <= 6; x += 0.37) {
    SCOPED_TRACE(x);
    EXPECT_EQ(Fn("Cot", x), 1 / std::tan(x));
    EXPECT_EQ(Fn("Csc", x), 1 / std::sin(x));
    EXPECT_EQ(Fn("Sec", x), 1 / std::cos(x));
    EXPECT_NEAR(Fn("TanD", x * 10), std::tan(x * 10 * std::numbers::pi / 180),
                kDegreeConversionTol * 100);
    EXPECT_NEAR(Fn("CotD", x * 10 + 1), 1 / std::tan((x * 10 + 1) * kRa), 1e-12);
    EXPECT_NEAR(Fn("CscD", x * 10 + 1), 1 / std::sin((x * 10 + 1) * kRa), 1e-12);
  }
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, DegreeConversionShowsTheShortPi) {
  EXPECT_LT(Fn("SinD", 30), 0.5);
  EXPECT_NEAR(0.5 - Fn("SinD", 30), 4e-16, 1.5e-16);
  EXPECT_NEAR(1 - Fn("TanD", 45), 1.7e-15, 0.3e-15);
  EXPECT_NEAR(Fn("CosD", 90), 1.6e-15, 0.2e-15);
  EXPECT_NEAR(Fn("SinD", 180), 3.2e-15, 0.2e-15);
  EXPECT_NEAR(Fn("CotD", 180), -3.1e14, 0.1e14);
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, ReciprocalsOfZeroGiveTheIeeeQuotientAndSetError) {
  const std::string_view names[] = {"Cot", "CotD", "Csc", "CscD", "cscH", "cotH"};
  for (auto name : names) {
    SCOPED_TRACE(std::string(name));
    eval::RecordingUi localUi;
    eval::ClsMath local;
    const eval::ClsMath::UiBinding libraryUi(local, localUi);
    const Value args[] = {D(0)};
    EXPECT_EQ(local.Invoke(FindMember(local, name), args), D(kInf));
    EXPECT_TRUE(local.Error());
  }
}

// ---- inverse functions --------------------------------------------------------

TEST_F(MathTest, AsinAndAcosAgreeWithCmathInside) {
  for (double x = -0.99; x <= 0.99; x += 0.03) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(Fn("Asin", x), std::asin(x), kFewUlpsRel);
    EXPECT_NEAR(Fn("Acos", x), std::acos(x), kFewUlpsRel);
    EXPECT_EQ(Fn("AsinD", x), Fn("Asin", x) * kDa);
    EXPECT_EQ(Fn("AcosD", x), Fn("Acos", x) * kDa);
  }
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, AsinAndAcosBandAtPlusMinusOne) {
  struct Row {
    double x;
    double asin;
    double acos;
  };
  const Row rows[] = {
      {1, kPi15 / 2, 0},           {-1, -kPi15 / 2, kPi15},
      {1 + 5e-9, kPi15 / 2, 0},    {1 - 5e-9, kPi15 / 2, 0},
      {-1 - 1e-8, -kPi15 / 2, kPi15}, {-1 + 9e-9, -kPi15 / 2, kPi15},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.x);
    EXPECT_EQ(Fn("Asin", row.x), row.asin);
    EXPECT_EQ(Fn("Acos", row.x), row.acos);
  }
  EXPECT_FALSE(lib.Error());
  EXPECT_EQ(Fn("AsinD", 1), 90);
  EXPECT_EQ(Fn("AcosD", -1), 180);
  EXPECT_NEAR(Fn("AsinD", 0.5) - 30, 3.6e-14, 0.2e-14);
  // Just inside the band's edge the general formula takes over, with full-precision atan.
  EXPECT_NEAR(Fn("Asin", 1 - 2e-8), std::asin(1 - 2e-8), 1e-12);
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, AsinBeyondTheBandFailsGuarded) {
  const double outside[] = {1.1, -1.1, 1 + 2e-8, 1e200};
  for (double x : outside) {
    SCOPED_TRACE(x);
    eval::RecordingUi localUi;
    eval::ClsMath local;
    const eval::ClsMath::UiBinding libraryUi(local, localUi);
    const Value args[] = {D(x)};
    EXPECT_EQ(local.Invoke(FindMember(local, "Asin"), args), D(0));
    EXPECT_TRUE(local.Error());
    EXPECT_EQ(local.Invoke(FindMember(local, "AcosD"), args), D(0));
  }
}

TEST_F(MathTest, SecantCosecantCotangentFollowTheirFormulas) {
  struct Row {
    std::string_view name;
    double x;
    double approx;  // the value the formula gives, to three digits
  };
  const Row rows[] = {
      {"Asec", 2, 2.43},  {"Asec", -2, -2.43}, {"Acsc", 2, 0.857},
      {"Acsc", -2, -4.00}, {"Acot", 1, 2.36},  {"Acot", -1, 0.785},
  };
  constexpr double kThreeDigits = 0.005;
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.x));
    EXPECT_NEAR(Fn(row.name, row.x), row.approx, kThreeDigits);
  }
  const double halfPi = std::numbers::pi / 2;
  for (double x = -20; x <= 20; x += 0.7) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(Fn("Acot", x), std::atan(x) + halfPi, kFewUlpsRel * 4);
    EXPECT_NEAR(Fn("AcotD", x), (std::atan(x) + halfPi) * kDa, 1e-12);
    EXPECT_EQ(Fn("Atan", x), std::atan(x));
    EXPECT_EQ(Fn("AtanD", x), std::atan(x) * kDa);
    if (std::fabs(x) <= 1) continue;
    const double base = std::atan(x / std::sqrt(x * x - 1));
    EXPECT_NEAR(Fn("Asec", x), base + Sgn(x - 1) * halfPi, kFewUlpsRel * 4);
    EXPECT_NEAR(Fn("Acsc", x), base + (Sgn(x) - 1) * halfPi, kFewUlpsRel * 4);
    EXPECT_EQ(Fn("AsecD", x), Fn("Asec", x) * kDa);
    EXPECT_EQ(Fn("AcscD", x), Fn("Acsc", x) * kDa);
  }
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, SecantAndCosecantInsideTheUnitFailGuarded) {
  const double inside[] = {1, -1, 0.5, 0, -0.3};
  for (double x : inside) {
    SCOPED_TRACE(x);
    eval::RecordingUi localUi;
    eval::ClsMath local;
    const eval::ClsMath::UiBinding libraryUi(local, localUi);
    const Value args[] = {D(x)};
    EXPECT_EQ(local.Invoke(FindMember(local, "Asec"), args), D(0));
    EXPECT_TRUE(local.Error());
    local.SetError(false);
    EXPECT_EQ(local.Invoke(FindMember(local, "AcscD"), args), D(0));
    EXPECT_TRUE(local.Error());
  }
}

// ---- hyperbolic -----------------------------------------------------------------

TEST_F(MathTest, HyperbolicFunctionsAgreeWithCmath) {
  // Near zero the exp-difference forms lose relative accuracy by cancellation.
  constexpr double kCancellationAbs = 1e-15;
  for (double x = -20; x <= 20; x += 0.45) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(Fn("sinH", x), std::sinh(x), kFewUlpsRel * std::cosh(x));
    EXPECT_NEAR(Fn("cosH", x), std::cosh(x), kFewUlpsRel * std::cosh(x));
    EXPECT_NEAR(Fn("tanH", x), std::tanh(x), kFewUlpsRel + kCancellationAbs);
    EXPECT_NEAR(Fn("secH", x), 1 / std::cosh(x), kFewUlpsRel);
    EXPECT_NEAR(Fn("AsinH", x), std::asinh(x), kFewUlpsRel * 10 + kCancellationAbs);
    if (std::fabs(x) > 0.1) {
      EXPECT_NEAR(Fn("cscH", x), 1 / std::sinh(x), 1e-13 / std::fabs(std::sinh(x)));
      EXPECT_NEAR(Fn("cotH", x), 1 / std::tanh(x), 1e-13);
    }
  }
  for (double x = 1; x <= 50; x += 1.3) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(Fn("ACosH", x), std::acosh(x), 1e-12);
    EXPECT_NEAR(Fn("AcotH", x + 0.05), std::atanh(1 / (x + 0.05)), 1e-12);
    EXPECT_NEAR(Fn("AcscH", x), std::asinh(1 / x), 1e-14);
    EXPECT_NEAR(Fn("AcscH", -x), -std::asinh(1 / x), 1e-14);
  }
  for (double x = -0.95; x <= 0.95; x += 0.05) {
    SCOPED_TRACE(x);
    EXPECT_NEAR(Fn("AtanH", x), std::atanh(x), 1e-14);
    if (x > 0) {
      EXPECT_NEAR(Fn("AsecH", x), std::acosh(1 / x), 1e-13);
    }
  }
  EXPECT_FALSE(lib.Error());
}

TEST_F(MathTest, HyperbolicEdgeValues) {
  EXPECT_NEAR(Fn("AtanH", 0.5), 0.549, 0.001);
  EXPECT_NEAR(Fn("AcotH", 2), 0.549, 0.001);
  EXPECT_NEAR(Fn("AcscH", -1), -0.881, 0.001);
  EXPECT_NEAR(Fn("AsecH", 0.5), 1.32, 0.01);
  EXPECT_EQ(Fn("AsecH", 1), 0);
  EXPECT_FALSE(lib.Error());
}

struct GuardedRow {
  std::string_view name;
  double x;
  double result;  // what the result held when the failure came
};

// Each row on a fresh instance: the call fails inside, returns normally, sets Error.
const GuardedRow kGuardedFailures[] = {
    {"tanH", 1000, 0},   {"tanH", -1000, 0}, {"sinH", 710, 0},    {"cosH", -710, 0},
    {"secH", 800, 0},    {"cscH", 710, 0},   {"cotH", -710, 0},   {"AsinH", -1e9, 0},
    {"AsinH", 1e200, 0}, {"ACosH", 0.5, 0},  {"ACosH", -2, 0},    {"AtanH", 1, 0},
    {"AtanH", -1, 0},    {"AtanH", 2, 0},    {"AcotH", 1, 0},     {"AcotH", -1, 0},
    {"AcotH", 0.5, 0},   {"AsecH", 0, 0},    {"AsecH", -0.5, 0},  {"AsecH", 1.5, 0},
    {"AcscH", 0, 0},     {"Acos", 2, 0},     {"Asec", 0.5, 0},    {"Acsc", -0.5, 0},
    {"Csc", 0, kInf},    {"cscH", 0, kInf},  {"cotH", 0, kInf},   {"Cot", 0, kInf},
};

TEST(ClsMathGuarded, FailuresSetErrorAndKeepTheResultSoFar) {
  for (const auto& row : kGuardedFailures) {
    SCOPED_TRACE(std::string(row.name) + "(" + std::to_string(row.x) + ")");
    eval::RecordingUi ui;
    eval::ClsMath lib;
    const eval::ClsMath::UiBinding libraryUi(lib, ui);
    const Value args[] = {D(row.x)};
    Value got;
    ASSERT_NO_THROW(got = lib.Invoke(FindMember(lib, row.name), args));
    EXPECT_EQ(got, D(row.result));
    EXPECT_TRUE(lib.Error());
    EXPECT_TRUE(ui.messages.empty());
  }
}

TEST_F(MathTest, LargeButFiniteHyperbolicsDoNotFail) {
  EXPECT_NEAR(Fn("tanH", 700), 1.0, 1e-15);
  EXPECT_NEAR(Fn("tanH", -700), -1.0, 1e-15);
  EXPECT_EQ(Fn("secH", -700), 2 / (std::exp(700) + std::exp(-700)));
  EXPECT_NEAR(Fn("sinH", 709) / std::sinh(709), 1.0, kFewUlpsRel);
  EXPECT_FALSE(lib.Error());
}

}  // namespace
}  // namespace mathtest
