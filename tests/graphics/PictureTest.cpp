// The picture holder and the picture-format registry: loading by extension and by signature, copying,
// and the errors users see.

#include "platform/graphics/Picture.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/Jpeg.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Metafile.h"
#include "platform/graphics/PictureFormats.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

using namespace pagimo::graphics;
using pagimo::EQRError;
namespace fs = std::filesystem;

namespace {

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}

// A one-page EMF of 1 x 1 inch: header and end-of-file records.
std::vector<uint8_t> TinyEmf() {
    std::vector<uint8_t> v(108, 0);
    Put32(v, 0, 1);
    Put32(v, 4, 88);
    Put32(v, 16, 95);
    Put32(v, 20, 95);
    Put32(v, 32, 2540);
    Put32(v, 36, 2540);
    Put32(v, 40, 0x464D4520);
    Put32(v, 44, 0x10000);
    Put32(v, 48, 108);
    Put32(v, 52, 2);
    Put16(v, 56, 1);
    Put32(v, 72, 1920);
    Put32(v, 76, 1080);
    Put32(v, 80, 508);
    Put32(v, 84, 286);
    Put32(v, 88, 14);
    Put32(v, 92, 20);
    Put32(v, 100, 16);
    Put32(v, 104, 20);
    return v;
}

// An icon file: a 16 x 16 4-bit image whose AND mask makes the left half transparent, and a 32 x 32
// 32-bit image with alpha.
std::vector<uint8_t> TwoImageIcon() {
    std::vector<uint8_t> small(40, 0);
    Put32(small, 0, 40);
    Put32(small, 4, 16);
    Put32(small, 8, 32);
    Put16(small, 12, 1);
    Put16(small, 14, 4);
    for (int i = 0; i < 16; ++i) { // colour i = (i*16, 0, 0)
        small.push_back(0);
        small.push_back(0);
        small.push_back(uint8_t(i * 16));
        small.push_back(0);
    }
    for (int y = 0; y < 16; ++y)
        for (int b = 0; b < 8; ++b)
            small.push_back(0x33); // colour 3 everywhere
    for (int y = 0; y < 16; ++y) {
        for (int b : {0xFF, 0x00, 0x00, 0x00})
            small.push_back(uint8_t(b)); // left 8 pixels masked
    }
    std::vector<uint8_t> large(40, 0);
    Put32(large, 0, 40);
    Put32(large, 4, 32);
    Put32(large, 8, 64);
    Put16(large, 12, 1);
    Put16(large, 14, 32);
    for (int i = 0; i < 32 * 32; ++i) {
        for (int b : {0x00, 0xFF, 0x00, i < 32 * 16 ? 0x40 : 0xFF})
            large.push_back(uint8_t(b)); // green
    }
    for (int i = 0; i < 32 * 4; ++i)
        large.push_back(0);

    std::vector<uint8_t> file(6 + 2 * 16, 0);
    Put16(file, 2, 1);
    Put16(file, 4, 2);
    const std::vector<uint8_t>* images[] = {&small, &large};
    size_t offset = file.size();
    for (int i = 0; i < 2; ++i) {
        const size_t e = 6 + 16 * i;
        file[e] = i == 0 ? 16 : 32;
        file[e + 1] = i == 0 ? 16 : 32;
        Put16(file, e + 4, 1);
        Put16(file, e + 6, i == 0 ? 4 : 32);
        Put32(file, e + 8, uint32_t(images[i]->size()));
        Put32(file, e + 12, uint32_t(offset));
        offset += images[i]->size();
    }
    for (auto* image : images)
        file.insert(file.end(), image->begin(), image->end());
    return file;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EQRError& e) {
        return e.what();
    }
    return "(no error)";
}

class Pictures : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        RegisterJpegFormat();
    }
    void TearDown() override { UnregisterJpegFormat(); }
    fs::path File(const char* name) const { return fs::path(Dir.path().toStdString()) / name; }

    QTemporaryDir Dir;
};

} // namespace

