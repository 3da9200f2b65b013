#include "preview/QRPreview.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"
#include "printer/QRPrinter.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace pagimo::preview {

namespace {

// Border and two-pixel shadow of a sheet w x h, over whatever the picture left there.
void DrawSheetFrame(QPainter& painter, int w, int h) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(
        QPolygon({QPoint(0, 0), QPoint(0, h - 3), QPoint(w - 3, h - 3), QPoint(w - 3, 0), QPoint(0, 0)}));
    painter.fillRect(QRect(w - 2, 2, 2, h - 2), Qt::black);
    painter.fillRect(QRect(2, h - 2, w - 2, 2), Qt::black);
    painter.restore();
}

} // namespace

// ---- TQRPreviewImage ----

TQRPreviewImage::TQRPreviewImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PageImage"));
    resize(100, 50);
    // The sheet paints every pixel it owns when it holds a page, and nothing otherwise, so the scroll
    // box's ground shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TQRPreviewImage::ShowPage(int32_t n) {
    FPageNumber = n;
    FPagePicture.reset();
    FPageProblem.clear();
    if (FReportPrinter) {
        std::string reason;
        FPagePicture = FReportPrinter->FetchPage(n, reason);
        if (!FPagePicture && !reason.empty()) FPageProblem = QString::fromStdString(reason);
    }
    update();
}

void TQRPreviewImage::DrawPage(QPainter& painter) {
    if (!HasPage()) return;
    const int w = width(), h = height();
    painter.fillRect(QRect(1, 1, w - 4, h - 4), Qt::white);
    if (FPagePicture) {
        // The picture covers the whole sheet, the four extra pixels of border and shadow included.
        gdi::TPlayResult result;
        painter.save();
        {
            gdi::TPainterDevice device(painter);
            result = gdi::TEmfPlayer::Play(*FPagePicture, device, QRectF(0, 0, w, h));
        }
        painter.restore();
        if (result.OverBudget) {
            // Drawn only in part: said on the sheet itself, in a strip along its top edge.
            painter.save();
            QFont font = painter.font();
            font.setPixelSize(std::clamp(w / 60, 9, 14));
            painter.setFont(font);
            const QRect strip(1, 1, w - 4, std::min(h - 4, font.pixelSize() * 4 + 8));
            painter.fillRect(strip, QColor(255, 240, 200));
            painter.setPen(QColor(150, 40, 20));
            painter.drawText(strip.adjusted(6, 2, -6, -2), Qt::AlignCenter | Qt::TextWordWrap,
                             QStringLiteral("Page %1 cannot be drawn completely: %2")
                                 .arg(FPageNumber)
                                 .arg(QString::fromStdString(result.Problem)));
            painter.restore();
        }
        FPageIncomplete = result.OverBudget;
        if (result.DroppedGlyphs && OnMissingFont)
            OnMissingFont(FPageNumber, QString::fromStdString(result.DroppedGlyphFace), result.DroppedGlyphs);
    } else {
        // Not a blank page: a sheet crossed out, with what is wrong with it.
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(QColor(200, 60, 60), 2));
        painter.drawLine(QPointF(8, 8), QPointF(w - 11, h - 11));
        painter.drawLine(QPointF(w - 11, 8), QPointF(8, h - 11));
        const QRect box(w / 10, h / 3, w - w / 5, h / 3);
        painter.fillRect(box, Qt::white);
        painter.setPen(Qt::black);
        QFont font = painter.font();
        font.setPixelSize(std::clamp(w / 36, 9, 18));
        painter.setFont(font);
        painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap,
                         QStringLiteral("Page %1 cannot be drawn\n\n%2").arg(FPageNumber).arg(FPageProblem));
        painter.restore();
    }
    DrawSheetFrame(painter, w, h);
}

void TQRPreviewImage::paintEvent(QPaintEvent* event) {
    if (!HasPage()) return;
    QPainter painter(this);
    painter.setClipRegion(event->region());
    DrawPage(painter);
    if (OnPaintMarks) OnPaintMarks(painter, FPageNumber, size());
}

// ---- TQRPreview ----

