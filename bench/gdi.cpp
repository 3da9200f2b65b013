// Page rendering: a text-heavy A4 page played into a QImage at 96 and 300 pixels per inch (and the same
// page written as EMF+ records alone, as GDI+ programs write it, at 96 pixels per inch), a run of
// pages converted to PDF, and the external converter emf2svg-conv on the same page as the baseline.
// PDF size and speed: 100 report pages (qrptool sample's) and 100 dense text pages written by Qt's PDF
// engine through the painter device and by the PDF device, in bytes per page and pages per second.
// SVG on the same pages: a stand-alone file per page (fonts in each, as OUT-%d.svg) and the pages of
// one document sharing its fonts (as the HTML viewer holds them, before it deflates them).
//
//   build/release/bench/bench_gdi --benchmark_filter='Pdf100|Svg100' --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true

#include "pagestore/PageList.h"
#include "platform/emf/EmfPlusRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/gdi/PdfDevice.h"
#include "platform/gdi/SvgDevice.h"
#include "platform/gdi/TraceDevice.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>
#include <string>

using namespace pagimo;

namespace {

// About 60 lines of 10-point text, a few rules and a bitmap, as a report page has them.
const emf::TEmfPicture& TextPage() {
    static const emf::TEmfPicture page = [] {
        gdi::TMetafileCanvas c(794, 1123);
        c.Font.Name = "Arial";
        c.Font.Height = -16;
        c.Font.Weight = gdi::FW_BOLD;
        c.SetBkMode(gdi::TRANSPARENT);
        c.TextOut(60, 40, "Přehled objednávek – prosinec");
        c.Font.Weight = gdi::FW_NORMAL;
        c.Font.Height = -13; // 10 points at 96 pixels per inch
        c.Pen.Width = 1;
        c.MoveTo(60, 70);
        c.LineTo(734, 70);
        for (int i = 0; i < 60; ++i) {
            const int y = 80 + i * 16;
            c.SetTextAlign(gdi::TA_LEFT | gdi::TA_TOP);
            c.TextOut(60, y, std::to_string(10000 + i * 7));
            c.TextOut(120, y, "Dodávka spojovacího materiálu, šrouby M8 a podložky, balení po 100 ks");
            c.SetTextAlign(gdi::TA_RIGHT | gdi::TA_TOP);
            c.TextOut(734, y, std::to_string(1200 + i * 37) + ",50 Kč");
            if (i % 10 == 9) {
                c.MoveTo(60, y + 15);
                c.LineTo(734, y + 15);
            }
        }
        QImage logo(64, 32, QImage::Format_RGB32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                logo.setPixel(x, y, qRgb(x * 4, y * 8, 200));
        c.StretchDraw(QRect(640, 20, 96, 48), logo);
        c.Brush.Style = gdi::BS_NULL;
        c.Rectangle(50, 30, 744, 1060);
        return c.Finish();
    }();
    return page;
}

// The text page as EMF+ records alone: fonts and a string format as objects, DrawString per text item
// (right-aligned amounts through the format), DrawLines for the rules, the logo as a bitmap image,
// DrawRects for the frame.
const emf::TEmfPicture& EmfPlusTextPage() {
    static const emf::TEmfPicture page = [] {
        using namespace emf;
        TEmfWriter w(794, 1123);
        TEmfPlusWriter p(w);
        p.Header(false);
        p.Record(EmfPlusSetPageTransform, EmfPlusUnitPixel, TEmfPlusData().F32(1));
        p.Record(EmfPlusSetAntiAliasMode, 0x09);
        auto font = [&](uint8_t id, float em, uint32_t style) {
            p.Object(id, EmfPlusObjectFont,
                     TEmfPlusData().U32(EmfPlusGraphicsVersion).F32(em).U32(EmfPlusUnitPixel).U32(style).U32(0).U32(5)
                         .Text(u"Arial").Pad());
        };
        font(1, 16, 1);
        font(2, 13, 0);
        for (uint8_t id : {3, 4}) // near and far alignment
            p.Object(id, EmfPlusObjectStringFormat,
                     TEmfPlusData().U32(EmfPlusGraphicsVersion).U32(0).U32(0).U32(id == 4 ? 2 : 0).U32(0).U32(0).U32(0)
                         .F32(0).F32(0).F32(0).U32(0).U32(0).U32(0).U32(0).U32(0));
        TEmfPlusData pen;
        pen.U32(EmfPlusGraphicsVersion).U32(0).U32(0).U32(EmfPlusUnitPixel).F32(1);
        pen.U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushSolid).U32(0xFF000000);
        p.Object(5, EmfPlusObjectPen, pen);
        auto text = [&](uint8_t fontId, uint8_t format, float x, float y, float width, std::u16string_view s) {
            p.Record(EmfPlusDrawString, static_cast<uint16_t>(EmfPlusFlagSolidColor | fontId),
                     TEmfPlusData().U32(0xFF000000).U32(format).U32(static_cast<uint32_t>(s.size())).Rect(x, y, width, 0)
                         .Text(s).Pad());
        };
        auto rule = [&](float y) {
            p.Record(EmfPlusDrawLines, 5, TEmfPlusData().U32(2).F32(60).F32(y).F32(734).F32(y));
        };
        text(1, 3, 60, 40, 0, u"Přehled objednávek – prosinec");
        rule(70);
        for (int i = 0; i < 60; ++i) {
            const float y = 80.f + i * 16;
            const auto number = QString::number(10000 + i * 7).toStdU16String();
            const auto amount = (QString::number(1200 + i * 37) + QStringLiteral(",50 Kč")).toStdU16String();
            text(2, 3, 60, y, 0, number);
            text(2, 3, 120, y, 0, u"Dodávka spojovacího materiálu, šrouby M8 a podložky, balení po 100 ks");
            text(2, 4, 434, y, 300, amount);
            if (i % 10 == 9) rule(y + 15);
        }
        TEmfPlusData logo;
        logo.U32(EmfPlusGraphicsVersion).U32(1).I32(64).I32(32).I32(256).U32(0x00022009).U32(0);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x) logo.U32(qRgb(x * 4, y * 8, 200));
        p.Object(6, EmfPlusObjectImage, logo, 32000);
        p.Record(EmfPlusDrawImage, 6,
                 TEmfPlusData().U32(0).U32(EmfPlusUnitPixel).Rect(0, 0, 64, 32).Rect(640, 20, 96, 48));
        p.Record(EmfPlusDrawRects, 5, TEmfPlusData().U32(1).Rect(50, 30, 694, 1030));
        p.EndOfFile();
        return TEmfPicture(w.Finish());
    }();
    return page;
}

