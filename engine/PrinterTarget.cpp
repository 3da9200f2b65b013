#include "engine/PrinterTarget.h"

#include "platform/gdi/Canvas.h"
#include "printer/QRPrinter.h"

namespace pagimo::engine {

void TQRPrinterTarget::Configure(const TQRDocumentSettings& s) {
    if (s.PrinterNumber() >= 0) FPrinter.SelectPrinter(s.PrinterNumber());
    FPrinter.SetPaperSize(s.PaperSize());
    if (s.PaperSize() == TQRPaperSize::Custom) {
        FPrinter.SetSheetWidth(s.PaperWidth);
        FPrinter.SetSheetLength(s.PaperLength);
    }
    FPrinter.SetOrientation(s.Orientation());
    FPrinter.SetCopies(s.Copies());
    FPrinter.SetOutputBin(s.OutputBin());
    FPrinter.SetFirstPage(s.FirstPage());
    FPrinter.SetLastPage(s.LastPage());
    FPrinter.SetDocumentTitle(s.JobTitle());
    FPrinter.SetCompressed(s.Compressed);
}

TQRPaperSize TQRPrinterTarget::PaperSize() const {
    return FPrinter.PaperSize();
}
TPrinterOrientation TQRPrinterTarget::Orientation() const {
    return FPrinter.Orientation();
}
int32_t TQRPrinterTarget::SheetWidth() const {
    return FPrinter.SheetWidth();
}
int32_t TQRPrinterTarget::SheetLength() const {
    return FPrinter.SheetLength();
}
void TQRPrinterTarget::StartDocument() {
    FPrinter.StartDocument();
}
void TQRPrinterTarget::NewPage() {
    FPrinter.NewPage();
}
void TQRPrinterTarget::FinishDocument() {
    FPrinter.FinishDocument();
}
void TQRPrinterTarget::AbortDocument() {
    FPrinter.AbortDocument();
}
bool TQRPrinterTarget::CancelRequested() const {
    return FPrinter.CancelRequested();
}
void TQRPrinterTarget::RequestCancel() {
    FPrinter.RequestCancel();
}
void TQRPrinterTarget::SetProgress(int percent) {
    FPrinter.SetProgress(percent);
}
void TQRPrinterTarget::ProcessMessages() {
    // Asked for before every record: handling the window's events takes a poll of the event loop,
    // which costs more than a record of a plain report, so it is done at most every few milliseconds
    // (the first time always). A cancel button or a closed preview is still seen at once.
    const auto now = std::chrono::steady_clock::now();
    if (FMessagesHandled && now - *FMessagesHandled < std::chrono::milliseconds(8)) return;
    FMessagesHandled = now;
    printer::ProcessMessages();
}
int32_t TQRPrinterTarget::DeviceX(Extended x) const {
    return FPrinter.DeviceX(x);
}
int32_t TQRPrinterTarget::DeviceY(Extended y) const {
    return FPrinter.DeviceY(y);
}
Extended TQRPrinterTarget::ScaleX() const {
    return FPrinter.ScaleX();
}
Extended TQRPrinterTarget::ScaleY() const {
    return FPrinter.ScaleY();
}
gdi::TCanvas* TQRPrinterTarget::PageCanvas() const {
    return FPrinter.PageCanvas();
}

void TQRPrinterTarget::FillRect(const controls::TRect& rect, controls::TColor color) {
    gdi::TCanvas* canvas = FPrinter.PageCanvas();
    if (!canvas) return;
    canvas->Brush.Color = static_cast<gdi::TColorRef>(controls::ColorToRGB(color)) & 0xFFFFFF;
    canvas->Brush.Style = gdi::BS_SOLID;
    canvas->FillRect(rect.Left, rect.Top, rect.Right, rect.Bottom);
    canvas->Brush.Style = gdi::BS_NULL;
}

} // namespace pagimo::engine
