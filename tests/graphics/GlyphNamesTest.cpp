// The standard glyph order, checked against a real face: every glyph that Liberation Sans names with
// a standard name must be the glyph its character maps to.

#include "platform/graphics/GlyphNames.h"

#include <gtest/gtest.h>

#include <QRawFont>
#include <QString>

#include <fontconfig/fontconfig.h>

#include <string>

using namespace pagimo::graphics;

namespace {

std::string MatchFile(const char* family) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    FcChar8* value = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &value) == FcResultMatch)
        file = reinterpret_cast<const char*>(value);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}

uint16_t Be16(const QByteArray& a, int at) {
    return uint16_t((uint8_t(a[at]) << 8) | uint8_t(a[at + 1]));
}

} // namespace

TEST(GlyphNames, EdgesOfTheTable) {
    EXPECT_EQ(StandardOrderGlyphToChar(0), 0u); // .notdef
    EXPECT_EQ(StandardOrderGlyphToChar(1), 0u); // .null
    EXPECT_EQ(StandardOrderGlyphToChar(2), 0u); // nonmarkingreturn
    EXPECT_EQ(StandardOrderGlyphToChar(3), U' ');
    EXPECT_EQ(StandardOrderGlyphToChar(36), U'A');
    EXPECT_EQ(StandardOrderGlyphToChar(68), U'a');
    EXPECT_EQ(StandardOrderGlyphToChar(255), U'Č');
    EXPECT_EQ(StandardOrderGlyphToChar(257), U'đ');
    EXPECT_EQ(StandardOrderGlyphToChar(258), 0u);
    EXPECT_EQ(StandardOrderGlyphToChar(0xFFFF), 0u);
    EXPECT_STREQ(StandardGlyphName(229), "scaron");
    EXPECT_EQ(StandardGlyphName(258), nullptr);
}

TEST(GlyphNames, AgreeWithTheNamesAndCharactersOfARealFace) {
    const std::string file = MatchFile("Liberation Sans");
    if (file.find("LiberationSans") == std::string::npos) GTEST_SKIP() << "Liberation Sans is not installed";
    QRawFont font(QString::fromStdString(file), 20);
    ASSERT_TRUE(font.isValid());
    const QByteArray post = font.fontTable("post");
    ASSERT_GE(post.size(), 34);
    ASSERT_EQ(Be16(post, 0), 2) << "post table format 2 expected";
    const int glyphs = Be16(post, 32);
    ASSERT_GE(post.size(), 34 + 2 * glyphs);
    int checked = 0;
    for (int glyph = 0; glyph < glyphs; ++glyph) {
        const uint16_t nameIndex = Be16(post, 34 + 2 * glyph);
        if (nameIndex >= StandardGlyphCount) continue;
        const char32_t c = StandardOrderGlyphToChar(nameIndex);
        if (c == 0) continue;
        const QList<quint32> indexes = font.glyphIndexesForString(QString::fromUcs4(&c, 1));
        ASSERT_EQ(indexes.size(), 1);
        EXPECT_EQ(indexes[0], quint32(glyph)) << StandardGlyphName(nameIndex);
        ++checked;
    }
    EXPECT_GE(checked, 240);
}
