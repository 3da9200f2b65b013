#include "preview/PageLayout.h"

#include <algorithm>

namespace pagimo::preview {

std::pair<int32_t, int32_t> SpreadOf(int32_t n, int32_t count, const TViewMode& mode) {
    if (!mode.Facing || n < 1) return {n, n};
    if (mode.FirstAlone && n == 1) return {1, 1};
    // Facing pages begin on an even page after a lone first page, else on an odd one.
    const bool beginsRow = (n % 2 == 0) == mode.FirstAlone;
    const int32_t left = beginsRow ? n : n - 1;
    return {left, std::max(left, std::min(left + 1, count))};
}

int32_t SpreadStep(int32_t n, int32_t count, const TViewMode& mode, int direction) {
    if (!mode.Facing) return n + direction;
    const auto [first, last] = SpreadOf(n, count, mode);
    if (direction > 0) return last + 1;
    if (direction < 0) return first <= 1 ? first - 1 : SpreadOf(first - 1, count, mode).first;
    return n;
}

bool TPageLayout::LeftPage(int32_t n, const TViewMode& mode) const {
    return mode.FirstAlone ? n % 2 == 0 : n % 2 == 1;
}

void TPageLayout::Build(int32_t first, int32_t last, const std::function<QSize(int32_t)>& sheet, QSize control,
                        const TViewMode& mode, int32_t keep) {
    const auto count = static_cast<size_t>(std::max(0, last - first + 1));
    // Rows before the one holding keep stay as they were (same pages, same mode).
    size_t keptRows = 0;
    if (mode == FMode && first == FFirst && keep > first && keep <= last && Holds(keep))
        keptRows = static_cast<size_t>(FRowOf[static_cast<size_t>(keep - first)]);
    FRows.resize(keptRows);
    FMode = mode;
    FFirst = first;
    FLeft.resize(count);
    FWidth.resize(count);
    FHeight.resize(count);
    FTop.resize(count);
    FRowOf.resize(count);
    int64_t top = keptRows ? FRows.back().Top + FRows.back().Height + Gap : (mode.Continuous ? Gap : 0);
    for (int32_t n = keptRows ? FRows.back().Last + 1 : first; n <= last;) {
        const auto spread = SpreadOf(n, last, mode);
        TRow row{std::max(first, spread.first), spread.second, top, 0};
        for (int32_t m = row.First; m <= row.Last; ++m) {
            const auto i = static_cast<size_t>(m - first);
            const QSize size = sheet(m);
            FWidth[i] = size.width();
            FHeight[i] = size.height();
            row.Height = std::max(row.Height, size.height());
            FRowOf[i] = static_cast<int32_t>(FRows.size());
        }
        // Sheets of one row share its middle line.
        for (int32_t m = row.First; m <= row.Last; ++m)
            FTop[static_cast<size_t>(m - first)] = top + (row.Height - FHeight[static_cast<size_t>(m - first)]) / 2;
        FRows.push_back(row);
        top += row.Height + Gap;
        n = row.Last + 1;
    }
    FContentHeight = top;
    if (!mode.Continuous && !FRows.empty()) {
        // One spread: placed down the control as a lone sheet is.
        TRow& row = FRows.front();
        const int64_t shift = row.Height < control.height() ? (control.height() - row.Height) / 2 : 0;
        row.Top += shift;
        for (int64_t& t : FTop)
            t += shift;
        FContentHeight = row.Top + row.Height;
    }
    PlaceAcross(mode, control);
}

void TPageLayout::PlaceAcross(const TViewMode& mode, QSize control) {
    const bool loneSheet = !mode.Continuous && FRows.size() == 1 && FRows.front().First == FRows.front().Last;
    if (!mode.Facing || loneSheet) {
        const int32_t widest = FWidth.empty() ? 0 : *std::max_element(FWidth.begin(), FWidth.end());
        FContentWidth = std::max(control.width(), widest);
        for (size_t i = 0; i < FWidth.size(); ++i)
            FLeft[i] = FWidth[i] < FContentWidth ? (FContentWidth - FWidth[i]) / 2 : 0;
        return;
    }
    // Facing pages meet at one line down the middle: the left pages end a gap before it, the right ones
    // begin there.
    int32_t leftHalf = 0, rightHalf = 0;
    for (size_t i = 0; i < FWidth.size(); ++i) {
        int32_t& half = LeftPage(FFirst + static_cast<int32_t>(i), mode) ? leftHalf : rightHalf;
        half = std::max(half, FWidth[i]);
    }
    const int32_t spread = leftHalf + Gap + rightHalf;
    FContentWidth = std::max(control.width(), spread);
    const int32_t offset = spread < FContentWidth ? (FContentWidth - spread) / 2 : 0;
    for (size_t i = 0; i < FWidth.size(); ++i)
        FLeft[i] =
            LeftPage(FFirst + static_cast<int32_t>(i), mode) ? offset + leftHalf - FWidth[i] : offset + leftHalf + Gap;
}

TSheetGeometry TPageLayout::Sheet(int32_t n) const {
    if (!Holds(n)) return {};
    const auto i = static_cast<size_t>(n - FFirst);
    return {FLeft[i], static_cast<int32_t>(std::min<int64_t>(FTop[i], 2000000000)), FWidth[i], FHeight[i]};
}

int64_t TPageLayout::Top(int32_t n) const {
    return Holds(n) ? FTop[static_cast<size_t>(n - FFirst)] : Gap;
}

int64_t TPageLayout::RowTop(int32_t n) const {
    return Holds(n) ? FRows[static_cast<size_t>(FRowOf[static_cast<size_t>(n - FFirst)])].Top : Gap;
}

std::pair<int32_t, int32_t> TPageLayout::RowAt(int64_t y) const {
    if (FRows.empty()) return {FFirst, FFirst};
    const auto it = std::upper_bound(FRows.begin(), FRows.end(), y + Gap / 2,
                                     [](int64_t value, const TRow& row) { return value < row.Top; });
    const TRow& row = it == FRows.begin() ? FRows.front() : *std::prev(it);
    return {row.First, row.Last};
}

int32_t TPageLayout::PageAt(double x, int64_t y) const {
    const auto [first, last] = RowAt(y);
    if (first == last || !Holds(last)) return first;
    return x < FLeft[static_cast<size_t>(last - FFirst)] ? first : last;
}

int NormalTurns(int quarterTurns) {
    return ((quarterTurns % 4) + 4) % 4;
}

QPointF TurnedPlace(QPointF p, int quarterTurns) {
    switch (NormalTurns(quarterTurns)) {
    case 1:
        return {1 - p.y(), p.x()};
    case 2:
        return {1 - p.x(), 1 - p.y()};
    case 3:
        return {p.y(), 1 - p.x()};
    default:
        return p;
    }
}

QPointF UnturnedPlace(QPointF p, int quarterTurns) {
    return TurnedPlace(p, 4 - NormalTurns(quarterTurns));
}

QRectF TurnedPlace(const QRectF& r, int quarterTurns) {
    return QRectF(TurnedPlace(r.topLeft(), quarterTurns), TurnedPlace(r.bottomRight(), quarterTurns)).normalized();
}

QTransform TurnTransform(QSizeF page, int quarterTurns) {
    switch (NormalTurns(quarterTurns)) {
    case 1:
        return {0, 1, -1, 0, page.height(), 0};
    case 2:
        return {-1, 0, 0, -1, page.width(), page.height()};
    case 3:
        return {0, -1, 1, 0, 0, page.width()};
    default:
        return {};
    }
}

} // namespace pagimo::preview