TQRPreview::TQRPreview(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("QRPreview"));
    resize(250, 250);
    // The view follows the thumb while it is dragged.
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    horizontalScrollBar()->setSingleStep(8);
    verticalScrollBar()->setSingleStep(8);
    FPageImage = new TQRPreviewImage(viewport());
    FPageImage->move(0, 0);
    // Told from the event loop, not from inside the paint that found it.
    FPageImage->OnMissingFont = [this](int32_t page, const QString& face, uint32_t glyphs) {
        QPointer<TQRPreview> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, page, face, glyphs] {
                if (self && self->OnMissingFont) self->OnMissingFont(page, face, glyphs);
            },
            Qt::QueuedConnection);
    };
    // The ground around the sheet is the button face, so that the white sheet stands out.
    viewport()->setBackgroundRole(QPalette::Button);
    viewport()->setAutoFillBackground(true);
}

void TQRPreview::ShowPage(int32_t n) {
    FPageImage->ShowPage(n);
    const QString problem = FPageImage->PageProblem();
    if (!problem.isEmpty() && OnPageProblem) {
        // Told from the event loop, not from inside whatever asked for the page (a paint, a key).
        QPointer<TQRPreview> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, n, problem] {
                if (self && self->OnPageProblem) self->OnPageProblem(n, problem);
            },
            Qt::QueuedConnection);
    }
}

TQRPreview::~TQRPreview() {
    if (FReportPrinter) SetReportPrinter(nullptr);
}

std::unique_ptr<TPaperMetrics> TQRPreview::PaperMetrics() const {
    if (!FReportPrinter) return nullptr;
    printer::TQRPrinter* p = FReportPrinter;
    return std::make_unique<TPaperMetrics>(
        TPaperMetrics{static_cast<Extended>(p->OrientedWidth()), static_cast<Extended>(p->OrientedLength()),
                      [p](Extended w) { return p->DeviceWidth(w); }, [p](Extended h) { return p->DeviceHeight(h); }});
}

void TQRPreview::SetReportPrinter(printer::TQRPrinter* printer) {
    if (FReportPrinter && FReportPrinter->NotifyWindow() == static_cast<QObject*>(this)) {
        FReportPrinter->SetPreviewShown(false);
        FReportPrinter->SetNotifyWindow(nullptr);
    }
    FReportPrinter = printer;
    FPageImage->SetReportPrinter(printer);
    if (printer) {
        printer->SetNotifyWindow(this);
        printer->SetPreviewShown(true);
    }
    SetPageNumber(1);
    ShowPage(1);
    viewport()->update();
}

void TQRPreview::ReportPrinterDestroyed(printer::TQRPrinter& printer) {
    if (FReportPrinter != &printer) return;
    FReportPrinter = nullptr;
    FPageImage->SetReportPrinter(nullptr);
    FPageImage->ShowPage(FPageImage->PageNumber());
    if (OnReportPrinterGone) OnReportPrinterGone();
}

void TQRPreview::SetPageNumber(int32_t n) {
    if (FContinuous) {
        if (n < 1 || !FReportPrinter || n > FReportPrinter->PageTotal()) return;
        FPageNumber = n;
        ScrollToPage(n);
        return;
    }
    if (n == FPageNumber && FPageImage->HasPage()) return;
    if (n < 1 || !FReportPrinter || n > FReportPrinter->PageTotal()) return;
    ShowPage(n);
    FPageNumber = n;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void TQRPreview::SetZoom(int32_t zoom) {
    if (!ZoomAccepted(zoom)) return;
    FZoomMode = zmCustom;
    FZoom = zoom;
    ApplyZoom();
}

void TQRPreview::ApplyZoom() {
    const auto paper = PaperMetrics();
    FSheet = SheetAt(paper.get(), FZoom, width(), height());
    FPageImage->resize(FSheet.Width, FSheet.Height);
    UpdateScrollRanges();
    horizontalScrollBar()->setValue(0);
    if (FContinuous)
        ScrollToPage(FPageNumber); // the page in view stays in view at the new size
    else
        verticalScrollBar()->setValue(0);
    PlaceSheet();
    if (OnZoomApplied) OnZoomApplied();
}

void TQRPreview::ZoomStep(int direction) {
    const int32_t zoom = NextZoomStep(FZoom, direction);
    if (zoom != FZoom) SetZoom(zoom);
}

void TQRPreview::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // A touchpad sends many small turns: a step per notch's worth (120 eighths of a degree).
    FWheelZoomAngle += event->angleDelta().y();
    while (FWheelZoomAngle >= 120) {
        FWheelZoomAngle -= 120;
        ZoomStep(+1);
    }
    while (FWheelZoomAngle <= -120) {
        FWheelZoomAngle += 120;
        ZoomStep(-1);
    }
    event->accept();
}

