#pragma once
// The find bar below the pages: the text, "Match case", "Whole words", previous and next, and the
// count ("3 of 240"). A search runs through the whole document from the page shown in slices between
// which the window goes on answering; the first hit is gone to at once, the hits are drawn over the
// pages (the current one in orange), and next and previous go round the ends. Enter and Shift+Enter
// in the field go to the next and previous hit, Esc stops and closes the bar.

#include "preview/PageFinder.h"

#include <QToolBar>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPainter;
class QTimer;

namespace pagimo::preview {

class TPreviewActions;
class TQRPreview;

class TFindBar : public QToolBar {
public:
    TFindBar(QWidget* parent, TQRPreview& preview);

    // Shows the bar with its field focused.
    void Open();
    // Stops the search, forgets its hits and hides the bar.
    void Close();
    // Searches the document anew for the field's text.
    void Start();
    void Next();
    void Previous();
    // The pages changed (a file loaded): a search under way starts again on the new pages.
    void PagesChanged();

    const TPageFinder& Finder() const { return FFinder; }
    // The hit gone to last: its page (0: none) and its index on that page.
    int32_t HitPage() const { return FHitPage; }
    int HitIndex() const { return FHitIndex; }
    // Draws the hits of a page over it: painter in sheet pixels, the sheet's size.
    void PaintHits(QPainter& painter, int32_t page, QSize sheet) const;
    // Find, Find Next and Find Previous.
    void BindCommands(TPreviewActions& actions);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Step();
    void UpdateStatus();
    void GoToHit(int32_t page, int index);
    void Repaint();

    TQRPreview& FPreview;
    QLineEdit* FField = nullptr;
    QCheckBox* FMatchCase = nullptr;
    QCheckBox* FWholeWords = nullptr;
    QLabel* FStatus = nullptr;
    QTimer* FTimer = nullptr;
    TPageFinder FFinder;
    int32_t FHitPage = 0;
    int FHitIndex = -1;
};

// Page n of the pages a preview control shows, as its picture for reading its text; none when it has
// no such page or the page cannot be drawn.
std::shared_ptr<const emf::TEmfPicture> PageForText(const TQRPreview& preview, int32_t n);

} // namespace pagimo::preview
