#include "printer/QRPrintDialog.h"

#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::printer;

namespace {

// The report's printer setup as it prepares the dialog for a previewed report of 12 pages.
void PrepareLikeTheReport(TQRPrintDialog& d) {
    d.MinPage = 1;
    d.MaxPage = 12;
    d.FromPage = 1;
    d.ToPage = 12;
    d.Options = {poPageNums, poWarning};
}

TEST(QRPrintDialog, OffersTheRangeAndOptionsItIsGiven) {
    TQRPrintDialog d;
    PrepareLikeTheReport(d);
    int min = -1, max = -1, from = -1, to = -1;
    QAbstractPrintDialog::PrintDialogOptions options;
    d.OnPrepared = [&](QDialog& dialog, QPrinter&) {
        auto& pd = static_cast<QPrintDialog&>(dialog);
        min = pd.minPage();
        max = pd.maxPage();
        from = pd.fromPage();
        to = pd.toPage();
        options = pd.options();
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    };
    EXPECT_FALSE(d.ShowDialog());
    EXPECT_EQ(min, 1);
    EXPECT_EQ(max, 12);
    EXPECT_EQ(from, 1);
    EXPECT_EQ(to, 12);
    EXPECT_TRUE(options.testFlag(QAbstractPrintDialog::PrintPageRange));
    EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(options.testFlag(QAbstractPrintDialog::PrintToFile));
}

TEST(QRPrintDialog, LongReportsKeepTheirWholeRange) {
    TQRPrintDialog d;
    d.MinPage = 1;
    d.MaxPage = 70000; // beyond what a 16-bit page number could carry
    d.Options = {poPageNums};
    int max = 0;
    d.OnPrepared = [&](QDialog& dialog, QPrinter&) {
        max = static_cast<QPrintDialog&>(dialog).maxPage();
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    };
    d.ShowDialog();
    EXPECT_EQ(max, 70000);
}

TEST(QRPrintDialog, CancellingLeavesThePrinterObjectAlone) {
    printing::TPrinter& target = printing::Printer();
    std::string device, driver, port;
    printing::TDevModeHandle before, after;
    target.GetPrinter(device, driver, port, before);
    const int index = target.PrinterIndex();

    TQRPrintDialog d;
    PrepareLikeTheReport(d);
    d.PrintRange = prAllPages;
    d.OnPrepared = [](QDialog& dialog, QPrinter& printer) {
        printer.setCopyCount(5);
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    };
    EXPECT_FALSE(d.ShowDialog());
    target.GetPrinter(device, driver, port, after);
    EXPECT_EQ(after, before) << "the same mode, untouched";
    EXPECT_EQ(target.PrinterIndex(), index);
    EXPECT_EQ(d.PrintRange, prAllPages);
    EXPECT_EQ(d.FromPage, 1);
    EXPECT_EQ(d.ToPage, 12);
}

TEST(QRPrintDialog, ConfirmingHandsBackRangeCopiesAndCollation) {
    TQRPrintDialog d;
    PrepareLikeTheReport(d);
    d.OnPrepared = [](QDialog& dialog, QPrinter& printer) {
        auto& pd = static_cast<QPrintDialog&>(dialog);
        QTimer::singleShot(0, &dialog, [&pd, &printer] {
            pd.setPrintRange(QAbstractPrintDialog::PageRange);
            pd.setFromTo(3, 5);
            printer.setCopyCount(2);
            printer.setCollateCopies(true);
            pd.QDialog::accept();
        });
    };
    ASSERT_TRUE(d.ShowDialog());
    EXPECT_EQ(d.PrintRange, prPageNums);
    EXPECT_EQ(d.FromPage, 3);
    EXPECT_EQ(d.ToPage, 5);
    EXPECT_EQ(d.Copies(), 2);
    EXPECT_TRUE(d.Collate);
}

TEST(QRPrintDialog, OtherWindowsAreDisabledWhileItIsOpenAndPlacedOneThirdDown) {
    QWidget other;
    other.resize(200, 100);
    other.show();
    bool otherEnabledInside = true, shown = false;
    QPoint place;
    QSize frame, screen;
    TQRPrintDialog d;
    d.Options = {poPageNums};
    d.OnShow = [&](TQRCommonDialog& sender) {
        shown = true;
        ASSERT_NE(sender.Handle(), nullptr);
        QTimer::singleShot(0, sender.Handle(), [&, dialog = sender.Handle()] {
            otherEnabledInside = other.isEnabled();
            place = dialog->frameGeometry().topLeft();
            frame = dialog->frameGeometry().size();
            screen = dialog->screen()->geometry().size();
            dialog->reject();
        });
    };
    bool closed = false;
    d.OnClose = [&closed](TQRCommonDialog&) { closed = true; };
    d.ShowDialog();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(otherEnabledInside);
    EXPECT_TRUE(other.isEnabled()) << "enabled again afterwards";
    EXPECT_EQ(place, QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 3));
    EXPECT_EQ(d.Handle(), nullptr);
}

TEST(QRPrintDialog, CopiesNeedAPrinterMode) {
    TQRPrintDialog d;
    if (printing::Printer().PrinterIndex() >= 0) GTEST_SKIP() << "a printer is installed here";
    try {
        d.SetCopies(3);
        ADD_FAILURE() << "no error";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Operation not supported on selected printer");
    }
}

} // namespace
