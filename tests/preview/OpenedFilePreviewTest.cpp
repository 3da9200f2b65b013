// The preview window with opened files: damaged files and pages, failed loads, keys that page, the
// printer buttons of loaded pages.

#include "preview/StandardPreview.h"
#include "printer/QRPrinter.h"

#include "DamagedFiles.h"
#include "MixedSheets.h"
#include "PageMark.h"
#include "RecordedPages.h"
#include "pagestore/PageListFixture.h"

#include "platform/gdi/FontMatcher.h"
#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

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
    EXPECT_EQ(Window.PagePanel->text(), QStringLiteral("Page 10 of 10"));
    EXPECT_EQ(Printer.PageTotal(), 10);
    EXPECT_TRUE(Window.QRPreview->PageImage()->HasPage());
    EXPECT_TRUE(Window.Print->isEnabled());
    EXPECT_TRUE(Window.PrintSetup->isEnabled()) << "loaded pages print through the print dialog";
    EXPECT_TRUE(Window.ProgressPanel->text().isEmpty()) << "no generation to show a percentage of";
}

TEST_F(OpenedFilePreview, ATruncatedFileSaysAtOnceHowManyPagesAreUsable) {
    Window.LoadReportFile(Write("cut.qrp", test::CutInsidePage(Bytes, 7)));
    Pump();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains(QStringLiteral("is damaged: only 6 of 10 pages can be read"))) << Messages[0].toStdString();
    EXPECT_EQ(Window.PagePanel->text(), QStringLiteral("Page 1 of 6"));
}

// A page that cannot be drawn is not a silent blank: one message, and a sheet marked as such.
TEST_F(OpenedFilePreview, APageThatCannotBeDrawnIsMarkedAndReportedOnce) {
    test::BreakRecordInsidePage(Bytes, 3);
    Window.LoadReportFile(Write("three.qrp", Bytes));
    Window.NextPageClick();
    Window.NextPageClick();
    Window.QRPreview->WaitForPages();
    Pump();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].startsWith(QStringLiteral("Metafile is not valid"))) << Messages[0].toStdString();
    const TQRPreviewImage* sheet = Window.QRPreview->PageImage();
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
    Window.QRPreview->WaitForPages();
    Pump();
    EXPECT_EQ(Messages.size(), 1) << "told once per document";
}

TEST_F(OpenedFilePreview, PageDownLandsAtTheTopOfTheNextPage) {
    Window.show();
    Window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
    Window.LoadReportFile(QString::fromStdString(Good));
    Window.QRPreview->SetZoom(200);
    QScrollBar* bar = Window.QRPreview->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    Window.QRPreview->setFocus();
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, Qt::Key_PageDown);
    EXPECT_EQ(Window.QRPreview->PageNumber(), 2);
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum() / 2);
    QTest::keyClick(target, Qt::Key_PageUp);
    EXPECT_EQ(Window.QRPreview->PageNumber(), 1);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(OpenedFilePreview, TheGroundAroundTheSheetIsTheButtonFace) {
    Window.show();
    Window.LoadReportFile(QString::fromStdString(Good));
    Window.ZoomToFitClick();
    QApplication::processEvents();
    const QImage shot = Window.QRPreview->viewport()->grab().toImage();
    const QColor ground = shot.pixelColor(2, shot.height() / 2);
    EXPECT_EQ(ground, Window.palette().color(QPalette::Button));
    EXPECT_NE(ground, QColor(Qt::white));
}

TEST_F(OpenedFilePreview, WithoutPrintersSetupAndPrintSayNoPrinterIsInstalled) {
    if (!printing::Printer().Printers().empty()) GTEST_SKIP() << "this machine has printers";
    Window.LoadReportFile(QString::fromStdString(Good));
    for (auto click : {&TQRStandardPreview::PrintSetupClick, &TQRStandardPreview::PrintClick}) {
        try {
            (Window.*click)();
            ADD_FAILURE() << "no message";
        } catch (const EQRError& e) {
            EXPECT_STREQ(e.what(), "No printer is installed");
        }
    }
}

} // namespace

// A page that needs more drawing work than any real page is drawn as far as its budget goes and is
// marked as one that cannot be drawn completely; the pages beside it are drawn as ever.
TEST_F(OpenedFilePreview, APageOverItsWorkBudgetIsMarkedOnItsSheet) {
    const std::string file = Dir.File("heavy.qrp");
    test::TroubleReport(file);
    Window.LoadReportFile(QString::fromStdString(file));
    const TQRPreviewImage* sheet = Window.QRPreview->PageImage();
    auto paint = [&] {
        Window.QRPreview->WaitForPages();
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
        recording.PageCanvas()->ExtTextOut(100, 100, gdi::ETO_GLYPH_INDEX, nullptr, std::u16string{u'\x300', u'\x301'}, dx);
    }
    recording.FinishDocument();
    const std::string file = Dir.File("fonts.qrp");
    recording.SaveReportFile(file);
    Window.LoadReportFile(QString::fromStdString(file));
    // Pages are drawn on workers; the notice comes when a drawing comes back.
    auto paint = [&] {
        Window.QRPreview->WaitForPages();
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
