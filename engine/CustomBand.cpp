#include "engine/CustomBand.h"

#include "engine/Report.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"

namespace pagimo::engine {

namespace {

constexpr const char* Captions[] = {"Title",         "Page Header",  "Detail",       "Page Footer",
                                    "Summary",       "Group Header", "Group Footer", "Sub Detail",
                                    "Column Header", "Overlay",      "Child"};
constexpr const char* DefaultNames[] = {"TitleBand",        "PageHeaderBand",  "DetailBand",      "PageFooterBand",
                                        "SummaryBand",      "GroupHeaderBand", "GroupFooterBand", "SubDetailBand",
                                        "ColumnHeaderBand", "OverlayBand",     "ChildBand"};

// A control that keeps asking for one more page would otherwise run forever.
constexpr int MaxContinuations = 100000;

} // namespace

const system::TEnumInfo& BandTypeInfo() {
    static const system::TEnumInfo info{"TQRBandType",
                                        {"rbTitle", "rbPageHeader", "rbDetail", "rbPageFooter", "rbSummary",
                                         "rbGroupHeader", "rbGroupFooter", "rbSubDetail", "rbColumnHeader", "rbOverlay",
                                         "rbChild"}};
    return info;
}

const char* BandTypeCaption(TQRBandType type) {
    return Captions[type];
}
const char* BandTypeDefaultName(TQRBandType type) {
    return DefaultNames[type];
}

TQRCustomBand::TQRCustomBand() : FSize(std::make_unique<TQRBandSize>()) {
    // Its destructor speaks only to its report, which looks after its bands itself.
    SetQuietInTeardown(true);
    FSize->SetOnResize([this](int32_t h, int32_t w) {
        TQRBasePanel::SetBounds(FLeft, FTop, w, h);
        for (controls::TQRPrintable* p : Printables())
            p->BandNotify(this, 2);
    });
    // 40 pixels high at the reference screen.
    FSize->SetStoredValues({40 * 254.0L / controls::ScreenPixelsPerInch, 0});
}

TQRCustomBand::~TQRCustomBand() {
    BeginDestroy();
    if (FReport) FReport->RemoveBand(this);
}

void TQRCustomBand::SetBandType(TQRBandType type) {
    if (type == FBandType) return;
    FBandType = type;
    if (FReport && !Loading()) FReport->RebuildBandList();
}

void TQRCustomBand::SetLinkBand(TQRCustomBand* band) {
    int steps = 0;
    for (TQRCustomBand* b = band; b; b = b->FLinkBand) {
        if (b == this || ++steps > 100000) return; // "Circular linking not allowed"
    }
    FLinkBand = band;
}

void TQRCustomBand::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    const int32_t oldHeight = FHeight;
    TQRBasePanel::SetBounds(left, top, width, height);
    if (FSize->ParentUpdating() || Loading() || height == oldHeight) return;
    FSize->EnterPixelUnits();
    FSize->SetHeight(height);
    FSize->LeavePixelUnits();
}

void TQRCustomBand::SetParentComponent(system::TComponent* parent) {
    TCustomQRReport* report = dynamic_cast<TCustomQRReport*>(parent);
    if (!report) {
        if (auto* band = dynamic_cast<TQRCustomBand*>(parent)) report = band->Report();
    }
    if (!report) throw EQRError(std::string("A band must be placed on a report"));
    report->AddBand(this);
}

system::TComponent* TQRCustomBand::GetParentComponent() const {
    return FReport;
}

void TQRCustomBand::Loaded() {
    FSize->ApplyNamedValues(FSize->Units()); // its report has applied them already
    FSize->ResizeOwner();
    if (FChildWanted) {
        FChildWanted = false;
        SetHasChild(true);
    }
}

void TQRCustomBand::Notification(system::TComponent* component, system::TOperation operation) {
    if (operation != system::opRemove) return;
    if (component == FLinkBand) FLinkBand = nullptr;
    if (component == FReport) FReport = nullptr;
}

Extended TQRCustomBand::StretchHeight(bool withLinks) const {
    // The band and its linked bands must fit together; all heights are in the stored unit (the
    // window's pixel height of a linked band is not added again).
    Extended h = FSize->NativeValue(TQRBandSize::HeightIndex);
    if (withLinks && FLinkBand) h += FLinkBand->StretchHeight(true);
    return h;
}

