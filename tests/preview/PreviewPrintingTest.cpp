// Printing from the preview window to a real queue of a private CUPS, and the print dialog on it.

#include "DamagedFiles.h"
#include "pagestore/PageListFixture.h"
#include "preview/RecordedPages.h"
#include "preview/StandardPreview.h"
#include "preview/WindowParts.h"
#include "printer/CupsFixture.h"
#include "printer/PdfProbe.h"
#include "printer/QRPrintDialog.h"

#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>

using namespace pagimo;
using namespace std::chrono_literals;

namespace {

class PreviewPrinting : public ::testing::Test {
protected:
    void SetUp() override {
        Cups = test::TCupsFixture::Shared();
        if (!Cups) GTEST_SKIP() << "no private CUPS: " << test::TCupsFixture::Error();
        ASSERT_TRUE(Dir.isValid());
        File = Dir.filePath(QStringLiteral("three.qrp"));
        test::PrinterWithPages(3)->SaveReportFile(File.toStdString());
    }
    test::TCupsFixture* Cups = nullptr;
    QTemporaryDir Dir;
    QString File;
};

// Before any printer setup, Print asks with the print dialog first; confirmed, the loaded pages go out.
TEST_F(PreviewPrinting, PrintPlaysTheLoadedPagesOntoTheQueue) {
    const size_t before = Cups->Documents().size();
    printer::TQRPrinter printer;
    preview::TQRStandardPreview w(nullptr, &printer);
    w.LoadReportFile(File);
    ASSERT_TRUE(test::Part<QAbstractButton>(w, "Print")->isEnabled());
    bool asked = false;
    QTimer::singleShot(0, [&asked] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        asked = true;
        dialog->QDialog::accept();
    });
    QTest::mouseClick(test::Part<QAbstractButton>(w, "Print"), Qt::LeftButton);
    EXPECT_TRUE(asked);
    const auto documents = Cups->WaitForDocuments(before + 1, 30s);
    ASSERT_EQ(documents.size(), before + 1);
    const auto pages = test::PdfPages(*Cups, documents.back());
    EXPECT_EQ(pages.size(), 3u);
}

TEST_F(PreviewPrinting, TheDialogSwitchesThePrinterObjectToTheChosenQueueAndMode) {
    printer::TQRPrintDialog d;
    d.MinPage = 1;
    d.MaxPage = 3;
    d.FromPage = 1;
    d.ToPage = 3;
    d.Options = {printer::poPageNums, printer::poWarning};
    QString offered;
    d.OnPrepared = [&offered](QDialog& dialog, QPrinter& qp) {
        offered = qp.printerName();
        QTimer::singleShot(0, &dialog, [&dialog, &qp] {
            auto& pd = static_cast<QPrintDialog&>(dialog);
            pd.setPrintRange(QAbstractPrintDialog::PageRange);
            pd.setFromTo(2, 3);
            qp.setCopyCount(2);
            pd.QDialog::accept();
        });
    };
    ASSERT_TRUE(d.ShowDialog());
    EXPECT_EQ(offered.toStdString(), Cups->Queue());
    EXPECT_EQ(d.PrintRange, printer::prPageNums);
    EXPECT_EQ(d.FromPage, 2);
    EXPECT_EQ(d.ToPage, 3);
    EXPECT_EQ(d.Copies(), 2);
    std::string device, driver, port;
    printing::TDevModeHandle mode;
    printing::Printer().GetPrinter(device, driver, port, mode);
    ASSERT_TRUE(mode);
    EXPECT_EQ(device, Cups->Queue());
    EXPECT_EQ(mode->dmCopies, 2) << "the copies went into the printer mode";
}

// Printer setup of a loaded file: the dialog offers its pages, and Print sends what it chose, named
// after the file.
TEST_F(PreviewPrinting, TheDialogOfALoadedFileChoosesTheRangeAndCopiesThatPrintSends) {
    const QString five = Dir.filePath(QStringLiteral("five.qrp"));
    test::PrinterWithPages(5)->SaveReportFile(five.toStdString());
    const size_t before = Cups->Documents().size();
    printer::TQRPrinter printer;
    preview::TQRStandardPreview w(nullptr, &printer);
    w.LoadReportFile(five);
    ASSERT_TRUE(test::Part<QAbstractButton>(w, "PrintSetup")->isEnabled());
    std::array<int, 4> offered{};
    QTimer::singleShot(0, [&offered] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = {dialog->minPage(), dialog->maxPage(), dialog->fromPage(), dialog->toPage()};
        dialog->setPrintRange(QAbstractPrintDialog::PageRange);
        dialog->setFromTo(2, 4);
        dialog->printer()->setCopyCount(2);
        dialog->QDialog::accept();
    });
    QTest::mouseClick(test::Part<QAbstractButton>(w, "PrintSetup"), Qt::LeftButton);
    EXPECT_EQ(offered, (std::array<int, 4>{1, 5, 1, 5}));
    EXPECT_EQ(printer.FirstPage(), 2);
    EXPECT_EQ(printer.LastPage(), 4);
    QTest::mouseClick(test::Part<QAbstractButton>(w, "Print"), Qt::LeftButton); // no second question once set up
    const auto documents = Cups->WaitForDocuments(before + 1, 30s);
    ASSERT_EQ(documents.size(), before + 1);
    const auto pages = test::PdfPages(*Cups, documents.back());
    EXPECT_EQ(pages.size(), 3u);
    const std::string text = test::PdfText(*Cups, documents.back());
    EXPECT_NE(text.find("Page 2"), std::string::npos);
    EXPECT_EQ(text.find("Page 5"), std::string::npos);
    const auto job = Cups->PrinterJob(static_cast<int>(documents.size()));
    EXPECT_EQ(job.at("copies"), "2");
    EXPECT_EQ(job.at("job-name"), "five.qrp");
    EXPECT_TRUE(test::Part<QLabel>(w, "JobPanel")
                    ->text()
                    .startsWith(QStringLiteral("Sent to ") + QString::fromStdString(Cups->Queue())))
        << test::Part<QLabel>(w, "JobPanel")->text().toStdString();
}

