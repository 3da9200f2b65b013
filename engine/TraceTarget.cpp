#include "engine/TraceTarget.h"

#include "platform/system/Errors.h"

namespace pagimo::engine {

void TQRTraceTarget::Configure(const TQRDocumentSettings& settings) {
    FSettings = settings;
}

int32_t TQRTraceTarget::SheetWidth() const {
    if (FSettings.PaperSize() == TQRPaperSize::Custom) return FSettings.PaperWidth;
    return Rnd(
        PaperDimensions(FSettings.PaperSize() == TQRPaperSize::Default ? TQRPaperSize::A4 : FSettings.PaperSize())
            .Width *
        10);
}

int32_t TQRTraceTarget::SheetLength() const {
    if (FSettings.PaperSize() == TQRPaperSize::Custom) return FSettings.PaperLength;
    return Rnd(
        PaperDimensions(FSettings.PaperSize() == TQRPaperSize::Default ? TQRPaperSize::A4 : FSettings.PaperSize())
            .Length *
        10);
}

void TQRTraceTarget::StartDocument() {
    if (FState == tsBusy) throw EQRError("QRPrinter not ready");
    FState = tsBusy;
    FCancelRequested = false;
    FPages.clear();
    ++Documents;
}

void TQRTraceTarget::NewPage() {
    if (FState != tsBusy) throw EQRError("Illegal call to NewPage");
    if (PageLimit && FPages.size() >= PageLimit) throw EQRError("more than " + std::to_string(PageLimit) + " pages");
    FPages.emplace_back();
}

void TQRTraceTarget::FinishDocument() {
    if (FState == tsBusy) FState = tsFinished;
}

void TQRTraceTarget::AbortDocument() {
    FState = tsAborted;
}

void TQRTraceTarget::FillRect(const controls::TRect& rect, controls::TColor color) {
    if (FPages.empty()) return;
    FPages.back().push_back({rect, color});
}

} // namespace pagimo::engine
