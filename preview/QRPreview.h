#pragma once
// The preview control: one recorded page of a report printer on a white sheet with a thin black
// border and a two-pixel shadow, at a zoom factor, inside a scroll box. It follows a report printer
// that is still recording (page-available and progress notifications) and passes both on to its
// owner as events. Only the page on screen is held, as a vector picture replayed at every paint.

#include "platform/emf/EmfPicture.h"
#include "preview/ZoomRules.h"
#include "printer/PreviewInterface.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class QPainter;

namespace pagimo::preview {

enum TZoomMode { zmFitPage, zmFitWidth, zmCustom };

using TQRPageAvailableEvent = std::function<void(QObject* sender, int32_t pageNum)>;
using TQRProgressUpdateEvent = std::function<void(QObject* sender, int32_t progress)>;

// The sheet inside the control. Mouse use on it is left unhandled, so it reaches the control's own
// handlers as mouse use on the control does.
class TQRPreviewImage : public QWidget {
public:
    explicit TQRPreviewImage(QWidget* parent = nullptr);

    printer::TQRPrinter* ReportPrinter() const { return FReportPrinter; }
    void SetReportPrinter(printer::TQRPrinter* printer) { FReportPrinter = printer; }
    int32_t PageNumber() const { return FPageNumber; }
    bool HasPage() const { return FPagePicture != nullptr || !FPageProblem.isEmpty(); }
    const emf::TEmfPicture* PagePicture() const { return FPagePicture.get(); }

    // Replaces the held picture by page n of the report printer (none when the page is not available
    // yet) and repaints. A page that cannot be drawn is held as its reason (PageProblem) instead.
    void ShowPage(int32_t n);
    // Paints the sheet of the current size: white ground, the page stretched over the whole sheet,
    // border and shadow. A page that cannot be drawn gets a sheet marked so, with the reason. Without
    // a page nothing is drawn.
    void DrawPage(QPainter& painter);
    // Drawn over the page after it (found text, a selection): painter in sheet pixels, sheet size.
    std::function<void(QPainter& painter, int32_t page, QSize sheet)> OnPaintMarks;
    // Why the shown page cannot be drawn; empty when it can (or is not available yet).
    const QString& PageProblem() const { return FPageProblem; }
    // The page shown was drawn only in part (over its work budget), as its last painting found.
    bool PageIncomplete() const { return FPageIncomplete; }
    // Runs when painting the page left out glyph-index text of a font that is not installed
    // (page, the font's face name, glyphs left out).
    std::function<void(int32_t page, const QString& face, uint32_t glyphs)> OnMissingFont;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    printer::TQRPrinter* FReportPrinter = nullptr;
    int32_t FPageNumber = 1;
    std::unique_ptr<emf::TEmfPicture> FPagePicture;
    QString FPageProblem;
    bool FPageIncomplete = false;
};

class TQRPreview : public QAbstractScrollArea, public printer::TQRNotifyWindow {
public:
    explicit TQRPreview(QWidget* parent = nullptr);
    ~TQRPreview() override;

    TQRPageAvailableEvent OnPageAvailable;
    TQRProgressUpdateEvent OnProgressUpdate;
    // Runs after the control has let go of a report printer that was destroyed under it.
    std::function<void()> OnReportPrinterGone;
    // Runs, from the event loop, when a page that cannot be drawn has been shown (page, reason).
    std::function<void(int32_t page, const QString& reason)> OnPageProblem;
    // Runs, from the event loop, when a page drawn needed a font that is not installed (see
    // TQRPreviewImage::OnMissingFont).
    std::function<void(int32_t page, const QString& face, uint32_t glyphs)> OnMissingFont;

    TQRPreviewImage* PageImage() const { return FPageImage; }

