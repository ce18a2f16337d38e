// Degree-minute-second texts: parsing in the three mark sets, formatting,
// round trips, and the trigonometric members built on them.
#include <cmath>
#include <numbers>

#include "ClsMathTestSupport.h"

namespace mathtest {
namespace {

constexpr double kPi15 = 3.14159265358979;
constexpr double kRa = kPi15 / 180;
constexpr double kDa = 180 / kPi15;
// An angle a few degrees wide, parsed through two divisions and one product.
constexpr double kAngleTol = 1e-15;

// The sum in the library's order: minutes first, then degrees, then seconds.
double Angle(double d, double m, double s) { return ((m / 60 + d) + s / 60 / 60) * kRa; }

using ClsMathDms = MathTest;

TEST_F(ClsMathDms, ParsesAllThreeMarkSets) {
  const double expected = Angle(30, 15, 20);
  EXPECT_NEAR(expected, (30 + 15.0 / 60 + 20.0 / 3600) * std::numbers::pi / 180, 1e-14);
  const std::string_view texts[] = {
      "30d15m20s", "30D15M20S", "30度15分20秒", "30°15'20''", " 30 d 15 m 20 s",
      "30d15m20",  // no seconds mark: the last piece is read as it is
      "30d15m20s°",  // both marks: the Latin ones win
      "30°15'20",
  };
  for (auto text : texts) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(AsDouble(Call("RadFromDms", {S(std::string(text))})), expected);
  }
}

TEST_F(ClsMathDms, ComponentsKeepTheirOwnSigns) {
  EXPECT_EQ(AsDouble(Call("RadFromDms", {S("-30d15m20s")})), Angle(-30, 15, 20));
  EXPECT_EQ(AsDouble(Call("RadFromDms", {S("1.5d-30m0s")})), Angle(1.5, -30, 0));
  EXPECT_EQ(AsDouble(Call("RadFromDms", {S("0d0m3600s")})), Angle(0, 0, 3600));
  EXPECT_EQ(AsDouble(Call("RadFromDms", {S("xd1m2s")})), Angle(0, 1, 2));
  EXPECT_EQ(AsDouble(Call("RadFromDms", {S("&H1Ed0m0s")})), Angle(30, 0, 0));
}

TEST_F(ClsMathDms, TextWithoutADegreeMarkIsZero) {
  const std::string_view texts[] = {"45", "", "30m20s", "1e5", "30分20秒"};
  for (auto text : texts) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(Call("RadFromDms", {S(std::string(text))}), D(0));
  }
}

TEST_F(ClsMathDms, MissingComponentsAreOutOfRange) {
  const std::string_view texts[] = {"30d15m", "30d", "d", "30度15分", "30°", "d30", "30d15"};
  for (auto text : texts) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(ErrorOf("RadFromDms", {S(std::string(text))}), ErrorNumber::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf("SinS", {S(std::string(text))}), ErrorNumber::SubscriptOutOfRange);
  }
  EXPECT_FALSE(lib.Error());
}

TEST_F(ClsMathDms, ComponentBeyondTheDoubleRangeIsAnOverflow) {
  EXPECT_EQ(ErrorOf("RadFromDms", {S("1e999d0m0s")}), ErrorNumber::Overflow);
}

struct FormatRow {
  std::string_view text;  // the angle, as read by RadFromDms
  Value itype;            // Empty: no format argument
  std::string_view expected;
};

TEST_F(ClsMathDms, DmsFromRadWritesEachFormat) {
  const FormatRow rows[] = {
      {"30d15m20s", Value::Integer(1), "30d15m20s"},
      {"30d15m20s", Value::Integer(2), "30度15分20秒"},
      {"30d15m20s", Value::Integer(3), "30°15'20''"},
      {"30d15m20s", Value(), ""},
      {"30d15m20s", Value::Integer(0), ""},
      {"30d15m20s", Value::Integer(4), ""},
      {"30d15m20s", D(1.4), "30d15m20s"},  // rounds to format 1
      {"-30d15m20s", Value::Integer(1), "-29d-44m-40s"},
      {"-30d15m20s", Value::Integer(3), "-29°-44'-40''"},
      {"12d34m56.5s", Value::Integer(1), "12d34m56.5s"},
      {"0d0m0s", Value::Integer(1), "0d0m0s"},
      {"359d59m59s", Value::Integer(2), "359度59分59秒"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " format " + eval::ToText(row.itype).value_or("?"));
    const double rad = AsDouble(Call("RadFromDms", {S(std::string(row.text))}));
    std::vector<Value> args{D(rad)};
    if (!row.itype.IsEmpty()) args.push_back(row.itype);
    EXPECT_EQ(Call("DmsFromRad", args), S(std::string(row.expected)));
  }
}

TEST_F(ClsMathDms, RoundTripsInAllThreeMarkSets) {
  const std::int16_t formats[] = {1, 2, 3};
  for (double deg = -170.25; deg < 180; deg += 13.3751) {
    for (auto format : formats) {
      SCOPED_TRACE(std::to_string(deg) + " format " + std::to_string(format));
      const Value text = Call("DmsFromRad", {D(deg * kRa), Value::Integer(format)});
      const double back = AsDouble(Call("RadFromDms", {text}));
      // Seconds carry 7 significant digits: 1E-5 s at most, in radians.
      constexpr double kSevenDigitSeconds = 1e-5 / 3600 * kRa;
      EXPECT_NEAR(back, deg * kRa, kSevenDigitSeconds) << text.AsString();
    }
  }
}

