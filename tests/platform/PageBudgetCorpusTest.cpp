// The page work budget against the real-world corpus: every page plays complete and unsimplified at
// the highest resolution the tools draw (1200 dpi, where stroked lengths and thin-pen dashes are
// largest), and the largest page's work stays a generous multiple below each limit.

#include "TestPaths.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace pagimo;
namespace fs = std::filesystem;

TEST(PageBudgetCorpus, NoRealPageComesNearTheLimits) {
    const fs::path dir = test::CorpusDir();
    if (dir.empty()) GTEST_SKIP() << "corpus not present";
    const gdi::TWorkLimits limits;
    gdi::TPlayWork most;
    std::string mostPoints, mostLength, mostClips, mostGlyphs, mostPainted;
    int played = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "emf")) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (!e.is_regular_file() || ext != ".emf") continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        emf::TEmfHeader header;
        if (!emf::ReadEmfHeader(bytes, header)) continue;
        SCOPED_TRACE(e.path().string());
        // The frame at 1200 dpi.
        const double w = (static_cast<double>(header.FrameRight) - header.FrameLeft) / 2540.0 * 1200;
        const double h = (static_cast<double>(header.FrameBottom) - header.FrameTop) / 2540.0 * 1200;
        gdi::TPlayOptions options;
        options.DeviceTransform =
            gdi::TEmfPlayer::FrameTransform(header, QRectF(0, 0, std::max(w, 8.0), std::max(h, 8.0)));
        gdi::TBoundsDevice device;
        const gdi::TPlayResult result = gdi::TEmfPlayer::Play(bytes, device, options);
        EXPECT_FALSE(result.OverBudget) << result.Problem;
        EXPECT_FALSE(result.Work.Simplified);
        const std::string name = fs::relative(e.path(), dir).string();
        if (result.Work.Points > most.Points) most.Points = result.Work.Points, mostPoints = name;
        if (result.Work.StrokedLength > most.StrokedLength)
            most.StrokedLength = result.Work.StrokedLength, mostLength = name;
        if (result.Work.ClipPoints > most.ClipPoints) most.ClipPoints = result.Work.ClipPoints, mostClips = name;
        most.ClipOperations = std::max(most.ClipOperations, result.Work.ClipOperations);
        most.Records = std::max(most.Records, result.Work.Records);
        most.ImagePixels = std::max(most.ImagePixels, result.Work.ImagePixels);
        most.Fonts = std::max(most.Fonts, result.Work.Fonts);
        if (result.Work.PaintedArea > most.PaintedArea) most.PaintedArea = result.Work.PaintedArea, mostPainted = name;
        most.Pictures = std::max(most.Pictures, result.Work.Pictures);
        most.PictureBytes = std::max(most.PictureBytes, result.Work.PictureBytes);
        if (result.Work.GlyphArea > most.GlyphArea) most.GlyphArea = result.Work.GlyphArea, mostGlyphs = name;
        ++played;
    }
    std::printf("largest real pages: points %llu (%s) of %llu; stroked %.0f picture px (%s) of %.0f;"
                " clip points %llu (%s) of %llu; clip operations %llu of %llu\n",
                static_cast<unsigned long long>(most.Points), mostPoints.c_str(),
                static_cast<unsigned long long>(limits.Points), most.StrokedLength, mostLength.c_str(),
                limits.StrokedLength, static_cast<unsigned long long>(most.ClipPoints), mostClips.c_str(),
                static_cast<unsigned long long>(limits.ClipPoints),
                static_cast<unsigned long long>(most.ClipOperations),
                static_cast<unsigned long long>(limits.ClipOperations));
    std::printf("largest real pages: records %llu of %llu; image pixels %llu of %llu; fonts %llu of %llu; glyph area"
                " %.1f pages (%s) of %.0f\n",
                static_cast<unsigned long long>(most.Records), static_cast<unsigned long long>(limits.Records),
                static_cast<unsigned long long>(most.ImagePixels), static_cast<unsigned long long>(limits.ImagePixels),
                static_cast<unsigned long long>(most.Fonts), static_cast<unsigned long long>(limits.Fonts),
                most.GlyphArea, mostGlyphs.c_str(), limits.GlyphArea);
    std::printf("largest real pages: painted area %.1f pages (%s) of %.0f; pictures played inside %llu of %llu, %llu"
                " bytes of %llu\n",
                most.PaintedArea, mostPainted.c_str(), limits.PaintedArea,
                static_cast<unsigned long long>(most.Pictures), static_cast<unsigned long long>(limits.Pictures),
                static_cast<unsigned long long>(most.PictureBytes),
                static_cast<unsigned long long>(limits.PictureBytes));
    EXPECT_GT(played, 100);
    // The limits at least ten times what the largest real page needs (clip points and painted area,
    // whose costs grow fastest, five times).
    EXPECT_LE(most.Points * 10, limits.Points);
    EXPECT_LE(most.StrokedLength * 10, limits.StrokedLength);
    EXPECT_LE(most.ClipPoints * 5, limits.ClipPoints);
    EXPECT_LE(most.ClipOperations * 10, limits.ClipOperations);
    EXPECT_LE(most.Records * 10, limits.Records);
    EXPECT_LE(most.ImagePixels * 3, limits.ImagePixels) << "three full-page scans at 600 dpi";
    EXPECT_LE(most.Fonts * 10, limits.Fonts);
    EXPECT_LE(most.GlyphArea * 10, limits.GlyphArea);
    EXPECT_LE(most.PaintedArea * 5, limits.PaintedArea);
    EXPECT_LE(most.Pictures * 10, limits.Pictures);
    EXPECT_LE(most.PictureBytes * 10, limits.PictureBytes);
}
