#pragma once
// Character sets of Windows fonts (LOGFONT lfCharSet) and the code pages that turn their 8-bit text
// into Unicode, as the ANSI text records of a metafile need.

#include <cstdint>
#include <span>
#include <string>

namespace pagimo::graphics {

constexpr uint8_t AnsiCharset = 0;
constexpr uint8_t DefaultCharset = 1;
constexpr uint8_t SymbolCharset = 2;
constexpr uint8_t MacCharset = 77;
constexpr uint8_t ShiftJisCharset = 128;
constexpr uint8_t HangulCharset = 129;
constexpr uint8_t JohabCharset = 130;
constexpr uint8_t Gb2312Charset = 134;
constexpr uint8_t ChineseBig5Charset = 136;
constexpr uint8_t GreekCharset = 161;
constexpr uint8_t TurkishCharset = 162;
constexpr uint8_t VietnameseCharset = 163;
constexpr uint8_t HebrewCharset = 177;
constexpr uint8_t ArabicCharset = 178;
constexpr uint8_t BalticCharset = 186;
constexpr uint8_t RussianCharset = 204;
constexpr uint8_t ThaiCharset = 222;
constexpr uint8_t EastEuropeCharset = 238;
constexpr uint8_t OemCharset = 255;

// The code page of a character set: ANSI 1252, east-European 1250, Russian 1251 ... OEM 437.
// DEFAULT_CHARSET stands for the system's ANSI code page, which is taken as 1252 here. SYMBOL_CHARSET
// has no code page and returns 0 (DecodeAnsi maps its bytes into the private area). An unknown charset
// gives 1252.
int CodePageOfCharset(uint8_t charset);

// Decodes 8-bit text written in the code page of charset. Single-byte code pages (874, 1250 to 1258,
// 437, 850) come from tables; the double-byte ones (932, 936, 949, 950, 1361) go through the C library's
// iconv, and a byte sequence it cannot convert becomes '?'. Symbol text maps each byte b to U+F000 + b,
// where symbol fonts keep their glyphs. Never throws for any input.
std::u16string DecodeAnsi(std::span<const uint8_t> bytes, uint8_t charset);

// The same by code page number (0 = symbol); an unknown code page decodes as 1252.
std::u16string DecodeCodePage(std::span<const uint8_t> bytes, int codePage);

} // namespace pagimo::graphics
