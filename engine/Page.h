#pragma once
// Page setup of a report: paper, orientation, margins and columns, stored in tenths of a millimetre.

#include "controls/UnitBase.h"
#include "engine/PaperSize.h"

#include <functional>

namespace pagimo::engine {

using controls::Extended;
using controls::TQRUnit;

class TQRPage : public controls::TQRUnitBase {
public:
    enum TIndex : size_t {
        BottomMarginIndex,
        LengthIndex,
        TopMarginIndex,
        WidthIndex,
        LeftMarginIndex,
        RightMarginIndex,
        ColumnSpaceIndex
    };

    // What the owning report does after a change.
    enum TChange { pcRepaint, pcResize, pcArrangeBands };

    TQRPage();
    const char* ClassName() const override { return "TQRPage"; }
    void SetOnChange(std::function<void(TChange)> onChange) { FOnChange = std::move(onChange); }

    Extended BottomMargin() const { return GetValue(BottomMarginIndex); }
    void SetBottomMargin(Extended v) { SetValue(BottomMarginIndex, v); }
    Extended Length() const { return GetValue(LengthIndex); }
    void SetLength(Extended v) { SetValue(LengthIndex, v); }
    Extended TopMargin() const { return GetValue(TopMarginIndex); }
    void SetTopMargin(Extended v) { SetValue(TopMarginIndex, v); }
    Extended Width() const { return GetValue(WidthIndex); }
    void SetWidth(Extended v) { SetValue(WidthIndex, v); }
    Extended LeftMargin() const { return GetValue(LeftMarginIndex); }
    void SetLeftMargin(Extended v) { SetValue(LeftMarginIndex, v); }
    Extended RightMargin() const { return GetValue(RightMarginIndex); }
    void SetRightMargin(Extended v) { SetValue(RightMarginIndex, v); }
    Extended ColumnSpace() const { return GetValue(ColumnSpaceIndex); }
    void SetColumnSpace(Extended v) { SetValue(ColumnSpaceIndex, v); }

    // Length and Width change only with PaperSize Custom; margins repaint; Length, Width and
    // BottomMargin also resize the report and re-arrange its bands.
    void SetValue(size_t index, Extended value) override;
    void SetStoredValues(const std::vector<Extended>& values) override;
    bool Horizontal(size_t index) const override { return index >= WidthIndex; }
    void ResizeOwner() override;

    int Columns() const { return FColumns; }
    void SetColumns(int columns);
    TPrinterOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TPrinterOrientation orientation);
    TQRPaperSize PaperSize() const { return FPaperSize; }
    void SetPaperSize(TQRPaperSize size);
    bool Ruler() const { return FRuler; }
    void SetRuler(bool ruler) { FRuler = ruler; }

    // The design surface resized the report window: a custom paper follows it.
    void OwnerResized(int widthPixels, int lengthPixels);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    int FColumns = 1;
    TPrinterOrientation FOrientation = poPortrait;
    TQRPaperSize FPaperSize;
    bool FRuler = true;
    std::function<void(TChange)> FOnChange;

    void Notify(TChange change) {
        if (FOnChange) FOnChange(change);
    }
};

} // namespace pagimo::engine
