#include "historian/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>

namespace tavrolin {
namespace {

struct Case {
  float value;
  const char* text;
};

class NumberTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(NumberTextTest, WritesTheRuleText) {
  EXPECT_EQ(NumberText(GetParam().value), GetParam().text)
      << "value " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, NumberTextTest,
    ::testing::Values(
        Case{42.0f, " 42"}, Case{-3.25f, "-3.25"}, Case{0.5f, " .5"},
        Case{-0.0625f, "-.0625"}, Case{1234567.8f, " 1234568"},
        Case{12345678.0f, " 1.234568E+07"}, Case{0.00001234f, " 1.234E-05"},
        Case{-250000000.0f, "-2.5E+08"}, Case{1234567.0f, " 1234567"},
        Case{10000000.0f, " 1E+07"}, Case{-10000000.0f, "-1E+07"},
        Case{0.0f, " 0"}, Case{-0.0f, " 0"}, Case{1.0f, " 1"},
        Case{-1.0f, "-1"}, Case{1.5f, " 1.5"}, Case{100.0f, " 100"},
        Case{9999999.0f, " 9999999"}, Case{0.0001f, " .0001"},
        Case{-0.0001f, "-.0001"}, Case{0.1f, " .1"},
        Case{0.3333333f, " .3333333"}, Case{123.456f, " 123.456"},
        Case{1e20f, " 1E+20"}, Case{3.4028235e38f, " 3.402823E+38"},
        Case{1.17549435e-38f, " 1.175494E-38"},
        // The smallest denormal, 2^-149.
        Case{1.4e-45f, " 1.401298E-45"}));

INSTANTIATE_TEST_SUITE_P(
    RoundingCarries, NumberTextTest,
    ::testing::Values(
        // 9999999.5 is no float; the nearest is 10000000.
        Case{9999999.5f, " 1E+07"},
        // 9.99999974737875E-05 rounds up into the positional range.
        Case{9.9999997e-05f, " .0001"},
        // 9.99999902e-05 stays below it.
        Case{0.00009999999f, " 9.999999E-05"},
        // 0.0099999997764826 carries into one digit less after the stop.
        Case{0.0099999998f, " .01"}, Case{-0.0099999998f, "-.01"},
        // The float below 1 has seven nines and then a 4: no carry.
        Case{0.99999994f, " .9999999"}, Case{999999.94f, " 999999.9"},
        // 12345675 is exactly half way: halves go away from zero.
        Case{12345675.0f, " 1.234568E+07"},
        Case{12345665.0f, " 1.234567E+07"}));

TEST(NumberTextSpecialTest, NotANumberAndInfinitiesHaveFixedTexts) {
  EXPECT_EQ(NumberText(std::numeric_limits<float>::quiet_NaN()), " NaN");
  EXPECT_EQ(NumberText(-std::numeric_limits<float>::quiet_NaN()), " NaN");
  EXPECT_EQ(NumberText(std::numeric_limits<float>::infinity()), " Infinity");
  EXPECT_EQ(NumberText(-std::numeric_limits<float>::infinity()), "-Infinity");
}

TEST(NumberTextSpecialTest, IgnoresTheGlobalLocale) {
  // A locale with a decimal comma, when the system has one.
  std::locale previous;
  try {
    previous = std::locale::global(std::locale("de_DE.UTF-8"));
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  }
  EXPECT_EQ(NumberText(-3.25f), "-3.25");
  EXPECT_EQ(NumberText(12345678.0f), " 1.234568E+07");
  std::locale::global(previous);
}

}  // namespace
}  // namespace tavrolin
