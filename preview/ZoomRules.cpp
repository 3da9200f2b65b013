#include "preview/ZoomRules.h"

#include <iterator>

#include <algorithm>

namespace pagimo::preview {

namespace {

// A sheet side: the picture's pixels plus the border and shadow, kept within what a widget can be.
int32_t SheetExtent(int32_t pixels) {
    return std::clamp(pixels, 0, MaxSheetExtent) + SheetMargin;
}

// Centred when the sheet is smaller than the control, else at the origin (the scroll bars take over).
int32_t Offset(int32_t controlExtent, int32_t sheetExtent) {
    return sheetExtent < controlExtent ? (controlExtent - sheetExtent) / 2 : 0;
}

// control / device × factor, rounded; a sheet of no size gives 0, which no zoom accepts.
int32_t Ratio(int32_t controlExtent, Extended deviceExtent, int32_t factor) {
    if (deviceExtent <= 0) return 0;
    return Rnd(static_cast<Extended>(controlExtent) / deviceExtent * factor);
}

} // namespace

TSheetGeometry SheetAt(const TPaperMetrics* paper, int32_t zoom, int32_t controlWidth, int32_t controlHeight) {
    TSheetGeometry g;
    if (paper) {
        g.Width = SheetExtent(paper->DeviceWidth(paper->OrientedWidth / 100 * zoom));
        g.Height = SheetExtent(paper->DeviceHeight(paper->OrientedLength / 100 * zoom));
    } else {
        g.Width = SheetExtent(Rnd(LetterWidthMM / 100 * zoom));
        g.Height = SheetExtent(Rnd(LetterLengthMM / 100 * zoom));
    }
    g.Left = Offset(controlWidth, g.Width);
    g.Top = Offset(controlHeight, g.Height);
    return g;
}

int32_t FitWholePageZoom(const TPaperMetrics* paper, int32_t controlWidth, int32_t controlHeight) {
    int32_t a, b;
    if (paper) {
        a = Ratio(controlWidth, paper->DeviceWidth(paper->OrientedWidth), FitPageFactor);
        b = Ratio(controlHeight, paper->DeviceHeight(paper->OrientedLength), FitPageFactor);
    } else {
        a = Ratio(controlWidth, LetterWidthMM, FitPageFactor);
        b = Ratio(controlHeight, LetterLengthMM, FitPageFactor);
    }
    return std::min(a, b);
}

int32_t NextZoomStep(int32_t zoom, int direction) {
    if (direction > 0) {
        for (int32_t step : ZoomSteps)
            if (step > zoom) return step;
        return std::max(zoom, ZoomSteps[std::size(ZoomSteps) - 1]);
    }
    if (direction < 0) {
        for (auto it = std::rbegin(ZoomSteps); it != std::rend(ZoomSteps); ++it)
            if (*it < zoom) return *it;
        return std::min(zoom, ZoomSteps[0]);
    }
    return zoom;
}

int32_t FitPageWidthZoom(const TPaperMetrics* paper, int32_t controlWidth) {
    if (paper) return Ratio(controlWidth, paper->DeviceWidth(paper->OrientedWidth), FitWidthFactor);
    return Ratio(controlWidth, LetterWidthMM, FitPageFactor);
}

} // namespace pagimo::preview
