#pragma once
// TQRPrinter: the report printer through which every page is drawn, recorded, previewed and printed.
//
// A report opens a document on it (StartDocument), begins each page with NewPage, draws on PageCanvas
// at positions converted by DeviceX/DeviceY/DeviceWidth/DeviceHeight from tenths of a millimetre, and
// finishes the document. With Output okPages each page becomes an enhanced-metafile picture at screen
// resolution (96 pixels per inch) stored in the page list; with okPrinter pages inside the print range
// go straight to the printer and the others into pictures that are thrown away. Finished pages (or a
// loaded QRP file) can be printed as stored pictures (Print), saved (SaveReportFile) or exported.
//
// Single-threaded: everything runs on the user-interface thread. Notifications are QEvents (see
// Messages.h) posted to NotifyWindow and ReportWindow, which are any QObjects and are tracked: a window
// that is destroyed is simply no longer notified.
//
// Errors are EQRError with the system's texts: "QRPrinter not ready", "Illegal call to NewPage",
// and those of the page list and the printer layer.

#include "printer/ExportFilter.h"
#include "printer/Messages.h"
#include "printer/PreviewInterface.h"
#include "printer/PrinterSettings.h"
#include "printer/ReportWindow.h"

#include "platform/emf/EmfPicture.h"
#include "platform/system/Rnd.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pagimo::gdi {
class TCanvas;
class TMetafileCanvas;
class TPainterCanvas;
} // namespace pagimo::gdi

namespace pagimo::pagestore {
class TPageDocument;
class TQRPageList;
class TQRStream;
} // namespace pagimo::pagestore

namespace pagimo::printing {
class TPrinter;
}

namespace pagimo::printer {

enum TQROutputKind { okPages = 0, okPrinter = 1 };
enum TQRJobState { jsReady = 0, jsBusy = 1, jsFinished = 2 };

// The memory limit of a recording's page stream; beyond it the pages move to a temporary file.
constexpr int32_t PageStreamMemoryLimit = 100000;

class TQRPrinter {
public:
    // A callback whose argument is the sender (this printer, or the clicked button for PrintSetup).
    using TNotifyEvent = std::function<void(TQRPrinter& sender)>;
    using TSetupEvent = std::function<void(QObject* sender)>;
    using TExportEvent = std::function<void(TQRExporter& filter)>;

    // Reads the settings of the system's default printer (or the application-wide printer object's
    // selection) when printers are installed.
    TQRPrinter();
    // Resets a document still open, then tells a NotifyWindow that implements TQRNotifyWindow.
    ~TQRPrinter();
    TQRPrinter(const TQRPrinter&) = delete;
    TQRPrinter& operator=(const TQRPrinter&) = delete;

    // Document and pages.
    void StartDocument();  // raises "QRPrinter not ready" unless jsReady
    void NewPage();        // raises "Illegal call to NewPage" unless jsBusy
    void FinishDocument(); // ignored unless jsBusy
    void AbortDocument();  // any state; keeps recorded pages (okPages), discards the job (okPrinter)
    void RequestCancel() { FCancelRequested = true; }
    // Cancels a running document, drops the page stream and all pages; jsReady afterwards.
    void Reset();

    // The canvas of the open page (a recording canvas or the printer's); none while no page is open.
    gdi::TCanvas* PageCanvas() const { return FPageCanvas; }

    // Tenths of a millimetre from the sheet's top-left corner to device units, halves to even.
    int32_t DeviceX(Extended x) const { return Rnd((x - FOriginLeft) * FScaleX); }
    int32_t DeviceY(Extended y) const { return Rnd((y - FOriginTop) * FScaleY); }
    int32_t DeviceWidth(Extended w) const { return Rnd(w * FScaleX); }
    int32_t DeviceHeight(Extended h) const { return Rnd(h * FScaleY); }
    // The sheet with the orientation applied, in tenths of a millimetre.
    int32_t OrientedWidth() const;
    int32_t OrientedLength() const;

