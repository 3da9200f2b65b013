#pragma once
// Height and width of a band, stored in tenths of a millimetre.

#include "controls/UnitBase.h"

#include <functional>

namespace pagimo::engine {

using controls::Extended;

class TQRBandSize : public controls::TQRUnitBase {
public:
    enum TIndex : size_t { HeightIndex, WidthIndex };

    TQRBandSize() : TQRUnitBase(2) {}
    const char* ClassName() const override { return "TQRBandSize"; }

    Extended Height() const { return GetValue(HeightIndex); }
    void SetHeight(Extended v) { SetValue(HeightIndex, v); }
    Extended Width() const { return GetValue(WidthIndex); }
    void SetWidth(Extended v) { SetValue(WidthIndex, v); }

    void SetValue(size_t index, Extended value) override {
        TQRUnitBase::SetValue(index, value);
        ResizeOwner();
    }
    bool Horizontal(size_t index) const override { return index == WidthIndex; }

    // The band sizes its window to rnd(pixels) of both values, keeping its position.
    void SetOnResize(std::function<void(int32_t heightPixels, int32_t widthPixels)> onResize) {
        FOnResize = std::move(onResize);
    }
    void ResizeOwner() override {
        if (!FOnResize) return;
        FParentUpdating = true;
        FOnResize(Rnd(ValueFromNative(controls::TQRUnit::Pixels, false, FValues[HeightIndex])),
                  Rnd(ValueFromNative(controls::TQRUnit::Pixels, true, FValues[WidthIndex])));
        FParentUpdating = false;
    }

    static const system::TPropertyList& ClassProperties() {
        static const system::TPropertyList list(&TQRUnitBase::ClassProperties(),
                                                {NamedValue("Height", HeightIndex), NamedValue("Width", WidthIndex)});
        return list;
    }
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    std::function<void(int32_t, int32_t)> FOnResize;
};

} // namespace pagimo::engine
