// qrptool convert: pages to a vector PDF, one PDF page per page at the page's own size; several files
// in one process with --out-dir. OUT.svg writes SVG files (one per page), OUT.html one HTML viewer.

#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "tools/Batch.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/PdfConversion.h"
#include "tools/Progress.h"
#include "tools/WebConversion.h"

#include <algorithm>
#include <cctype>

#include <cstdio>
#include <filesystem>
#include <optional>

namespace pagimo::tools {

namespace {

// One file of a batch; returns the number of pages converted.
int64_t Convert(const std::string& input, const std::string& output, int jobs, TDamagePolicy& damage) {
    RefuseInputAsOutput({input}, output);
    std::unique_ptr<pagestore::TPageDocument> document = OpenDocument(input);
    const int32_t count = document->PageCount();
    document = Prefetch(std::move(document), input, jobs, 1, count);
    WritePdf(*document, output, damage);
    return count;
}

struct TWebRequest {
    std::optional<std::string> Page, Pages, Title, Lang;
};

std::string Extension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// OUT.svg (OUT-%d.svg or a folder for several pages), OUT.html, or a PDF of the chosen pages.
void ConvertOne(const std::string& input, const std::string& output, const TWebRequest& request, int jobs,
                TDamagePolicy& damage) {
    const std::string ext = Extension(output);
    const bool folder = std::filesystem::is_directory(output) || output.ends_with('/');
    const bool svg = ext == ".svg" || folder, html = ext == ".html" || ext == ".htm";
    if (!svg && !html && (request.Title || request.Lang)) throw EUsage{"--title and --lang are for HTML output"};
    std::unique_ptr<pagestore::TPageDocument> source = OpenDocument(input);
    const auto [first, last] = PageRange(request.Page, request.Pages, source->PageCount());
    if (svg && first != last && !folder && output.find("%d") == std::string::npos)
        throw EUsage{"several pages need an output pattern with %d (OUT-%d.svg) or a folder"};
    const auto path = [&](int n) {
        if (folder) {
            const std::string stem = std::filesystem::path(input).stem().string();
            return (std::filesystem::path(output) / (stem + "-" + std::to_string(n) + ".svg")).string();
        }
        const auto at = output.find("%d");
        return at == std::string::npos ? output : output.substr(0, at) + std::to_string(n) + output.substr(at + 2);
    };
    if (svg)
        for (int n = first; n <= last; ++n)
            RefuseInputAsOutput({input}, path(n));
    source = Prefetch(std::move(source), input, jobs, first, last);
    TMissingFontNotice fonts("convert");
    if (svg) {
        WriteSvgPages(*source, path, first, last, damage, fonts);
    } else if (html) {
        TWebOptions options;
        options.Title = request.Title ? *request.Title : std::filesystem::path(input).stem().string();
        if (request.Lang) options.Lang = *request.Lang;
        WriteHtml(*source, output, options, first, last, damage, fonts);
    } else {
        TProgress progress("qrptool convert", "pages", last - first + 1);
        source = CountedPages(std::move(source), progress, first);
        WritePdf(*source, output, damage, first, last);
        progress.Update(last - first + 1);
    }
}

int Run(TArgs& args) {
    const bool keepGoing = args.Flag("--keep-going");
    const auto outDir = args.Option("--out-dir");
    TWebRequest request;
    request.Page = args.Option("--page");
    request.Pages = args.Option("--pages");
    request.Title = args.Option("--title");
    request.Lang = args.Option("--lang");
    const int jobs = JobsOption(args);
    const TBatchOptions batch = TBatchOptions::Take(args);
    const auto files = args.Positionals();
    EnsureGuiApplication();
    TDamagePolicy damage("convert", keepGoing);
    if (!outDir) {
        if (files.size() != 2) throw EUsage{"input file and output file expected (or --out-dir DIR with inputs)"};
        if (batch.Listed) throw EUsage{"--manifest, --resume and --shard go with --out-dir"};
        RefuseInputAsOutput({files[0]}, files[1]);
        ConvertOne(files[0], files[1], request, jobs, damage);
        return damage.ExitStatus();
    }
    if (request.Page || request.Pages || request.Title || request.Lang)
        throw EUsage{"--page, --pages, --title and --lang take one input and its output"};
    if (files.empty()) throw EUsage{"--out-dir needs input files"};
    if (!std::filesystem::is_directory(*outDir)) throw EQRError("Folder " + *outDir + " does not exist");
    // Every file is tried; each that fails is named, and the status says whether any did.
    std::vector<TBatchItem> items;
    for (const std::string& input : files)
        items.push_back(
            {input, (std::filesystem::path(*outDir) / std::filesystem::path(input).filename().replace_extension(".pdf"))
                        .string()});
    const int status = RunBatch("convert", items, batch, *outDir, true, [&](const TBatchItem& item) {
        return Convert(item.Key, item.Output, jobs, damage);
    });
    return damage.ExitStatus() == ExitOk ? status : ExitFailure;
}

} // namespace

extern const TCommand CmdConvert = {
    "convert", "convert pages to a vector PDF, SVG files or an HTML viewer",
    "usage: qrptool convert FILE OUT.pdf [--page N | --pages A-B] [--keep-going] [-j N]\n"
    "       qrptool convert FILE OUT.svg|OUT-%d.svg|DIR/ [--page N | --pages A-B] [--keep-going] [-j N]\n"
    "       qrptool convert FILE OUT.html [--title TEXT] [--lang CODE] [--pages A-B] [--keep-going] [-j N]\n"
    "       qrptool convert FILE... --out-dir DIR [--keep-going] [-j N] [--manifest FILE] [--resume]\n"
    "                       [--shard I/N|auto|auto/N]\n"
    "  FILE is a QRP file or an .emf file; one PDF page per page, at its own size. OUT.pdf '-' writes\n"
    "  to standard output; with --out-dir each FILE becomes DIR/NAME.pdf.\n"
    "  OUT.svg: one SVG file per page (several pages need OUT-%d.svg, or a folder: DIR/NAME-N.svg);\n"
    "  OUT.html: one self-contained file that shows the pages in a web browser.\n"
    "  --title TEXT   the HTML viewer's title (default: the input file's name)\n"
    "  --lang CODE    the language of the pages' text in the HTML (default en)\n"
    "  --manifest F   list each finished PDF in F (key,file,pages,bytes,sha256; the key is FILE as\n"
    "                 given); --resume and --shard write DIR/manifest.csv (manifest.I-of-N.csv) unless\n"
    "                 --manifest names one\n"
    "  --resume       leave out the files whose PDF the manifest lists, there and whole\n"
    "  --shard I/N    convert only the files whose stable hash is I modulo N (as qrptool report\n"
    "                 --burst shards keys; auto and auto/N from Slurm or Kubernetes)\n"
    "  --keep-going   a page that cannot be drawn becomes an empty page (named on stderr, exit status 1)\n"
    "                 instead of stopping the conversion\n"
    "  -j N           threads that decode pages ahead (default: the number of cores)\n",
    Run};

} // namespace pagimo::tools
