// DecodeDib on synthetic bitmaps of every depth and compression, built here byte by byte, and on
// headers that lie about their sizes.

#include "platform/graphics/Dib.h"
#include "platform/graphics/Jpeg.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <climits>

using namespace pagimo::graphics;

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}

// A BITMAPINFO with a header of headerSize bytes (40, 108 or 124), optional masks and colour table.
std::vector<uint8_t> Info(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression = BiRgb,
                          const std::vector<QRgb>& palette = {}, uint32_t headerSize = 40,
                          std::vector<uint32_t> masks = {}) {
    std::vector<uint8_t> v(headerSize, 0);
    Put32(v, 0, headerSize);
    Put32(v, 4, uint32_t(width));
    Put32(v, 8, uint32_t(height));
    Put16(v, 12, 1);
    Put16(v, 14, bitCount);
    Put32(v, 16, compression);
    Put32(v, 32, uint32_t(palette.size()));
    if (headerSize > 40) {
        for (size_t i = 0; i < masks.size() && i < 4; ++i)
            Put32(v, 40 + 4 * i, masks[i]);
    } else {
        for (uint32_t m : masks) {
            v.resize(v.size() + 4);
            Put32(v, v.size() - 4, m);
        }
    }
    for (QRgb c : palette) {
        v.push_back(uint8_t(qBlue(c)));
        v.push_back(uint8_t(qGreen(c)));
        v.push_back(uint8_t(qRed(c)));
        v.push_back(0);
    }
    return v;
}

size_t Stride(int32_t width, int bitCount) {
    return size_t((width * bitCount + 31) / 32) * 4;
}

// Packs pixel values (palette indices, or raw 16/24/32-bit values) row by row, bottom-up unless topDown.
std::vector<uint8_t> Pack(const std::vector<std::vector<uint32_t>>& rows, int bitCount, bool topDown = false) {
    const int32_t width = int32_t(rows[0].size()), height = int32_t(rows.size());
    const size_t stride = Stride(width, bitCount);
    std::vector<uint8_t> bits(stride * height, 0);
    for (int32_t r = 0; r < height; ++r) {
        const auto& row = rows[topDown ? r : height - 1 - r];
        uint8_t* dst = bits.data() + stride * r;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = row[x];
            if (bitCount < 8) {
                const int bit = x * bitCount;
                dst[bit / 8] |= uint8_t(v << (8 - bitCount - bit % 8));
            } else {
                for (int b = 0; b < bitCount / 8; ++b)
                    dst[x * (bitCount / 8) + b] = uint8_t(v >> (8 * b));
            }
        }
    }
    return bits;
}

std::vector<std::vector<uint32_t>> Pattern(int32_t width, int32_t height, uint32_t modulo) {
    std::vector<std::vector<uint32_t>> rows(height, std::vector<uint32_t>(width));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            rows[y][x] = (x * 7 + y * 3) % modulo;
    return rows;
}

std::vector<QRgb> Palette(int n) {
    std::vector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back(qRgb((i * 37) & 0xFF, (i * 91) & 0xFF, (255 - i) & 0xFF));
    return p;
}

} // namespace

TEST(Dib, IndexedDepthsBothRowOrders) {
    for (int bpp : {1, 2, 4, 8}) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, top-down " << topDown);
            const int32_t w = 13, h = 5; // odd width: rows end inside a byte and need padding
            const auto palette = Palette(1 << bpp);
            const auto rows = Pattern(w, h, 1u << bpp);
            const QImage image = DecodeDib(Info(w, topDown ? -h : h, uint16_t(bpp), BiRgb, palette),
                                           Pack(rows, bpp, topDown), DibRgbColors);
            ASSERT_EQ(image.size(), QSize(w, h));
            EXPECT_FALSE(image.hasAlphaChannel());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(image.pixel(x, y), palette[rows[y][x]]) << x << "," << y;
        }
    }
}

