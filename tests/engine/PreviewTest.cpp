// A report's Preview through the standard preview window, offscreen: pages arrive in the window while
// the report runs, Preview waits until the window closes and then frees its report printer; a run
// that throws leaves the report ready for the next Preview.

#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "printer/ExportFilters.h"
#include "printer/QRPrinter.h"
#include "printer/QRProgressForm.h"
#include "printer/RunDialogs.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::engine;

namespace {

class Preview : public ::testing::Test {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    int Records = 0;

    void SetUp() override {
        preview::InstallStandardPreviewInterface();
        R->SetName("QRReport1");
        R->SetUnits(controls::TQRUnit::Native);
        R->Page()->SetPaperSize(TQRPaperSize::A4);
        R->Page()->SetStoredValues({100, 2970, 100, 2100, 100, 100, 0});
        auto* detail = system::TComponent::Create<TQRBand>(R.get());
        detail->SetName("Detail");
        detail->SetParentComponent(R.get());
        detail->SetBandType(rbDetail);
        detail->Size()->SetUnits(controls::TQRUnit::Native);
        detail->Size()->SetHeight(1000); // two records a page
        R->OnNeedData = [this](system::TComponent&, bool& more) { more = ++Records <= 5; };
    }

    // Waits (from inside Preview's wait) until the run has finished, then notes the pages the
    // preview's printer holds and closes the preview window.
    void CloseWhenDone(TQRReportRunner& runner, int& pagesSeen) {
        auto* timer = new QTimer;
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [this, timer, &runner, &pagesSeen] {
            if (!R->Available() || !runner.QRPrinter()) return;
            timer->stop();
            timer->deleteLater();
            auto windows = Windows();
            pagesSeen = windows.size() == 1 ? runner.QRPrinter()->PageTotal() : -1;
            for (auto* w : windows)
                w->close();
        });
        timer->start();
    }

    static std::vector<preview::TQRStandardPreview*> Windows() {
        std::vector<preview::TQRStandardPreview*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = dynamic_cast<preview::TQRStandardPreview*>(w); p && p->isVisible()) found.push_back(p);
        return found;
    }
};

TEST_F(Preview, PagesArriveAndClosingReturnsAndFreesThePrinter) {
    TQRReportRunner runner(*R);
    int pagesSeen = 0;
    CloseWhenDone(runner, pagesSeen);
    runner.Preview();
    EXPECT_EQ(pagesSeen, 3) << "five records of half a page each";
    EXPECT_EQ(runner.QRPrinter(), nullptr) << "closing the preview frees its report printer";
    EXPECT_TRUE(R->Available());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Windows().empty());
}

TEST_F(Preview, AFailedRunLeavesTheReportReadyForTheNextPreview) {
    TQRReportRunner runner(*R);
    R->BeforePrint = [](TCustomQRReport&, bool&) { throw std::runtime_error("broken data"); };
    EXPECT_THROW(runner.Preview(), std::runtime_error);
    EXPECT_TRUE(R->Available()) << "a failed run must not disable the report";
    EXPECT_EQ(runner.QRPrinter(), nullptr);
    for (auto* w : Windows())
        w->close(); // the emptied window of the failed run
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    R->BeforePrint = nullptr;
    int pagesSeen = 0;
    Records = 0;
    CloseWhenDone(runner, pagesSeen);
    runner.Preview();
    EXPECT_EQ(pagesSeen, 3);
    EXPECT_EQ(runner.QRPrinter(), nullptr);
}

