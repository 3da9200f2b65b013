#pragma once
// Watching the files a preview window shows, and reloading: the QRP file it loaded, or a live preview's
// description and data files. A rewrite comes as several changes, so a change is told once the first
// file's size and time have held still for a while (SettleMs). Each file's folder is watched too, so
// that a file deleted and written anew, or replaced by renaming, is watched again by name. A file is
// reloaded only when it is whole; else the status bar says why and the pages shown stay.

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>

#include <functional>
#include <utility>

class QTimer;

namespace pagimo::preview {

class TPreviewStatusBar;
class TQRPreview;

class TFileWatch : public QObject {
public:
    static constexpr int SettleMs = 300;

    // load loads a file's pages in place of those shown, as the window loads a file it reloads.
    TFileWatch(QObject* parent, TQRPreview& preview, TPreviewStatusBar& status,
               std::function<void(const QString&)> load);

    // Watches these files (made absolute, each once) in place of those watched before.
    void SetFiles(const QStringList& files);
    const QStringList& Files() const { return FFiles; }
    // Watches the files again (a file replaced by renaming is a new file, watched by name).
    void Rewatch();
    // Runs once a change has settled; the files are watched again afterwards.
    std::function<void()> OnSettled;
    // Loads the file shown again from disk, keeping the page (the last one when the file got shorter).
    void Reload();

    // Why a QRP file cannot be shown whole (caught while it is being written), in the page list's
    // words; empty when it can.
    static QString WholeFileProblem(const QString& fileName);

private:
    void Changed();

    TQRPreview& FPreview;
    TPreviewStatusBar& FStatus;
    std::function<void(const QString&)> FLoad;
    QFileSystemWatcher FWatcher;
    QStringList FFiles;
    QTimer* FTimer = nullptr;
    // The first file's size and time when last looked at: the change is told once they hold still.
    std::pair<qint64, QDateTime> FStamp;
};

} // namespace pagimo::preview
