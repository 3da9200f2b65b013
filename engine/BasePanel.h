#pragma once
// TQRBasePanel: the window-like panel that the report object and the bands share: a frame, a zoom,
// a colour, a font, pixel bounds on the design surface, and the printable controls placed on it.

#include "controls/ControlHost.h"
#include "controls/Printable.h"

#include <memory>
#include <unordered_set>
#include <vector>

namespace pagimo::engine {

class TCustomQRReport;
using controls::TColor;

class TQRBasePanel : public system::TComponent, public controls::TQRPrintableParent, public controls::TQRFontParent {
public:
    TQRBasePanel();
    ~TQRBasePanel() override;

    controls::TQRFrame* Frame() const { return FFrame.get(); }
    int Zoom() const { return FZoom; }
    // Passed on to every printable control on the panel; 0 is ignored.
    virtual void SetZoom(int zoom);
    TColor Color() const { return FColor; }
    void SetColor(TColor color) { FColor = color; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled) { FEnabled = enabled; }
    controls::TFont* Font() const { return FFont.get(); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool parentFont) { FParentFont = parentFont; }
    // The panel's own font, or, with ParentFont on, the font of the report it belongs to.
    const controls::TFont& EffectiveFont() const override;

    // Pixel bounds on the design surface.
    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }

    const std::vector<controls::TQRPrintable*>& Printables() const { return FPrintables; }
    // The report this panel belongs to (itself for a report).
    virtual TCustomQRReport* Report() const = 0;

    controls::TQRPrintableReport* ParentReport() const override;
    int32_t ClientWidth() const override { return FWidth; }
    int PanelZoom() const override { return FZoom; }
    void InsertPrintable(controls::TQRPrintable* control) override;
    void RemovePrintable(controls::TQRPrintable* control) override;

    std::vector<system::TComponent*> GetChildren() const override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;

private:
    std::unique_ptr<controls::TQRFrame> FFrame;
    std::unique_ptr<controls::TFont> FFont;
    int FZoom = 100;
    TColor FColor = controls::clWhite;
    bool FEnabled = true;
    bool FParentFont = true;
    std::vector<controls::TQRPrintable*> FPrintables;
    std::unordered_set<controls::TQRPrintable*> FPrintableSet; // the same, for membership tests
};

} // namespace pagimo::engine
