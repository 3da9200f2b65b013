#pragma once
// TQRCompositeReport: several reports printed one after another as one document, with continuous
// page numbers, each report continuing on the page where the previous one stopped.

#include "engine/Report.h"

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
    static const char* StaticClassName() { return "TQRCompositeReport"; }
    const char* ClassName() const override { return StaticClassName(); }

    TNotifyEvent OnAddReports; // fills Reports
    TNotifyEvent OnFinished;   // after each report (sender: the report) and after the run (sender: this)
    uint32_t Options() const { return FOptions; }
    void SetOptions(uint32_t o) { FOptions = o; }
    TQRCompositePrinterSettings* PrinterSettings() const { return FPrinterSettings.get(); }
    std::string ReportTitle() const { return FReportTitle; }
    void SetReportTitle(const std::string& t) { FReportTitle = t; }

    // Borrowed reports, in print order; filled by OnAddReports at every run.
    std::vector<TQRReport*> Reports;
    bool Generating() const { return FGenerating; }
    TQRReport* CurrentReport() const { return FCurrentReport; }

    // Runs every report onto target as one document.
    void Run(TQRReportTarget& target);
    void Cancel();

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    std::unique_ptr<TQRCompositePrinterSettings> FPrinterSettings;
    uint32_t FOptions = OptionBit(FirstPageHeader) | OptionBit(LastPageFooter);
    std::string FReportTitle;
    bool FGenerating = false;
    TQRReport* FCurrentReport = nullptr;
};

} // namespace pagimo::engine
