// The real-world corpus: every file parses and plays onto every kind of device without a crash or a
// hang, re-recording a played file gives the same drawing, and renderings stay as close to the
// reference renderings as the levels recorded in tests/data/gdi/corpus-levels.tsv.

#include "PdfTestSupport.h"
#include "RenderCompare.h"
#include "TestPaths.h"

#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

using namespace pagimo;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    const fs::path dir = test::CorpusDir();
    if (dir.empty()) return files;
    for (const auto& e : fs::recursive_directory_iterator(dir / "emf")) {
        if (!e.is_regular_file()) continue;
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".emf") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Display size of a file as the reference renderings use it: its frame at 96 pixels per inch.
QSize DisplaySize(std::span<const uint8_t> bytes) {
    emf::TEmfHeader h;
    if (!emf::ReadEmfHeader(bytes, h)) return {};
    const int w = static_cast<int>(std::lround((static_cast<double>(h.FrameRight) - h.FrameLeft) * 96 / 2540.0));
    const int hh = static_cast<int>(std::lround((static_cast<double>(h.FrameBottom) - h.FrameTop) * 96 / 2540.0));
    return QSize(std::clamp(w, 1, 4000), std::clamp(hh, 1, 4000));
}

std::map<std::string, double> Levels() {
    std::map<std::string, double> levels;
    std::ifstream in(test::SourceDir() / "tests" / "data" / "gdi" / "corpus-levels.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        std::string name;
        double level = 0;
        if (s >> name >> level) levels[name] = level;
    }
    return levels;
}

} // namespace

TEST(GdiCorpus, EveryFilePlaysOnEveryDeviceWithoutCrashing) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    for (const auto& f : files) {
        SCOPED_TRACE(f.string());
        const auto bytes = ReadAll(f);
        const QSize size = DisplaySize(bytes);
        gdi::TPlayResult result;
        const QImage image = test::RenderEmf(bytes, std::max(size.width(), 8), std::max(size.height(), 8), &result);
        EXPECT_FALSE(image.isNull());
        gdi::TTraceDevice trace;
        gdi::TBoundsDevice bounds;
        gdi::TTextDevice text;
        gdi::TPlayOptions options;
        for (gdi::TDevice* d : std::initializer_list<gdi::TDevice*>{&trace, &bounds, &text})
            gdi::TEmfPlayer::Play(bytes, *d, options);
        gdi::TEmfRecorder recorder(std::max(size.width(), 8), std::max(size.height(), 8));
        gdi::TEmfPlayer::Play(bytes, recorder, options);
        const emf::TEmfPicture again = recorder.Finish();
        EXPECT_GT(again.Bytes().size(), 0u);
    }
}

