// qrptool render, convert and text, run as the user runs them.

#include "MixedSheets.h"
#include "PageMark.h"
#include "PopplerProbe.h"
#include "TestPaths.h"

#include "pagestore/PageList.h"
#include "platform/gdi/FontMatcher.h"
#include "platform/gdi/MetafileCanvas.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstring>
#include <fstream>

using namespace pagimo;

namespace {

struct TRun {
    int Exit = -1;
    QString Out, Err;
};

TRun Qrptool(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PAGIMO_BINARY_DIR "/tools/qrptool"), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString Write(const QTemporaryDir& dir, const QString& name, const std::vector<uint8_t>& bytes) {
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// A 200 x 100 pixel page: two lines of text drawn out of reading order, and a box.
std::vector<uint8_t> SamplePage() {
    gdi::TMetafileCanvas c(200, 100);
    c.Font.Name = "Arial";
    c.Font.Height = -14;
    c.TextOut(110, 50, "vpravo");
    c.TextOut(10, 50, "Druhý řádek");
    c.TextOut(10, 10, "Žluťoučký kůň");
    c.Brush.Style = gdi::BS_NULL;
    c.Rectangle(2, 2, 198, 98);
    return c.Finish().Bytes();
}

bool HavePoppler() {
    return QProcess::execute(QStringLiteral("sh"),
                             {QStringLiteral("-c"), QStringLiteral("command -v pdftotext >/dev/null")}) == 0;
}

} // namespace

TEST(QrptoolRender, WritesThePageAtTheRequestedResolution) {
    QTemporaryDir dir;
    const QString emf = Write(dir, QStringLiteral("page.emf"), SamplePage());
    const QString png = dir.filePath(QStringLiteral("page.png"));
    const TRun r = Qrptool(
        {QStringLiteral("render"), emf, QStringLiteral("--dpi"), QStringLiteral("192"), QStringLiteral("-o"), png});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(400, 200));
    EXPECT_EQ(QColor(image.pixel(4, 100)), QColor(Qt::black)) << "the box's left edge";
    EXPECT_EQ(QColor(image.pixel(100, 190)), QColor(Qt::white));
}

TEST(QrptoolRender, DamagedInputFailsWithAMessageAndLeavesNoFile) {
    QTemporaryDir dir;
    auto bytes = SamplePage();
    std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + 60);
    auto broken = bytes;
    broken[108 + 4] = 0xFF; // the first record's size runs far past the end
    for (const auto& [name, data] :
         {std::pair{QStringLiteral("short.emf"), truncated}, std::pair{QStringLiteral("broken.emf"), broken}}) {
        const QString emf = Write(dir, name, data);
        const QString png = dir.filePath(name + QStringLiteral(".png"));
        const TRun r = Qrptool({QStringLiteral("render"), emf, QStringLiteral("-o"), png});
        EXPECT_EQ(r.Exit, 1) << name.toStdString();
        EXPECT_TRUE(r.Err.contains(QStringLiteral("Metafile is not valid"))) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(png));
        EXPECT_FALSE(QFile::exists(png + QStringLiteral(".part")));
    }
    const TRun missing = Qrptool({QStringLiteral("render"), dir.filePath(QStringLiteral("none.emf")),
                                  QStringLiteral("-o"), dir.filePath(QStringLiteral("x.png"))});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_TRUE(missing.Err.contains(QStringLiteral("Cannot open file"))) << missing.Err.toStdString();
}

namespace {

// The offset of the last record of type in an EMF's bytes.
size_t LastRecord(const std::vector<uint8_t>& bytes, uint32_t type) {
    size_t at = 0, last = 0;
    while (at + 8 <= bytes.size()) {
        uint32_t t = 0, size = 0;
        std::memcpy(&t, &bytes[at], 4);
        std::memcpy(&size, &bytes[at + 4], 4);
        if (t == type) last = at;
        if (size < 8) break;
        at += size;
    }
    return last;
}

// A 200 x 100 page cut short in the middle of its last record: a black box on the left and the text
// "whole" are there, the box on the right (the last record) is not.
std::vector<uint8_t> CutPage() {
    gdi::TMetafileCanvas c(200, 100);
    c.Font.Name = "Arial";
    c.Font.Height = -14;
    c.Brush.Color = gdi::clBlack;
    c.Rectangle(0, 0, 100, 50);
    c.TextOut(10, 60, "whole");
    c.Rectangle(100, 0, 200, 50);
    auto bytes = c.Finish().Bytes();
    bytes.resize(LastRecord(bytes, 43 /* EMR_RECTANGLE */) + 12);
    return bytes;
}

} // namespace

