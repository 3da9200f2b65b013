#include "engine/Page.h"

namespace pagimo::engine {

using system::TFormValue;

TQRPage::TQRPage() : TQRUnitBase(7) {
    const bool us = controls::DefaultUnits() == TQRUnit::Inches;
    FPaperSize = us ? TQRPaperSize::Letter : TQRPaperSize::A4;
    const TPaperDimensions d = PaperDimensions(FPaperSize);
    const Extended margin = us ? 127 : 100; // half an inch or 10 mm, in tenths of a millimetre
    FValues = {margin, d.Length * 10, margin, d.Width * 10, margin, margin, 0};
}

void TQRPage::SetValue(size_t index, Extended value) {
    if ((index == LengthIndex || index == WidthIndex) && FPaperSize != TQRPaperSize::Custom) return;
    TQRUnitBase::SetValue(index, value);
    Notify(pcRepaint);
    if (index == LengthIndex || index == WidthIndex || index == BottomMarginIndex) {
        ResizeOwner();
        Notify(pcArrangeBands);
    }
}

void TQRPage::SetStoredValues(const std::vector<Extended>& values) {
    TQRUnitBase::SetStoredValues(values);
    Notify(pcArrangeBands);
}

void TQRPage::ResizeOwner() {
    Notify(pcResize);
}

void TQRPage::SetColumns(int columns) {
    if (columns == FColumns || columns < 1) return;
    FColumns = columns;
    Notify(pcArrangeBands);
}

void TQRPage::SetOrientation(TPrinterOrientation orientation) {
    FOrientation = orientation;
    SetPaperSize(FPaperSize);
}

void TQRPage::SetPaperSize(TQRPaperSize size) {
    if (size != TQRPaperSize::Default && size != TQRPaperSize::Custom) {
        const TPaperDimensions d = PaperDimensions(size);
        const bool landscape = FOrientation == poLandscape;
        // Stored directly: the Custom rule of SetValue must not refuse the table's dimensions.
        StoreNative(WidthIndex, (landscape ? d.Length : d.Width) * 10);
        StoreNative(LengthIndex, (landscape ? d.Width : d.Length) * 10);
        ResizeOwner();
        Notify(pcArrangeBands);
    }
    FPaperSize = size;
}

void TQRPage::OwnerResized(int widthPixels, int lengthPixels) {
    if (FPaperSize != TQRPaperSize::Custom) return;
    StoreNative(WidthIndex, ValueToNative(TQRUnit::Pixels, true, widthPixels));
    StoreNative(LengthIndex, ValueToNative(TQRUnit::Pixels, false, lengthPixels));
}

const system::TPropertyList& TQRPage::ClassProperties() {
    // Values come last: reading them after PaperSize and Orientation keeps the stored dimensions of
    // a custom paper instead of the table's.
    static const system::TPropertyList list(
        nullptr,
        {system::IntProperty<TQRPage>("Columns", &TQRPage::Columns, &TQRPage::SetColumns, 1),
         system::EnumProperty<TQRPage, TPrinterOrientation>(
             "Orientation", PrinterOrientationInfo(), &TQRPage::Orientation, &TQRPage::SetOrientation, poPortrait),
         system::EnumProperty<TQRPage, TQRPaperSize>("PaperSize", QRPaperSizeInfo(), &TQRPage::PaperSize,
                                                     &TQRPage::SetPaperSize, std::nullopt),
         system::BoolProperty<TQRPage>("Ruler", &TQRPage::Ruler, &TQRPage::SetRuler, true),
         *TQRUnitBase::ClassProperties().Find("Values"),
         NamedValue("BottomMargin", BottomMarginIndex), NamedValue("ColumnSpace", ColumnSpaceIndex),
         NamedValue("LeftMargin", LeftMarginIndex), NamedValue("Length", LengthIndex),
         NamedValue("RightMargin", RightMarginIndex), NamedValue("TopMargin", TopMarginIndex),
         NamedValue("Width", WidthIndex)});
    return list;
}

} // namespace pagimo::engine
