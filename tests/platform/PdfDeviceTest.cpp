// The PDF device: pages drawn through it look like the painter device's drawing of the same pictures,
// text stays text (extractable, in order, fonts embedded once), the file is well formed, and write
// errors are noticed in one place.

#include "PdfTestSupport.h"
#include "TestPaths.h"

#include "platform/gdi/FontMatcher.h"
#include "platform/gdi/FontSubset.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QTemporaryDir>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <regex>

using namespace pagimo;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Text in several faces, sizes, alignments and decorations, turned and on an opaque background, with
// a character the face lacks.
emf::TEmfPicture TextPage() {
    gdi::TMetafileCanvas c(600, 400);
    c.SetBkMode(gdi::TRANSPARENT);
    c.Font.Name = "Arial";
    c.Font.Height = -24;
    c.Font.Weight = gdi::FW_BOLD;
    c.TextOut(20, 20, "Přehled objednávek");
    c.Font.Weight = gdi::FW_NORMAL;
    c.Font.Height = -13;
    for (int i = 0; i < 8; ++i)
        c.TextOut(20, 60 + 18 * i, "Řádek " + std::to_string(i + 1) + ": šrouby M8 a podložky, 100 ks");
    c.SetTextAlign(gdi::TA_RIGHT | gdi::TA_TOP);
    c.TextOut(580, 60, "1 234,50 Kč");
    c.SetTextAlign(gdi::TA_CENTER | gdi::TA_TOP);
    c.Font.Name = "Times New Roman";
    c.Font.Height = -18;
    c.Font.Italic = true;
    c.TextOut(300, 220, "Centred italic serif");
    c.Font.Italic = false;
    c.SetTextAlign(gdi::TA_LEFT | gdi::TA_TOP);
    c.Font.Name = "Courier New";
    c.Font.Underline = true;
    c.TextOut(20, 260, "underlined mono");
    c.Font.Underline = false;
    c.Font.StrikeOut = true;
    c.TextOut(250, 260, "struck out");
    c.Font.StrikeOut = false;
    c.Font.Name = "Arial";
    c.SetBkMode(gdi::OPAQUE);
    c.SetBkColor(gdi::Rgb(255, 230, 120));
    c.TextOut(20, 300, "on an opaque background");
    c.SetBkMode(gdi::TRANSPARENT);
    c.Font.Escapement = 900;
    c.TextOut(560, 380, "upwards");
    c.Font.Escapement = 0;
    c.Font.Color = gdi::Rgb(200, 0, 0);
    c.TextOut(20, 340, "Red snowman \u2603 and arrow \u2192");
    return c.Finish();
}

// Pens, brushes, hatches, curves, a clip and a bitmap.
emf::TEmfPicture ShapePage() {
    gdi::TMetafileCanvas c(600, 400);
    c.Brush.Color = gdi::Rgb(40, 120, 220);
    c.Rectangle(20, 20, 180, 100);
    c.Pen.Width = 5;
    c.Brush.Style = gdi::BS_HATCHED;
    c.Brush.Hatch = gdi::HS_CROSS;
    c.Brush.Color = gdi::Rgb(0, 130, 0);
    c.Ellipse(200, 20, 380, 120);
    c.Brush.Hatch = gdi::HS_FDIAGONAL;
    c.SetBkMode(gdi::TRANSPARENT);
    c.RoundRect(400, 20, 580, 120, 30, 30);
    c.SetBkMode(gdi::OPAQUE);
    c.Pen.Width = 1;
    for (uint32_t style : {gdi::PS_SOLID, gdi::PS_DASH, gdi::PS_DOT, gdi::PS_DASHDOT, gdi::PS_DASHDOTDOT}) {
        c.Pen.Style = style;
        const int y = 140 + 12 * static_cast<int>(style);
        c.MoveTo(20, y);
        c.LineTo(580, y);
    }
    c.Pen.Style = gdi::PS_SOLID;
    c.Pen.Width = 3;
    c.Pen.Color = gdi::Rgb(160, 0, 160);
    const QPoint star[] = {{100, 220}, {130, 300}, {60, 250}, {140, 250}, {70, 300}};
    c.SetPolyFillMode(gdi::ALTERNATE);
    c.Brush.Style = gdi::BS_SOLID;
    c.Brush.Color = gdi::Rgb(250, 200, 0);
    c.Polygon(star);
    c.Pie(160, 210, 260, 310, QPoint(260, 260), QPoint(210, 210));
    c.Arc(280, 210, 380, 310, QPoint(380, 260), QPoint(280, 260));
    c.SaveDC();
    c.IntersectClipRect(400, 200, 500, 300);
    c.Brush.Color = gdi::Rgb(220, 60, 60);
    c.Ellipse(380, 180, 560, 340);
    c.RestoreDC();
    QImage picture(32, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            picture.setPixel(x, y, qRgb(x * 8, y * 16, 200));
    c.StretchDraw(QRect(20, 320, 128, 64), picture);
    c.Pen.Width = 1;
    c.Pen.Color = gdi::clBlack;
    c.MoveTo(200, 390);
    c.LineTo(580, 390);
    return c.Finish();
}

} // namespace