TEST(QrptoolRender, AFileCutShortIsDrawnUpToItsLastWholeRecord) {
    QTemporaryDir dir;
    const QString emf = Write(dir, QStringLiteral("cut.emf"), CutPage());
    for (bool keepGoing : {false, true}) {
        SCOPED_TRACE(keepGoing);
        const QString png = dir.filePath(keepGoing ? QStringLiteral("k.png") : QStringLiteral("p.png"));
        QStringList args{QStringLiteral("render"), emf, QStringLiteral("-o"), png};
        if (keepGoing) args << QStringLiteral("--keep-going");
        const TRun r = Qrptool(args);
        EXPECT_EQ(r.Exit, 1);
        EXPECT_EQ(r.Err.count(QStringLiteral("page 1 cannot be drawn completely")), 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(QStringLiteral("its header promises; drawn up to its last whole record")))
            << r.Err.toStdString();
        const QImage image(png);
        ASSERT_EQ(image.size(), QSize(200, 100)) << "what was drawn is written";
        EXPECT_EQ(QColor(image.pixel(50, 25)), QColor(Qt::black)) << "the whole box";
        EXPECT_EQ(QColor(image.pixel(150, 25)), QColor(Qt::white)) << "the cut record draws nothing";
    }
    // The thumbnailer tells it the same way, and writes what was drawn.
    const QString thumb = dir.filePath(QStringLiteral("t.png"));
    const TRun thumbnail = Qrptool({QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("100"), emf, thumb});
    EXPECT_EQ(thumbnail.Exit, 1);
    EXPECT_EQ(thumbnail.Err.count(QStringLiteral("page 1 cannot be drawn completely")), 1) << thumbnail.Err.toStdString();
    EXPECT_EQ(QImage(thumb).size(), QSize(100, 50));
    const TRun text = Qrptool({QStringLiteral("text"), emf});
    EXPECT_EQ(text.Exit, 1);
    EXPECT_EQ(text.Out, QStringLiteral("whole\n"));
    EXPECT_TRUE(text.Err.contains(QStringLiteral("page 1 cannot be drawn completely"))) << text.Err.toStdString();
    const QString pdf = dir.filePath(QStringLiteral("cut.pdf"));
    const TRun convert = Qrptool({QStringLiteral("convert"), emf, pdf});
    EXPECT_EQ(convert.Exit, 1);
    EXPECT_TRUE(convert.Err.contains(QStringLiteral("page 1 cannot be drawn completely"))) << convert.Err.toStdString();
    EXPECT_TRUE(QFile::exists(pdf)) << "what was drawn is written";
}

TEST(QrptoolRender, GlyphIndicesOfAFontThatIsNotInstalledAreToldOncePerFont) {
    // Three pages of glyph-index text: two in Arial (not installed, a substitute stands in) with
    // indices past the standard order, one in DejaVu Sans (installed) with its own Cyrillic glyph.
    gdi::TLogFont dejavu;
    dejavu.Height = -20;
    dejavu.FaceName = u"DejaVu Sans";
    const auto installed = gdi::TFontMatcher::Shared().Match(dejavu);
    ASSERT_TRUE(installed->NamedFace);
    const QChar zhe(u'Ж');
    quint32 glyph = 0;
    int count = 1;
    installed->Raw.glyphIndexesForChars(&zhe, 1, &glyph, &count);
    ASSERT_GE(glyph, 258u);
    if (gdi::TFontMatcher::Shared().ResolveFamily(QStringLiteral("Arial"), 400, false) == QStringLiteral("Arial"))
        GTEST_SKIP() << "Arial is installed";
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    const int32_t dx[] = {12, 12, 12};
    for (int n = 0; n < 3; ++n) {
        gdi::TMetafileCanvas c(200, 100);
        c.Font.Name = n < 2 ? "Arial" : "DejaVu Sans";
        c.Font.Height = -20;
        const std::u16string text =
            n < 2 ? std::u16string{u'\x24', u'\x300', u'\x301'} : std::u16string{static_cast<char16_t>(glyph)};
        c.ExtTextOut(10, 10, gdi::ETO_GLYPH_INDEX, nullptr, text, std::span(dx, text.size()));
        list.StorePage(c.Finish());
    }
    list.CloseRecording();
    QTemporaryDir dir;
    const QString qrp = dir.filePath(QStringLiteral("glyphs.qrp"));
    list.CopyToFile(qrp.toStdString());
    const TRun render =
        Qrptool({QStringLiteral("render"), qrp, QStringLiteral("-o"), dir.filePath(QStringLiteral("g-%d.png"))});
    EXPECT_EQ(render.Exit, 0) << "a warning, not a failure";
    EXPECT_EQ(render.Err.count(QStringLiteral("needs the font")), 1) << render.Err.toStdString();
    EXPECT_TRUE(render.Err.contains(QStringLiteral("qrptool render: page 1 needs the font \"Arial\"")))
        << render.Err.toStdString();
    EXPECT_TRUE(render.Err.contains(QStringLiteral("(2 glyphs left out)"))) << render.Err.toStdString();
    const TRun text = Qrptool({QStringLiteral("text"), qrp});
    EXPECT_EQ(text.Exit, 0);
    EXPECT_EQ(text.Err.count(QStringLiteral("qrptool text: page 1 needs the font \"Arial\"")), 1)
        << text.Err.toStdString();
    EXPECT_EQ(text.Out, QStringLiteral("A\n\fA\n\fЖ\n")) << "the installed face's glyph read back";
}

