#pragma once
// The preview control: one recorded page of a report printer on a white sheet with a thin black
// border and a two-pixel shadow, at a zoom factor, inside a scroll box, or all pages one below the
// other (continuous mode). Every page is shown on its own sheet, the size its picture was recorded
// at. It follows a report printer that is still recording (page-available and progress
// notifications) and passes both on to its owner as events.
//
// On top: facing pages (two side by side, alone or continuous), a view turned by quarter turns (the
// page's own places, its text and marks, stay the page's), and keys and a wheel that turn the page
// at its end (Space, the arrows in the whole-page fit, the wheel past the end of a page).
//
// Pages are drawn off the user-interface thread (TPageRenderer): a sheet whose page is being drawn
// shows white with a small busy mark until the page's image comes back; the images last drawn are
// kept, within a bound, so paging back and scrolling show them at once.

#include "pagestore/PageDocument.h"
#include "preview/PageLayout.h"
#include "preview/PageRenderer.h"
#include "preview/PreviewWindowRules.h"
#include "preview/ZoomRules.h"
#include "printer/PreviewInterface.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace pagimo::preview {

enum TZoomMode { zmFitPage, zmFitWidth, zmCustom };

using TQRPageAvailableEvent = std::function<void(QObject* sender, int32_t pageNum)>;
using TQRProgressUpdateEvent = std::function<void(QObject* sender, int32_t progress)>;

class TQRPreview;

// The sheet inside the control (single-page mode). Mouse use on it is left unhandled, so it reaches
// the control's own handlers as mouse use on the control does.
class TQRPreviewImage : public QWidget {
public:
    explicit TQRPreviewImage(TQRPreview* owner, QWidget* parent);

    printer::TQRPrinter* ReportPrinter() const { return FReportPrinter; }
    void SetReportPrinter(printer::TQRPrinter* printer) { FReportPrinter = printer; }
    int32_t PageNumber() const { return FPageNumber; }
    // The sheet shows a page: page n is stored (it may still turn out not to be drawable).
    bool HasPage() const { return FHasPage; }

