// qrptool report: loads a stored report description and runs its first report, once or once per key
// (--burst).

#include "engine/Burst.h"
#include "engine/CompositeReport.h"
#include "engine/Description.h"
#include "engine/PrinterTarget.h"
#include "engine/Report.h"
#include "engine/RunOptions.h"
#include "engine/TraceTarget.h"
#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "platform/system/ScopeGuard.h"
#include "platform/system/Termination.h"
#include "printer/ExportFilters.h"
#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"
#include "tools/Batch.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"
#include "tools/Progress.h"
#include "tools/ReportChecks.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace pagimo::tools {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The registered export filter whose extension is ext (with its dot, any case); none when no filter
// has it.
const printer::TQRExporterEntry* FilterForExtension(const std::string& ext) {
    printer::TQRExportFilterLibrary& library = printer::QRExportFilterLibrary();
    printer::RegisterStandardExportFilters(library);
    if (ext.size() < 2) return nullptr;
    for (const printer::TQRExporterEntry& entry : library.Filters())
        if (Lower(entry.Extension) == Lower(ext.substr(1))) return &entry;
    return nullptr;
}

std::string FilterExtensions() {
    std::string list;
    printer::RegisterStandardExportFilters(printer::QRExportFilterLibrary());
    for (const printer::TQRExporterEntry& entry : printer::QRExportFilterLibrary().Filters())
        list += ", ." + entry.Extension;
    return list;
}

// Saves recorded pages as a QRP file, or as PDF through the same conversion as qrptool convert.
void SaveRecordedPages(printer::TQRPrinter& pages, const std::string& output, bool pdf) {
    if (!pdf) {
        pages.SaveReportFile(output);
        return;
    }
    printer::TQRPDFExportFilter filter(output);
    pages.ExportPages(filter);
}

int RunReportCommand(TArgs& args);
// The run's diagnostics (made once the description is read), and whether they fail the run.
std::unique_ptr<TRunDiagnostics> Diagnostics;
bool StrictRun = false;

// A strict run that went well otherwise fails when its descriptions had mistakes.
int StrictStatus(int status) {
    if (status != ExitOk || !StrictRun || !Diagnostics || Diagnostics->Count() == 0) return status;
    if (Diagnostics->BeforeWrite) Diagnostics->BeforeWrite();
    std::fprintf(stderr, "qrptool: report: --strict: %d problem(s) in the description; the output was made as usual\n",
                 Diagnostics->Count());
    return ExitFailure;
}

// Runs the command with the terminating signals turned into a request that the run honours at its
// next page: it unwinds, every temporary file goes with it, and the process then ends as signalled.
int RunReport(TArgs& args) {
    InstallTerminationRequest();
    int signal = 0;
    try {
        const int status = StrictStatus(RunReportCommand(args));
        InstallTerminationCleanup();
        if (!TerminationRequested()) return status;
        signal = TerminationRequested();
    } catch (const engine::ERunInterrupted& e) {
        InstallTerminationCleanup();
        std::fprintf(stderr, "qrptool: report: %s; nothing was written\n", e.what());
        signal = e.Signal;
    } catch (...) {
        InstallTerminationCleanup();
        throw;
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return ExitFailure;
}

// One output per key of the burst expression, each what the report gives on that key's records.
int RunBurst(engine::TQRDescription& description, const std::string& expression, const TOutputPattern& pattern,
             const TBatchOptions& batch, const printer::TQRExporterEntry* exportEntry, bool pdf,
             const std::vector<std::string>& inputs) {
    std::unique_ptr<engine::TQRBurst> burst;
    try {
        burst = std::make_unique<engine::TQRBurst>(description, expression);
    } catch (const engine::EBurstExpression& e) {
        throw EUsage{e.what()};
    }
    {
        TProgress reading("qrptool report", "records");
        burst->ReadKeys([&reading](int records) { reading.Update(records); });
    }
    const std::vector<engine::TQRBurstKey>& keys = burst->Keys();
    const auto output = [&](size_t i) { return pattern.Path(keys[i].Value, static_cast<int64_t>(i) + 1); };
    RefuseSameOutputs(
        keys.size(), [&keys](size_t i) { return keys[i].Value; }, output);
    // The outputs of this shard, each with the index of its key.
    std::vector<TBatchItem> items;
    std::vector<size_t> index;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!batch.Shard.Selects(keys[i].Value)) continue;
        items.push_back({keys[i].Value, output(i)});
        index.push_back(i);
    }
    int pages = 0;
    description.OnPage = [&pages](int page) { pages = std::max(pages, page); };
    return RunBatch("report", items, batch, pattern.Folder(), false, [&](const TBatchItem& item) -> int64_t {
        RefuseInputAsOutput(inputs, item.Output);
        burst->Select(index[static_cast<size_t>(&item - items.data())]);
        system::TScopeGuard release([&burst] { burst->Release(); });
        pages = 0;
        if (exportEntry) {
            std::unique_ptr<printer::TQRExporter> filter = exportEntry->ExporterClass(item.Output);
            if (!filter) throw EQRError("No export filter for " + item.Output);
            description.Export(*filter);
            return pages;
        }
        std::unique_ptr<printer::TQRPrinter> recorded = description.Record();
        SaveRecordedPages(*recorded, item.Output, pdf);
        return recorded->PageTotal();
    });
}

