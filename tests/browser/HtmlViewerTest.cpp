// The HTML viewer (qrptool convert FILE OUT.html) in Chromium, used as a reader uses it: keys, buttons,
// the page field, zoom, find across pages, copying a selection, thumbnails, printing, and a document
// of ten thousand pages.

#include "Browser.h"
#include "TestPaths.h"

#include "pagestore/PageList.h"
#include "platform/gdi/MetafileCanvas.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>

#include <chrono>
#include <cstdio>

using namespace pagimo;
namespace fs = std::filesystem;

namespace {

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(600000);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(u' ').toStdString() << ": "
                               << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString Qrptool(const QStringList& args) {
    return RunTool(QStringLiteral(PAGIMO_BINARY_DIR "/tools/qrptool"), args);
}

// The text of page n (1-based) as the viewer shows it: its text layer, each line trimmed.
QString PageText(test::TBrowser& browser, int n) {
    const QString text = browser
                             .Eval(QStringLiteral(R"((() => {
  let t = '';
  (function walk(n) {
    for (let c = n ? n.firstChild : null; c; c = c.nextSibling) {
      if (c.nodeType === 3) t += c.data;
      else if (c.localName === 'text') t += c.textContent;
      else if (c.localName === 'g') walk(c);
    }
  })(document.querySelectorAll('#pages .page')[%1].querySelector('svg > g.t'));
  return t;
})())")
                                       .arg(n - 1))
                             .toString();
    QString out;
    for (const QString& line : text.split(u'\n'))
        out += line.trimmed() + u'\n';
    return out;
}

QString Field(test::TBrowser& browser, const char* id) {
    return browser.Eval(QStringLiteral("document.getElementById('%1').value").arg(QLatin1String(id))).toString();
}

QString Shown(test::TBrowser& browser, const char* id) {
    return browser.Eval(QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id))).toString();
}

void Click(test::TBrowser& browser, const char* id) {
    browser.Eval(QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(id)));
    browser.Eval(QStringLiteral("new Promise(r => requestAnimationFrame(() => r(true)))"));
}

// A report of nine pages on three sheets (A4 upright, A4 across, a small square), each naming itself.
fs::path ThreeSheetReport(const fs::path& dir) {
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    const int sizes[][2] = {{794, 1123}, {1123, 794}, {300, 300}};
    for (int n = 1; n <= 9; ++n) {
        gdi::TMetafileCanvas c(sizes[(n - 1) % 3][0], sizes[(n - 1) % 3][1]);
        c.Font.Height = -20;
        c.TextOut(20, 20, "Strana " + std::to_string(n));
        list.StorePage(c.Finish());
    }
    list.CloseRecording();
    list.CopyToFile((dir / "sheets.qrp").string());
    return dir / "sheets.qrp";
}

} // namespace

