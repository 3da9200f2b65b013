#pragma once
// The printer object: the installed printers, the one selected, its mode, its device capabilities
// and the document and page brackets of a print job. Backed by Qt's printer support, which talks to
// CUPS: the printer's resolution, papers and margins come from Qt; a document is drawn into a PDF of
// the printer's page layout and submitted to the queue with job options that follow the mode (paper,
// copies, collation, duplex, paper source), so that an aborted document never reaches the printer.
//
// Needs a QGuiApplication (fonts and the print support plugin live there).

#include "platform/printing/DevMode.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QPainter;
class QPrinter;

#include <QPrinter>

namespace pagimo::printing {

// One installed printer as the system describes it.
struct TPrinterInfo {
    std::string Name;
    std::string Description;
    std::string MakeAndModel;
    bool IsDefault = false;
};

class TPrinter {
public:
    // Selects the system's default printer (or the first one when no default is set).
    TPrinter();
    // The same, choosing among printers another object has already listed: no request to the
    // print system (a report run makes one of these per document; a burst makes thousands).
    explicit TPrinter(const std::vector<TPrinterInfo>& printers);
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // The installed printers, read when the object was made (or at Refresh).
    const std::vector<TPrinterInfo>& Printers() const { return FPrinters; }
    void Refresh();

    // Index into Printers of the selected printer; -1 when none is installed. Setting -1 selects
    // the default printer; another index outside the list throws EQRError. Selecting a printer
    // drops the mode, so the next GetPrinter returns that printer's default mode.
    int PrinterIndex() const { return FIndex; }
    void SetPrinterIndex(int index);

    // The selected printer's names and mode. The device name is the queue name; the driver is the
    // make and model; the port is the queue's device. The handle stays shared: changes made
    // through it show in the next device context, as do modes handed over with SetPrinter.
    void GetPrinter(std::string& device, std::string& driver, std::string& port, TDevModeHandle& mode);
    // Selects the printer named device (unknown names are ignored) and installs mode; a null mode
    // makes the printer fetch its default mode when it next needs one.
    void SetPrinter(const std::string& device, const std::string& driver, const std::string& port, TDevModeHandle mode);

    // Capabilities of the selected printer under the current mode (paper and orientation). The
    // printable area's offset and size come from the printer's margins; 0 without a printer.
    int GetDeviceCaps(int index);
    // DC_PAPERS: the paper codes the printer offers; DC_BINS: the bin codes. Empty without a printer.
    std::vector<int16_t> DeviceCapabilities(int capability);

    // Document brackets. BeginDoc applies the mode to the job and starts its first page; NewPage
    // ends a page and starts the next; EndDoc ends the last page and submits the job; Abort drops
    // the job unsent. BeginDoc without a printer (and without an output file) throws EQRError.
    void SetTitle(const std::string& title) { FTitle = title; }
    const std::string& Title() const { return FTitle; }
    void BeginDoc();
    void NewPage();
    void EndDoc();
    void Abort();
    bool Printing() const { return FPainter != nullptr; }
    bool Aborted() const { return FAborted; }
    int PageNumber() const { return FPageNumber; }
    // The painter of the current page; its origin is the printable area's top-left corner and its
    // unit one device pixel (LOGPIXELSX per inch). Null while no document is open.
    QPainter* Canvas() const { return FPainter.get(); }

    // Sends the next documents into a PDF file instead of a printer queue (empty: the queue again).
    void SetOutputFileName(const std::string& fileName) { FOutputFileName = fileName; }
    // The CUPS job id of the last document submitted to a queue, 0 when not known.
    int LastJobId() const { return FLastJobId; }

private:
    QPrinter& Device();
    void EnsureMode();
    void ApplyMode(QPrinter& printer) const;
    std::vector<std::pair<std::string, std::string>> JobOptions() const;
    std::string Target() const;
    void ReleaseDocument();
    void SetList(std::vector<TPrinterInfo> printers);
    // Ends a document whose file could not be written whole, and raises the error saying so.
    [[noreturn]] void SpoolFailed();

    std::vector<TPrinterInfo> FPrinters;
    int FIndex = -1;
    TDevModeHandle FMode;
    std::unique_ptr<QPrinter> FDevice;   // the queue: capabilities and page layout
    std::unique_ptr<QPrinter> FDocument; // the open document, drawn into FSpoolFile
    std::unique_ptr<QPainter> FPainter;
    std::string FSpoolFile;
    std::string FTitle;
    std::string FOutputFileName;
    bool FAborted = false;
    int FPageNumber = 0;
    int FLastJobId = 0;
};

// The application-wide printer object, made on first use and kept until the program ends.
TPrinter& Printer();

// The paper the user's locale prefers when no printer says otherwise: DMPAPER_A4 under metric
// measurement (LC_MEASUREMENT), DMPAPER_LETTER under U.S. measurement.
int16_t LocaleDefaultPaper();

// The DEVMODE duplex codes and Qt's duplex modes, both ways.
QPrinter::DuplexMode DuplexOf(int16_t dmDuplex);
int16_t DmDuplexOf(QPrinter::DuplexMode mode);

} // namespace pagimo::printing
