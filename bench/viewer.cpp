// The viewer's speed: opening a report file up to the first painted page, one page flip at 100 % on a
// text-heavy page, and the memory held after paging through a long file. Each figure comes with a
// baseline from the same run: opening without painting, fetching a page without painting it.

#include "platform/gdi/Canvas.h"
#include "preview/PageFinder.h"
#include "preview/StandardPreview.h"
#include "preview/ThumbnailPanel.h"
#include "printer/QRPrinter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace pagimo;

namespace {

// A page full of small text, as a listing report prints it.
void DrawTextHeavyPage(printer::TQRPrinter& p, int page, int lines) {
    gdi::TCanvas& c = *p.PageCanvas();
    c.Font.Name = "Arial";
    c.Font.Height = -11;
    for (int i = 0; i < lines; ++i) {
        c.TextOut(p.DeviceX(100), p.DeviceY(100 + i * 42),
                  "Page " + std::to_string(page) + ", line " + std::to_string(i + 1) +
                      ": 2026-03-14  Invoice 104-2217  Customer account 55102  Amount 12 345.67  Paid");
    }
}

// Records a file of count pages once per process and returns its name.
QString ReportFile(int count, int lines) {
    static QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("bench-%1-%2.QRP").arg(count).arg(lines));
    if (QFile::exists(name)) return name;
    printer::TQRPrinter p;
    p.SetPaperSize(printer::TQRPaperSize::A4);
    p.StartDocument();
    for (int i = 1; i <= count; ++i) {
        p.NewPage();
        DrawTextHeavyPage(p, i, lines);
    }
    p.FinishDocument();
    p.SaveReportFile(name.toStdString());
    return name;
}

// Resident memory in kilobytes.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// What one paint of the sheet costs: the page drawn (on a worker) and the widget's own paint event,
// rendered into an image as large as the visible part of the sheet (the offscreen platform has no
// screen to flush to).
void Paint(preview::TQRStandardPreview& w) {
    w.QRPreview()->WaitForPages();
    QWidget* sheet = w.QRPreview()->PageImage();
    const QRect visible = sheet->visibleRegion().boundingRect().isEmpty()
                              ? QRect(QPoint(0, 0), sheet->size().boundedTo(w.QRPreview()->viewport()->size()))
                              : sheet->visibleRegion().boundingRect();
    static QImage target;
    if (target.size() != visible.size()) target = QImage(visible.size(), QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::gray);
    sheet->render(&target, QPoint(), QRegion(visible), QWidget::DrawChildren);
    benchmark::DoNotOptimize(target.constBits());
}

void BM_OpenReportFile(benchmark::State& state) {
    const QString file = ReportFile(50, 60);
    for (auto _ : state) {
        printer::TQRPrinter p;
        p.OpenReportFile(file.toStdString());
        benchmark::DoNotOptimize(p.PageTotal());
    }
}
BENCHMARK(BM_OpenReportFile)->Unit(benchmark::kMillisecond);