TEST(Dib, ShortColourTableAndIndicesPastItsEnd) {
    const std::vector<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    const std::vector<std::vector<uint32_t>> rows = {{0, 1, 2, 3, 200}};
    const QImage image = DecodeDib(Info(5, 1, 8, BiRgb, palette), Pack(rows, 8), DibRgbColors);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(3, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(4, 0), qRgb(0, 0, 0));

    // clrUsed = 0 means the full table, but only what the BITMAPINFO holds is read.
    auto info = Info(5, 1, 8, BiRgb, palette);
    Put32(info, 32, 0);
    EXPECT_EQ(DecodeDib(info, Pack(rows, 8), DibRgbColors).pixel(1, 0), qRgb(0, 255, 0));
}

TEST(Dib, PaletteIndicesTakeTheDefaultPalette) {
    auto info = Info(2, 1, 1);
    info.resize(40 + 4);
    Put32(info, 32, 2);
    Put16(info, 40, 0);  // black
    Put16(info, 42, 19); // white
    const QImage image = DecodeDib(info, Pack({{0, 1}}, 1), DibPalColors);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(255, 255, 255));
}

TEST(Dib, CoreHeaderWithTripleColourTable) {
    std::vector<uint8_t> info(12, 0);
    Put32(info, 0, 12);
    Put16(info, 4, 3);
    Put16(info, 6, 2);
    Put16(info, 8, 1);
    Put16(info, 10, 1);
    for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00})
        info.push_back(b); // red, blue as BGR triples
    const QImage image = DecodeDib(info, Pack({{0, 1, 0}, {1, 1, 0}}, 1), DibRgbColors);
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
}

TEST(Dib, TrueColourDepthsAndBitFields) {
    // 16 bits without bit fields: 5-5-5.
    QImage image = DecodeDib(Info(2, 1, 16), Pack({{0x7C00, 0x03FF}}, 16), DibRgbColors);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 255, 255));

    // 16 bits 5-6-5 through BI_BITFIELDS masks after a BITMAPINFOHEADER.
    image = DecodeDib(Info(3, 1, 16, BiBitfields, {}, 40, {0xF800, 0x07E0, 0x001F}),
                      Pack({{0xF800, 0x07E0, 0x0400}}, 16), DibRgbColors);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 130, 0)); // 32 of 63, widened with rounding

    // 24 bits, odd width so rows are padded.
    image =
        DecodeDib(Info(3, 2, 24), Pack({{0x112233, 0x445566, 0x778899}, {0xAABBCC, 0, 0xFFFFFF}}, 24), DibRgbColors);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x11, 0x22, 0x33));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0xAA, 0xBB, 0xCC));
    EXPECT_EQ(image.pixel(2, 1), qRgb(0xFF, 0xFF, 0xFF));

    // 32-bit BI_RGB: the top byte is not alpha for GDI.
    image = DecodeDib(Info(1, 1, 32), Pack({{0x00336699}}, 32), DibRgbColors);
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x33, 0x66, 0x99));
    // ... unless the caller reads it as premultiplied alpha, as ALPHABLEND does.
    image = DecodeDib(Info(2, 1, 32), Pack({{0x80402010, 0x00000000}}, 32), DibRgbColors, true);
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0x80);
    EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0);

    // V5 header with an alpha mask and swapped channels.
    image = DecodeDib(Info(2, 1, 32, BiBitfields, {}, 124, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}),
                      Pack({{0x7F0000FF, 0xFFFF0000}}, 32), DibRgbColors);
    ASSERT_EQ(image.format(), QImage::Format_ARGB32);
    EXPECT_EQ(image.pixel(0, 0), qRgba(255, 0, 0, 0x7F));
    EXPECT_EQ(image.pixel(1, 0), qRgba(0, 0, 255, 255));

    // Alpha bit fields whose alpha is zero everywhere: the writer left them unset, the bitmap is opaque.
    image = DecodeDib(Info(1, 1, 32, BiAlphaBitfields, {}, 40, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
                      Pack({{0x00123456}}, 32), DibRgbColors);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
}

