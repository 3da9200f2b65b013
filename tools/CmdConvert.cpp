// qrptool convert: pages to a vector PDF, one PDF page per page at the page's own size; several files
// in one process with --out-dir.

#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/PdfConversion.h"
#include "tools/ProcessLimits.h"

#include <cstdio>
#include <filesystem>
#include <map>

namespace pagimo::tools {

namespace {

void Convert(const std::string& input, const std::string& output, int jobs, TDamagePolicy& damage) {
    RefuseInputAsOutput({input}, output);
    std::unique_ptr<pagestore::TPageDocument> document = OpenDocument(input);
    const int32_t count = document->PageCount();
    document = Prefetch(std::move(document), input, jobs, 1, count);
    WritePdf(*document, output, damage);
}

int Run(TArgs& args) {
    const bool keepGoing = args.Flag("--keep-going");
    const auto outDir = args.Option("--out-dir");
    const int jobs = JobsOption(args);
    LimitsOption(args, "convert");
    const auto files = args.Positionals();
    EnsureGuiApplication();
    TDamagePolicy damage("convert", keepGoing);
    if (!outDir) {
        if (files.size() != 2) throw EUsage{"input file and output PDF expected (or --out-dir DIR with inputs)"};
        Convert(files[0], files[1], jobs, damage);
        return damage.ExitStatus();
    }
    if (files.empty()) throw EUsage{"--out-dir needs input files"};
    if (!std::filesystem::is_directory(*outDir)) throw EQRError("Folder " + *outDir + " does not exist");
    // Two inputs of one name (in different folders, or the same file twice) would write one output,
    // the second replacing the first: refused before anything is written.
    std::map<std::string, std::string> outputs;
    for (const std::string& input : files) {
        const std::string name = std::filesystem::path(input).filename().replace_extension(".pdf").string();
        if (const auto [at, fresh] = outputs.emplace(name, input); !fresh)
            throw EQRError(at->second + " and " + input + " would both be written to " +
                           (std::filesystem::path(*outDir) / name).string() + "; nothing was converted");
    }
    // Every file is tried; each that fails is named, and the status says whether any did.
    int status = ExitOk;
    for (const std::string& input : files) {
        const std::filesystem::path output =
            std::filesystem::path(*outDir) / std::filesystem::path(input).filename().replace_extension(".pdf");
        try {
            Convert(input, output.string(), jobs, damage);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qrptool convert: %s\n", e.what());
            status = ExitFailure;
        }
    }
    return damage.ExitStatus() == ExitOk ? status : ExitFailure;
}

} // namespace

extern const TCommand CmdConvert = {
    "convert", "convert pages to a vector PDF",
    "usage: qrptool convert FILE OUT.pdf [--keep-going] [-j N]\n"
    "       qrptool convert FILE... --out-dir DIR [--keep-going] [-j N]\n"
    "  FILE is a QRP file or an .emf file; one PDF page per page, at its own size. OUT.pdf '-' writes\n"
    "  to standard output; with --out-dir each FILE becomes DIR/NAME.pdf.\n"
    "  --keep-going   a page that cannot be drawn becomes an empty page (named on stderr, exit status 1)\n"
    "                 instead of stopping the conversion\n"
    "  -j N           threads that decode pages ahead (default: the number of cores)\n"
    "  Inputs of one name (a/x.qrp and b/x.emf) are refused with --out-dir, as they would write one file.\n"
    "  --no-limits    lift the limits the command sets itself before reading FILE (on by default,\n"
    "                 --limits): 1 GB of address space, 10 s of processor time per page, no core\n"
    "                 file; QRPTOOL_LIMITS=memory=MB,cpu=SECONDS changes them\n",
    Run};

} // namespace pagimo::tools
