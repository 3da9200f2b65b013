#pragma once
// The commands of the preview window as actions, each with its keys (the desktop's standard keys
// where there are such), and the menu bar that holds them all: File, Edit, View, Go and Help. The
// window binds each command to what it does; the tool bar keeps its own buttons, and the menu items
// of the zoom buttons click those buttons.
//
// The paging keys and Esc belong to the window's key table, which sees every key first; their menu
// items show those keys and answer them only while the menu itself is open.

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QObject>

#include <array>
#include <functional>

class QDockWidget;
class QMainWindow;

namespace pagimo::preview {

class TQRPreview;

enum TPreviewCommand {
    pcOpen,
    pcSave,
    pcPrint,
    pcPrintSetup,
    pcProperties,
    pcReload,
    pcClose,
    pcQuit,
    pcCopy,
    pcSelectAll,
    pcFind,
    pcFindNext,
    pcFindPrevious,
    pcZoomFit,
    pcZoom100,
    pcZoomToWidth,
    pcZoomIn,
    pcZoomOut,
    pcContinuous,
    pcFacing,
    pcFirstAlone,
    pcRotateLeft,
    pcRotateRight,
    pcThumbnails,
    pcFullScreen,
    pcFirstPage,
    pcPreviousPage,
    pcNextPage,
    pcLastPage,
    pcGoToPage,
    pcAbout,
    pcCommandCount
};

// The keys of a command: the standard keys, or the keys of its own (also where a standard binding
// would take a key another command has: Ctrl+G goes to a page, so it does not find the next hit).
QList<QKeySequence> CommandKeys(TPreviewCommand command);

class TPreviewActions : public QObject {
public:
    // Makes the actions (their keys active in window) and window's menu bar.
    explicit TPreviewActions(QMainWindow& window);

    QAction* Action(TPreviewCommand command) const { return FActions[command]; }
    // run is what the command does: triggering the action (menu, keys) runs it.
    void Bind(TPreviewCommand command, std::function<void()> run);
    // Binds the commands that change only the view of the preview control (zoom steps, continuous and
    // facing pages, turns) and the thumbnail panel; their check marks follow what they show.
    void BindView(TQRPreview& preview, QDockWidget& thumbnails);
    // The check marks of continuous and facing pages show the preview control's mode.
    void ShowViewMode(const TQRPreview& preview);
    // File > Open Recent, filled by the recent files.
    QMenu* RecentMenu() const { return FRecentMenu; }

private:
    std::array<QAction*, pcCommandCount> FActions{};
    QMenu* FRecentMenu = nullptr;
};

} // namespace pagimo::preview
