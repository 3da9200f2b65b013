#include "preview/QRPreview.h"

#include "printer/QRPrinter.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <tuple>
#include <utility>

namespace pagimo::preview {

namespace {

// Border and two-pixel shadow of a sheet w x h, over whatever the page left there.
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

// The small mark of a page being drawn: a grey ring with a darker quarter, in the middle of the part
// of the sheet that is in view.
void DrawBusyMark(QPainter& painter, const QRect& visible) {
    if (visible.width() < 12 || visible.height() < 12) return;
    const int size = std::min({24, visible.width() / 2, visible.height() / 2});
    const QRectF ring(visible.center().x() - size / 2.0, visible.center().y() - size / 2.0, size, size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(200, 200, 200), 3));
    painter.drawEllipse(ring);
    painter.setPen(QPen(QColor(110, 110, 110), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, 90 * 16, -90 * 16);
    painter.restore();
}

// Runs marks drawn in the upright sheet's pixels over a sheet (of sheet's size, at the painter's
// origin) turned by turns quarters.
void RunMarks(const std::function<void(QPainter&, int32_t, QSize)>& marks, QPainter& painter, int32_t n, QSize sheet,
              int turns) {
    if (!marks) return;
    const QSize upright = TurnedSize(sheet, turns);
    painter.save();
    painter.setTransform(TurnTransform(upright, turns), true);
    marks(painter, n, upright);
    painter.restore();
}

// The page inside a sheet of w x h: the border and shadow take the outer pixels.
QRect PageArea(const QRect& sheet) {
    return QRect(sheet.x() + 1, sheet.y() + 1, std::max(0, sheet.width() - SheetMargin),
                 std::max(0, sheet.height() - SheetMargin));
}

} // namespace

// ---- TQRPreviewImage ----

TQRPreviewImage::TQRPreviewImage(TQRPreview* owner, QWidget* parent) : QWidget(parent), FOwner(owner) {
    setObjectName(QStringLiteral("PageImage"));
    resize(100, 50);
    // The sheet paints every pixel it owns when it holds a page, and nothing otherwise, so the scroll
    // box's ground shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TQRPreviewImage::ShowPage(int32_t n) {
    FPageNumber = n;
    FPageProblem.clear();
    FPageIncomplete = false;
    FHasPage = false;
    if (FReportPrinter && FOwner) {
        pagestore::TPageDocument* document = FOwner->Document();
        FHasPage = document && n >= 1 && n <= document->PageCount();
        // A page drawn before says at once what it came to.
        if (const TPageImage* image = FHasPage ? FOwner->Renderer().LastImage(n) : nullptr) SetOutcome(image->Result);
    }
    update();
}

void TQRPreviewImage::SetOutcome(const printer::TPaintResult& result) {
    FPageIncomplete = result.Outcome == printer::pgIncomplete;
    FPageProblem = result.Outcome == printer::pgDamaged ? QString::fromStdString(result.Reason) : QString();
}

void TQRPreviewImage::DrawPage(QPainter& painter) {
    if (!HasPage() || !FOwner) return;
    const QRect exposed = painter.hasClipping() ? painter.clipBoundingRect().toAlignedRect() : rect();
    FOwner->PaintSheet(painter, FPageNumber, rect(), exposed.isEmpty() ? rect() : exposed);
}

void TQRPreviewImage::paintEvent(QPaintEvent* event) {
    if (!HasPage()) return;
    if (FOwner) FOwner->Document();
    QPainter painter(this);
    painter.setClipRegion(event->region());
    DrawPage(painter);
    RunMarks(OnPaintMarks, painter, FPageNumber, size(), FOwner ? FOwner->Rotation() : 0);
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
    // Two workers: the page in view is drawn while another one still is (a slow page scrolled past).
    FRenderer = new TPageRenderer(this, 160u << 20, MaxHeldPages, 2);
    FRenderer->OnDrawn = [this](int32_t n, const TPageImage& image) { PageDrawn(n, image); };
    FPageImage = new TQRPreviewImage(this, viewport());
    FPageImage->move(0, 0);
    // The ground around the sheet is the button face, so that the white sheet stands out.
    viewport()->setBackgroundRole(QPalette::Button);
    viewport()->setAutoFillBackground(true);
}

TQRPreview::~TQRPreview() {
    // No worker may still draw once the control is gone (nor when the fonts go at the program's end).
    FRenderer->Stop();
    if (FReportPrinter) SetReportPrinter(nullptr);
}

pagestore::TPageDocument* TQRPreview::Document() {
    std::shared_ptr<pagestore::TPageDocument> document = FReportPrinter ? FReportPrinter->Document() : nullptr;
    if (document != FRenderer->Document()) {
        FRenderer->SetDocument(std::move(document));
        if (Laid()) Layout();
    }
    return FRenderer->Document().get();
}

void TQRPreview::ShowPage(int32_t n) {
    Document();
    FPageImage->ShowPage(n);
    if (Laid()) return;
    CancelOutOfView();
    // A page whose sheet differs from the one shown before takes its own size (and its own fit) at once.
    if (const auto paper = PaperMetrics(n);
        paper && FShownPaper && *FShownPaper != std::pair(paper->OrientedWidth, paper->OrientedLength)) {
        if (FZoomMode == zmFitPage)
            FitWholePage();
        else if (FZoomMode == zmFitWidth)
            FitPageWidth();
        else
            ApplyZoom();
    }
}

std::unique_ptr<TPaperMetrics> TQRPreview::PaperMetrics(int32_t n) const {
    if (!FReportPrinter) return nullptr;
    printer::TQRPrinter* p = FReportPrinter;
    Extended width = p->OrientedWidth(), length = p->OrientedLength();
    // A page recorded on the printer's paper keeps the paper's exact size (its picture holds it only to
    // the pixel); any other page has its own sheet.
    if (const auto document = p->Document()) {
        const auto sheet = document->Sheet(n);
        if (sheet && (sheet->WidthPixels != p->DeviceWidth(width) || sheet->HeightPixels != p->DeviceHeight(length)))
            width = sheet->WidthTenths, length = sheet->HeightTenths;
    }
    // A view turned a quarter shows the sheet the other way round.
    if (FRotation % 2)
        return std::make_unique<TPaperMetrics>(TPaperMetrics{length, width,
                                                             [p](Extended w) { return p->DeviceHeight(w); },
                                                             [p](Extended h) { return p->DeviceWidth(h); }});
    return std::make_unique<TPaperMetrics>(TPaperMetrics{width, length, [p](Extended w) { return p->DeviceWidth(w); },
                                                         [p](Extended h) { return p->DeviceHeight(h); }});
}

std::unique_ptr<TPaperMetrics> TQRPreview::FitMetrics(int32_t n) const {
    std::unique_ptr<TPaperMetrics> paper = PaperMetrics(n);
    if (!paper || !FMode.Facing) return paper;
    // A spread is two sheets wide (a lone page fits as one of a spread, so it keeps the spreads' size).
    const auto [first, last] = SpreadOf(n, ContinuousPageCount(), FMode);
    const auto other = PaperMetrics(first == n ? last : first);
    paper->OrientedWidth += other->OrientedWidth;
    paper->OrientedLength = std::max(paper->OrientedLength, other->OrientedLength);
    return paper;
}

QSize TQRPreview::SheetSize(int32_t n) const {
    const TSheetGeometry g = SheetAt(PaperMetrics(n).get(), FZoom, width(), height());
    return {g.Width, g.Height};
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
    Document();
    SetPageNumber(1);
    ShowPage(1);
    viewport()->update();
}

void TQRPreview::ReportPrinterDestroyed(printer::TQRPrinter& printer) {
    if (FReportPrinter != &printer) return;
    FReportPrinter = nullptr;
    FPageImage->SetReportPrinter(nullptr);
    FRenderer->SetDocument(nullptr);
    FPageImage->ShowPage(FPageImage->PageNumber());
    if (OnReportPrinterGone) OnReportPrinterGone();
}

void TQRPreview::SetPageNumber(int32_t n) {
    if (Laid()) {
        if (n < 1 || !FReportPrinter || n > FReportPrinter->PageTotal()) return;
        FPageNumber = n;
        ScrollToPage(n);
        if (!FMode.Continuous) CancelOutOfView();
        return;
    }
    if (n == FPageNumber && FPageImage->HasPage()) return;
    if (n < 1 || !FReportPrinter || n > FReportPrinter->PageTotal()) return;
    FPageNumber = n;
    ShowPage(n);
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
    const auto paper = PaperMetrics(FPageNumber);
    FSheet = SheetAt(paper.get(), FZoom, width(), height());
    FShownPaper.reset();
    if (paper) FShownPaper = std::pair(paper->OrientedWidth, paper->OrientedLength);
    FPageImage->resize(FSheet.Width, FSheet.Height);
    if (Laid()) Layout();
    UpdateScrollRanges();
    horizontalScrollBar()->setValue(0);
    if (Laid())
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
        const QScrollBar* bar = verticalScrollBar();
        const int turn = TurnsAtEnd() ? FWheelTurn.Turn(event->angleDelta().y(), event->phase(),
                                                        bar->value() <= bar->minimum(), bar->value() >= bar->maximum())
                                      : 0;
        if (turn != 0) {
            TurnPage(turn, turn < 0);
            event->accept();
            return;
        }
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

// Both fits are computed for the page shown (in continuous mode, the page in view), on its own sheet.
void TQRPreview::FitWholePage() {
    const auto paper = FitMetrics(FPageNumber);
    SetZoom(FitWholePageZoom(paper.get(), width(), height()));
    FZoomMode = zmFitPage;
}

void TQRPreview::FitPageWidth() {
    const auto paper = FitMetrics(FPageNumber);
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
    if (Laid()) {
        Document();
        Layout();
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
    if (Laid()) {
        horizontalScrollBar()->setRange(0, std::max(0, FLayout.Width() - view.width()));
        verticalScrollBar()->setRange(
            0, static_cast<int32_t>(std::clamp<int64_t>(FLayout.Height() - view.height(), 0, 2000000000)));
    } else {
        horizontalScrollBar()->setRange(0, std::max(0, FSheet.Left + FSheet.Width - view.width()));
        verticalScrollBar()->setRange(0, std::max(0, FSheet.Top + FSheet.Height - view.height()));
    }
}

void TQRPreview::PlaceSheet() {
    if (Laid()) {
        viewport()->update();
        return;
    }
    FPageImage->move(FSheet.Left - horizontalScrollBar()->value(), FSheet.Top - verticalScrollBar()->value());
}

void TQRPreview::scrollContentsBy(int, int) {
    PlaceSheet();
    if (FMode.Continuous && !FScrollingToPage) FollowScrolledPage();
    if (Laid()) CancelOutOfView();
}

// ---- drawing ----

void TQRPreview::PaintSheet(QPainter& painter, int32_t n, const QRect& rect, const QRect& exposed) {
    const QRect page = PageArea(rect);
    const QRect visible = exposed.intersected(page);
    if (!visible.isEmpty()) {
        // The part of the page to draw, in the page's own pixels.
        const QRect part = visible.translated(-page.topLeft());
        const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : devicePixelRatioF();
        pagestore::TPageDocument* document = FRenderer->Document().get();
        const bool stored = document && n >= 1 && n <= document->PageCount();
        bool exact = false;
        const TPageImage* image = stored ? FRenderer->Image(n, page.size(), ratio, part, &exact, FRotation) : nullptr;
        // An image turned otherwise cannot stand in.
        if (image && image->Turns != FRotation) image = nullptr;
        if (!image || !exact) painter.fillRect(visible, Qt::white);
        if (image) {
            // The image drawn (or, while the page is drawn anew at another size, the last one scaled).
            const double sx = static_cast<double>(page.width()) / image->Size.width();
            const double sy = static_cast<double>(page.height()) / image->Size.height();
            const QRectF at(page.x() + image->Area.x() * sx, page.y() + image->Area.y() * sy, image->Area.width() * sx,
                            image->Area.height() * sy);
            painter.save();
            painter.setClipRect(page, Qt::IntersectClip);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
            painter.drawImage(at, image->Image);
            painter.restore();
        }
        if (!exact) DrawBusyMark(painter, visible);
    }
    painter.save();
    painter.translate(rect.topLeft());
    DrawSheetFrame(painter, rect.width(), rect.height());
    painter.restore();
}

void TQRPreview::PageDrawn(int32_t n, const TPageImage& image) {
    if (image.Result.Play.DroppedGlyphs && OnMissingFont) {
        // Told from the event loop, not from inside the drawing's delivery.
        QPointer<TQRPreview> self(this);
        const QString face = QString::fromStdString(image.Result.Play.DroppedGlyphFace);
        const uint32_t glyphs = image.Result.Play.DroppedGlyphs;
        QMetaObject::invokeMethod(
            this,
            [self, n, face, glyphs] {
                if (self && self->OnMissingFont) self->OnMissingFont(n, face, glyphs);
            },
            Qt::QueuedConnection);
    }
    if (Laid()) {
        const auto [first, last] = PagesInView();
        if (n >= first && n <= last) viewport()->update();
        return;
    }
    if (n != FPageImage->PageNumber()) return;
    FPageImage->SetOutcome(image.Result);
    FPageImage->update();
    if (image.Result.Outcome == printer::pgDamaged && OnPageProblem) {
        // Told from the event loop, not from inside the drawing's delivery.
        QPointer<TQRPreview> self(this);
        const QString problem = FPageImage->PageProblem();
        QMetaObject::invokeMethod(
            this,
            [self, n, problem] {
                if (self && self->OnPageProblem) self->OnPageProblem(n, problem);
            },
            Qt::QueuedConnection);
    }
}

std::pair<int32_t, int32_t> TQRPreview::PagesInView() const {
    if (!Laid()) return {FPageImage->PageNumber(), FPageImage->PageNumber()};
    const int64_t v = verticalScrollBar()->value();
    return {FLayout.RowAt(v).first, FLayout.RowAt(v + viewport()->height()).second};
}

void TQRPreview::CancelOutOfView() {
    const auto [first, last] = PagesInView();
    FRenderer->CancelUnless([first, last](int32_t n) { return n >= first && n <= last; });
}

void TQRPreview::WaitForPages() {
    // Paint to learn what is wanted (into an image: a window not exposed yet paints nothing), wait for
    // it, and paint what came back.
    for (int round = 0; round < 3; ++round) {
        QWidget* sheet = Laid() ? viewport() : FPageImage;
        if (Laid() || FPageImage->HasPage()) {
            QImage scratch(sheet->size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
            sheet->render(&scratch);
        }
        if (FRenderer->Idle()) break;
        FRenderer->WaitUntilIdle();
        if (Laid()) viewport()->update();
        FPageImage->update();
    }
}

// ---- laid-out modes: continuous pages and facing pages ----

int32_t TQRPreview::ContinuousPageCount() const {
    return FReportPrinter ? FReportPrinter->PageTotal() : 0;
}

void TQRPreview::Layout() {
    const int32_t count = ContinuousPageCount();
    int32_t first = 1, last = count;
    if (!FMode.Continuous && count >= 1)
        std::tie(first, last) = SpreadOf(std::clamp(FPageNumber, 1, count), count, FMode);
    // While a report records, pages come one at a time: only the new rows (and the row of the last page
    // known, whose sheet may have been pending) are laid out again.
    const TLayoutKey key{FZoom, width(), height(), FRotation, FRenderer->Document().get(), FMode, first};
    const int32_t keep = key == FLayoutKey ? FLayout.Last() : 0;
    FLayoutKey = key;
    FLayout.Build(
        first, last, [this](int32_t n) { return SheetSize(n); }, size(), FMode, keep);
    if (FLayout.Holds(FPageNumber)) FSheet = FLayout.Sheet(FPageNumber);
}

TSheetGeometry TQRPreview::PageSheet(int32_t n) const {
    if (Laid() && FLayout.Holds(n)) return FLayout.Sheet(n);
    if (n == FPageNumber) return FSheet;
    return SheetAt(PaperMetrics(n).get(), FZoom, width(), height());
}

int32_t TQRPreview::ContinuousPageTop(int32_t n) const {
    const int32_t page =
        FLayout.Holds(n) ? n : std::clamp(n, FLayout.First(), std::max(FLayout.First(), FLayout.Last()));
    return static_cast<int32_t>(std::min<int64_t>(FLayout.RowTop(page), 2000000000));
}

void TQRPreview::SetContinuous(bool value) {
    if (value == FMode.Continuous) return;
    FMode.Continuous = value;
    ModeChanged();
}

void TQRPreview::SetFacing(bool facing, bool firstAlone) {
    if (facing == FMode.Facing && firstAlone == FMode.FirstAlone) return;
    FMode.Facing = facing;
    FMode.FirstAlone = firstAlone;
    ModeChanged();
}

void TQRPreview::ModeChanged() {
    FLayoutKey = {};
    FPageImage->setVisible(!Laid());
    if (!Laid()) FPageImage->ShowPage(FPageNumber);
    // A spread fits otherwise than a page.
    ReapplyZoomMode();
    viewport()->update();
}

void TQRPreview::SetRotation(int quarterTurns) {
    const int turns = NormalTurns(quarterTurns);
    if (turns == FRotation) return;
    FRotation = turns;
    FLayoutKey = {};
    ReapplyZoomMode();
    FPageImage->update();
    viewport()->update();
}

int32_t TQRPreview::PageStep(int direction) const {
    return SpreadStep(FPageNumber, ContinuousPageCount(), FMode, direction);
}

void TQRPreview::TurnPage(int direction, bool atEnd) {
    const int32_t before = FPageNumber;
    SetPageNumber(PageStep(direction));
    FWheelTurn.Reset();
    if (FPageNumber == before) return;
    if (atEnd) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    if (OnPageNumberChanged) OnPageNumberChanged();
}

void TQRPreview::ScrollToPage(int32_t n) {
    FScrollingToPage = true;
    if (!FMode.Continuous) Layout(); // the spread of page n
    UpdateScrollRanges();
    verticalScrollBar()->setValue(FMode.Continuous ? ContinuousPageTop(n) - ContinuousGap : 0);
    if (!FMode.Continuous) horizontalScrollBar()->setValue(0);
    FScrollingToPage = false;
    viewport()->update();
}

// The page in view is the one that reaches a third of the way down the view (the last one at the end).
void TQRPreview::FollowScrolledPage() {
    const int32_t count = ContinuousPageCount();
    if (count < 1) return;
    int32_t n = FLayout.RowAt(static_cast<int64_t>(verticalScrollBar()->value()) + viewport()->height() / 3).first;
    // At the end of the document the last page counts, also when it is too short to reach the line.
    if (verticalScrollBar()->maximum() > 0 && verticalScrollBar()->value() == verticalScrollBar()->maximum()) n = count;
    if (n == FPageNumber) return;
    FPageNumber = n;
    if (FLayout.Holds(n)) FSheet = FLayout.Sheet(n);
    if (OnPageNumberChanged) OnPageNumberChanged();
}

void TQRPreview::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    QScrollBar* v = verticalScrollBar();
    const QScrollBar* h = horizontalScrollBar();
    if (event->key() == Qt::Key_Space && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        const TScreenStep step =
            ScreenStep(v->value(), v->maximum(), viewport()->height(), mods ? -1 : 1, TurnsAtEnd());
        if (step.Turn != 0)
            TurnPage(step.Turn, step.Turn < 0);
        else
            v->setValue(step.Value);
        event->accept();
        return;
    }
    // In the whole-page fit an arrow at the end of the page turns it.
    int turn = 0;
    if (mods == Qt::NoModifier && TurnsAtEnd() && FZoomMode == zmFitPage) {
        if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Right)
            turn = (event->key() == Qt::Key_Down ? v->value() >= v->maximum() : h->value() >= h->maximum()) ? 1 : 0;
        else if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Left)
            turn = (event->key() == Qt::Key_Up ? v->value() <= 0 : h->value() <= 0) ? -1 : 0;
    }
    if (turn != 0) {
        TurnPage(turn, event->key() == Qt::Key_Up);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void TQRPreview::paintEvent(QPaintEvent* event) {
    if (!Laid()) {
        QAbstractScrollArea::paintEvent(event);
        return;
    }
    Document();
    if (ContinuousPageCount() < 1 || !FReportPrinter) return;
    const auto [first, last] = PagesInView();
    QPainter painter(viewport());
    painter.setClipRegion(event->region());
    const QRect exposed = event->region().boundingRect();
    const int64_t v = verticalScrollBar()->value();
    const int h = horizontalScrollBar()->value();
    for (int32_t n = first; n <= last; ++n) {
        if (!FLayout.Holds(n)) continue;
        const TSheetGeometry g = FLayout.Sheet(n);
        const QRect sheet(g.Left - h, static_cast<int>(FLayout.Top(n) - v), g.Width, g.Height);
        if (!sheet.intersects(exposed)) continue;
        // Each page is drawn into an image of its own sheet, so nothing of it reaches a neighbour.
        PaintSheet(painter, n, sheet, exposed);
        painter.save();
        painter.translate(sheet.topLeft());
        painter.setClipRect(QRect(QPoint(0, 0), sheet.size()), Qt::IntersectClip);
        RunMarks(FPaintMarks, painter, n, sheet.size(), FRotation);
        painter.restore();
    }
}

void TQRPreview::hideEvent(QHideEvent* event) {
    FRenderer->Stop();
    QAbstractScrollArea::hideEvent(event);
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
    const QRectF turned = TurnedPlace(place, FRotation);
    const TSheetGeometry sheet = PageSheet(n);
    const int64_t top = Laid() ? FLayout.Top(n) : FSheet.Top;
    const auto y = static_cast<int32_t>(top + turned.top() * sheet.Height) - viewport()->height() / 3;
    const auto x = static_cast<int32_t>(sheet.Left + turned.left() * sheet.Width) - viewport()->width() / 3;
    FScrollingToPage = true;
    verticalScrollBar()->setValue(std::max(0, y));
    horizontalScrollBar()->setValue(std::max(0, x));
    FScrollingToPage = false;
    FPageImage->update();
    viewport()->update();
}

std::pair<int32_t, QPointF> TQRPreview::PlaceAt(QPoint p) const {
    if (!FReportPrinter) return {0, {}};
    const double x = p.x() + horizontalScrollBar()->value();
    const double y = p.y() + verticalScrollBar()->value();
    int32_t n = FPageNumber;
    TSheetGeometry sheet = FSheet;
    double top = FSheet.Top;
    if (Laid()) {
        n = FLayout.PageAt(x, static_cast<int64_t>(y));
        if (!FLayout.Holds(n)) return {0, {}};
        sheet = FLayout.Sheet(n);
        top = static_cast<double>(FLayout.Top(n));
    }
    if (sheet.Width <= 0 || sheet.Height <= 0) return {0, {}};
    return {n, UnturnedPlace(QPointF((x - sheet.Left) / sheet.Width, (y - top) / sheet.Height), FRotation)};
}

void TQRPreview::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    ReapplyZoomMode();
}

bool TQRPreview::viewportEvent(QEvent* event) {
    // Scroll bars coming and going change the viewport, not the control: only the ranges follow. A
    // range cut short meanwhile (full screen on and off, a panel docked) moves the scroll bar, which
    // must not take the reader to another page.
    if (event->type() == QEvent::Resize) {
        const bool scrolling = std::exchange(FScrollingToPage, true);
        UpdateScrollRanges();
        FScrollingToPage = scrolling;
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
