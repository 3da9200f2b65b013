#include "preview/PreviewToolBar.h"

#include "preview/PreviewActions.h"
#include "preview/PreviewWindowRules.h"
#include "preview/ToolBarGlyphs.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QHelpEvent>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>

#include <utility>

namespace pagimo::preview {

TPreviewToolBar::TPreviewToolBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("ToolBar1"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setContentsMargins(2, 2, 2, 2);
    toggleViewAction()->setVisible(false);
    for (int i = 0; i < ToolBarGlyphCount; ++i)
        FImages << ToolBarGlyph(i);

    AddDivider(QStringLiteral("ToolButton1"));
    AddButton(tbZoomFit, QStringLiteral("ZoomFit"), QStringLiteral("Zoom to fit"), 0);
    AddButton(tbZoom100, QStringLiteral("Zoom100"), QStringLiteral("100%"), 1);
    AddButton(tbZoomToWidth, QStringLiteral("ZoomToWidth"), QStringLiteral("Zoom to width"), 2);
    FZoomGroup = new QButtonGroup(this);
    FZoomGroup->setExclusive(true);
    for (TButton b : {tbZoomFit, tbZoom100, tbZoomToWidth}) {
        FButtons[b]->setCheckable(true);
        FZoomGroup->addButton(FButtons[b]);
    }
    AddDivider(QStringLiteral("Separator1"));
    AddButton(tbFirstPage, QStringLiteral("FirstPage"), QStringLiteral("First page"), 3);
    AddButton(tbPreviousPage, QStringLiteral("PreviousPage"), QStringLiteral("Previous page"), 4);
    AddButton(tbNextPage, QStringLiteral("ToolButton2"), QStringLiteral("Next page"), 5);
    AddButton(tbLastPage, QStringLiteral("LastPage"), QStringLiteral("Last page"), 6);
    AddDivider(QStringLiteral("Separator2"));
    AddButton(tbPrintSetup, QStringLiteral("PrintSetup"), QStringLiteral("Printer setup"), 7);
    AddButton(tbPrint, QStringLiteral("Print"), QStringLiteral("Print"), 8);
    AddDivider(QStringLiteral("Separator3"));
    AddButton(tbSaveReport, QStringLiteral("SaveReport"), QStringLiteral("Save Report"), 10);
    AddButton(tbLoadReport, QStringLiteral("LoadReport"), QStringLiteral("Load Report"), 9);
    AddDivider(QStringLiteral("Separator4"));
    auto* exit = new QPushButton(QStringLiteral("&Close"), this);
    exit->setObjectName(QStringLiteral("ExitButton"));
    exit->setFlat(true);
    exit->setFixedSize(40, 22);
    exit->setFocusPolicy(Qt::NoFocus);
    exit->installEventFilter(this);
    addWidget(exit);
    FButtons[tbExit] = exit;
}

QToolButton* TPreviewToolBar::AddButton(TButton button, const QString& name, const QString& hint, int glyph) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setIcon(QIcon(FImages.value(glyph)));
    b->setAutoRaise(true);
    b->setFixedSize(23, 22);
    b->setFocusPolicy(Qt::NoFocus);
    b->installEventFilter(this);
    addWidget(b);
    FButtons[button] = b;
    return b;
}

void TPreviewToolBar::AddDivider(const QString& name) {
    auto* line = new QFrame(this);
    line->setObjectName(name);
    line->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    line->setFixedSize(8, 22);
    addWidget(line);
}

void TPreviewToolBar::BindToActions(const TPreviewActions& actions) {
    const std::pair<TButton, TPreviewCommand> commands[] = {
        {tbZoomFit, pcZoomFit},     {tbZoom100, pcZoom100},           {tbZoomToWidth, pcZoomToWidth},
        {tbFirstPage, pcFirstPage}, {tbPreviousPage, pcPreviousPage}, {tbNextPage, pcNextPage},
        {tbLastPage, pcLastPage},   {tbPrintSetup, pcPrintSetup},     {tbPrint, pcPrint},
        {tbSaveReport, pcSave},     {tbLoadReport, pcOpen},           {tbExit, pcClose}};
    for (const auto& [button, command] : commands) {
        QAction* action = actions.Action(command);
        connect(FButtons[button], &QAbstractButton::clicked, action, &QAction::trigger);
        // The zoom mode chosen from the menu or the keys puts its button down.
        if (FButtons[button]->isCheckable()) {
            connect(FButtons[button], &QAbstractButton::toggled, action, &QAction::setChecked);
            connect(action, &QAction::triggered, FButtons[button], [b = FButtons[button]] { b->setChecked(true); });
        }
    }
}

void TPreviewToolBar::AddViewerButtons(QAction* continuous, QMenu* recent) {
    AddDivider(QStringLiteral("Separator5"));
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("ContinuousButton"));
    button->setDefaultAction(continuous);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    addWidget(button);
    FRecent = new QToolButton(this);
    FRecent->setObjectName(QStringLiteral("RecentFiles"));
    FRecent->setText(QStringLiteral("Recent"));
    FRecent->setToolTip(QStringLiteral("Recent files"));
    FRecent->setToolButtonStyle(Qt::ToolButtonTextOnly);
    FRecent->setAutoRaise(true);
    FRecent->setFocusPolicy(Qt::NoFocus);
    FRecent->setPopupMode(QToolButton::InstantPopup);
    FRecent->setMenu(recent);
    FRecent->setEnabled(false);
    addWidget(FRecent);
}

void TPreviewToolBar::SetRecentEnabled(bool value) {
    if (FRecent) FRecent->setEnabled(value);
}

// The hints are shown with the keys that do the same.
bool TPreviewToolBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched->isWidgetType()) {
        auto* button = static_cast<QWidget*>(watched);
        const QString hint = button == FButtons[tbExit] ? QStringLiteral("Close") : button->toolTip();
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), HintWithKeys(button->objectName(), hint),
                           button);
        return true;
    }
    return QToolBar::eventFilter(watched, event);
}

} // namespace pagimo::preview
