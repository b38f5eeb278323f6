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

  // The first eight significant digits: "d.ddddddd" without the point.
  char kept[kSignificantDigits];
  kept[0] = scientific[0];
  for (int i = 1; i < kSignificantDigits; ++i) kept[i] = scientific[i + 1];
  const char next = scientific[kSignificantDigits + 1];

  // Round to seven significant digits, halves away from zero. A carry out of
  // the first digit makes the digits 1000000 of the next power of ten.
  if (next >= '5') {
    int i = kSignificantDigits - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept[0] = '1';
      ++exponent;
    }
  }
  int count = kSignificantDigits;
  while (count > 1 && kept[count - 1] == '0') --count;
  const std::string_view digits(kept, static_cast<std::size_t>(count));

  // At most sign, point, 10 positional digits or 7 digits and "E+38".
  char text[24];
  char* out = text;
  *out++ = value < 0 ? '-' : ' ';
  const auto put = [&out](std::string_view part) {
    for (const char c : part) *out++ = c;
  };
  if (exponent >= -4 && exponent <= 6) {
    if (exponent >= 0) {
      const int integer_digits = exponent + 1;
      if (count <= integer_digits) {
        put(digits);
        for (int i = count; i < integer_digits; ++i) *out++ = '0';
      } else {
        put(digits.substr(0, integer_digits));
        *out++ = '.';
        put(digits.substr(integer_digits));
      }
    } else {
      *out++ = '.';
      for (int i = 0; i < -exponent - 1; ++i) *out++ = '0';
      put(digits);
    }
    return std::string(text, out);
  }

  *out++ = digits[0];
  if (count > 1) {
    *out++ = '.';
    put(digits.substr(1));
  }
  *out++ = 'E';
  *out++ = exponent < 0 ? '-' : '+';
  const int exponent_magnitude = std::abs(exponent);
  if (exponent_magnitude < 10) *out++ = '0';
  out = std::to_chars(out, text + sizeof text, exponent_magnitude).ptr;
  return std::string(text, out);
}

}  // namespace tavrolin
