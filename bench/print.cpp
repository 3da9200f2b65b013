// Printing a 100-page text-heavy QRP file through a private CUPS queue, from the command to the
// document arriving at the printer, next to two baselines measured in the same run: the same report
// printer rendering the pages into a PDF file without a queue, and submitting that PDF with lp.
//
// Run with: bench_print --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// (needs root for the private cupsd and avahi-daemon, like the cups tests).

#include "CupsFixture.h"

#include "platform/gdi/Canvas.h"
#include "platform/gdi/Gdi.h"
#include "platform/printing/Printer.h"
#include "printer/QRPrinter.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::printer;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string Qrptool = PAGIMO_BINARY_DIR "/tools/qrptool";
constexpr int Pages = 100;

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("pagimo-bench-print-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// 100 A4 pages of about 60 lines of 10-point text each, with a rule under the heading.
const fs::path& ReportFile() {
    static const fs::path file = [] {
        const fs::path f = WorkDir() / "report.qrp";
        TQRPrinter p;
        p.SetPaperSize(TQRPaperSize::A4);
        p.StartDocument();
        for (int page = 1; page <= Pages; ++page) {
            p.NewPage();
            gdi::TCanvas& c = *p.PageCanvas();
            c.Font.Name = "Arial";
            c.Font.SetSize(14, c.GetDeviceCaps(gdi::LOGPIXELSY));
            c.TextOut(p.DeviceX(200), p.DeviceY(150), "Quarterly statement, page " + std::to_string(page));
            c.MoveTo(p.DeviceX(200), p.DeviceY(220));
            c.LineTo(p.DeviceX(1900), p.DeviceY(220));
            c.Font.SetSize(10, c.GetDeviceCaps(gdi::LOGPIXELSY));
            for (int line = 0; line < 60; ++line) {
                const std::string text = "Item " + std::to_string(page * 100 + line) +
                                         "  Příliš žluťoučký kůň úpěl ďábelské ódy  " +
                                         std::to_string((page * 7919 + line * 104729) % 100000) + ".00 CZK";
                c.TextOut(p.DeviceX(200), p.DeviceY(260 + line * 42), text);
            }
        }
        p.FinishDocument();
        p.SaveReportFile(f.string());
        return f;
    }();
    return file;
}

test::TCupsFixture* Cups(benchmark::State& state) {
    test::TCupsFixture* f = test::TCupsFixture::Shared();
    if (!f) state.SkipWithError(("no private CUPS: " + test::TCupsFixture::Error()).c_str());
    return f;
}

// Waits for the next document; returns its size in bytes (0 on timeout).
uintmax_t AwaitDocument(test::TCupsFixture& f, size_t before) {
    const auto docs = f.WaitForDocuments(before + 1, 120s);
    return docs.size() > before ? fs::file_size(docs.back()) : 0;
}

void BM_QrptoolPrintToPrinter(benchmark::State& state) {
    test::TCupsFixture* f = Cups(state);
    if (!f) return;
    const fs::path& file = ReportFile();
    uintmax_t bytes = 0;
    for (auto _ : state) {
        const size_t before = f->Documents().size();
        std::string out, err;
        if (f->Run({Qrptool, "print", file.string()}, &out, &err) != 0) {
            state.SkipWithError(("qrptool print failed: " + err).c_str());
            return;
        }
        bytes = AwaitDocument(*f, before);
        if (!bytes) {
            state.SkipWithError("the document did not arrive");
            return;
        }
    }
    state.counters["job_bytes"] = static_cast<double>(bytes);
    state.counters["qrp_bytes"] = static_cast<double>(fs::file_size(file));
    state.counters["pages"] = Pages;
}

// The same pages rendered into a PDF file by the same report printer, without a queue.
void BM_PrintToPdfFile(benchmark::State& state) {
    if (!Cups(state)) return; // a report printer prints only where a printer is installed
    const fs::path& file = ReportFile();
    const fs::path pdf = WorkDir() / "report.pdf";
    for (auto _ : state) {
        TQRPrinter p;
        p.OpenReportFile(file.string());
        p.Device().SetOutputFileName(pdf.string());
        p.Print();
    }
    state.counters["pdf_bytes"] = static_cast<double>(fs::file_size(pdf));
}

void BM_LpSubmitPdf(benchmark::State& state) {
    test::TCupsFixture* f = Cups(state);
    if (!f) return;
    const fs::path pdf = WorkDir() / "report.pdf";
    if (!fs::exists(pdf)) {
        TQRPrinter p;
        p.OpenReportFile(ReportFile().string());
        p.Device().SetOutputFileName(pdf.string());
        p.Print();
    }
    std::string out, err;
    uintmax_t bytes = 0;
    for (auto _ : state) {
        const size_t before = f->Documents().size();
        if (f->Run({"lp", "-d", f->Queue(), pdf.string()}, &out, &err) != 0) {
            state.SkipWithError(("lp failed: " + err).c_str());
            return;
        }
        bytes = AwaitDocument(*f, before);
    }
    state.counters["job_bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_QrptoolPrintToPrinter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PrintToPdfFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_LpSubmitPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    test::TCupsFixture::StopShared();
    std::error_code ec;
    if (!std::getenv("PAGIMO_KEEP_CUPS")) fs::remove_all(WorkDir(), ec);
    return 0;
}
