#include "platform/graphics/CodePages.h"

#include "platform/graphics/CodePageTables.h"

#include <iconv.h>

#include <cerrno>

namespace pagimo::graphics {

int CodePageOfCharset(uint8_t charset) {
    switch (charset) {
    case AnsiCharset:
    case DefaultCharset:
        return 1252;
    case SymbolCharset:
        return 0;
    case MacCharset:
        return 10000;
    case ShiftJisCharset:
        return 932;
    case HangulCharset:
        return 949;
    case JohabCharset:
        return 1361;
    case Gb2312Charset:
        return 936;
    case ChineseBig5Charset:
        return 950;
    case GreekCharset:
        return 1253;
    case TurkishCharset:
        return 1254;
    case VietnameseCharset:
        return 1258;
    case HebrewCharset:
        return 1255;
    case ArabicCharset:
        return 1256;
    case BalticCharset:
        return 1257;
    case RussianCharset:
        return 1251;
    case ThaiCharset:
        return 874;
    case EastEuropeCharset:
        return 1250;
    case OemCharset:
        return 437;
    default:
        return 1252;
    }
}

namespace {

const char16_t* HighHalf(int codePage) {
    using namespace detail;
    switch (codePage) {
    case 1250:
        return CodePage1250High;
    case 1251:
        return CodePage1251High;
    case 1252:
        return CodePage1252High;
    case 1253:
        return CodePage1253High;
    case 1254:
        return CodePage1254High;
    case 1255:
        return CodePage1255High;
    case 1256:
        return CodePage1256High;
    case 1257:
        return CodePage1257High;
    case 1258:
        return CodePage1258High;
    case 874:
        return CodePage874High;
    case 437:
        return CodePage437High;
    case 850:
        return CodePage850High;
    default:
        return nullptr;
    }
}

const char* IconvName(int codePage) {
    switch (codePage) {
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1361:
        return "JOHAB";
    case 10000:
        return "MACINTOSH";
    default:
        return nullptr;
    }
}

// Converts through iconv, one character at a time, so that a sequence iconv rejects costs one '?' and
// the rest of the text survives. The lower half is ASCII in every code page used here, as Windows reads it. Returns
// false when the C library has no such converter.
bool DecodeWithIconv(std::span<const uint8_t> bytes, const char* name, std::u16string& out) {
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.reserve(bytes.size());
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (bytes[pos] < 0x80) {
            out.push_back(static_cast<char16_t>(bytes[pos++]));
            continue;
        }
        char outBuf[16];
        // Lead bytes take one trail byte in every double-byte code page used here.
        size_t consumed = 0;
        for (size_t len = 1; len <= 2 && pos + len <= bytes.size(); ++len) {
            char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data() + pos));
            size_t inLeft = len;
            char* o = outBuf;
            size_t outLeft = sizeof outBuf;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) && inLeft == 0) {
                for (char* c = outBuf; c + 1 < o; c += 2)
                    out.push_back(
                        static_cast<char16_t>(static_cast<uint8_t>(c[0]) | (static_cast<uint8_t>(c[1]) << 8)));
                consumed = len;
                break;
            }
            if (errno != EINVAL) break; // invalid, not merely incomplete
        }
        if (consumed == 0) {
            out.push_back(u'?');
            consumed = 1;
        }
        pos += consumed;
    }
    iconv_close(cd);
    return true;
}

} // namespace

std::u16string DecodeCodePage(std::span<const uint8_t> bytes, int codePage) {
    std::u16string out;
    if (codePage == 0) {
        out.reserve(bytes.size());
        for (uint8_t b : bytes)
            out.push_back(static_cast<char16_t>(0xF000 + b));
        return out;
    }
    if (const char* name = IconvName(codePage)) {
        if (DecodeWithIconv(bytes, name, out)) return out;
        out.clear();
        for (uint8_t b : bytes)
            out.push_back(b < 0x80 ? static_cast<char16_t>(b) : u'?');
        return out;
    }
    const char16_t* high = HighHalf(codePage);
    if (!high) high = detail::CodePage1252High;
    out.reserve(bytes.size());
    for (uint8_t b : bytes)
        out.push_back(b < 0x80 ? static_cast<char16_t>(b) : high[b - 0x80]);
    return out;
}

std::u16string DecodeAnsi(std::span<const uint8_t> bytes, uint8_t charset) {
    return DecodeCodePage(bytes, CodePageOfCharset(charset));
}

} // namespace pagimo::graphics
