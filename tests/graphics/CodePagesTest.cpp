// Charsets to code pages and 8-bit text to Unicode, single- and double-byte.

#include "platform/graphics/CodePages.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace pagimo::graphics;

namespace {

std::u16string Decode(std::string_view bytes, uint8_t charset) {
    return DecodeAnsi({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, charset);
}

} // namespace

TEST(CodePages, SingleByteTables) {
    // Czech in 1250: "čáš ěřžůúý ŽŠČ".
    EXPECT_EQ(Decode("\xE8\xE1\x9A \xEC\xF8\x9E\xF9\xFA\xFD \x8E\x8A\xC8", EastEuropeCharset), u"čáš ěřžůúý ŽŠČ");
    EXPECT_EQ(Decode("Abc \x80\x81\xFF", AnsiCharset), u"Abc €\u0081ÿ");
    EXPECT_EQ(Decode("\xC0\xFF \xA8", RussianCharset), u"Ая Ё");
    EXPECT_EQ(Decode("\xC1\xF9", GreekCharset), u"Αω");
    EXPECT_EQ(Decode("\xD0\xFD", TurkishCharset), u"Ğı");
    EXPECT_EQ(Decode("\xE0\xFA", HebrewCharset), u"את");
    EXPECT_EQ(Decode("\xC7", ArabicCharset), u"ا");
    EXPECT_EQ(Decode("\xC0\xE8", BalticCharset), u"Ąč");
    EXPECT_EQ(Decode("\xA1", ThaiCharset), u"ก");
    EXPECT_EQ(Decode("\xB3\xC9\x82", OemCharset), u"│╔é");
}

TEST(CodePages, SymbolTextGoesToThePrivateArea) {
    EXPECT_EQ(Decode("A\xB7", SymbolCharset), u"\uF041\uF0B7");
}

TEST(CodePages, DoubleByteThroughIconv) {
    EXPECT_EQ(Decode("a\x82\xA0\xB1", ShiftJisCharset), u"aあｱ");
    EXPECT_EQ(Decode("\xC4\xE3\xBA\xC3", Gb2312Charset), u"你好");
    EXPECT_EQ(Decode("\xA4\xA4", ChineseBig5Charset), u"中");
    EXPECT_EQ(Decode("\xB0\xA1", HangulCharset), u"가");
    // A lead byte without its trail byte, and an invalid pair: one '?' each, the rest survives.
    EXPECT_EQ(Decode("x\x82", ShiftJisCharset), u"x?");
    EXPECT_EQ(Decode("\x81\x20y", Gb2312Charset), u"? y");
}

TEST(CodePages, EmptyAndArbitraryBytesNeverFail) {
    EXPECT_EQ(Decode("", ShiftJisCharset), u"");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(char(i));
    for (uint8_t charset : {AnsiCharset, ShiftJisCharset, HangulCharset, Gb2312Charset, ChineseBig5Charset,
                            EastEuropeCharset, OemCharset, SymbolCharset})
        EXPECT_FALSE(Decode(all, charset).empty()) << int(charset);
}
