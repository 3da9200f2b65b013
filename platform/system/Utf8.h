#pragma once
// UTF-8 as the whole system reads and writes it: one definition of a well-formed sequence (the
// shortest form of a scalar value: at most U+10FFFF, no surrogate) and one encoder. Readers decide
// what a byte that starts no well-formed sequence means to them (an error, U+FFFD, a byte kept).

#include <cstddef>
#include <string>
#include <string_view>

namespace pagimo::system {

// A code point and the bytes its sequence takes; Length 0 where no well-formed sequence starts.
struct TUtf8Char {
    char32_t CodePoint = 0;
    std::size_t Length = 0;
};

inline bool IsUtf8Continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The sequence of two to four bytes starting at text[at] (at < text.size()); see DecodeUtf8.
TUtf8Char DecodeUtf8MultiByte(std::string_view text, std::size_t at);

// The well-formed sequence starting at text[at]; {0, 0} when the bytes there start none (a stray
// continuation byte, a lead byte without its continuations, an overlong form, a surrogate, a value
// above U+10FFFF) or when at is past the end. Readers call it for every character, so ASCII is
// answered here.
inline TUtf8Char DecodeUtf8(std::string_view text, std::size_t at) {
    if (at >= text.size()) return {};
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) return {lead, 1};
    return DecodeUtf8MultiByte(text, at);
}

// Appends the encoding of cp; a value that is no scalar value (a surrogate, above U+10FFFF) is
// written as U+FFFD, so the output is always well-formed.
void AppendUtf8(std::string& out, char32_t cp);

// The code points of text; each byte that starts no well-formed sequence becomes U+FFFD.
std::u32string Utf8ToCodePoints(std::string_view text);
std::string CodePointsToUtf8(std::u32string_view codePoints);

} // namespace pagimo::system
