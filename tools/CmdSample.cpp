// qrptool sample: writes a QRP file of synthetic pages, for trying the tools and the viewer.

#include "pagestore/PageList.h"
#include "platform/gdi/MetafileCanvas.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"

#include <cstdio>
#include <string>

namespace pagimo::tools {

namespace {

// One A4 page (794 x 1123 screen pixels) of a small ledger, recorded like a report page: a title,
// column headings, rows with right-aligned amounts, a subtotal and a page footer.
using namespace gdi;

emf::TEmfPicture SamplePage(int page, int pageCount) {
    gdi::TMetafileCanvas canvas(794, 1123);
    canvas.SetBkMode(TRANSPARENT);
    canvas.Font.Name = "Arial";
    canvas.Font.Height = -21;
    canvas.Font.Weight = FW_BOLD;
    canvas.TextOut(60, 50, "Přehled plateb / Payment ledger");
    canvas.Font.Height = -13;
    canvas.Font.Weight = FW_NORMAL;
    canvas.TextOut(60, 82, "Sample report written by qrptool sample");
    canvas.Pen.Width = 2;
    canvas.MoveTo(60, 110);
    canvas.LineTo(734, 110);
    canvas.Pen.Width = 1;
    canvas.Font.Weight = FW_BOLD;
    canvas.TextOut(60, 118, "No.");
    canvas.TextOut(120, 118, "Customer");
    canvas.SetTextAlign(TA_RIGHT | TA_TOP);
    canvas.TextOut(734, 118, "Amount");
    canvas.SetTextAlign(TA_LEFT | TA_TOP);
    canvas.Font.Weight = FW_NORMAL;
    static const char* const customers[] = {"Šťastný a syn, s.r.o.", "Northwind Traders", "Žluťoučký kůň a.s.",
                                            "Blue Harbour Ltd.", "Dvořák & Novák", "Ørsted Supplies"};
    long long total = 0;
    int y = 142;
    for (int row = 0; row < 40; ++row, y += 22) {
        const int number = (page - 1) * 40 + row + 1;
        const long long cents = (number * 7919LL) % 250000 + 1000;
        total += cents;
        if (row % 2 == 1) {
            canvas.Brush.Color = Rgb(238, 242, 248);
            canvas.FillRect(60, y - 2, 734, y + 20);
        }
        canvas.TextOut(60, y, std::to_string(number));
        canvas.TextOut(120, y, customers[number % 6]);
        canvas.SetTextAlign(TA_RIGHT | TA_TOP);
        canvas.TextOut(734, y, std::to_string(cents / 100) + "." + std::to_string(cents % 100 / 10) +
                                   std::to_string(cents % 10));
        canvas.SetTextAlign(TA_LEFT | TA_TOP);
    }
    canvas.MoveTo(500, y + 4);
    canvas.LineTo(734, y + 4);
    canvas.Font.Weight = FW_BOLD;
    canvas.TextOut(500, y + 10, "Page total");
    canvas.SetTextAlign(TA_RIGHT | TA_TOP);
    canvas.TextOut(734, y + 10, std::to_string(total / 100) + "." + std::to_string(total % 100 / 10) +
                                    std::to_string(total % 10));
    canvas.Font.Weight = FW_NORMAL;
    canvas.Font.Height = -11;
    canvas.SetTextAlign(TA_CENTER | TA_TOP);
    canvas.TextOut(397, 1070, "Page " + std::to_string(page) + " of " + std::to_string(pageCount));
    canvas.Brush.Style = BS_NULL;
    canvas.Rectangle(40, 30, 754, 1095);
    return canvas.Finish();
}

int RunSample(TArgs& args) {
    const bool compress = args.Flag("--compress");
    const auto pagesOption = args.Option("--pages");
    const int pages = pagesOption ? ParseInt(*pagesOption, "--pages") : 3;
    if (pages < 0 || pages > 1000000) throw EUsage{"--pages must be between 0 and 1000000"};
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{files.empty() ? "no output file given" : "one output file only"};

    EnsureGuiApplication(); // text is measured with the real fonts
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    list.SetCompressed(compress);
    for (int n = 1; n <= pages; ++n)
        list.StorePage(SamplePage(n, pages));
    list.CloseRecording();
    list.CopyToFile(files[0]);
    return ExitOk;
}

} // namespace

extern const TCommand CmdSample = {
    "sample", "write a QRP file of synthetic pages",
    "usage: qrptool sample OUT.qrp [--pages N] [--compress]\n\n"
    "Writes N (default 3) A4 pages of a sample ledger (text, rules, shaded rows) as a QRP file.\n\n"
    "  --pages N    number of pages\n"
    "  --compress   splay-code the page bodies\n",
    RunSample};

} // namespace pagimo::tools