    // Page n (1..PageTotal) as a new picture owned by the caller; none for a page that does not
    // exist or is not stored yet, and in jsReady.
    std::unique_ptr<emf::TEmfPicture> FetchPage(int32_t n);
    // The same, checked as drawing needs it (printer/StoredPageExport.h): a stored page that cannot be
    // drawn gives none and its reason; a page that is not stored yet gives none and no reason.
    std::unique_ptr<emf::TEmfPicture> FetchPage(int32_t n, std::string& reason);

    // Preview.
    void ShowPreview();
    // Sends MsgPreviewClosed to ReportWindow; its handler may destroy this printer, so the caller
    // must not touch the printer after this returns.
    void PreviewClosed(QObject* closingWindow);
    bool PreviewShown() const { return FPreviewShown; }
    // Turning it off cancels a running generation and runs AfterPreviewHook.
    void SetPreviewShown(bool value);

    // Printing the finished pages: asks the report to print again (MsgPrintReport) unless the pages
    // were loaded from a file; otherwise plays the stored pages of the range onto the printer, each
    // scaled to fit the printable area with its aspect kept (a page is never stretched).
    void Print();
    void PrintSetup(QObject* sender);
    // Selects printer n of the installed ones (-1: the default) and reads its settings afresh.
    void SelectPrinter(int32_t n);

    // File operations.
    // Opens the QRP file in place of the current pages, detecting the paper size from page 1. The file
    // is checked first (its header, and the record chain walked to its end): a file that cannot be
    // opened or offers no page that can be reached raises "Cannot open file %s" or the page list's
    // error and leaves the current pages as they were. A file whose chain breaks after some pages opens
    // with the pages before the break (PageTotal) and says why in OpenProblem.
    void OpenReportFile(const std::string& fileName);
    // Empty, or why a loaded file shows fewer pages than it declares, in the system's words.
    const std::string& OpenProblem() const { return FOpenProblem; }
    // The pages a loaded file declares (PageTotal for recorded pages).
    int32_t DeclaredPages() const { return FLoadedFromFile ? FDeclaredPages : FPageTotal; }
    // The stored pages as a page document (the page list): what the preview, thumbnails, printing and
    // export read. Shared, so that a page drawn on a worker outlives a document replaced meanwhile;
    // loading a file replaces it, so it is asked for afresh rather than kept.
    std::shared_ptr<pagestore::TPageDocument> Document() const;
    // Checks pages first..last (0: the last declared page) before anything is written or sent; raises
    // EQRError("Page N cannot be drawn: REASON") for the first that cannot be drawn.
    void CheckPages(int32_t first, int32_t last);
    // Saves the pages as a QRP file (atomically: an old file is replaced only when the copy is
    // complete); only in jsFinished, otherwise nothing happens.
    void SaveReportFile(const std::string& fileName);
    // Pages a report generated are exported by running the report again (ExportHook); pages loaded
    // from a file, and filters that take whole pages, are exported from the stored pages
    // (printer/StoredPageExport.h). Nothing happens while pages are still being generated.
    void ExportPages(TQRExporter& filter);

