#include "engine/BasePanel.h"

#include "engine/Report.h"

#include <algorithm>

namespace pagimo::engine {

TQRBasePanel::TQRBasePanel()
    : FFrame(std::make_unique<controls::TQRFrame>()), FFont(std::make_unique<controls::TFont>()) {}

TQRBasePanel::~TQRBasePanel() {
    BeginDestroy();
    for (controls::TQRPrintable* p : FPrintables)
        p->DetachParent();
}

void TQRBasePanel::SetZoom(int zoom) {
    if (zoom == 0) return;
    FZoom = zoom;
    for (controls::TQRPrintable* p : FPrintables)
        p->SetZoom(zoom);
}

void TQRBasePanel::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    FLeft = left, FTop = top, FWidth = width, FHeight = height;
}

controls::TQRPrintableReport* TQRBasePanel::ParentReport() const {
    return Report();
}

void TQRBasePanel::InsertPrintable(controls::TQRPrintable* control) {
    if (FPrintableSet.insert(control).second) FPrintables.push_back(control);
}

void TQRBasePanel::RemovePrintable(controls::TQRPrintable* control) {
    if (FPrintableSet.erase(control) == 0) return;
    // Controls mostly go in reverse order of coming.
    auto it = std::find(FPrintables.rbegin(), FPrintables.rend(), control);
    FPrintables.erase(std::prev(it.base()));
}

std::vector<system::TComponent*> TQRBasePanel::GetChildren() const {
    std::vector<system::TComponent*> out(FPrintables.begin(), FPrintables.end());
    for (system::TComponent* c : TComponent::GetChildren()) {
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    }
    return out;
}

const system::TPropertyList& TQRBasePanel::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        &TComponent::ClassProperties(),
        {IntProperty<TQRBasePanel>("Left", &TQRBasePanel::Left, &TQRBasePanel::SetLeft, std::nullopt),
         IntProperty<TQRBasePanel>("Top", &TQRBasePanel::Top, &TQRBasePanel::SetTop, std::nullopt),
         IntProperty<TQRBasePanel>("Width", &TQRBasePanel::Width, &TQRBasePanel::SetWidth, std::nullopt),
         IntProperty<TQRBasePanel>("Height", &TQRBasePanel::Height, &TQRBasePanel::SetHeight, std::nullopt),
         ObjectProperty<TQRBasePanel, controls::TQRFrame>("Frame", &TQRBasePanel::Frame),
         controls::ColorProperty<TQRBasePanel>("Color", &TQRBasePanel::Color, &TQRBasePanel::SetColor,
                                               controls::clWhite),
         BoolProperty<TQRBasePanel>("Enabled", &TQRBasePanel::Enabled, &TQRBasePanel::SetEnabled, true),
         ObjectProperty<TQRBasePanel, controls::TFont>("Font", &TQRBasePanel::Font),
         BoolProperty<TQRBasePanel>("ParentFont", &TQRBasePanel::ParentFont, &TQRBasePanel::SetParentFont, true)});
    return list;
}

const controls::TFont& TQRBasePanel::EffectiveFont() const {
    const TQRBasePanel* report = Report();
    if (FParentFont && report && report != this) return report->EffectiveFont();
    return *FFont;
}

} // namespace pagimo::engine