bool TQRCustomBand::CanExpand(Extended amount) const {
    if (!FReport) return false;
    return FReport->AvailableSpace() >= Rnd(amount + FSize->NativeValue(TQRBandSize::HeightIndex) + FExpanded);
}

bool TQRCustomBand::ExpandBand(Extended amount, Extended& newExpansion, bool& hasExpanded) {
    if (!CanExpand(amount)) return false;
    if (hasExpanded || amount >= FExpanded) FExpanded += amount;
    newExpansion = FExpanded;
    hasExpanded = true;
    return true;
}

void TQRCustomBand::MakeSpace() {
    if (TQRGeneration* run = FReport ? FReport->Generation() : nullptr) run->MakeSpace(*this);
}

void TQRCustomBand::Print() {
    TQRGeneration& run = *FReport->Generation();
    bool printBand = Enabled();
    if (printBand && BeforePrint) BeforePrint(*this, printBand);
    if (printBand) printBand = run.BandConditionHolds(*this);
    if (printBand) {
        run.MakeRoom(*this);
        run.BandPrinted();
        run.BandPlaced(*this);
        if (FNotifyController) FNotifyController->NotifyExprs();
        TQRReportTarget& t = run.Target();
        const Extended height = FSize->NativeValue(TQRBandSize::HeightIndex);
        const Extended width = FSize->NativeValue(TQRBandSize::WidthIndex);
        FBandOutline = {t.DeviceX(run.CurrentX()), t.DeviceY(run.CurrentY()), t.DeviceX(run.CurrentX() + width),
                        t.DeviceY(run.CurrentY() + height)};
        if (FHeight != 0 && Enabled()) {
            if (run.FinalPass()) t.FillRect(FBandOutline, Color());
            FExpanded = 0;
            bool first = true;
            for (int continuation = 0;; ++continuation) {
                bool allFinished = true;
                for (controls::TQRPrintable* p : std::vector<controls::TQRPrintable*>(Printables())) {
                    if (!p->Enabled()) continue;
                    // A control whose PrintCondition is false sits this print out (and so is finished).
                    if (first ? p->PrintConditionHolds() : !p->PrintFinished())
                        p->PrintAt(Clamp32(run.CurrentX()), Clamp32(run.CurrentY()));
                    allFinished = allFinished && p->PrintFinished();
                }
                if (run.FinalPass()) {
                    FBandOutline = {
                        t.DeviceX(run.CurrentX()), t.DeviceY(run.CurrentY()), t.DeviceX(run.CurrentX() + width),
                        t.DeviceY(run.CurrentY() + FSize->NativeValue(TQRBandSize::HeightIndex) + FExpanded + 1)};
                    Frame()->StrokeFrameEdges([&t](const controls::TRect& rc, TColor c) { t.FillRect(rc, c); },
                                              FBandOutline, t.ScaleX(), t.ScaleY());
                }
                if (allFinished) break;
                if (continuation >= MaxContinuations) throw EQRError(Name() + ": controls never finish printing");
                run.ContinueBand();
                FSize->SetStoredValues({height, width});
                FExpanded = 0;
                first = false;
            }
            run.Advance(*this, FSize->NativeValue(TQRBandSize::HeightIndex) + FExpanded);
            FSize->SetStoredValues({height, width});
        }
    } else if (FNotifyController && !Enabled()) {
        FNotifyController->NotifyExprs();
    }
    if (AfterPrint) AfterPrint(*this, printBand);
    if (TQRCustomBand* child = GetChildBand()) {
        // A page footer's child prints as a page footer.
        const bool underFooter = BandType() == rbPageFooter;
        if (underFooter) child->FBandType = rbPageFooter;
        system::TScopeGuard back([child, underFooter] {
            if (underFooter) child->FBandType = rbChild;
        });
        run.PrintBand(child);
    }
    run.EndBand();
}

TQRCustomBand* TQRCustomBand::GetChildBand() const {
    return FReport ? FReport->ChildOf(this) : nullptr;
}

