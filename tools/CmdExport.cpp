// qrptool export: pages through an export filter of the viewer (text, CSV, HTML, PDF), driven from the
// page pictures exactly as the viewer exports a loaded file.

#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "printer/ExportFilters.h"
#include "printer/StoredPageExport.h"
#include "tools/Batch.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/Progress.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

namespace pagimo::tools {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Exports the pages first..last (all when --pages is not given) of input to out; returns how many.
int64_t Export(const std::string& input, const std::string& out, int index, const std::optional<std::string>& pages,
               int jobs, TDamagePolicy& damage, bool showPages) {
    RefuseInputAsOutput({input}, out);
    printer::TQRExportFilterLibrary library;
    printer::RegisterStandardExportFilters(library);
    auto document = OpenDocument(input);
    const auto [first, last] = PageRange(std::nullopt, pages, document->PageCount());
    document = Prefetch(std::move(document), input, jobs, first, last);
    std::optional<TProgress> progress;
    if (showPages) {
        progress.emplace("qrptool export", "pages", last - first + 1);
        document = CountedPages(std::move(document), *progress, first);
    }
    const std::unique_ptr<printer::TQRExporter> filter = library.CreateExporter(index, out);
    printer::TStoredExportOptions options;
    options.First = first;
    options.Last = last;
    options.KeepGoing = damage.KeepGoing();
    options.OnDamagedPage = [&damage](int32_t n, const std::string& reason) { damage.Damaged(n, reason); };
    printer::ExportStoredPages(*filter, *document, options);
    if (progress) progress->Update(last - first + 1);
    return last - first + 1;
}

int Run(TArgs& args) {
    const bool keepGoing = args.Flag("--keep-going");
    const int jobs = JobsOption(args);
    const auto pages = args.Option("--pages");
    const auto format = args.Option("--format");
    const auto outDir = args.Option("--out-dir");
    const TBatchOptions batch = TBatchOptions::Take(args);
    const auto files = args.Positionals();
    if (outDir && !format) throw EUsage{"--out-dir needs --format txt|csv|html|pdf"};
    if (!outDir && files.size() != 2)
        throw EUsage{"input file and output file expected (or --out-dir DIR with inputs)"};
    if (!outDir && batch.Listed) throw EUsage{"--manifest, --resume and --shard go with --out-dir"};
    if (outDir && files.empty()) throw EUsage{"--out-dir needs input files"};
    const std::string out = outDir ? std::string() : files[1];
    std::string extension = format ? *format : std::filesystem::path(out).extension().string();
    if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
    extension = Lower(extension);
    if (out == "-" && !format) throw EUsage{"standard output needs --format txt|csv|html|pdf"};

    printer::TQRExportFilterLibrary library;
    printer::RegisterStandardExportFilters(library);
    int index = 0;
    for (size_t i = 0; i < library.Filters().size(); ++i)
        if (library.Filters()[i].Extension == extension) index = static_cast<int>(i) + 2;
    if (index == 0) throw EUsage{"unknown export format '" + extension + "' (txt, csv, html or pdf)"};

    EnsureGuiApplication();
    TDamagePolicy damage("export", keepGoing);
    if (!outDir) {
        Export(files[0], out, index, pages, jobs, damage, true);
        return damage.ExitStatus();
    }
    if (!std::filesystem::is_directory(*outDir)) throw EQRError("Folder " + *outDir + " does not exist");
    std::vector<TBatchItem> items;
    for (const std::string& input : files)
        items.push_back({input, (std::filesystem::path(*outDir) /
                                 std::filesystem::path(input).filename().replace_extension("." + extension))
                                    .string()});
    const int status = RunBatch("export", items, batch, *outDir, true, [&](const TBatchItem& item) {
        return Export(item.Key, item.Output, index, pages, jobs, damage, false);
    });
    return damage.ExitStatus() == ExitOk ? status : ExitFailure;
}

} // namespace

extern const TCommand CmdExport = {
    "export", "export pages as text, CSV, HTML or PDF",
    "usage: qrptool export FILE OUT.txt|OUT.csv|OUT.html|OUT.pdf [--pages A-B] [--format F] [--keep-going]\n"
    "                      [-j N]\n"
    "       qrptool export FILE... --out-dir DIR --format F [--pages A-B] [--keep-going] [-j N]\n"
    "                      [--manifest FILE] [--resume] [--shard I/N|auto|auto/N]\n\n"
    "Runs the viewer's export filters on the stored pages: the texts each page draws, with their place,\n"
    "font and colour, go to the text, CSV or HTML filter; PDF gets the pages themselves (vector, text\n"
    "stays text). The file appears only when the export has finished.\n"
    "  --pages A-B    a page range (or one page)\n"
    "  --format F     txt, csv, html or pdf instead of OUT's extension (needed for '-', standard output)\n"
    "  --keep-going   a page that cannot be drawn becomes an empty page (named on stderr, exit status 1)\n"
    "  -j N           threads that decode pages ahead (default: the number of cores)\n"
    "  --out-dir DIR  each FILE becomes DIR/NAME.F; every file is tried, each that fails is named\n"
    "  --manifest, --resume, --shard   as for qrptool convert --out-dir\n",
    Run};

} // namespace pagimo::tools
