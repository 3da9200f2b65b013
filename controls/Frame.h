#pragma once
// The frame a band, a control or the report draws around itself.

#include "controls/Graphics.h"
#include "platform/system/Rnd.h"

#include <functional>
#include <vector>

namespace pagimo::controls {

struct TRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TRect&) const = default;
};

class TQRFrame : public system::TPersistent {
public:
    const char* ClassName() const override { return "TQRFrame"; }

    TColor Color() const { return FColor; }
    void SetColor(TColor c) { Set(FColor, c); }
    bool DrawTop() const { return FDrawTop; }
    void SetDrawTop(bool b) { Set(FDrawTop, b); }
    bool DrawBottom() const { return FDrawBottom; }
    void SetDrawBottom(bool b) { Set(FDrawBottom, b); }
    bool DrawLeft() const { return FDrawLeft; }
    void SetDrawLeft(bool b) { Set(FDrawLeft, b); }
    bool DrawRight() const { return FDrawRight; }
    void SetDrawRight(bool b) { Set(FDrawRight, b); }
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle s) { Set(FStyle, s); }
    int Width() const { return FWidth; }
    void SetWidth(int w) { Set(FWidth, w); }
    bool HasAnyEdge() const { return FDrawTop || FDrawBottom || FDrawLeft || FDrawRight; }

    // The window the frame belongs to repaints on every change.
    void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

    // Thickness in device pixels of an edge drawn with `factor` device pixels per tenth of a millimetre.
    static int32_t EdgeThickness(long double factor, int width);
    // The solid strips StrokeFrameEdges fills inside rect: top, bottom, left, right, as selected.
    std::vector<TRect> EdgeStrips(const TRect& rect, long double xFactor, long double yFactor) const;
    // Draws the strips in Color through fill (a device's solid rectangle fill).
    void StrokeFrameEdges(const std::function<void(const TRect&, TColor)>& fill, const TRect& rect, long double xFactor,
                          long double yFactor) const;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TColor FColor = clBlack;
    bool FDrawTop = false, FDrawBottom = false, FDrawLeft = false, FDrawRight = false;
    TPenStyle FStyle = TPenStyle::psSolid;
    int FWidth = 1;
    std::function<void()> FOnChange;

    template <class T> void Set(T& field, T value) {
        field = value;
        if (FOnChange) FOnChange();
    }
};

} // namespace pagimo::controls
