#pragma once
// Local date and time as a day count: days since 30 December 1899 00:00, the time of day as the
// fraction (the time stamp stored in QRP headers).

#include <string>

namespace pagimo {

// The current local date and time as such a day count.
double NowAsDays();

// Formats a day count as ISO 8601 local time ("2026-12-08T15:40:01"); an empty string when the value
// is not a finite date between the years 1 and 9999.
std::string DaysToIso(double days);

} // namespace pagimo
