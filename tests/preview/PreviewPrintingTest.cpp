// Printing from the preview window to a real queue of a private CUPS, and the print dialog on it.

#include "preview/RecordedPages.h"
#include "preview/StandardPreview.h"
#include "printer/CupsFixture.h"
#include "printer/PdfProbe.h"
#include "printer/QRPrintDialog.h"

#include "platform/printing/Printer.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

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

TEST_F(PreviewPrinting, PrintPlaysTheLoadedPagesOntoTheQueue) {
    const size_t before = Cups->Documents().size();
    printer::TQRPrinter printer;
    preview::TQRStandardPreview w(nullptr, &printer);
    w.LoadReportFile(File);
    ASSERT_TRUE(w.Print->isEnabled());
    QTest::mouseClick(w.Print, Qt::LeftButton);
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

} // namespace