TEST(BrowserViewer, PagesKeysFieldZoomFindThumbnailsAndCopyWorkAsAReaderUsesThem) {
    if (test::TBrowser::Executable().empty()) GTEST_SKIP() << "chromium not installed";
    QTemporaryDir dir;
    const QString qrp = dir.filePath(QStringLiteral("ledger.qrp")), html = dir.filePath(QStringLiteral("ledger.html"));
    Qrptool({QStringLiteral("sample"), qrp, QStringLiteral("--pages"), QStringLiteral("5")});
    Qrptool({QStringLiteral("convert"), qrp, html, QStringLiteral("--title"), QStringLiteral("Přehled plateb"),
             QStringLiteral("--lang"), QStringLiteral("cs")});
    const QStringList texts = Qrptool({QStringLiteral("text"), qrp}).split(u'\f');
    ASSERT_EQ(texts.size(), 5);

    test::TBrowser browser(1200, 900);
    browser.Open(html.toStdString());
    EXPECT_EQ(browser.Eval(QStringLiteral("document.title")).toString(), QStringLiteral("Přehled plateb"));
    EXPECT_EQ(Shown(browser, "title"), QStringLiteral("Přehled plateb"));
    EXPECT_EQ(browser.Eval(QStringLiteral("document.getElementById('pages').lang")).toString(), QStringLiteral("cs"));
    EXPECT_EQ(Shown(browser, "count"), QStringLiteral("of 5"));
    EXPECT_EQ(PageText(browser, 1), texts[0]) << "the Czech text reads as qrptool text reads it";
    // Landmarks and names for assistive technology.
    EXPECT_EQ(
        browser
            .Eval(QStringLiteral("[...document.querySelectorAll('header, main, nav, [role=search], [role=toolbar]')]"
                                 ".map(e => e.localName).join()"))
            .toString(),
        QStringLiteral("header,div,div,nav,main"));
    EXPECT_EQ(
        browser.Eval(QStringLiteral("document.querySelector('#pages .page').getAttribute('aria-label')")).toString(),
        QStringLiteral("Page 1 of 5"));
    // Keyboard alone: Tab from the start reaches the Next button, Enter presses it.
    for (int i = 0; i < 12 && browser.Eval(QStringLiteral("document.activeElement.id")).toString() != u"next"; ++i)
        browser.Key(QStringLiteral("Tab"));
    browser.Key(QStringLiteral("Enter"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("2"));
    browser.Key(QStringLiteral("Home"));

    // Keys and buttons, each with the page it leads to (whole pages in view: Page Down goes through a
    // page taller than the view by screens).
    Click(browser, "fit-page");
    const std::vector<std::pair<QString, QString>> steps = {
        {QStringLiteral("PageDown"), QStringLiteral("2")}, {QStringLiteral("End"), QStringLiteral("5")},
        {QStringLiteral("PageUp"), QStringLiteral("4")},   {QStringLiteral("Home"), QStringLiteral("1")},
        {QStringLiteral("PageUp"), QStringLiteral("1")},   {QStringLiteral("#next"), QStringLiteral("2")},
        {QStringLiteral("#last"), QStringLiteral("5")},    {QStringLiteral("#prev"), QStringLiteral("4")},
        {QStringLiteral("#first"), QStringLiteral("1")}};
    for (const auto& [step, page] : steps) {
        if (step.startsWith(u'#'))
            Click(browser, step.mid(1).toLatin1().constData());
        else
            browser.Key(step);
        EXPECT_EQ(Field(browser, "page"), page) << step.toStdString();
    }
    // The page field: a number and Enter goes there; a number out of range stays where it is.
    browser.Eval(QStringLiteral("document.getElementById('page').focus()"));
    browser.Call(QStringLiteral("Input.insertText"), {{QStringLiteral("text"), QStringLiteral("3")}});
    browser.Key(QStringLiteral("Enter"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("3"));
    EXPECT_EQ(PageText(browser, 3), texts[2]);
    browser.Call(QStringLiteral("Input.insertText"), {{QStringLiteral("text"), QStringLiteral("77")}});
    browser.Key(QStringLiteral("Enter"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("3"));

    // Zoom: a step up, fit width and fit page, each measured on the page's sheet.
    auto sheet = [&](const char* what) {
        return browser
            .Eval(QStringLiteral("document.querySelectorAll('#pages .page')[2].getBoundingClientRect().%1")
                      .arg(QLatin1String(what)))
            .toDouble();
    };
    browser.Eval(QStringLiteral(
        "(s => { s.value = '1'; s.dispatchEvent(new Event('change')); })(document.getElementById('zoom'))"));
    const double width = sheet("width");
    EXPECT_NEAR(width, 794, 1) << "100 % is the sheet at 96 pixels per inch";
    Click(browser, "zoom-in");
    EXPECT_NEAR(sheet("width") / width, 1.1, 0.01);
    EXPECT_EQ(browser.Eval(QStringLiteral("document.getElementById('zoom').selectedOptions[0].textContent")).toString(),
              QStringLiteral("110%"));
    Click(browser, "fit-width");
    EXPECT_NEAR(sheet("width"),
                browser.Eval(QStringLiteral("document.getElementById('pages').clientWidth")).toDouble() - 40, 2);
    Click(browser, "fit-page");
    EXPECT_LE(sheet("height"),
              browser.Eval(QStringLiteral("document.getElementById('pages').clientHeight")).toDouble());
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("3")) << "zooming keeps the page";

    // Find: Ctrl+F, a word found on every page, counted across pages; Enter steps from hit to hit
    // and on to the next page.
    browser.Key(QStringLiteral("f"), 2);
    EXPECT_EQ(browser.Eval(QStringLiteral("document.activeElement.id")).toString(), QStringLiteral("find-text"));
    browser.Call(QStringLiteral("Input.insertText"), {{QStringLiteral("text"), QStringLiteral("northwind")}});
    int total = 0, onThree = static_cast<int>(texts[2].count(QStringLiteral("Northwind")));
    for (const QString& t : texts)
        total += static_cast<int>(t.count(QStringLiteral("Northwind")));
    EXPECT_EQ(Shown(browser, "find-count"),
              QStringLiteral("%1 of %2")
                  .arg(texts[0].count(QStringLiteral("Northwind")) + texts[1].count(QStringLiteral("Northwind")) + 1)
                  .arg(total));
    EXPECT_EQ(browser
                  .Eval(QStringLiteral(
                      "document.querySelectorAll('#pages .page')[2].querySelectorAll('.hl rect.current').length"))
                  .toInt(),
              9)
        << "the current hit's nine letters are marked";
    for (int i = 1; i < onThree; ++i)
        browser.Key(QStringLiteral("Enter"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("3"));
    browser.Key(QStringLiteral("Enter"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("4")) << "the next hit is on the next page";
    browser.Key(QStringLiteral("Escape"));
    EXPECT_TRUE(browser.Eval(QStringLiteral("document.getElementById('find').hidden")).toBool());
    EXPECT_EQ(browser.Eval(QStringLiteral("document.querySelectorAll('.hl rect').length")).toInt(), 0);

    // Thumbnails: one per page, drawn while in view, leading to their page.
    browser.Key(QStringLiteral("t"));
    EXPECT_EQ(browser.Eval(QStringLiteral("document.querySelectorAll('#thumbs .thumb').length")).toInt(), 5);
    EXPECT_GE(browser.Eval(QStringLiteral("document.querySelectorAll('#thumbs .thumb svg').length")).toInt(), 3);
    browser.Eval(QStringLiteral("document.querySelectorAll('#thumbs .thumb')[1].click()"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("2"));

    // Copy: three runs on two lines selected, copied with Ctrl+C, read back from the clipboard.
    browser.Call(QStringLiteral("Browser.grantPermissions"),
                 {{QStringLiteral("permissions"),
                   QJsonArray{QStringLiteral("clipboardReadWrite"), QStringLiteral("clipboardSanitizedWrite")}}},
                 false);
    browser.Eval(QStringLiteral(R"((() => {
  const t = document.querySelectorAll('#pages .page')[1].querySelectorAll('g.t text');
  const r = document.createRange();
  r.setStart(t[1].firstChild, 0);
  r.setEnd(t[3].firstChild, t[3].textContent.length);
  getSelection().removeAllRanges();
  getSelection().addRange(r);
  return true;
})())"));
    browser.Call(QStringLiteral("Input.dispatchKeyEvent"),
                 {{QStringLiteral("type"), QStringLiteral("keyDown")},
                  {QStringLiteral("key"), QStringLiteral("c")},
                  {QStringLiteral("modifiers"), 2},
                  {QStringLiteral("windowsVirtualKeyCode"), 67},
                  {QStringLiteral("commands"), QJsonArray{QStringLiteral("copy")}}});
    const QStringList lines = texts[1].split(u'\n');
    EXPECT_EQ(browser.Eval(QStringLiteral("navigator.clipboard.readText()")).toString().toStdString(),
              (lines[1] + u'\n' + lines[2].left(lines[2].indexOf(QStringLiteral("Customer")) + 8)).toStdString());
}

TEST(BrowserViewer, PrintsOneSheetPerPageAtEachPagesSize) {
    if (test::TBrowser::Executable().empty()) GTEST_SKIP() << "chromium not installed";
    QTemporaryDir dir;
    const fs::path qrp = ThreeSheetReport(dir.path().toStdString());
    const QString html = dir.filePath(QStringLiteral("sheets.html")), pdf = dir.filePath(QStringLiteral("sheets.pdf"));
    Qrptool({QStringLiteral("convert"), QString::fromStdString(qrp.string()), html});
    test::TBrowser browser(800, 600);
    browser.Open(html.toStdString());
    const QJsonObject printed =
        browser.Call(QStringLiteral("Page.printToPDF"), {{QStringLiteral("preferCSSPageSize"), true}});
    QFile out(pdf);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray::fromBase64(printed.value(QStringLiteral("data")).toString().toLatin1()));
    out.close();
    const QString info = RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                                             QStringLiteral("-l"), QStringLiteral("9"), pdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages: +9\\n")))) << info.toStdString();
    // Sheets in points: 794 x 1123 screen pixels are 595.5 x 842.25 points.
    const double sheets[][2] = {{595.5, 842.25}, {842.25, 595.5}, {225, 225}};
    const QRegularExpression size(QStringLiteral("Page +(\\d+) size: +([\\d.]+) x ([\\d.]+) pts"));
    int pages = 0;
    for (auto m = size.globalMatch(info); m.hasNext();) {
        const auto match = m.next();
        const int n = match.captured(1).toInt();
        EXPECT_NEAR(match.captured(2).toDouble(), sheets[(n - 1) % 3][0], 1) << "page " << n;
        EXPECT_NEAR(match.captured(3).toDouble(), sheets[(n - 1) % 3][1], 1) << "page " << n;
        const QString text =
            RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), match.captured(1), QStringLiteral("-l"),
                                                  match.captured(1), pdf, QStringLiteral("-")});
        EXPECT_EQ(text.trimmed(), QStringLiteral("Strana %1").arg(n)) << "each sheet shows its own page";
        ++pages;
    }
    EXPECT_EQ(pages, 9);
}

