#pragma once
// Dates and times in expressions: FORMATDATETIME and the date masks of expression controls.
//
// A value is a date when it is a number of days since 30 December 1899 (the fraction is the time
// of day; database servers' date fields arrive so) or a text "YYYY-MM-DD", optionally followed by
// " HH:MM", " HH:MM:SS" or "THH:MM:SS" (SQLite's date columns).
//
// A date mask is made of these letters, in any case:
//   d dd        day of the month, without and with a leading zero
//   ddd dddd    short and long name of the day of the week
//   m mm        month, without and with a leading zero (minutes right after h or hh)
//   mmm mmmm    short and long name of the month
//   yy yyyy     year in two and four digits
//   h hh        hour (0-23), n nn minutes, s ss seconds, z zzz milliseconds
//   'x' "x"     literal text
// Any other character is copied. Names come from the C library's LC_TIME locale.

#include "expr/EvResult.h"

#include <optional>
#include <string>
#include <string_view>

namespace pagimo::expr {

struct TQRDateTime {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// The date a value stands for; none for another kind, a text that is no date, or a number out of
// the years 1 to 9999.
std::optional<TQRDateTime> DateTimeOf(const EvResult& value);

// The date formatted with the mask; none for a mask with an unterminated quoted literal.
std::optional<std::string> FormatDateTime(std::string_view mask, const TQRDateTime& when);

// Whether a mask formats dates: it holds a date letter (d, m, y, h, n, s, z) outside quotes and
// no digit placeholder (0, #).
bool IsDateMask(std::string_view mask);

} // namespace pagimo::expr