int RunReportCommand(TArgs& args) {
    const auto db = args.Option("--db");
    const auto maxPages = args.Option("--max-pages");
    const auto params = args.Options("--param");
    const bool trace = args.Flag("--trace");
    const bool print = args.Flag("--print");
    const bool compress = args.Flag("--compress");
    const bool fields = args.Flag("--fields");
    StrictRun = args.Flag("--strict");
    const auto output = args.Option("-o");
    const auto burst = args.Option("--burst");
    TBatchOptions batch = TBatchOptions::Take(args);
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) throw EUsage{"expected one description file"};
    if (int(trace) + int(print) + int(output.has_value()) + int(fields) != 1)
        throw EUsage{"give one of -o OUT, --print, --trace, --fields"};
    if (burst && !output) throw EUsage{"--burst makes files: give -o DIR/{key}.pdf (or another output type)"};
    if (!burst && batch.Listed) throw EUsage{"--manifest, --resume and --shard go with --burst"};
    std::optional<TOutputPattern> pattern;
    if (burst) pattern.emplace(*output);
    const auto ext = output ? std::filesystem::path(*output).extension().string() : std::string();
    const bool pdf = Lower(ext) == ".pdf";
    const printer::TQRExporterEntry* exportEntry = nullptr;
    if (output && !pdf && Lower(ext) != ".qrp") {
        exportEntry = FilterForExtension(ext);
        if (!exportEntry)
            throw EUsage{"the output must be a .qrp or .pdf file, or have an export filter's extension (" +
                         FilterExtensions().substr(2) + ")"};
        if (compress) throw EUsage{"--compress applies to .qrp and .pdf output only"};
    }
    engine::TReportRunOptions runOptions;
    for (const std::string& p : params)
        if (std::string error = runOptions.AddParam(p); !error.empty()) throw EUsage{error};
    if (db) runOptions.SetDatabase(*db);
    if (pattern) CheckWritableFolder(pattern->Folder());
    int pageLimit = 0;
    if (maxPages) {
        auto [end, ec] = std::from_chars(maxPages->data(), maxPages->data() + maxPages->size(), pageLimit);
        if (ec != std::errc() || end != maxPages->data() + maxPages->size() || pageLimit < 1)
            throw EUsage{"--max-pages needs a whole number of pages, at least 1: " + *maxPages};
    }

    // Data sets open while the description loads; those on database servers need Qt's drivers.
    // Text is measured on the report's reference device, which needs the GUI application too: so
    // --trace measures as -o does and stretching text takes the same room in both.
    EnsureGuiApplication();
    std::unique_ptr<engine::TQRDescription> loaded;
    try {
        loaded = std::make_unique<engine::TQRDescription>(positionals[0], runOptions);
    } catch (const engine::EUnknownParameter& e) {
        throw EUsage{e.what()};
    }
    engine::TQRDescription& description = *loaded;
    if (const std::vector<std::string> handlers = description.EventHandlers(); !handlers.empty()) {
        std::string list;
        for (const std::string& h : handlers)
            list += (list.empty() ? "" : ", ") + h;
        std::cerr << positionals[0] << ": warning: event handlers not connected (no program code in this run): "
                  << list << "\n";
    }
    // The report's own files are never overwritten by its output.
    std::vector<std::string> inputs{positionals[0]};
    for (const std::string& file : description.DataFiles())
        inputs.push_back(file);
    if (output && !burst) RefuseInputAsOutput(inputs, *output);
    for (engine::TQRReport* r : description.Reports()) {
        if (maxPages) r->SetMaxPages(pageLimit);
        if (compress) r->SetOptions(r->Options() | engine::OptionBit(engine::Compression));
    }
    Diagnostics = std::make_unique<TRunDiagnostics>(positionals[0]);
    Diagnostics->BeforeWrite = [] { TProgress::ClearShown(); };
    if (fields) {
        const int inactive = ListFields(description.Root(), description.Report(), stdout);
        if (inactive && StrictRun) {
            std::fprintf(stderr, "qrptool: report: --strict: %d data set(s) not active\n", inactive);
            return ExitFailure;
        }
        return ExitOk;
    }
    Diagnostics->Listen(description);
    if (description.Composite() && exportEntry) throw EUsage{"a composite report records to .qrp or .pdf only"};
    if (!description.Report()) throw EQRError(positionals[0] + ": no report in the description");
    if (burst) {
        batch.Listed = true;
        return RunBurst(description, *burst, *pattern, batch, exportEntry, pdf, inputs);
    }
    TProgress progress("qrptool report", "pages");
    description.OnPage = [&progress](int page) { progress.Update(page); };
    if (print) {
        description.Print();
        return ExitOk;
    }
    if (exportEntry) {
        std::unique_ptr<printer::TQRExporter> filter = exportEntry->ExporterClass(*output);
        if (!filter) throw EQRError("No export filter for " + *output);
        description.Export(*filter);
        return ExitOk;
    }
    if (!trace) {
        SaveRecordedPages(*description.Record(), *output, pdf);
        return ExitOk;
    }

    // The trace: each page's bands of a single report; a composite tells its page count.
    engine::TQRTraceTarget target;
    std::vector<std::string> lines;
    int page = 0;
    engine::TQRReport* report = description.Report();
    if (!description.Composite()) {
        for (engine::TQRCustomBand* band : report->BandList()) {
            band->AfterPrint = [&](engine::TQRCustomBand& b, bool printed) {
                // A counting pass prints nothing the trace shows.
                if (!printed || (report->Generation() && report->Generation()->Counting())) return;
                if (report->PageCount() != page) {
                    page = report->PageCount();
                    lines.push_back("page " + std::to_string(page));
                }
                const auto& r = b.BandOutline();
                char buf[160];
                std::snprintf(buf, sizeof buf, "  %-24s %6d %6d %6d %6d", b.Name().c_str(), r.Left, r.Top,
                              r.Right - r.Left, r.Bottom - r.Top);
                lines.push_back(buf);
            };
        }
    }
    description.Run(target);
    for (const auto& l : lines)
        std::puts(l.c_str());
    std::printf("%zu page(s)\n", target.Pages().size());
    return ExitOk;
}

} // namespace

