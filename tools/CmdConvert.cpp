// qrptool convert: pages to a vector PDF, one PDF page per page at the page's own size.

#include "platform/system/OutputFile.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"
#include "tools/PdfConversion.h"

namespace pagimo::tools {

namespace {

int Run(TArgs& args) {
    const bool keepGoing = args.Flag("--keep-going");
    const auto files = args.Positionals();
    if (files.size() != 2) throw EUsage{"input file and output PDF expected"};
    RefuseInputAsOutput({files[0]}, files[1]);
    EnsureGuiApplication();
    auto source = TPageSource::Open(files[0]);
    TDamagePolicy damage("convert", keepGoing);
    WritePdf(*source, files[1], damage);
    return damage.ExitStatus();
}

} // namespace

extern const TCommand CmdConvert = {"convert", "convert pages to a vector PDF",
                                    "usage: qrptool convert FILE OUT.pdf [--keep-going]\n"
                                    "  FILE is a QRP file or an .emf file; one PDF page per page, at its own size.\n"
                                    "  OUT.pdf '-' writes to standard output.\n"
                                    "  --keep-going   a page that cannot be drawn becomes an empty page (named on\n"
                                    "                 stderr, exit status 1) instead of stopping the conversion\n",
                                    Run};

} // namespace pagimo::tools
