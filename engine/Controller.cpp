#include "engine/Controller.h"

#include "engine/Report.h"
#include "platform/system/Errors.h"

#include <algorithm>

namespace pagimo::engine {

TQRCustomController::~TQRCustomController() = default;

namespace {

// The run of the report a controller serves; controllers run only inside one.
TQRGeneration& RunOf(const TCustomQRReport* report) {
    return *report->Generation();
}

// The components a controller scans: those of the host's owner (the form), then the host's own.
std::vector<system::TComponent*> Candidates(system::TComponent* host) {
    std::vector<system::TComponent*> out;
    if (host->Owner()) out = host->Owner()->Components();
    for (system::TComponent* c : host->Components()) {
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

} // namespace

void TQRCustomController::PrintBandOf(TQRCustomBand* band) {
    if (band) RunOf(FReport).PrintBand(band);
}

void TQRCustomController::CollectControllers() {
    FBeforeControllers.clear();
    FAfterControllers.clear();
    FGroups.clear();
    for (system::TComponent* c : Candidates(FHost)) {
        if (auto* band = dynamic_cast<TQRControllerBand*>(c)) {
            TQRController* sub = band->Controller();
            if (band->Destroying() || sub == this || sub->Master() != FHost) continue;
            sub->SetOwningReport(FReport);
            (sub->PrintBefore() ? FBeforeControllers : FAfterControllers).push_back(sub);
            sub->CollectControllers();
        } else if (auto* group = dynamic_cast<TQRGroup*>(c)) {
            if (group->Destroying() || group->Master() != FHost) continue;
            FGroups.push_back(group);
            group->SetParentReport(FReport);
        }
    }
    CollectDataSets();
}

void TQRCustomController::CollectDataSets() {}

void TQRCustomController::CheckDataSets() {
    for (auto* c : FBeforeControllers)
        c->CheckDataSets();
    for (auto* c : FAfterControllers)
        c->CheckDataSets();
}

void TQRCustomController::PrepareRun() {
    FRecordListeners.clear();
    for (auto* c : FBeforeControllers)
        c->PrepareRun();
    for (auto* c : FAfterControllers)
        c->PrepareRun();
    if (FGroups.empty()) return;
    TQRGeneration& run = RunOf(FReport);
    for (TQRGroup* g : FGroups) {
        TQRGroupRun& group = run.Group(*g);
        group.Prepare(*g, *FReport);
    }
}

void TQRCustomController::ReleaseRun() {
    for (auto* c : FBeforeControllers)
        c->ReleaseRun();
    for (auto* c : FAfterControllers)
        c->ReleaseRun();
    if (FGroups.empty()) return;
    TQRGeneration& run = RunOf(FReport);
    for (TQRGroup* g : FGroups)
        run.Group(*g).Release();
}

void TQRCustomController::Execute() {
    if (FPrintIfEmpty) RunWithoutData();
}

void TQRCustomController::RunWithoutData() {
    RunBeforeControllers();
    RunAfterControllers();
}

void TQRCustomController::RunBeforeControllers() {
    for (auto* c : FBeforeControllers)
        c->Execute();
}

void TQRCustomController::RunAfterControllers() {
    for (auto* c : FAfterControllers)
        c->Execute();
}

void TQRCustomController::RegisterBands(std::vector<TQRCustomBand*>& list) {
    for (TQRGroup* g : FGroups)
        list.push_back(g);
    for (auto* c : FBeforeControllers)
        c->RegisterBands(list);
    for (auto* c : FAfterControllers)
        c->RegisterBands(list);
    for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it) {
        if ((*it)->FooterBand()) list.push_back((*it)->FooterBand());
    }
}

bool TQRCustomController::CheckGroups() {
    if (FGroups.empty()) return false;
    TQRGeneration& run = RunOf(FReport);
    bool changed = false;
    for (TQRGroup* g : FGroups) {
        TQRGroupRun& state = run.Group(*g);
        if (changed) {
            state.StoreCurrentValue();
            state.Changed = true;
            continue;
        }
        state.TestGroupValue();
        changed = state.Changed;
    }
    return changed;
}

void TQRCustomController::PrintGroupHeaders(bool reprint) {
    if (FGroups.empty()) return;
    TQRGeneration& run = RunOf(FReport);
    for (TQRGroup* g : FGroups) {
        if (!run.Group(*g).Changed) continue;
        // A new group value restarts the page numbers on the page its header lands on.
        if (!reprint && g->ResetPageNumber()) run.StartSectionAt(g);
        PrintBandOf(g);
        TQRGroupRun& state = run.Group(*g);
        state.GroupOpen = true;
        state.HeaderPage = run.PageCount();
    }
}

void TQRCustomController::PrintGroupFooters() {
    if (FGroups.empty()) return;
    TQRGeneration& run = RunOf(FReport);
    for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it) {
        TQRGroup* g = *it;
        if (!run.Group(*g).Changed) continue;
        PrintBandOf(g->FooterBand());
        run.Group(*g).GroupOpen = false;
    }
}

void TQRCustomController::ReprintGroupHeaders() {
    TQRGeneration& run = RunOf(FReport);
    for (TQRGroup* g : FGroups) {
        if (run.Group(*g).Changed) return; // a group break is being processed
    }
    for (auto* c : FBeforeControllers)
        c->ReprintGroupHeaders();
    bool marked = false;
    for (TQRGroup* g : FGroups) {
        TQRGroupRun& state = run.Group(*g);
        if (marked) {
            state.StoreCurrentValue();
            state.Changed = true;
            state.HeaderPage = run.PageCount();
            continue;
        }
        state.Changed = g->ReprintOnNewPage() && state.GroupOpen && state.HeaderPage != run.PageCount();
        if (state.Changed) {
            state.HeaderPage = run.PageCount();
            marked = true;
        }
    }
    if (marked) {
        PrintGroupHeaders(true);
        // The reprint is no group break: the next record's test must not see these flags.
        for (TQRGroup* g : FGroups)
            run.Group(*g).Changed = false;
    }
    for (auto* c : FAfterControllers)
        c->ReprintGroupHeaders();
}

void TQRCustomController::NotifyExprs() {
    for (controls::TQRPrintable* p : FRecordListeners)
        p->BandNotify(nullptr, 0);
}

void TQRController::PrepareRun() {
    TQRCustomController::PrepareRun();
    FRefreshParams = false;
    if (!FDataSet || !FReport) return;
    if (auto* params = FDataSet->Params()) {
        for (const TQRParam& p : *params) {
            if (FReport->Functions()->Find(p.Name)) FRefreshParams = true;
        }
    }
}

void TQRController::CheckDataSets() {
    TQRCustomController::CheckDataSets();
    // A closed data set gives the run no records (unless a handler gives them): the report prints
    // as if it had none.
    if (FDataSet && FReport && !FDataSet->Active() && !OnNeedData)
        FReport->Diagnose(
            {controls::TQRRunDiagnostic::InactiveDataSet, FHost->Name(), 0, FDataSet->Name(), FDataSet, "Active"});
}

void TQRController::RefreshParams() {
    FDataSet->Close();
    AssignParamsFromFunctions(*FDataSet, *FReport);
    FDataSet->Open();
}

void AssignParamsFromFunctions(TQRDataSet& dataSet, const TCustomQRReport& report) {
    auto* params = dataSet.Params();
    if (!params) return;
    for (TQRParam& p : *params) {
        std::optional<TFieldValue> v = report.FunctionValue(p.Name);
        if (!v) continue;
        // Assigned by the parameter's type; SQLite parameters (ftUnknown) take any value.
        const bool isString = std::holds_alternative<std::string>(*v);
        const bool isInt = std::holds_alternative<int64_t>(*v);
        const bool isFloat = std::holds_alternative<double>(*v);
        const bool isBool = std::holds_alternative<bool>(*v);
        switch (p.DataType) {
        case TFieldType::ftUnknown:
            p.Value = *v;
            break;
        case TFieldType::ftString:
        case TFieldType::ftDate:
        case TFieldType::ftTime:
        case TFieldType::ftDateTime:
            if (isString) p.Value = *v;
            break;
        case TFieldType::ftInteger:
            if (isInt) p.Value = *v;
            break;
        case TFieldType::ftBoolean:
            if (isBool) p.Value = *v;
            break;
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
        case TFieldType::ftBCD:
            if (isFloat) p.Value = *v;
            break;
        default:
            break;
        }
    }
}

void TQRController::Execute() {
    int recordCount = 1;
    const bool hasData = FDataSet && FDataSet->Active();
    if ((!hasData && !OnNeedData) || !FReport) {
        if (FPrintIfEmpty && FReport) RunWithoutData();
        return;
    }
    TQRGeneration& run = RunOf(FReport);
    for (TQRGroup* g : FGroups)
        run.Group(*g).HasValue = false;
    bool more = true;
    if (hasData) {
        if (FRefreshParams) RefreshParams();
        FDataSet->First();
        more = !FDataSet->Eof();
        if (dynamic_cast<TQRReport*>(FHost)) recordCount = FReport->RecordCount();
        if (!more && FPrintIfEmpty) RunWithoutData();
    } else {
        OnNeedData(*FHost, more);
    }
    FDetailNumber = 0;
    if (FDetail) FDetail->SetNotifyController(this);
    if (!more) return;
    FReport->Target()->ProcessMessages();
    if (FReport->Cancelled()) return;
    const bool hostIsReport = FHost == FReport;
    // A title or column header that printed opened page 1, and the first forced page break is
    // swallowed so that it does not leave them alone there. One that printed nothing leaves no page
    // to protect: swallowing a break then would put the first two records on one page.
    int printed = run.BandsPrinted();
    PrintBandOf(FHeader);
    if (hostIsReport && run.BandsPrinted() > printed) run.SuppressNextPageBreak();
    if (hostIsReport && run.PageCount() <= 1) {
        TQRCustomBand* columnHeader = FReport->BandOfType(rbColumnHeader);
        if (columnHeader && columnHeader->Enabled()) {
            printed = run.BandsPrinted();
            run.PrintBand(columnHeader);
            if (run.BandsPrinted() > printed) run.SuppressNextPageBreak();
        }
    }
    CheckGroups();
    while (more) {
        FReport->Target()->ProcessMessages();
        if (FReport->Target()->CancelRequested() || FReport->Cancelled()) return;
        ++FDetailNumber;
        PrintGroupHeaders();
        RunBeforeControllers();
        PrintBandOf(FDetail);
        RunAfterControllers();
        if (hasData) {
            FDataSet->Next();
            more = !FDataSet->Eof();
        } else {
            more = false;
            OnNeedData(*FHost, more);
        }
        if (CheckGroups()) {
            // Footers show the last record of their group: a data set steps back to it; records from
            // OnNeedData cannot be revisited, so their footers print with what the handler holds now.
            if (hasData) {
                FDataSet->Prior();
                PrintGroupFooters();
                FDataSet->Next();
            } else {
                PrintGroupFooters();
            }
        }
        if (hostIsReport && hasData && FReport->DataSet() == FDataSet && recordCount != 0) {
            FReport->Target()->SetProgress(FDetailNumber * 100 / recordCount);
        }
    }
    for (TQRGroup* g : FGroups) {
        TQRGroupRun& state = run.Group(*g);
        state.Changed = !state.Changed;
    }
    PrintGroupFooters();
    if (FFooter) {
        if (run.PageCount() == 0) run.NewPage();
        PrintBandOf(FFooter);
    }
}

void TQRController::RunWithoutData() {
    PrintBandOf(FHeader);
    RunBeforeControllers();
    PrintBandOf(FDetail);
    RunAfterControllers();
    PrintBandOf(FFooter);
}

void TQRController::RegisterBands(std::vector<TQRCustomBand*>& list) {
    if (FHeader) list.push_back(FHeader);
    for (TQRGroup* g : FGroups)
        list.push_back(g);
    for (auto* c : FBeforeControllers)
        c->RegisterBands(list);
    if (FDetail) list.push_back(FDetail);
    for (auto* c : FAfterControllers)
        c->RegisterBands(list);
    for (auto it = FGroups.rbegin(); it != FGroups.rend(); ++it) {
        if ((*it)->FooterBand()) list.push_back((*it)->FooterBand());
    }
    if (FFooter) list.push_back(FFooter);
}

TQRControllerBand::TQRControllerBand() : FController(std::make_unique<TQRController>(this)) {
    FController->SetDetail(this);
}

TQRControllerBand::~TQRControllerBand() {
    BeginDestroy();
}

void TQRControllerBand::SetMaster(system::TComponent* master) {
    // Only the report or another controller band can be a master; a chain back to this band is refused.
    if (master && !dynamic_cast<TCustomQRReport*>(master) && !dynamic_cast<TQRControllerBand*>(master)) return;
    int steps = 0;
    for (system::TComponent* m = master; m;) {
        if (m == this || ++steps > 100000) return; // "Circular linking not allowed"
        auto* band = dynamic_cast<TQRControllerBand*>(m);
        m = band ? band->Master() : nullptr;
    }
    FController->SetMaster(master);
    if (Report() && !Loading()) Report()->RebuildBandList();
}

void TQRControllerBand::SetParentComponent(system::TComponent* parent) {
    TQRCustomBand::SetParentComponent(parent);
    if (!Master() && Report()) FController->SetMaster(Report());
}

void TQRControllerBand::Notification(system::TComponent* component, system::TOperation operation) {
    TQRCustomBand::Notification(component, operation);
    if (operation != system::opRemove) return;
    if (component == FController->Master()) FController->SetMaster(nullptr);
    if (component == FController->DataSet()) FController->SetDataSet(nullptr);
    if (component == FController->Header()) FController->SetHeader(nullptr);
    if (component == FController->Footer()) FController->SetFooter(nullptr);
}

const system::TPropertyList& TQRControllerBand::ClassProperties() {
    using namespace system;
    static const TPropertyList list(&TQRCustomBand::ClassProperties(),
                                    {ComponentProperty<TQRControllerBand, TComponent>(
                                        "Master", &TQRControllerBand::Master, &TQRControllerBand::SetMaster)});
    return list;
}

void TQRSubDetail::SetHeaderBand(TQRCustomBand* band) {
    Controller()->SetHeader(band);
    if (band) band->SetBandType(rbGroupHeader);
}

void TQRSubDetail::SetFooterBand(TQRCustomBand* band) {
    Controller()->SetFooter(band);
    if (band) band->SetBandType(rbGroupFooter);
}

void TQRSubDetail::SetPrintBefore(bool v) {
    Controller()->SetPrintBefore(v);
    if (Report() && !Loading()) Report()->RebuildBandList();
}

void TQRSubDetail::Notification(system::TComponent* component, system::TOperation operation) {
    TQRControllerBand::Notification(component, operation);
}

void TQRSubDetail::Loaded() {
    TQRControllerBand::Loaded();
    if (FBands->FHeaderWanted && !HeaderBand()) FBands->SetHasHeader(true);
    if (FBands->FFooterWanted && !FooterBand()) FBands->SetHasFooter(true);
    FBands->FHeaderWanted = FBands->FFooterWanted = false;
}

bool TQRSubDetailGroupBands::HasHeader() const {
    return FOwner.HeaderBand() != nullptr;
}

bool TQRSubDetailGroupBands::HasFooter() const {
    return FOwner.FooterBand() != nullptr;
}

void TQRSubDetailGroupBands::SetHasHeader(bool v) {
    if (FOwner.Loading()) {
        FHeaderWanted = v;
        return;
    }
    if (v == HasHeader()) return;
    if (v) {
        if (TCustomQRReport* report = FOwner.Report()) FOwner.SetHeaderBand(report->NewBandOfType(rbGroupHeader));
    } else if (TQRCustomBand* band = FOwner.HeaderBand(); band->Owner()) {
        band->Owner()->FreeComponent(band);
    }
}

void TQRSubDetailGroupBands::SetHasFooter(bool v) {
    if (FOwner.Loading()) {
        FFooterWanted = v;
        return;
    }
    if (v == HasFooter()) return;
    if (v) {
        if (TCustomQRReport* report = FOwner.Report()) FOwner.SetFooterBand(report->NewBandOfType(rbGroupFooter));
    } else if (TQRCustomBand* band = FOwner.FooterBand(); band->Owner()) {
        band->Owner()->FreeComponent(band);
    }
}

const system::TPropertyList& TQRSubDetailGroupBands::ClassProperties() {
    using namespace system;
    using B = TQRSubDetailGroupBands;
    static const TPropertyList list(
        nullptr, {TPropertyInfo{"HasFooter",
                                [](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                    static_cast<B&>(o).SetHasFooter(BooleanValue(v));
                                },
                                nullptr, nullptr, "Boolean"},
                  TPropertyInfo{"HasHeader",
                                [](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                    static_cast<B&>(o).SetHasHeader(BooleanValue(v));
                                },
                                nullptr, nullptr, "Boolean"}});
    return list;
}

const system::TPropertyList& TQRSubDetail::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        &TQRControllerBand::ClassProperties(),
        {ObjectProperty<TQRSubDetail, TQRSubDetailGroupBands>("Bands", &TQRSubDetail::Bands),
         ComponentProperty<TQRSubDetail, TQRDataSet>("DataSet", &TQRSubDetail::DataSet, &TQRSubDetail::SetDataSet),
         ComponentProperty<TQRSubDetail, TQRCustomBand>("FooterBand", &TQRSubDetail::FooterBand,
                                                        &TQRSubDetail::SetFooterBand),
         ComponentProperty<TQRSubDetail, TQRCustomBand>("HeaderBand", &TQRSubDetail::HeaderBand,
                                                        &TQRSubDetail::SetHeaderBand),
         BoolProperty<TQRSubDetail>("PrintBefore", &TQRSubDetail::PrintBefore, &TQRSubDetail::SetPrintBefore, false),
         BoolProperty<TQRSubDetail>("PrintIfEmpty", &TQRSubDetail::PrintIfEmpty, &TQRSubDetail::SetPrintIfEmpty,
                                    true)});
    return list;
}