void TQRPreview::FitWholePage() {
    const auto paper = PaperMetrics();
    SetZoom(FitWholePageZoom(paper.get(), width(), height()));
    FZoomMode = zmFitPage;
}

void TQRPreview::FitPageWidth() {
    const auto paper = PaperMetrics();
    SetZoom(FitPageWidthZoom(paper.get(), width()));
    ApplyZoom();
    FZoomMode = zmFitWidth;
}

void TQRPreview::ReapplyZoomMode() {
    if (FZoomMode == zmFitPage)
        FitWholePage();
    else if (FZoomMode == zmFitWidth)
        FitPageWidth();
    ApplyZoom();
}

void TQRPreview::RefreshShownPage() {
    if (!FPageImage || FPageImage->HasPage() || !FReportPrinter) return;
    if (FPageImage->PageNumber() > FReportPrinter->PagesAvailable()) return;
    FitPageWidth();
    ShowPage(FPageImage->PageNumber());
}

void TQRPreview::PageAvailable(int32_t n) {
    if (FContinuous) {
        UpdateScrollRanges();
        viewport()->update();
    }
    if (n == FPageNumber) RefreshShownPage();
    if (OnPageAvailable) OnPageAvailable(this, n);
}

void TQRPreview::ProgressUpdate(int32_t progress) {
    if (OnProgressUpdate) OnProgressUpdate(this, progress);
}

// The scroll range reaches the sheet's far edges, as a scroll box's range follows its children.
void TQRPreview::UpdateScrollRanges() {
    const QSize view = viewport()->size();
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
    horizontalScrollBar()->setRange(0, std::max(0, FSheet.Left + FSheet.Width - view.width()));
    if (FContinuous) {
        const int32_t end = ContinuousPageTop(ContinuousPageCount() + 1);
        verticalScrollBar()->setRange(0, std::max(0, end - view.height()));
    } else {
        verticalScrollBar()->setRange(0, std::max(0, FSheet.Top + FSheet.Height - view.height()));
    }
}

void TQRPreview::PlaceSheet() {
    if (FContinuous) {
        viewport()->update();
        return;
    }
    FPageImage->move(FSheet.Left - horizontalScrollBar()->value(), FSheet.Top - verticalScrollBar()->value());
}

void TQRPreview::scrollContentsBy(int, int) {
    PlaceSheet();
    if (FContinuous && !FScrollingToPage) FollowScrolledPage();
}

// ---- continuous mode ----

int32_t TQRPreview::ContinuousPageCount() const {
    return FReportPrinter ? FReportPrinter->PageTotal() : 0;
}

int32_t TQRPreview::ContinuousPageTop(int32_t n) const {
    // 64-bit on the way: 10,000 pages at a high zoom are taller than an int holds; the scroll bar
    // then ends where an int ends.
    const int64_t top = ContinuousGap + static_cast<int64_t>(n - 1) * (FSheet.Height + ContinuousGap);
    return static_cast<int32_t>(std::min<int64_t>(top, 2000000000));
}

void TQRPreview::SetContinuous(bool value) {
    if (value == FContinuous) return;
    FContinuous = value;
    FHeld.clear();
    FPageImage->setVisible(!value);
    if (!value) FPageImage->ShowPage(FPageNumber);
    ApplyZoom();
    viewport()->update();
}

void TQRPreview::ScrollToPage(int32_t n) {
    FScrollingToPage = true;
    UpdateScrollRanges();
    verticalScrollBar()->setValue(ContinuousPageTop(n) - ContinuousGap);
    FScrollingToPage = false;
    viewport()->update();
}

// The page in view is the one that reaches a third of the way down the view (the last one at the end).
void TQRPreview::FollowScrolledPage() {
    const int32_t count = ContinuousPageCount();
    if (count < 1) return;
    const int64_t y = static_cast<int64_t>(verticalScrollBar()->value()) + viewport()->height() / 3;
    const int64_t pitch = FSheet.Height + ContinuousGap;
    auto n = static_cast<int32_t>(std::clamp<int64_t>((y - ContinuousGap / 2) / pitch + 1, 1, count));
    // At the end of the document the last page counts, also when it is too short to reach the line.
    if (verticalScrollBar()->maximum() > 0 && verticalScrollBar()->value() == verticalScrollBar()->maximum()) n = count;
    if (n == FPageNumber) return;
    FPageNumber = n;
    if (OnPageNumberChanged) OnPageNumberChanged();
}

