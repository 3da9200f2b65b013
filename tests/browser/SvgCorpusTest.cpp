// Every page of the real-world corpus as an SVG file in Chromium: its screenshot at 96 pixels per inch
// agrees with what qrptool render draws, its web fonts are accepted, and the text the browser reads
// off it (the text elements and separators in document order) is what qrptool text reads.

#include "Browser.h"
#include "RenderCompare.h"
#include "TestPaths.h"

#include "platform/gdi/TraceDevice.h"
#include "printer/PagePainter.h"
#include "tools/WebConversion.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <algorithm>
#include <cstdio>

using namespace pagimo;
namespace fs = std::filesystem;

namespace {

// The page's text as the browser reads it, each line trimmed as qrptool text trims it; control
// characters and halves of surrogate pairs (which XML cannot carry) left out of both sides.
const QString DomText = QStringLiteral(R"((() => {
  let t = '';
  (function walk(n) {
    for (let c = n ? n.firstChild : null; c; c = c.nextSibling) {
      if (c.nodeType === 3) t += c.data;
      else if (c.localName === 'text') t += c.textContent;
      else if (c.localName === 'g') walk(c);
    }
  })(document.querySelector('svg > g.t'));
  return t;
})())");

QString Normalised(const QString& text) {
    QString out;
    for (QString line : text.split(u'\n')) {
        QString kept;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (c.isHighSurrogate() && i + 1 < line.size() && line[i + 1].isLowSurrogate())
                kept += QString(line.mid(i++, 2));
            else if (c.unicode() >= 0x20 && !c.isSurrogate())
                kept += c;
        }
        line = kept;
        out += line.trimmed() + u'\n';
    }
    while (out.endsWith(QStringLiteral("\n\n")))
        out.chop(1);
    return out.trimmed();
}

} // namespace

TEST(BrowserSvg, CorpusPagesLookAndReadInTheBrowserAsQrptoolDrawsAndReadsThem) {
    if (test::TBrowser::Executable().empty()) GTEST_SKIP() << "chromium not installed";
    const fs::path corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "corpus not present";
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(corpus / "emf")) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (e.is_regular_file() && ext == ".emf") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    const char* reportPath = std::getenv("PAGIMO_BROWSER_REPORT"); // a file to write the per-file table to
    std::ofstream report;
    if (reportPath) report.open(reportPath);

    test::TBrowser browser;
    QTemporaryDir dir;
    const fs::path svg = dir.filePath(QStringLiteral("page.svg")).toStdString();
    std::vector<double> differences;
    std::vector<std::string> misread, fontErrors;
    int texts = 0;
    for (const fs::path& file : files) {
        const std::string name = fs::relative(file, corpus / "emf").generic_string();
        std::unique_ptr<pagestore::TPageDocument> source;
        pagestore::TDocumentPage content;
        try {
            source = tools::OpenDocument(file.string());
            content = source->Page(1);
        } catch (const std::exception&) {
        }
        if (content.State != pagestore::TDocumentPage::dpReady) continue; // refused as damaged, as qrptool refuses it
        const std::shared_ptr<const emf::TEmfPicture>& picture = content.Picture;
        const auto sheet = pagestore::SheetOf(picture->Header());
        if (!sheet) continue;
        const int w = sheet->WidthPixels, h = sheet->HeightPixels;
        if (w < 16 || h < 16 || w > 4000 || h > 4000) continue; // a few pixels say nothing; posters are cut
        SCOPED_TRACE(name);

        tools::TDamagePolicy damage("convert", true);
        tools::TMissingFontNotice fonts("convert");
        const tools::TSvgPage page = tools::StandAloneSvgPage(*source, 1, damage, fonts);
        std::ofstream(svg, std::ios::binary) << page.Svg;
        browser.Viewport(w, h);
        browser.Open(svg);
        const QImage shot = browser.Screenshot();

        // As qrptool render draws it at 96 dpi, and as qrptool text reads it.
        QImage rendered(w, h, QImage::Format_RGB32);
        rendered.fill(Qt::white);
        gdi::TTextDevice reader;
        {
            QPainter painter(&rendered);
            printer::PaintPage(content, 1, painter, QRectF(0, 0, w, h));
        }
        gdi::TEmfPlayer::Play(*picture, reader, QRectF(0, 0, picture->Width(), picture->Height()));
        const double difference = 1 - test::InkAgreement(rendered, shot);
        differences.push_back(difference);
        const QString expected = Normalised(reader.ReadingOrder());
        const QString read = Normalised(browser.Eval(DomText).toString());
        if (!expected.isEmpty()) ++texts;
        if (read != expected) misread.push_back(name);
        if (browser.Eval(QStringLiteral("[...document.fonts].some(f => f.status === 'error')")).toBool())
            fontErrors.push_back(name);
        if (report)
            report << name << '\t' << difference << '\t' << (read == expected ? "text" : "TEXT DIFFERS") << '\n';
        if (report && read != expected)
            report << "  qrptool text: " << QString(expected).replace(u'\n', u'|').toStdString()
                   << "\n  browser:      " << QString(read).replace(u'\n', u'|').toStdString() << '\n';
    }
    ASSERT_GT(differences.size(), 200u);
    std::vector<double> sorted = differences;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2], worst = sorted.back();
    std::printf("SVG in Chromium against qrptool render: %zu pages, median ink difference %.4f, worst %.4f, "
                "%zu within 0.2; %d pages with text, %zu read differently\n",
                sorted.size(), median, worst,
                static_cast<size_t>(std::count_if(sorted.begin(), sorted.end(), [](double d) { return d <= 0.2; })),
                texts, misread.size());
    EXPECT_LT(median, 0.03);
    EXPECT_TRUE(fontErrors.empty()) << "web fonts refused on " << fontErrors.size() << " pages, first "
                                    << fontErrors[0];
    EXPECT_TRUE(misread.empty()) << misread.size() << " pages read differently, first " << misread[0];
}
