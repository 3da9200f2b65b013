#pragma once
// TQRPrintable: the base of everything placed on a band or a report that draws itself on the page.
// It keeps its position and size in stored units, aligns itself within its band when asked to,
// draws its frame, and takes part in the band's print protocol: StartPrinting, PrintAt (any number
// of times), EndPrinting, with PrintFinished telling the band whether content is left for a
// following page.

#include "controls/Graphics.h"
#include "controls/PrintTarget.h"
#include "controls/UnitBase.h"
#include "platform/system/Component.h"

#include <memory>

namespace pagimo::expr {
class TQREvaluator;
}

namespace pagimo::controls {

class TQRPrintable;
class TQRControlReport;
class TQRStretchParent;

// The report as its printable controls see it during a run.
class TQRPrintableReport {
public:
    virtual ~TQRPrintableReport() = default;
    virtual TQRPrintTarget* PrintTarget() const = 0; // the report printer of the current run
    virtual bool FinalPass() const = 0;              // false while exporting: no fills or frames
    virtual bool Exporting() const = 0;
    virtual int FontSize() const = 0; // points, for the Characters unit
    virtual TQRUnit ReportUnits() const = 0;
    virtual int ReportZoom() const = 0;
};

// The panel (report or band) a printable control is placed on.
class TQRPrintableParent {
public:
    virtual ~TQRPrintableParent() = default;
    virtual TQRPrintableReport* ParentReport() const = 0;
    virtual bool IsBand() const = 0;
    virtual int32_t ClientWidth() const = 0; // pixels
    virtual int PanelZoom() const = 0;
    virtual TQRUnit PanelUnits() const = 0;
    virtual void InsertPrintable(TQRPrintable* control) = 0;
    virtual void RemovePrintable(TQRPrintable* control) = 0;
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
const system::TEnumInfo& AlignmentInfo();

class TQRPrintableSize : public TQRUnitBase {
public:
    enum TIndex : size_t { HeightIndex, LeftIndex, TopIndex, WidthIndex };
    explicit TQRPrintableSize(TQRPrintable* control) : TQRUnitBase(4), FControl(control) {}
    const char* ClassName() const override { return "TQRPrintableSize"; }
    bool Horizontal(size_t index) const override { return index == LeftIndex || index == WidthIndex; }
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

    Extended Height() const { return GetValue(HeightIndex); }
    void SetHeight(Extended v) { SetValue(HeightIndex, v); }
    Extended Left() const { return GetValue(LeftIndex); }
    void SetLeft(Extended v) { SetValue(LeftIndex, v); }
    Extended Top() const { return GetValue(TopIndex); }
    void SetTop(Extended v) { SetValue(TopIndex, v); }
    Extended Width() const { return GetValue(WidthIndex); }
    void SetWidth(Extended v) { SetValue(WidthIndex, v); }

    // In Pixels, values are further scaled by the zoom of the panel the control sits on.
    Extended GetValuePixels(size_t index) const;
    void SetValue(size_t index, Extended value) override;
    void ResizeOwner() override;

private:
    TQRPrintable* FControl;
};

class TQRPrintable : public system::TComponent {
public:
    TQRPrintable();
    ~TQRPrintable() override;

    static const char* StaticClassName() { return "TQRPrintable"; }
    const char* ClassName() const override { return StaticClassName(); }

    // Window state: pixel bounds on the design surface, which always follow Size.
    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetLeft(int left) { SetBounds(left, FTop, FWidth, FHeight); }
    void SetTop(int top) { SetBounds(FLeft, top, FWidth, FHeight); }
    void SetWidth(int width) { SetBounds(FLeft, FTop, width, FHeight); }
    void SetHeight(int height) { SetBounds(FLeft, FTop, FWidth, height); }
    int LeftPx() const { return FLeft; }
    int TopPx() const { return FTop; }
    int WidthPx() const { return FWidth; }
    int HeightPx() const { return FHeight; }

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled) { FEnabled = enabled; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible) { FVisible = visible; }
    // False only for a visible, disabled control.
    virtual bool PrintEnabled() const { return FEnabled || !FVisible; }

