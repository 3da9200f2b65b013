#pragma once
// Where the sheets of the pages lie in the preview control's scrolled area when more than one sheet
// can be in view: continuous pages one below another, facing pages two side by side (page 1 alone on
// the right as a book's cover, or paired from the start), or the one spread of facing pages shown.
// And the quarter turns of a rotated view, which map places on a page (fractions of the page across
// and down) to places on its turned sheet and back. Plain arithmetic, checked with tables.

#include "preview/ZoomRules.h"

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QTransform>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace pagimo::preview {

struct TViewMode {
    bool Continuous = false; // every page, one row below another
    bool Facing = false;     // two pages side by side
    bool FirstAlone = true;  // with Facing: page 1 alone, then 2 and 3 side by side ...
    bool operator==(const TViewMode&) const = default;
};

// The pages shown beside each other with page n (n itself without facing pages), within 1..count.
std::pair<int32_t, int32_t> SpreadOf(int32_t n, int32_t count, const TViewMode& mode);

// The page a step back (direction < 0) or on (> 0) goes to: n -+ 1, or the first page of the spread
// before or after n's with facing pages. Not clamped: a page outside the document is the caller's to
// refuse, as it refuses n -+ 1.
int32_t SpreadStep(int32_t n, int32_t count, const TViewMode& mode, int direction);

class TPageLayout {
public:
    static constexpr int32_t Gap = 10; // between rows, above the first, and between facing pages

    // Lays out pages first..last; sheet(n) is page n's sheet (border and shadow included) at the zoom.
    // Continuous: rows one below another, each Gap below the one before, every sheet centred across
    // the wider of the control and the widest row, facing pages meeting at one line down the middle.
    // Otherwise the pages are the one spread shown, placed in the control as a lone sheet is: centred
    // on an axis where it is smaller, else at the origin. Rows before the one holding keep are taken
    // over from the layout before (pages that arrive one at a time).
    void Build(int32_t first, int32_t last, const std::function<QSize(int32_t)>& sheet, QSize control,
               const TViewMode& mode, int32_t keep = 0);

    bool Holds(int32_t n) const { return n >= FFirst && n < FFirst + static_cast<int32_t>(FWidth.size()); }
    int32_t First() const { return FFirst; }
    int32_t Last() const { return FFirst + static_cast<int32_t>(FWidth.size()) - 1; }
    // Page n's sheet in the scrolled area; its top is cut at two thousand million (an int's reach).
    TSheetGeometry Sheet(int32_t n) const;
    int64_t Top(int32_t n) const;
    // The top of the row holding page n.
    int64_t RowTop(int32_t n) const;
    int32_t Width() const { return FContentWidth; }
    int64_t Height() const { return FContentHeight; }
    // The row that reaches y (the gap above a row counts half to it): its first and last page.
    std::pair<int32_t, int32_t> RowAt(int64_t y) const;
    // The page whose sheet lies at (x, y), or the nearest one of the row at y.
    int32_t PageAt(double x, int64_t y) const;

private:
    struct TRow {
        int32_t First = 0, Last = 0;
        int64_t Top = 0;
        int32_t Height = 0;
    };
    void PlaceAcross(const TViewMode& mode, QSize control);
    bool LeftPage(int32_t n, const TViewMode& mode) const;

    int32_t FFirst = 1;
    std::vector<int32_t> FLeft, FWidth, FHeight;
    std::vector<int64_t> FTop;
    std::vector<TRow> FRows;
    std::vector<int32_t> FRowOf; // row index of each page
    int32_t FContentWidth = 0;
    int64_t FContentHeight = 0;
    TViewMode FMode;
};

// Quarter turns clockwise, 0 to 3.
int NormalTurns(int quarterTurns);
// A place on a page (fractions of the page) where it lies on the page's sheet turned by quarterTurns.
QPointF TurnedPlace(QPointF place, int quarterTurns);
// The place on the page of a place on its turned sheet.
QPointF UnturnedPlace(QPointF place, int quarterTurns);
QRectF TurnedPlace(const QRectF& place, int quarterTurns);
// Draws a page of the given size into its sheet turned by quarterTurns, the sheet's corner at 0, 0.
QTransform TurnTransform(QSizeF page, int quarterTurns);
// A size turned a quarter (or three) is transposed.
inline QSize TurnedSize(QSize size, int quarterTurns) {
    return NormalTurns(quarterTurns) % 2 ? size.transposed() : size;
}

} // namespace pagimo::preview