    printer::TQRPrinter* ReportPrinter() const { return FReportPrinter; }
    // Attaches to a report printer (or detaches with null): becomes its NotifyWindow, shows page 1.
    void SetReportPrinter(printer::TQRPrinter* printer);
    int32_t PageNumber() const { return FPageNumber; }
    // Shows page n when it exists; page numbers outside 1..PageTotal are ignored.
    void SetPageNumber(int32_t n);
    // Has the sheet show page n (also the same page again), and tells OnPageProblem when it cannot
    // be drawn.
    void ShowPage(int32_t n);
    int32_t Zoom() const { return FZoom; }
    // A custom zoom in percent; values outside 2..2000 are ignored.
    void SetZoom(int32_t zoom);
    TZoomMode ZoomMode() const { return FZoomMode; }

    void FitWholePage();
    void FitPageWidth();
    // Continuous mode: every page one below another with a gap, the scroll bar moving through the
    // whole document and PageNumber following the page in view. Only the pages in or near the view
    // are held (at most MaxHeldPages pictures). Off, the control shows one page as before.
    void SetContinuous(bool value);
    bool Continuous() const { return FContinuous; }
    static constexpr int32_t ContinuousGap = 10;
    static constexpr size_t MaxHeldPages = 8;
    size_t HeldPages() const { return FHeld.size(); }
    // Where page n's sheet starts in the scrolled area of continuous mode.
    int32_t ContinuousPageTop(int32_t n) const;
    // Marks drawn over every page shown, in both modes (see TQRPreviewImage::OnPaintMarks).
    void SetPaintMarks(std::function<void(QPainter&, int32_t, QSize)> marks);
    // Brings a place of page n (page fractions) into view: shows the page and scrolls the place to
    // about a third of the way down the view.
    void ShowPlace(int32_t n, const QRectF& place);
    // Which page and where on it (page fractions) a point of the viewport lies; page 0 when none.
    std::pair<int32_t, QPointF> PlaceAt(QPoint viewportPoint) const;
    // Runs when scrolling in continuous mode has brought another page into view.
    std::function<void()> OnPageNumberChanged;
    // One zoom step up (direction > 0) or down through ZoomSteps; at the ends nothing changes.
    void ZoomStep(int direction);
    // Runs after every change of the sheet's size (zoom, fit, resize).
    std::function<void()> OnZoomApplied;
    // Resizes and centres the sheet for the current zoom and scrolls to the top left.
    void ApplyZoom();
    // Fetches the shown page once it has become available.
    void RefreshShownPage();
    // Runs when the control's size changes: the fit modes re-fit, every mode re-applies the zoom.
    void ReapplyZoomMode();

    // The sheet's place in the scrolled area (before scrolling).
    const TSheetGeometry& Sheet() const { return FSheet; }

    // A report printer that goes away while this control shows its pages: let go of it.
    void ReportPrinterDestroyed(printer::TQRPrinter& printer) override;

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    // Ctrl+wheel zooms in steps; the wheel alone scrolls.
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void PageAvailable(int32_t n);
    void ProgressUpdate(int32_t progress);
    void UpdateScrollRanges();
    void PlaceSheet();
    std::unique_ptr<TPaperMetrics> PaperMetrics() const;

    TQRPreviewImage* FPageImage = nullptr;
    int32_t FPageNumber = 1;
    printer::TQRPrinter* FReportPrinter = nullptr;
    int32_t FZoom = 100;
    TZoomMode FZoomMode = zmCustom;
    TSheetGeometry FSheet{0, 0, 100, 50};
    int32_t ContinuousPageCount() const;
    void FollowScrolledPage();
    void ScrollToPage(int32_t n);
    bool FContinuous = false;
    bool FScrollingToPage = false;
    std::map<int32_t, std::unique_ptr<emf::TEmfPicture>> FHeld;
    std::function<void(QPainter&, int32_t, QSize)> FPaintMarks; // continuous mode's pages near the view
    int FWheelZoomAngle = 0; // eighths of a degree of Ctrl+wheel not yet turned into a step
};

} // namespace pagimo::preview
