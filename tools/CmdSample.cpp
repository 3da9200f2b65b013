// qrptool sample: writes a QRP file of synthetic pages, for trying the tools and the viewer.

#include "pagestore/PageList.h"
#include "tools/Commands.h"
#include "tools/SamplePages.h"

#include <cstdio>

namespace pagimo::tools {

namespace {

int RunSample(TArgs& args) {
    const bool compress = args.Flag("--compress");
    const auto pagesOption = args.Option("--pages");
    const int pages = pagesOption ? ParseInt(*pagesOption, "--pages") : 3;
    if (pages < 0 || pages > 1000000) throw EUsage{"--pages must be between 0 and 1000000"};
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{files.empty() ? "no output file given" : "one output file only"};

    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    list.SetCompressed(compress);
    for (int n = 1; n <= pages; ++n)
        list.StorePage(TSamplePageWriter::Picture(n, 10 + n % 15));
    list.CloseRecording();
    list.CopyToFile(files[0]);
    return ExitOk;
}

} // namespace

extern const TCommand CmdSample = {
    "sample", "write a QRP file of synthetic pages",
    "usage: qrptool sample OUT.qrp [--pages N] [--compress]\n\n"
    "Writes N (default 3) synthetic A4 pages of text lines, rules and boxes as a QRP file.\n\n"
    "  --pages N    number of pages\n"
    "  --compress   splay-code the page bodies\n",
    RunSample};

} // namespace pagimo::tools
