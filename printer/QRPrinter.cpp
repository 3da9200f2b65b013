#include "printer/QRPrinter.h"

#include "pagestore/PageList.h"
#include "pagestore/Stream.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/printing/Printer.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"
#include "printer/PagePainter.h"
#include "printer/StoredPageExport.h"

#include <QPainter>

#include <cmath>
#include <filesystem>

namespace pagimo::printer {

namespace {

// The reference device of every recorded page: a screen of 96 logical pixels per inch.
constexpr Extended ScreenScale = static_cast<Extended>(emf::ScreenPixelsPerInch) / 254;

} // namespace

TQRPrinter::TQRPrinter()
    : FDevice(std::make_unique<printing::TPrinter>(printing::Printer().Printers())),
      FSettings(std::make_unique<TPrinterSettings>()), FPages(std::make_shared<pagestore::TQRPageList>()) {
    printing::TPrinter& application = printing::Printer();
    FHasPrinters = !application.Printers().empty();
    if (FHasPrinters) {
        FSettings->SetDevice(FDevice.get());
        ProcessMessages();
        const int index = application.PrinterIndex();
        if (index >= 0 && index < static_cast<int>(FDevice->Printers().size()) && index != FDevice->PrinterIndex()) {
            FDevice->SetPrinterIndex(index);
            FSettings->ReadSettings();
        }
    }
    FOriginTop = FSettings->UnprintableTop();
    FOriginLeft = FSettings->UnprintableLeft();
}

TQRPrinter::~TQRPrinter() {
    if (FJobState != jsReady) {
        try {
            Reset();
        } catch (...) {
            // A destructor must not throw; the pages are being dropped anyway.
        }
    }
    FPageCanvas = nullptr;
    FCurrentPicture.reset();
    FPrinterCanvas.reset();
    if (FDevice->Printing()) FDevice->Abort();
    if (auto* window = dynamic_cast<TQRNotifyWindow*>(FNotifyWindow.data())) window->ReportPrinterDestroyed(*this);
}

// Coordinates and sheet.

int32_t TQRPrinter::OrientedWidth() const {
    return FSettings->Orientation() == poLandscape ? FSettings->SheetLength() : FSettings->SheetWidth();
}

int32_t TQRPrinter::OrientedLength() const {
    return FSettings->Orientation() == poLandscape ? FSettings->SheetWidth() : FSettings->SheetLength();
}

void TQRPrinter::SetScreenScale() {
    FScaleX = FScaleY = ScreenScale;
}

void TQRPrinter::SetPrinterScale() {
    FScaleX = static_cast<Extended>(FDevice->GetDeviceCaps(printing::LOGPIXELSX)) / 254;
    FScaleY = static_cast<Extended>(FDevice->GetDeviceCaps(printing::LOGPIXELSY)) / 254;
}

// Document and pages.

void TQRPrinter::StartDocument() {
    FPageCanvas = nullptr;
    FCurrentPicture.reset();
    FPagesAvailable = 0;
    FCancelRequested = false;
    if (FOutput == okPrinter) FSettings->ApplySettings();
    if (FOutput == okPrinter) {
        FOriginTop = FSettings->UnprintableTop();
        FOriginLeft = FSettings->UnprintableLeft();
    } else {
        FOriginTop = FOriginLeft = 0;
    }
    if (FJobState != jsReady) throw EQRError("QRPrinter not ready");
    FPageTotal = 0;
    FJobState = jsBusy;
    if (FOutput == okPages) {
        FPageStream = std::make_shared<pagestore::TQRStream>(PageStreamMemoryLimit);
        FPages->SetPageStream(FPageStream);
        SetScreenScale();
    } else {
        SetPrinterScale();
    }
}

bool TQRPrinter::InPrintRange() const {
    return (FFirstPage <= 0 || FPageTotal >= FFirstPage) && (FLastPage <= 0 || FPageTotal <= FLastPage);
}

void TQRPrinter::NewPage() {
    if (FJobState != jsBusy) throw EQRError("Illegal call to NewPage");
    if (FPageTotal > 0) {
        if (FOutput == okPages) {
            ClosePictureCanvas(true);
        } else if (InPrintRange()) {
            ClosePrinterPage();
        } else {
            ClosePictureCanvas(false);
        }
        SetPagesAvailable(FPagesAvailable + 1);
    }
    ++FPageTotal;
    if (FOutput == okPrinter && InPrintRange()) {
        OpenPrinterPage();
    } else {
        OpenPictureCanvas();
    }
}

void TQRPrinter::OpenPictureCanvas() {
    const int32_t width = DeviceWidth(OrientedWidth());
    const int32_t height = DeviceHeight(OrientedLength());
    FPrinterCanvas.reset();
    FCurrentPicture = std::make_unique<gdi::TMetafileCanvas>(width, height);
    FPageCanvas = FCurrentPicture.get();
    SetScreenScale();
}

void TQRPrinter::ClosePictureCanvas(bool store) {
    FPageCanvas = nullptr;
    if (!FCurrentPicture) return;
    std::unique_ptr<gdi::TMetafileCanvas> canvas = std::move(FCurrentPicture);
    emf::TEmfPicture picture = canvas->Finish();
    canvas.reset();
    if (store) FPages->StorePage(picture);
}

void TQRPrinter::OpenPrinterPage() {
    FCurrentPicture.reset();
    if (!FDevice->Printing()) {
        FDevice->SetTitle(FDocumentTitle);
        FDevice->BeginDoc();
    }
    // A fresh canvas per page: its drawing objects are selected anew into the device context.
    gdi::TDeviceCaps caps;
    caps.Technology = gdi::DT_RASPRINTER;
    caps.HorzRes = FDevice->GetDeviceCaps(printing::HORZRES);
    caps.VertRes = FDevice->GetDeviceCaps(printing::VERTRES);
    caps.LogPixelsX = FDevice->GetDeviceCaps(printing::LOGPIXELSX);
    caps.LogPixelsY = FDevice->GetDeviceCaps(printing::LOGPIXELSY);
    if (caps.LogPixelsX > 0 && caps.LogPixelsY > 0) {
        caps.HorzSizeMM = static_cast<int32_t>(std::lround(caps.HorzRes * 25.4 / caps.LogPixelsX));
        caps.VertSizeMM = static_cast<int32_t>(std::lround(caps.VertRes * 25.4 / caps.LogPixelsY));
    }
    caps.PhysicalWidth = FDevice->GetDeviceCaps(printing::PHYSICALWIDTH);
    caps.PhysicalHeight = FDevice->GetDeviceCaps(printing::PHYSICALHEIGHT);
    caps.PhysicalOffsetX = FDevice->GetDeviceCaps(printing::PHYSICALOFFSETX);
    caps.PhysicalOffsetY = FDevice->GetDeviceCaps(printing::PHYSICALOFFSETY);
    FPrinterCanvas = std::make_unique<gdi::TPainterCanvas>(*FDevice->Canvas(), caps);
    FPageCanvas = FPrinterCanvas.get();
    SetPrinterScale();
}

void TQRPrinter::ClosePrinterPage() {
    FPageCanvas = nullptr;
    FPrinterCanvas.reset();
    // The range's last page stays open; FinishDocument ends it with the document.
    if (FDevice->Printing() && FPageTotal != FLastPage) FDevice->NewPage();
}

void TQRPrinter::FinishDocument() {
    if (FJobState != jsBusy) return;
    if (FOutput == okPages) {
        if (FPageTotal > 0) ClosePictureCanvas(true);
    } else {
        FPageCanvas = nullptr;
        FPrinterCanvas.reset();
        FCurrentPicture.reset();
        if (FDevice->Printing()) FDevice->EndDoc();
    }
    FJobState = jsFinished;
    ProcessMessages();
    SetPagesAvailable(FPagesAvailable + 1);
    if (FOutput == okPages) {
        FPages->CloseRecording();
    } else if (AfterPrintHook) {
        AfterPrintHook(*this);
    }
}

void TQRPrinter::AbortDocument() {
    if (FOutput == okPrinter) {
        FPageCanvas = nullptr;
        FPrinterCanvas.reset();
        FCurrentPicture.reset();
        if (FDevice->Printing()) FDevice->Abort();
    } else if (FCurrentPicture && FPages->PageStream()) {
        ClosePictureCanvas(true);
    } else {
        FPageCanvas = nullptr;
        FCurrentPicture.reset();
    }
    FJobState = jsFinished;
}

void TQRPrinter::Reset() {
    if (FJobState == jsBusy) RequestCancel();
    FOpenProblem.clear();
    if (FPageStream) {
        FPageStream.reset();
        FPages->SetPageStream(nullptr);
    }
    FPages->ResetPages();
    FJobState = jsReady;
}

std::unique_ptr<emf::TEmfPicture> TQRPrinter::FetchPage(int32_t n) {
    if ((FJobState != jsBusy && FJobState != jsFinished) || n < 1 || n > FPageTotal) return nullptr;
    return FPages->FetchPage(n);
}

// Notifications.

void TQRPrinter::SetPagesAvailable(int32_t value) {
    FPagesAvailable = value;
    PostMessage(FNotifyWindow, MsgPageAvailable, value, 0);
}

void TQRPrinter::SetProgress(int32_t value) {
    FProgress = value;
    PostMessage(FNotifyWindow, MsgProgressUpdate, value, 0);
}

void TQRPrinter::SetPreviewShown(bool value) {
    const bool wasShown = FPreviewShown;
    system::TScopeGuard store([&] { FPreviewShown = value; });
    if (wasShown && !value) {
        if (FJobState == jsBusy) RequestCancel();
        if (AfterPreviewHook) AfterPreviewHook(*this);
    }
}

void TQRPrinter::ShowPreview() {
    if (PreviewHandler) {
        PreviewHandler(*this);
        return;
    }
    std::unique_ptr<TQRPreviewInterface> preview = PreviewInterfaceClass()();
    if (preview) preview->OpenPreview(*this);
}

void TQRPrinter::PreviewClosed(QObject*) {
    // The handler may destroy this printer: nothing of it is touched afterwards.
    QObject* receiver = FReportWindow;
    SendMessage(receiver, MsgPreviewClosed, 0, reinterpret_cast<intptr_t>(this));
}

void TQRPrinter::PrintSetup(QObject* sender) {
    if (PrintSetupHook) PrintSetupHook(sender);
}

void TQRPrinter::SelectPrinter(int32_t n) {
    if (!FHasPrinters) return;
    // A printer number that no longer exists (a stored choice, a removed queue) means the default.
    if (n < -1 || n >= static_cast<int32_t>(FDevice->Printers().size())) n = -1;
    FDevice->SetPrinterIndex(n);
    RefreshDeviceMode(*FDevice);
    FSettings->ReadSettings();
}

void TQRPrinter::SetCompressed(bool value) {
    FPages->SetCompressed(value);
}

// Printing the stored pages.

void TQRPrinter::Print() {
    if (FReportWindow && !FLoadedFromFile) {
        PostMessage(FReportWindow, MsgPrintReport, 0, 0);
        return;
    }
    if (FJobState != jsFinished || !FHasPrinters) return;
    const int32_t first = FFirstPage > 0 ? FFirstPage : 1;
    // Pages past the end would only come out blank; a loaded file's range reaches every page it
    // declares, so that pages lost to damage are not left out in silence.
    const int32_t last = FLastPage > 0 ? std::min(FLastPage, DeclaredPages()) : DeclaredPages();
    if (last < first) return;
    // Every chosen page is checked before the job is opened: a job is sent whole or not at all.
    CheckPages(first, last);
    FDevice->SetTitle(FDocumentTitle);
    if (FDevice->Printing()) FDevice->Abort();
    FSettings->ApplySettings();
    FDevice->BeginDoc();
    try {
        const int32_t width = FDevice->GetDeviceCaps(printing::HORZRES);
        const int32_t height = FDevice->GetDeviceCaps(printing::VERTRES);
        for (int32_t i = first; i <= last; ++i) {
            ProcessMessages();
            const pagestore::TDocumentPage page = FPages->Page(i);
            if (page.Picture) {
                // The whole sheet on the printable area, as large as it fits there without being stretched.
                const auto sheet = pagestore::SheetOf(page.Picture->Header());
                const QRectF area(0, 0, width, height);
                const QRectF target = sheet ? FitInto(QSizeF(sheet->WidthPixels, sheet->HeightPixels), area) : area;
                QPainter& painter = *FDevice->Canvas();
                painter.save();
                {
                    gdi::TPainterDevice device(painter);
                    PlayPage(*page.Picture, device, target);
                }
                painter.restore();
            }
            if (PagePrintedHook) PagePrintedHook(i, first, last);
            if (i < last) FDevice->NewPage();
            if (FCancelRequested) {
                FDevice->Abort();
                break;
            }
        }
    } catch (...) {
        // The document is ended also after a failure; the first failure is the one reported.
        if (FDevice->Printing()) {
            try {
                FDevice->EndDoc();
            } catch (...) {
            }
        }
        throw;
    }
    if (FDevice->Printing()) FDevice->EndDoc();
}

std::unique_ptr<emf::TEmfPicture> TQRPrinter::FetchPage(int32_t n, std::string& reason) {
    reason.clear();
    if ((FJobState != jsBusy && FJobState != jsFinished) || n < 1 || n > DeclaredPages()) return nullptr;
    if (n > FPageTotal) {
        reason = FOpenProblem;
        return nullptr;
    }
    if (n > FPages->NumPages()) return nullptr; // still being recorded
    return FPages->CheckedPage(n, reason);
}

std::shared_ptr<pagestore::TPageDocument> TQRPrinter::Document() const {
    return FPages;
}

void TQRPrinter::CheckPages(int32_t first, int32_t last) {
    const int32_t count = (FJobState == jsBusy || FJobState == jsFinished) ? DeclaredPages() : 0;
    if (last <= 0 || last > count) last = count;
    std::string reason;
    for (int32_t n = std::max(1, first); n <= last; ++n) {
        if (!FetchPage(n, reason)) {
            if (reason.empty()) reason = "Page " + std::to_string(n) + " is not available";
            throw EQRError("Page " + std::to_string(n) + " cannot be drawn: " + reason);
        }
    }
}

// File operations.

void TQRPrinter::OpenReportFile(const std::string& fileName) {
    // The new file is opened and checked on a page list of its own; the pages shown so far are dropped
    // only once it has proved usable.
    auto pages = std::make_shared<pagestore::TQRPageList>();
    pages->OpenFile(fileName);
    std::string problem;
    const int32_t declared = pages->NumPages();
    const int32_t reachable = pages->ReachablePages(&problem);
    if (declared > 0 && reachable == 0) throw EQRError(problem);
    std::unique_ptr<emf::TEmfPicture> first;
    if (reachable > 0) {
        std::string reason;
        first = pages->CheckedPage(1, reason);
    }

    if (FJobState != jsReady) Reset();
    FPages = std::move(pages);
    FPageTotal = reachable;
    FDeclaredPages = declared;
    FOpenProblem.clear();
    if (reachable < declared) {
        const std::string prefix = "File " + fileName + " is damaged: ";
        if (problem.starts_with(prefix)) problem.erase(0, prefix.size());
        FOpenProblem = prefix + "only " + std::to_string(reachable) + " of " + std::to_string(declared) +
                       " pages can be read (" + problem + ")";
    }
    SetScreenScale();
    if (first) {
        // Every match is applied through the guarded setters, so the last one the printer takes wins.
        for (const TPaperMatch& m : MatchPaper(first->Width(), first->Height(), FScaleX)) {
            SetPaperSize(m.Size);
            SetOrientation(m.Orientation);
        }
    }
    FPageStream = FPages->PageStream();
    FJobState = jsFinished;
    PrintSetupHook = nullptr;
    ExportHook = nullptr;
    FLoadedFromFile = true;
    FFileName = fileName;
    // Print jobs and exported documents are named after the file.
    FDocumentTitle = std::filesystem::path(fileName).filename().string();
}

void TQRPrinter::SaveReportFile(const std::string& fileName) {
    if (FJobState == jsFinished) FPages->CopyToFile(fileName);
}

void TQRPrinter::ExportPages(TQRExporter& filter) {
    if (ExportHook && !FLoadedFromFile && !filter.TakesPictures()) {
        ExportHook(filter);
        return;
    }
    if (FJobState != jsFinished) return;
    filter.Printer = this;
    ExportStoredPages(filter, *FPages);
}

// Paper properties.

TQRPaperSize TQRPrinter::PaperSize() const {
    return FSettings->PaperSize();
}
void TQRPrinter::SetPaperSize(TQRPaperSize value) {
    FSettings->SetPaperSize(value);
}
TPrinterOrientation TQRPrinter::Orientation() const {
    return FSettings->Orientation();
}
void TQRPrinter::SetOrientation(TPrinterOrientation value) {
    FSettings->SetOrientation(value);
}
int32_t TQRPrinter::Copies() const {
    return FSettings->Copies();
}
void TQRPrinter::SetCopies(int32_t value) {
    FSettings->SetCopies(value);
}
TQRBin TQRPrinter::OutputBin() const {
    return FSettings->OutputBin();
}
void TQRPrinter::SetOutputBin(TQRBin value) {
    FSettings->SetOutputBin(value);
}
int32_t TQRPrinter::SheetWidth() const {
    return FSettings->SheetWidth();
}
void TQRPrinter::SetSheetWidth(int32_t value) {
    FSettings->SetSheetWidth(value);
}
int32_t TQRPrinter::SheetLength() const {
    return FSettings->SheetLength();
}
void TQRPrinter::SetSheetLength(int32_t value) {
    FSettings->SetSheetLength(value);
}

} // namespace pagimo::printer