TEST(QrptoolRender, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Qrptool({QStringLiteral("render"), QStringLiteral("x.emf")}).Exit, 2) << "no -o";
    EXPECT_EQ(Qrptool({QStringLiteral("render"), QStringLiteral("x.emf"), QStringLiteral("-o"), QStringLiteral("y.png"),
                       QStringLiteral("--dpi"), QStringLiteral("abc")})
                  .Exit,
              2);
    EXPECT_EQ(Qrptool({QStringLiteral("text")}).Exit, 2);
}

TEST(QrptoolConvert, WritesAVectorPdfAtThePageSizeWithTextAsText) {
    QTemporaryDir dir;
    const QString emf = Write(dir, QStringLiteral("page.emf"), SamplePage());
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    const TRun r = Qrptool({QStringLiteral("convert"), emf, pdf});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    if (!HavePoppler()) GTEST_SKIP() << "poppler-utils not installed";
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    text.waitForFinished();
    EXPECT_TRUE(QString::fromUtf8(text.readAllStandardOutput()).contains(QStringLiteral("Žluťoučký kůň")));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    info.waitForFinished();
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QStringLiteral("150 x 75 pts")))
        << "200 x 100 pixels at 96 per inch";
}

TEST(QrptoolConvert, PdfTextComesOutInTheOrderOfQrptoolText) {
    // The lean PDF keeps text extractable: poppler finds the same words in the same order as qrptool
    // text, over several pages of table-like report pages and the example handbook's wrapped paragraphs.
    if (!HavePoppler()) GTEST_SKIP() << "poppler-utils not installed";
    QTemporaryDir dir;
    const QString sample = dir.filePath(QStringLiteral("sample.qrp"));
    ASSERT_EQ(Qrptool({QStringLiteral("sample"), sample, QStringLiteral("--pages"), QStringLiteral("3")}).Exit, 0);
    QStringList files{sample};
    const QString handbook = QStringLiteral(PAGIMO_BINARY_DIR "/examples/handbook.qrp");
    if (QFile::exists(handbook)) files << handbook;
    for (const QString& file : files) {
        const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
        const TRun converted = Qrptool({QStringLiteral("convert"), file, pdf});
        ASSERT_EQ(converted.Exit, 0) << converted.Err.toStdString();
        const TRun text = Qrptool({QStringLiteral("text"), file});
        ASSERT_EQ(text.Exit, 0) << text.Err.toStdString();
        QProcess extract;
        extract.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        extract.waitForFinished();
        const QString found = QString::fromUtf8(extract.readAllStandardOutput());
        const QStringList want = text.Out.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        const QStringList got = found.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        ASSERT_GT(want.size(), 100) << file.toStdString();
        EXPECT_EQ(got, want) << file.toStdString();
    }
}

TEST(QrptoolText, PrintsTheTextInReadingOrder) {
    QTemporaryDir dir;
    const QString emf = Write(dir, QStringLiteral("page.emf"), SamplePage());
    const TRun r = Qrptool({QStringLiteral("text"), emf});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, QStringLiteral("Žluťoučký kůň\nDruhý řádek vpravo\n"));
}

