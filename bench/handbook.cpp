// The example handbook (examples/handbook.form over examples/invoices.sql): 180 paragraphs in 40
// chapters, each paragraph an expression control that word-wraps and stretches its band, so that
// paragraphs meeting the bottom of a page continue on the next. Measured in the same run:
//   BM_HandbookToQrp  - load the description, generate the pages, save them as a QRP file;
//   BM_HandbookQrpToPdf - that QRP file to a vector PDF through qrptool convert's own conversion.
// Both report pages per second ("pages_per_s").
//
// Run with: bench_handbook --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "bench/ExampleDatabase.h"
#include "controls/ControlClasses.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "engine/SQLiteDataSet.h"
#include "platform/system/Errors.h"
#include "printer/QRPrinter.h"
#include "tools/PageSource.h"
#include "tools/PdfConversion.h"

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

fs::path WorkDir() {
    return bench::BenchFolder("handbook");
}

// The example database, built from its script once per run.
fs::path Database() {
    return bench::ExampleDatabase(WorkDir());
}

system::TClassRegistry& Registry() {
    static system::TClassRegistry registry = [] {
        system::TClassRegistry r;
        engine::RegisterReportClasses(r);
        engine::RegisterFormHostClasses(r);
        controls::RegisterControlClasses(r);
        return r;
    }();
    return registry;
}

// Loads the handbook, generates it and saves the pages; returns the page count.
int HandbookToQrp(const fs::path& qrp) {
    const std::string db = Database().string();
    auto root =
        engine::ReadFormFile(PAGIMO_SOURCE_DIR "/examples/handbook.form", Registry(), [&](system::TComponent& c) {
            if (auto* d = dynamic_cast<engine::TQRSQLiteDataSet*>(&c)) d->SetDatabaseName(db);
        });
    engine::TQRReport* report = engine::FindFirstReport(*root);
    if (!report) throw EQRError("no report in handbook.form");
    engine::TQRReportRunner runner(*report);
    std::unique_ptr<printer::TQRPrinter> pages = runner.Record();
    pages->SaveReportFile(qrp.string());
    return pages->PageTotal();
}

void BM_HandbookToQrp(benchmark::State& state) {
    const fs::path qrp = WorkDir() / "handbook.qrp";
    int pages = 0;
    for (auto _ : state)
        pages = HandbookToQrp(qrp);
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_HandbookQrpToPdf(benchmark::State& state) {
    const fs::path qrp = WorkDir() / "handbook-for-pdf.qrp";
    const int pages = HandbookToQrp(qrp);
    const std::string pdf = (WorkDir() / "handbook.pdf").string();
    for (auto _ : state) {
        auto document = tools::OpenDocument(qrp.string());
        tools::WritePdf(*document, pdf);
    }
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pdf_kib"] = static_cast<double>(fs::file_size(pdf)) / 1024;
}

} // namespace

BENCHMARK(BM_HandbookToQrp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HandbookQrpToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    tools::EnsureGuiApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(WorkDir(), ec);
    return 0;
}
