#include "platform/system/LocalTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include <sys/time.h>

namespace pagimo {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

const int64_t EpochOffset = DaysFromCivil(1899, 12, 30); // negative: the day count's zero before 1970

} // namespace

double NowAsDays() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    const time_t seconds = tv.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    const int64_t day = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                      static_cast<unsigned>(local.tm_mday)) -
                        EpochOffset;
    const double secondOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + tv.tv_usec / 1e6;
    return static_cast<double>(day) + secondOfDay / 86400.0;
}

std::string DaysToIso(double days) {
    // Years 1 to 9999 lie between these day counts.
    if (!std::isfinite(days) || days < -693593.0 || days >= 2958466.0) return {};
    const double whole = std::floor(days);
    int64_t milliseconds = std::llround((days - whole) * 86400000.0);
    auto day = static_cast<int64_t>(whole);
    if (milliseconds >= 86400000) {
        milliseconds -= 86400000;
        ++day;
    }
    int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(day + EpochOffset, y, m, d);
    const int64_t secondOfDay = milliseconds / 1000;
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", static_cast<long long>(y), m, d,
                  static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    return text;
}

} // namespace pagimo
