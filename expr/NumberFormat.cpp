#include "expr/NumberFormat.h"

#include "expr/Utf8.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace pagimo::expr {

namespace {

// value = 0.Digits x 10^Point; Digits has no leading or trailing zeros, empty for zero.
struct TDecimal {
    std::string Digits;
    int Point = 0;
};

constexpr int SignificantDigits = 15;

TDecimal ToDecimal(double absValue) {
    TDecimal d;
    if (absValue == 0.0) return d;
    // d.dddddddddddddde[+-]x, correctly rounded (and several times faster than printf)
    char buffer[40];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, absValue, std::chars_format::scientific, SignificantDigits - 1);
    const std::string_view text(buffer, ec == std::errc() ? end - buffer : 0);
    const auto e = text.find('e');
    if (e == std::string_view::npos) return d;
    d.Digits.push_back(text[0]);
    d.Digits.append(text.substr(2, e - 2));
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    d.Point = exponent + 1;
    while (!d.Digits.empty() && d.Digits.back() == '0')
        d.Digits.pop_back();
    return d;
}

// Keeps the first `keep` digits, rounding half away from zero.
void RoundTo(TDecimal& d, int keep) {
    if (keep < 0) {
        d.Digits.clear();
        return;
    }
    if (static_cast<int>(d.Digits.size()) <= keep) return;
    const bool up = d.Digits[keep] >= '5';
    d.Digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.Digits[i] == '9')
            d.Digits[i--] = '0';
        if (i < 0) {
            d.Digits.insert(d.Digits.begin(), '1');
            ++d.Point;
        } else {
            ++d.Digits[i];
        }
    }
    while (!d.Digits.empty() && d.Digits.back() == '0')
        d.Digits.pop_back();
}

char DigitAt(const TDecimal& d, int index) {
    return index >= 0 && index < static_cast<int>(d.Digits.size()) ? d.Digits[index] : '0';
}

std::string PlainDigits(const TDecimal& d, const TQRLocale& locale) {
    std::string out;
    if (d.Point <= 0) {
        out = "0" + locale.DecimalSeparator + std::string(-d.Point, '0') + d.Digits;
    } else if (d.Point >= static_cast<int>(d.Digits.size())) {
        out = d.Digits + std::string(d.Point - d.Digits.size(), '0');
    } else {
        out = d.Digits.substr(0, d.Point) + locale.DecimalSeparator + d.Digits.substr(d.Point);
    }
    return out;
}

enum TTokenKind { tkLiteral, tkIntDigit, tkFracDigit, tkPoint, tkExponent };

struct TToken {
    TTokenKind Kind;
    std::string Text;  // literal text; for a digit "0" or "#"; for an exponent "E+" and the like
    int MinDigits = 0; // exponent: minimum digits
};

struct TSection {
    std::vector<TToken> Tokens;
    int IntPlaceholders = 0;
    int IntRequired = 0; // placeholders from the first "0" up to the point
    int FracPlaceholders = 0;
    int FracRequired = 0; // up to and including the last "0" of the fraction
    bool Thousands = false;
    bool Scientific = false;
    bool HasDigits() const { return IntPlaceholders + FracPlaceholders > 0; }
};

