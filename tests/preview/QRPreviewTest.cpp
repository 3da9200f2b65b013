#include "preview/QRPreview.h"

#include "RecordedPages.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

// Delivers the notifications the printer has posted.
void Pump() {
    QCoreApplication::processEvents();
}

TSheetGeometry SheetOf(const TQRPreview& p) {
    const QWidget* s = p.PageImage();
    return {p.Sheet().Left, p.Sheet().Top, s->width(), s->height()};
}

TEST(QRPreview, StartsDetachedAtZoom100) {
    TQRPreview p;
    EXPECT_EQ(p.size(), QSize(250, 250));
    EXPECT_EQ(p.Zoom(), 100);
    EXPECT_EQ(p.ZoomMode(), zmCustom);
    EXPECT_EQ(p.PageNumber(), 1);
    EXPECT_EQ(p.ReportPrinter(), nullptr);
    EXPECT_EQ(p.PageImage()->geometry(), QRect(0, 0, 100, 50));
    EXPECT_FALSE(p.PageImage()->HasPage());
    EXPECT_TRUE(p.horizontalScrollBar()->hasTracking());
    EXPECT_TRUE(p.verticalScrollBar()->hasTracking());
}

TEST(QRPreview, WithoutAPrinterTheSheetIsLetterInPixels) {
    TQRPreview p;
    p.ApplyZoom();
    EXPECT_EQ(p.PageImage()->size(), QSize(220, 283));
}

TEST(QRPreview, A4AtZoom100IsItsTrueSize) {
    auto printer = test::PrinterWithPages(1);
    TQRPreview p;
    p.SetReportPrinter(printer.get());
    EXPECT_EQ(p.PageImage()->size(), QSize(100, 50)) << "attaching does not resize the sheet";
    p.ApplyZoom();
    EXPECT_EQ(p.PageImage()->size(), QSize(798, 1127));
}

TEST(QRPreview, FitsTheWholePageAndThePageWidthInA644By501Control) {
    auto printer = test::PrinterWithPages(1);
    TQRPreview p;
    p.resize(644, 501);
    p.SetReportPrinter(printer.get());
    p.FitWholePage();
    EXPECT_EQ(p.Zoom(), 42);
    EXPECT_EQ(p.ZoomMode(), zmFitPage);
    EXPECT_EQ(SheetOf(p), (TSheetGeometry{153, 13, 337, 475}));
    EXPECT_EQ(p.PageImage()->pos(), QPoint(153, 13));
    p.FitPageWidth();
    EXPECT_EQ(p.Zoom(), 73);
    EXPECT_EQ(p.ZoomMode(), zmFitWidth);
    EXPECT_EQ(SheetOf(p), (TSheetGeometry{30, 0, 583, 823}));
    EXPECT_GT(p.verticalScrollBar()->maximum(), 0) << "the sheet is taller than the control";
}

TEST(QRPreview, ZoomOutsideTwoToTwoThousandIsIgnored) {
    TQRPreview p;
    p.FitPageWidth();
    const int32_t fitted = p.Zoom();
    for (int32_t z : {1, 2001, 0, -5}) {
        p.SetZoom(z);
        EXPECT_EQ(p.Zoom(), fitted) << z;
        EXPECT_EQ(p.ZoomMode(), zmFitWidth) << z;
    }
    p.SetZoom(2);
    EXPECT_EQ(p.Zoom(), 2);
    EXPECT_EQ(p.ZoomMode(), zmCustom);
    p.SetZoom(2000);
    EXPECT_EQ(p.Zoom(), 2000);
}

TEST(QRPreview, AFitOutOfRangeKeepsTheZoomButSetsTheMode) {
    TQRPreview p;
    p.SetZoom(150);
    p.resize(1, 1); // the custom mode does not re-fit
    EXPECT_EQ(p.Zoom(), 150);
    p.FitWholePage(); // R(1 / 215.9 x 95) = 0
    EXPECT_EQ(p.Zoom(), 150);
    EXPECT_EQ(p.ZoomMode(), zmFitPage);
}

TEST(QRPreview, ResizingReFitsOnlyInTheFitModes) {
    auto printer = test::PrinterWithPages(1);
    TQRPreview p;
    p.SetReportPrinter(printer.get());
    p.resize(644, 501);
    p.show();
    p.FitWholePage();
    p.resize(1288, 1002);
    EXPECT_EQ(p.Zoom(), 85);
    p.SetZoom(60);
    p.resize(644, 501);
    EXPECT_EQ(p.Zoom(), 60);
}

TEST(QRPreview, PagingIgnoresNumbersOutsideTheDocument) {
    auto printer = test::PrinterWithPages(3);
    TQRPreview p;
    p.SetReportPrinter(printer.get());
    ASSERT_TRUE(p.PageImage()->HasPage());
    for (int32_t n : {0, -1, 4}) {
        p.SetPageNumber(n);
        EXPECT_EQ(p.PageNumber(), 1) << n;
    }
    p.WaitForPages();
    const uint64_t drawn = p.Renderer().RequestsMade();
    p.SetPageNumber(1);
    p.WaitForPages();
    EXPECT_EQ(p.Renderer().RequestsMade(), drawn) << "the page on screen is not fetched again";
    p.SetPageNumber(3);
    EXPECT_EQ(p.PageNumber(), 3);
    EXPECT_EQ(p.PageImage()->PageNumber(), 3);
    EXPECT_TRUE(p.PageImage()->HasPage());
}

