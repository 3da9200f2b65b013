// qrptool report: loads a stored report description and runs its first report.

#include "controls/ControlClasses.h"
#include "engine/CSVTable.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/PrinterTarget.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "engine/SQLiteDataSet.h"
#include "engine/TraceTarget.h"
#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "printer/ExportFilters.h"
#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace pagimo::tools {

namespace {

// A --param value as a report function: numbers stay numbers, anything else becomes a string.
std::string LiteralExpression(const std::string& value) {
    double d = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), d, std::chars_format::fixed);
    if (!value.empty() && ec == std::errc() && end == value.data() + value.size()) return value;
    std::string quoted = "'";
    for (char c : value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

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

int RunReport(TArgs& args) {
    const auto db = args.Option("--db");
    const auto params = args.Options("--param");
    const bool trace = args.Flag("--trace");
    const bool print = args.Flag("--print");
    const bool compress = args.Flag("--compress");
    const auto output = args.Option("-o");
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) throw EUsage{"expected one description file"};
    if (int(trace) + int(print) + int(output.has_value()) != 1) throw EUsage{"give one of -o OUT, --print, --trace"};
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
    std::vector<std::pair<std::string, std::string>> functions;
    for (const std::string& p : params) {
        const size_t eq = p.find('=');
        if (eq == std::string::npos || eq == 0) throw EUsage{"--param needs NAME=VALUE: " + p};
        functions.emplace_back(p.substr(0, eq), LiteralExpression(p.substr(eq + 1)));
    }

    // Data sets open while the description loads; those on database servers need Qt's drivers.
    // Text is measured on the report's reference device, which needs the GUI application too: so
    // --trace measures as -o does and stretching text takes the same room in both.
    EnsureGuiApplication();
    system::TClassRegistry registry;
    engine::RegisterReportClasses(registry);
    engine::RegisterFormHostClasses(registry);
    controls::RegisterControlClasses(registry);
    std::string dbPath;
    if (db) dbPath = std::filesystem::absolute(*db).string();
    std::vector<system::TComponent*> dataSets;
    auto root = engine::ReadFormFile(positionals[0], registry, [&](system::TComponent& c) {
        if (auto* d = dynamic_cast<engine::TQRSQLiteDataSet*>(&c); d && !dbPath.empty()) d->SetDatabaseName(dbPath);
        if (dynamic_cast<engine::TQRSQLiteDataSet*>(&c) || dynamic_cast<engine::TQRCSVTable*>(&c)) dataSets.push_back(&c);
    });
    if (output) {
        // The report's own files are never overwritten by its output.
        std::vector<std::string> inputs{positionals[0]};
        for (system::TComponent* c : dataSets) {
            if (auto* d = dynamic_cast<engine::TQRSQLiteDataSet*>(c)) inputs.push_back(d->DatabasePath());
            if (auto* t = dynamic_cast<engine::TQRCSVTable*>(c)) inputs.push_back(t->FilePath());
        }
        RefuseInputAsOutput(inputs, *output);
    }
    engine::TQRReport* report = engine::FindFirstReport(*root);
    if (!report) throw EQRError(positionals[0] + ": no report in the description");
    for (const auto& [name, expression] : functions)
        report->Functions()->Set(name, expression);

    if (compress) report->SetOptions(report->Options() | engine::OptionBit(engine::Compression));
    if (!trace) {
        EnsureGuiApplication();
        engine::TQRReportRunner runner(*report);
        if (print) {
            if (!printer::TQRPrinter().HasPrinters()) throw EQRError("No printer is installed");
            runner.Print();
            return ExitOk;
        }
        if (exportEntry) {
            std::unique_ptr<printer::TQRExporter> filter = exportEntry->ExporterClass(*output);
            if (!filter) throw EQRError("No export filter for " + *output);
            runner.Export(*filter);
            return ExitOk;
        }
        std::unique_ptr<printer::TQRPrinter> pages = runner.Record();
        if (!pdf) {
            pages->SaveReportFile(*output);
            return ExitOk;
        }
        // PDF: the recorded pages go through the same conversion as qrptool convert.
        printer::TQRPDFExportFilter filter(*output);
        pages->ExportPages(filter);
        return ExitOk;
    }

    engine::TQRTraceTarget target;
    std::vector<std::string> lines;
    int page = 0;
    for (engine::TQRCustomBand* band : report->BandList()) {
        band->AfterPrint = [&](engine::TQRCustomBand& b, bool printed) {
            if (!printed) return;
            if (report->PageCount() != page) {
                page = report->PageCount();
                lines.push_back("page " + std::to_string(page));
            }
            const auto& r = b.BandOutline();
            char buf[160];
            std::snprintf(buf, sizeof buf, "  %-24s %6d %6d %6d %6d", b.Name().c_str(), r.Left, r.Top, r.Right - r.Left,
                          r.Bottom - r.Top);
            lines.push_back(buf);
        };
    }
    report->SetPrintTarget(&target);
    report->CreateReport(false);
    for (const auto& l : lines)
        std::puts(l.c_str());
    std::printf("%zu page(s)\n", target.Pages().size());
    return ExitOk;
}

} // namespace

extern const TCommand CmdReport = {
    "report", "run a stored report description",
    "usage: qrptool report FILE.form (-o OUT.qrp|OUT.pdf|OUT.txt|OUT.csv|OUT.html [--compress]\n"
    "                                 | --print | --trace) [--db FILE.sqlite] [--param NAME=VALUE ...]\n"
    "  Loads the description (a report alone or a form holding one) and runs its first report.\n"
    "  -o OUT           record the pages and save them as a QRP file, or convert them to PDF;\n"
    "                   .txt, .csv and .html run the report through the export filter of that\n"
    "                   extension (text on a character grid, one CSV record per printed line,\n"
    "                   an HTML page per report page)\n"
    "  --compress       splay-code the recorded pages (.qrp and .pdf output)\n"
    "  --print          print the report on the default printer\n"
    "  --trace          print each page's bands: name, left, top, width, height (0.1 mm)\n"
    "  --db FILE        use this database for every SQLite data set of the description\n"
    "  --param N=V      set the report function N to the value V (query parameters :N)\n",
    RunReport};

} // namespace pagimo::tools
