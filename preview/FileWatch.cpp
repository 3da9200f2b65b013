#include "preview/FileWatch.h"

#include "pagestore/PageList.h"
#include "preview/PreviewStatusBar.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace pagimo::preview {

TFileWatch::TFileWatch(QObject* parent, TQRPreview& preview, TPreviewStatusBar& status,
                       std::function<void(const QString&)> load)
    : QObject(parent), FPreview(preview), FStatus(status), FLoad(std::move(load)) {
    FTimer = new QTimer(this);
    FTimer->setSingleShot(true);
    FTimer->setInterval(SettleMs);
    connect(FTimer, &QTimer::timeout, this, [this] { Changed(); });
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, [this] { FTimer->start(); });
    // An editor that deletes a file and writes it anew leaves nothing watched under the name: the
    // folder says when it is back.
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        const QStringList watched = FWatcher.files();
        for (const QString& file : FFiles)
            if (!watched.contains(file) && QFileInfo(file).isFile()) FTimer->start();
    });
}

void TFileWatch::SetFiles(const QStringList& files) {
    QStringList absolute;
    for (const QString& file : files)
        if (!absolute.contains(QFileInfo(file).absoluteFilePath())) absolute << QFileInfo(file).absoluteFilePath();
    if (absolute == FFiles) return;
    FFiles = absolute;
    Rewatch();
}

void TFileWatch::Rewatch() {
    if (!FWatcher.files().isEmpty()) FWatcher.removePaths(FWatcher.files());
    if (!FWatcher.directories().isEmpty()) FWatcher.removePaths(FWatcher.directories());
    // A file replaced by renaming is a new file: it is watched again by name.
    QStringList folders;
    for (const QString& file : FFiles) {
        const QFileInfo info(file);
        if (info.isFile()) FWatcher.addPath(file);
        if (const QString folder = info.absolutePath(); !folders.contains(folder) && QFileInfo(folder).isDir())
            folders << folder;
    }
    if (!folders.isEmpty()) FWatcher.addPaths(folders);
}

void TFileWatch::Changed() {
    // A file that is gone keeps the pages shown; the next change tries again.
    if (FFiles.isEmpty() || !QFileInfo(FFiles.constFirst()).isFile()) {
        Rewatch();
        return;
    }
    // A file still being written is left alone until its size and time have held still for a while:
    // it is looked at again after another interval.
    QFileInfo info(FFiles.constFirst());
    info.setCaching(false);
    const std::pair<qint64, QDateTime> stamp(info.size(), info.lastModified());
    if (stamp != FStamp) {
        FStamp = stamp;
        FTimer->start();
        return;
    }
    FStamp = {};
    // Watched again before the change is acted on: a live run takes a while, and a change meanwhile
    // must be seen.
    Rewatch();
    try {
        if (OnSettled) OnSettled();
    } catch (const std::exception&) {
        // A reload that fails keeps the pages shown; the next change tries again.
    }
    Rewatch();
}

void TFileWatch::Reload() {
    const printer::TQRPrinter* p = FPreview.ReportPrinter();
    if (!p || !p->LoadedFromFile()) return;
    const QString fileName = QString::fromUtf8(p->FileName().c_str());
    // A file that cannot be shown whole (caught while it is being written) leaves the pages shown, and
    // with them the reader's place, as they are.
    const QString problem = WholeFileProblem(fileName);
    FStatus.SetReloadProblem(problem.isEmpty() ? QString() : QStringLiteral("Not reloaded: ") + problem);
    if (!problem.isEmpty()) return;
    const int32_t page = FPreview.PageNumber();
    FLoad(fileName);
    if (const printer::TQRPrinter* now = FPreview.ReportPrinter(); now && now->PageTotal() > 0)
        FPreview.SetPageNumber(std::min(page, now->PageTotal()));
    if (FPreview.OnPageNumberChanged) FPreview.OnPageNumberChanged();
}

QString TFileWatch::WholeFileProblem(const QString& fileName) {
    std::string problem;
    try {
        pagestore::TQRPageList pages;
        pages.OpenFile(fileName.toUtf8().toStdString());
        if (pages.ReachablePages(&problem) == pages.NumPages()) problem.clear();
    } catch (const std::exception& e) {
        problem = e.what();
    }
    return QString::fromUtf8(problem.data(), static_cast<qsizetype>(problem.size()));
}

} // namespace pagimo::preview
