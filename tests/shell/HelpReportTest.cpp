// The built-in help report as the program builds it from its stored description: one A4 page whose
// texts, fonts and places follow the help page's layout, previewed by "Prohlížet".

#include "shell/HelpReport.h"
#include "shell/ViewSession.h"

#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"
#include "preview/RecordedPages.h"
#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "preview/WindowParts.h"
#include "printer/QRPrinter.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>

using namespace pagimo;
using namespace pagimo::shell;

namespace {

struct TTextLine {
    int X = 0, Y = 0;
    std::string Font; // face/height/weight
    int Align = 0;
};

// The texts of page 1, keyed by their text, as the trace device sees them.
std::map<std::string, TTextLine> PageTexts(printer::TQRPrinter& pages, std::vector<std::string>& dibs) {
    std::unique_ptr<emf::TEmfPicture> page = pages.FetchPage(1);
    gdi::TTraceDevice device;
    gdi::TEmfPlayer::Play(*page, device, QRectF(0, 0, page->Width(), page->Height()));
    std::map<std::string, TTextLine> texts;
    const std::regex text(R"re(^text at=(-?\d+),(-?\d+) "(.*)" font=(\S+) color=\S+ align=(\d+))re");
    for (const std::string& line : device.Lines()) {
        std::smatch m;
        if (std::regex_search(line, m, text))
            texts[m[3]] = {std::stoi(m[1]), std::stoi(m[2]), m[4], std::stoi(m[5])};
        else if (line.rfind("dib ", 0) == 0)
            dibs.push_back(line);
    }
    return texts;
}

} // namespace

TEST(HelpReport, IsOnePageWithTheHelpTextsInTheirPlacesAndFonts) {
    THelpReport help(THelpReport::Locate());
    engine::TQRReportRunner runner(help.Report());
    std::unique_ptr<printer::TQRPrinter> pages = runner.Record();
    ASSERT_EQ(pages->PageTotal(), 1) << "the detail band fits below the title, above the footer";

    std::vector<std::string> dibs;
    const auto texts = PageTexts(*pages, dibs);
    auto at = [&](const std::string& s) -> const TTextLine& {
        const auto it = texts.find(s);
        if (it == texts.end()) throw std::runtime_error("not printed: " + s);
        return it->second;
    };
    const char* expected[] = {
        "Pagimo 1.2",
        "Pagimo je program pro prohlížení qrp dokumentů",
        "Popis ovládání :",
        "Hlavní okno programu",
        "Kliknutím na tlačítko \"Prohlížet\" spustíte režim prohlížení souborů qrp",
        "Kliknutím na tlačítko \"Konec\" ukončíte program Pagimo",
        "Režim prohlížení qrp souborů :",
        "1. zobrazení ( celá stránka, 100 %, na šířku obrazovky )",
        "2. pohyb po dokumentu",
        "3. nastavení a spuštění tisku",
        "4. tlačítka pro uložení a načtení dokumentu",
        "5. ukončení režimu prohlížení a návrat do hlavního okna",
        "Harvelta - stravenkové, docházkové a přístupové systémy",
    };
    for (const char* s : expected)
        EXPECT_TRUE(texts.count(s)) << s;
    EXPECT_EQ(texts.size(), std::size(expected) + 8 + 1) << "plus two four-line memos and the web address";

    // Places, from the stored sizes in tenths of a millimetre: the device scale follows from two
    // labels, every other place must agree with it to within a pixel.
    const TTextLine& a = at("Pagimo je program pro prohlížení qrp dokumentů");           // left 26.46, top 10.58
    const TTextLine& b = at("1. zobrazení ( celá stránka, 100 %, na šířku obrazovky )"); // 952.5, 518.58
    const double sx = (b.X - a.X) / (952.5 - 26.4583);
    const double sy = (b.Y - a.Y) / (518.5833 - 10.5833);
    EXPECT_NEAR(sx, sy, 0.01) << "square device pixels";
    auto expectAt = [&](const std::string& s, double left, double top) {
        EXPECT_NEAR(at(s).X, a.X + (left - 26.4583) * sx, 1.0) << s;
        EXPECT_NEAR(at(s).Y, a.Y + (top - 10.5833) * sy, 1.0) << s;
    };
    expectAt("Popis ovládání :", 26.4583, 89.9583);
    expectAt("Kliknutím na tlačítko \"Konec\" ukončíte program Pagimo", 624.4167, 343.9583);
    expectAt("5. ukončení režimu prohlížení a návrat do hlavního okna", 952.5, 730.25);
    expectAt("Harvelta - stravenkové, docházkové a přístupové systémy", 26.4583, 883.7083);

    // The title and the web address are centred on the band: anchored at its middle.
    const double bandMiddle = a.X + (1846.79 / 2 - 26.4583) * sx;
    EXPECT_NEAR(at("Pagimo 1.2").X, bandMiddle, 1.0);
    EXPECT_EQ(at("Pagimo 1.2").Align & 6, 6) << "TA_CENTER";
    EXPECT_NEAR(at("www.harvelta.example").X, bandMiddle, 1.0);
    // The title band's text sits above the detail band's first line.
    EXPECT_LT(at("Pagimo 1.2").Y, a.Y);

    // Fonts: the band's Tahoma 10 pt, bold headings, the 11 pt maker line and the 18 pt title.
    auto face = [&](const std::string& s) { return at(s).Font; };
    const std::string regular = face("2. pohyb po dokumentu");
    EXPECT_EQ(regular.substr(0, 7), "Tahoma/");
    EXPECT_EQ(regular.substr(regular.rfind('/')), "/400");
    EXPECT_EQ(face("Popis ovládání :").substr(face("Popis ovládání :").rfind('/')), "/700");
    EXPECT_EQ(face("Pagimo 1.2").substr(face("Pagimo 1.2").rfind('/')), "/700");
    auto height = [&](const std::string& s) {
        const std::string f = face(s);
        const size_t p = f.find('/');
        return std::abs(std::stoi(f.substr(p + 1, f.find('/', p + 1) - p - 1)));
    };
    EXPECT_GT(height("Harvelta - stravenkové, docházkové a přístupové systémy"), height("2. pohyb po dokumentu"));
    EXPECT_NEAR(double(height("Pagimo 1.2")) / height("2. pohyb po dokumentu"), 18.0 / 10.0, 0.1);

    // The two pictures of the program's windows.
    EXPECT_EQ(dibs.size(), 2u);
}

