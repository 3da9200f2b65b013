#pragma once
// The live mode of the preview window: the pages of a run of a report description instead of a file's.
// The window watches the description and its data files in place of a loaded file; once a change has
// settled, and on F5, it calls the rerun, which makes pages and hands them to ShowPages, or an error to
// ShowError. The live mode is also the window's page area: the pages, an error that stopped a run in
// their place (until the next good run), and the warnings of the last good run in a strip above them.

#include <QStringList>
#include <QWidget>

#include <functional>

class QLabel;

namespace pagimo::preview {

class TFileWatch;
class TPreviewStatusBar;
class TQRPreview;

class TLiveMode : public QWidget {
public:
    // load shows the pages of a QRP file as the window loads a file, without opening it as a document.
    TLiveMode(QWidget* parent, TQRPreview& preview, TFileWatch& watch, TPreviewStatusBar& status,
              std::function<void(const QString& fileName)> load);

    // Watches the given files (the description first, then its data files) and reruns on a change.
    // The caption and the recent files are left to the caller.
    void SetSource(const QStringList& watchedFiles, std::function<void()> rerun);
    bool IsLive() const { return static_cast<bool>(FRerun); }
    void Rerun() const;
    void SetWatchedFiles(const QStringList& files);
    const QStringList& WatchedFiles() const;

    // Shows the pages of a run, stored in a QRP file, in place of those shown: the same page (the last
    // one when there are fewer now), the same zoom and mode; an error shown goes away. The file may be
    // removed once this returns.
    void ShowPages(const QString& fileName);
    // Shows why a run failed in place of the pages, until the next ShowPages.
    void ShowError(const QString& text);
    const QString& Error() const { return FError; }
    // What the last good run reported besides its pages (an unknown field, an expression error printed
    // into the report, a data set that is not active): a few lines at most, so that the pages keep the
    // window; none hides the strip.
    void ShowWarnings(const QStringList& warnings);
    // While a run is under way: what it has made so far ("Running: page 3"); empty hides it.
    void ShowStatus(const QString& text);

private:
    TQRPreview& FPreview;
    TFileWatch& FWatch;
    TPreviewStatusBar& FStatus;
    std::function<void(const QString&)> FLoad;
    std::function<void()> FRerun;
    QLabel* FErrorPanel = nullptr;
    QLabel* FWarningPanel = nullptr;
    QString FError;
};

} // namespace pagimo::preview
