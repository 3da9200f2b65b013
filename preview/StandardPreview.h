#pragma once
// The standard preview window: a tool bar (zoom, paging, printing, saving, loading, closing), the
// preview control and a status bar with the progress and the page counter. It works on one report
// printer, given when it is created; every file, print and setup action is delegated to it.

#include "preview/PageFinder.h"
#include "preview/PreviewWindowRules.h"
#include "preview/ThumbnailPanel.h"
#include "preview/QRPreview.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::preview {

class TQRStandardPreview : public QMainWindow {
public:
    // owner: the application's window that owns the preview, or none (the application object).
    TQRStandardPreview(QWidget* owner, printer::TQRPrinter* reportPrinter);
    ~TQRStandardPreview() override;

    printer::TQRPrinter* ReportPrinter() const { return FReportPrinter; }
    int32_t ShownProgress() const { return FProgressPanel.ShownProgress(); }

    // Components, top to bottom.
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ZoomFit = nullptr;
    QToolButton* Zoom100 = nullptr;
    QToolButton* ZoomToWidth = nullptr;
    QToolButton* FirstPage = nullptr;
    QToolButton* PreviousPage = nullptr;
    QToolButton* ToolButton2 = nullptr; // next page
    QToolButton* LastPage = nullptr;
    QToolButton* PrintSetup = nullptr;
    QToolButton* Print = nullptr;
    QToolButton* SaveReport = nullptr;
    QToolButton* LoadReport = nullptr;
    QPushButton* ExitButton = nullptr;
    TQRPreview* QRPreview = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* ProgressPanel = nullptr; // panel 0
    QLabel* PagePanel = nullptr;     // panel 1
    QLabel* JobPanel = nullptr;      // right end: where the last print job went, for a few seconds
    QLabel* ReloadPanel = nullptr;   // why the file changed on disk could not be shown (until it can)
    QLabel* ZoomPanel = nullptr;     // the zoom in percent
    QLineEdit* GoToPageField = nullptr; // a page number, Enter goes there (Ctrl+G)
    QToolButton* ContinuousButton = nullptr; // continuous pages on and off (Ctrl+Shift+C)
    QToolButton* RecentFiles = nullptr; // drop-down of the last files loaded
    QMenu* RecentMenu = nullptr;
    // Window actions with their keys: zoom steps, go to page, reload, full screen.
    QAction* ContinuousAction = nullptr;
    // The find bar (Ctrl+F) below the pages: text, match case, whole words, previous/next, the count.
    QToolBar* FindBar = nullptr;
    QLineEdit* FindField = nullptr;
    QCheckBox* MatchCase = nullptr;
    QCheckBox* WholeWords = nullptr;
    QLabel* FindStatus = nullptr;
    QAction* FindAction = nullptr;
    QAction* FindNextAction = nullptr;
    QAction* FindPreviousAction = nullptr;
    QAction* CopyAction = nullptr;
    TThumbnailPanel* Thumbnails = nullptr; // F4
    QAction* ThumbnailsAction = nullptr;
    QAction* SelectPageAction = nullptr;
    QAction* ZoomInAction = nullptr;
    QAction* ZoomOutAction = nullptr;
    QAction* ZoomResetAction = nullptr;
    QAction* GoToPageAction = nullptr;
    QAction* ReloadAction = nullptr;
    QAction* FullScreenAction = nullptr;
    QList<QPixmap> Images;

    // A window that views files (rather than a report's preview) is captioned after the file it
    // shows: "NAME.qrp – Pagimo".
    void SetFileCaption(bool value);
    bool FileCaption() const { return FFileCaption; }

    void UpdatePageInfo();
    void UpdateZoomInfo();

    // Goes to the page typed into the page field; numbers outside 1..PageTotal are ignored.
    void GoToPageEntered();
    // Loads the shown file again from disk, keeping the page (the last one when the file got shorter).
    void ReloadClick();
    // Full screen on and off; Esc leaves it too, and settings are saved from the window's normal state.
    void ToggleFullScreen();
    void SetContinuous(bool value);

    // Find: opens the bar; starts a search of the whole document from the page shown (in steps, from
    // the event loop); goes to the next or previous hit, across pages and round the ends.
    void ShowFindBar();
    void CloseFindBar();
    void StartFind();
    void FindNext();
    void FindPrevious();
    const TPageFinder& Finder() const { return FFinder; }
    // The hit gone to last: its page (0: none) and its index on that page.
    int32_t HitPage() const { return FHitPage; }
    int HitIndex() const { return FHitIndex; }

    // Selection: the text of the characters inside a rectangle of a page (page fractions), shown
    // highlighted; Ctrl+C copies it, Ctrl+A selects the whole page shown.
    void SelectArea(int32_t page, const QRectF& area);
    void SelectPage();
    void CopySelection() const;
    const QString& SelectedText() const { return FSelectedText; }

    // A window that remembers (the file viewer's) restores its geometry and zoom mode from the
    // settings file ($XDG_CONFIG_HOME/pagimo/pagimo.conf) and keeps the recent files there; a report's
    // preview does neither.
    void SetRemembersSettings(bool value);
    bool RemembersSettings() const { return FRemembers; }
    void RestoreSettings();
    void SaveSettings() const;
    static QString SettingsFileName();
    // The recent files, newest first (at most MaxRecentFiles).
    static QStringList RecentFileList();
    static constexpr int MaxRecentFiles = 10;
    // The hint shown for a tool button: its hint with the keys that do the same.
    QString ToolTipWithKeys(const QWidget* button) const;