TEST(Dib, LastRowMayLackItsPadding) {
    const auto bits = Pack({{1, 2, 3}, {4, 5, 6}}, 24);
    const std::vector<uint8_t> trimmed(bits.begin(), bits.end() - 3);
    EXPECT_FALSE(DecodeDib(Info(3, 2, 24), trimmed, DibRgbColors).isNull());
    const std::vector<uint8_t> shorter(bits.begin(), bits.end() - 4);
    EXPECT_TRUE(DecodeDib(Info(3, 2, 24), shorter, DibRgbColors).isNull());
}

TEST(Dib, Rle8RunsAbsoluteDeltaAndEndCodes) {
    const auto palette = Palette(8);
    // Bottom row: run of 3 x colour 1, absolute run of 3 (padded), end of line.
    // Next row: delta (2, 0), run of 2 x colour 5, end of line. Top row: end of bitmap at once.
    const std::vector<uint8_t> bits = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 0, 2, 5, 0, 0, 0, 1};
    const QImage image = DecodeDib(Info(6, 3, 8, BiRle8, palette), bits, DibRgbColors);
    ASSERT_EQ(image.size(), QSize(6, 3));
    ASSERT_TRUE(image.hasAlphaChannel()); // skipped pixels let the background through
    const int bottom = 2, middle = 1, top = 0;
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(image.pixel(x, bottom), palette[1]);
    EXPECT_EQ(image.pixel(3, bottom), palette[2]);
    EXPECT_EQ(image.pixel(5, bottom), palette[4]);
    EXPECT_EQ(qAlpha(image.pixel(0, middle)), 0);
    EXPECT_EQ(image.pixel(2, middle), palette[5]);
    EXPECT_EQ(image.pixel(3, middle), palette[5]);
    EXPECT_EQ(qAlpha(image.pixel(4, middle)), 0);
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(qAlpha(image.pixel(x, top)), 0);
}

TEST(Dib, Rle4NibblesAndFullCoverageIsOpaque) {
    const auto palette = Palette(16);
    // Run of 5 alternating 0xA, 0xB; absolute run of 3 nibbles (2 bytes, already even); end of bitmap.
    const std::vector<uint8_t> bits = {5, 0xAB, 0, 3, 0x12, 0x30, 0, 1};
    const QImage image = DecodeDib(Info(8, 1, 4, BiRle4, palette), bits, DibRgbColors);
    ASSERT_FALSE(image.isNull());
    EXPECT_FALSE(image.hasAlphaChannel());
    const uint32_t expected[8] = {0xA, 0xB, 0xA, 0xB, 0xA, 1, 2, 3};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(image.pixel(x, 0), palette[expected[x]]) << x;
}

TEST(Dib, RleRunsPastTheEdgeAreClipped) {
    const auto palette = Palette(4);
    // A run longer than the row, a delta far outside, an absolute run that claims more bytes than exist.
    const std::vector<uint8_t> bits = {255, 1, 0, 2, 200, 200, 0, 50, 1};
    const QImage image = DecodeDib(Info(4, 2, 8, BiRle8, palette), bits, DibRgbColors);
    ASSERT_FALSE(image.isNull());
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(image.pixel(x, 1), palette[1]);
}

TEST(Dib, EmbeddedPngAndJpeg) {
    QImage source(4, 3, QImage::Format_RGB32);
    source.fill(qRgb(10, 200, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "PNG"));
    const std::vector<uint8_t> pngBits(png.begin(), png.end());
    QImage image = DecodeDib(Info(4, 3, 0, BiPng), pngBits, DibRgbColors);
    ASSERT_EQ(image.size(), QSize(4, 3));
    EXPECT_EQ(image.pixel(3, 2), qRgb(10, 200, 30));
    // The header and the embedded file disagree about the size: refused.
    EXPECT_TRUE(DecodeDib(Info(5, 3, 0, BiPng), pngBits, DibRgbColors).isNull());

    const auto jpeg = EncodeJpeg(source, 95);
    image = DecodeDib(Info(4, 3, 0, BiJpeg), jpeg, DibRgbColors);
    ASSERT_EQ(image.size(), QSize(4, 3));
    EXPECT_NEAR(qGreen(image.pixel(1, 1)), 200, 4);
}