void Render(benchmark::State& state, int dpi, const emf::TEmfPicture& page = TextPage()) {
    const int w = page.Width() * dpi / 96, h = page.Height() * dpi / 96;
    QImage image(w, h, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        gdi::PlayEnhMetaFile(painter, page, QRectF(0, 0, w, h));
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_RenderTextPage96(benchmark::State& state) {
    Render(state, 96);
}
void BM_RenderTextPage300(benchmark::State& state) {
    Render(state, 300);
}
// The EMF+ page; a check that it was drawn from its EMF+ records.
void BM_RenderEmfPlusTextPage96(benchmark::State& state) {
    gdi::TTraceDevice trace;
    const auto played = gdi::TEmfPlayer::Play(EmfPlusTextPage(), trace, QRectF(0, 0, 794, 1123));
    if (played.PlusRecords < 180 || played.PlusUnknown) return state.SkipWithError("EMF+ page not drawn from EMF+");
    Render(state, 96, EmfPlusTextPage());
}

// Pages to a vector PDF in memory, as qrptool convert writes them; reported per page.
void BM_PagesToPdf(benchmark::State& state) {
    const emf::TEmfPicture& page = TextPage();
    const int pages = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        for (int i = 0; i < pages; ++i) {
            if (i) writer.newPage();
            gdi::PlayEnhMetaFile(painter, page,
                                 QRectF(0, 0, page.WidthMM() / 25.4 * 1200, page.HeightMM() / 25.4 * 1200));
        }
        painter.end();
        benchmark::DoNotOptimize(buffer.data().size());
    }
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(pages) * state.iterations(), benchmark::Counter::kIsRate);
}

