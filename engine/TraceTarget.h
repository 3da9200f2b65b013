#pragma once
// A report target that keeps a trace instead of pictures: pages begun and the solid fills drawn on
// them, in report units (one device unit = one tenth of a millimetre). It shows where a report puts
// its bands without any drawing device, for layout checks and `qrptool report --trace`.

#include "engine/ReportTarget.h"

#include <vector>

namespace pagimo::engine {

class TQRTraceTarget : public TQRReportTarget {
public:
    struct TFill {
        controls::TRect Rect;
        controls::TColor Color;
    };
    enum TState { tsReady, tsBusy, tsFinished, tsAborted };

    void Configure(const TQRDocumentSettings& settings) override;
    TQRPaperSize PaperSize() const override { return FSettings.PaperSize(); }
    TPrinterOrientation Orientation() const override { return FSettings.Orientation(); }
    int32_t SheetWidth() const override;
    int32_t SheetLength() const override;

    void StartDocument() override;
    void NewPage() override;
    void FinishDocument() override;
    void AbortDocument() override;
    bool CancelRequested() const override { return FCancelRequested; }
    void RequestCancel() override { FCancelRequested = true; }
    void SetProgress(int percent) override { Progress = percent; }

    int32_t DeviceX(Extended x) const override { return Rnd(x); }
    int32_t DeviceY(Extended y) const override { return Rnd(y); }
    Extended ScaleX() const override { return 1; }
    Extended ScaleY() const override { return 1; }
    void FillRect(const controls::TRect& rect, controls::TColor color) override;
    gdi::TCanvas* PageCanvas() const override { return nullptr; }

    TState State() const { return FState; }
    const TQRDocumentSettings& Settings() const { return FSettings; }
    // Fills per page, in drawing order.
    const std::vector<std::vector<TFill>>& Pages() const { return FPages; }
    int Progress = 0;
    int Documents = 0;
    // More pages than this end the run with an error (0: no limit).
    size_t PageLimit = 0;

private:
    TQRDocumentSettings FSettings;
    TState FState = tsReady;
    bool FCancelRequested = false;
    std::vector<std::vector<TFill>> FPages;
};

} // namespace pagimo::engine
