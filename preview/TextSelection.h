#pragma once
// Selecting the text of a page in the preview: a drag selects the characters inside the rectangle it
// spans; a double click selects a word and a triple click a line, and a drag after them extends the
// selection by words or lines. What is selected is highlighted over the page, offered as the X
// primary selection (for a middle-click paste elsewhere) and copied to the clipboard on request.
// Places are fractions of the page, so a selection holds at every zoom, turn and view mode.

#include "preview/PageText.h"

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

class QMouseEvent;
class QPainter;

namespace pagimo::preview {

class TPreviewActions;
class TQRPreview;

class TTextSelection : public QObject {
public:
    // Listens to the mouse on the preview control's pages.
    explicit TTextSelection(TQRPreview& preview);

    // The characters inside a rectangle of a page.
    void SelectArea(int32_t page, const QRectF& area);
    // From the unit (word or line) under one place of a page to the one under another.
    void SelectUnits(int32_t page, QPointF from, QPointF to, TTextUnit unit);
    // The whole page shown.
    void SelectPage();
    void Clear();
    // Copies the selected text to the clipboard.
    void Copy() const;
    const QString& Text() const { return FText; }
    // Copy and Select All (the page shown).
    void BindCommands(TPreviewActions& actions);
    // Draws the selection over a page: painter in sheet pixels, the sheet's size.
    void PaintSelection(QPainter& painter, int32_t page, QSize sheet) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Selected(int32_t page, QString text, std::vector<QRectF> rects);
    bool Mouse(QMouseEvent* event);

    TQRPreview& FPreview;
    int32_t FPage = 0;
    std::vector<QRectF> FRects;
    QString FText;
    // A drag under way: its page (0: none), where it began, and what it extends by.
    int32_t FDragPage = 0;
    QPointF FDragStart;
    enum { dbArea, dbWord, dbLine } FDragBy = dbArea;
    // The last double click, so that a click soon after at the same place is a triple click.
    ulong FDoubleClickTime = 0;
    QPointF FDoubleClickAt;
};

} // namespace pagimo::preview
