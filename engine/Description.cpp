#include "engine/Description.h"

#include "controls/ControlClasses.h"
#include "engine/CompositeReport.h"
#include "engine/FormHost.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "platform/system/ScopeGuard.h"
#include "printer/QRPrinter.h"

#include <algorithm>

namespace pagimo::engine {

namespace {

template <class F> void ForEachComponent(const system::TComponent& root, const F& f) {
    f(root);
    for (const system::TComponent* c : root.Components())
        ForEachComponent(*c, f);
}

bool IsBuiltInFunction(const std::string& name) {
    return system::SameText(name, "PAGENUMBER") || system::SameText(name, "COLUMNNUMBER") ||
           system::SameText(name, "REPORTTITLE");
}

} // namespace

TQRDescription::TQRDescription(std::filesystem::path file, TReportRunOptions options)
    : FFile(std::move(file)), FOptions(std::move(options)) {
    RegisterReportClasses(FRegistry);
    RegisterFormHostClasses(FRegistry);
    controls::RegisterControlClasses(FRegistry);
    FRoot = ReadFormFile(
        FFile, FRegistry, [this](system::TComponent& c) { FOptions.ApplyToComponent(c); }, &FLines);
    FComposite = FindCompositeReport(*FRoot);
    FReport = FComposite ? (FComposite->ReportList().empty() ? nullptr : FComposite->ReportList().front())
                         : FindFirstReport(*FRoot);
    for (const auto& [name, expression] : FOptions.Functions)
        SetFunction(name, expression);
    ForEachComponent(*FRoot, [this](const system::TComponent& c) {
        if (auto* report = dynamic_cast<const TCustomQRReport*>(&c)) Listen(const_cast<TCustomQRReport&>(*report));
    });
}

TQRDescription::~TQRDescription() = default;

std::vector<TQRReport*> TQRDescription::Reports() const {
    if (FComposite) return FComposite->ReportList();
    if (FReport) return {FReport};
    return {};
}

std::vector<std::string> TQRDescription::DataFiles() const {
    return DescriptionDataFiles(*FRoot);
}

std::vector<std::string> TQRDescription::ParameterNames() const {
    std::vector<std::string> names;
    auto add = [&names](const std::string& name) {
        if (IsBuiltInFunction(name)) return;
        for (const std::string& n : names)
            if (system::SameText(n, name)) return;
        names.push_back(name);
    };
    ForEachComponent(*FRoot, [&](const system::TComponent& c) {
        if (const auto* report = dynamic_cast<const TCustomQRReport*>(&c))
            for (const std::string& name : report->Functions()->Names())
                add(name);
        if (const auto* dataSet = dynamic_cast<const TQRDataSet*>(&c))
            if (auto* params = const_cast<TQRDataSet*>(dataSet)->Params())
                for (const TQRParam& p : *params)
                    add(p.Name);
    });
    return names;
}

std::vector<std::string> TQRDescription::EventHandlers() const {
    return EventHandlerNames(*FRoot);
}

void TQRDescription::SetFunction(const std::string& name, const std::string& expression) {
    const std::vector<std::string> known = ParameterNames();
    const bool found = IsBuiltInFunction(name) || std::any_of(known.begin(), known.end(), [&](const std::string& n) {
                           return system::SameText(n, name);
                       });
    if (!found) {
        std::string list;
        for (const std::string& n : known)
            list += (list.empty() ? "" : ", ") + n;
        throw EUnknownParameter(FFile.string() + ": no parameter " + name + " in the description (" +
                                (list.empty() ? std::string("it has none") : "it has " + list) + ")");
    }
    ForEachComponent(*FRoot, [&](const system::TComponent& c) {
        if (const auto* report = dynamic_cast<const TCustomQRReport*>(&c)) report->Functions()->Set(name, expression);
    });
}

void TQRDescription::Listen(TCustomQRReport& report) {
    report.OnDiagnostic = [this](TCustomQRReport& r, const controls::TQRRunDiagnostic& d) {
        if (!OnDiagnostic) return;
        OnDiagnostic({&r, &d, d.Component ? FLines.Line(d.Component, d.Property) : 0, DiagnosticText(r, d)});
    };
    report.OnStartPage = [this](TCustomQRReport& r) {
        if (OnPage) OnPage(r.PageCount());
    };
}

TQRReport& TQRDescription::RequireReport() const {
    if (!FReport) throw EQRError(FFile.string() + ": no report in the description");
    return *FReport;
}

std::unique_ptr<printer::TQRPrinter> TQRDescription::Record() {
    FRunning = true;
    system::TScopeGuard done([this] { FRunning = false; });
    if (FComposite) return FComposite->Record();
    TQRReportRunner runner(RequireReport());
    return runner.Record();
}

void TQRDescription::Print() {
    FRunning = true;
    system::TScopeGuard done([this] { FRunning = false; });
    if (!printer::TQRPrinter().HasPrinters()) throw EQRError("No printer is installed");
    if (FComposite) {
        FComposite->Print();
        return;
    }
    TQRReportRunner runner(RequireReport());
    runner.Print();
}

void TQRDescription::Export(printer::TQRExporter& filter) {
    // Export filters run a single report.
    if (FComposite) throw EQRError("a composite report records to .qrp or .pdf only");
    FRunning = true;
    system::TScopeGuard done([this] { FRunning = false; });
    TQRReportRunner runner(RequireReport());
    runner.Export(filter);
}

void TQRDescription::Run(TQRReportTarget& target) {
    FRunning = true;
    system::TScopeGuard done([this] { FRunning = false; });
    if (FComposite) {
        FComposite->Run(target);
        return;
    }
    TQRReport& report = RequireReport();
    report.SetPrintTarget(&target);
    system::TScopeGuard detach([&report] { report.SetPrintTarget(nullptr); });
    report.CreateReport(false);
}

void TQRDescription::Cancel() {
    if (!FRunning) return;
    if (FComposite)
        FComposite->Cancel();
    else if (FReport)
        FReport->Cancel();
}

bool TQRDescription::Cancelled() const {
    for (const TQRReport* r : Reports())
        if (r->Cancelled()) return true;
    return false;
}

} // namespace pagimo::engine
