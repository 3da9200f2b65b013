// The live preview of the example handbook (examples/handbook.form over examples/invoices.sql), on
// Qt's offscreen platform. Measured in the same run:
//   BM_HandbookRecord   - load the description, generate the pages, save them as a QRP file;
//   BM_LiveRerun        - what a save of the description costs in the live preview: the same, then
//                         the pages shown in the window at the page and zoom it had.
// Both report pages per second ("pages_per_s"); the difference is the live preview's own share.
//
// Run with: bench_live --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "bench/ExampleDatabase.h"
#include "controls/ControlClasses.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "engine/RunOptions.h"
#include "platform/system/Errors.h"
#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "printer/QRPrinter.h"
#include "shell/LivePreview.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace pagimo;
namespace fs = std::filesystem;

namespace {

const char* const Handbook = PAGIMO_SOURCE_DIR "/examples/handbook.form";

fs::path WorkDir() {
    return bench::BenchFolder("live");
}

// The example database, built from its script once per run.
std::string Database() {
    return bench::ExampleDatabase(WorkDir()).string();
}

engine::TReportRunOptions Options() {
    engine::TReportRunOptions options;
    options.SetDatabase(Database());
    return options;
}

void BM_HandbookRecord(benchmark::State& state) {
    system::TClassRegistry registry;
    engine::RegisterReportClasses(registry);
    engine::RegisterFormHostClasses(registry);
    controls::RegisterControlClasses(registry);
    const engine::TReportRunOptions options = Options();
    const std::string qrp = (WorkDir() / "handbook.qrp").string();
    int pages = 0;
    for (auto _ : state) {
        auto root =
            engine::ReadFormFile(Handbook, registry, [&](system::TComponent& c) { options.ApplyToComponent(c); });
        engine::TQRReportRunner runner(*engine::FindFirstReport(*root));
        std::unique_ptr<printer::TQRPrinter> recorded = runner.Record();
        recorded->SaveReportFile(qrp);
        pages = recorded->PageTotal();
    }
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LiveRerun(benchmark::State& state) {
    shell::TLivePreview live(Handbook, Options());
    live.Show();
    live.Run();
    if (!live.Error().isEmpty()) {
        state.SkipWithError(live.Error().toStdString().c_str());
        return;
    }
    live.Window()->QRPreview()->SetPageNumber(5);
    for (auto _ : state)
        live.Run();
    const int pages = live.Window()->ReportPrinter()->PageTotal();
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    live.Close();
}

} // namespace

BENCHMARK(BM_HandbookRecord)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LiveRerun)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    QApplication app(argc, argv);
    preview::InstallStandardPreviewInterface();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(WorkDir(), ec);
    return 0;
}