// The same picture through Qt's own PDF engine (the painter device on a QPdfWriter): the level of
// agreement that rasterising any PDF costs.
void WriteQtPdf(const emf::TEmfPicture& picture, const QString& path) {
    QPdfWriter writer(path);
    writer.setResolution(1200);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QSizeF(picture.WidthMM(), picture.HeightMM()), QPageSize::Millimeter, QString(),
                                 QPageSize::ExactMatch));
    QPainter painter(&writer);
    gdi::PlayEnhMetaFile(painter, picture,
                         QRectF(0, 0, picture.WidthMM() / 25.4 * 1200, picture.HeightMM() / 25.4 * 1200));
}

TEST(PdfDevice, PagesLookLikeThePainterDevicesDrawing) {
    if (!test::HaveTool("pdftoppm")) GTEST_SKIP() << "poppler-utils not installed";
    QTemporaryDir dir;
    const std::string pdf = dir.filePath(QStringLiteral("pages.pdf")).toStdString();
    const emf::TEmfPicture text = TextPage(), shapes = ShapePage();
    ASSERT_EQ(test::WritePdfPages({&text, &shapes}, pdf), 0);
    int page = 0;
    for (const emf::TEmfPicture* picture : {&text, &shapes}) {
        ++page;
        const QImage painted = test::RenderEmf(picture->Bytes(), 600, 400);
        const QImage rastered = test::RasterisePdf(pdf, page, 600, 400);
        ASSERT_FALSE(rastered.isNull()) << "page " << page;
        if (const char* keep = std::getenv("PAGIMO_KEEP_PDF_PAGES")) {
            painted.save(QString::fromUtf8(keep) + QStringLiteral("/painted-%1.png").arg(page));
            rastered.save(QString::fromUtf8(keep) + QStringLiteral("/pdf-%1.png").arg(page));
        }
        const QString qtPdf = dir.filePath(QStringLiteral("qt-%1.pdf").arg(page));
        WriteQtPdf(*picture, qtPdf);
        const QImage qtRastered = test::RasterisePdf(qtPdf.toStdString(), 1, 600, 400);
        const double ours = test::InkAgreement(painted, rastered), qts = test::InkAgreement(painted, qtRastered);
        EXPECT_GE(ours, qts - 0.02) << "page " << page << ": Qt's PDF agrees " << qts;
        EXPECT_GE(ours, 0.85) << "page " << page;
    }
}