// A print whose range holds a page that cannot be drawn sends nothing at all.
TEST_F(PreviewPrinting, APrintWithADamagedPageSendsNothing) {
    auto bytes = test::FileBytes(File.toStdString());
    test::BreakRecordInsidePage(bytes, 2);
    const QString damaged = Dir.filePath(QStringLiteral("damaged.qrp"));
    test::WriteFileBytes(damaged.toStdString(), bytes);
    const size_t before = Cups->Documents().size();
    printer::TQRPrinter printer;
    printer.OpenReportFile(damaged.toStdString());
    try {
        printer.Print();
        ADD_FAILURE() << "printed";
    } catch (const EQRError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Page 2 cannot be drawn")) << e.what();
    }
    EXPECT_EQ(printer.Device().LastJobId(), 0);
    printer.SetFirstPage(3);
    printer.SetLastPage(3);
    printer.Print();
    EXPECT_GT(printer.Device().LastJobId(), 0) << "a range without the damaged page prints";
    const auto documents = Cups->WaitForDocuments(before + 1, 30s);
    ASSERT_EQ(documents.size(), before + 1) << "only the second print arrived";
    EXPECT_EQ(test::PdfPages(*Cups, documents.back()).size(), 1u);
}

// A file loaded over shown pages keeps the zoom but takes its own paper, so a landscape file is not
// squeezed onto the portrait sheet that was there. (Orientation needs a printer that offers it.)
TEST_F(PreviewPrinting, ALandscapeFileLoadedOverPortraitPagesGetsALandscapeSheet) {
    printer::TQRPrinter landscapeSource;
    landscapeSource.SetPaperSize(printer::TQRPaperSize::A4);
    landscapeSource.SetOrientation(printer::poLandscape);
    ASSERT_EQ(landscapeSource.Orientation(), printer::poLandscape);
    test::RecordPages(landscapeSource, 1);
    const QString landscape = Dir.filePath(QStringLiteral("wide.QRP"));
    landscapeSource.SaveReportFile(landscape.toStdString());

    auto portrait = test::PrinterWithPages(1);
    preview::TQRStandardPreview w(nullptr, portrait.get());
    w.QRPreview()->SetZoom(100);
    EXPECT_EQ(w.QRPreview()->PageImage()->size(), QSize(798, 1127));
    w.LoadReportFile(landscape);
    EXPECT_EQ(w.QRPreview()->Zoom(), 100);
    EXPECT_EQ(w.QRPreview()->PageImage()->size(), QSize(1127, 798));
}

// The report's printer setup: what the dialog is given and what the report takes back.
class ReportPrintSetup : public PreviewPrinting {
protected:
    // Runs the setup, answering the dialog with answer; records the range the dialog offered.
    bool Run(const std::function<void(QPrintDialog&, QPrinter&)>& answer, const printer::TQRPrinter* current) {
        QTimer::singleShot(0, [this, answer] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            Offered = {dialog->minPage(), dialog->maxPage(), dialog->fromPage(), dialog->toPage()};
            answer(*dialog, *dialog->printer());
        });
        return printer::ReportPrintSetup(Settings, Orientation, current);
    }
    printer::TQRPrinterSettings Settings;
    printer::TPrinterOrientation Orientation = printer::poPortrait;
    std::array<int, 4> Offered{};
};

TEST_F(ReportPrintSetup, ANewReportOffersPagesZeroTo9999AndCancelChangesNothing) {
    Settings.SetCopies(3);
    Settings.SetFirstPage(2);
    EXPECT_FALSE(Run([](QPrintDialog& d, QPrinter&) { d.reject(); }, nullptr));
    EXPECT_EQ(Offered[0], 0);
    EXPECT_EQ(Offered[1], 9999);
    EXPECT_EQ(Settings.Copies(), 3);
    EXPECT_EQ(Settings.FirstPage(), 2);
}

TEST_F(ReportPrintSetup, AfterAPreviewOfTwelvePagesTheRangeIsOneToTwelve) {
    auto previewed = test::PrinterWithPages(12);
    const bool confirmed = Run(
        [](QPrintDialog& d, QPrinter& p) {
            d.setPrintRange(QAbstractPrintDialog::PageRange);
            d.setFromTo(3, 5);
            p.setCopyCount(2);
            p.setPageOrientation(QPageLayout::Landscape);
            d.QDialog::accept();
        },
        previewed.get());
    ASSERT_TRUE(confirmed);
    EXPECT_EQ(Offered, (std::array<int, 4>{1, 12, 1, 12}));
    EXPECT_EQ(Settings.FirstPage(), 3);
    EXPECT_EQ(Settings.LastPage(), 5);
    EXPECT_EQ(Settings.Copies(), 2);
    EXPECT_EQ(Settings.PrinterNumber(), printing::Printer().PrinterIndex());
    EXPECT_EQ(Orientation, printer::poLandscape);

    ASSERT_TRUE(Run([](QPrintDialog& d, QPrinter&) { d.QDialog::accept(); }, previewed.get()));
    EXPECT_EQ(Settings.FirstPage(), 0) << "all pages";
    EXPECT_EQ(Settings.LastPage(), 0);
}

} // namespace