// From an empty printer to the first page on screen: open the file, build and show the window, paint.
void BM_OpenToFirstPagePainted(benchmark::State& state) {
    const QString file = ReportFile(50, 60);
    for (auto _ : state) {
        printer::TQRPrinter p;
        auto* w = new preview::TQRStandardPreview(nullptr, &p);
        w->show();
        w->LoadReportFile(file);
        w->QRPreview()->FitPageWidth();
        Paint(*w);
        state.PauseTiming();
        delete w;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenToFirstPagePainted)->Unit(benchmark::kMillisecond);

void BM_FetchPageOnly(benchmark::State& state) {
    const QString file = ReportFile(50, 60);
    printer::TQRPrinter p;
    p.OpenReportFile(file.toStdString());
    int page = 1;
    for (auto _ : state) {
        page = page % 50 + 1;
        benchmark::DoNotOptimize(p.FetchPage(page));
    }
}
BENCHMARK(BM_FetchPageOnly)->Unit(benchmark::kMillisecond);

// One flip at 100 %: the next page fetched and painted in full.
void BM_PageFlipAt100(benchmark::State& state) {
    const QString file = ReportFile(50, 60);
    printer::TQRPrinter p;
    preview::TQRStandardPreview w(nullptr, &p);
    w.showNormal();
    w.resize(1000, 1200);
    w.LoadReportFile(file);
    w.QRPreview()->SetZoom(100);
    for (auto _ : state) {
        if (w.QRPreview()->PageNumber() == p.PageTotal())
            w.FirstPageClick();
        else
            w.NextPageClick();
        Paint(w);
    }
}
BENCHMARK(BM_PageFlipAt100)->Unit(benchmark::kMillisecond)->Iterations(100);

// Paging through 10,000 pages end to end holds one page at a time: resident memory stays flat.
void BM_PageThrough10000(benchmark::State& state) {
    const QString file = ReportFile(10000, 8);
    for (auto _ : state) {
        printer::TQRPrinter p;
        preview::TQRStandardPreview w(nullptr, &p);
        w.showNormal();
        w.LoadReportFile(file);
        for (int i = 0; i < 200; ++i)
            w.NextPageClick(); // warm up caches and allocator
        Paint(w);
        const long before = ResidentKb();
        while (w.QRPreview()->PageNumber() < p.PageTotal()) {
            w.NextPageClick();
            if (w.QRPreview()->PageNumber() % 50 == 0) Paint(w);
        }
        Paint(w);
        state.counters["growth_MB"] = (ResidentKb() - before) / 1024.0;
        state.counters["pages"] = p.PageTotal();
    }
}
BENCHMARK(BM_PageThrough10000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Find across a 10,000-page text-heavy file, as the find bar runs it: pages played through the
// text-collecting device one after another. The word stands on page 5,000 only, so the first hit
// from page 4,990 and the full count both go through real pages. Baseline: fetching alone.
std::shared_ptr<const emf::TEmfPicture> Fetch(printer::TQRPrinter& p, int32_t n) {
    return p.FetchPage(n);
}

void BM_FindTimeToFirstHit(benchmark::State& state) {
    const QString file = ReportFile(10000, 60);
    printer::TQRPrinter p;
    p.OpenReportFile(file.toStdString());
    for (auto _ : state) {
        preview::TPageFinder finder;
        finder.Start(p.PageTotal(), 4990, QStringLiteral("Page 5000,"), {}, [&p](int32_t n) { return Fetch(p, n); });
        while (finder.Running() && finder.HitCount() == 0)
            finder.Step(0); // one page a step
        benchmark::DoNotOptimize(finder.HitCount());
    }
}
BENCHMARK(BM_FindTimeToFirstHit)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FindFullCount(benchmark::State& state) {
    const QString file = ReportFile(10000, 60);
    printer::TQRPrinter p;
    p.OpenReportFile(file.toStdString());
    for (auto _ : state) {
        preview::TPageFinder finder;
        finder.Start(p.PageTotal(), 1, QStringLiteral("Invoice"), {}, [&p](int32_t n) { return Fetch(p, n); });
        while (finder.Running())
            finder.Step(15);
        state.counters["hits"] = finder.HitCount();
    }
}
BENCHMARK(BM_FindFullCount)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FetchAll10000Only(benchmark::State& state) {
    const QString file = ReportFile(10000, 60);
    printer::TQRPrinter p;
    p.OpenReportFile(file.toStdString());
    for (auto _ : state)
        for (int32_t n = 1; n <= p.PageTotal(); ++n)
            benchmark::DoNotOptimize(p.FetchPage(n));
}
BENCHMARK(BM_FetchAll10000Only)->Unit(benchmark::kMillisecond)->Iterations(3);

// The thumbnails of the first 20 pages of a 10,000-page file, from asking to all rendered.
void BM_Thumbnails20(benchmark::State& state) {
    const QString file = ReportFile(10000, 60);
    printer::TQRPrinter p;
    p.OpenReportFile(file.toStdString());
    for (auto _ : state) {
        preview::TThumbnailPanel panel(nullptr, [&p] { return &p; });
        panel.show(); // a hidden panel renders nothing
        panel.Reset();
        for (int32_t n = 1; n <= 20; ++n)
            panel.Thumbnail(n);
        while (panel.RenderedCount() < 20) {
            panel.WaitForRendering();
            QCoreApplication::sendPostedEvents();
        }
    }
}
BENCHMARK(BM_Thumbnails20)->Unit(benchmark::kMillisecond)->Iterations(10);

// Continuous scrolling through 1,000 pages at page width: per frame a scroll step of a third of the
// view and one full paint of the view. Counters: median and 99th percentile of the frame time (ms),
// resident memory growth (MB) from the first 50 pages to the end.
void BM_ContinuousScroll1000(benchmark::State& state) {
    const QString file = ReportFile(1000, 60);
    for (auto _ : state) {
        printer::TQRPrinter p;
        preview::TQRStandardPreview w(nullptr, &p);
        w.showNormal();
        w.resize(1000, 900);
        w.LoadReportFile(file);
        w.Action(preview::pcContinuous)->trigger();
        w.ZoomToWidthClick();
        QWidget* view = w.QRPreview()->viewport();
        QImage target(view->size(), QImage::Format_ARGB32_Premultiplied);
        QScrollBar* bar = w.QRPreview()->verticalScrollBar();
        std::vector<double> frames;
        long before = 0;
        QElapsedTimer t;
        for (int v = 0; v <= bar->maximum(); v += view->height() / 3) {
            t.start();
            bar->setValue(v);
            w.QRPreview()->WaitForPages(); // the frame with the pages drawn
            view->render(&target);
            frames.push_back(t.nsecsElapsed() / 1e6);
            if (before == 0 && w.QRPreview()->PageNumber() >= 50) before = ResidentKb();
        }
        std::sort(frames.begin(), frames.end());
        state.counters["frame_median_ms"] = frames[frames.size() / 2];
        state.counters["frame_p99_ms"] = frames[frames.size() * 99 / 100];
        state.counters["growth_MB"] = (ResidentKb() - before) / 1024.0;
        state.counters["last_page"] = w.QRPreview()->PageNumber();
    }
}
BENCHMARK(BM_ContinuousScroll1000)->Unit(benchmark::kMillisecond)->Iterations(1);

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
