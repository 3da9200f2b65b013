// qrptool export: pages through an export filter of the viewer (text, CSV, HTML, PDF), driven from the
// page pictures exactly as the viewer exports a loaded file.

#include "platform/system/Errors.h"
#include "printer/ExportFilters.h"
#include "printer/StoredPageExport.h"
#include "platform/system/OutputFile.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace pagimo::tools {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

int Run(TArgs& args) {
    const bool keepGoing = args.Flag("--keep-going");
    const int jobs = JobsOption(args);
    const auto pages = args.Option("--pages");
    const auto format = args.Option("--format");
    const auto files = args.Positionals();
    if (files.size() != 2) throw EUsage{"input file and output file expected"};
    const std::string& out = files[1];
    RefuseInputAsOutput({files[0]}, out);
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
    auto document = OpenDocument(files[0]);
    const auto [first, last] = PageRange(std::nullopt, pages, document->PageCount());
    document = Prefetch(std::move(document), files[0], jobs, first, last);
    const std::unique_ptr<printer::TQRExporter> filter = library.CreateExporter(index, out);
    TDamagePolicy damage("export", keepGoing);
    printer::TStoredExportOptions options;
    options.First = first;
    options.Last = last;
    options.KeepGoing = keepGoing;
    options.OnDamagedPage = [&damage](int32_t n, const std::string& reason) { damage.Damaged(n, reason); };
    printer::ExportStoredPages(*filter, *document, options);
    return damage.ExitStatus();
}

} // namespace

extern const TCommand CmdExport = {
    "export", "export pages as text, CSV, HTML or PDF",
    "usage: qrptool export FILE OUT.txt|OUT.csv|OUT.html|OUT.pdf [--pages A-B] [--format F] [--keep-going]\n"
    "                      [-j N]\n\n"
    "Runs the viewer's export filters on the stored pages: the texts each page draws, with their place,\n"
    "font and colour, go to the text, CSV or HTML filter; PDF gets the pages themselves (vector, text\n"
    "stays text). The file appears only when the export has finished.\n"
    "  --pages A-B    a page range (or one page)\n"
    "  --format F     txt, csv, html or pdf instead of OUT's extension (needed for '-', standard output)\n"
    "  --keep-going   a page that cannot be drawn becomes an empty page (named on stderr, exit status 1)\n"
    "  -j N           threads that decode pages ahead (default: the number of cores)\n",
    Run};

} // namespace pagimo::tools