    // Shows page n of the report printer (nothing while it is not stored yet) and repaints; the page
    // is drawn on a worker, and the sheet shows it when it comes back.
    void ShowPage(int32_t n);
    // Paints the sheet of the current size: the page on white (or white with the busy mark while it
    // is being drawn), border and shadow. A page that cannot be drawn completely is marked, with the
    // reason. Without a page nothing is drawn.
    void DrawPage(QPainter& painter);
    // Drawn over the page after it (found text, a selection): painter in the upright sheet's pixels
    // (turned with the view), the upright sheet's size.
    std::function<void(QPainter& painter, int32_t page, QSize sheet)> OnPaintMarks;
    // Why the shown page cannot be drawn; empty when it can (or has not been drawn yet).
    const QString& PageProblem() const { return FPageProblem; }
    // The page shown was drawn only in part (over its work budget).
    bool PageIncomplete() const { return FPageIncomplete; }
    // What drawing the shown page came to (the preview sets it when the page comes back).
    void SetOutcome(const printer::TPaintResult& result);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TQRPreview* FOwner;
    printer::TQRPrinter* FReportPrinter = nullptr;
    int32_t FPageNumber = 1;
    bool FHasPage = false;
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
    // Runs, from the event loop, when a page drawn left out glyph-index text of a font that is not
    // installed (page, the font's face name, glyphs left out).
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
    // Continuous mode: every page one below another with a gap, each on its own sheet, the scroll bar
    // moving through the whole document and PageNumber following the page in view. Only the pages
    // in view are drawn; a page scrolled out of view stops being drawn. Off, the control shows one
    // page as before.
    void SetContinuous(bool value);
    bool Continuous() const { return FMode.Continuous; }
    // Facing pages: two pages side by side (page 1 alone first when firstAlone), in continuous mode
    // as rows, otherwise one spread at a time; paging steps a spread, and the fits take the spread.
    void SetFacing(bool facing, bool firstAlone);
    bool Facing() const { return FMode.Facing; }
    bool FirstAlone() const { return FMode.FirstAlone; }
    const TViewMode& ViewMode() const { return FMode; }
    // The view turned by quarter turns clockwise (0 to 3); every page turns, the zoom mode re-fits.
    void SetRotation(int quarterTurns);
    int Rotation() const { return FRotation; }
    // The page a step back (direction < 0) or on goes to: the page before or after, or the spread's.
    int32_t PageStep(int direction) const;
    // Goes a step back or on as the keys and the wheel do at the end of a page: landing at the top of
    // the next page, or at the bottom of the one before (atEnd); tells OnPageNumberChanged.
    void TurnPage(int direction, bool atEnd);
    static constexpr int32_t ContinuousGap = TPageLayout::Gap;
    // The drawn pages kept at most (images, in either mode).
    static constexpr size_t MaxHeldPages = 16;
    size_t HeldPages() const { return FRenderer->CachedPages(); }
    // Where page n's sheet starts in the scrolled area of continuous mode.
    int32_t ContinuousPageTop(int32_t n) const;
    // Page n's sheet (border and shadow included) at the current zoom: its size, and in continuous
    // mode its place in the scrolled area.
    TSheetGeometry PageSheet(int32_t n) const;
    // The pages drawn off the user-interface thread.
    TPageRenderer& Renderer() const { return *FRenderer; }
    // Runs the event loop until every page asked for has been drawn and shown (tests, benchmarks).
    void WaitForPages();
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
    // Ctrl+wheel zooms in steps; the wheel alone scrolls, and past the end of a page turns it.
    void wheelEvent(QWheelEvent* event) override;
    // Space and Shift+Space scroll by a screen and turn the page at its end; the arrows scroll, and
    // in the whole-page fit turn the page at the end.
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Drawing stops while the control is hidden (also when its window closes): no worker may still
    // draw text when the program ends and the fonts go with it.
    void hideEvent(QHideEvent* event) override;

private:
    friend class TQRPreviewImage;
    void PageAvailable(int32_t n);
    void ProgressUpdate(int32_t progress);
    void UpdateScrollRanges();
    void PlaceSheet();
    // The paper metrics of page n's own sheet (the printer's paper for a page whose sheet is not known
    // yet); none without a report printer.
    std::unique_ptr<TPaperMetrics> PaperMetrics(int32_t n) const;
    // What the fits measure: page n's sheet, or its spread's two sheets side by side.
    std::unique_ptr<TPaperMetrics> FitMetrics(int32_t n) const;
    // Sheets laid out by the layout (continuous or facing) rather than the one sheet of PageImage.
    bool Laid() const { return FMode.Continuous || FMode.Facing; }
    // Page n's sheet size at the current zoom and turn.
    QSize SheetSize(int32_t n) const;
    // Paints page n's sheet at rect with its marks (laid-out modes).
    void PaintLaidSheet(QPainter& painter, int32_t n, const QRect& rect, const QRect& exposed);
    // Runs the marks of page n over its sheet at the origin of painter, turned with the view.
    void PaintMarksOf(QPainter& painter, int32_t n, QSize sheet) const;
    // The document shown, taken afresh from the printer when it has changed (a file loaded).
    pagestore::TPageDocument* Document();
    // The view mode or the turn changed: the sheets are laid out and fitted anew.
    void ModeChanged();
    // Laid-out modes: the sheets of all pages (continuous) or of the spread shown, at the current zoom.
    void Layout();
    // Draws page n's sheet at rect (painter coordinates, border and shadow included), of which exposed
    // is to be painted: the page's image when drawn, else white with the busy mark (asking for it).
    void PaintSheet(QPainter& painter, int32_t n, const QRect& rect, const QRect& exposed);
    void PageDrawn(int32_t n, const TPageImage& image);
    // The pages whose sheets lie in the view now (continuous mode), or the page shown.
    std::pair<int32_t, int32_t> PagesInView() const;
    void CancelOutOfView();

    TQRPreviewImage* FPageImage = nullptr;
    TPageRenderer* FRenderer = nullptr;
    int32_t FPageNumber = 1;
    printer::TQRPrinter* FReportPrinter = nullptr;
    int32_t FZoom = 100;
    TZoomMode FZoomMode = zmCustom;
    TSheetGeometry FSheet{0, 0, 100, 50};
    int32_t ContinuousPageCount() const;
    void FollowScrolledPage();
    void ScrollToPage(int32_t n);
    // Whether a key or the wheel at the end of a page turns it: single pages or spreads, not continuous.
    bool TurnsAtEnd() const { return !FMode.Continuous && FReportPrinter; }
    TViewMode FMode;
    int FRotation = 0;
    bool FScrollingToPage = false;
    TPageLayout FLayout;
    struct TLayoutKey {
        int32_t Zoom = 0, Width = 0, Height = 0, Rotation = 0;
        const void* Document = nullptr;
        TViewMode Mode;
        int32_t First = 0;
        bool operator==(const TLayoutKey&) const = default;
    };
    TLayoutKey FLayoutKey;
    TWheelTurn FWheelTurn;
    // The paper of the sheet last sized (page shown), so that a page of another size re-sizes it.
    std::optional<std::pair<Extended, Extended>> FShownPaper;
    std::function<void(QPainter&, int32_t, QSize)> FPaintMarks;
    int FWheelZoomAngle = 0; // eighths of a degree of Ctrl+wheel not yet turned into a step
};

} // namespace pagimo::preview