// Splits the mask at ";" outside quotes; false for an unterminated quote.
bool SplitSections(std::string_view mask, std::vector<std::string_view>& sections) {
    std::size_t start = 0;
    char quote = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const char c = mask[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections.push_back(mask.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote) return false;
    sections.push_back(mask.substr(start));
    return true;
}

TSection ParseSection(std::string_view text) {
    TSection s;
    bool afterPoint = false;
    bool firstZeroSeen = false;
    int intBeforeFirstZero = 0;
    auto literal = [&](std::string_view part) {
        if (!s.Tokens.empty() && s.Tokens.back().Kind == tkLiteral) {
            s.Tokens.back().Text.append(part);
        } else {
            s.Tokens.push_back({tkLiteral, std::string(part)});
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const auto end = text.find(c, i + 1);
            if (end == std::string_view::npos) { // SplitSections refuses such masks; stay safe anyway
                literal(text.substr(i + 1));
                break;
            }
            literal(text.substr(i + 1, end - i - 1));
            i = end;
        } else if ((c == '0' || c == '#') && !s.Scientific) {
            if (afterPoint) {
                ++s.FracPlaceholders;
                if (c == '0') s.FracRequired = s.FracPlaceholders;
                s.Tokens.push_back({tkFracDigit, std::string(1, c)});
            } else {
                if (c == '0') firstZeroSeen = true;
                if (!firstZeroSeen) ++intBeforeFirstZero;
                ++s.IntPlaceholders;
                s.Tokens.push_back({tkIntDigit, std::string(1, c)});
            }
        } else if (c == '.' && !afterPoint && !s.Scientific) {
            afterPoint = true;
            s.Tokens.push_back({tkPoint, {}});
        } else if (c == ',' && !s.Scientific) {
            s.Thousands = true;
        } else if ((c == 'E' || c == 'e') && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-') &&
                   !s.Scientific) {
            TToken exponent{tkExponent, std::string(text.substr(i, 2))};
            i += 2;
            while (i < text.size() && text[i] == '0' && exponent.MinDigits < 4) {
                ++exponent.MinDigits;
                ++i;
            }
            --i;
            s.Scientific = true;
            s.Tokens.push_back(std::move(exponent));
        } else {
            // A character of the mask, never a byte of one.
            const std::size_t length = Utf8SequenceLength(text, i);
            literal(text.substr(i, length));
            i += length - 1;
        }
    }
    s.IntRequired = firstZeroSeen ? s.IntPlaceholders - intBeforeFirstZero : 0;
    return s;
}

void AppendGrouped(std::string& out, const std::string& digits, std::size_t index, bool thousands,
                   const TQRLocale& locale) {
    out += digits[index];
    const std::size_t right = digits.size() - 1 - index;
    if (thousands && right > 0 && right % 3 == 0) out += locale.ThousandSeparator;
}

std::string Render(const TSection& s, const std::string& intDigits, const TDecimal& d, int fracShown, int exponent,
                   const TQRLocale& locale) {
    std::string out;
    const int extra = static_cast<int>(intDigits.size()) - s.IntPlaceholders;
    int intSeen = 0;
    int fracSeen = 0;
    bool intDone = s.IntPlaceholders == 0;
    auto flushLeadingDigits = [&] {
        // Integer digits beyond the placeholders go where the first placeholder stands (or before
        // the point when the mask has no integer placeholder).
        for (int k = 0; k < extra; ++k)
            AppendGrouped(out, intDigits, k, s.Thousands, locale);
    };
    for (const auto& t : s.Tokens) {
        switch (t.Kind) {
        case tkLiteral:
            out += t.Text;
            break;
        case tkIntDigit: {
            if (intSeen == 0) flushLeadingDigits();
            const int index = extra + intSeen;
            if (index >= 0) AppendGrouped(out, intDigits, index, s.Thousands, locale);
            if (++intSeen == s.IntPlaceholders) intDone = true;
            break;
        }
        case tkPoint:
            if (s.IntPlaceholders == 0 && !intDone) {
                flushLeadingDigits();
                intDone = true;
            }
            if (fracShown > 0) out += locale.DecimalSeparator;
            break;
        case tkFracDigit:
            if (fracSeen < fracShown) out += DigitAt(d, d.Point + fracSeen);
            ++fracSeen;
            break;
        case tkExponent: {
            if (!intDone) {
                flushLeadingDigits();
                intDone = true;
            }
            out += t.Text[0];
            if (exponent < 0) {
                out += '-';
            } else if (t.Text[1] == '+') {
                out += '+';
            }
            std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
            if (static_cast<int>(digits.size()) < t.MinDigits) digits.insert(0, t.MinDigits - digits.size(), '0');
            out += digits;
            break;
        }
        }
    }
    if (!intDone) flushLeadingDigits();
    return out;
}

std::string FormatSection(const TSection& s, TDecimal d, const TQRLocale& locale) {
    int exponent = 0;
    if (s.Scientific) {
        const int intDigits = s.IntPlaceholders > 0 ? s.IntPlaceholders : 1;
        RoundTo(d, intDigits + s.FracPlaceholders);
        if (!d.Digits.empty()) {
            exponent = d.Point - intDigits;
            d.Point = intDigits;
        }
    } else {
        RoundTo(d, d.Point + s.FracPlaceholders);
    }
    std::string intDigits;
    for (int i = 0; i < d.Point; ++i)
        intDigits += DigitAt(d, i);
    if (static_cast<int>(intDigits.size()) < s.IntRequired) {
        intDigits.insert(0, s.IntRequired - intDigits.size(), '0');
    }
    int fracShown = s.FracPlaceholders;
    while (fracShown > s.FracRequired && DigitAt(d, d.Point + fracShown - 1) == '0')
        --fracShown;
    return Render(s, intDigits, d, fracShown, exponent, locale);
}

bool RoundsToZero(const TSection& s, TDecimal d) {
    if (s.Scientific) return d.Digits.empty();
    RoundTo(d, d.Point + s.FracPlaceholders);
    return d.Digits.empty();
}

struct TParsedMask {
    std::string Mask;
    bool Valid = false;
    std::vector<TSection> Sections;
    std::vector<bool> Empty;
};

// Reports format the same mask for every record: the last parsed mask is kept per thread.
const TParsedMask& ParseMask(std::string_view mask) {
    thread_local TParsedMask cache;
    thread_local bool filled = false;
    if (filled && cache.Mask == mask) return cache;
    cache = TParsedMask{};
    cache.Mask = mask;
    std::vector<std::string_view> texts;
    cache.Valid = SplitSections(mask, texts);
    if (cache.Valid) {
        for (const auto text : texts) {
            cache.Sections.push_back(ParseSection(text));
            cache.Empty.push_back(text.empty());
        }
    }
    filled = true;
    return cache;
}

} // namespace

