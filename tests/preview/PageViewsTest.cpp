// Pages as every view shows them: each on its own sheet, kept to it, marked alike when they cannot be
// drawn completely, and drawn off the event loop.

#include "preview/StandardPreview.h"
#include "preview/ThumbnailPanel.h"
#include "printer/QRPrinter.h"

#include "MixedSheets.h"
#include "PageMark.h"
#include "pagestore/PageListFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

// A page as a view shows it: the picture of the view, and where the page lies in it.
struct TShown {
    QImage Image;
    QRectF Page;
};

class PageViews : public ::testing::Test {
protected:
    void Open(const std::string& file) {
        Window.resize(900, 1000);
        Window.show();
        Window.LoadReportFile(QString::fromStdString(file));
        Window.ZoomToFitClick();
    }
    TShown Single(int32_t n) {
        Window.QRPreview()->SetPageNumber(n);
        Window.QRPreview()->WaitForPages();
        const QImage image = Window.QRPreview()->PageImage()->grab().toImage();
        return {image, QRectF(1, 1, image.width() - 4, image.height() - 4)};
    }
    TShown Continuous(int32_t n) {
        if (!Window.QRPreview()->Continuous()) Window.Action(pcContinuous)->trigger();
        Window.QRPreview()->SetPageNumber(n);
        Window.QRPreview()->WaitForPages();
        QWidget* view = Window.QRPreview()->viewport();
        const TSheetGeometry s = Window.QRPreview()->PageSheet(n);
        return {view->grab().toImage(),
                QRectF(s.Left + 1 - Window.QRPreview()->horizontalScrollBar()->value(),
                       s.Top + 1 - Window.QRPreview()->verticalScrollBar()->value(), s.Width - 4, s.Height - 4)};
    }
    TShown Thumbnail(int32_t n) {
        if (!Window.Thumbnails().isVisible()) Window.Action(pcThumbnails)->trigger();
        Window.Thumbnails().Thumbnail(n);
        Window.Thumbnails().WaitForRendering();
        const QImage image = Window.Thumbnails().Thumbnail(n);
        return {image, QRectF(0, 0, image.width(), image.height())};
    }
    std::vector<std::pair<const char*, std::function<TShown(int32_t)>>> Views() {
        return {{"single page", [this](int32_t n) { return Single(n); }},
                {"continuous", [this](int32_t n) { return Continuous(n); }},
                {"thumbnail", [this](int32_t n) { return Thumbnail(n); }}};
    }
    test::TTempDir Dir;
    printer::TQRPrinter Printer;
    TQRStandardPreview Window{nullptr, &Printer};
};

TEST_F(PageViews, EveryPageKeepsItsOwnSheetsAspectInEveryView) {
    const std::string file = Dir.File("sheets.qrp");
    test::MixedSheetsReport(file);
    Open(file);
    for (const auto& [view, show] : Views()) {
        for (int32_t n = 1; n <= 3; ++n) {
            SCOPED_TRACE(std::string(view) + ", page " + std::to_string(n));
            const TShown shown = show(n);
            const auto [width, height] = test::MixedSheets()[static_cast<size_t>(n - 1)];
            ASSERT_GT(shown.Page.width(), 50);
            // One scale puts both sides within a pixel of where they belong.
            const double w = shown.Page.width(), h = shown.Page.height();
            EXPECT_LE(std::max((w - 1) / width, (h - 1) / height), std::min((w + 1) / width, (h + 1) / height))
                << w << " x " << h;
            const auto [across, down] = test::DarkRuns(shown.Image, shown.Page.center().toPoint());
            EXPECT_GT(across, shown.Page.width() / 4) << "the disc is there";
            EXPECT_NEAR(across, down, 1) << "and round";
        }
    }
}

TEST_F(PageViews, APageDrawingPastItsSheetLeavesItsNeighbourAlone) {
    const std::string file = Dir.File("overflow.qrp");
    test::MixedSheetsReport(file, true);
    Open(file);
    const TShown first = Continuous(1);
    const TSheetGeometry below = Window.QRPreview()->PageSheet(2);
    const QImage& view = first.Image;
    const QPointF corner = first.Page.bottomRight();
    EXPECT_LT(view.pixelColor((corner - QPointF(6, 6)).toPoint()).lightness(), 60) << "page 1 draws its corner";
    EXPECT_EQ(view.pixelColor((corner + QPointF(-6, 5)).toPoint()), Window.palette().color(QPalette::Button))
        << "the gap below it";
    const int top = below.Top - Window.QRPreview()->verticalScrollBar()->value();
    const int right = below.Left + below.Width - 4 - Window.QRPreview()->horizontalScrollBar()->value();
    EXPECT_EQ(view.pixelColor(right - 6, top + 6), QColor(Qt::white)) << "page 2 under it";
}

TEST_F(PageViews, PagesThatCannotBeDrawnCompletelyAreMarkedAlikeInEveryView) {
    const std::string file = Dir.File("trouble.qrp");
    test::TroubleReport(file);
    QStringList messages;
    Window.OnMessage = [&messages](const QString& text) { messages << text; };
    Open(file);
    for (const auto& [view, show] : Views()) {
        for (const auto& [n, marked] : {std::pair(1, false), {2, true}, {3, true}}) {
            SCOPED_TRACE(std::string(view) + ", page " + std::to_string(n));
            const TShown shown = show(n);
            EXPECT_EQ(test::HasPageMark(shown.Image, shown.Page), marked);
        }
    }
}

TEST_F(PageViews, ASlowPageIsDrawnWhileTheEventLoopRunsAndIsDroppedWhenLeft) {
    const std::string file = Dir.File("trouble.qrp");
    test::TroubleReport(file);
    Open(file);
    TPageRenderer& renderer = Window.QRPreview()->Renderer();
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    Window.NextPageClick(); // the page over its budget
    Window.QRPreview()->PageImage()->repaint();
    ASSERT_TRUE(renderer.Drawing(2));
    while (renderer.Drawing(2))
        QTest::qWait(5);
    EXPECT_GT(ticks, 0) << "the event loop ran while the page was drawn";
    ASSERT_NE(renderer.LastImage(2), nullptr);

    // Asked for again at another zoom and left at once: its drawing is abandoned, not kept.
    Window.QRPreview()->SetZoom(Window.QRPreview()->Zoom() + 10);
    Window.QRPreview()->PageImage()->repaint();
    ASSERT_TRUE(renderer.Drawing(2));
    Window.PrevPageClick();
    EXPECT_FALSE(renderer.Drawing(2));
    Window.QRPreview()->WaitForPages();
    EXPECT_NE(renderer.LastImage(2)->Size.width(), Window.QRPreview()->PageSheet(2).Width - 4)
        << "only the image at the first zoom is kept";
}

} // namespace
