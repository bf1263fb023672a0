#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/numbers.h"

using namespace zarn;
using P = NumberPattern;

TEST(FormatNumber, RoundsTheExactBinaryValueWithTiesAwayFromZero) {
  EXPECT_EQ(FormatNumber(12.25, P::Tenths), u"12,3");   // exact tie
  EXPECT_EQ(FormatNumber(0.15, P::Tenths), u"0,1");     // just below 0.15 in binary
  EXPECT_EQ(FormatNumber(0.25, P::Tenths), u"0,3");
  EXPECT_EQ(FormatNumber(-12.25, P::Tenths), u"-12,3");
  EXPECT_EQ(FormatNumber(0.5, P::Integer), u"1");
  EXPECT_EQ(FormatNumber(2.5, P::Integer), u"3");
  EXPECT_EQ(FormatNumber(-2.5, P::Integer), u"-3");
  EXPECT_EQ(FormatNumber(0.125, P::Hundredths), u"0,13");
  EXPECT_EQ(FormatNumber(1.005, P::Hundredths), u"1,00");
  EXPECT_EQ(FormatNumber(0.0625, P::Thousandths), u"0,063");
  EXPECT_EQ(FormatNumber(25.0 * 10.187864216145726, P::Integer), u"255");
}

TEST(FormatNumber, Patterns) {
  EXPECT_EQ(FormatNumber(7, P::TwoDigits), u"07");
  EXPECT_EQ(FormatNumber(0, P::TwoDigits), u"00");
  EXPECT_EQ(FormatNumber(123, P::TwoDigits), u"123");
  EXPECT_EQ(FormatNumber(12.0, P::OptionalTenths), u"12");
  EXPECT_EQ(FormatNumber(120 * 0.1, P::OptionalTenths), u"12");
  EXPECT_EQ(FormatNumber(123 * 0.1, P::OptionalTenths), u"12,3");
  EXPECT_EQ(FormatNumber(12.04, P::OptionalTenths), u"12");
  EXPECT_EQ(FormatNumber(0.96, P::OptionalTenths), u"1");
  EXPECT_EQ(FormatNumber(12, P::Tenths), u"12,0");
  EXPECT_EQ(FormatNumber(3.14159, P::Thousandths), u"3,142");
  EXPECT_EQ(FormatNumber(0, P::Hundredths), u"0,00");
  EXPECT_EQ(FormatNumber(-0.0, P::Hundredths), u"0,00");
  EXPECT_EQ(FormatNumber(1234567.891, P::Tenths), u"1234567,9");
}

TEST(FormatNumber, Scientific) {
  EXPECT_EQ(FormatNumber(0.00123, P::Scientific), u"1,230E-03");
  EXPECT_EQ(FormatNumber(double(1.09f), P::Scientific), u"1,090E+00");
  EXPECT_EQ(FormatNumber(double(0.81f), P::Scientific), u"8,100E-01");
  EXPECT_EQ(FormatNumber(0, P::Scientific), u"0,000E+00");
  EXPECT_EQ(FormatNumber(1, P::Scientific), u"1,000E+00");
  EXPECT_EQ(FormatNumber(0.5, P::Scientific), u"5,000E-01");
  EXPECT_EQ(FormatNumber(-12.5, P::Scientific), u"-1,250E+01");
  EXPECT_EQ(FormatNumber(9.99951, P::Scientific), u"1,000E+01");
  EXPECT_EQ(FormatNumber(1.0625, P::Scientific), u"1,063E+00");  // tie at the 4th digit
  EXPECT_EQ(FormatNumber(12345, P::Scientific), u"1,235E+04");   // tie above the point
  EXPECT_EQ(FormatNumber(12355, P::Scientific), u"1,236E+04");
  EXPECT_EQ(FormatNumber(1e-100, P::Scientific), u"1,000E-100");
  EXPECT_EQ(FormatNumber(double(std::numeric_limits<float>::max()), P::Scientific),
            u"3,403E+38");
  EXPECT_EQ(FormatNumber(double(std::numeric_limits<float>::denorm_min()), P::Scientific),
            u"1,401E-45");
}

TEST(FormatNumber, NonFiniteAndHugeValues) {
  EXPECT_EQ(FormatNumber(std::nan(""), P::Tenths), u"NAN");
  EXPECT_EQ(FormatNumber(INFINITY, P::Integer), u"INF");
  EXPECT_EQ(FormatNumber(-INFINITY, P::Scientific), u"-INF");
  EXPECT_EQ(FormatNumber(1e20, P::Tenths), u"1E20");
  EXPECT_EQ(FormatNumber(-1.5e20, P::Integer), u"-1,5E20");
}

TEST(FormatNumber, AppendsToExistingText) {
  QString s = QStringLiteral("a2=");
  AppendNumber(s, 0.0, P::Scientific);
  EXPECT_EQ(s, u"a2=0,000E+00");
}

TEST(ParseNumber, AcceptsTheCommaForm) {
  EXPECT_EQ(ParseNumber(u"1,5"), 1.5);
  EXPECT_EQ(ParseNumber(u"  -2,5E+01 "), -25.0);
  EXPECT_EQ(ParseNumber(u"+3"), 3.0);
  EXPECT_EQ(ParseNumber(u"1,090E+00"), 1.09);
  EXPECT_EQ(ParseNumber(u",5"), 0.5);
  EXPECT_EQ(ParseNumber(u"5,"), 5.0);
  EXPECT_EQ(ParseNumber(u"1e3"), 1000.0);
  EXPECT_EQ(ParseNumber(u"8,100E-01"), 0.81);
}

TEST(ParseNumber, RejectsEverythingElse) {
  for (const char16_t* bad : {u"", u" ", u"1.5", u",", u"-", u"1e", u"1e+", u"1,5x", u"x1",
                              u"1 5", u"--1", u"1,5,5", u"1e999", u"E5"})
    EXPECT_FALSE(ParseNumber(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}

TEST(ParseNumber, RoundTripsFormattedCoefficients) {
  for (float v : {1.09f, 0.81f, 0.93f, -12.5f, 3.3e-7f, 6.02e23f}) {
    auto back = ParseNumber(FormatNumber(v, P::Scientific));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(FormatNumber(*back, P::Scientific), FormatNumber(v, P::Scientific));
  }
}