std::string FloatToStrGeneral(double value, const TQRLocale& locale) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    const TDecimal d = ToDecimal(std::fabs(value));
    if (d.Digits.empty()) return "0";
    std::string out = value < 0 ? "-" : "";
    if (d.Point >= -3 && d.Point <= SignificantDigits) {
        out += PlainDigits(d, locale);
    } else {
        out += d.Digits.substr(0, 1);
        if (d.Digits.size() > 1) out += locale.DecimalSeparator + d.Digits.substr(1);
        out += 'E' + std::to_string(d.Point - 1);
    }
    return out;
}

std::optional<std::string> FormatFloat(std::string_view mask, double value, const TQRLocale& locale) {
    if (!std::isfinite(value)) return std::nullopt;
    if (mask.empty()) return FloatToStrGeneral(value, locale);
    const TParsedMask& parsed = ParseMask(mask);
    if (!parsed.Valid) return std::nullopt;
    const TSection& positive = parsed.Sections[0];
    const TDecimal d = ToDecimal(std::fabs(value));
    if (value == 0.0 || RoundsToZero(positive, d)) {
        const TSection* zero = parsed.Sections.size() >= 3 && !parsed.Empty[2] ? &parsed.Sections[2] : &positive;
        return FormatSection(*zero, TDecimal{}, locale);
    }
    if (value < 0) {
        if (parsed.Sections.size() >= 2 && !parsed.Empty[1]) return FormatSection(parsed.Sections[1], d, locale);
        std::string out = "-";
        out += FormatSection(positive, d, locale);
        return out;
    }
    return FormatSection(positive, d, locale);
}

double RoundDecimal(double value, int digits) {
    if (!std::isfinite(value) || digits > 15 || digits < -308) return value;
    TDecimal d = ToDecimal(std::fabs(value));
    RoundTo(d, d.Point + digits);
    if (d.Digits.empty()) return 0.0;
    const std::string text = "0." + d.Digits + "e" + std::to_string(d.Point);
    double rounded = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return value < 0 ? -rounded : rounded;
}

} // namespace pagimo::expr