// A 1,000-page QRP file of the text page, opened and converted to a PDF file as qrptool convert does.
void BM_QrpToPdf(benchmark::State& state) {
    const std::string qrp = "/tmp/pagimo-bench-1000.qrp", pdf = "/tmp/pagimo-bench-1000.pdf";
    {
        pagestore::TQRPageList list;
        list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
        for (int i = 0; i < 1000; ++i)
            list.StorePage(TextPage());
        list.CloseRecording();
        list.CopyToFile(qrp);
    }
    for (auto _ : state) {
        pagestore::TQRPageList list;
        list.OpenFile(qrp);
        QPdfWriter writer(QString::fromStdString(pdf));
        writer.setResolution(1200);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        for (int32_t n = 1; n <= list.NumPages(); ++n) {
            const auto page = list.FetchPage(n);
            if (n > 1) writer.newPage();
            gdi::PlayEnhMetaFile(painter, *page,
                                 QRectF(0, 0, page->WidthMM() / 25.4 * 1200, page->HeightMM() / 25.4 * 1200));
        }
        painter.end();
    }
    state.counters["pages/s"] = benchmark::Counter(1000.0 * state.iterations(), benchmark::Counter::kIsRate);
    std::remove(qrp.c_str());
    std::remove(pdf.c_str());
}

// The pages of the PDF comparison: kind 0, qrptool sample's 100 report pages; kind 1, the dense text
// page above 100 times.
const std::vector<emf::TEmfPicture>& PdfPages(int kind) {
    static std::vector<emf::TEmfPicture> pages[2];
    auto& out = pages[kind];
    if (!out.empty()) return out;
    if (kind == 1) {
        out.assign(100, TextPage());
        return out;
    }
    const std::string qrp = "/tmp/pagimo-bench-sample-" + std::to_string(getpid()) + ".qrp";
    const std::string command = std::string(PAGIMO_BINARY_DIR "/tools/qrptool sample ") + qrp + " --pages 100";
    if (std::system(command.c_str()) != 0) return out;
    pagestore::TQRPageList list;
    list.OpenFile(qrp);
    for (int32_t n = 1; n <= list.NumPages(); ++n)
        out.push_back(*list.FetchPage(n));
    std::remove(qrp.c_str());
    return out;
}

const char* const PdfKinds[] = {"report pages", "dense text pages"};

void ReportPdf(benchmark::State& state, const std::string& file, size_t pages) {
    state.counters["bytes/page"] = static_cast<double>(std::filesystem::file_size(file)) / static_cast<double>(pages);
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(pages) * state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(PdfKinds[state.range(0)]);
    std::remove(file.c_str());
}

// Baseline: Qt's PDF engine through the painter device, as qrptool convert wrote PDF before.
void BM_Pdf100Qt(benchmark::State& state) {
    const auto& pages = PdfPages(static_cast<int>(state.range(0)));
    if (pages.empty()) return state.SkipWithError("no pages (qrptool not built)");
    const std::string file = "/tmp/pagimo-bench-qt-" + std::to_string(getpid()) + ".pdf";
    for (auto _ : state) {
        QPdfWriter writer(QString::fromStdString(file));
        writer.setResolution(1200);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setPageSize(QPageSize(QSizeF(pages[0].WidthMM(), pages[0].HeightMM()), QPageSize::Millimeter, QString(),
                                     QPageSize::ExactMatch));
        QPainter painter(&writer);
        for (size_t i = 0; i < pages.size(); ++i) {
            if (i) writer.newPage();
            gdi::PlayEnhMetaFile(painter, pages[i],
                                 QRectF(0, 0, pages[i].WidthMM() / 25.4 * 1200, pages[i].HeightMM() / 25.4 * 1200));
        }
        painter.end();
    }
    ReportPdf(state, file, pages.size());
}

