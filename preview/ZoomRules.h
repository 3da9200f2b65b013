#pragma once
// The zoom arithmetic of the preview control, free of widgets so that it can be checked with tables.
// Lengths of the paper are tenths of a millimetre; everything else is whole screen pixels.

#include "platform/system/Rnd.h"

#include <cstdint>
#include <functional>

namespace pagimo::preview {

constexpr int32_t MinZoom = 2;
constexpr int32_t MaxZoom = 2000;
constexpr int32_t SheetMargin = 4;     // border and two-pixel shadow around the picture
constexpr int32_t FitPageFactor = 95;  // whole page: a little air around the sheet
constexpr int32_t FitWidthFactor = 90; // page width: room for the vertical scroll bar
// Without a report printer the sheet takes Letter paper's millimetres as pixels.
constexpr Extended LetterWidthMM = 215.9L;
constexpr Extended LetterLengthMM = 279.4L;
// No widget may be larger than this; hostile paper sizes and zooms are clamped to it.
constexpr int32_t MaxSheetExtent = 16777215 - SheetMargin;

// What the zoom rules need of a report printer: its oriented paper size and its conversions of a
// length to device pixels (which do the only rounding).
struct TPaperMetrics {
    Extended OrientedWidth = 0;  // 0.1 mm, orientation applied
    Extended OrientedLength = 0; // 0.1 mm
    std::function<int32_t(Extended)> DeviceWidth;
    std::function<int32_t(Extended)> DeviceHeight;
};

struct TSheetGeometry {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TSheetGeometry&) const = default;
};

inline bool ZoomAccepted(int32_t zoom) {
    return zoom >= MinZoom && zoom <= MaxZoom;
}

// Size and placement of the sheet at a zoom inside a control of the given outer size; paper may be
// null (no report printer). The sheet is centred on an axis where it is smaller than the control.
TSheetGeometry SheetAt(const TPaperMetrics* paper, int32_t zoom, int32_t controlWidth, int32_t controlHeight);

// The zoom that makes the whole sheet fit (the smaller of the width and height ratios, factor 95).
// The result may lie outside MinZoom..MaxZoom; the caller then keeps its zoom.
int32_t FitWholePageZoom(const TPaperMetrics* paper, int32_t controlWidth, int32_t controlHeight);

// The zoom that makes the sheet's width fit: factor 90 with a report printer, 95 without one.
int32_t FitPageWidthZoom(const TPaperMetrics* paper, int32_t controlWidth);

// The zoom steps that Ctrl+wheel and Ctrl+plus/minus walk through, 10 % to 800 %. From a zoom
// between two steps (a fitted zoom), one step goes to the nearest step in that direction; at either
// end the zoom stays.
constexpr int32_t ZoomSteps[] = {10, 15, 20, 25, 33, 50, 67, 75, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400, 500, 600, 800};
int32_t NextZoomStep(int32_t zoom, int direction);

} // namespace pagimo::preview