    TAlignment Alignment() const { return FAlignment; }
    virtual void SetAlignment(TAlignment alignment);
    bool AlignToBand() const { return FAlignToBand; }
    void SetAlignToBand(bool align);
    TColor Color() const { return FColor; }
    void SetColor(TColor color) { FColor = color; }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent) { FTransparent = transparent; }
    int Zoom() const { return FSize->Zoom(); }
    void SetZoom(int zoom);

    TQRFrame* Frame() const { return FFrame.get(); }
    TQRPrintableSize* Size() const { return FSize.get(); }
    TQRPrintableParent* ParentPanel() const { return FParent; }
    // The panel is going away before its controls.
    void DetachParent() { FParent = nullptr; }
    TQRPrintableReport* ParentReport() const { return FReport; }
    void SetParentReport(TQRPrintableReport* report);
    // The parent report and panel in the roles controls print through (null when they have none),
    // looked up once rather than at every print.
    TQRControlReport* ControlReport() const;
    TQRStretchParent* StretchParent() const;

    bool Printing() const { return FPrinting; }
    bool PrintFinished() const { return FPrintFinished; }
    TQRPrintTarget* PrintTarget() const { return FTarget; }

    // An expression that must be true for the control to print (empty: always); prepared for each
    // run by StartPrinting. A band asks PrintConditionHolds before it lets the control print: false
    // skips the control for that print, as a disabled control is skipped. A condition that is no
    // true/false value prints the control and is told to the report once per run.
    std::string PrintCondition() const { return FPrintCondition; }
    void SetPrintCondition(const std::string& condition) { FPrintCondition = condition; }
    bool PrintConditionHolds();
    // Whether the control prints the report's page total (its report then counts its pages first).
    virtual bool UsesPageTotal() const;

    // The band print protocol; offsets are the band's position in tenths of a millimetre.
    virtual void StartPrinting();
    virtual void PrintAt(int32_t ofsX, int32_t ofsY);
    virtual void EndPrinting();
    // Operation 2: the band's size changed; realign when AlignToBand. Other operations are the
    // business of subclasses (0: a detail is printing).
    virtual void BandNotify(system::TComponent* sender, int operation);
    virtual void ApplyBandAlignment();

    void SetParentComponent(system::TComponent* parent) override;
    system::TComponent* GetParentComponent() const override;
    std::vector<system::TComponent*> GetChildren() const override { return {}; }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Loaded() override;
    void SetPrintFinished(bool finished) { FPrintFinished = finished; }
    // The device rectangle of the control at the given band offset (Size in Native during a run).
    TRect DeviceRect(int32_t ofsX, int32_t ofsY) const;
    // Evaluates a condition prepared with PrepareForRun: its truth, or `otherwise` (told once per run
    // to the report, as a fault of property) when it gives no true/false value.
    bool ConditionValue(expr::TQREvaluator& condition, const char* property, bool otherwise, bool& told);

private:
    friend class TQRPrintableSize;
    std::unique_ptr<TQRFrame> FFrame;
    std::unique_ptr<TQRPrintableSize> FSize;
    TQRPrintableParent* FParent = nullptr;
    TQRPrintableReport* FReport = nullptr;
    TQRPrintTarget* FTarget = nullptr;
    // What ControlReport and StretchParent found, and for which report and panel.
    mutable TQRControlReport* FControlReport = nullptr;
    mutable const TQRPrintableReport* FControlReportOf = nullptr;
    mutable TQRStretchParent* FStretchParent = nullptr;
    mutable const TQRPrintableParent* FStretchParentOf = nullptr;
    int32_t FLeft = 0, FTop = 0, FWidth = 10, FHeight = 10;
    int32_t FPendingLeft = 0, FPendingTop = 0, FPendingWidth = 0, FPendingHeight = 0;
    TAlignment FAlignment = taLeftJustify;
    bool FAlignToBand = false;
    bool FAligning = false;
    bool FEnabled = true;
    bool FVisible = true;
    bool FPrinting = false;
    bool FPrintFinished = true;
    bool FTransparent = false;
    TColor FColor = clWhite;
    std::string FPrintCondition;
    std::unique_ptr<expr::TQREvaluator> FCondition; // prepared during a run when there is a condition
    bool FConditionTold = false;
};

} // namespace pagimo::controls