TEST_F(ClsMathDms, SecondsUseSinglePrecisionText) {
  EXPECT_EQ(Call("DmsFromRad", {D(1), D(1)}), S("57d17m44.80625s"));
  const std::string atn = Call("AtnToDms", {D(1)}).AsString();
  ASSERT_EQ(atn.rfind("45d0m", 0), 0u) << atn;
  ASSERT_NE(atn.find("E-10s"), std::string::npos) << atn;
  const double seconds = std::stod(atn.substr(5, atn.size() - 6));
  // atan(1) is full precision while Da carries the short PI.
  const float independent = static_cast<float>((std::atan(1.0) * kDa - 45) * 60 * 60);
  EXPECT_NEAR(seconds, independent, 1e-16);
  EXPECT_NEAR(seconds, 1.5e-10, 0.2e-10);
}

TEST_F(ClsMathDms, SecondsThatRoundToSixtyCarry) {
  // 10d59m59.9999995s: the seconds round to 60 in single precision.
  const double deg = 10 + 59.0 / 60 + 59.9999995 / 3600;
  EXPECT_EQ(Call("DmsFromRad", {D(deg / kDa), D(1)}), S("11d0m0s"));
  // No carry for negative angles.
  EXPECT_EQ(Call("DmsFromRad", {D(-deg / kDa), D(1)}), S("-10d-59m-60s"));
}

TEST_F(ClsMathDms, WholeDegreesMustFitSixteenBits) {
  EXPECT_EQ(ErrorOf("DmsFromRad", {D(600), D(1)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("DmsFromRad", {D(600)}), ErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf("DmsFromRad", {D(-600), D(2)}), ErrorNumber::Overflow);
  EXPECT_EQ(Call("DmsFromRad", {D(32767.5 / kDa), D(1)}), S("32767d30m0s"));
  EXPECT_EQ(Call("DmsFromRad", {D(-32768.25 / kDa), D(1)}), S("-32768d-15m0s"));
  EXPECT_FALSE(lib.Error());
}

TEST_F(ClsMathDms, TrigonometryOfAngleTexts) {
  const std::string_view texts[] = {"30d0m0s", "45°0'0''", "12度34分56秒", "-75d30m0s", "0d0m1s"};
  for (auto text : texts) {
    SCOPED_TRACE(std::string(text));
    const double rad = AsDouble(Call("RadFromDms", {S(std::string(text))}));
    EXPECT_EQ(AsDouble(Call("SinS", {S(std::string(text))})), std::sin(rad));
    EXPECT_EQ(AsDouble(Call("CosS", {S(std::string(text))})), std::cos(rad));
    EXPECT_EQ(AsDouble(Call("TanS", {S(std::string(text))})), std::tan(rad));
    EXPECT_EQ(AsDouble(Call("CtnS", {S(std::string(text))})), 1 / std::tan(rad + 1e-14));
  }
  EXPECT_NEAR(AsDouble(Call("SinS", {S("30d0m0s")})), 0.5, 1e-15);
  // The shift keeps a zero angle finite.
  EXPECT_NEAR(AsDouble(Call("CtnS", {S("0d0m0s")})), 1e14, 1e14 * 1e-10);
  EXPECT_EQ(Call("SinS", {S("45")}), D(0));  // no mark: angle 0
  EXPECT_FALSE(lib.Error());
}

TEST_F(ClsMathDms, InverseFunctionsAnswerInLatinMarks) {
  for (double x = -0.95; x <= 0.95; x += 0.1) {
    SCOPED_TRACE(x);
    const Value asin = Call("AsinToDms", {D(x)});
    const Value acos = Call("AcosToDms", {D(x)});
    const Value atn = Call("AtnToDms", {D(x * 5)});
    ASSERT_TRUE(asin.IsString());
    constexpr double kSevenDigitSeconds = 1e-5 / 3600 * kRa;
    EXPECT_NEAR(AsDouble(Call("RadFromDms", {asin})), std::asin(x) * kDa * kRa,
                kSevenDigitSeconds);
    EXPECT_NEAR(AsDouble(Call("RadFromDms", {acos})), std::acos(x) * kDa * kRa,
                kSevenDigitSeconds);
    EXPECT_NEAR(AsDouble(Call("RadFromDms", {atn})), std::atan(x * 5) * kDa * kRa,
                kSevenDigitSeconds);
    EXPECT_NE(asin.AsString().find('d'), std::string::npos);
  }
}

TEST_F(ClsMathDms, InverseFunctionsFailOutsideTheOpenUnitInterval) {
  EXPECT_EQ(ErrorOf("AsinToDms", {D(1)}), ErrorNumber::DivisionByZero);
  EXPECT_EQ(ErrorOf("AsinToDms", {D(-1)}), ErrorNumber::DivisionByZero);
  EXPECT_EQ(ErrorOf("AcosToDms", {D(1)}), ErrorNumber::DivisionByZero);
  EXPECT_EQ(ErrorOf("AsinToDms", {D(1.5)}), ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(ErrorOf("AcosToDms", {D(-2)}), ErrorNumber::InvalidProcedureCall);
  EXPECT_EQ(ErrorOf("AcosToDms", {D(1e200)}), ErrorNumber::Overflow);
  EXPECT_EQ(Call("AtnToDms", {D(1e300)}).AsString().rfind("90d0m", 0), 0u);
  EXPECT_FALSE(lib.Error());
}

}  // namespace
}  // namespace mathtest
