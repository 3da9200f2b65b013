// The one UTF-8 definition every reader shares: which bytes start a well-formed sequence, what
// the encoder writes, and how a text with damaged bytes turns into code points.

#include "platform/system/Utf8.h"

#include <gtest/gtest.h>

using namespace pagimo::system;

namespace {

struct TDecodeCase {
    const char* Reason;
    std::string Bytes;
    char32_t CodePoint; // 0 with Length 0: no well-formed sequence
    std::size_t Length;
};

std::ostream& operator<<(std::ostream& out, const TDecodeCase& c) {
    return out << c.Reason;
}

class DecodeUtf8Table : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(DecodeUtf8Table, FindsTheSequenceAtTheStart) {
    const TUtf8Char c = DecodeUtf8(GetParam().Bytes, 0);
    EXPECT_EQ(c.Length, GetParam().Length);
    EXPECT_EQ(static_cast<uint32_t>(c.CodePoint), static_cast<uint32_t>(GetParam().CodePoint));
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, DecodeUtf8Table,
    ::testing::Values(TDecodeCase{"ASCII is one byte", "Ab", U'A', 1},
                      TDecodeCase{"two bytes, a Czech letter", "\xC5\xBE", U'\u017E', 2},
                      TDecodeCase{"three bytes", "\xE2\x82\xAC", U'\u20AC', 3},
                      TDecodeCase{"four bytes, beyond the first plane", "\xF0\x9F\x98\x80", U'\U0001F600', 4},
                      TDecodeCase{"the last scalar value", "\xF4\x8F\xBF\xBF", U'\U0010FFFF', 4},
                      TDecodeCase{"a stray continuation byte", "\x80", 0, 0},
                      TDecodeCase{"an overlong two-byte form of NUL", std::string("\xC0\x80", 2), 0, 0},
                      TDecodeCase{"an overlong three-byte form", "\xE0\x80\xAF", 0, 0},
                      TDecodeCase{"an overlong four-byte form", "\xF0\x80\x80\xAF", 0, 0},
                      TDecodeCase{"an encoded surrogate", "\xED\xA0\x80", 0, 0},
                      TDecodeCase{"a value above U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
                      TDecodeCase{"a lead byte no sequence starts with", "\xF8\x88\x80\x80\x80", 0, 0},
                      TDecodeCase{"a sequence cut off by the end", "\xE2\x82", 0, 0},
                      TDecodeCase{"a lead byte followed by ASCII",
                                  "\xC3"
                                  "A",
                                  0, 0},
                      TDecodeCase{"nothing to decode", "", 0, 0}));

TEST(Utf8, EncodesEveryLengthBoundaryAndDecodesItBack) {
    for (const char32_t cp : {U'\0', U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
        std::string bytes;
        AppendUtf8(bytes, cp);
        const TUtf8Char back = DecodeUtf8(bytes, 0);
        EXPECT_EQ(back.Length, bytes.size()) << static_cast<uint32_t>(cp);
        EXPECT_EQ(static_cast<uint32_t>(back.CodePoint), static_cast<uint32_t>(cp));
    }
}

TEST(Utf8, NeverWritesASequenceNoReaderAccepts) {
    std::string bytes;
    AppendUtf8(bytes, 0xD800);
    AppendUtf8(bytes, 0x110000);
    EXPECT_EQ(bytes, "\xEF\xBF\xBD\xEF\xBF\xBD") << "a surrogate and a value out of range become U+FFFD";
}

TEST(Utf8, DamagedBytesBecomeReplacementCharactersOneByOne) {
    EXPECT_EQ(Utf8ToCodePoints("a\xE2\x82\xAC"
                               "b"),
              U"a\u20ACb");
    EXPECT_EQ(Utf8ToCodePoints("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD") << "each byte of a surrogate on its own";
    EXPECT_EQ(Utf8ToCodePoints("x\xE2\x82"), U"x\uFFFD\uFFFD") << "a sequence cut off at the end";
    EXPECT_EQ(CodePointsToUtf8(Utf8ToCodePoints("P\xC5\x99\xC3\xADli\xC5\xA1")), "P\xC5\x99\xC3\xADli\xC5\xA1");
}

} // namespace
