#pragma once
// The report printer as a generation run's target: the report's printer values go into its
// settings, pages into its page list or onto the printer, fills onto its page canvas.

#include "engine/ReportTarget.h"

#include <chrono>
#include <optional>

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::engine {

class TQRPrinterTarget : public TQRReportTarget {
public:
    // printer is borrowed and must outlive the target.
    explicit TQRPrinterTarget(printer::TQRPrinter& printer) : FPrinter(printer) {}
    printer::TQRPrinter& Printer() const { return FPrinter; }

    void Configure(const TQRDocumentSettings& settings) override;
    TQRPaperSize PaperSize() const override;
    TPrinterOrientation Orientation() const override;
    int32_t SheetWidth() const override;
    int32_t SheetLength() const override;
    void StartDocument() override;
    void NewPage() override;
    void FinishDocument() override;
    void AbortDocument() override;
    bool CancelRequested() const override;
    void RequestCancel() override;
    void SetProgress(int percent) override;
    void ProcessMessages() override;

    int32_t DeviceX(Extended x) const override;
    int32_t DeviceY(Extended y) const override;
    Extended ScaleX() const override;
    Extended ScaleY() const override;
    void FillRect(const controls::TRect& rect, controls::TColor color) override;
    gdi::TCanvas* PageCanvas() const override;

private:
    printer::TQRPrinter& FPrinter;
    std::optional<std::chrono::steady_clock::time_point> FMessagesHandled; // when events were last handled
};

} // namespace pagimo::engine