TEST_F(Pictures, RegistryKnowsTheBuiltInFormatsAndJpegAfterStartUp) {
    TPictureFormatRegistry& formats = PictureFormats();
    ASSERT_NE(formats.Find("bmp"), nullptr);
    EXPECT_EQ(formats.Find("BMP")->Kind, TGraphicKind::gkBitmap);
    EXPECT_EQ(formats.Find(".ico")->Kind, TGraphicKind::gkIcon);
    EXPECT_EQ(formats.Find("emf")->Kind, TGraphicKind::gkMetafile);
    for (const char* ext : {"jpeg", "jpg", ".JPG"}) {
        const TPictureFormat* f = formats.Find(ext);
        ASSERT_NE(f, nullptr) << ext;
        EXPECT_EQ(f->Description, "JPEG Image File");
        EXPECT_EQ(f->Create()->Kind(), TGraphicKind::gkJpeg);
    }
    const size_t count = formats.Formats().size();
    RegisterJpegFormat(); // twice: no duplicates
    EXPECT_EQ(formats.Formats().size(), count);
    EXPECT_NE(formats.Filter().find("|JPEG Image File (*.jpg)|*.jpg"), std::string::npos) << formats.Filter();

    UnregisterJpegFormat();
    EXPECT_EQ(formats.Find("jpg"), nullptr);
    EXPECT_EQ(formats.Find("jpeg"), nullptr);
    EXPECT_NE(formats.Find("bmp"), nullptr);
}

TEST_F(Pictures, LoadsEachKindByExtension) {
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(qRgb(200, 10, 10));
    WriteFile(File("a.bmp"), EncodeBmpFile(image));
    WriteFile(File("b.JPG"), EncodeJpeg(image));
    WriteFile(File("c.ico"), TwoImageIcon());
    WriteFile(File("d.emf"), TinyEmf());

    TPicture picture;
    int changes = 0;
    picture.OnChange = [&] { ++changes; };
    picture.LoadFromFile(File("a.bmp"));
    ASSERT_NE(picture.Bitmap(), nullptr);
    EXPECT_EQ(picture.Width(), 6);
    EXPECT_EQ(picture.Graphic()->Image().pixel(5, 3), qRgb(200, 10, 10));

    picture.LoadFromFile(File("b.JPG"));
    EXPECT_EQ(picture.Graphic()->Kind(), TGraphicKind::gkJpeg);
    EXPECT_EQ(picture.Height(), 4);

    picture.LoadFromFile(File("c.ico"));
    EXPECT_EQ(picture.Graphic()->Kind(), TGraphicKind::gkIcon);
    EXPECT_EQ(picture.Width(), 32); // the larger of the two images

    picture.LoadFromFile(File("d.emf"));
    EXPECT_EQ(picture.Graphic()->Kind(), TGraphicKind::gkMetafile);
    EXPECT_EQ(picture.Width(), 96);
    EXPECT_EQ(picture.Height(), 96);
    EXPECT_EQ(changes, 4);

    // Saving gives back the bytes that were loaded.
    picture.SaveToFile(File("e.emf"));
    EXPECT_EQ(ReadPictureFile(File("e.emf")), TinyEmf());
}

TEST_F(Pictures, FailuresLeaveThePictureAsItWasAndSayWhy) {
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(Qt::blue);
    WriteFile(File("good.bmp"), EncodeBmpFile(image));
    WriteFile(File("bad.bmp"), {'B', 'M', 1, 2, 3});
    WriteFile(File("bad.ico"), {0, 0, 1, 0, 1, 0, 32, 32});
    WriteFile(File("bad.emf"), {1, 0, 0, 0});
    WriteFile(File("bad.jpg"), {0xFF, 0xD8, 0xFF, 0xC0, 0, 0});
    WriteFile(File("x.xyz"), {1});

    TPicture picture;
    picture.LoadFromFile(File("good.bmp"));
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(File("bad.bmp")); }), "Bitmap image is not valid");
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(File("bad.ico")); }), "Icon image is not valid");
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(File("bad.emf")); }), "Metafile is not valid");
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(File("bad.jpg")); }).rfind("JPEG image is not valid: ", 0), 0u);
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(File("x.xyz")); }), "Unknown picture file extension (.xyz)");
    const fs::path missing = File("missing.bmp");
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(missing); }), "Cannot open file " + missing.string());
    ASSERT_NE(picture.Bitmap(), nullptr);
    EXPECT_EQ(picture.Width(), 3);

    // Without the start-up registration a JPEG file is an unknown extension.
    UnregisterJpegFormat();
    WriteFile(File("ok.jpg"), EncodeJpeg(image));
    EXPECT_EQ(ErrorOf([&] { picture.LoadFromFile(File("ok.jpg")); }), "Unknown picture file extension (.jpg)");
}