// The PDF device, as qrptool convert writes PDF now.
void BM_Pdf100Own(benchmark::State& state) {
    const auto& pages = PdfPages(static_cast<int>(state.range(0)));
    if (pages.empty()) return state.SkipWithError("no pages (qrptool not built)");
    const std::string file = "/tmp/pagimo-bench-own-" + std::to_string(getpid()) + ".pdf";
    for (auto _ : state) {
        gdi::TPdfDocument document(file, "bench");
        for (const auto& page : pages) {
            const QSize points = QPageSize(QSizeF(page.WidthMM(), page.HeightMM()), QPageSize::Millimeter, QString(),
                                           QPageSize::ExactMatch)
                                     .sizePoints();
            const QRectF target(0, 0, page.WidthMM() / 25.4 * 1200, page.HeightMM() / 25.4 * 1200);
            document.BeginPage(points.width(), points.height());
            {
                gdi::TPdfDevice device(document,
                                       gdi::TDeviceCaps::Screen(static_cast<int32_t>(target.width()),
                                                                static_cast<int32_t>(target.height()), 1200),
                                       points.height(), gdi::ScaleOf(gdi::TEmfPlayer::FrameTransform(page.Header(), target)));
                gdi::TEmfPlayer::Play(page, device, target);
            }
            document.EndPage();
        }
        document.Finish();
    }
    ReportPdf(state, file, pages.size());
}

// The SVG device. Range 1: 0 a stand-alone file per page, 1 the pages of one document.
void BM_Svg100(benchmark::State& state) {
    const auto& pages = PdfPages(static_cast<int>(state.range(0)));
    if (pages.empty()) return state.SkipWithError("no pages (qrptool not built)");
    const bool shared = state.range(1) == 1;
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        std::unique_ptr<gdi::TSvgDocument> document;
        for (size_t i = 0; i < pages.size(); ++i) {
            if (!shared || !document) document = std::make_unique<gdi::TSvgDocument>();
            std::string prefix = "p";
            prefix += std::to_string(i + 1);
            prefix += '-';
            gdi::TSvgDevice device(*document, QSizeF(pages[i].WidthMM(), pages[i].HeightMM()),
                                   QSize(pages[i].Width(), pages[i].Height()), prefix);
            gdi::TEmfPlayer::Play(pages[i], device, device.Target());
            bytes +=
                shared ? device.Finish().size() : device.Finish(document->StyleSheet() + document->ImageDefs()).size();
        }
        if (shared) bytes += document->StyleSheet().size() + document->ImageDefs().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes/page"] = static_cast<double>(bytes) / static_cast<double>(pages.size());
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(pages.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(std::string(PdfKinds[state.range(0)]) + std::string(shared ? ", one document" : ", a file each"));
}

// The external converter on the same page (process start included, SVG rasterising not).
void BM_Emf2SvgConv(benchmark::State& state) {
    const std::string in = "/tmp/pagimo-bench-page.emf", out = "/tmp/pagimo-bench-page.svg";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(TextPage().Bytes().data()),
               static_cast<std::streamsize>(TextPage().Bytes().size()));
    const std::string command = "emf2svg-conv -i " + in + " -o " + out + " >/dev/null 2>&1";
    if (std::system("command -v emf2svg-conv >/dev/null 2>&1") != 0) {
        state.SkipWithError("emf2svg-conv not installed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
    std::remove(in.c_str());
    std::remove(out.c_str());
}

} // namespace

BENCHMARK(BM_RenderTextPage96)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTextPage300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderEmfPlusTextPage96)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PagesToPdf)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QrpToPdf)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Emf2SvgConv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf100Qt)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf100Own)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svg100)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    QGuiApplication app(argc, argv);
    // PAGIMO_BENCH_PAGES=DIR writes the text pages there (text-page.emf, emfplus-text-page.emf) to look at.
    if (const char* dir = std::getenv("PAGIMO_BENCH_PAGES")) {
        for (const auto& [name, page] : {std::pair{"/text-page.emf", &TextPage()}, {"/emfplus-text-page.emf", &EmfPlusTextPage()}})
            std::ofstream(std::string(dir) + name, std::ios::binary)
                .write(reinterpret_cast<const char*>(page->Bytes().data()), static_cast<std::streamsize>(page->Bytes().size()));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
