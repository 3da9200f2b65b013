// The page painter and the preview drawing pages on workers.
//   BM_TextPageSinglePagePathBefore - what one paint of the single-page sheet cost before the painter: the
//     text-heavy page played straight onto the sheet (white ground, the page over the whole sheet,
//     border and shadow), kept here as it was so that both are measured in the same run.
//   BM_TextPagePainter - the painter drawing the same page into the sheet's image (the worker's part).
//   BM_TextPagePainterAndShow - that, plus showing the image on the sheet (the event loop's part).
//   BM_ScrollWhileASlowPageDraws - continuous pages at 200 % with a page near its work budget in view: the time
//     from a scroll step to the next frame painted, and how long a timer posted then waits, while
//     that page is being drawn on a worker. Counters in milliseconds (median, 99th percentile).

#include "pagestore/PageList.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/PainterDevice.h"
#include "preview/StandardPreview.h"
#include "printer/PagePainter.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace pagimo;

namespace {

// A page full of small text, as a listing report prints it (the viewer benchmark's page).
emf::TEmfPicture TextHeavyPage() {
    printer::TQRPrinter p;
    p.SetPaperSize(printer::TQRPaperSize::A4);
    p.StartDocument();
    p.NewPage();
    gdi::TCanvas& c = *p.PageCanvas();
    c.Font.Name = "Arial";
    c.Font.Height = -11;
    for (int i = 0; i < 60; ++i)
        c.TextOut(p.DeviceX(100), p.DeviceY(100 + i * 42),
                  "Page 1, line " + std::to_string(i + 1) +
                      ": 2026-03-14  Invoice 104-2217  Customer account 55102  Amount 12 345.67  Paid");
    p.FinishDocument();
    return *p.FetchPage(1);
}

// The sheet at 100 %: the page's pixels plus border and shadow.
constexpr int SheetWidth = 798, SheetHeight = 1127;

void FrameSheet(QPainter& painter, int w, int h) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(
        QPolygon({QPoint(0, 0), QPoint(0, h - 3), QPoint(w - 3, h - 3), QPoint(w - 3, 0), QPoint(0, 0)}));
    painter.fillRect(QRect(w - 2, 2, 2, h - 2), Qt::black);
    painter.fillRect(QRect(2, h - 2, w - 2, 2), Qt::black);
}

// The single-page sheet's paint as it was before the painter.
void SheetPaintBefore(QPainter& painter, const emf::TEmfPicture& page, int w, int h) {
    painter.fillRect(QRect(1, 1, w - 4, h - 4), Qt::white);
    painter.save();
    {
        gdi::TPainterDevice device(painter);
        gdi::TEmfPlayer::Play(page, device, QRectF(0, 0, w, h));
    }
    painter.restore();
    FrameSheet(painter, w, h);
}

void BM_TextPageSinglePagePathBefore(benchmark::State& state) {
    const emf::TEmfPicture page = TextHeavyPage();
    QImage sheet(SheetWidth, SheetHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        sheet.fill(Qt::gray);
        QPainter painter(&sheet);
        SheetPaintBefore(painter, page, SheetWidth, SheetHeight);
    }
}
BENCHMARK(BM_TextPageSinglePagePathBefore)->Unit(benchmark::kMillisecond);

pagestore::TDocumentPage Ready(const emf::TEmfPicture& picture) {
    return pagestore::CheckedDocumentPage(std::make_shared<const emf::TEmfPicture>(picture));
}

void BM_TextPagePainter(benchmark::State& state) {
    const pagestore::TDocumentPage page = Ready(TextHeavyPage());
    QImage image(SheetWidth - 4, SheetHeight - 4, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        printer::PaintPage(page, 1, painter, QRectF(0, 0, image.width(), image.height()));
    }
}
BENCHMARK(BM_TextPagePainter)->Unit(benchmark::kMillisecond);

void BM_TextPagePainterAndShow(benchmark::State& state) {
    const pagestore::TDocumentPage page = Ready(TextHeavyPage());
    QImage image(SheetWidth - 4, SheetHeight - 4, QImage::Format_ARGB32_Premultiplied);
    QImage sheet(SheetWidth, SheetHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            printer::PaintPage(page, 1, painter, QRectF(0, 0, image.width(), image.height()));
        }
        sheet.fill(Qt::gray);
        QPainter painter(&sheet);
        painter.drawImage(QPoint(1, 1), image);
        FrameSheet(painter, SheetWidth, SheetHeight);
    }
}
BENCHMARK(BM_TextPagePainterAndShow)->Unit(benchmark::kMillisecond);