    void ZoomToFitClick();
    void ZoomTo100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PrevPageClick();
    void NextPageClick();
    void LastPageClick();
    void PrintClick();
    void PrintSetupClick();
    void SaveClick();
    void LoadClick();
    void ExitClick();
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void QRPreviewPageAvailable(QObject* sender, int32_t pageNum);
    void QRPreviewProgressUpdate(QObject* sender, int32_t progress);

    // Loads a report file in place of the current pages, as a confirmed load dialog does (also for a
    // file dropped on the window or named on the command line). A missing file is reported and
    // changes nothing; a file that cannot be opened raises its error and leaves the pages shown as
    // they were; a damaged file that still has pages is shown with a message saying how many.
    void LoadReportFile(const QString& fileName);

    // A live preview: the pages of a run of a report description instead of a file's. The window
    // watches the given files (the description first, then its data files) in place of a loaded
    // file; once a change has settled, and on F5, it calls rerun, which makes pages and hands them
    // to ShowLivePages, or an error to ShowLiveError. The caption and the recent files are left to
    // the caller.
    void SetLiveSource(const QStringList& watchedFiles, std::function<void()> rerun);
    bool IsLive() const { return static_cast<bool>(FLiveRerun); }
    void SetWatchedFiles(const QStringList& files);
    const QStringList& WatchedFiles() const { return FWatchedFiles; }
    // Shows the pages of a run, stored in a QRP file, in place of those shown: the same page (the
    // last one when there are fewer now), the same zoom and mode; an error shown goes away. The file
    // may be removed once this returns.
    void ShowLivePages(const QString& fileName);
    // Shows why a run failed in place of the pages, until the next ShowLivePages.
    void ShowLiveError(const QString& text);
    const QString& LiveError() const { return FLiveError; }
    QLabel* LiveErrorPanel = nullptr; // the error of a live preview, over the whole page area
    // What a live preview's last good run reported besides its pages (an unknown field, an expression
    // error printed into the report, a data set that is not active), in a strip above the pages;
    // none hides the strip.
    void ShowLiveWarnings(const QStringList& warnings);
    QLabel* LiveWarningPanel = nullptr;
    // While a live preview's run is under way: what it has made so far ("Running: page 3"); an empty
    // text hides the panel.
    void ShowLiveStatus(const QString& text);
    QLabel* LiveStatusPanel = nullptr;

    // Seen by tests instead of the message boxes the window shows (title, text); none: the boxes.
    std::function<void(const QString& text)> OnMessage;
    // A message box over the window (or OnMessage).
    void ShowMessage(const QString& text);
    // Keeps the recent files (the menu, and each file loaded added to it) without the window's other
    // settings: a report's preview in the viewer program.
    void SetRecentFiles(bool value);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QToolButton* AddButton(const QString& name, const QString& hint, int glyph, void (TQRStandardPreview::*click)());
    void AddDivider(const QString& name);
    void ApplyButtonRules();
    QAction* AddAction(const QString& name, const QList<QKeySequence>& keys, std::function<void()> run);
    void AddRecentFile(const QString& fileName);
    void RebuildRecentMenu();
    void WatchFile();
    void FileChangedOnDisk();
    void FindStep();
    void UpdateFindStatus();
    void GoToHit(int32_t page, int index);
    void PaintMarks(QPainter& painter, int32_t page, QSize sheet) const;
    bool SelectionMouse(QEvent* event);
    std::shared_ptr<const emf::TEmfPicture> FetchForText(int32_t page) const;
    void PageProblem(int32_t page, const QString& reason);
    void MissingFont(int32_t page, const QString& face, uint32_t glyphs);
    // Printer setup of loaded pages; false when cancelled.
    bool SetUpStoredPagesPrint();

    printer::TQRPrinter* FReportPrinter = nullptr;
    TProgressPanel FProgressPanel;
    TPrintButtonRules FButtonRules;
    QButtonGroup* FZoomGroup = nullptr;
    bool FClosed = false;
    bool FFileCaption = false;
    bool FStoredPrintSetUp = false; // the print dialog has been confirmed for the loaded pages
    bool FPageProblemShown = false; // one message per loaded document
    QStringList FMissingFontsTold;  // faces whose missing-font notice the loaded document has shown
    TPageFinder FFinder;
    QTimer* FFindTimer = nullptr;
    int32_t FHitPage = 0;
    int FHitIndex = -1;
    int32_t FSelectionPage = 0;
    std::vector<QRectF> FSelectionRects;
    QString FSelectedText;
    QPointF FDragStart;
    int32_t FDragPage = 0;
    bool FRemembers = false;
    bool FZoomRestored = false; // the remembered zoom mode holds also for the first file loaded
    QFileSystemWatcher FWatcher;
    // The files whose change reloads the file shown or reruns a live preview; their folders are
    // watched too, so that a file deleted and written anew is noticed.
    QStringList FWatchedFiles;
    std::function<void()> FLiveRerun;
    QString FLiveError;
    QTimer* FReloadTimer = nullptr; // a rewrite comes as several changes: reload once it has settled
    // The watched file's size and time when last looked at: it is reloaded once they hold still.
    std::pair<qint64, QDateTime> FDiskStamp;
    bool FRecentFiles = false;
    Qt::WindowStates FStateBeforeFullScreen;
    // Whether the file on disk can be shown whole; when not, says so in the status bar.
    bool FileWhole(const QString& fileName);
};

} // namespace pagimo::preview
