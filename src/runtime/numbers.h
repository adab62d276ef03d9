// Reading and writing numbers the way the conversion needs them, and exact decimal rounding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace valumat {

// Reads the number at the start of a text. Blanks, tabs and line feeds are ignored wherever they stand; then an
// optional sign, digits with at most one ".", and an optional exponent (E or D, optional sign, digits) are read;
// reading stops at the first character that fits none of these. "&H" and "&O" introduce hexadecimal and octal
// whole numbers (up to four digits' worth wraps to a signed 16-bit value, up to eight to a signed 32-bit value).
// No digit gives 0. Fails with RuntimeError ("Überlauf") when the value exceeds the double range.
double readNumber(std::string_view text);

// A double stored into a 32-bit float, rounded to nearest; fails with RuntimeError ("Überlauf") when it does not
// fit.
float toSingle(double value);

// The text of a 32-bit value: at most 7 significant digits, "." as the point, no trailing zeros, no point for a
// whole number, "-" for negative values, no "0" before the point (".5"); decimal exponents of 7 or more and below
// -4 are written as mantissa, "E", sign and two digits ("1.234568E+07", "1E-05").
std::string writeSingle(float value);

// An exact decimal value: mantissa × 10^exponent.
struct Decimal {
    std::int64_t mantissa = 0;
    int exponent = 0;

    // Shortest plain decimal text: no exponent, "." as the point, no trailing zeros, no "0" before the point.
    std::string plainText() const;
    // The nearest double (correctly rounded from the decimal text).
    double toDouble() const;
};

// x rounded half up (halves toward plus infinity) to n decimal places, where x counts as exactly the decimal
// of its 7-digit writing (so the float nearest 2.675 is 2.675 and rounds to 2.68).
Decimal roundToDecimal(float x, int decimals);

// The same, stored back into a 32-bit value.
float RoundTo(float x, int decimals);

} // namespace valumat
