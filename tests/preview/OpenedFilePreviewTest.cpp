// The preview window with opened files: damaged files and pages, failed loads, keys that page, the
// printer buttons of loaded pages.

#include "preview/StandardPreview.h"
#include "printer/QRPrinter.h"

#include "DamagedFiles.h"
#include "MixedSheets.h"
#include "PageMark.h"
#include "PopplerProbe.h"
#include "RecordedPages.h"
#include "WindowParts.h"
#include "pagestore/PageListFixture.h"

#include "platform/gdi/FontMatcher.h"
#include "platform/system/Errors.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

class OpenedFilePreview : public ::testing::Test {
protected:
    void SetUp() override {
        Good = Dir.File("ten.qrp");
        test::PrinterWithPages(10)->SaveReportFile(Good);
        Bytes = test::FileBytes(Good);
        Window.OnMessage = [this](const QString& text) { Messages << text; };
        Window.resize(800, 700);
    }
    QString Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        test::WriteFileBytes(Dir.File(name), bytes);
        return QString::fromStdString(Dir.File(name));
    }
    void Pump() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    test::TTempDir Dir;
    std::string Good;
    std::vector<uint8_t> Bytes;
    printer::TQRPrinter Printer;
    TQRStandardPreview Window{nullptr, &Printer};
    QStringList Messages;
};

TEST_F(OpenedFilePreview, AFailedLoadKeepsTheDocumentShownWithItsCounterAndButtons) {
    Window.LoadReportFile(QString::fromStdString(Good));
    Window.LastPageClick();
    const QString foreign = Write("program.qrp", test::ForeignFile());
    EXPECT_THROW(Window.LoadReportFile(foreign), EQRError);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 10 of 10"));
    EXPECT_EQ(Printer.PageTotal(), 10);
    EXPECT_TRUE(Window.QRPreview()->PageImage()->HasPage());
    EXPECT_TRUE(test::Part<QAbstractButton>(Window, "Print")->isEnabled());
    EXPECT_TRUE(test::Part<QAbstractButton>(Window, "PrintSetup")->isEnabled())
        << "loaded pages print through the print dialog";
    EXPECT_TRUE(test::Part<QLabel>(Window, "Panel0")->text().isEmpty()) << "no generation to show a percentage of";
}

TEST_F(OpenedFilePreview, ATruncatedFileSaysAtOnceHowManyPagesAreUsable) {
    Window.LoadReportFile(Write("cut.qrp", test::CutInsidePage(Bytes, 7)));
    Pump();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains(QStringLiteral("is damaged: only 6 of 10 pages can be read")))
        << Messages[0].toStdString();
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 1 of 6"));
}

// A page that cannot be drawn is not a silent blank: one message, and a sheet marked as such.
TEST_F(OpenedFilePreview, APageThatCannotBeDrawnIsMarkedAndReportedOnce) {
    test::BreakRecordInsidePage(Bytes, 3);
    Window.LoadReportFile(Write("three.qrp", Bytes));
    Window.NextPageClick();
    Window.NextPageClick();
    Window.QRPreview()->WaitForPages();
    Pump();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].startsWith(QStringLiteral("Metafile is not valid"))) << Messages[0].toStdString();
    const TQRPreviewImage* sheet = Window.QRPreview()->PageImage();
    EXPECT_TRUE(sheet->HasPage());
    EXPECT_FALSE(sheet->PageProblem().isEmpty());
    QImage image(sheet->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        const_cast<TQRPreviewImage*>(sheet)->DrawPage(painter);
    }
    // The sheet is crossed out in red from corner to corner.
    EXPECT_TRUE(test::HasPageMark(image, QRectF(1, 1, image.width() - 4, image.height() - 4)));
    Window.NextPageClick();
    Window.PrevPageClick();
    Window.QRPreview()->WaitForPages();
    Pump();
    EXPECT_EQ(Messages.size(), 1) << "told once per document";
}

TEST_F(OpenedFilePreview, PageDownLandsAtTheTopOfTheNextPage) {
    Window.show();
    Window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
    Window.LoadReportFile(QString::fromStdString(Good));
    Window.QRPreview()->SetZoom(200);
    QScrollBar* bar = Window.QRPreview()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    Window.QRPreview()->setFocus();
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, Qt::Key_PageDown);
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 2);
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum() / 2);
    QTest::keyClick(target, Qt::Key_PageUp);
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 1);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(OpenedFilePreview, TheGroundAroundTheSheetIsTheButtonFace) {
    Window.show();
    Window.LoadReportFile(QString::fromStdString(Good));
    Window.ZoomToFitClick();
    QApplication::processEvents();
    const QImage shot = Window.QRPreview()->viewport()->grab().toImage();
    const QColor ground = shot.pixelColor(2, shot.height() / 2);
    EXPECT_EQ(ground, Window.palette().color(QPalette::Button));
    EXPECT_NE(ground, QColor(Qt::white));
}

