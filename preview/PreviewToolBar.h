#pragma once
// The preview window's tool bar: the zoom buttons (one radio group), paging, printer setup and print,
// save and load, each a 23-pixel button with its hint and glyph, and the close button; after them
// continuous pages and the recent files. The hints show the keys that do the same. The buttons only
// report their clicks: the window binds them.

#include <QAbstractButton>
#include <QList>
#include <QPixmap>
#include <QToolBar>

#include <array>

class QButtonGroup;
class QMenu;
class QToolButton;

namespace pagimo::preview {

class TPreviewActions;

class TPreviewToolBar : public QToolBar {
public:
    enum TButton {
        tbZoomFit,
        tbZoom100,
        tbZoomToWidth,
        tbFirstPage,
        tbPreviousPage,
        tbNextPage,
        tbLastPage,
        tbPrintSetup,
        tbPrint,
        tbSaveReport,
        tbLoadReport,
        tbExit,
        tbButtonCount
    };

    explicit TPreviewToolBar(QWidget* parent);

    // Each button triggers the command it stands for (the zoom buttons' commands are the zoom modes,
    // Load Report's is Open, the close button's Close); the zoom commands' check marks follow the
    // button that is down, and a zoom command triggered otherwise puts its button down.
    void BindToActions(const TPreviewActions& actions);
    QAbstractButton* Button(TButton button) const { return FButtons[button]; }
    // Continuous pages (a button of the action) and the recent files (a drop-down of the menu).
    void AddViewerButtons(QAction* continuous, QMenu* recent);
    void SetRecentEnabled(bool value);
    // The glyphs, in the order of the image list.
    const QList<QPixmap>& Images() const { return FImages; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* AddButton(TButton button, const QString& name, const QString& hint, int glyph);
    void AddDivider(const QString& name);

    std::array<QAbstractButton*, tbButtonCount> FButtons{};
    QList<QPixmap> FImages;
    QButtonGroup* FZoomGroup = nullptr;
    QToolButton* FRecent = nullptr;
};

} // namespace pagimo::preview
