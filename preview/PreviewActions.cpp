#include "preview/PreviewActions.h"

#include "preview/QRPreview.h"

#include <QActionGroup>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenuBar>

namespace pagimo::preview {

namespace {

enum TMenu { mnFile, mnEdit, mnView, mnGo, mnHelp };

struct TCommandRow {
    TPreviewCommand Command;
    TMenu Menu;
    const char* Name;
    const char* Text;
    QKeySequence::StandardKey Standard;
    const char* Keys; // keys of its own, in portable text, ", " between them
    bool Checkable;
    bool SeparatorBefore;
    bool KeyTable; // its keys are the window's key table's: shown, and active only in the open menu
};

constexpr QKeySequence::StandardKey None = QKeySequence::UnknownKey;

// In command order, which is menu order.
constexpr TCommandRow Commands[] = {
    {pcOpen, mnFile, "actionOpen", "&Open\u2026", QKeySequence::Open, "", false, false, false},
    {pcSave, mnFile, "actionSave", "&Save As\u2026", QKeySequence::Save, "", false, false, false},
    {pcPrint, mnFile, "actionPrint", "&Print\u2026", QKeySequence::Print, "", false, true, false},
    {pcPrintSetup, mnFile, "actionPrintSetup", "Printer Set&up\u2026", None, "", false, false, false},
    {pcProperties, mnFile, "actionProperties", "Propert&ies", None, "Alt+Return", false, true, false},
    {pcReload, mnFile, "actionReload", "&Reload", None, "F5", false, false, false},
    {pcClose, mnFile, "actionClose", "&Close", QKeySequence::Close, "", false, true, false},
    {pcQuit, mnFile, "actionQuit", "&Quit", QKeySequence::Quit, "Ctrl+Q", false, false, false},
    {pcCopy, mnEdit, "actionCopy", "&Copy", QKeySequence::Copy, "", false, false, false},
    {pcSelectAll, mnEdit, "actionSelectAll", "Select &All", QKeySequence::SelectAll, "", false, false, false},
    {pcFind, mnEdit, "actionFind", "&Find\u2026", QKeySequence::Find, "", false, true, false},
    {pcFindNext, mnEdit, "actionFindNext", "Find &Next", QKeySequence::FindNext, "F3", false, false, false},
    {pcFindPrevious, mnEdit, "actionFindPrevious", "Find Pre&vious", QKeySequence::FindPrevious, "Shift+F3", false,
     false, false},
    {pcZoomFit, mnView, "actionZoomFit", "Zoom to &Fit", None, "", true, false, false},
    {pcZoom100, mnView, "actionZoom100", "&100%", None, "Ctrl+0", true, false, false},
    {pcZoomToWidth, mnView, "actionZoomToWidth", "Zoom to &Width", None, "", true, false, false},
    {pcZoomIn, mnView, "actionZoomIn", "Zoom &In", QKeySequence::ZoomIn, "Ctrl++, Ctrl+=", false, true, false},
    {pcZoomOut, mnView, "actionZoomOut", "Zoom &Out", QKeySequence::ZoomOut, "Ctrl+-", false, false, false},
    {pcContinuous, mnView, "actionContinuous", "&Continuous", None, "Ctrl+Shift+C", true, true, false},
    {pcFacing, mnView, "actionFacing", "F&acing Pages", None, "Ctrl+Shift+D", true, false, false},
    {pcFirstAlone, mnView, "actionFirstAlone", "First Page &Alone", None, "", true, false, false},
    {pcRotateLeft, mnView, "actionRotateLeft", "Rotate &Left", None, "Ctrl+L", false, true, false},
    {pcRotateRight, mnView, "actionRotateRight", "Rotate &Right", None, "Ctrl+R", false, false, false},
    {pcThumbnails, mnView, "actionThumbnails", "&Thumbnails", None, "F4", true, true, false},
    {pcFullScreen, mnView, "actionFullScreen", "F&ull Screen", QKeySequence::FullScreen, "F11", false, false, false},
    {pcFirstPage, mnGo, "actionFirstPage", "&First Page", None, "Home, Ctrl+PgUp", false, false, true},
    {pcPreviousPage, mnGo, "actionPreviousPage", "&Previous Page", None, "PgUp", false, false, true},
    {pcNextPage, mnGo, "actionNextPage", "&Next Page", None, "PgDown", false, false, true},
    {pcLastPage, mnGo, "actionLastPage", "&Last Page", None, "End, Ctrl+PgDown", false, false, true},
    {pcGoToPage, mnGo, "actionGoToPage", "&Go to Page\u2026", None, "Ctrl+G", false, true, false},
    {pcAbout, mnHelp, "actionAbout", "&About Pagimo", None, "", false, false, false},
};
static_assert(std::size(Commands) == pcCommandCount);

QList<QKeySequence> OwnKeys(const TCommandRow& row) {
    QList<QKeySequence> keys;
    for (const QString& key : QString::fromLatin1(row.Keys).split(QStringLiteral(", "), Qt::SkipEmptyParts))
        keys << QKeySequence(key, QKeySequence::PortableText);
    return keys;
}

} // namespace

QList<QKeySequence> CommandKeys(TPreviewCommand command) {
    const TCommandRow& row = Commands[command];
    QList<QKeySequence> keys = OwnKeys(row);
    if (row.Standard == None) return keys;
    QList<QKeySequence> taken;
    for (const TCommandRow& other : Commands)
        if (other.Command != command) taken << OwnKeys(other);
    for (const QKeySequence& key : QKeySequence::keyBindings(row.Standard))
        if (!keys.contains(key) && !taken.contains(key)) keys << key;
    return keys;
}

TPreviewActions::TPreviewActions(QMainWindow& window) : QObject(&window) {
    QMenuBar* bar = window.menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    QMenu* menus[] = {bar->addMenu(QStringLiteral("&File")), bar->addMenu(QStringLiteral("&Edit")),
                      bar->addMenu(QStringLiteral("&View")), bar->addMenu(QStringLiteral("&Go")),
                      bar->addMenu(QStringLiteral("&Help"))};
    auto* zoomModes = new QActionGroup(this);
    for (const TCommandRow& row : Commands) {
        QMenu* menu = menus[row.Menu];
        if (row.SeparatorBefore && !menu->isEmpty()) menu->addSeparator();
        auto* action = new QAction(QString::fromUtf8(row.Text), &window);
        action->setObjectName(QString::fromLatin1(row.Name));
        action->setCheckable(row.Checkable);
        action->setShortcuts(CommandKeys(row.Command));
        action->setShortcutContext(row.KeyTable ? Qt::WidgetShortcut : Qt::WindowShortcut);
        if (!row.KeyTable) window.addAction(action);
        if (row.Command == pcZoomFit || row.Command == pcZoom100 || row.Command == pcZoomToWidth)
            zoomModes->addAction(action);
        menu->addAction(action);
        FActions[row.Command] = action;
        if (row.Command == pcOpen) {
            FRecentMenu = menu->addMenu(QStringLiteral("Open &Recent"));
            FRecentMenu->setObjectName(QStringLiteral("RecentMenu"));
        }
    }
}

void TPreviewActions::Bind(TPreviewCommand command, std::function<void()> run) {
    connect(FActions[command], &QAction::triggered, this, [run = std::move(run)] { run(); });
}

void TPreviewActions::BindView(TQRPreview& preview, QDockWidget& thumbnails) {
    const auto changed = [this, &preview] {
        ShowViewMode(preview);
        if (preview.OnPageNumberChanged) preview.OnPageNumberChanged();
    };
    const auto facing = [this, &preview, changed] {
        preview.SetFacing(FActions[pcFacing]->isChecked(), FActions[pcFirstAlone]->isChecked());
        changed();
    };
    Bind(pcZoomIn, [&preview] { preview.ZoomStep(+1); });
    Bind(pcZoomOut, [&preview] { preview.ZoomStep(-1); });
    Bind(pcContinuous, [this, &preview, changed] {
        preview.SetContinuous(FActions[pcContinuous]->isChecked());
        changed();
    });
    Bind(pcFacing, facing);
    Bind(pcFirstAlone, facing);
    Bind(pcRotateLeft, [&preview] { preview.SetRotation(preview.Rotation() - 1); });
    Bind(pcRotateRight, [&preview] { preview.SetRotation(preview.Rotation() + 1); });
    Bind(pcThumbnails, [this, &thumbnails] { thumbnails.setVisible(FActions[pcThumbnails]->isChecked()); });
    connect(&thumbnails, &QDockWidget::visibilityChanged, FActions[pcThumbnails], &QAction::setChecked);
    ShowViewMode(preview);
}

void TPreviewActions::ShowViewMode(const TQRPreview& preview) {
    FActions[pcContinuous]->setChecked(preview.Continuous());
    FActions[pcFacing]->setChecked(preview.Facing());
    FActions[pcFirstAlone]->setChecked(preview.FirstAlone());
    FActions[pcFirstAlone]->setEnabled(preview.Facing());
}

} // namespace pagimo::preview
