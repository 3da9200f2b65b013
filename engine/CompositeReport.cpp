#include "engine/CompositeReport.h"

#include "engine/PrinterTarget.h"
#include "platform/system/ScopeGuard.h"
#include "printer/Messages.h"
#include "printer/QRPrinter.h"
#include "printer/ReportWindow.h"

#include <QEvent>
#include <QObject>

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

namespace {

class TQRCompositeWindow : public QObject, public printer::TQRReportWindow {
public:
    explicit TQRCompositeWindow(TQRCompositeReport& owner) : FOwner(owner) {}

    bool IsCompositeReport() const override { return true; }
    printer::TQRPrinter* CurrentPrinter() const override { return FOwner.QRPrinter(); }

    bool event(QEvent* e) override {
        switch (static_cast<int>(e->type())) {
        case printer::MsgPrintReport:
            FOwner.Print();
            return true;
        case printer::MsgPreviewClosed:
            if (FOwner.Generating())
                FOwner.Cancel();
            else
                FDiscard(FOwner);
            return true;
        default:
            return QObject::event(e);
        }
    }
    std::function<void(TQRCompositeReport&)> FDiscard;

private:
    TQRCompositeReport& FOwner;
};

} // namespace

TQRCompositeReport::TQRCompositeReport()
    : FPrinterSettings(std::make_unique<TQRCompositePrinterSettings>()) {
    auto window = std::make_unique<TQRCompositeWindow>(*this);
    window->FDiscard = [](TQRCompositeReport& c) { c.FQRPrinter.reset(); };
    FWindow = std::move(window);
}

TQRCompositeReport::~TQRCompositeReport() = default;

std::unique_ptr<printer::TQRPrinter> TQRCompositeReport::Record() {
    FQRPrinter = std::make_unique<printer::TQRPrinter>();
    FQRPrinter->SetOutput(printer::okPages);
    // A preview of the recorded pages asks the composite to print or tells it the preview closed.
    FQRPrinter->SetReportWindow(FWindow.get());
    TQRPrinterTarget target(*FQRPrinter);
    Run(target);
    return std::move(FQRPrinter);
}

void TQRCompositeReport::Print() {
    if (FGenerating) return;
    auto kept = std::move(FQRPrinter);
    system::TScopeGuard restore([this, &kept] { FQRPrinter = std::move(kept); });
    FQRPrinter = std::make_unique<printer::TQRPrinter>();
    if (!FQRPrinter->HasPrinters()) return;
    FQRPrinter->SetOutput(printer::okPrinter);
    TQRPrinterTarget target(*FQRPrinter);
    Run(target);
}

void TQRCompositeReport::Notification(system::TComponent* component, system::TOperation operation) {
    if (operation != system::opRemove) return;
    Reports.erase(std::remove(Reports.begin(), Reports.end(), component), Reports.end());
    FReportList.erase(std::remove(FReportList.begin(), FReportList.end(), component), FReportList.end());
    if (component == FCurrentReport) FCurrentReport = nullptr;
}

void TQRCompositeReport::Cancel() {
    if (FGenerating && FCurrentReport) FCurrentReport->Cancel();
}

void TQRCompositeReport::Run(TQRReportTarget& target) {
    Reports = FReportList;
    if (OnAddReports) OnAddReports(*this);
    if (static_cast<int64_t>(Reports.size()) > FMaxReports)
        throw EQRError((Name().empty() ? std::string("Composite") : Name()) + ": the composite runs " +
                       std::to_string(Reports.size()) + " reports, more than " + std::to_string(FMaxReports) +
                       " (MaxReports sets the limit)");
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
                PollTermination("before report " + std::to_string(i + 1) + " of the composite");
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
         Int64Property<C>("MaxReports", &C::MaxReports, &C::SetMaxReports, DefaultMaxReports),
         ObjectProperty<C, TQRCompositePrinterSettings>("PrinterSettings", &C::PrinterSettings),
         TPropertyInfo{"Reports",
                       [](TPersistent& o, const TFormValue& v, TLoadContext& ctx) {
                           if (v.Kind != TFormValue::fvList)
                               throw EPropertyValue(std::string("expected a list of reports, found ") + v.KindName());
                           auto& c = static_cast<C&>(o);
                           c.FReportList.clear();
                           for (const TFormValue& item : v.Items) {
                               if (item.Kind != TFormValue::fvIdent) throw EPropertyValue("expected a report name");
                               ctx.AddReference(item.Text, item.Line, [&c, n = item.Text](TComponent* target) {
                                   auto* report = dynamic_cast<TQRReport*>(target);
                                   if (!report) throw EPropertyValue("component '" + n + "' is not a report");
                                   c.FReportList.push_back(report);
                               });
                           }
                       },
                       [](const TPersistent& o) -> std::optional<TFormValue> {
                           const auto& c = static_cast<const C&>(o);
                           std::vector<TFormValue> items;
                           for (const TQRReport* r : c.FReportList)
                               if (!r->Name().empty()) items.push_back(TFormValue::Ident(r->Name()));
                           if (items.empty()) return std::nullopt;
                           return TFormValue::List(std::move(items));
                       },
                       nullptr, "list of report names"},
         StringProperty<C>("ReportTitle", &C::ReportTitle, &C::SetReportTitle)});
    return list;
}

} // namespace pagimo::engine
