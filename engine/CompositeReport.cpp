#include "engine/CompositeReport.h"

#include "platform/system/ScopeGuard.h"

#include <algorithm>

namespace pagimo::engine {

const system::TPropertyList& TQRCompositePrinterSettings::ClassProperties() {
    using namespace system;
    using S = TQRCompositePrinterSettings;
    static const TPropertyList list(
        &TQRReportPrinterSettings::ClassProperties(),
        {EnumProperty<S, TPrinterOrientation>("Orientation", PrinterOrientationInfo(), &S::Orientation,
                                              &S::SetOrientation, std::nullopt),
         EnumProperty<S, TQRPaperSize>("PaperSize", QRPaperSizeInfo(), &S::PaperSize, &S::SetPaperSize, std::nullopt)});
    return list;
}

TQRCompositeReport::TQRCompositeReport() : FPrinterSettings(std::make_unique<TQRCompositePrinterSettings>()) {}

void TQRCompositeReport::Notification(system::TComponent* component, system::TOperation operation) {
    if (operation != system::opRemove) return;
    Reports.erase(std::remove(Reports.begin(), Reports.end(), component), Reports.end());
    if (component == FCurrentReport) FCurrentReport = nullptr;
}

void TQRCompositeReport::Cancel() {
    if (FGenerating && FCurrentReport) FCurrentReport->Cancel();
}

void TQRCompositeReport::Run(TQRReportTarget& target) {
    Reports.clear();
    if (OnAddReports) OnAddReports(*this);
    bool cancelled = false;
    if (!Reports.empty()) {
        TQRDocumentSettings s;
        static_cast<printer::TQRPrinterSettings&>(s) = *FPrinterSettings;
        target.Configure(s);
        target.StartDocument();
        TQRReport* first = Reports.front();
        const controls::TQRUnit firstUnits = first->Units();
        first->SetUnits(controls::TQRUnit::Native);
        // Starting at the page's bottom makes the first report's first band open page 1.
        TQRRunPosition at{Rnd(first->Page()->NativeValue(TQRPage::LengthIndex)), 0, 0};
        first->SetUnits(firstUnits);
        FGenerating = true;
        system::TScopeGuard reset([this] {
            FGenerating = false;
            FCurrentReport = nullptr;
        });
        try {
            for (size_t i = 0; i < Reports.size(); ++i) {
                TQRReport* report = Reports[i];
                FCurrentReport = report;
                report->SetPrintTarget(&target);
                // The last report closes the final page; its own tag comes back afterwards.
                const int savedTag = report->Tag();
                if (i + 1 == Reports.size()) report->SetTag(999);
                {
                    system::TScopeGuard restoreTag([report, savedTag] { report->SetTag(savedTag); });
                    report->CreateReport(true, &at);
                }
                if (report->Cancelled()) {
                    cancelled = true;
                    break;
                }
                if (OnFinished) OnFinished(*report);
            }
        } catch (...) {
            target.AbortDocument();
            throw;
        }
    }
    if (cancelled)
        target.AbortDocument();
    else
        target.FinishDocument();
    if (OnFinished) OnFinished(*this);
}

const system::TPropertyList& TQRCompositeReport::ClassProperties() {
    using namespace system;
    using C = TQRCompositeReport;
    static const TPropertyList list(
        &TComponent::ClassProperties(),
        {SetProperty<C>("Options", ReportOptionInfo(), &C::Options, &C::SetOptions, std::nullopt),
         ObjectProperty<C, TQRCompositePrinterSettings>("PrinterSettings", &C::PrinterSettings),
         StringProperty<C>("ReportTitle", &C::ReportTitle, &C::SetReportTitle)});
    return list;
}

} // namespace pagimo::engine
