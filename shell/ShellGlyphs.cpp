#include "shell/ShellGlyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace pagimo::shell {

namespace {

// Pictures are drawn on a 16-unit grid and scaled, so the 16 and 32 pixel versions agree.
QPixmap Canvas(int size, QPainter& p) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    p.begin(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    return pixmap;
}

} // namespace

QPixmap PageMagnifierPicture(int size) {
    QPainter p;
    QPixmap pixmap = Canvas(size, p);
    // the sheet with a folded corner
    QPainterPath sheet;
    sheet.moveTo(1.5, 0.5);
    sheet.lineTo(8.5, 0.5);
    sheet.lineTo(11.5, 3.5);
    sheet.lineTo(11.5, 14.5);
    sheet.lineTo(1.5, 14.5);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setBrush(QColor(210, 210, 210));
    p.drawPolygon(QPolygonF({QPointF(8.5, 0.5), QPointF(8.5, 3.5), QPointF(11.5, 3.5)}));
    // lines of text
    p.setPen(QPen(QColor(120, 140, 170), 1));
    for (double y : {3.5, 5.5, 7.5, 9.5, 11.5})
        p.drawLine(QPointF(3, y), QPointF(y < 4 ? 7 : 10, y));
    // the magnifying glass over the lower right
    p.setPen(QPen(QColor(100, 60, 20), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12.2, 12.2), QPointF(15, 15));
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(QColor(170, 215, 255, 200));
    p.drawEllipse(QPointF(9.5, 9.5), 3.6, 3.6);
    p.setPen(QPen(QColor(255, 255, 255, 220), 0.9, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(7.3, 7.3, 4.4, 4.4), 100 * 16, 70 * 16);
    p.end();
    return pixmap;
}

QPixmap PowerPicture(int size) {
    QPainter p;
    QPixmap pixmap = Canvas(size, p);
    p.setPen(QPen(QColor(130, 0, 0), 1));
    p.setBrush(QColor(210, 25, 25));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 2.5, 2.5);
    p.setPen(QPen(Qt::white, 1.7, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    // the ring, open at the top, and the stroke through the opening
    p.drawArc(QRectF(3.5, 4, 9, 9), 120 * 16, 300 * 16);
    p.drawLine(QPointF(8, 2.8), QPointF(8, 8));
    p.end();
    return pixmap;
}

QIcon AppIcon() {
    QIcon icon;
    icon.addPixmap(PageMagnifierPicture(32));
    icon.addPixmap(PageMagnifierPicture(16));
    return icon;
}

QIcon ViewGlyph() {
    return QIcon(PageMagnifierPicture(16));
}
QIcon ExitGlyph() {
    return QIcon(PowerPicture(16));
}

} // namespace pagimo::shell
