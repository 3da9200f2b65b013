#pragma once
// The print dialog: Qt's print dialog run on the application-wide printer object, handing back the
// chosen printer with its mode, the page range, the copies, collation and print-to-file.
//
// Three layers as in the report library: TQRCommonDialog runs a dialog task-modally (every other
// window of the program disabled while it is open) and raises OnShow and OnClose; TQRBasePrintDialog
// hands the printer to the dialog and takes it back; TQRPrintDialog is the print dialog itself.

#include "printer/PrintDialogFlags.h"
#include "printer/PrinterSettings.h"

#include "platform/printing/DevMode.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

class QDialog;
class QPrinter;
class QWidget;

namespace pagimo::printing {
class TPrinter;
}

namespace pagimo::printer {

class TQRCommonDialog : public QObject {
public:
    explicit TQRCommonDialog(QObject* owner = nullptr);

    bool Ctl3D = true;       // accepted and kept; has no effect here
    int32_t HelpContext = 0; // kept for the forms that set it; there is no help system to open
    std::function<void(TQRCommonDialog& sender)> OnShow;
    std::function<void(TQRCommonDialog& sender)> OnClose;

    // The dialog window while it is open, else none.
    QDialog* Handle() const { return FHandle; }

    virtual bool ShowDialog() = 0;

protected:
    // Runs dialog modally with every other top-level window of the program disabled; places it
    // centred across and one third down the screen when it is first shown; afterwards (also after a
    // failure) re-enables those windows and reactivates the window that was active. True when the
    // dialog was accepted.
    bool TaskModal(QDialog& dialog);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QDialog* FHandle = nullptr;
};

class TQRBasePrintDialog : public TQRCommonDialog {
public:
    explicit TQRBasePrintDialog(QObject* owner = nullptr);

    printing::TPrinter* TargetPrinter = nullptr; // the application-wide printer object

protected:
    // Read from TargetPrinter before the dialog runs; the driver and port go back unchanged.
    std::string FDevice, FDriver, FPort;
    printing::TDevModeHandle FMode;
};

class TQRPrintDialog : public TQRBasePrintDialog {
public:
    explicit TQRPrintDialog(QObject* owner = nullptr);

    bool Collate = false;
    int32_t FromPage = 0, ToPage = 0;
    int32_t MinPage = 0, MaxPage = 0;
    TPrintDialogOptions Options;
    bool PrintToFile = false;
    TPrintRange PrintRange = prAllPages;
    // Above 0: the dialog offers "Current page" too, which comes back as the range of that one page.
    int32_t CurrentPage = 0;
    // The file offered for print to file (empty: Qt's choice); confirmed with print to file, the file
    // chosen, and the printer object is left as it was.
    std::string FileName;

    int32_t Copies() const { return FCopies; }
    // Also writes the count into TargetPrinter's mode: raises "Operation not supported on selected
    // printer" when it has none and "Printing in progress" while it prints.
    void SetCopies(int32_t value);

    // Runs the dialog; on confirmation TargetPrinter is switched to the chosen printer and mode and
    // the properties above hold the choices. Cancelling changes nothing. True when confirmed.
    bool ShowDialog() override;

    // Seen by tests and screenshots: runs with the dialog, before it is shown.
    std::function<void(QDialog& dialog, QPrinter& printer)> OnPrepared;

private:
    int32_t FCopies = 0;
};

class TQRPrinter;
class TQRPrinterSettings;

// A report's printer setup through the dialog, on the application-wide printer object: starts from the
// driver's default mode of the report's printer, offers pages 0..9999 (1..PageTotal, all preset, when
// the report's printer holds finished pages), the page orientation and the report's copies. Confirmed,
// the report takes back the copies, the printer number, the orientation and the page range (0..0 for
// all pages and for a selection); cancelled, nothing changes. Returns whether it was confirmed (the
// report's Tag is 0 then, else 1).
bool ReportPrintSetup(TQRPrinterSettings& settings, TPrinterOrientation& pageOrientation,
                      const TQRPrinter* reportPrinter, QObject* owner = nullptr);

// A print of stored pages into a PDF file, as the print dialog chose it: the file and pages first..last.
// The file given is the one the dialog offers.
struct TPrintToFile {
    std::string FileName;
    int32_t First = 1, Last = 0;
    bool Chosen = false; // the dialog chose the file rather than a printer
};

// Printer setup for stored pages (a loaded QRP file), through the dialog on the application-wide
// printer object: it starts from the report printer's own printer and mode, offers pages
// 1..DeclaredPages (the report printer's range preset), its copies, collation and two-sided printing,
// and with currentPage above 0 "Current page". Confirmed, the report printer takes the chosen printer
// with its mode, the copies and the range (0..0 for all pages); the paper and orientation stay those
// detected from the file. Cancelled, nothing changes. Returns whether it was confirmed.
// With toFile the dialog offers print to file as well (also when no printer is installed); chosen,
// toFile holds the file and the range, and the report printer is left as it was.
bool StoredPagesPrintSetup(TQRPrinter& reportPrinter, QObject* owner = nullptr, int32_t currentPage = 0,
                           TPrintToFile* toFile = nullptr);

// The mode a printer of Qt's describes (paper, orientation, copies, collation, duplex), starting from
// base (the fields Qt has no say in, such as the bin, are kept).
printing::TDevMode ModeFromQt(const QPrinter& printer, const printing::TDevMode& base);
// Applies a mode to a printer of Qt's before its dialog shows it.
void ApplyModeToQt(const printing::TDevMode& mode, QPrinter& printer);

} // namespace pagimo::printer