extern const TCommand CmdReport = {
    "report", ReportSummary,
    "usage: qrptool report FILE.form (-o OUT.qrp|OUT.pdf|OUT.txt|OUT.csv|OUT.html [--compress]\n"
    "                                 | --print | --trace | --fields) [--db FILE.sqlite]\n"
    "                                 [--param NAME=VALUE ...] [--max-pages N] [--strict]\n"
    "       qrptool report FILE.form --burst EXPR -o 'DIR/{key}.pdf' [--manifest FILE] [--resume]\n"
    "                                 [--shard I/N|auto|auto/N] [--db ...] [--param ...] ...\n"
    "  Loads the description (a report alone or a form holding one) and runs its first report;\n"
    "  a form holding a TQRCompositeReport runs the composite's Reports as one document.\n"
    "  -o OUT           record the pages and save them as a QRP file, or convert them to PDF;\n"
    "                   .txt, .csv and .html run the report through the export filter of that\n"
    "                   extension (text on a character grid, one CSV record per printed line,\n"
    "                   an HTML page per report page)\n"
    "  --compress       splay-code the recorded pages (.qrp and .pdf output)\n"
    "  --print          print the report on the default printer\n"
    "  --trace          print each page's bands: name, left, top, width, height (0.1 mm)\n"
    "  --fields         list each data set's fields with their types (opened as a run opens\n"
    "                   them, with --db and --param) and run nothing\n"
    "  --db FILE        use this database for every SQLite data set of the description\n"
    "  --param N=V      set the report function N to the value V (query parameters :N); a name\n"
    "                   the description does not have is a usage error that lists those it has\n"
    "  --max-pages N    end with an error when the report gives more than N pages\n"
    "                   (default 100000)\n"
    "  --strict         exit 1 when the run found mistakes in the description (the output was\n"
    "                   still made); without it they are only reported\n"
    "  Mistakes go to stderr as FILE:LINE: warning: ..., each once: before any page, data sets\n"
    "  the report reads that are not active, expressions that do not parse and names that are\n"
    "  neither fields nor functions; then, with their page, the first expression error each\n"
    "  control prints, texts cut short and pictures or barcodes that cannot be drawn.\n"
    "  A report that prints its page total (TOTALPAGES) runs twice: once to count the pages.\n"
    "  Ctrl+C (SIGINT, SIGTERM, SIGHUP) ends the run at its next page, leaving no files behind;\n"
    "  a second one ends it at once.\n"
    "Bursting: one output per value of EXPR over the report's records, in one process.\n"
    "  --burst EXPR     a report expression such as '[Invoices.customer]'; records with the same\n"
    "                   value must come together (sorted by it): a value met again after another\n"
    "                   is an error before any output. Each output is what the report gives on\n"
    "                   that value's records alone (own title, summary and page numbers).\n"
    "  -o PATTERN       the outputs, any type above: {key} is the value as a file name, {n} the\n"
    "                   output's number from 1, at least one of them in the file name. In {key},\n"
    "                   / \\ : * ? \" < > | control characters and bytes that are not UTF-8 become _,\n"
    "                   leading dots become _, an empty value is _, and a value over 200 bytes is\n"
    "                   cut to 190 and ends in ~ and 8 hex digits of its hash. Two values that give\n"
    "                   the same file are refused before anything is written. The folder is made\n"
    "                   when missing; each output appears whole or not at all.\n"
    "  --manifest FILE  the manifest (default DIR/manifest.csv, DIR/manifest.I-of-N.csv for a\n"
    "                   shard): key,file,pages,bytes,sha256, a row as each output is finished\n"
    "  --resume         keep the outputs the manifest lists whose file is there and matches its\n"
    "                   row; make the rest (a batch task that stopped half way is run again)\n"
    "  --shard I/N      make only the values whose stable hash is I modulo N (I from 0); auto\n"
    "                   takes I and N from a Slurm job array, auto/N takes I from Slurm or a\n"
    "                   Kubernetes indexed Job (JOB_COMPLETION_INDEX)\n"
    "  Check the outputs with qrptool manifest check DIR.\n",
    RunReport};

} // namespace pagimo::tools
