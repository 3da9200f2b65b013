#pragma once
// The runs of a report on a report printer: Preview (generate into the preview window and wait
// until it closes), Print (generate straight onto the printer), and the window that receives the
// report printer's messages for the report.

#include "engine/PrinterTarget.h"
#include "printer/ReportWindow.h"

#include <QEventLoop>
#include <QObject>

#include <functional>
#include <memory>

namespace pagimo::printer {
class TQRExporter;
class TQRPrinter;
} // namespace pagimo::printer

namespace pagimo::engine {

class TCustomQRReport;

class TQRReportRunner : public QObject, public printer::TQRReportWindow {
public:
    explicit TQRReportRunner(TCustomQRReport& report);
    ~TQRReportRunner() override;

    // Generates into a fresh report printer shown in the preview, then keeps handling window
    // messages until the preview is closed. Does nothing while the report is generating.
    void Preview();
    // Generates straight onto the printer; the preview's printer, if any, is kept aside meanwhile.
    void Print();
    // Generates again through an export filter (the preview's export), on a fresh report printer with
    // the progress window; the preview's printer is kept aside meanwhile. Throws what the run throws.
    void Export(printer::TQRExporter& filter);
    // Generates into a fresh report printer with pages recorded (okPages) and hands it over; the
    // caller saves or converts its pages. Throws what the run throws.
    std::unique_ptr<printer::TQRPrinter> Record();

    // The report's printer setup through the print dialog of the installed run dialogs, offering
    // the pages of `pages` (may be null); confirmed, the report keeps the copies, printer, page
    // range and orientation. False when cancelled or where no dialog can be shown.
    bool PrintSetup(const printer::TQRPrinter* pages, QObject* owner = nullptr);

    printer::TQRPrinter* QRPrinter() const { return FPrinter.get(); }
    bool IsCompositeReport() const override { return false; }
    printer::TQRPrinter* CurrentPrinter() const override { return FPrinter.get(); }

    std::function<void(TCustomQRReport&)> AfterPreview;
    std::function<void(TCustomQRReport&)> AfterPrint;
    std::function<void(printer::TQRPrinter&)> OnPreview;

protected:
    bool event(QEvent* e) override;

private:
    TCustomQRReport& FReport;
    std::unique_ptr<printer::TQRPrinter> FPrinter;
    std::unique_ptr<TQRPrinterTarget> FTarget;
    QEventLoop* FWaitLoop = nullptr; // the loop Preview waits in

    std::unique_ptr<printer::TQRPrinter> NewPrinter();
    // The progress window (of the installed run dialogs) that follows a run on p and turns Cancel
    // into a cancel request on it; none where no window can be shown or the report shows no
    // progress.
    std::unique_ptr<QObject> ShowProgress(printer::TQRPrinter& p) const;
    void Discard();
};

} // namespace pagimo::engine
