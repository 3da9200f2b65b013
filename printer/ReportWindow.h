#pragma once
// What the preview window may ask of the object behind a report printer's ReportWindow (a report or a
// composite report, implemented in the engine). The report printer itself only sends it messages.
// Implementers derive from QObject and from this class; callers cross-cast:
//     if (auto* w = dynamic_cast<TQRReportWindow*>(printer.ReportWindow())) ...

namespace pagimo::printer {

class TQRPrinter;

class TQRReportWindow {
public:
    virtual ~TQRReportWindow() = default;
    // True for a composite report, false for a report object.
    virtual bool IsCompositeReport() const = 0;
    // The report printer the report uses now (its current or last run); none between runs.
    virtual TQRPrinter* CurrentPrinter() const = 0;
    // Whether the report is busy generating on its current report printer.
    bool PrinterBusy() const;
};

} // namespace pagimo::printer
