#include "preview/ViewerMemory.h"

#include "preview/PreviewActions.h"
#include "preview/PreviewToolBar.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace pagimo::preview {

QString SettingsFileName() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pagimo/pagimo.conf");
}

QStringList RecentFileList() {
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    QStringList files = settings.value(QStringLiteral("recentFiles")).toStringList();
    files.removeAll(QString());
    while (files.size() > MaxRecentFiles)
        files.removeLast();
    return files;
}

void AddRecentFile(const QString& fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QStringList files = RecentFileList();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > MaxRecentFiles)
        files.removeLast();
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("recentFiles"), files);
}

bool FillRecentMenu(QMenu& menu, const std::function<void(const QString&)>& open) {
    menu.clear();
    const QStringList files = RecentFileList();
    for (const QString& file : files) {
        QAction* a = menu.addAction(QFileInfo(file).fileName(), &menu, [open, file] { open(file); });
        a->setToolTip(file);
    }
    menu.setEnabled(!files.isEmpty());
    return !files.isEmpty();
}

TViewerSettings ReadViewerSettings() {
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    TViewerSettings s;
    s.Geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    s.ZoomMode = settings.value(QStringLiteral("view/zoomMode")).toString();
    s.Zoom = settings.value(QStringLiteral("view/zoom"), 100).toInt();
    s.Continuous = settings.value(QStringLiteral("view/continuous"), false).toBool();
    return s;
}

void WriteViewerSettings(const TViewerSettings& s) {
    QSettings settings(SettingsFileName(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("window/geometry"), s.Geometry);
    settings.setValue(QStringLiteral("view/zoomMode"), s.ZoomMode);
    settings.setValue(QStringLiteral("view/zoom"), s.Zoom);
    settings.setValue(QStringLiteral("view/continuous"), s.Continuous);
}

TViewerMemory::TViewerMemory(QMainWindow& window, TQRPreview& preview, TPreviewToolBar& toolBar,
                             TPreviewActions& actions, std::function<void(const QString&)> open)
    : QObject(&window), FWindow(window), FPreview(preview), FToolBar(toolBar), FActions(actions),
      FOpen(std::move(open)) {
    RebuildMenu();
}

void TViewerMemory::RebuildMenu() {
    QMenu& menu = *FActions.RecentMenu();
    bool any = false;
    if (FRemembers || FRecentFiles) {
        any = FillRecentMenu(menu, FOpen);
    } else {
        menu.clear();
        menu.setEnabled(false);
    }
    FToolBar.SetRecentEnabled(any);
}

void TViewerMemory::SetRemembers(bool value) {
    FRemembers = value;
    RebuildMenu();
}

void TViewerMemory::SetRecentFiles(bool value) {
    FRecentFiles = value;
    RebuildMenu();
}

void TViewerMemory::RestoreSettings() {
    if (!FRemembers) return;
    const TViewerSettings s = ReadViewerSettings();
    if (!s.Geometry.isEmpty()) FWindow.restoreGeometry(s.Geometry);
    if (QAction* continuous = FActions.Action(pcContinuous); continuous->isChecked() != s.Continuous)
        continuous->trigger();
    if (s.ZoomMode == QLatin1String("fitPage")) {
        FToolBar.Button(TPreviewToolBar::tbZoomFit)->setChecked(true);
        FPreview.FitWholePage();
        FZoomRestored = true;
    } else if (s.ZoomMode == QLatin1String("custom") && ZoomAccepted(s.Zoom)) {
        if (s.Zoom == 100) FToolBar.Button(TPreviewToolBar::tbZoom100)->setChecked(true);
        FPreview.SetZoom(s.Zoom);
        FZoomRestored = true;
    } else if (s.ZoomMode == QLatin1String("fitWidth")) {
        FToolBar.Button(TPreviewToolBar::tbZoomToWidth)->setChecked(true);
        FPreview.FitPageWidth();
    }
}

void TViewerMemory::SaveSettings() const {
    if (!FRemembers) return;
    const TZoomMode mode = FPreview.ZoomMode();
    WriteViewerSettings({FWindow.saveGeometry(),
                         mode == zmFitPage    ? QStringLiteral("fitPage")
                         : mode == zmFitWidth ? QStringLiteral("fitWidth")
                                              : QStringLiteral("custom"),
                         FPreview.Zoom(), FPreview.Continuous()});
}

void TViewerMemory::Opened(const QString& fileName, bool goToPlace) {
    FKey = DocumentKeyOf(fileName);
    if (FRemembers || FRecentFiles) {
        AddRecentFile(fileName);
        RebuildMenu();
    }
    if (goToPlace && FRemembers)
        if (const auto place = TReaderPlaces().Find(FKey)) GoToPlace(*place);
}

void TViewerMemory::Leaving() const {
    const printer::TQRPrinter* p = FPreview.ReportPrinter();
    if (FRemembers && p && p->LoadedFromFile() && !FKey.Path.isEmpty()) TReaderPlaces().Remember(FKey, Place());
}

TReaderPlace TViewerMemory::Place() const {
    return {FPreview.PageNumber(),
            FPreview.ZoomMode(),
            FPreview.Zoom(),
            FPreview.Continuous(),
            FPreview.Facing(),
            FPreview.FirstAlone(),
            FPreview.Rotation(),
            FPreview.horizontalScrollBar()->value(),
            FPreview.verticalScrollBar()->value()};
}

// The view first (turn, facing, continuous, zoom), then the page, then where on it.
void TViewerMemory::GoToPlace(const TReaderPlace& place) {
    FPreview.SetRotation(place.Rotation);
    for (const auto& [command, on] : {std::pair(pcFacing, place.Facing), std::pair(pcFirstAlone, place.FirstAlone),
                                      std::pair(pcContinuous, place.Continuous)})
        if (FActions.Action(command)->isChecked() != on) FActions.Action(command)->trigger();
    if (place.ZoomMode == zmFitPage) {
        FToolBar.Button(TPreviewToolBar::tbZoomFit)->setChecked(true);
        FPreview.FitWholePage();
    } else if (place.ZoomMode == zmFitWidth) {
        FToolBar.Button(TPreviewToolBar::tbZoomToWidth)->setChecked(true);
        FPreview.FitPageWidth();
    } else if (ZoomAccepted(place.Zoom)) {
        if (place.Zoom == 100) FToolBar.Button(TPreviewToolBar::tbZoom100)->setChecked(true);
        FPreview.SetZoom(place.Zoom);
    }
    const printer::TQRPrinter* p = FPreview.ReportPrinter();
    if (p && p->PageTotal() > 0) FPreview.SetPageNumber(std::clamp(place.Page, 1, p->PageTotal()));
    FPreview.horizontalScrollBar()->setValue(place.ScrollX);
    FPreview.verticalScrollBar()->setValue(place.ScrollY);
    if (FPreview.OnPageNumberChanged) FPreview.OnPageNumberChanged();
}

} // namespace pagimo::preview