void TQRGroup::SetFooterBand(TQRCustomBand* band) {
    FFooterBand = band;
    if (band) band->SetBandType(rbGroupFooter);
}

void TQRGroup::SetMaster(system::TComponent* master) {
    if (master && !dynamic_cast<TCustomQRReport*>(master) && !dynamic_cast<TQRControllerBand*>(master)) return;
    FMaster = master;
    if (Report() && !Loading()) Report()->RebuildBandList();
}

void TQRGroup::SetParentComponent(system::TComponent* parent) {
    TQRCustomBand::SetParentComponent(parent);
    if (!FMaster && Report()) FMaster = Report();
}

void TQRGroup::Notification(system::TComponent* component, system::TOperation operation) {
    TQRCustomBand::Notification(component, operation);
    if (operation != system::opRemove) return;
    if (component == FFooterBand) FFooterBand = nullptr;
    if (component == FMaster) FMaster = nullptr;
}

const system::TPropertyList& TQRGroup::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        &TQRCustomBand::ClassProperties(),
        {StringProperty<TQRGroup>("Expression", &TQRGroup::Expression, &TQRGroup::SetExpression),
         ComponentProperty<TQRGroup, TQRCustomBand>("FooterBand", &TQRGroup::FooterBand, &TQRGroup::SetFooterBand),
         ComponentProperty<TQRGroup, TComponent>("Master", &TQRGroup::Master, &TQRGroup::SetMaster),
         BoolProperty<TQRGroup>("ReprintOnNewPage", &TQRGroup::ReprintOnNewPage, &TQRGroup::SetReprintOnNewPage,
                                false),
         BoolProperty<TQRGroup>("ResetPageNumber", &TQRGroup::ResetPageNumber, &TQRGroup::SetResetPageNumber,
                                false)});
    return list;
}

} // namespace pagimo::engine
