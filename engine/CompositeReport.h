#pragma once
// TQRCompositeReport: several reports printed one after another as one document, with continuous
// page numbers, each report continuing on the page where the previous one stopped.

#include "engine/Report.h"

#include <memory>

class QObject;

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::engine {

// A composite report's printer wishes: a report's, with the orientation and paper published too;
// the job title is set in code (JobTitle).
class TQRCompositePrinterSettings : public TQRReportPrinterSettings {
public:
    const char* ClassName() const override { return "TQRCompositePrinterSettings"; }
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }
};

class TQRCompositeReport : public system::TComponent {
public:
    using TNotifyEvent = std::function<void(system::TComponent& sender)>;

    TQRCompositeReport();
    ~TQRCompositeReport() override;
    static const char* StaticClassName() { return "TQRCompositeReport"; }
    const char* ClassName() const override { return StaticClassName(); }

    TNotifyEvent OnAddReports; // fills Reports
    TNotifyEvent OnFinished;   // after each report (sender: the report) and after the run (sender: this)
    uint32_t Options() const { return FOptions; }
    void SetOptions(uint32_t o) { FOptions = o; }
    TQRCompositePrinterSettings* PrinterSettings() const { return FPrinterSettings.get(); }
    std::string ReportTitle() const { return FReportTitle; }
    void SetReportTitle(const std::string& t) { FReportTitle = t; }
    // The most report runs a composite makes (a list naming a report again and again would run
    // on without end); 0 or less restores the default.
    static constexpr int64_t DefaultMaxReports = 1000;
    int64_t MaxReports() const { return FMaxReports; }
    void SetMaxReports(int64_t n) { FMaxReports = n > 0 ? n : DefaultMaxReports; }

    // Borrowed reports, in print order; at every run the published report list, then what
    // OnAddReports adds.
    std::vector<TQRReport*> Reports;
    // The reports a description names (Reports = (QRReport1 QRReport2)), for runs without code.
    const std::vector<TQRReport*>& ReportList() const { return FReportList; }
    void SetReportList(std::vector<TQRReport*> reports) { FReportList = std::move(reports); }
    bool Generating() const { return FGenerating; }
    TQRReport* CurrentReport() const { return FCurrentReport; }

    // Runs every report onto target as one document. Throws EQRError before the document begins when
    // Reports holds more than MaxReports reports; the reports' runs share their limits (pages,
    // bands, records), and a terminating signal ends the run between reports too.
    void Run(TQRReportTarget& target);
    void Cancel();
    // Runs into a new report printer that records the pages, and hands it over (a tool saves them).
    std::unique_ptr<printer::TQRPrinter> Record();
    // Sets the current report printer aside, runs onto the printer through a new one, discards it
    // and restores the old one.
    void Print();
    // The report printer of the current or last recorded run, or none.
    printer::TQRPrinter* QRPrinter() const { return FQRPrinter.get(); }
    // Receives the report printer's messages for the composite: MsgPrintReport runs Print,
    // MsgPreviewClosed cancels the report being generated or else discards the report printer.
    QObject* MessageWindow() const { return FWindow.get(); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    std::unique_ptr<TQRCompositePrinterSettings> FPrinterSettings;
    uint32_t FOptions = OptionBit(FirstPageHeader) | OptionBit(LastPageFooter);
    std::string FReportTitle;
    std::vector<TQRReport*> FReportList;
    std::unique_ptr<printer::TQRPrinter> FQRPrinter;
    std::unique_ptr<QObject> FWindow;
    bool FGenerating = false;
    TQRReport* FCurrentReport = nullptr;
    int64_t FMaxReports = DefaultMaxReports;
};

} // namespace pagimo::engine
