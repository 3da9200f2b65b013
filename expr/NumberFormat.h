#pragma once
// Number to text: the general format of plain conversions and the float-format masks of
// FORMATNUMERIC and the expression control.
//
// A mask has up to three sections separated by ";": for positive values, negative values and
// zero. An empty or missing negative section uses the positive one with a leading "-"; an empty
// or missing zero section uses the positive one. A value that rounds to zero under the positive
// section counts as zero (and never shows a minus sign). Within a section:
//   0        a digit placeholder that always shows a digit
//   #        a digit placeholder that shows a digit only when it is significant
//   .        the decimal point (the first one; shown only when fraction digits follow)
//   ,        thousands separators between groups of three integer digits
//   E+ E- e+ e-   scientific notation; "+" always signs the exponent, "-" only when negative;
//            the 0 placeholders that follow give the exponent's minimum digits (up to 4)
//   'x' "x"  literal text
// Any other character is copied. Separators come from the given locale. Digits are taken from
// the value's 15 significant decimal digits and rounded half away from zero.
// The expression control prints numeric results through FormatFloat with its Mask (integers as
// floats), so its output and FORMATNUMERIC's agree.

#include "expr/Locale.h"

#include <optional>
#include <string>
#include <string_view>

namespace pagimo::expr {

// Up to 15 significant digits; fixed notation for values from 1E-4 to below 1E15, otherwise
// scientific ("1.5E20", "1E-5"); non-finite values give "NAN", "INF" or "-INF".
std::string FloatToStrGeneral(double value, const TQRLocale& locale);

// The value formatted with the mask; an empty mask gives the general format. Empty result for a
// mask with an unterminated quoted literal or for a value that is not finite.
std::optional<std::string> FormatFloat(std::string_view mask, double value, const TQRLocale& locale);

// The value rounded to `digits` decimal places (tens, hundreds ... for negative digits), half away
// from zero, on the value's 15 significant decimal digits: 2.675 rounds to 2.68 as it is written,
// although the nearest double lies below it.
double RoundDecimal(double value, int digits);

} // namespace pagimo::expr
