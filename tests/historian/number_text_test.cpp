#include "historian/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale>
#include <string>

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
        Case{12345675.0f, " 1.234568E+07"}, Case{12345665.0f, " 1.234567E+07"},
        // Halves where rounding to even would go the other way.
        Case{123456.25f, " 123456.3"}, Case{1234566.5f, " 1234567"},
        Case{-123456.25f, "-123456.3"}));

// The seven significant digits of `magnitude`, rounded on its exact decimal
// value, halves away from zero, as "d.ddddddE<exponent>": the rule worked out
// the long way, from all the digits of the exact value.
std::string ExactlyRounded(double magnitude) {
  char exact[200];
  const auto written = std::to_chars(exact, exact + sizeof exact, magnitude,
                                     std::chars_format::scientific, 120);
  const std::string scientific(exact, written.ptr);
  const auto e = scientific.find('e');
  int exponent = std::stoi(scientific.substr(e + 1));
  std::string digits = scientific.substr(0, 1) + scientific.substr(2, 6);
  if (scientific[8] >= '5') {
    int i = 6;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';
      ++exponent;
    }
  }
  return digits.substr(0, 1) + "." + digits.substr(1) + "E" +
         std::to_string(exponent);
}

double Parsed(const std::string& text) {
  double value = 0;
  const std::size_t start = text.find_first_not_of(' ');
  std::from_chars(text.data() + start, text.data() + text.size(), value);
  return value;
}

// Every 4,099th float, over all exponents, and the halves of consecutive
// integers that make ties in the eighth digit: the text has the value of
// the exactly rounded digits. (Two texts of at most seven significant
// digits read as the same double only when they stand for the same number.)
TEST(NumberTextRoundingTest, AgreesWithTheExactDecimalValue) {
  const auto check = [](float value) {
    const double exact = Parsed(ExactlyRounded(std::fabs(value)));
    ASSERT_EQ(Parsed(NumberText(value)), value < 0 ? -exact : exact)
        << "value " << value << ", text " << NumberText(value);
  };
  for (uint64_t bits = 1; bits < 0x7F800000; bits += 4099) {
    float value = 0;
    const auto pattern = static_cast<uint32_t>(bits);
    std::memcpy(&value, &pattern, sizeof value);
    check(value);
    check(-value);
  }
  for (int n = 1000000; n < 8388608; n += 997) {
    check(static_cast<float>(n) + 0.5f);
    check(static_cast<float>(n) / 4 + 0.25f);
  }
}

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