TEST(HelpReport, ProhlizetShowsThePageAndASecondPressBringsThePreviewForward) {
    preview::InstallStandardPreviewInterface();
    THelpReport help(THelpReport::Locate());
    QString counter;
    QPointer<QWidget> first;
    bool sameWindow = false;
    // Waits for the generated page in the preview, then looks at it and closes the window.
    QTimer poll;
    bool closed = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* window = dynamic_cast<preview::TQRStandardPreview*>(help.Window());
        if (closed || !window || !window->ReportPrinter() || !help.Report().Available()) return;
        closed = true;
        QCoreApplication::sendPostedEvents(); // the page notices posted while the report ran
        first = window;
        counter = test::Part<QLabel>(*window, "Panel1")->text();
        help.View(); // returns at once
        sameWindow = help.Window() == first.data();
        window->close();
    });
    poll.start(10);
    QTimer::singleShot(20000, [&] {
        if (auto* window = help.Window()) window->close(); // never hang the suite
    });
    help.View();
    EXPECT_EQ(counter, QStringLiteral("Page 1 of 1"));
    EXPECT_TRUE(sameWindow);
    EXPECT_EQ(help.Window(), nullptr);
    EXPECT_TRUE(help.Report().Available());
}

// In the viewer program the preview of "Prohlížet" is a viewer's window: its run finished, it shows
// no progress; a file loaded into it names the window and goes to the recent files.
TEST(HelpReport, APreviewOfProhlizetTakesALoadedFileAsAViewerWindowDoes) {
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    preview::InstallStandardPreviewInterface();
    InstallViewerPreviewWindows();
    const QString file = config.filePath(QStringLiteral("ledger.qrp"));
    test::PrinterWithPages(2)->SaveReportFile(file.toStdString());
    THelpReport help(THelpReport::Locate());
    QString progress, caption;
    bool recent = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* window = dynamic_cast<preview::TQRStandardPreview*>(help.Window());
        if (!caption.isEmpty() || !window || !help.Report().Available()) return;
        QCoreApplication::sendPostedEvents();
        progress = test::Part<QLabel>(*window, "Panel0")->text();
        window->LoadReportFile(file);
        caption = window->windowTitle();
        recent = test::Part<QToolButton>(*window, "RecentFiles")->isEnabled();
        window->close();
    });
    poll.start(10);
    QTimer::singleShot(20000, [&] {
        if (auto* window = help.Window()) window->close();
    });
    help.View();
    preview::SetPreviewOpened(nullptr);
    qputenv("XDG_CONFIG_HOME", oldConfig);
    EXPECT_EQ(progress, QString());
    EXPECT_EQ(caption, QStringLiteral("ledger.qrp \u2013 Pagimo"));
    EXPECT_TRUE(recent);
}
