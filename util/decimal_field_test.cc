#include "util/decimal_field.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace wenlei {
namespace {

TEST(DecimalFieldTest, ReadsTheLongestDecimalPrefix) {
  EXPECT_EQ(ParseDecimalPrefix("0.912"), 0.912);
  EXPECT_EQ(ParseDecimalPrefix("  \t-1.5e-3xyz"), -1.5e-3);
  EXPECT_EQ(ParseDecimalPrefix("+7."), 7.0);
  EXPECT_EQ(ParseDecimalPrefix(".25"), 0.25);
  EXPECT_EQ(ParseDecimalPrefix("1e"), 1.0);
  EXPECT_EQ(ParseDecimalPrefix("2E+2"), 200.0);
  EXPECT_EQ(ParseDecimalPrefix("3e+"), 3.0);
  EXPECT_EQ(ParseDecimalPrefix("4.5.6"), 4.5);
  EXPECT_EQ(ParseDecimalPrefix("0,5"), 0.0);
  EXPECT_EQ(ParseDecimalPrefix("1.23456e-05"), 1.23456e-05);
}

TEST(DecimalFieldTest, NonDecimalFormsGiveZeroOrTheirDecimalPrefix) {
  for (const char* field : {"", " ", "nan", "NAN", "inf", "-infinity", "x1", ".", "-", "+.", "e5"}) {
    EXPECT_EQ(ParseDecimalPrefix(field), 0.0) << field;
  }
  EXPECT_EQ(ParseDecimalPrefix("0x1p3"), 0.0);
  EXPECT_EQ(ParseDecimalPrefix("12abc"), 12.0);
}

TEST(DecimalFieldTest, OutOfRangeMatchesStrtod) {
  EXPECT_EQ(ParseDecimalPrefix("1e999"), HUGE_VAL);
  EXPECT_EQ(ParseDecimalPrefix("-1e999"), -HUGE_VAL);
  EXPECT_EQ(ParseDecimalPrefix(std::string(400, '9')), HUGE_VAL);
  EXPECT_EQ(ParseDecimalPrefix("1e-999"), 0.0);
  EXPECT_EQ(ParseDecimalPrefix("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(DecimalFieldTest, IgnoresADecimalCommaLocale) {
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8";
  EXPECT_EQ(ParseDecimalPrefix("0.75"), 0.75);
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
}  // namespace wenlei
