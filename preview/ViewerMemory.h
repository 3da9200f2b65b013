#pragma once
// What a viewer window keeps between runs: in the settings file ($XDG_CONFIG_HOME/pagimo/pagimo.conf)
// the recent files (newest first, at most MaxRecentFiles) offered in File > Open Recent and by the tool
// bar's drop-down, and the window's geometry with the view a new document opens in; and the reader's
// place in each document (ReaderPlaces.h).

#include "preview/ReaderPlaces.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QMainWindow;
class QMenu;

namespace pagimo::preview {

constexpr int MaxRecentFiles = 10;

QString SettingsFileName();
QStringList RecentFileList();
// Puts a file first in the list (by its absolute path).
void AddRecentFile(const QString& fileName);
// Fills menu with the recent files, each running open with its path; returns whether there are any.
bool FillRecentMenu(QMenu& menu, const std::function<void(const QString&)>& open);

struct TViewerSettings {
    QByteArray Geometry;
    QString ZoomMode; // "fitPage", "fitWidth", "custom" or empty (none kept)
    int32_t Zoom = 100;
    bool Continuous = false;
};
TViewerSettings ReadViewerSettings();
void WriteViewerSettings(const TViewerSettings& settings);

class TPreviewActions;
class TPreviewToolBar;
class TQRPreview;

class TViewerMemory : public QObject {
public:
    // open loads a file chosen from the recent files.
    TViewerMemory(QMainWindow& window, TQRPreview& preview, TPreviewToolBar& toolBar, TPreviewActions& actions,
                  std::function<void(const QString&)> open);

    // A remembering window (the file viewer's) keeps all of it; one with recent files only those.
    void SetRemembers(bool value);
    bool Remembers() const { return FRemembers; }
    void SetRecentFiles(bool value);
    void RestoreSettings();
    void SaveSettings() const;
    // The remembered zoom mode holds for the first file loaded too.
    bool ZoomRestored() const { return FZoomRestored; }

    // A file has been opened (or reloaded): it goes first among the recent files; with goToPlace a
    // remembering window goes to the reader's place in it.
    void Opened(const QString& fileName, bool goToPlace);
    // The document shown is left (another one opened, the window closing): a remembering window keeps
    // the reader's place in it.
    void Leaving() const;
    TReaderPlace Place() const;
    void GoToPlace(const TReaderPlace& place);

private:
    void RebuildMenu();

    QMainWindow& FWindow;
    TQRPreview& FPreview;
    TPreviewToolBar& FToolBar;
    TPreviewActions& FActions;
    std::function<void(const QString&)> FOpen;
    bool FRemembers = false;
    bool FRecentFiles = false;
    bool FZoomRestored = false;
    TDocumentKey FKey; // the document shown, as it was on disk when opened
};

} // namespace pagimo::preview
