#include "engine/CompositeReport.h"

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
        s.PrinterIndex = FPrinterSettings->PrinterIndex;
        s.PaperSize = FPrinterSettings->PaperSize();
        s.Orientation = FPrinterSettings->Orientation();
        s.Copies = FPrinterSettings->Copies();
        s.Duplex = FPrinterSettings->Duplex();
        s.OutputBin = FPrinterSettings->OutputBin();
        s.FirstPage = FPrinterSettings->FirstPage();
        s.LastPage = FPrinterSettings->LastPage();
        s.Title = FPrinterSettings->Title;
        target.Configure(s);
        target.StartDocument();
        TQRReport* first = Reports.front();
        const controls::TQRUnit firstUnits = first->Units();
        first->SetUnits(controls::TQRUnit::Native);
        int64_t y = Rnd(first->Page()->NativeValue(TQRPage::LengthIndex));
        first->SetUnits(firstUnits);
        int pageCount = 0;
        int column = 0;
        FGenerating = true;
        struct TGeneratingReset {
            TQRCompositeReport& C;
            ~TGeneratingReset() {
                C.FGenerating = false;
                C.FCurrentReport = nullptr;
            }
        } reset{*this};
        try {
            for (size_t i = 0; i < Reports.size(); ++i) {
                TQRReport* report = Reports[i];
                FCurrentReport = report;
                report->SetPrintTarget(&target);
                report->CurrentY = y;
                report->PageCount = pageCount;
                report->CurrentColumn = column;
                const int savedTag = report->Tag();
                if (i + 1 == Reports.size()) report->SetTag(999);
                try {
                    report->CreateReport(true);
                } catch (...) {
                    report->SetTag(savedTag);
                    throw;
                }
                report->SetTag(savedTag);
                if (report->Cancelled()) {
                    cancelled = true;
                    break;
                }
                if (OnFinished) OnFinished(*report);
                y = report->CurrentY;
                pageCount = report->PageCount;
                column = report->CurrentColumn;
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
