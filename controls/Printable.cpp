#include "controls/Printable.h"

#include "controls/ControlHost.h"
#include "expr/Evaluator.h"

namespace pagimo::controls {

using system::TFormValue;

const system::TEnumInfo& AlignmentInfo() {
    static const system::TEnumInfo info{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
    return info;
}

Extended TQRPrintableSize::GetValuePixels(size_t index) const {
    Extended v = ValueFromNative(TQRUnit::Pixels, Horizontal(index), NativeValue(index));
    if (FControl && FControl->ParentPanel()) v = v * FControl->ParentPanel()->PanelZoom() / 100;
    return v;
}

void TQRPrintableSize::SetValue(size_t index, Extended value) {
    TQRUnitBase::SetValue(index, value);
    ResizeOwner();
}

const system::TPropertyList& TQRPrintableSize::ClassProperties() {
    static const system::TPropertyList list(&TQRUnitBase::ClassProperties(),
                                            {NamedValue("Height", HeightIndex), NamedValue("Left", LeftIndex),
                                             NamedValue("Top", TopIndex), NamedValue("Width", WidthIndex)});
    return list;
}

void TQRPrintableSize::ResizeOwner() {
    if (!FControl) return;
    FParentUpdating = true;
    auto px = [&](size_t i) { return Rnd(ValueFromNative(TQRUnit::Pixels, Horizontal(i), NativeValue(i))); };
    FControl->SetBounds(px(LeftIndex), px(TopIndex), px(WidthIndex), px(HeightIndex));
    FParentUpdating = false;
}

TQRPrintable::TQRPrintable() : FFrame(std::make_unique<TQRFrame>()), FSize(std::make_unique<TQRPrintableSize>(this)) {
    // A control's links go to its parent panel, which tells it directly when it goes.
    SetTakesNotifications(false);
}

TQRPrintable::~TQRPrintable() {
    BeginDestroy();
    if (FParent) FParent->RemovePrintable(this);
}

void TQRPrintable::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    if (FSize->ParentUpdating()) {
        FLeft = left, FTop = top, FWidth = width, FHeight = height;
        return;
    }
    if (Loading()) {
        if (left) FPendingLeft = left;
        if (top) FPendingTop = top;
        if (width) FPendingWidth = width;
        if (height) FPendingHeight = height;
        return;
    }
    const TQRUnit saved = FSize->Units();
    FSize->SetUnits(TQRUnit::Pixels);
    const std::pair<size_t, int32_t> order[] = {{TQRPrintableSize::HeightIndex, height},
                                                {TQRPrintableSize::WidthIndex, width},
                                                {TQRPrintableSize::TopIndex, top},
                                                {TQRPrintableSize::LeftIndex, left}};
    for (auto [index, value] : order) {
        if (Rnd(FSize->GetValuePixels(index)) != value) FSize->SetValue(index, value);
    }
    FSize->SetUnits(saved);
    if (FAlignToBand && !FAligning) ApplyBandAlignment();
}

void TQRPrintable::Loaded() {
    // Its report has given it the named sizes in the report's Units already; outside a report they
    // are read in the control's own.
    FSize->ApplyNamedValues(FSize->Units());
    FSize->ResizeOwner();
    if (FLeft == 0 && FPendingLeft) FLeft = FPendingLeft;
    if (FTop == 0 && FPendingTop) FTop = FPendingTop;
    if (FWidth == 0 && FPendingWidth) FWidth = FPendingWidth;
    if (FHeight == 0 && FPendingHeight) FHeight = FPendingHeight;
}

void TQRPrintable::SetAlignment(TAlignment alignment) {
    FAlignment = alignment;
    if (FAlignToBand) ApplyBandAlignment();
}

void TQRPrintable::SetAlignToBand(bool align) {
    FAlignToBand = align;
    ApplyBandAlignment();
}

void TQRPrintable::ApplyBandAlignment() {
    if (!FAlignToBand || Loading()) return;
    FAligning = true;
    const bool onBand = FParent && FParent->IsBand();
    int32_t left = FLeft;
    switch (FAlignment) {
    case taLeftJustify:
        left = 0;
        break;
    case taRightJustify:
        if (onBand) left = FParent->ClientWidth() - FWidth;
        break;
    case taCenter:
        if (onBand) left = (FParent->ClientWidth() - FWidth) / 2;
        break;
    }
    if (left != FLeft) SetBounds(left, FTop, FWidth, FHeight);
    FAligning = false;
}

void TQRPrintable::SetZoom(int zoom) {
    FSize->SetZoom(zoom);
    FSize->ResizeOwner();
}

TQRControlReport* TQRPrintable::ControlReport() const {
    if (FControlReportOf != FReport || !FReport) {
        FControlReport = dynamic_cast<TQRControlReport*>(FReport);
        FControlReportOf = FReport;
    }
    return FControlReport;
}

TQRStretchParent* TQRPrintable::StretchParent() const {
    if (FStretchParentOf != FParent || !FParent) {
        FStretchParent = dynamic_cast<TQRStretchParent*>(FParent);
        FStretchParentOf = FParent;
    }
    return FStretchParent;
}

void TQRPrintable::SetParentReport(TQRPrintableReport* report) {
    FReport = report;
    FControlReportOf = nullptr;
    if (report)
        FSize->SetFontSizeSource([report] { return report->FontSize(); });
    else
        FSize->SetFontSizeSource(nullptr);
}

void TQRPrintable::SetParentComponent(system::TComponent* parent) {
    auto* panel = dynamic_cast<TQRPrintableParent*>(parent);
    if (panel == FParent) return;
    if (FParent) FParent->RemovePrintable(this);
    FParent = panel;
    FStretchParentOf = nullptr;
    if (!panel) return;
    panel->InsertPrintable(this);
    FSize->SetUnits(panel->PanelUnits());
    if (TQRPrintableReport* report = panel->ParentReport()) {
        SetParentReport(report);
        SetZoom(report->ReportZoom());
        if (!Loading()) SetBounds(FLeft, FTop, FWidth, FHeight);
    }
}

system::TComponent* TQRPrintable::GetParentComponent() const {
    return dynamic_cast<system::TComponent*>(FParent);
}

void TQRPrintable::StartPrinting() {
    FPrinting = true;
    FPrintFinished = true;
    FTarget = FReport ? FReport->PrintTarget() : nullptr;
    FCondition.reset();
    FConditionTold = false;
    if (!FPrintCondition.empty()) {
        FCondition = std::make_unique<expr::TQREvaluator>();
        FConditionTold = PrepareForRun(*FCondition, FPrintCondition, dynamic_cast<TQRControlReport*>(FReport), *this,
                                       "PrintCondition");
    }
}

void TQRPrintable::EndPrinting() {
    FPrinting = false;
    FPrintFinished = true;
    FCondition.reset();
}

bool TQRPrintable::ConditionValue(expr::TQREvaluator& condition, const char* property, bool otherwise, bool& told) {
    const expr::EvResult value = condition.Value();
    if (value.Kind == expr::resBool) return value.BooResult;
    if (!told) {
        told = true;
        if (auto* report = dynamic_cast<TQRControlReport*>(FReport)) {
            const std::string text = value.Kind != expr::resError ? std::string("not a true/false value")
                                     : value.StrResult.empty()    ? std::string("an error without message")
                                                                  : value.StrResult;
            report->Diagnose(
                {TQRRunDiagnostic::ExpressionError, Name(), report->CurrentPageCount(), text, this, property});
        }
    }
    return otherwise;
}

bool TQRPrintable::UsesPageTotal() const {
    return NamesPageTotal(FPrintCondition);
}

bool TQRPrintable::PrintConditionHolds() {
    if (!FCondition || !FCondition->Prepared()) return true;
    return ConditionValue(*FCondition, "PrintCondition", true, FConditionTold);
}

TRect TQRPrintable::DeviceRect(int32_t ofsX, int32_t ofsY) const {
    const Extended left = ofsX + FSize->NativeValue(TQRPrintableSize::LeftIndex);
    const Extended top = ofsY + FSize->NativeValue(TQRPrintableSize::TopIndex);
    return {FTarget->DeviceX(left), FTarget->DeviceY(top),
            FTarget->DeviceX(left + FSize->NativeValue(TQRPrintableSize::WidthIndex)),
            FTarget->DeviceY(top + FSize->NativeValue(TQRPrintableSize::HeightIndex))};
}

void TQRPrintable::PrintAt(int32_t ofsX, int32_t ofsY) {
    if (!FTarget || !FReport || !FReport->FinalPass() || FReport->Exporting() || !FFrame->HasAnyEdge()) return;
    FFrame->StrokeFrameEdges([this](const TRect& r, TColor c) { FTarget->FillRect(r, c); }, DeviceRect(ofsX, ofsY),
                             FTarget->ScaleX(), FTarget->ScaleY());
}

void TQRPrintable::BandNotify(system::TComponent*, int operation) {
    if (operation == 2 && FAlignToBand) ApplyBandAlignment();
}

const system::TPropertyList& TQRPrintable::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        &TComponent::ClassProperties(),
        {IntProperty<TQRPrintable>("Left", &TQRPrintable::LeftPx, &TQRPrintable::SetLeft, std::nullopt),
         IntProperty<TQRPrintable>("Top", &TQRPrintable::TopPx, &TQRPrintable::SetTop, std::nullopt),
         IntProperty<TQRPrintable>("Width", &TQRPrintable::WidthPx, &TQRPrintable::SetWidth, std::nullopt),
         IntProperty<TQRPrintable>("Height", &TQRPrintable::HeightPx, &TQRPrintable::SetHeight, std::nullopt),
         BoolProperty<TQRPrintable>("Enabled", &TQRPrintable::Enabled, &TQRPrintable::SetEnabled, true),
         ObjectProperty<TQRPrintable, TQRFrame>("Frame", &TQRPrintable::Frame),
         ObjectProperty<TQRPrintable, TQRPrintableSize>("Size", &TQRPrintable::Size),
         StringProperty<TQRPrintable>("PrintCondition", &TQRPrintable::PrintCondition,
                                      &TQRPrintable::SetPrintCondition)});
    return list;
}

} // namespace pagimo::controls