TEST(BrowserViewer, TenThousandPagesOpenAtOnceAndFindAcrossThemAll) {
    if (test::TBrowser::Executable().empty()) GTEST_SKIP() << "chromium not installed";
    QTemporaryDir dir;
    const QString qrp = dir.filePath(QStringLiteral("big.qrp")), html = dir.filePath(QStringLiteral("big.html"));
    Qrptool({QStringLiteral("sample"), qrp, QStringLiteral("--pages"), QStringLiteral("10000"),
             QStringLiteral("--compress")});
    Qrptool({QStringLiteral("convert"), qrp, html});
    test::TBrowser browser(1200, 900);
    browser.Open(html.toStdString());
    const int ready = browser.Eval(QStringLiteral("Number(document.documentElement.dataset.ready)")).toInt();
    EXPECT_EQ(Shown(browser, "count"), QStringLiteral("of 10000"));
    browser.Key(QStringLiteral("End"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("10000"));
    EXPECT_TRUE(PageText(browser, 10000).contains(QStringLiteral("Page 10000 of 10000")));
    browser.Key(QStringLiteral("f"), 2);
    const auto start = std::chrono::steady_clock::now();
    browser.Call(QStringLiteral("Input.insertText"), {{QStringLiteral("text"), QStringLiteral("Page 5000 of")}});
    const double find = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(Shown(browser, "find-count"), QStringLiteral("1 of 1"));
    EXPECT_EQ(Field(browser, "page"), QStringLiteral("5000"));
    const double memory = static_cast<double>(browser.RendererMemory()) / (1 << 20);
    std::printf("10,000 pages: %.1f MB of HTML, shown %d ms after the start of loading, found across all pages in "
                "%.2f s; the tab's own memory %.0f MB (%.0f MB with its share of the browser's libraries)\n",
                static_cast<double>(fs::file_size(html.toStdString())) / 1e6, ready, find, memory,
                static_cast<double>(browser.RendererMemory(false)) / (1 << 20));
    EXPECT_LT(memory, 300);
}
