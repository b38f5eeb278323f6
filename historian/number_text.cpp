#include "historian/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace tavrolin {
namespace {

constexpr int kSignificantDigits = 7;

// Enough digits to write any float's exact decimal value: a float has at
// most 112 significant decimal digits.
constexpr int kExactDigits = 120;

}  // namespace

std::string NumberText(float value) {
  if (std::isnan(value)) return " NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : " Infinity";
  if (value == 0) return " 0";

  std::string text = value < 0 ? "-" : " ";
  const double magnitude = std::fabs(static_cast<double>(value));

  // The exact decimal value, as "d.ddd...e+XX".
  char exact[kExactDigits + 16];
  const auto written =
      std::to_chars(exact, exact + sizeof exact, magnitude,
                    std::chars_format::scientific, kExactDigits);
  const std::string_view scientific(exact, written.ptr - exact);
  const auto e = scientific.find('e');
  int exponent = 0;
  std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1),
                  scientific.data() + scientific.size(), exponent);
  std::string digits;
  digits.reserve(kExactDigits + 1);
  for (char c : scientific.substr(0, e)) {
    if (c != '.') digits.push_back(c);
  }

  // Round to seven significant digits, halves away from zero. A carry out of
  // the first digit makes the digits 1000000 of the next power of ten.
  std::string kept = digits.substr(0, kSignificantDigits);
  if (digits[kSignificantDigits] >= '5') {
    int i = kSignificantDigits - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept = "1" + kept.substr(0, kSignificantDigits - 1);
      ++exponent;
    }
  }
  while (kept.size() > 1 && kept.back() == '0') kept.pop_back();
  const int count = static_cast<int>(kept.size());

  if (exponent >= -4 && exponent <= 6) {
    if (exponent >= 0) {
      const int integer_digits = exponent + 1;
      if (count <= integer_digits) {
        text += kept;
        text.append(integer_digits - count, '0');
      } else {
        text += kept.substr(0, integer_digits);
        text += '.';
        text += kept.substr(integer_digits);
      }
    } else {
      text += '.';
      text.append(-exponent - 1, '0');
      text += kept;
    }
    return text;
  }

  text += kept[0];
  if (count > 1) {
    text += '.';
    text += kept.substr(1);
  }
  text += 'E';
  text += exponent < 0 ? '-' : '+';
  const int exponent_magnitude = std::abs(exponent);
  if (exponent_magnitude < 10) text += '0';
  text += std::to_string(exponent_magnitude);
  return text;
}

}  // namespace tavrolin
