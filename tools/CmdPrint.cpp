// qrptool print: prints a QRP file's stored pages through a report printer, the options applied
// through the printer settings as the viewer's print path applies them.

#include "platform/printing/DevMode.h"
#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"
#include "printer/QRPrinter.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"
#include "tools/Progress.h"

#include <cstdio>
#include <filesystem>

namespace pagimo::tools {

namespace {

using namespace pagimo::printer;

int Run(TArgs& args) {
    const auto printerName = args.Option("-P");
    const auto pages = args.Option("--pages");
    const auto copies = args.Option("--copies");
    const auto paper = args.Option("--paper");
    const auto bin = args.Option("--bin");
    const bool landscape = args.Flag("--landscape");
    const bool duplex = args.Flag("--duplex");
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{"print takes one QRP file"};

    std::pair<int, int> range{0, 0};
    if (pages) range = ParsePageRange(*pages, "--pages");
    int copyCount = 1;
    if (copies) {
        copyCount = ParseInt(*copies, "--copies");
        if (copyCount < 1 || copyCount > 999) throw EUsage{"--copies takes 1 to 999"};
    }
    TQRPaperSize paperSize = TQRPaperSize::Default;
    if (paper && !PaperSizeFromName(*paper, paperSize)) throw EUsage{"unknown paper " + *paper};
    TQRBin outputBin = TQRBin::Auto;
    if (bin && !BinFromName(*bin, outputBin)) throw EUsage{"unknown bin " + *bin};

    EnsureGuiApplication();
    TQRPrinter p;
    if (!p.HasPrinters()) throw EQRError("No printer is installed");
    if (printerName) {
        const auto& printers = p.Device().Printers();
        int index = -1;
        for (size_t i = 0; i < printers.size(); ++i) {
            if (printers[i].Name == *printerName) index = static_cast<int>(i);
        }
        if (index < 0) throw EQRError("Printer " + *printerName + " is not installed");
        p.SelectPrinter(index);
    }
    if (duplex) {
        // Two-sided printing is the printer's mode, as a print dialog would set it; the settings
        // read it from there and pass it on.
        std::string device, driver, port;
        printing::TDevModeHandle mode;
        p.Device().GetPrinter(device, driver, port, mode);
        if (!mode || !(mode->dmFields & printing::DM_DUPLEX)) throw EQRError(device + " does not print two-sided");
        mode->dmDuplex = printing::DMDUP_VERTICAL;
        p.Settings().ReadSettings();
    }

    p.OpenReportFile(files[0]);
    p.SetDocumentTitle(std::filesystem::path(files[0]).filename().string());
    if (paper) {
        p.SetPaperSize(paperSize);
        if (p.PaperSize() != paperSize) {
            std::fprintf(stderr, "qrptool print: %s does not offer paper %s; printing on %s\n",
                         p.Settings().DeviceName().c_str(), paper->c_str(), PaperInfo(p.PaperSize()).Name);
        }
    }
    if (landscape) p.SetOrientation(poLandscape);
    if (copies) p.SetCopies(copyCount);
    if (bin) p.SetOutputBin(outputBin);
    p.SetFirstPage(range.first);
    p.SetLastPage(range.second);
    if (range.first > p.DeclaredPages()) {
        throw EQRError("the file has " + std::to_string(p.DeclaredPages()) + " pages; nothing to print");
    }
    TProgress progress("qrptool print", "pages");
    p.PagePrintedHook = [&progress](int32_t page, int32_t first, int32_t last) {
        progress.SetTotal(last - first + 1);
        progress.Update(page - first + 1);
    };
    p.Print();
    progress.Finish();
    const int job = p.Device().LastJobId();
    if (job <= 0) throw EQRError("nothing was printed");
    std::printf("%s-%d\n", p.Settings().DeviceName().c_str(), job);
    return ExitOk;
}

} // namespace

extern const TCommand CmdPrint{
    "print", PrintSummary,
    "usage: qrptool print FILE.qrp [-P PRINTER] [--pages A-B] [--copies N] [--paper NAME] [--landscape]\n"
    "                      [--duplex] [--bin NAME]\n\n"
    "Prints the stored pages, each stretched onto the printable area of the paper. The paper and its\n"
    "orientation are detected from page 1 unless given. Every chosen page is checked first: when one\n"
    "cannot be drawn nothing is sent. Prints the job id (QUEUE-ID) on success.\n"
    "  -P PRINTER     a queue of 'qrptool printers' (default: the default printer)\n"
    "  --pages A-B    a page range (or one page)\n"
    "  --copies N     copies, made by the printer\n"
    "  --paper NAME   A4, Letter, Legal, A3, A5, Env10 ... (as the printer offers them)\n"
    "  --landscape    landscape orientation\n"
    "  --duplex       two-sided\n"
    "  --bin NAME     paper source: First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto,\n"
    "                 Tractor, SmallFormat, LargeFormat, LargeCapacity, Cassette\n",
    Run};

} // namespace pagimo::tools