TEST(PdfDevice, TextIsExtractableInReadingOrder) {
    if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "poppler-utils not installed";
    QTemporaryDir dir;
    const std::string pdf = dir.filePath(QStringLiteral("text.pdf")).toStdString();
    const emf::TEmfPicture text = TextPage();
    ASSERT_EQ(test::WritePdfPages({&text}, pdf), 0);
    const auto run = test::RunTool(QStringLiteral("pdftotext"), {QString::fromStdString(pdf), QStringLiteral("-")});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string& out = run.Out;
    for (const char* expected : {"Přehled objednávek", "Řádek 1: šrouby M8 a podložky, 100 ks", "1 234,50 Kč",
                                 "Centred italic serif", "underlined mono", "on an opaque background", "\u2603"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << " not in:\n" << out;
    }
    size_t last = 0;
    for (int i = 1; i <= 8; ++i) {
        const size_t at = out.find("Řádek " + std::to_string(i) + ":");
        ASSERT_NE(at, std::string::npos) << i;
        EXPECT_GT(at, last) << "line " << i << " out of order";
        last = at;
    }
}

TEST(PdfDevice, DocumentIsWellFormedAndEmbedsEachFaceOnce) {
    QTemporaryDir dir;
    const std::string pdf = dir.filePath(QStringLiteral("doc.pdf")).toStdString();
    const emf::TEmfPicture text = TextPage(), shapes = ShapePage();
    ASSERT_EQ(test::WritePdfPages({&text, &shapes, &text, &text}, pdf), 0);
    const std::string bytes = ReadFile(pdf);
    ASSERT_EQ(bytes.rfind("%PDF-1.4", 0), 0u);
    // Every cross-reference entry points at its object.
    const size_t xref = bytes.rfind("\nxref\n");
    ASSERT_NE(xref, std::string::npos);
    std::smatch m;
    const std::string tail = bytes.substr(xref + 6);
    ASSERT_TRUE(std::regex_search(tail, m, std::regex("^0 (\\d+)\n")));
    const int objects = std::stoi(m[1]);
    for (int id = 1; id < objects; ++id) {
        const size_t offset = std::stoull(tail.substr(m[0].length() + 20u * static_cast<size_t>(id), 10));
        EXPECT_EQ(bytes.compare(offset, std::to_string(id).size() + 6, std::to_string(id) + " 0 obj"), 0) << id;
    }
    // Four pages of text in three faces (with bold and italic styles) and the fallback face: each face
    // is embedded once, whatever the sizes and pages that use it.
    size_t files = 0;
    for (size_t at = bytes.find("/FontFile2"); at != std::string::npos; at = bytes.find("/FontFile2", at + 1))
        ++files;
    size_t faces = 0;
    for (size_t at = bytes.find("/Length1"); at != std::string::npos; at = bytes.find("/Length1", at + 1))
        ++faces;
    EXPECT_EQ(files, faces);
    EXPECT_LE(faces, 7u);
    if (test::HaveTool("qpdf")) {
        const auto check = test::RunTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), QString::fromStdString(pdf)});
        EXPECT_EQ(check.Exit, 0) << check.Out << check.Err;
    }
    if (test::HaveTool("pdffonts")) {
        const auto fonts = test::RunTool(QStringLiteral("pdffonts"), {QString::fromStdString(pdf)});
        EXPECT_EQ(fonts.Exit, 0);
        EXPECT_EQ(fonts.Out.find(" no  "), std::string::npos) << "every font embedded and subset:\n" << fonts.Out;
    }
}

TEST(PdfDevice, WriteErrorsAreNoticedAndAMissingFolderRefused) {
    {
        gdi::TPdfDocument document("/dev/full", "test");
        document.BeginPage(100, 100);
        document.Content() = std::string(200000, ' ');
        document.EndPage();
        document.Finish();
        EXPECT_EQ(document.WriteError(), ENOSPC);
    }
    try {
        gdi::TPdfDocument document("/nonexistent-folder/x.pdf", "test");
        ADD_FAILURE() << "opened a file in a missing folder";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Cannot create file /nonexistent-folder/x.pdf");
    }
}

TEST(FontSubset, KeepsTheOutlinesOfTheGlyphsUsedAndTheirComponents) {
    gdi::TLogFont lf;
    lf.FaceName = u"Arial";
    const auto font = gdi::TFontMatcher::Shared().Match(lf);
    ASSERT_TRUE(font->Raw.isValid());
    QRawFont raw = font->Raw;
    raw.setPixelSize(100);
    // Accented capitals are often composites of a base letter and an accent.
    const QString text = QStringLiteral("AŽřů€");
    std::vector<uint16_t> glyphs{0};
    for (const quint32 g : raw.glyphIndexesForString(text))
        glyphs.push_back(static_cast<uint16_t>(g));
    const size_t asked = glyphs.size();
    const auto subset = gdi::SubsetTrueType([&](const char* tag) { return raw.fontTable(tag).toStdString(); }, glyphs);
    ASSERT_FALSE(subset.File.empty());
    EXPECT_GE(glyphs.size(), asked);
    ASSERT_EQ(subset.Advances.size(), glyphs.size());
    const QRawFont small(QByteArray::fromStdString(subset.File), 100);
    ASSERT_TRUE(small.isValid());
    EXPECT_LT(subset.File.size(), static_cast<size_t>(raw.fontTable("glyf").size()) / 4) << "a subset, not the face";
    for (size_t i = 1; i < asked; ++i) {
        const QRectF want = raw.pathForGlyph(glyphs[i]).boundingRect();
        const QRectF got = small.pathForGlyph(static_cast<quint32>(i)).boundingRect();
        EXPECT_NEAR(got.left(), want.left(), 0.01) << i;
        EXPECT_NEAR(got.width(), want.width(), 0.01) << i;
        EXPECT_NEAR(got.height(), want.height(), 0.01) << i;
        EXPECT_GT(got.width(), 0) << i;
    }
    // Tables that cannot be read give no file, never a crash.
    std::vector<uint16_t> some{0, 5};
    EXPECT_TRUE(gdi::SubsetTrueType([](const char*) { return std::string("\x01\x02", 2); }, some).File.empty());
}