// The print dialog of loaded pages offers a PDF file (also with no printer installed) and the page
// shown: the file holds the chosen pages as qrptool convert writes them, and the status bar says where.
TEST_F(OpenedFilePreview, PrintToFileWritesThePagesQrptoolConvertWrites) {
    const std::string qrptool = PAGIMO_BINARY_DIR "/tools/qrptool";
    if (!std::filesystem::exists(qrptool)) GTEST_SKIP() << "qrptool is not built";
    const std::string converted = Dir.File("converted.pdf");
    ASSERT_EQ(std::system((qrptool + " convert '" + Good + "' '" + converted + "'").c_str()), 0);
    Window.LoadReportFile(QString::fromStdString(Good));
    Window.NextPageClick();
    Window.NextPageClick(); // page 3 shown
    struct TCase {
        QAbstractPrintDialog::PrintRange Range;
        int From, To;    // chosen in the dialog (PageRange)
        int First, Last; // the pages expected in the file
    } cases[] = {{QAbstractPrintDialog::AllPages, 0, 0, 1, 10},
                 {QAbstractPrintDialog::CurrentPage, 0, 0, 3, 3},
                 {QAbstractPrintDialog::PageRange, 4, 6, 4, 6}};
    for (const TCase& c : cases) {
        const std::string out = Dir.File("printed-" + std::to_string(c.First) + "-" + std::to_string(c.Last) + ".pdf");
        bool offered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            offered = dialog->testOption(QAbstractPrintDialog::PrintToFile) &&
                      dialog->testOption(QAbstractPrintDialog::PrintCurrentPage);
            dialog->printer()->setOutputFileName(QString::fromStdString(out));
            dialog->setPrintRange(c.Range);
            if (c.Range == QAbstractPrintDialog::PageRange) dialog->setFromTo(c.From, c.To);
            dialog->QDialog::accept();
        });
        Window.PrintClick();
        EXPECT_TRUE(offered) << c.First;
        EXPECT_EQ(test::PdfPageCount(out), c.Last - c.First + 1);
        EXPECT_EQ(test::PdfPagesText(out), test::PdfPagesText(converted, c.First, c.Last)) << c.First;
        EXPECT_EQ(test::Part<QLabel>(Window, "JobPanel")->text(),
                  QStringLiteral("Printed to ") + QString::fromStdString(out));
    }
    EXPECT_TRUE(Messages.isEmpty());
}

} // namespace

// A page that needs more drawing work than any real page is drawn as far as its budget goes and is
// marked as one that cannot be drawn completely; the pages beside it are drawn as ever.
TEST_F(OpenedFilePreview, APageOverItsWorkBudgetIsMarkedOnItsSheet) {
    const std::string file = Dir.File("heavy.qrp");
    test::TroubleReport(file);
    Window.LoadReportFile(QString::fromStdString(file));
    const TQRPreviewImage* sheet = Window.QRPreview()->PageImage();
    auto paint = [&] {
        Window.QRPreview()->WaitForPages();
        Pump();
        QImage image(sheet->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        const_cast<TQRPreviewImage*>(sheet)->DrawPage(painter);
        return image;
    };
    paint();
    EXPECT_FALSE(sheet->PageIncomplete());
    Window.NextPageClick();
    const QImage image = paint();
    EXPECT_TRUE(sheet->PageIncomplete());
    EXPECT_TRUE(Messages.isEmpty()) << "the page itself is readable; the sheet tells";
    EXPECT_TRUE(test::HasPageMark(image, QRectF(1, 1, image.width() - 4, image.height() - 4)));
}

TEST_F(OpenedFilePreview, AMissingFontIsToldOncePerDocumentInTheStatusBar) {
    // Two pages of glyph-index text in Arial, whose substitute's glyph order differs: the first page
    // painted tells it in the status bar, the second does not tell it again.
    if (gdi::TFontMatcher::Shared().ResolveFamily(QStringLiteral("Arial"), 400, false) == QStringLiteral("Arial"))
        GTEST_SKIP() << "Arial is installed";
    printer::TQRPrinter recording;
    recording.SetPaperSize(printer::TQRPaperSize::A4);
    recording.StartDocument();
    const int32_t dx[] = {12, 12};
    for (int n = 0; n < 2; ++n) {
        recording.NewPage();
        recording.PageCanvas()->Font.Name = "Arial";
        recording.PageCanvas()->ExtTextOut(100, 100, gdi::ETO_GLYPH_INDEX, nullptr, std::u16string{u'\x300', u'\x301'},
                                           dx);
    }
    recording.FinishDocument();
    const std::string file = Dir.File("fonts.qrp");
    recording.SaveReportFile(file);
    Window.LoadReportFile(QString::fromStdString(file));
    // Pages are drawn on workers; the notice comes when a drawing comes back.
    auto paint = [&] {
        Window.QRPreview()->WaitForPages();
        Pump();
    };
    paint();
    EXPECT_TRUE(Window.statusBar()->currentMessage().contains(QStringLiteral("Page 1 needs the font \"Arial\"")))
        << Window.statusBar()->currentMessage().toStdString();
    Window.statusBar()->clearMessage();
    Window.NextPageClick();
    Pump();
    paint();
    EXPECT_TRUE(Window.statusBar()->currentMessage().isEmpty()) << "told once per document";
    EXPECT_TRUE(Messages.isEmpty()) << "the pages are drawn; no message box";
}
