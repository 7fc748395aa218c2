#include "util/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
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

}  // namespace
}  // namespace wenlei
