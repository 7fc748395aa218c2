#include "util/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>
#include <cstdio>
#include <string>

namespace wenlei {
namespace {

std::string General(double value) {
  std::string text;
  AppendGeneral(value, &text);
  return text;
}

TEST(NumberTextTest, WritesLikePrintfGeneralInTheCLocale) {
  EXPECT_EQ(General(0.5), "0.5");
  EXPECT_EQ(General(1.0), "1");
  EXPECT_EQ(General(0.123456789), "0.123457");
  EXPECT_EQ(General(0.00012345), "0.00012345");
  EXPECT_EQ(General(0.0000123), "1.23e-05");
  EXPECT_EQ(General(1.234567891), "1.23457");
  EXPECT_EQ(General(1234567.0), "1.23457e+06");
  EXPECT_EQ(General(0.00001), "1e-05");
  EXPECT_EQ(General(-0.25), "-0.25");
  EXPECT_EQ(General(999999.5), "1e+06");
  for (double value : {3.14159e-300, 2.5e17, -7.0, 0.0001, 123456.0}) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%g", value);
    EXPECT_EQ(General(value), expected);
  }
}

// printf's text in the C locale, whatever locale the process is in.
TEST(NumberTextTest, GeneralAndFixedTextKeepTheDecimalPointInAnyLocale) {
  const struct {
    double value;
    int digits;
    const char* general;
    const char* fixed;  // two decimals
  } cases[] = {
      {0.0625, 6, "0.0625", "0.06"}, {1.5, 17, "1.5", "1.50"}, {0.1, 17, "0.10000000000000001", "0.10"},
      {-2.0 / 3.0, 4, "-0.6667", "-0.67"}, {12345678.0, 8, "12345678", "12345678.00"},
  };
  const std::string before = std::setlocale(LC_ALL, nullptr);
  const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  for (const auto& c : cases) {
    EXPECT_EQ(GeneralText(c.value, c.digits), c.general);
    EXPECT_EQ(FixedText(c.value, 2), c.fixed);
  }
  std::setlocale(LC_ALL, before.c_str());
  if (!comma) GTEST_SKIP() << "no de_DE.UTF-8 locale: checked in the C locale only";
}

// Six significant digits, not six decimals: small weights keep their digits.
TEST(NumberTextTest, RoundsToSixSignificantDigits) {
  const struct {
    double value, rounded;
  } cases[] = {
      {0.951459136, 0.951459}, {0.0123456789, 0.0123457}, {0.000987654321, 0.000987654},
      {1.23456789e-5, 1.23457e-5}, {123456.789, 123457.0}, {0.5, 0.5}, {-0.0333333333, -0.0333333},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundToSixSignificantDigits(c.value), c.rounded) << c.value;
}

// The rounding of a feature's weight is done by arithmetic; it must give
// the very double that printing six digits and reading them back gives:
// for values of every scale, next to powers of ten and next to the halves
// between two six-digit decimals, where a rounding is decided in the last
// bit.
TEST(NumberTextTest, SixDigitRoundingEqualsPrintingAndReadingBack) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::vector<double> values;
  for (int exponent = -40; exponent <= 40; ++exponent) {
    const double power = std::pow(10.0, exponent);
    values.push_back(power);
    for (int i = 0; i < 2000; ++i) values.push_back(mantissa(random) * power);
    for (int i = 0; i < 200; ++i) {
      // q + 0.5 in units of the sixth digit: a tie up to the double's bits.
      const double q = static_cast<double>(100000 + random() % 900000);
      values.push_back((q + 0.5) * std::pow(10.0, exponent - 5));
    }
  }
  std::vector<double> all;
  for (double value : values) {
    for (double v : {value, std::nextafter(value, 0.0), std::nextafter(value, 1e300)}) {
      all.push_back(v);
      all.push_back(-v);
    }
  }
  all.insert(all.end(), {0.0, -0.0, 5e-324, 1e308, 9.9999949999999e-3, 0.99999949999999999,
                         999999.5, 999999.49999999994, 100000.5});
  for (double value : all) {
    const double expected = RoundToSignificantDigits(value, 6);
    const double rounded = RoundToSixSignificantDigits(value);
    EXPECT_EQ(std::memcmp(&rounded, &expected, sizeof rounded), 0)
        << std::hexfloat << value << " gave " << rounded << ", not " << expected;
  }
}

}  // namespace
}  // namespace wenlei
