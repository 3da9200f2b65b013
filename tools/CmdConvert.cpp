// qrptool convert: pages to a vector PDF, one PDF page per page at the page's own size; several files
// in one process with --out-dir.

#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "tools/Batch.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/PdfConversion.h"
#include "tools/Progress.h"

#include <cstdio>
#include <filesystem>
#include <optional>

namespace pagimo::tools {

namespace {

// Returns the number of pages converted; counts them on a progress line when showPages.
int64_t Convert(const std::string& input, const std::string& output, int jobs, TDamagePolicy& damage, bool showPages) {
    RefuseInputAsOutput({input}, output);
    std::unique_ptr<pagestore::TPageDocument> document = OpenDocument(input);
    const int32_t count = document->PageCount();
    document = Prefetch(std::move(document), input, jobs, 1, count);
    std::optional<TProgress> progress;
    if (showPages) {
        progress.emplace("qrptool convert", "pages", count);
        document = CountedPages(std::move(document), *progress, 1);
    }
    WritePdf(*document, output, damage);
    if (progress) progress->Update(count);
    return count;
}

int Run(TArgs& args) {
    const bool keepGoing = args.Flag("--keep-going");
    const auto outDir = args.Option("--out-dir");
    const int jobs = JobsOption(args);
    const TBatchOptions batch = TBatchOptions::Take(args);
    const auto files = args.Positionals();
    EnsureGuiApplication();
    TDamagePolicy damage("convert", keepGoing);
    if (!outDir) {
        if (files.size() != 2) throw EUsage{"input file and output PDF expected (or --out-dir DIR with inputs)"};
        if (batch.Listed) throw EUsage{"--manifest, --resume and --shard go with --out-dir"};
        Convert(files[0], files[1], jobs, damage, true);
        return damage.ExitStatus();
    }
    if (files.empty()) throw EUsage{"--out-dir needs input files"};
    if (!std::filesystem::is_directory(*outDir)) throw EQRError("Folder " + *outDir + " does not exist");
    // Every file is tried; each that fails is named, and the status says whether any did.
    std::vector<TBatchItem> items;
    for (const std::string& input : files)
        items.push_back(
            {input, (std::filesystem::path(*outDir) / std::filesystem::path(input).filename().replace_extension(".pdf"))
                        .string()});
    const int status = RunBatch("convert", items, batch, *outDir, true, [&](const TBatchItem& item) {
        return Convert(item.Key, item.Output, jobs, damage, false);
    });
    return damage.ExitStatus() == ExitOk ? status : ExitFailure;
}

} // namespace

extern const TCommand CmdConvert = {
    "convert", "convert pages to a vector PDF",
    "usage: qrptool convert FILE OUT.pdf [--keep-going] [-j N]\n"
    "       qrptool convert FILE... --out-dir DIR [--keep-going] [-j N] [--manifest FILE] [--resume]\n"
    "                       [--shard I/N|auto|auto/N]\n"
    "  FILE is a QRP file or an .emf file; one PDF page per page, at its own size. OUT.pdf '-' writes\n"
    "  to standard output; with --out-dir each FILE becomes DIR/NAME.pdf.\n"
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
