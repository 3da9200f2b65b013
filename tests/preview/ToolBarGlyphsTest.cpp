#include "preview/ToolBarGlyphs.h"

#include <QImage>

#include <cstdlib>

#include <gtest/gtest.h>

using namespace pagimo::preview;

namespace {

QImage Glyph(int i) {
    return ToolBarGlyph(i).toImage().convertToFormat(QImage::Format_ARGB32);
}

int Opaque(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qAlpha(img.pixel(x, y)) > 128;
    return n;
}

TEST(ToolBarGlyphs, ElevenDistinctSixteenPixelPictures) {
    for (int i = 0; i < ToolBarGlyphCount; ++i) {
        const QImage img = Glyph(i);
        EXPECT_EQ(img.size(), QSize(16, 16)) << i;
        EXPECT_GT(Opaque(img), 20) << "glyph " << i << " draws something";
        for (int j = 0; j < i; ++j)
            EXPECT_NE(img, Glyph(j)) << i << " and " << j;
    }
    EXPECT_TRUE(ToolBarGlyph(-1).isNull());
    EXPECT_TRUE(ToolBarGlyph(ToolBarGlyphCount).isNull());
}

// Pixels whose opacity differs noticeably between two pictures.
int Differences(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            n += std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) > 60;
    return n;
}

// Opaque pixels left of the middle minus those right of it.
int LeftWeight(const QImage& img) {
    int n = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            n += (qAlpha(img.pixel(x, y)) > 128) * (x < 8 ? 1 : -1);
    return n;
}

// Opaque pixels in the first (or last) column that has any.
int EdgeColumnHeight(const QImage& img, bool fromRight) {
    for (int i = 0; i < 16; ++i) {
        const int x = fromRight ? 15 - i : i;
        int n = 0;
        for (int y = 0; y < 16; ++y)
            n += qAlpha(img.pixel(x, y)) > 128;
        if (n) return n;
    }
    return 0;
}

// The paging glyphs point the way they page: the backward ones mirror the forward ones, and "first"
// and "last" carry their stop bar on their own side.
TEST(ToolBarGlyphs, PagingPicturesPointTheirWay) {
    EXPECT_LE(Differences(Glyph(4).mirrored(true, false), Glyph(5)), 4);
    EXPECT_LE(Differences(Glyph(3).mirrored(true, false), Glyph(6)), 4);
    EXPECT_GE(EdgeColumnHeight(Glyph(3), false), 9) << "first page: a bar on the left";
    EXPECT_LE(EdgeColumnHeight(Glyph(4), false), 3) << "previous page: a tip on the left";
    EXPECT_GE(EdgeColumnHeight(Glyph(6), true), 9) << "last page: a bar on the right";
    // a triangle is heavier at its base: "previous" has its base on the right
    EXPECT_LT(LeftWeight(Glyph(4)), 0);
    EXPECT_GT(LeftWeight(Glyph(5)), 0);
}

} // namespace