    // State.
    TQROutputKind Output() const { return FOutput; }
    void SetOutput(TQROutputKind value) { FOutput = value; }
    TQRJobState JobState() const { return FJobState; }
    int32_t PageTotal() const { return FPageTotal; }
    int32_t PagesAvailable() const { return FPagesAvailable; }
    void SetPagesAvailable(int32_t value); // posts MsgPageAvailable to NotifyWindow
    int32_t Progress() const { return FProgress; }
    void SetProgress(int32_t value); // posts MsgProgressUpdate to NotifyWindow
    bool CancelRequested() const { return FCancelRequested; }
    const std::string& DocumentTitle() const { return FDocumentTitle; }
    void SetDocumentTitle(const std::string& value) { FDocumentTitle = value; }
    int32_t FirstPage() const { return FFirstPage; }
    void SetFirstPage(int32_t value) { FFirstPage = value; }
    int32_t LastPage() const { return FLastPage; }
    void SetLastPage(int32_t value) { FLastPage = value; }
    Extended ScaleX() const { return FScaleX; }
    Extended ScaleY() const { return FScaleY; }
    int32_t OriginLeft() const { return FOriginLeft; }
    int32_t OriginTop() const { return FOriginTop; }
    bool HasPrinters() const { return FHasPrinters; }
    bool LoadedFromFile() const { return FLoadedFromFile; }
    // The loaded file's name, empty for generated pages.
    const std::string& FileName() const { return FFileName; }
    void SetCompressed(bool value);

    QObject* NotifyWindow() const { return FNotifyWindow; }
    void SetNotifyWindow(QObject* window) { FNotifyWindow = window; }
    QObject* ReportWindow() const { return FReportWindow; }
    void SetReportWindow(QObject* window) { FReportWindow = window; }

    // Hooks (empty: not set).
    TNotifyEvent PreviewHandler;
    TNotifyEvent AfterPreviewHook;
    TNotifyEvent AfterPrintHook;
    TSetupEvent PrintSetupHook;
    TExportEvent ExportHook;
    // Print of stored pages: after each page has gone to the device (page, of the first..last range).
    std::function<void(int32_t page, int32_t first, int32_t last)> PagePrintedHook;

    // Paper properties, forwarded to Settings through its guarded setters.
    TQRPaperSize PaperSize() const;
    void SetPaperSize(TQRPaperSize value);
    TPrinterOrientation Orientation() const;
    void SetOrientation(TPrinterOrientation value);
    int32_t Copies() const;
    void SetCopies(int32_t value);
    TQRBin OutputBin() const;
    void SetOutputBin(TQRBin value);
    int32_t SheetWidth() const;
    void SetSheetWidth(int32_t value);
    int32_t SheetLength() const;
    void SetSheetLength(int32_t value);

    // Owned parts.
    printing::TPrinter& Device() { return *FDevice; }
    TPrinterSettings& Settings() { return *FSettings; }
    const TPrinterSettings& Settings() const { return *FSettings; }
    pagestore::TQRPageList& Pages() { return *FPages; }

private:
    bool InPrintRange() const;
    void OpenPictureCanvas();
    void ClosePictureCanvas(bool store);
    void OpenPrinterPage();
    void ClosePrinterPage();
    void SetScreenScale();
    void SetPrinterScale();

    std::unique_ptr<printing::TPrinter> FDevice;
    std::unique_ptr<TPrinterSettings> FSettings;
    std::shared_ptr<pagestore::TQRPageList> FPages;
    std::shared_ptr<pagestore::TQRStream> FPageStream;

    TQROutputKind FOutput = okPages;
    TQRJobState FJobState = jsReady;
    int32_t FPageTotal = 0;
    int32_t FPagesAvailable = 0;
    int32_t FProgress = 0;
    bool FCancelRequested = false;
    std::string FDocumentTitle;
    int32_t FFirstPage = 0, FLastPage = 0;
    Extended FScaleX = 1.0L, FScaleY = 1.0L;
    int32_t FOriginLeft = 0, FOriginTop = 0;
    bool FHasPrinters = false;
    bool FPreviewShown = false;
    bool FLoadedFromFile = false;
    std::string FFileName;
    int32_t FDeclaredPages = 0;
    std::string FOpenProblem;

    gdi::TCanvas* FPageCanvas = nullptr;
    std::unique_ptr<gdi::TMetafileCanvas> FCurrentPicture; // the page being recorded
    std::unique_ptr<gdi::TPainterCanvas> FPrinterCanvas;

    QPointer<QObject> FNotifyWindow;
    QPointer<QObject> FReportWindow;
};

} // namespace pagimo::printer