void TQRCustomBand::SetHasChild(bool hasChild) {
    if (!FReport || hasChild == HasChild()) return;
    system::TComponent* owner = Owner() ? Owner() : FReport;
    if (hasChild) {
        auto* child = system::TComponent::Create<TQRChildBand>(owner);
        // Named like the designer names bands, so that a written description can refer to it.
        for (int n = 1;; ++n) {
            const std::string name = "ChildBand" + std::to_string(n);
            if (!owner->FindComponent(name) && !system::SameText(owner->Name(), name)) {
                child->SetName(name);
                break;
            }
        }
        FReport->AddBand(child);
        child->SetParentBand(this);
        return;
    }
    auto* child = static_cast<TQRChildBand*>(GetChildBand());
    if (auto* grandChild = static_cast<TQRChildBand*>(child->GetChildBand())) grandChild->SetParentBand(this);
    if (child->Owner()) child->Owner()->FreeComponent(child);
}

const system::TPropertyList& TQRCustomBand::ClassProperties() {
    using namespace system;
    static const TPropertyList list(&TQRBasePanel::ClassProperties(),
                                    {BoolProperty<TQRCustomBand>("AlignToBottom", &TQRCustomBand::AlignToBottom,
                                                                 &TQRCustomBand::SetAlignToBottom, false),
                                     BoolProperty<TQRCustomBand>("ForceNewColumn", &TQRCustomBand::ForceNewColumn,
                                                                 &TQRCustomBand::SetForceNewColumn, false),
                                     BoolProperty<TQRCustomBand>("ForceNewPage", &TQRCustomBand::ForceNewPage,
                                                                 &TQRCustomBand::SetForceNewPage, false),
                                     // Not stored: a written description carries the child band itself.
                                     TPropertyInfo{"HasChild",
                                                   [](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                                       auto& band = static_cast<TQRCustomBand&>(o);
                                                       const bool want = BooleanValue(v);
                                                       if (band.Loading())
                                                           band.FChildWanted = want;
                                                       else
                                                           band.SetHasChild(want);
                                                   },
                                                   nullptr, nullptr, "Boolean"},
                                     ComponentProperty<TQRCustomBand, TQRCustomBand>(
                                         "LinkBand", &TQRCustomBand::LinkBand, &TQRCustomBand::SetLinkBand),
                                     StringProperty<TQRCustomBand>("PrintCondition", &TQRCustomBand::PrintCondition,
                                                                   &TQRCustomBand::SetPrintCondition),
                                     ObjectProperty<TQRCustomBand, TQRBandSize>("Size", &TQRCustomBand::Size)});
    return list;
}

const system::TPropertyList& TQRBand::ClassProperties() {
    static const system::TPropertyList list(
        &TQRCustomBand::ClassProperties(),
        {system::EnumProperty<TQRCustomBand, TQRBandType>("BandType", BandTypeInfo(), &TQRCustomBand::BandType,
                                                          &TQRCustomBand::SetBandType, std::nullopt)});
    return list;
}

void TQRChildBand::SetParentBand(TQRCustomBand* band) {
    // A chain can only come back to this band when some band names it as parent; a band that is
    // nobody's parent (every new one in a description) needs no walk up the chain.
    if (FChildren > 0) {
        int steps = 0;
        for (TQRCustomBand* b = band; b;
             b = dynamic_cast<TQRChildBand*>(b) ? static_cast<TQRChildBand*>(b)->FParentBand : nullptr) {
            if (b == this || ++steps > 100000) return; // "Circular linking not allowed"
        }
    } else if (band == this) {
        return;
    }
    LinkParent(band);
    if (Report() && !Loading()) Report()->RebuildBandList();
}

void TQRChildBand::LinkParent(TQRCustomBand* band) {
    if (auto* old = dynamic_cast<TQRChildBand*>(FParentBand)) --old->FChildren;
    FParentBand = band;
    if (auto* now = dynamic_cast<TQRChildBand*>(band)) ++now->FChildren;
    if (Report()) Report()->ChildLinksChanged();
}

void TQRChildBand::Notification(system::TComponent* component, system::TOperation operation) {
    TQRCustomBand::Notification(component, operation);
    if (operation == system::opRemove && component == FParentBand) {
        FParentBand = nullptr;
        if (Report()) Report()->ChildLinksChanged();
    }
}

const system::TPropertyList& TQRChildBand::ClassProperties() {
    static const system::TPropertyList list(
        &TQRCustomBand::ClassProperties(), {system::ComponentProperty<TQRChildBand, TQRCustomBand>(
                                               "ParentBand", &TQRChildBand::ParentBand, &TQRChildBand::SetParentBand)});
    return list;
}

} // namespace pagimo::engine