// A page just under its work budget: a scribble of 700,000 points in steps of 12 pixels (1.4 million
// points counted for a thin stroke, of 1.5 million; 8.4 million pixels stroked, of 10 million), in
// polylines of a thousand points.
emf::TEmfPicture SlowPage() {
    gdi::TMetafileCanvas c(794, 1123);
    std::vector<QPoint> line;
    for (int i = 0; i < 700'000; ++i) {
        line.emplace_back(100 + (i % 50) * 12, 100 + (i / 50) % 900);
        if (line.size() == 1000) {
            c.Polyline(line);
            line.clear();
        }
    }
    return c.Finish();
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(values.size() * p))];
}

void BM_ScrollWhileASlowPageDraws(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("slow.qrp"));
    {
        pagestore::TQRPageList list;
        list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
        const emf::TEmfPicture text = TextHeavyPage(), slow = SlowPage();
        for (int n = 1; n <= 6; ++n)
            list.StorePage(n == 3 ? slow : text);
        list.CloseRecording();
        list.CopyToFile(file.toStdString());
    }
    for (auto _ : state) {
        printer::TQRPrinter p;
        preview::TQRStandardPreview w(nullptr, &p);
        w.showNormal();
        w.resize(1000, 900);
        QCoreApplication::processEvents(); // the window exposed, so that it paints
        w.LoadReportFile(file);
        w.Action(preview::pcContinuous)->trigger();
        w.QRPreview()->SetZoom(200);
        w.QRPreview()->SetPageNumber(3);
        QWidget* view = w.QRPreview()->viewport();
        QScrollBar* bar = w.QRPreview()->verticalScrollBar();
        preview::TPageRenderer& renderer = w.QRPreview()->Renderer();
        std::vector<double> frames, waits;
        int step = 8, drawings = 0;
        QElapsedTimer t;
        while (frames.size() < 300) {
            view->repaint(); // asks for the pages in view
            if (!renderer.Drawing(3)) {
                // Drawn: asked for once more at another zoom, so that the page is always being drawn.
                w.QRPreview()->SetZoom(w.QRPreview()->Zoom() == 200 ? 201 : 200);
                w.QRPreview()->SetPageNumber(3);
                ++drawings;
                continue;
            }
            // One scroll step within the slow page, then the frame it makes.
            if (bar->value() + step > w.QRPreview()->ContinuousPageTop(4) - view->height() ||
                bar->value() + step < w.QRPreview()->ContinuousPageTop(3))
                step = -step;
            t.start();
            bar->setValue(bar->value() + step);
            view->repaint();
            frames.push_back(t.nsecsElapsed() / 1e6);
            // How long the event loop takes to answer meanwhile.
            bool fired = false;
            t.start();
            QTimer::singleShot(0, [&fired] { fired = true; });
            while (!fired)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            waits.push_back(t.nsecsElapsed() / 1e6);
        }
        state.counters["frame_median_ms"] = Percentile(frames, 0.5);
        state.counters["frame_p99_ms"] = Percentile(frames, 0.99);
        state.counters["answer_p99_ms"] = Percentile(waits, 0.99);
        state.counters["slow_page_drawings"] = drawings + 1;
        renderer.Stop();
    }
}
BENCHMARK(BM_ScrollWhileASlowPageDraws)->Unit(benchmark::kMillisecond)->Iterations(1);

// How long the slow page takes to draw at 200 % (that it is near its budget, and still whole): what a
// frame took when the preview drew the page inside its paint event, the baseline of the scroll above.
void BM_SlowPagePainter(benchmark::State& state) {
    const pagestore::TDocumentPage page = Ready(SlowPage());
    QImage image(1588, 2246, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        const printer::TPaintResult r = printer::PaintPage(page, 1, painter, QRectF(0, 0, 1588, 2246));
        state.counters["complete"] = r.Outcome == printer::pgComplete;
        state.counters["points_k"] = r.Play.Work.Points / 1000.0;
    }
}
BENCHMARK(BM_SlowPagePainter)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
