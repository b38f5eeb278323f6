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
constexpr int kExactDigits = 121;

// Digits written in the quick first try: the seven kept, the one that
// decides the rounding, and nine more that tell a true half from a value
// near it.
constexpr int kQuickDigits = 17;

// The first eight significant digits of `magnitude`, written with `digits`
// significant digits in all, into `kept`, and its decimal exponent. Returns
// true when the written digits after the seventh say which way the exact
// value rounds: they are not a five followed only by zeros.
bool LeadingDigits(double magnitude, int digits, char (&kept)[8],
                   int& exponent) {
  // "d.ddd...e+XX"
  char text[kExactDigits + 16];
  const auto written = std::to_chars(text, text + sizeof text, magnitude,
                                     std::chars_format::scientific, digits - 1);
  const std::string_view scientific(text, written.ptr - text);
  const auto e = scientific.find('e');
  std::from_chars(scientific.data() + e + (scientific[e + 1] == '+' ? 2 : 1),
                  scientific.data() + scientific.size(), exponent);
  kept[0] = scientific[0];
  for (int i = 1; i < 8; ++i) kept[i] = scientific[i + 1];
  const std::string_view rest =
      scientific.substr(kSignificantDigits + 1, e - (kSignificantDigits + 1));
  return rest[0] != '5' ||
         rest.find_first_not_of('0', 1) != std::string_view::npos;
}

}  // namespace

std::string NumberText(float value) {
  if (std::isnan(value)) return " NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : " Infinity";
  if (value == 0) return " 0";

  const double magnitude = std::fabs(static_cast<double>(value));

  // The first eight significant digits of the exact decimal value:
  // "d.ddddddd" without the point. Written to seventeen digits they round
  // as the exact value does unless the eighth to seventeenth are
  // 5000000000: the written digits are within half a unit of the
  // seventeenth of the exact value, so a tail above or below one half stays
  // on its side, and a tail so near one that it carries into the seventh
  // digit gives the same result as rounding up. Only that one pattern needs
  // all the digits of the exact value.
  char kept[kSignificantDigits + 1];
  int exponent = 0;
  if (!LeadingDigits(magnitude, kQuickDigits, kept, exponent)) {
    LeadingDigits(magnitude, kExactDigits, kept, exponent);
  }
  const char next = kept[kSignificantDigits];

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