TEST(QRPreview, MovingToAnotherPageScrollsToTheTopLeft) {
    auto printer = test::PrinterWithPages(2);
    TQRPreview p;
    p.resize(300, 300);
    p.show();
    p.SetReportPrinter(printer.get());
    p.SetZoom(200);
    p.horizontalScrollBar()->setValue(120);
    p.verticalScrollBar()->setValue(340);
    EXPECT_EQ(p.PageImage()->pos(), QPoint(-120, -340));
    p.SetPageNumber(2);
    EXPECT_EQ(p.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(p.verticalScrollBar()->value(), 0);
    EXPECT_EQ(p.PageImage()->pos(), QPoint(0, 0));
}

TEST(QRPreview, FollowsAPrinterThatIsStillRecording) {
    printer::TQRPrinter printer;
    printer.SetPaperSize(printer::TQRPaperSize::A4);
    TQRPreview p;
    p.resize(644, 501);
    std::vector<int32_t> announced;
    p.OnPageAvailable = [&announced](QObject*, int32_t n) { announced.push_back(n); };
    p.SetReportPrinter(&printer);
    EXPECT_EQ(printer.NotifyWindow(), static_cast<QObject*>(&p));
    EXPECT_TRUE(printer.PreviewShown());

    test::RecordPages(printer, 1, false); // page 1 is being drawn, not stored yet
    Pump();
    EXPECT_FALSE(p.PageImage()->HasPage()) << "the sheet waits, unpainted";
    test::RecordPages(printer, 2, false); // closes pages 1 and 2
    Pump();
    EXPECT_EQ(announced, (std::vector<int32_t>{1, 2}));
    EXPECT_TRUE(p.PageImage()->HasPage());
    EXPECT_EQ(p.ZoomMode(), zmFitWidth) << "the first page arriving fits the width";
    EXPECT_EQ(p.Zoom(), 73);

    // a count other than the shown page only reaches the owner
    p.SetZoom(100);
    printer.FinishDocument();
    Pump();
    EXPECT_EQ(announced.back(), 3);
    EXPECT_EQ(p.Zoom(), 100);
}

TEST(QRPreview, PassesProgressOnAndReadsOnlyTheLow16Bits) {
    TQRPreview p;
    std::vector<int32_t> progress;
    p.OnProgressUpdate = [&progress](QObject* sender, int32_t value) {
        EXPECT_NE(sender, nullptr);
        progress.push_back(value);
    };
    printer::PostMessage(&p, printer::MsgProgressUpdate, 45, 0);
    printer::PostMessage(&p, printer::MsgProgressUpdate, 0x10000 + 7, 0);
    Pump();
    EXPECT_EQ(progress, (std::vector<int32_t>{45, 7}));
}

TEST(QRPreview, DetachesWhenDestroyedAndWhenThePrinterGoes) {
    auto printer = test::PrinterWithPages(1);
    {
        TQRPreview p;
        p.SetReportPrinter(printer.get());
    }
    EXPECT_EQ(printer->NotifyWindow(), nullptr);
    EXPECT_FALSE(printer->PreviewShown());

    TQRPreview p;
    p.SetReportPrinter(printer.get());
    printer.reset();
    EXPECT_EQ(p.ReportPrinter(), nullptr);
    EXPECT_FALSE(p.PageImage()->HasPage());
    p.FitWholePage(); // works detached
    p.SetPageNumber(2);
    EXPECT_EQ(p.PageNumber(), 1);
}

// The sheet: white inside, a one-pixel black border, a two-pixel shadow to the right and below.
TEST(QRPreview, DrawsBorderShadowAndPage) {
    auto printer = test::PrinterWithPages(1);
    TQRPreview p;
    p.SetReportPrinter(printer.get());
    p.SetZoom(50);
    p.WaitForPages();
    const QImage sheet = p.PageImage()->grab().toImage();
    const int w = sheet.width(), h = sheet.height();
    ASSERT_EQ(QSize(w, h), QSize(401, 565));
    auto black = [&](int x, int y) { return sheet.pixelColor(x, y).lightness() < 40; };
    EXPECT_TRUE(black(0, 0));
    EXPECT_TRUE(black(0, h - 3));
    EXPECT_TRUE(black(w - 3, h / 2));
    EXPECT_TRUE(black(w / 2, h - 3));
    EXPECT_TRUE(black(w - 1, h / 2)) << "right shadow";
    EXPECT_TRUE(black(w / 2, h - 1)) << "bottom shadow";
    EXPECT_FALSE(black(w - 1, 0)) << "the shadow starts two pixels down";
    EXPECT_EQ(sheet.pixelColor(w - 8, h - 8), QColor(Qt::white)) << "inside the page's margin";
    int dark = 0; // the page's text
    for (int y = 20; y < 60; ++y)
        for (int x = 20; x < 200; ++x)
            dark += black(x, y);
    EXPECT_GT(dark, 20);
}

TEST(QRPreview, AControlWithoutAPageDrawsNothing) {
    TQRPreview p;
    p.ApplyZoom();
    QImage sheet(p.PageImage()->size(), QImage::Format_ARGB32);
    sheet.fill(Qt::transparent);
    p.PageImage()->render(&sheet, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(sheet.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(sheet.pixelColor(100, 100).alpha(), 0);
}

} // namespace
