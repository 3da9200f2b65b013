#pragma once
// The locale facts the expression language uses: decimal and thousands separators for numbers,
// the time and short date formats for TIME, DATE and the global environment, and case mapping
// for UPPER, LOWER and PRETTY. Read once from the process environment (LC_NUMERIC, LC_TIME,
// LC_CTYPE); tests and tools may install other settings.

#include <ctime>
#include <string>
#include <string_view>

namespace pagimo::expr {

struct TQRLocale {
    std::string DecimalSeparator = ".";
    std::string ThousandSeparator = ",";
    std::string TimeFormat = "%H:%M:%S";      // strftime pattern
    std::string ShortDateFormat = "%m/%d/%y"; // strftime pattern

    // The environment's locale; a locale without a thousands separator (C, POSIX) keeps ",".
    static TQRLocale FromSystem();
};

// The settings in force; the system's until SetCurrentLocale is called.
const TQRLocale& CurrentLocale();
void SetCurrentLocale(TQRLocale locale);

// Installs settings for the lifetime of the object and restores the previous ones after.
class TScopedLocale {
public:
    explicit TScopedLocale(TQRLocale locale);
    ~TScopedLocale();
    TScopedLocale(const TScopedLocale&) = delete;
    TScopedLocale& operator=(const TScopedLocale&) = delete;

private:
    TQRLocale FSaved;
};

std::string FormatTime(std::time_t when, const TQRLocale& locale);
std::string FormatDate(std::time_t when, const TQRLocale& locale);

// Case mapping of UTF-8 text by Unicode rules (through the C library's UTF-8 locale); malformed
// bytes are copied unchanged.
std::string Utf8Upper(std::string_view text);
std::string Utf8Lower(std::string_view text);

} // namespace pagimo::expr
