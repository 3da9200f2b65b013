#include "preview/TextSelection.h"

#include "preview/FindBar.h"
#include "preview/PreviewActions.h"
#include "preview/QRPreview.h"

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>

namespace pagimo::preview {

TTextSelection::TTextSelection(TQRPreview& preview) : QObject(&preview), FPreview(preview) {
    // The sheet leaves the mouse to the viewport beneath it.
    preview.viewport()->installEventFilter(this);
}

void TTextSelection::BindCommands(TPreviewActions& actions) {
    actions.Bind(pcCopy, [this] { Copy(); });
    actions.Bind(pcSelectAll, [this] { SelectPage(); });
}

void TTextSelection::Selected(int32_t page, QString text, std::vector<QRectF> rects) {
    FPage = page;
    FText = std::move(text);
    FRects = std::move(rects);
    // What is selected is the primary selection at once, as elsewhere on an X desktop.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!FText.isEmpty() && clipboard->supportsSelection()) clipboard->setText(FText, QClipboard::Selection);
    FPreview.viewport()->update();
    FPreview.PageImage()->update();
}

void TTextSelection::SelectArea(int32_t page, const QRectF& area) {
    std::vector<QRectF> rects;
    QString text;
    if (const auto picture = PageForText(FPreview, page))
        text = TextInArea(PageTextOf(*picture), area.normalized(), &rects);
    Selected(page, std::move(text), std::move(rects));
}

void TTextSelection::SelectUnits(int32_t page, QPointF from, QPointF to, TTextUnit unit) {
    std::vector<QRectF> rects;
    QString text;
    if (const auto picture = PageForText(FPreview, page))
        text = TextBetween(PageTextOf(*picture), from, to, unit, &rects);
    Selected(page, std::move(text), std::move(rects));
}

void TTextSelection::SelectPage() {
    SelectArea(FPreview.PageNumber(), QRectF(0, 0, 1, 1));
}

void TTextSelection::Clear() {
    FDragPage = 0;
    Selected(0, QString(), {});
}

void TTextSelection::Copy() const {
    if (!FText.isEmpty()) QGuiApplication::clipboard()->setText(FText);
}

void TTextSelection::PaintSelection(QPainter& painter, int32_t page, QSize sheet) const {
    if (page != FPage) return;
    painter.setBrush(QColor(150, 190, 255));
    for (const QRectF& r : FRects)
        painter.drawRect(QRectF(r.x() * sheet.width(), r.y() * sheet.height(), r.width() * sheet.width(),
                                r.height() * sheet.height()));
}

bool TTextSelection::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        return Mouse(static_cast<QMouseEvent*>(event));
    default:
        return false;
    }
}

// A press with the left button begins a drag (by words or lines after a double or triple click); moving
// extends it; a drag beyond the page it began on stays on that page.
bool TTextSelection::Mouse(QMouseEvent* event) {
    const QPoint at = FPreview.viewport()->mapFromGlobal(event->globalPosition().toPoint());
    auto [page, place] = FPreview.PlaceAt(at);
    const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (press && event->button() == Qt::LeftButton) {
        const int distance = QApplication::styleHints()->startDragDistance();
        const bool triple =
            event->type() == QEvent::MouseButtonPress && FDoubleClickTime != 0 &&
            event->timestamp() - FDoubleClickTime <= static_cast<ulong>(QApplication::doubleClickInterval()) &&
            (event->globalPosition() - FDoubleClickAt).manhattanLength() <= distance;
        FDoubleClickTime = event->type() == QEvent::MouseButtonDblClick ? event->timestamp() : 0;
        FDoubleClickAt = event->globalPosition();
        FDragPage = page;
        FDragStart = place;
        FDragBy = triple ? dbLine : event->type() == QEvent::MouseButtonDblClick ? dbWord : dbArea;
        if (FDragBy != dbArea && page > 0) SelectUnits(page, place, place, FDragBy == dbLine ? tuLine : tuWord);
        return FDragPage > 0;
    }
    if (FDragPage == 0 || press) return false;
    if (page != FDragPage) place = QPointF(place.x(), page > FDragPage ? 1.0 : 0.0);
    if (FDragBy == dbArea)
        SelectArea(FDragPage, QRectF(FDragStart, place));
    else
        SelectUnits(FDragPage, FDragStart, place, FDragBy == dbLine ? tuLine : tuWord);
    if (event->type() == QEvent::MouseButtonRelease) FDragPage = 0;
    return true;
}

} // namespace pagimo::preview