void TQRPreview::paintEvent(QPaintEvent* event) {
    if (!FContinuous) {
        QAbstractScrollArea::paintEvent(event);
        return;
    }
    const int32_t count = ContinuousPageCount();
    if (count < 1 || !FReportPrinter) return;
    const int64_t pitch = FSheet.Height + ContinuousGap;
    const int64_t v = verticalScrollBar()->value();
    const auto first = static_cast<int32_t>(std::clamp<int64_t>((v - ContinuousGap) / pitch + 1, 1, count));
    const auto last =
        static_cast<int32_t>(std::clamp<int64_t>((v + viewport()->height()) / pitch + 1, 1, count));
    // Pages that have left the neighbourhood of the view are let go.
    for (auto it = FHeld.begin(); it != FHeld.end();)
        it = (it->first < first - 1 || it->first > last + 1) ? FHeld.erase(it) : std::next(it);
    QPainter painter(viewport());
    painter.setClipRegion(event->region());
    const int w = FSheet.Width, h = FSheet.Height;
    for (int32_t n = first; n <= last; ++n) {
        auto it = FHeld.find(n);
        if (it == FHeld.end()) {
            if (FHeld.size() >= MaxHeldPages) FHeld.erase(FHeld.begin());
            it = FHeld.emplace(n, FReportPrinter->FetchPage(n)).first;
        }
        const QPoint at(FSheet.Left - horizontalScrollBar()->value(), static_cast<int>(ContinuousPageTop(n) - v));
        painter.fillRect(QRect(at + QPoint(1, 1), QSize(w - 4, h - 4)), Qt::white);
        // Played straight into its place: the player's text takes the painter's position, not a
        // translation set on it.
        if (it->second) gdi::PlayEnhMetaFile(painter, *it->second, QRectF(at, QSizeF(w, h)));
        painter.save();
        painter.translate(at);
        DrawSheetFrame(painter, w, h);
        if (FPaintMarks) FPaintMarks(painter, n, QSize(w, h));
        painter.restore();
    }
}

void TQRPreview::SetPaintMarks(std::function<void(QPainter&, int32_t, QSize)> marks) {
    FPaintMarks = marks;
    FPageImage->OnPaintMarks = std::move(marks);
    FPageImage->update();
    viewport()->update();
}

void TQRPreview::ShowPlace(int32_t n, const QRectF& place) {
    SetPageNumber(n);
    if (FPageNumber != n) return;
    const int32_t top = FContinuous ? ContinuousPageTop(n) : FSheet.Top;
    const auto y = static_cast<int32_t>(top + place.top() * FSheet.Height) - viewport()->height() / 3;
    const auto x = static_cast<int32_t>(FSheet.Left + place.left() * FSheet.Width) - viewport()->width() / 3;
    FScrollingToPage = true;
    verticalScrollBar()->setValue(std::max(0, y));
    horizontalScrollBar()->setValue(std::max(0, x));
    FScrollingToPage = false;
    FPageImage->update();
    viewport()->update();
}

std::pair<int32_t, QPointF> TQRPreview::PlaceAt(QPoint p) const {
    if (!FReportPrinter || FSheet.Width <= 0 || FSheet.Height <= 0) return {0, {}};
    const double x = p.x() + horizontalScrollBar()->value() - FSheet.Left;
    const double y = p.y() + verticalScrollBar()->value();
    if (!FContinuous) return {FPageNumber, QPointF(x / FSheet.Width, (y - FSheet.Top) / FSheet.Height)};
    const int64_t pitch = FSheet.Height + ContinuousGap;
    const auto n = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(y - ContinuousGap) / pitch + 1, 1,
                                                             std::max(1, ContinuousPageCount())));
    return {n, QPointF(x / FSheet.Width, (y - ContinuousPageTop(n)) / FSheet.Height)};
}

void TQRPreview::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    ReapplyZoomMode();
}

bool TQRPreview::viewportEvent(QEvent* event) {
    // Scroll bars coming and going change the viewport, not the control: only the ranges follow.
    if (event->type() == QEvent::Resize) {
        UpdateScrollRanges();
        PlaceSheet();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool TQRPreview::event(QEvent* event) {
    // Only the printer's own messages carry a count; the number is read from the low 16 bits.
    if (const auto* message = dynamic_cast<const printer::TQRMessageEvent*>(event)) {
        const auto n = static_cast<int32_t>(message->WParam & 0xFFFF);
        if (message->Message() == printer::MsgPageAvailable) {
            PageAvailable(n);
            return true;
        }
        if (message->Message() == printer::MsgProgressUpdate) {
            ProgressUpdate(n);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

} // namespace pagimo::preview
