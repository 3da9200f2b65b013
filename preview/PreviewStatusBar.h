#pragma once
// The preview window's status bar: panel 0 with the progress of a generation, panel 1 with the page
// counter, and at the right end what a live run is doing, where the last print job or export went, why
// a file changed on disk could not be shown, the zoom, and the field to go to a page. It is 19 pixels
// high and panel 0 is 40 wide at the usual font; a larger font (a display at twice the scale) makes
// them as large as their text needs.

#include <QStatusBar>
#include <QStringList>

class QLabel;
class QLineEdit;

namespace pagimo::preview {

class TQRPreview;

class TPreviewStatusBar : public QStatusBar {
public:
    explicit TPreviewStatusBar(QWidget* parent);

    void SetProgress(const QString& text);
    void SetPageInfo(const QString& text);
    void SetZoom(int32_t zoom);
    // What a live run has made so far; an empty text hides it.
    void SetLiveStatus(const QString& text);
    // Where a print job or an export went, shown for a few seconds.
    void ShowDone(const QString& text);
    // Tells once per face and document that a page left out text set in the glyph numbers of a font
    // that is not installed (the page is drawn all the same); other pages loaded: told afresh.
    void MissingFont(int32_t page, const QString& face, uint32_t glyphs);
    void ForgetMissingFonts() { FMissingFontsTold.clear(); }
    // Why the file on disk was not reloaded; an empty text hides it.
    void SetReloadProblem(const QString& text);
    // The page field: a number and Enter go to that page of the preview control (numbers outside the
    // document are ignored), and the field is emptied for the next one; Esc leaves it.
    QLineEdit* GoToField() const { return FGoTo; }
    void FocusGoToField();
    void GoToPageEntered();
    void SetPreview(TQRPreview* preview) { FPreview = preview; }

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList FMissingFontsTold;
    // Sizes that follow the font: the bar, panel 0 and the page field hold their text at every scale.
    void FitToFont();

    QLabel* FProgress = nullptr;
    QLabel* FPage = nullptr;
    QLabel* FLive = nullptr;
    QLabel* FDone = nullptr;
    QLabel* FReload = nullptr;
    QLabel* FZoom = nullptr;
    QLineEdit* FGoTo = nullptr;
    TQRPreview* FPreview = nullptr;
};

} // namespace pagimo::preview