namespace {

// A QRP file of three pages: A4 portrait, A4 landscape and a small square, each with its number.
QString WriteQrp(const QTemporaryDir& dir) {
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    const QSize sizes[] = {{794, 1123}, {1123, 794}, {200, 200}};
    int n = 0;
    for (const QSize& size : sizes) {
        gdi::TMetafileCanvas c(size.width(), size.height());
        c.Font.Height = -20;
        c.TextOut(20, 20, "Strana " + std::to_string(++n));
        list.StorePage(c.Finish());
    }
    list.CloseRecording();
    const QString path = dir.filePath(QStringLiteral("report.qrp"));
    list.CopyToFile(path.toStdString());
    return path;
}

} // namespace

TEST(QrptoolQrp, RendersConvertsAndReadsPagesOfAReportFile) {
    QTemporaryDir dir;
    const QString qrp = WriteQrp(dir);
    const QString pattern = dir.filePath(QStringLiteral("p-%d.png"));
    TRun r = Qrptool({QStringLiteral("render"), qrp, QStringLiteral("--pages"), QStringLiteral("2-3"),
                      QStringLiteral("-o"), pattern});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("p-1.png"))));
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("p-2.png"))).size(), QSize(1123, 794));
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("p-3.png"))).size(), QSize(200, 200));
    EXPECT_EQ(Qrptool({QStringLiteral("render"), qrp, QStringLiteral("--page"), QStringLiteral("4"),
                       QStringLiteral("-o"), pattern})
                  .Exit,
              2);
    EXPECT_EQ(
        Qrptool({QStringLiteral("render"), qrp, QStringLiteral("-o"), dir.filePath(QStringLiteral("one.png"))}).Exit, 2)
        << "several pages need a pattern";

    r = Qrptool({QStringLiteral("text"), qrp, QStringLiteral("--page"), QStringLiteral("2")});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out, QStringLiteral("Strana 2\n"));

    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    r = Qrptool({QStringLiteral("convert"), qrp, pdf});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    if (!HavePoppler()) GTEST_SKIP() << "poppler-utils not installed";
    QProcess info;
    info.start(QStringLiteral("pdfinfo"),
               {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("3"), pdf});
    info.waitForFinished();
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("Pages:           3"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Page    2 size:  842 x 596 pts"))) << out.toStdString();
}

