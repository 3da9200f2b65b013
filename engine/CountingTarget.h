#pragma once
// The target of a counting pass: a report that prints its page total runs once to count its pages
// before the run that draws them. The pass lays out exactly as the real run does, so it takes its
// sheet, scales and cancel flag from the real target, but it starts no document and draws nothing.

#include "engine/ReportTarget.h"

namespace pagimo::engine {

class TQRCountingTarget : public TQRReportTarget {
public:
    explicit TQRCountingTarget(TQRReportTarget& real) : FReal(real) {}

    // The real target takes the paper now, as it would at the start of the real run.
    void Configure(const TQRDocumentSettings& settings) override { FReal.Configure(settings); }
    TQRPaperSize PaperSize() const override { return FReal.PaperSize(); }
    TPrinterOrientation Orientation() const override { return FReal.Orientation(); }
    int32_t SheetWidth() const override { return FReal.SheetWidth(); }
    int32_t SheetLength() const override { return FReal.SheetLength(); }

    void StartDocument() override {}
    void NewPage() override {}
    void FinishDocument() override {}
    void AbortDocument() override {}

    bool CancelRequested() const override { return FReal.CancelRequested(); }
    void RequestCancel() override { FReal.RequestCancel(); }
    void SetProgress(int) override {}
    void ProcessMessages() override { FReal.ProcessMessages(); }

    int32_t DeviceX(Extended x) const override { return FReal.DeviceX(x); }
    int32_t DeviceY(Extended y) const override { return FReal.DeviceY(y); }
    Extended ScaleX() const override { return FReal.ScaleX(); }
    Extended ScaleY() const override { return FReal.ScaleY(); }
    void FillRect(const controls::TRect&, controls::TColor) override {}
    gdi::TCanvas* PageCanvas() const override { return nullptr; }

private:
    TQRReportTarget& FReal;
};

} // namespace pagimo::engine
