// qrptool convert: pages to a vector PDF, one PDF page per page at the page's own size.

#include "tools/Commands.h"
#include "tools/PageSource.h"
#include "tools/PdfConversion.h"

namespace pagimo::tools {

namespace {

int Run(TArgs& args) {
    const auto files = args.Positionals();
    if (files.size() != 2) throw EUsage{"input file and output PDF expected"};
    EnsureGuiApplication();
    auto source = TPageSource::Open(files[0]);
    WritePdf(*source, files[1]);
    return ExitOk;
}

} // namespace

extern const TCommand CmdConvert = {"convert", "convert pages to a vector PDF",
                                    "usage: qrptool convert FILE OUT.pdf\n"
                                    "  FILE is a QRP file or an .emf file; one PDF page per page, at its own size.\n",
                                    Run};

} // namespace pagimo::tools
