// Two measurements of the report author's toolbox, each a description read from text and recorded
// into pages as qrptool report -o does:
//
//   BM_PageTotal/0 and /1: 5,000 records, one detail band each (two text fields), 60 to a page, a
//   page footer with "Page N" (0) or "Page N of M" through TOTALPAGES (1). The second runs a counting
//   pass first; it should cost at most 2.2 times the first.
//   BM_Barcodes/N: 10,000 records with a barcode each (N: 0 Code 128 of a text, 1 EAN-13, 2 QR Code),
//   recorded as vector pages; items per second gives the time per barcode.
//
// Run with: bench_toolbox --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "controls/ControlClasses.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "printer/QRPrinter.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

using namespace pagimo;
using namespace pagimo::engine;

namespace {

std::string Records(int count) {
    std::string lines = "'n,name'";
    for (int i = 1; i <= count; ++i)
        lines += " '" + std::to_string(i) + ",Customer " + std::to_string(i) + "'";
    return lines;
}

std::string Description(int count, const std::string& detail, double height, const std::string& footer) {
    return "object R: TQRReport\n  DataSet = T\n  Units = MM\n  Page.PaperSize = A4\n"
           "  object T: TQRMemoryTable\n    Lines = (" +
           Records(count) +
           ")\n    Active = True\n  end\n"
           "  object D: TQRBand\n    BandType = rbDetail\n    Size.Height = " +
           std::to_string(height) + "\n" + detail +
           "  end\n"
           "  object F: TQRBand\n    BandType = rbPageFooter\n    Size.Height = 6\n"
           "    object P: TQRExpr\n      Expression = '" +
           footer + "'\n    end\n  end\nend\n";
}

// Reads the description once and records it `state` times.
void Record(benchmark::State& state, const std::string& text, int items) {
    system::TClassRegistry registry;
    RegisterReportClasses(registry);
    RegisterFormHostClasses(registry);
    controls::RegisterControlClasses(registry);
    auto root = ReadForm(text, registry);
    TQRReport* report = FindFirstReport(*root);
    int pages = 0;
    for (auto _ : state) {
        TQRReportRunner runner(*report);
        pages = runner.Record()->PageTotal();
    }
    state.counters["pages"] = pages;
    state.SetItemsProcessed(state.iterations() * items);
}

void BM_PageTotal(benchmark::State& state) {
    const std::string detail = "    object A: TQRExpr\n      Expression = '[n]'\n    end\n"
                               "    object B: TQRExpr\n      Size.Left = 30\n      Expression = '[name]'\n    end\n";
    const std::string footer =
        state.range(0) ? "''Page '' + STR(PAGENUMBER) + '' of '' + STR(TOTALPAGES)" : "''Page '' + STR(PAGENUMBER)";
    Record(state, Description(5000, detail, 4.4, footer), 5000);
}
BENCHMARK(BM_PageTotal)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Barcodes(benchmark::State& state) {
    static const char* symbology[] = {"bcCode128", "bcEAN13", "bcQRCode"};
    static const char* data[] = {"'INV-' + STR([n])", "COPY('200000000000', 1, 12 - LENGTH(STR([n]))) + STR([n])",
                                 "'Invoice ' + STR([n])"};
    const std::string detail = std::string("    object C: TQRBarcode\n      Size.Width = 40\n      Size.Height = 20\n"
                                           "      Symbology = ") +
                               symbology[state.range(0)] + "\n      Expression = '" +
                               [&] {
                                   std::string e;
                                   for (char c : std::string(data[state.range(0)]))
                                       e += c == '\'' ? std::string("''") : std::string(1, c);
                                   return e;
                               }() +
                               "'\n    end\n";
    Record(state, Description(10000, detail, 22, "STR(PAGENUMBER)"), 10000);
}
BENCHMARK(BM_Barcodes)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
