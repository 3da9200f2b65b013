#include "expr/DateTime.h"

#include "expr/Utf8.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace pagimo::expr {

namespace {

// Day 0 of the day count is 30 December 1899, 25,569 days before 1 January 1970.
constexpr int64_t DaysBeforeUnixEpoch = 25569;

// Days since 1 January 1970 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, TQRDateTime& t) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    t.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.Year = static_cast<int>(yoe + era * 400 + (t.Month <= 2));
}

bool DaysInMonthHold(int y, int m, int d) {
    if (m < 1 || m > 12 || d < 1) return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap);
}

// Reads exactly `digits` decimal digits at text[at].
bool ReadNumber(std::string_view text, std::size_t at, std::size_t digits, int& out) {
    if (at + digits > text.size()) return false;
    for (std::size_t i = at; i < at + digits; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    std::from_chars(text.data() + at, text.data() + at + digits, out);
    return true;
}

std::optional<TQRDateTime> ParseIso(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    TQRDateTime t;
    if (!ReadNumber(text, 0, 4, t.Year) || text.size() < 10 || text[4] != '-' || !ReadNumber(text, 5, 2, t.Month) ||
        text[7] != '-' || !ReadNumber(text, 8, 2, t.Day) || t.Year < 1 || !DaysInMonthHold(t.Year, t.Month, t.Day))
        return std::nullopt;
    if (text.size() == 10) return t;
    if ((text[10] != ' ' && text[10] != 'T') || !ReadNumber(text, 11, 2, t.Hour) || text.size() < 16 ||
        text[13] != ':' || !ReadNumber(text, 14, 2, t.Minute))
        return std::nullopt;
    std::size_t at = 16;
    if (at < text.size() && text[at] == ':') {
        if (!ReadNumber(text, at + 1, 2, t.Second)) return std::nullopt;
        at += 3;
        if (at < text.size() && text[at] == '.') {
            std::size_t end = at + 1;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                ++end;
            if (end == at + 1) return std::nullopt;
            int value = 0;
            ReadNumber(text, at + 1, std::min<std::size_t>(3, end - at - 1), value);
            for (std::size_t n = end - at - 1; n < 3; ++n)
                value *= 10;
            t.Millisecond = value;
            at = end;
        }
    }
    if (at != text.size() || t.Hour > 23 || t.Minute > 59 || t.Second > 59) return std::nullopt;
    return t;
}

std::optional<TQRDateTime> FromDays(double days) {
    // Years 1 to 9999.
    if (!std::isfinite(days) || days < -693593 || days >= 2958466) return std::nullopt;
    TQRDateTime t;
    const double whole = std::trunc(days);
    CivilFromDays(static_cast<int64_t>(whole) - DaysBeforeUnixEpoch, t);
    // A negative day count keeps its time of day as a positive fraction, as the day count has it.
    const auto ms = static_cast<int64_t>(std::llround(std::fabs(days - whole) * 86400000.0));
    const int64_t dayMs = std::min<int64_t>(ms, 86400000 - 1);
    t.Hour = static_cast<int>(dayMs / 3600000);
    t.Minute = static_cast<int>(dayMs / 60000 % 60);
    t.Second = static_cast<int>(dayMs / 1000 % 60);
    t.Millisecond = static_cast<int>(dayMs % 1000);
    return t;
}

std::string Padded(int value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

// A day or month name in the C library's time locale.
std::string Name(const TQRDateTime& when, const char* pattern) {
    std::tm tm{};
    tm.tm_year = when.Year - 1900;
    tm.tm_mon = when.Month - 1;
    tm.tm_mday = when.Day;
    const int64_t days = DaysFromCivil(when.Year, when.Month, when.Day);
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7); // 1 January 1970 was a Thursday
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
    return std::string(buffer, n);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::size_t RunLength(std::string_view mask, std::size_t at) {
    std::size_t end = at;
    while (end < mask.size() && Lower(mask[end]) == Lower(mask[at]))
        ++end;
    return end - at;
}

} // namespace

std::optional<TQRDateTime> DateTimeOf(const EvResult& value) {
    if (value.IsNumeric()) return FromDays(value.AsDouble());
    if (value.Kind == resString) return ParseIso(value.StrResult);
    return std::nullopt;
}

std::optional<std::string> FormatDateTime(std::string_view mask, const TQRDateTime& when) {
    std::string out;
    bool afterHour = false;
    for (std::size_t at = 0; at < mask.size();) {
        const char c = Lower(mask[at]);
        if (c == '\'' || c == '"') {
            const std::size_t end = mask.find(mask[at], at + 1);
            if (end == std::string_view::npos) return std::nullopt;
            out.append(mask.substr(at + 1, end - at - 1));
            at = end + 1;
            continue;
        }
        const std::size_t n = RunLength(mask, at);
        switch (c) {
        case 'd':
            out += n == 1   ? std::to_string(when.Day)
                   : n == 2 ? Padded(when.Day, 2)
                   : n == 3 ? Name(when, "%a")
                            : Name(when, "%A");
            break;
        case 'm':
            if (afterHour && n <= 2) {
                out += n == 1 ? std::to_string(when.Minute) : Padded(when.Minute, 2);
            } else {
                out += n == 1   ? std::to_string(when.Month)
                       : n == 2 ? Padded(when.Month, 2)
                       : n == 3 ? Name(when, "%b")
                                : Name(when, "%B");
            }
            break;
        case 'y':
            out += n <= 2 ? Padded(when.Year % 100, 2) : Padded(when.Year, 4);
            break;
        case 'h':
            out += n == 1 ? std::to_string(when.Hour) : Padded(when.Hour, 2);
            break;
        case 'n':
            out += n == 1 ? std::to_string(when.Minute) : Padded(when.Minute, 2);
            break;
        case 's':
            out += n == 1 ? std::to_string(when.Second) : Padded(when.Second, 2);
            break;
        case 'z':
            out += n < 3 ? std::to_string(when.Millisecond) : Padded(when.Millisecond, 3);
            break;
        default: {
            const std::size_t length = Utf8SequenceLength(mask, at);
            out.append(mask.substr(at, length));
            at += length;
            continue;
        }
        }
        if (c == 'h')
            afterHour = true;
        else if (c != ' ' && c != ':')
            afterHour = false;
        at += n;
    }
    return out;
}

bool IsDateMask(std::string_view mask) {
    bool letter = false;
    for (std::size_t at = 0; at < mask.size(); ++at) {
        const char c = Lower(mask[at]);
        if (c == '\'' || c == '"') {
            const std::size_t end = mask.find(mask[at], at + 1);
            if (end == std::string_view::npos) return false;
            at = end;
        } else if (c == '0' || c == '#') {
            return false;
        } else if (std::string_view("dmyhnsz").find(c) != std::string_view::npos) {
            letter = true;
        }
    }
    return letter;
}

} // namespace pagimo::expr
