// The number text of a historian value: how a 32-bit float is written into a
// report. The text is the same under every locale.
#pragma once

#include <string>

namespace tavrolin {

// Writes `value` as decimal text:
//  - a negative value begins with "-", any other value (zero included) with
//    one blank;
//  - the magnitude is rounded to seven significant digits, halves rounded
//    away from zero, on the exact decimal value of the float;
//  - a rounded magnitude from 0.0001 up to but not including 1E+07 is written
//    positionally: integer digits, then a full stop and the fraction digits
//    only when a fraction remains; below 1 no 0 stands before the full stop
//    (" .5", "-.0625", " 1234568");
//  - any other non-zero magnitude is written as the first significant digit,
//    a full stop and the further significant digits when there are any, "E",
//    the exponent's sign and at least two exponent digits (" 1.234568E+07",
//    " 1.234E-05", "-2.5E+08");
//  - zero, and negative zero, is " 0".
// Values that are not numbers have fixed texts: NaN is " NaN", positive
// infinity " Infinity" and negative infinity "-Infinity".
std::string NumberText(float value);

}  // namespace tavrolin
