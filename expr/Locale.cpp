#include "expr/Locale.h"

#include "expr/Utf8.h"

#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <memory>
#include <wctype.h>

namespace pagimo::expr {

namespace {

std::unique_ptr<TQRLocale>& Installed() {
    static std::unique_ptr<TQRLocale> installed;
    return installed;
}

// The C library's UTF-8 character classes: the environment's when it is a UTF-8 locale, else C.UTF-8.
locale_t CaseLocale() {
    static const locale_t loc = [] {
        locale_t env = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        if (env != static_cast<locale_t>(nullptr)) {
            if (std::strcmp(nl_langinfo_l(CODESET, env), "UTF-8") == 0) return env;
            freelocale(env);
        }
        return newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    }();
    return loc;
}

std::string MapCase(std::string_view text, bool upper) {
    const locale_t loc = CaseLocale();
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const system::TUtf8Char c = system::DecodeUtf8(text, at);
        const std::size_t length = c.Length == 0 ? 1 : c.Length;
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            out += static_cast<char>(upper ? (lead >= 'a' && lead <= 'z' ? lead - 32 : lead)
                                           : (lead >= 'A' && lead <= 'Z' ? lead + 32 : lead));
        } else if (c.Length == 0 || loc == static_cast<locale_t>(nullptr)) {
            out.append(text.substr(at, length));
        } else {
            const auto cp = static_cast<wint_t>(c.CodePoint);
            const wint_t mapped = upper ? towupper_l(cp, loc) : towlower_l(cp, loc);
            if (mapped > 0 && mapped <= 0x10FFFF && !(mapped >= 0xD800 && mapped <= 0xDFFF)) {
                system::AppendUtf8(out, static_cast<char32_t>(mapped));
            } else {
                out.append(text.substr(at, length));
            }
        }
        at += length;
    }
    return out;
}

std::string FormatWith(std::time_t when, const std::string& pattern) {
    std::tm parts{};
    localtime_r(&when, &parts);
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, pattern.c_str(), &parts);
    return std::string(buffer, n);
}

} // namespace

TQRLocale TQRLocale::FromSystem() {
    TQRLocale result;
    locale_t env = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (env == static_cast<locale_t>(nullptr)) return result;
    if (const char* radix = nl_langinfo_l(RADIXCHAR, env); radix && *radix) result.DecimalSeparator = radix;
    if (const char* thousands = nl_langinfo_l(THOUSEP, env); thousands && *thousands) {
        result.ThousandSeparator = thousands;
    }
    if (const char* t = nl_langinfo_l(T_FMT, env); t && *t) result.TimeFormat = t;
    if (const char* d = nl_langinfo_l(D_FMT, env); d && *d) result.ShortDateFormat = d;
    freelocale(env);
    return result;
}

const TQRLocale& CurrentLocale() {
    static const TQRLocale system = TQRLocale::FromSystem();
    const auto& installed = Installed();
    return installed ? *installed : system;
}

void SetCurrentLocale(TQRLocale locale) {
    Installed() = std::make_unique<TQRLocale>(std::move(locale));
}

TScopedLocale::TScopedLocale(TQRLocale locale) : FSaved(CurrentLocale()) {
    SetCurrentLocale(std::move(locale));
}

TScopedLocale::~TScopedLocale() {
    SetCurrentLocale(std::move(FSaved));
}

std::string FormatTime(std::time_t when, const TQRLocale& locale) {
    return FormatWith(when, locale.TimeFormat);
}

std::string FormatDate(std::time_t when, const TQRLocale& locale) {
    return FormatWith(when, locale.ShortDateFormat);
}

std::string Utf8Upper(std::string_view text) {
    return MapCase(text, true);
}

std::string Utf8Lower(std::string_view text) {
    return MapCase(text, false);
}

} // namespace pagimo::expr
