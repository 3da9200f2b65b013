// JPEG decoding through libjpeg: colour models, damaged and hostile files.

#include "platform/graphics/Jpeg.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>

#include <cmath>
#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

using namespace pagimo::graphics;

namespace {

QImage Gradient(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 128));
    return image;
}

double MeanDifference(const QImage& a, const QImage& b, int rows = -1) {
    const QImage ra = a.convertToFormat(QImage::Format_RGB32), rb = b.convertToFormat(QImage::Format_RGB32);
    if (rows < 0) rows = ra.height();
    double sum = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < ra.width(); ++x) {
            const QRgb p = ra.pixel(x, y), q = rb.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * ra.width() * rows);
}

std::vector<uint8_t> QtWrite(const QImage& image, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return {bytes.begin(), bytes.end()};
}

// A CMYK file as Photoshop writes them: libjpeg adds the Adobe marker, and the values are inverted.
std::vector<uint8_t> CmykJpeg(int w, int h, const uint8_t inverted[4]) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int x = 0; x < w; ++x)
        std::copy(inverted, inverted + 4, row.begin() + 4 * x);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

size_t FindMarker(const std::vector<uint8_t>& data, uint8_t marker) {
    for (size_t i = 2; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == marker) return i;
    return 0;
}

} // namespace

TEST(Jpeg, EncodeDecodeRoundTripAndHeader) {
    const QImage source = Gradient(64, 48);
    const auto bytes = EncodeJpeg(source, 95);
    ASSERT_FALSE(bytes.empty());
    TJpegInfo info;
    ASSERT_TRUE(ReadJpegInfo(bytes, info));
    EXPECT_EQ(info.Width, 64);
    EXPECT_EQ(info.Height, 48);
    EXPECT_EQ(info.Components, 3);
    EXPECT_FALSE(info.Progressive);
    EXPECT_EQ(info.DensityUnit, 1);
    EXPECT_EQ(info.XDensity, 96);
    const QImage decoded = DecodeJpeg(bytes);
    ASSERT_EQ(decoded.format(), QImage::Format_RGB32);
    ASSERT_EQ(decoded.size(), source.size());
    EXPECT_LT(MeanDifference(decoded, source), 2.0);
}

TEST(Jpeg, ProgressiveAndGreyFiles) {
    const QImage source = Gradient(40, 30);
    const auto progressive = QtWrite(source, true);
    TJpegInfo info;
    ASSERT_TRUE(ReadJpegInfo(progressive, info));
    EXPECT_TRUE(info.Progressive);
    EXPECT_LT(MeanDifference(DecodeJpeg(progressive), source), 2.0);

    const QImage grey = source.convertToFormat(QImage::Format_Grayscale8);
    const QImage decoded = DecodeJpeg(QtWrite(grey, false));
    ASSERT_EQ(decoded.format(), QImage::Format_Grayscale8);
    EXPECT_LT(MeanDifference(decoded, grey), 2.0);
}

TEST(Jpeg, AdobeCmykIsInverted) {
    const uint8_t red[4] = {255, 0, 0, 255}; // no cyan, full magenta and yellow, no black, stored inverted
    const QImage image = DecodeJpeg(CmykJpeg(16, 16, red));
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    const QRgb p = image.pixel(8, 8);
    EXPECT_GT(qRed(p), 245);
    EXPECT_LT(qGreen(p), 10);
    EXPECT_LT(qBlue(p), 10);
}

TEST(Jpeg, TruncatedFileDecodesAsFarAsItGoes) {
    const QImage source = Gradient(64, 64);
    auto bytes = EncodeJpeg(source, 95);
    bytes.resize(bytes.size() * 2 / 3);
    const QImage image = DecodeJpeg(bytes);
    ASSERT_EQ(image.size(), source.size());
    EXPECT_LT(MeanDifference(image, source, 16), 2.0); // the top rows were in the data
}

TEST(Jpeg, DamagedAndHostileFilesAreRefusedWithAReason) {
    std::string error;
    EXPECT_TRUE(DecodeJpeg(std::vector<uint8_t>{'B', 'M', 0, 0}, &error).isNull());
    EXPECT_EQ(error, "not a JPEG file");
    EXPECT_TRUE(DecodeJpeg(std::vector<uint8_t>{}, &error).isNull());

    std::vector<uint8_t> garbage = {0xFF, 0xD8};
    for (int i = 0; i < 200; ++i)
        garbage.push_back(uint8_t(i * 37));
    error.clear();
    EXPECT_TRUE(DecodeJpeg(garbage, &error).isNull());
    EXPECT_FALSE(error.empty());

    // A frame header that claims 60,000 x 60,000 pixels is refused before anything is allocated.
    auto huge = EncodeJpeg(Gradient(8, 8));
    const size_t sof = FindMarker(huge, 0xC0);
    ASSERT_NE(sof, 0u);
    for (size_t at : {sof + 5, sof + 7}) {
        huge[at] = 60000 >> 8;
        huge[at + 1] = 60000 & 0xFF;
    }
    error.clear();
    EXPECT_TRUE(DecodeJpeg(huge, &error).isNull());
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    TJpegInfo info;
    EXPECT_FALSE(ReadJpegInfo(huge, info));

    // A file cut inside its headers has nothing to show.
    auto headerOnly = EncodeJpeg(Gradient(8, 8));
    headerOnly.resize(FindMarker(headerOnly, 0xC0) + 4);
    EXPECT_TRUE(DecodeJpeg(headerOnly).isNull());
}

TEST(Jpeg, EndlessProgressiveScansAreCutShort) {
    // Thousands of scans cost a pass over the whole image each: the last scan repeated 2,000 times.
    const auto progressive = QtWrite(Gradient(16, 16), true);
    size_t lastScan = 0;
    for (size_t i = 2; i + 1 < progressive.size(); ++i)
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA) lastScan = i;
    ASSERT_NE(lastScan, 0u);
    const std::vector<uint8_t> scan(progressive.begin() + std::ptrdiff_t(lastScan), progressive.end() - 2);
    std::vector<uint8_t> hostile(progressive.begin(), progressive.end() - 2);
    for (int i = 0; i < 2000; ++i) hostile.insert(hostile.end(), scan.begin(), scan.end());
    hostile.push_back(0xFF);
    hostile.push_back(0xD9);
    std::string error;
    EXPECT_TRUE(DecodeJpeg(hostile, &error).isNull());
    EXPECT_TRUE(error == "too many scans" || error == "too much corrupt data") << error;
}
