// The odd JPEG and BMP files of the shared corpus: every file decodes or is refused cleanly, and where
// Qt's own decoders read a file too, both pictures agree within a tolerance.

#include "TestPaths.h"
#include "platform/graphics/Dib.h"
#include "platform/graphics/Jpeg.h"
#include "platform/graphics/Picture.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

using namespace pagimo::graphics;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

QImage QtDecode(const std::vector<uint8_t>& bytes) {
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false); // the picture holder shows pixels as stored, EXIF orientation aside
    // Qt's own limit would refuse nothing our limits allow; keep it from allocating for hostile headers.
    reader.setAllocationLimit(256);
    return reader.read();
}

// Mean absolute difference per channel (0 to 255), both pictures composited over mid grey so that
// transparent pixels compare by what they show. With paintedOnly, only the pixels a paints count: Qt
// leaves the pixels that RLE runs skip uninitialised, so only the painted ones compare.
double MeanDifference(const QImage& a, const QImage& b, bool paintedOnly) {
    auto flat = [](const QImage& image) {
        QImage out(image.size(), QImage::Format_RGB32);
        out.fill(qRgb(128, 128, 128));
        const QImage src = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) {
                const QRgb p = src.pixel(x, y);
                const int alpha = qAlpha(p);
                auto mix = [alpha](int c) { return (c * alpha + 128 * (255 - alpha) + 127) / 255; };
                out.setPixel(x, y, qRgb(mix(qRed(p)), mix(qGreen(p)), mix(qBlue(p))));
            }
        return out;
    };
    const QImage fa = flat(a), fb = flat(b);
    const QImage alpha = a.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    int64_t counted = 0;
    for (int y = 0; y < fa.height(); ++y)
        for (int x = 0; x < fa.width(); ++x) {
            if (paintedOnly && qAlpha(alpha.pixel(x, y)) == 0) continue;
            ++counted;
            const QRgb p = fa.pixel(x, y), q = fb.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return counted ? sum / (3.0 * double(counted)) : 0.0;
}

bool IsRle(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::span<const uint8_t> info, bits;
    TDibHeader header;
    return path.extension() == ".bmp" && SplitBmpFile(bytes, info, bits) && ReadDibHeader(info, DibRgbColors, header) &&
           (header.Compression == BiRle4 || header.Compression == BiRle8);
}

QImage OurDecode(const fs::path& path, const std::vector<uint8_t>& bytes) {
    const std::string ext = path.extension().string();
    if (ext == ".dib" && (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M')) return DecodePackedDib(bytes);
    if (ext == ".jpg" || ext == ".jpeg") return DecodeJpeg(bytes);
    return DecodeBmpFile(bytes);
}

// Files where we and Qt read the same bytes differently on purpose, with the reason. Each was looked at.
const std::map<std::string, std::string> Differences = {
    {"bmpsuite-via-pillow/q__pal8os2sp.bmp", "Qt takes the short OS/2 colour table from the wrong place"},
    {"bmpsuite-via-pillow/q__rgb16-231.bmp", "narrow channels are widened to the full range here, shifted in Qt"},
    {"bmpsuite-via-pillow/q__rgb32-111110.bmp", "Qt shows this bit-field layout black"},
    {"bmpsuite-via-pillow/q__rgba16-4444.bmp", "4-bit alpha widened to the full range here"},
    {"image-rs/images__bmp__images__rgba16-1924.bmp", "narrow channels widened to the full range here"},
    {"image-rs/images__bmp__images__rgba32-61754.bmp", "narrow channels widened to the full range here"},
    {"image-rs/images__bmp__images__V5_A1_R5_G5_B5.bmp", "a 1-bit alpha of 1 is opaque here, half transparent in Qt"},
    {"image-rs/images__bmp__images__V5_A8_R8_G8_B8_Rgb.bmp", "BI_RGB pixels are opaque (GDI), whatever the mask"},
    {"pillow/rgb32bf-abgr.bmp", "an alpha channel that is zero everywhere is taken as unset, Qt shows nothing"},
    {"bmpsuite-via-pillow/b__pal8badindex.bmp", "indices past the colour table are black here"},
};

// Files both decoders must read.
const std::set<std::string> MustDecode = {"bmpsuite-via-pillow/g__pal1.bmp",
                                          "bmpsuite-via-pillow/g__pal4rle.bmp",
                                          "bmpsuite-via-pillow/g__pal8os2.bmp",
                                          "bmpsuite-via-pillow/g__pal8v5.bmp",
                                          "bmpsuite-via-pillow/g__rgb32bf.bmp",
                                          "pillow/pil_sample_cmyk.jpg",
                                          "pillow/hopper_gray.jpg",
                                          "libjpeg-turbo/testimgari.jpg",
                                          "image-rs/images__jpg__progressive__cat.jpg",
                                          "pillow/truncated_jpeg.jpg",
                                          "poi/slideshow__clock.dib",
                                          "pillow/clipboard.dib",
                                          "bmpsuite-via-pillow/q__rgb24jpeg.bmp",
                                          "bmpsuite-via-pillow/q__rgb24png.bmp",
                                          "pillow/mmap_error.bmp"};

// Files that must be refused: sizes beyond what is there or allowed, depths that do not exist.
const std::set<std::string> MustRefuse = {"bmpsuite-via-pillow/b__badbitcount.bmp",
                                          "bmpsuite-via-pillow/b__reallybig.bmp",
                                          "bmpsuite-via-pillow/b__badwidth.bmp",
                                          "bmpsuite-via-pillow/b__shortfile.bmp",
                                          "libjpeg-turbo/monkey12.jpg",
                                          "image-rs/bad__bmp__Bad_unusual_extend_buffer_usage.bmp"};

} // namespace

TEST(CorpusImages, EveryFileDecodesOrIsRefusedAndAgreesWithQt) {
    const fs::path corpus = pagimo::test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "shared corpus not present";
    const fs::path dir = corpus / "images";
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".bmp" || ext == ".dib" || ext == ".jpg" || ext == ".jpeg") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 100u);
    int decoded = 0, refused = 0, compared = 0;
    for (const fs::path& path : files) {
        const std::string name = fs::relative(path, dir).string();
        const std::vector<uint8_t> bytes = ReadAll(path);
        const QImage ours = OurDecode(path, bytes);
        const QImage qt = QtDecode(bytes);
        (ours.isNull() ? refused : decoded)++;
        if (MustDecode.count(name)) {
            EXPECT_FALSE(ours.isNull()) << name;
        }
        if (MustRefuse.count(name)) {
            EXPECT_TRUE(ours.isNull()) << name;
        }
        std::printf("%-70s ours %s  qt %s", name.c_str(),
                    ours.isNull()
                        ? "refused  "
                        : qPrintable(QStringLiteral("%1x%2").arg(ours.width()).arg(ours.height()).leftJustified(9)),
                    qt.isNull() ? "refused" : qPrintable(QStringLiteral("%1x%2").arg(qt.width()).arg(qt.height())));
        if (!ours.isNull() && !qt.isNull() && ours.size() == qt.size()) {
            const double diff = MeanDifference(ours, qt, IsRle(path, bytes));
            std::printf("  diff %.2f", diff);
            ++compared;
            if (!Differences.count(name)) {
                EXPECT_LT(diff, 4.0) << name; // 5-bit channels widen differently
            }
        } else if (!ours.isNull() && !qt.isNull()) {
            ADD_FAILURE() << name << ": sizes differ";
        }
        std::printf("\n");
    }
    std::printf("%d decoded, %d refused, %d compared with Qt\n", decoded, refused, compared);
}