TEST_F(Pictures, CopiesAreIndependentAndBytesAreSniffed) {
    TPicture a;
    a.LoadFromBytes(TinyEmf());
    TPicture b = a;
    ASSERT_NE(b.Graphic(), a.Graphic());
    EXPECT_EQ(b.Graphic()->SaveToBytes(), TinyEmf());
    a.Clear();
    EXPECT_TRUE(a.Empty());
    EXPECT_FALSE(b.Empty());

    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::green);
    a.LoadFromBytes(EncodeJpeg(image));
    EXPECT_EQ(a.Graphic()->Kind(), TGraphicKind::gkJpeg);
    a.LoadFromBytes(TwoImageIcon());
    EXPECT_EQ(a.Graphic()->Kind(), TGraphicKind::gkIcon);
    EXPECT_EQ(ErrorOf([&] { a.LoadFromBytes(std::vector<uint8_t>{'G', 'I', 'F', '8'}); }), "Unknown picture format");
    EXPECT_EQ(a.Graphic()->Kind(), TGraphicKind::gkIcon);
}

TEST(Icon, LargestImageWithAlphaOrMask) {
    TIcon icon;
    icon.LoadFromBytes(TwoImageIcon());
    EXPECT_EQ(icon.ImageCount(), 2);
    const QImage large = icon.Image();
    ASSERT_EQ(large.size(), QSize(32, 32));
    // The 32-bit image keeps its own alpha: rows stored first are the bottom ones.
    EXPECT_EQ(large.pixel(0, 31), qRgba(0, 255, 0, 0x40));
    EXPECT_EQ(large.pixel(0, 0), qRgba(0, 255, 0, 0xFF));

    // The 4-bit image on its own takes transparency from the AND mask.
    const auto bytes = TwoImageIcon();
    const uint32_t offset = uint32_t(bytes[18] | bytes[19] << 8), size = uint32_t(bytes[14] | bytes[15] << 8);
    const QImage small = DecodeIconImage(std::span(bytes).subspan(offset, size));
    ASSERT_EQ(small.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(small.pixel(3, 5)), 0);
    EXPECT_EQ(small.pixel(12, 5), qRgb(48, 0, 0));
}

TEST(Icon, LyingDirectoryIsRefused) {
    auto bytes = TwoImageIcon();
    Put32(bytes, 6 + 12, 0x7FFFFFF0);     // first image's offset past the end
    Put32(bytes, 6 + 16 + 8, 0x7FFFFFF0); // second image's size past the end
    TIcon icon;
    EXPECT_THROW(icon.LoadFromBytes(bytes), EQRError);
    Put16(bytes, 4, 5000); // more entries than the file holds
    EXPECT_THROW(icon.LoadFromBytes(bytes), EQRError);
}

TEST(Bitmap, KeepsTheDibItCameWith) {
    std::vector<uint8_t> info(40 + 8, 0);
    Put32(info, 0, 40);
    Put32(info, 4, 9);
    Put32(info, 8, 2);
    Put16(info, 12, 1);
    Put16(info, 14, 1);
    Put32(info, 32, 2);
    info[44] = info[45] = info[46] = 0xFF; // colour 1 white
    const std::vector<uint8_t> bits = {0xAA, 0x80, 0, 0, 0x55, 0x00, 0, 0};
    TBitmap bitmap;
    bitmap.SetDib(info, bits);
    EXPECT_TRUE(bitmap.Monochrome());
    EXPECT_EQ(bitmap.DibInfo(), info);
    EXPECT_EQ(bitmap.DibBits(), bits);
    EXPECT_EQ(bitmap.Image().pixel(0, 1), qRgb(255, 255, 255)); // bottom row first
    EXPECT_EQ(bitmap.Image().pixel(8, 1), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.Image().pixel(0, 0), qRgb(0, 0, 0));

    TBitmap copy;
    copy.LoadFromBytes(bitmap.SaveToBytes());
    EXPECT_EQ(copy.DibBits(), bits);
    EXPECT_EQ(copy.Image(), bitmap.Image());
}
