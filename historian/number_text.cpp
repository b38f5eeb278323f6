#include "historian/number_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
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

#if defined(__SIZEOF_INT128__)
// (__extension__: the 128-bit integer is a compiler extension.)
__extension__ typedef unsigned __int128 Wide;

// Powers of ten up to 10^31, all below 2^104.
constexpr int kLargestPower = 31;
constexpr std::array<Wide, kLargestPower + 1> kPowersOfTen = [] {
  std::array<Wide, kLargestPower + 1> powers{};
  Wide power = 1;
  for (Wide& p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}();

// The first eight significant digits of `magnitude` (positive and finite)
// into `kept`, cut off rather than rounded, and its decimal exponent, worked
// out exactly in integers. The magnitude is m * 2^e with a 24-bit m;
// magnitude * 10^(7 - exponent) is cut to an integer of eight digits. Every
// intermediate stays below 2^128 from 1E-20 up; returns false below that.
bool ExactLeadingDigits(float magnitude, char (&kept)[8], int& exponent) {
  const auto bits = std::bit_cast<uint32_t>(magnitude);
  const int biased = static_cast<int>(bits >> 23);
  if (biased == 0) return false;  // below 1.2E-38
  const Wide m = (bits & 0x7FFFFF) | 0x800000;
  const int e = biased - 150;
  // magnitude lies in [2^(e + 23), 2^(e + 24)): the decimal exponent is about
  // that of 2^(e + 23) (78913 / 2^18 is log10(2) cut short), and the count
  // of digits made with it says which way it is off.
  exponent = ((e + 23) * 78913) >> 18;
  for (;;) {
    const int scale = 7 - exponent;
    if (scale > 27) return false;
    Wide digits = 0;
    if (scale >= 0) {
      // e >= 0 only when magnitude >= 2^23, where scale is at most 1.
      const Wide scaled = m * kPowersOfTen[scale];
      digits = e >= 0 ? scaled << e : scaled >> -e;
    } else {
      // magnitude >= 1E+8, so e > 0 and m * 2^e < 2^128.
      digits = (m << e) / kPowersOfTen[-scale];
    }
    if (digits >= kPowersOfTen[8] || digits < kPowersOfTen[7]) {
      exponent += digits >= kPowersOfTen[8] ? 1 : -1;
      continue;
    }
    auto eight = static_cast<uint32_t>(digits);
    for (int i = 7; i >= 0; --i) {
      kept[i] = static_cast<char>('0' + eight % 10);
      eight /= 10;
    }
    return true;
  }
}
#endif

// The first eight significant digits of the exact decimal value of `value`
// (finite and not zero) into `kept`, "d.ddddddd" without the point, and its
// decimal exponent. Where the integer reckoning does not reach, they are
// written to seventeen digits, which round as the exact value does unless the
// eighth to seventeenth are 5000000000: the written digits are within half a
// unit of the seventeenth of the exact value, so a tail above or below one
// half stays on its side, and a tail so near one that it carries into the
// seventh digit gives the same result as rounding up. Only that one pattern
// needs all the digits of the exact value.
void FirstEightDigits(float value, char (&kept)[8], int& exponent) {
  const float magnitude = std::fabs(value);
#if defined(__SIZEOF_INT128__)
  if (ExactLeadingDigits(magnitude, kept, exponent)) return;
#endif
  const auto wide = static_cast<double>(magnitude);
  if (!LeadingDigits(wide, kQuickDigits, kept, exponent)) {
    LeadingDigits(wide, kExactDigits, kept, exponent);
  }
}

// Rounds the eight digits of `kept` to seven significant digits, halves away
// from zero, and returns how many of them are left once trailing zeros are
// dropped (at least one). A carry out of the first digit makes the digits
// 1000000 of the next power of ten.
int RoundToSeven(char (&kept)[8], int& exponent) {
  if (kept[kSignificantDigits] >= '5') {
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
  return count;
}

char* Put(char* out, std::string_view part) {
  for (const char c : part) *out++ = c;
  return out;
}

// `digits` (significant digits, no trailing zeros) with the decimal exponent
// `exponent` (-4 to 6) written without one: "123.4", "1200", ".0012".
char* PutPositional(char* out, std::string_view digits, int exponent) {
  const auto count = static_cast<int>(digits.size());
  if (exponent < 0) {
    *out++ = '.';
    for (int i = 0; i < -exponent - 1; ++i) *out++ = '0';
    return Put(out, digits);
  }
  const int integer_digits = exponent + 1;
  if (count <= integer_digits) {
    out = Put(out, digits);
    for (int i = count; i < integer_digits; ++i) *out++ = '0';
    return out;
  }
  out = Put(out, digits.substr(0, integer_digits));
  *out++ = '.';
  return Put(out, digits.substr(integer_digits));
}

// `digits` with the decimal exponent `exponent` in scientific form, with an
// exponent of at least two digits: "1.5E+07", "1E-05".
char* PutScientific(char* out, char* end, std::string_view digits,
                    int exponent) {
  *out++ = digits[0];
  if (digits.size() > 1) {
    *out++ = '.';
    out = Put(out, digits.substr(1));
  }
  *out++ = 'E';
  *out++ = exponent < 0 ? '-' : '+';
  const int exponent_magnitude = std::abs(exponent);
  if (exponent_magnitude < 10) *out++ = '0';
  return std::to_chars(out, end, exponent_magnitude).ptr;
}

}  // namespace

std::string NumberText(float value) {
  if (std::isnan(value)) return " NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : " Infinity";
  if (value == 0) return " 0";

  char kept[kSignificantDigits + 1];
  int exponent = 0;
  FirstEightDigits(value, kept, exponent);
  const int count = RoundToSeven(kept, exponent);
  const std::string_view digits(kept, static_cast<std::size_t>(count));

  // At most sign, point, 10 positional digits or 7 digits and "E+38".
  char text[24];
  char* out = text;
  *out++ = value < 0 ? '-' : ' ';
  if (exponent >= -4 && exponent <= 6) {
    out = PutPositional(out, digits, exponent);
  } else {
    out = PutScientific(out, text + sizeof text, digits, exponent);
  }
  return std::string(text, out);
}

}  // namespace tavrolin