TEST(QrptoolConvert, WritesSvgFilesAndAnHtmlViewerWhereTheOutputSays) {
    QTemporaryDir dir;
    const QString qrp = WriteQrp(dir), emf = Write(dir, QStringLiteral("page.emf"), SamplePage());
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    struct TCase {
        QStringList Args;
        int Exit;
        QStringList Files; // written, each with its first bytes' mark
        const char* Reason;
    };
    const TCase cases[] = {
        {{emf, QStringLiteral("one.svg")}, 0, {QStringLiteral("one.svg")}, "a metafile's page"},
        {{qrp, QStringLiteral("p-%d.svg"), QStringLiteral("--pages"), QStringLiteral("2-3")},
         0,
         {QStringLiteral("p-2.svg"), QStringLiteral("p-3.svg")},
         "a pattern takes the page numbers"},
        {{qrp, QStringLiteral("folder/")},
         0,
         {QStringLiteral("folder/report-1.svg"), QStringLiteral("folder/report-3.svg")},
         "a folder gets NAME-N.svg"},
        {{qrp, QStringLiteral("two.svg"), QStringLiteral("--page"), QStringLiteral("2")},
         0,
         {QStringLiteral("two.svg")},
         "one page of several"},
        {{qrp, QStringLiteral("all.svg")}, 2, {}, "several pages need a pattern or a folder"},
        {{qrp, QStringLiteral("view.html"), QStringLiteral("--title"), QStringLiteral("Zpráva <1>")},
         0,
         {QStringLiteral("view.html")},
         "the viewer"},
        {{qrp, QStringLiteral("x.pdf"), QStringLiteral("--title"), QStringLiteral("T")}, 2, {}, "titles are for HTML"},
        {{qrp, QStringLiteral("p.pdf"), QStringLiteral("--pages"), QStringLiteral("2-3")},
         0,
         {QStringLiteral("p.pdf")},
         "a PDF of some pages"},
    };
    for (const TCase& c : cases) {
        QStringList args{QStringLiteral("convert")};
        for (const QString& a : c.Args)
            args << ((a.contains(u'.') || a.endsWith(u'/')) && a != qrp && a != emf ? dir.filePath(a) : a);
        const TRun r = Qrptool(args);
        EXPECT_EQ(r.Exit, c.Exit) << c.Reason << ": " << r.Err.toStdString();
        for (const QString& name : c.Files)
            EXPECT_TRUE(QFile::exists(dir.filePath(name))) << c.Reason << ": " << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("p-1.svg"))));
    QFile svg(dir.filePath(QStringLiteral("two.svg")));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QString two = QString::fromUtf8(svg.readAll());
    EXPECT_TRUE(two.startsWith(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ")));
    EXPECT_TRUE(two.contains(QStringLiteral("width=\"297.1mm\" height=\"210.1mm\" viewBox=\"0 0 1123 794\"")));
    EXPECT_TRUE(two.contains(QStringLiteral(">Strana 2</text>")));
    QFile html(dir.filePath(QStringLiteral("view.html")));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QString viewer = QString::fromUtf8(html.readAll());
    EXPECT_TRUE(viewer.contains(QStringLiteral("<title>Zpráva &lt;1&gt;</title>")));
    EXPECT_TRUE(viewer.contains(QStringLiteral("\"sizes\":[210.1,297.1,297.1,210.1,52.9,52.9]")));
    EXPECT_FALSE(viewer.contains(QStringLiteral("src=\"http"))) << "nothing from the network";
}

TEST(QrptoolQrp, ADamagedReportFailsWithoutLeavingAPdf) {
    QTemporaryDir dir;
    const QString qrp = WriteQrp(dir);
    QFile file(qrp);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.resize(file.size() - 300); // the last page is cut short
    file.close();
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    const TRun r = Qrptool({QStringLiteral("convert"), qrp, pdf});
    EXPECT_EQ(r.Exit, 1);
    EXPECT_FALSE(r.Err.isEmpty());
    EXPECT_FALSE(QFile::exists(pdf));
}

// qrptool thumbnail as a file manager's thumbnailer runs it: "-s SIZE INPUT OUTPUT".
TEST(QrptoolThumbnail, FitsTheFirstPageIntoTheSquareKeepingItsAspect) {
    QTemporaryDir dir;
    const QString wide = Write(dir, QStringLiteral("wide.emf"), SamplePage()); // 200 x 100
    gdi::TMetafileCanvas tall(100, 300);
    tall.Brush.Style = gdi::BS_NULL;
    tall.Rectangle(0, 0, 100, 300);
    const QString tallFile = Write(dir, QStringLiteral("tall.emf"), tall.Finish().Bytes());
    const QString qrp = dir.filePath(QStringLiteral("a4.qrp"));
    ASSERT_EQ(Qrptool({QStringLiteral("sample"), qrp, QStringLiteral("--pages"), QStringLiteral("3")}).Exit, 0);

    struct TCase {
        QString Input;
        int Size;
        QSize Expected;
    };
    for (const TCase& c : {TCase{wide, 64, {64, 32}}, TCase{wide, 1, {1, 1}}, TCase{wide, 400, {400, 200}},
                           TCase{tallFile, 90, {30, 90}}, TCase{tallFile, 2, {1, 2}}, TCase{qrp, 128, {91, 128}},
                           TCase{qrp, 256, {181, 256}}}) {
        SCOPED_TRACE(c.Input.toStdString() + " at " + std::to_string(c.Size));
        const QString png = dir.filePath(QStringLiteral("thumb.png"));
        const TRun r = Qrptool({QStringLiteral("thumbnail"), QStringLiteral("-s"), QString::number(c.Size), c.Input, png});
        ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
        const QImage image(png);
        EXPECT_EQ(image.size(), c.Expected);
    }
    // The drawing is the page's: the wide page's box edge is dark, its middle below the text white.
    const QString png = dir.filePath(QStringLiteral("box.png"));
    ASSERT_EQ(Qrptool({QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("100"), wide, png}).Exit, 0);
    const QImage box(png);
    EXPECT_LT(qGray(box.pixel(1, 25)), 160);
    EXPECT_EQ(QColor(box.pixel(50, 45)), QColor(Qt::white));
}

TEST(QrptoolThumbnail, RunsWithoutADisplayWhateverPlatformTheSessionNames) {
    // As a desktop session's thumbnailer runs it: a platform named, but no display to reach.
    QTemporaryDir dir;
    const QString emf = Write(dir, QStringLiteral("page.emf"), SamplePage());
    const QString png = dir.filePath(QStringLiteral("thumb.png"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QString& platform : {QStringLiteral("xcb"), QStringLiteral("wayland;xcb")}) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        const TRun r = Qrptool({QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("64"), emf, png}, env);
        EXPECT_EQ(r.Exit, 0) << platform.toStdString() << ": " << r.Err.toStdString();
        EXPECT_EQ(QImage(png).size(), QSize(64, 32));
    }
}

TEST(QrptoolThumbnail, BadInputFailsAndLeavesTheOutputAlone) {
    QTemporaryDir dir;
    auto bytes = SamplePage();
    const QString truncated = Write(dir, QStringLiteral("cut.emf"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 60));
    const QString text = Write(dir, QStringLiteral("text.qrp"), std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    const QString empty = Write(dir, QStringLiteral("empty.qrp"), {});
    const QString good = Write(dir, QStringLiteral("page.emf"), SamplePage());
    const QString out = Write(dir, QStringLiteral("old.png"), {'o', 'l', 'd'});
    for (const QString& input : {truncated, text, empty, dir.filePath(QStringLiteral("missing.qrp"))}) {
        SCOPED_TRACE(input.toStdString());
        const TRun r = Qrptool({QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("128"), input, out});
        EXPECT_EQ(r.Exit, 1);
        EXPECT_FALSE(r.Err.isEmpty());
        EXPECT_EQ(QFileInfo(out).size(), 3) << "the old file stays as it was";
    }
    // Usage errors: sizes out of range or not numbers, missing arguments.
    for (const QStringList& args :
         {QStringList{QStringLiteral("-s"), QStringLiteral("0"), good, out},
          QStringList{QStringLiteral("-s"), QStringLiteral("5000"), good, out},
          QStringList{QStringLiteral("-s"), QStringLiteral("big"), good, out}, QStringList{good},
          QStringList{QStringLiteral("-s"), QStringLiteral("64"), good, out, out}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(Qrptool(QStringList{QStringLiteral("thumbnail")} + args).Exit, 2);
        EXPECT_EQ(QFileInfo(out).size(), 3);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 5) << "no temporary file is left";
}

// Each page on its own sheet: rendered at its own size with its disc round, and each PDF page with its
// own media box; pages that cannot be drawn completely come out marked as the viewer marks them.
TEST(QrptoolRender, EveryPageOnItsOwnSheetAndTroubleMarkedAsTheViewerMarksIt) {
    QTemporaryDir dir;
    const std::string sheets = dir.filePath(QStringLiteral("sheets.qrp")).toStdString();
    const std::string trouble = dir.filePath(QStringLiteral("trouble.qrp")).toStdString();
    test::MixedSheetsReport(sheets);
    test::TroubleReport(trouble);
    const QString out = dir.filePath(QStringLiteral("p-%d.png"));
    ASSERT_EQ(Qrptool({QStringLiteral("render"), QString::fromStdString(sheets), QStringLiteral("-o"), out}).Exit, 0);
    const QString pdf = dir.filePath(QStringLiteral("sheets.pdf"));
    ASSERT_EQ(Qrptool({QStringLiteral("convert"), QString::fromStdString(sheets), pdf}).Exit, 0);
    const std::string info = test::CommandOutput("pdfinfo -f 1 -l 3 '" + pdf.toStdString() + "'");
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        const auto [width, height] = test::MixedSheets()[static_cast<size_t>(n - 1)];
        const QImage image(dir.filePath(QStringLiteral("p-%1.png").arg(n)));
        EXPECT_NEAR(image.width(), width * 96 / 254.0, 1);
        EXPECT_NEAR(image.height(), height * 96 / 254.0, 1);
        const auto [across, down] = test::DarkRuns(image, image.rect().center());
        EXPECT_NEAR(across, down, 1);
        if (HavePoppler()) {
            const auto at = info.find("Page    " + std::to_string(n) + " size:");
            double w = 0, h = 0;
            ASSERT_NE(at, std::string::npos) << info;
            ASSERT_EQ(std::sscanf(info.c_str() + at + 15, "%lf x %lf", &w, &h), 2);
            EXPECT_NEAR(w, width / 254.0 * 72, 1.5);
            EXPECT_NEAR(h, height / 254.0 * 72, 1.5);
        }
    }
    const TRun r = Qrptool({QStringLiteral("render"), QString::fromStdString(trouble), QStringLiteral("--keep-going"),
                            QStringLiteral("-o"), out});
    EXPECT_EQ(r.Exit, 1);
    for (const auto& [n, marked] : {std::pair(1, false), {2, true}, {3, true}}) {
        const QImage image(dir.filePath(QStringLiteral("p-%1.png").arg(n)));
        EXPECT_EQ(test::HasPageMark(image, QRectF(image.rect())), marked) << n;
    }
}
