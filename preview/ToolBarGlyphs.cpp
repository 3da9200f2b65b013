#include "preview/ToolBarGlyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace pagimo::preview {

namespace {

const QColor Outline(70, 70, 70);
const QColor Paper(255, 255, 255);
const QColor PaperFold(205, 205, 205);
const QColor TextLine(140, 155, 180);
const QColor Arrow(30, 90, 190);
const QColor ArrowDark(15, 50, 120);
const QColor PrinterBody(190, 190, 195);
const QColor PrinterDark(95, 95, 100);

// A sheet with a folded top-right corner and a few lines of text, inside rect (grid units).
void Sheet(QPainter& p, const QRectF& r, bool lines = true) {
    const qreal fold = std::min(r.width(), r.height()) * 0.3;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawPath(path);
    p.setBrush(PaperFold);
    p.drawPolygon(QPolygonF({QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                             QPointF(r.right(), r.top() + fold)}));
    if (!lines) return;
    p.setPen(QPen(TextLine, 1));
    for (qreal y = r.top() + fold + 1.5; y < r.bottom() - 1; y += 2)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void Magnifier(QPainter& p, const QPointF& centre, qreal radius) {
    const qreal d = radius * 0.72;
    p.setPen(QPen(QColor(110, 65, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(d, d), centre + QPointF(d + 3, d + 3));
    p.setPen(QPen(QColor(35, 35, 35), 1.2));
    p.setBrush(QColor(175, 215, 255, 215));
    p.drawEllipse(centre, radius, radius);
}

// A solid triangle pointing left (dir -1) or right (dir 1) with its tip at x.
void Triangle(QPainter& p, qreal tipX, int dir, qreal midY, qreal half) {
    p.setPen(QPen(ArrowDark, 0.8));
    p.setBrush(Arrow);
    const qreal baseX = tipX - dir * half * 1.15;
    p.drawPolygon(QPolygonF({QPointF(tipX, midY), QPointF(baseX, midY - half), QPointF(baseX, midY + half)}));
}

void Bar(QPainter& p, qreal x, qreal midY, qreal half) {
    p.setPen(Qt::NoPen);
    p.setBrush(ArrowDark);
    p.drawRect(QRectF(x, midY - half, 2, 2 * half));
}

void Printer(QPainter& p, bool paperOut) {
    // paper fed in at the back
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    // the body
    p.setBrush(PrinterBody);
    p.setPen(QPen(PrinterDark, 1));
    p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 200, 60));
    p.drawRect(QRectF(11.5, 8, 1.5, 1.5));
    if (!paperOut) return;
    // the printed sheet coming out at the front
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawRect(QRectF(4.5, 10.5, 7, 5));
    p.setPen(QPen(TextLine, 1));
    p.drawLine(QPointF(6, 12.5), QPointF(10, 12.5));
    p.drawLine(QPointF(6, 14.5), QPointF(9, 14.5));
}

void Gear(QPainter& p, const QPointF& c, qreal r) {
    QPainterPath gear;
    gear.setFillRule(Qt::WindingFill);
    for (int i = 0; i < 6; ++i) {
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(i * 60);
        gear.addPolygon(t.map(QPolygonF({QPointF(-1, -r - 1.4), QPointF(1, -r - 1.4), QPointF(1, 0), QPointF(-1, 0)})));
    }
    gear.addEllipse(c, r, r);
    p.setPen(QPen(QColor(90, 60, 0), 0.7));
    p.setBrush(QColor(240, 175, 30));
    p.drawPath(gear.simplified());
    p.setBrush(Paper);
    p.drawEllipse(c, r * 0.42, r * 0.42);
}

void ZoomToFit(QPainter& p) {
    Sheet(p, QRectF(4.5, 2.5, 7, 11));
    // corner marks: the whole sheet inside the view
    p.setPen(QPen(Arrow, 1.4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    const qreal a = 1, b = 15, l = 3.5;
    for (auto [x, y, dx, dy] : {std::tuple{a, a, 1, 1}, {b, a, -1, 1}, {a, b, 1, -1}, {b, b, -1, -1}})
        p.drawPolyline(QPolygonF({QPointF(x, y + dy * l), QPointF(x, y), QPointF(x + dx * l, y)}));
}

void Zoom100(QPainter& p) {
    Magnifier(p, QPointF(6.5, 6.5), 5.5);
    // "1:1" in the lens, drawn as pixel strokes so that it stays sharp at 16 pixels
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20));
    p.drawRect(QRectF(3, 4, 1, 5));
    p.drawRect(QRectF(2, 5, 1, 1));
    p.drawRect(QRectF(6, 5, 1, 1));
    p.drawRect(QRectF(6, 8, 1, 1));
    p.drawRect(QRectF(9, 4, 1, 5));
    p.drawRect(QRectF(8, 5, 1, 1));
}

void ZoomToWidth(QPainter& p) {
    Sheet(p, QRectF(2.5, 1.5, 11, 13));
    // a double-headed arrow from edge to edge
    p.setPen(QPen(Arrow, 1.4));
    p.drawLine(QPointF(2, 8), QPointF(14, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(Arrow);
    p.drawPolygon(QPolygonF({QPointF(0.5, 8), QPointF(4, 5), QPointF(4, 11)}));
    p.drawPolygon(QPolygonF({QPointF(15.5, 8), QPointF(12, 5), QPointF(12, 11)}));
}

void Load(QPainter& p) {
    // an open folder with a sheet coming out of it
    p.setPen(QPen(QColor(140, 100, 20), 1));
    p.setBrush(QColor(235, 190, 70));
    p.drawPolygon(QPolygonF({QPointF(0.5, 3.5), QPointF(5.5, 3.5), QPointF(7, 5), QPointF(13.5, 5), QPointF(13.5, 14.5),
                             QPointF(0.5, 14.5)}));
    Sheet(p, QRectF(4.5, 1.5, 8, 8), false);
    p.setPen(QPen(QColor(140, 100, 20), 1));
    p.setBrush(QColor(250, 215, 110));
    p.drawPolygon(QPolygonF({QPointF(2.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 14.5), QPointF(0.5, 14.5)}));
}

void Save(QPainter& p) {
    // a diskette: body, metal shutter and label
    p.setPen(QPen(QColor(20, 30, 70), 1));
    p.setBrush(QColor(50, 80, 170));
    p.drawPolygon(QPolygonF(
        {QPointF(1.5, 1.5), QPointF(12.5, 1.5), QPointF(14.5, 3.5), QPointF(14.5, 14.5), QPointF(1.5, 14.5)}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(4, 2, 7, 4.5));
    p.setBrush(QColor(50, 80, 170));
    p.drawRect(QRectF(8.5, 2.5, 1.5, 3));
    p.setBrush(Paper);
    p.drawRect(QRectF(3.5, 8.5, 9, 6));
    p.setPen(QPen(TextLine, 1));
    p.drawLine(QPointF(5, 10.5), QPointF(11, 10.5));
    p.drawLine(QPointF(5, 12.5), QPointF(11, 12.5));
}

} // namespace

QPixmap ToolBarGlyph(int index, int scale) {
    if (index < 0 || index >= ToolBarGlyphCount || scale < 1) return {};
    QPixmap pixmap(ToolBarGlyphSize * scale, ToolBarGlyphSize * scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    switch (index) {
    case 0:
        ZoomToFit(p);
        break;
    case 1:
        Zoom100(p);
        break;
    case 2:
        ZoomToWidth(p);
        break;
    case 3:
        Bar(p, 3, 8, 5);
        Triangle(p, 5.5, -1, 8, 5);
        Triangle(p, 10.5, -1, 8, 5);
        break;
    case 4:
        Triangle(p, 4.5, -1, 8, 5.5);
        break;
    case 5:
        Triangle(p, 11.5, 1, 8, 5.5);
        break;
    case 6:
        Triangle(p, 5.5, 1, 8, 5);
        Triangle(p, 10.5, 1, 8, 5);
        Bar(p, 11, 8, 5);
        break;
    case 7:
        Printer(p, false);
        Gear(p, QPointF(11, 11.2), 2.9);
        break;
    case 8:
        Printer(p, true);
        break;
    case 9:
        Load(p);
        break;
    case 10:
        Save(p);
        break;
    }
    return pixmap;
}

} // namespace pagimo::preview