TEST(GdiCorpus, ReRecordingAPlayedFileGivesTheSameDrawing) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    int compared = 0;
    for (const auto& f : files) {
        const auto bytes = ReadAll(f);
        const QSize size = DisplaySize(bytes);
        if (size.width() < 16 || size.height() < 16) continue; // a few pixels say nothing about a drawing
        SCOPED_TRACE(f.string());
        gdi::TPlayResult result;
        const QImage direct = test::RenderEmf(bytes, size.width(), size.height(), &result);
        if (!result.Complete) continue;
        // Record what the player draws at display size, then play the recording.
        emf::TEmfHeader header;
        ASSERT_TRUE(emf::ReadEmfHeader(bytes, header));
        gdi::TEmfRecorder recorder(size.width(), size.height());
        gdi::TPlayOptions options;
        options.DeviceTransform = gdi::TEmfPlayer::FrameTransform(header, QRectF(0, 0, size.width(), size.height()));
        gdi::TEmfPlayer::Play(bytes, recorder, options);
        const emf::TEmfPicture again = recorder.Finish();
        const QImage replayed = test::RenderEmf(again.Bytes(), size.width(), size.height());
        EXPECT_GE(test::InkAgreement(direct, replayed), 0.90) << "re-recorded drawing differs";
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

TEST(GdiCorpus, RenderingsStayCloseToTheReference) {
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    const fs::path corpus = test::CorpusDir();
    const auto levels = Levels();
    const char* report = std::getenv("PAGIMO_CORPUS_REPORT"); // a file to write the per-file table to
    std::ofstream out;
    if (report) out.open(report);
    int compared = 0;
    for (const auto& f : files) {
        const fs::path rel = fs::relative(f, corpus / "emf");
        fs::path ref = corpus / "reference" / rel;
        ref.replace_extension(".png");
        if (!fs::exists(ref)) continue;
        const QImage reference(QString::fromStdString(ref.string()));
        if (reference.isNull()) continue;
        const auto bytes = ReadAll(f);
        const QImage ours = test::RenderEmf(bytes, reference.width(), reference.height());
        const double score = test::InkAgreement(ours, reference);
        ++compared;
        if (out) {
            out << rel.generic_string() << '\t' << score << '\n';
        }
        const auto it = levels.find(rel.generic_string());
        if (it != levels.end()) {
            EXPECT_GE(score, it->second - 0.05) << rel.generic_string() << " got markedly worse";
        }
    }
    EXPECT_GT(compared, 200);
}

TEST(GdiCorpus, PdfDeviceDrawsWhatThePainterDeviceDraws) {
    // Every file through the PDF device, rasterised by poppler, against the painter device's drawing at
    // the same size; Qt's own PDF engine on the same file gives the level rasterising a PDF costs.
    const auto files = CorpusFiles();
    if (files.empty()) GTEST_SKIP() << "corpus not present";
    if (!test::HaveTool("pdftoppm")) GTEST_SKIP() << "poppler-utils not installed";
    const fs::path corpus = test::CorpusDir();
    const char* report = std::getenv("PAGIMO_PDF_CORPUS_REPORT"); // a file to write the per-file table to
    std::ofstream out;
    if (report) out.open(report);
    QTemporaryDir dir;
    int compared = 0, worse = 0;
    double sumOurs = 0, sumQt = 0;
    for (const auto& f : files) {
        const fs::path rel = fs::relative(f, corpus / "emf");
        const auto bytes = ReadAll(f);
        emf::TEmfPicture picture;
        try {
            picture = emf::TEmfPicture(bytes);
        } catch (const std::exception&) {
            continue; // refused as a picture: nothing to draw
        }
        const QSize size = DisplaySize(bytes);
        const std::string ours = dir.filePath(QStringLiteral("ours.pdf")).toStdString();
        ASSERT_EQ(test::WritePdfPages({&picture}, ours), 0) << rel.generic_string();
        if (rel.generic_string().find("corrupted") != std::string::npos) continue;
        if (size.width() < 16 || size.height() < 16) continue; // a few pixels say nothing about a drawing
        const QString qt = dir.filePath(QStringLiteral("qt.pdf"));
        {
            QPdfWriter writer(qt);
            writer.setResolution(1200);
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            writer.setPageSize(QPageSize(QSizeF(picture.WidthMM(), picture.HeightMM()), QPageSize::Millimeter,
                                         QString(), QPageSize::ExactMatch));
            QPainter painter(&writer);
            gdi::PlayEnhMetaFile(painter, picture,
                                 QRectF(0, 0, picture.WidthMM() / 25.4 * 1200, picture.HeightMM() / 25.4 * 1200));
        }
        const QImage painted = test::RenderEmf(bytes, size.width(), size.height());
        const QImage a = test::RasterisePdf(ours, 1, size.width(), size.height());
        const QImage b = test::RasterisePdf(qt.toStdString(), 1, size.width(), size.height());
        ASSERT_FALSE(a.isNull()) << rel.generic_string();
        if (b.isNull()) continue;
        const double scoreOurs = test::InkAgreement(painted, a), scoreQt = test::InkAgreement(painted, b);
        ++compared;
        sumOurs += scoreOurs;
        sumQt += scoreQt;
        if (scoreOurs < scoreQt - 0.05) ++worse;
        if (out) out << rel.generic_string() << '\t' << scoreOurs << '\t' << scoreQt << '\n';
        // Raster operations (XOR masks) have no PDF form in either engine; anything far below Qt's level
        // is a drawing gone wrong.
        EXPECT_GE(scoreOurs, scoreQt - 0.3) << rel.generic_string() << ": Qt's PDF agrees " << scoreQt;
    }
    EXPECT_GT(compared, 200);
    EXPECT_GE(sumOurs / compared, sumQt / compared - 0.01) << "on average";
    EXPECT_LE(worse, compared / 20) << "files drawn markedly worse than Qt's PDF draws them";
}
