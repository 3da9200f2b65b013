// PNG encoding through libpng: the pixels come back as they went in, whatever the image's format.

#include "platform/graphics/Png.h"

#include <gtest/gtest.h>

#include <png.h>

using namespace pagimo::graphics;

namespace {

QImage Decode(const std::vector<uint8_t>& bytes) {
    QImage image;
    image.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "PNG");
    return image;
}

// Every channel differs from the others in every pixel, so a swapped byte order shows.
QImage Pattern(int w, int h, QImage::Format format) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba((x * 37) & 255, (y * 91 + 5) & 255, (x * y + 200) & 255,
                                       format == QImage::Format_RGB32 ? 255 : (x * 13 + y) & 255));
    return image.convertToFormat(format);
}

void ExpectSamePixels(const QImage& expected, const QImage& actual) {
    ASSERT_EQ(actual.size(), expected.size());
    const QImage a = expected.convertToFormat(QImage::Format_ARGB32);
    const QImage b = actual.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << "at " << x << "," << y;
}

} // namespace

TEST(Png, OpaqueAndTransparentImagesRoundTripPixelForPixel) {
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888,
                                        QImage::Format_Grayscale8, QImage::Format_Indexed8}) {
        SCOPED_TRACE(format);
        const QImage source = Pattern(37, 23, format); // odd sizes: no row padding hides an error
        const std::vector<uint8_t> bytes = EncodePng(source);
        ASSERT_FALSE(bytes.empty());
        const QImage back = Decode(bytes);
        EXPECT_EQ(back.hasAlphaChannel(), source.hasAlphaChannel());
        ExpectSamePixels(source, back);
    }
}

TEST(Png, EverySettingDecodesToTheSamePixels) {
    const QImage source = Pattern(64, 48, QImage::Format_RGB32);
    for (const TPngSettings settings : {TPngSettings{0, PNG_FILTER_NONE, 0}, TPngSettings{9, PNG_ALL_FILTERS, 0},
                                        TPngSettings{1, PNG_FILTER_PAETH, 3}, PageSettings()}) {
        SCOPED_TRACE(settings.Level);
        ExpectSamePixels(source, Decode(EncodePng(source, settings)));
    }
}

TEST(Png, EdgeSizesAndNullImages) {
    ExpectSamePixels(Pattern(1, 1, QImage::Format_RGB32), Decode(EncodePng(Pattern(1, 1, QImage::Format_RGB32))));
    ExpectSamePixels(Pattern(3000, 2, QImage::Format_RGB32), Decode(EncodePng(Pattern(3000, 2, QImage::Format_RGB32))));
    EXPECT_TRUE(EncodePng(QImage()).empty());
}