TEST(Dib, HostileHeadersAreRefused) {
    const std::vector<uint8_t> bits(64, 0);
    struct TCase {
        const char* Reason;
        std::vector<uint8_t> Info;
    };
    std::vector<TCase> cases = {
        {"60,000 x 60,000 pixels", Info(60000, 60000, 24)},
        {"side above the limit", Info(40000, 1, 1)},
        {"pixel count above the limit", Info(30000, 30000, 1)},
        {"negative width", Info(-4, 4, 24)},
        {"zero height", Info(4, 0, 24)},
        {"most negative height", Info(4, INT_MIN, 24)},
        {"bit count 3", Info(4, 4, 3)},
        {"bit count 0 without an embedded file", Info(4, 4, 0)},
        {"RLE8 on 4 bits", Info(4, 4, 4, BiRle8)},
        {"RLE4 top-down", Info(4, -4, 4, BiRle4)},
        {"bit fields on 24 bits", Info(4, 4, 24, BiBitfields, {}, 40, {1, 2, 4})},
        {"bit fields without their masks", Info(4, 4, 16, BiBitfields)},
        {"unknown compression", Info(4, 4, 24, 11)},
        {"bits too short", Info(8, 8, 24)},
    };
    std::vector<uint8_t> badSize = Info(4, 4, 24);
    Put32(badSize, 0, 41);
    cases.push_back({"unknown header size", badSize});
    std::vector<uint8_t> truncated = Info(4, 4, 24);
    truncated.resize(30);
    cases.push_back({"header cut short", truncated});
    cases.push_back({"empty", {}});
    for (const TCase& c : cases)
        EXPECT_TRUE(DecodeDib(c.Info, bits, DibRgbColors).isNull()) << c.Reason;

    // A huge clrUsed is clamped to the table that is there, not trusted.
    auto info = Info(2, 1, 8, BiRgb, Palette(2));
    Put32(info, 32, 0x7FFFFFFF);
    EXPECT_FALSE(DecodeDib(info, Pack({{0, 1}}, 8), DibRgbColors).isNull());
    // An RLE bitmap of the largest allowed size from a few bytes stays cheap and bounded.
    EXPECT_FALSE(DecodeDib(Info(8192, 4096, 8, BiRle8, Palette(2)), std::vector<uint8_t>{0, 1}, DibRgbColors).isNull());
}

TEST(Dib, EncodeDecodeRoundTrip) {
    QImage opaque(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            opaque.setPixel(x, y, qRgb(x * 50, y * 80, 7));
    TDib dib = EncodeDib(opaque);
    EXPECT_EQ(DecodeDib(dib.Info, dib.Bits, DibRgbColors), opaque);

    const std::vector<uint8_t> file = EncodeBmpFile(opaque);
    EXPECT_EQ(DecodeBmpFile(file), opaque);
    std::vector<uint8_t> packed = dib.Info;
    packed.insert(packed.end(), dib.Bits.begin(), dib.Bits.end());
    EXPECT_EQ(DecodePackedDib(packed), opaque);

    QImage translucent(2, 1, QImage::Format_ARGB32);
    translucent.setPixel(0, 0, qRgba(255, 0, 0, 128));
    translucent.setPixel(1, 0, qRgba(0, 0, 0, 0));
    dib = EncodeDib(translucent);
    const QImage back = DecodeDib(dib.Info, dib.Bits, DibRgbColors, true).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(back.pixel(0, 0)), 128);
    EXPECT_NEAR(qRed(back.pixel(0, 0)), 255, 2);
    EXPECT_EQ(qAlpha(back.pixel(1, 0)), 0);
}

TEST(Dib, BmpFileWithBitsOffsetOutOfRange) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    std::vector<uint8_t> file = EncodeBmpFile(image);
    Put32(file, 10, 0xFFFFFF00); // bfOffBits past the end: the bits follow the header
    EXPECT_EQ(DecodeBmpFile(file), image);
    Put32(file, 10, 4); // into the file header
    EXPECT_EQ(DecodeBmpFile(file), image);
    file[0] = 'X';
    EXPECT_TRUE(DecodeBmpFile(file).isNull());
}
