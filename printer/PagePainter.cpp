#include "printer/PagePainter.h"

#include "platform/gdi/PainterDevice.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace pagimo::printer {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TPaintResult PlayPage(const emf::TEmfPicture& picture, gdi::TDevice& device, const QRectF& target,
                      const std::atomic<bool>* cancel) {
    TPaintResult result;
    gdi::TPlayOptions options;
    options.DeviceTransform = gdi::TEmfPlayer::FrameTransform(picture.Header(), target);
    QPainterPath sheet;
    sheet.addRect(target);
    options.Clip = std::make_shared<const QPainterPath>(std::move(sheet));
    options.Cancel = cancel;
    result.Play = gdi::TEmfPlayer::Play(picture.Bytes(), device, options);
    if (result.Play.Cancelled) {
        result.Outcome = pgCancelled;
    } else if (result.Play.OverBudget) {
        result.Outcome = pgIncomplete;
        result.Reason = result.Play.Problem;
    } else if (!result.Play.Complete) {
        result.Outcome = pgDamaged;
        result.Reason = "Metafile is not valid (its record chain is broken)";
    } else {
        result.Outcome = pgComplete;
    }
    return result;
}

TPaintResult PaintPage(const pagestore::TDocumentPage& page, int32_t n, QPainter& painter, const QRectF& target,
                       const TPaintOptions& options) {
    TPaintResult result;
    if (page.State == pagestore::TDocumentPage::dpPending) return result;
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.fillRect(target, Qt::white);
    if (page.State == pagestore::TDocumentPage::dpDamaged) {
        result.Outcome = pgDamaged;
        result.Reason = page.Problem;
    } else if (page.Picture) {
        painter.save();
        {
            gdi::TPainterDevice device(painter);
            result = PlayPage(*page.Picture, device, target, options.Cancel);
        }
        painter.restore();
    }
    if (options.Mark && result.Marked()) DrawPageMark(painter, target, PageMarkText(n, result));
    painter.restore();
    return result;
}

TPaintResult PaintPage(pagestore::TPageDocument& document, int32_t n, QPainter& painter, const QRectF& target,
                       const TPaintOptions& options) {
    return PaintPage(document.Page(n), n, painter, target, options);
}

QString PageMarkText(int32_t n, const TPaintResult& result) {
    if (result.Outcome == pgIncomplete)
        return QStringLiteral("Page %1 cannot be drawn completely: %2").arg(n).arg(FromStd(result.Reason));
    return QStringLiteral("Page %1 cannot be drawn\n\n%2").arg(n).arg(FromStd(result.Reason));
}

void DrawPageMark(QPainter& painter, const QRectF& sheet, const QString& text) {
    const double w = sheet.width(), h = sheet.height();
    if (w < 1 || h < 1) return;
    painter.save();
    painter.setClipRect(sheet, Qt::IntersectClip);
    painter.translate(sheet.topLeft());
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Inset by a few pixels, or by a share of a small sheet (a thumbnail).
    const double inset = std::min(7.0, std::min(w, h) / 10);
    painter.setPen(QPen(QColor(200, 60, 60), 2));
    painter.drawLine(QPointF(inset, inset), QPointF(w - inset, h - inset));
    painter.drawLine(QPointF(w - inset, inset), QPointF(inset, h - inset));
    const QRectF box(w / 10, h / 3, w - w / 5, h / 3);
    painter.fillRect(box, Qt::white);
    painter.setPen(Qt::black);
    QFont font = painter.font();
    font.setPixelSize(std::clamp(static_cast<int>(w / 36), 9, 18));
    painter.setFont(font);
    painter.drawText(box.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.restore();
}

QRectF FitInto(const QSizeF& page, const QRectF& area) {
    if (!(page.width() > 0) || !(page.height() > 0)) return area;
    const double scale = std::min(area.width() / page.width(), area.height() / page.height());
    return QRectF(area.topLeft(), page * scale);
}

} // namespace pagimo::printer