// Exporting from an open preview runs the report again into the filter, which learns the report
// printer (and through it the report's title) and the report's window, and writes its file.
TEST_F(Preview, ExportFromThePreviewWritesTheFilterFile) {
    TQRReportRunner runner(*R);
    R->SetReportTitle("Přehled <5>");
    const auto file =
        std::filesystem::temp_directory_path() / ("pagimo-preview-export-" + std::to_string(::getpid()) + ".html");
    printer::TQRHTMLExportFilter filter(file.string());
    printer::TQRPrinter* seenPrinter = nullptr;
    QObject* seenReport = nullptr;
    int pagesAfter = 0;
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (!R->Available() || !runner.QRPrinter()) return;
        timer->stop();
        timer->deleteLater();
        Records = 0; // the same five records again
        runner.QRPrinter()->ExportPages(filter);
        seenPrinter = filter.Printer;
        seenReport = filter.Report;
        pagesAfter = runner.QRPrinter() ? runner.QRPrinter()->PageTotal() : -1;
        for (auto* w : Windows())
            w->close();
    });
    timer->start();
    runner.Preview();
    EXPECT_NE(seenPrinter, nullptr);
    EXPECT_EQ(seenReport, &runner);
    EXPECT_EQ(pagesAfter, 3) << "the preview keeps its pages";
    std::ifstream in(file);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(file);
    EXPECT_NE(html.find("<title>Přehled &lt;5&gt;</title>"), std::string::npos) << html;
    size_t pages = 0;
    for (size_t at = 0; (at = html.find("<div class=\"page\"", at)) != std::string::npos; ++at)
        ++pages;
    EXPECT_EQ(pages, 3u);
}

// The progress window of an export comes from the run dialogs the preview installs: it is up while
// the report runs and gone afterwards. Without them (a headless program) a run opens no window.
TEST_F(Preview, ExportShowsTheProgressWindowOfTheInstalledRunDialogsOnly) {
    auto progressWindows = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += dynamic_cast<printer::TQRProgressForm*>(w) && w->isVisible();
        return n;
    };
    std::vector<int> seen;
    std::vector<std::string> captions;
    R->SetReportTitle("Quarterly figures");
    R->BandList()[0]->BeforePrint = [&](TQRCustomBand&, bool&) {
        seen.push_back(progressWindows());
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dynamic_cast<printer::TQRProgressForm*>(w) && w->isVisible())
                captions.push_back(w->windowTitle().toStdString());
    };
    TQRReportRunner runner(*R);
    const auto file =
        std::filesystem::temp_directory_path() / ("pagimo-run-dialogs-" + std::to_string(::getpid()) + ".txt");
    {
        printer::TQRTextExportFilter filter(file.string());
        runner.Export(filter);
    }
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen.front(), 1) << "the progress window follows the run";
    EXPECT_EQ(progressWindows(), 0) << "and goes with it";
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.front(), "Printing progress") << "the caption is not the report's title";

    printer::SetRunDialogs(nullptr);
    seen.clear();
    Records = 0;
    {
        printer::TQRTextExportFilter filter(file.string());
        runner.Export(filter);
    }
    preview::InstallStandardPreviewInterface();
    std::filesystem::remove(file);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen.front(), 0) << "the base run dialogs show nothing";
}

// Printer setup leaves its answer in the report's Tag: 1 when the dialog was cancelled, 0 when confirmed.
TEST_F(Preview, PrinterSetupSetsTheReportTag) {
    struct TAnswer : printer::TQRRunDialogs {
        bool Confirm;
        explicit TAnswer(bool confirm) : Confirm(confirm) {}
        bool PrintSetup(printer::TQRPrinterSettings&, printer::TPrinterOrientation&, const printer::TQRPrinter*,
                        QObject*) override {
            return Confirm;
        }
    };
    TQRReportRunner runner(*R);
    R->SetTag(7);
    printer::SetRunDialogs(std::make_unique<TAnswer>(false));
    EXPECT_FALSE(runner.PrintSetup(nullptr));
    EXPECT_EQ(R->Tag(), 1);
    printer::SetRunDialogs(std::make_unique<TAnswer>(true));
    EXPECT_TRUE(runner.PrintSetup(nullptr));
    EXPECT_EQ(R->Tag(), 0);
    preview::InstallStandardPreviewInterface();
}

} // namespace
