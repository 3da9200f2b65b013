#pragma once
// The standard preview window: a tool bar (zoom, paging, printing, saving, loading, closing), the
// preview control and a status bar with the progress and the page counter. It works on one report
// printer, given when it is created; every file, print and setup action is delegated to it.
//
// Around that the window assembles the parts of a document viewer, each with its own file: the menu
// bar with every command and its keys (PreviewActions), the find bar (FindBar), text selection
// (TextSelection), the recent files and the reader's place per document (ViewerMemory, ReaderPlaces),
// file watching and reload (FileWatch), the live preview (LiveMode), printing and saving
// (PrintAndSave) and the Properties and About dialogs (PreviewDialogs).

#include "preview/PreviewActions.h"
#include "preview/PreviewWindowRules.h"
#include "preview/QRPreview.h"
#include "preview/ReaderPlaces.h"

#include <QMainWindow>

#include <functional>
#include <memory>

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::preview {

class TFileWatch;
class TFindBar;
class TLiveMode;
class TPreviewStatusBar;
class TPreviewToolBar;
class TPrintAndSave;
class TTextSelection;
class TThumbnailPanel;
class TViewerMemory;

class TQRStandardPreview : public QMainWindow {
public:
    // owner: the application's window that owns the preview, or none (the application object).
    TQRStandardPreview(QWidget* owner, printer::TQRPrinter* reportPrinter);
    ~TQRStandardPreview() override;

    printer::TQRPrinter* ReportPrinter() const { return FReportPrinter; }
    int32_t ShownProgress() const { return FProgressPanel.ShownProgress(); }
    // The preview control.
    TQRPreview* QRPreview() const { return FPreview; }
    // The window's commands, as the menus and keys reach them.
    QAction* Action(TPreviewCommand command) const { return FActions->Action(command); }
    TFindBar& FindBar() const { return *FFindBar; }
    TTextSelection& Selection() const { return *FSelection; }
    TPrintAndSave& PrintAndSave() const { return *FPrintAndSave; }
    TThumbnailPanel& Thumbnails() const { return *FThumbnails; }

    // A window that views files (rather than a report's preview) is captioned after the file it
    // shows: "NAME.qrp – Pagimo".
    void SetFileCaption(bool value);
    bool FileCaption() const { return FFileCaption; }

    void UpdatePageInfo();
    void UpdateZoomInfo();

    // Loads the shown file again from disk, keeping the page (the last one when the file got shorter).
    void ReloadClick();
    // Full screen on and off; Esc leaves it too, and settings are saved from the window's normal state.
    void ToggleFullScreen();

    // A window that remembers (the file viewer's) restores its geometry and zoom mode from the settings
    // file, keeps the recent files there, and the reader's place in each document it opens; a report's
    // preview does none of it.
    TViewerMemory& Memory() const { return *FMemory; }
    // The live preview of a report description.
    TLiveMode& Live() const { return *FLive; }

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
    void ShowProperties();

    // Loads a report file in place of the current pages, as a confirmed load dialog does (also for a
    // file dropped on the window or named on the command line). A missing file is reported and
    // changes nothing; a file that cannot be opened raises its error and leaves the pages shown as
    // they were; a damaged file that still has pages is shown with a message saying how many. A
    // window that remembers goes to the reader's place in it.
    void LoadReportFile(const QString& fileName);

    // Seen by tests instead of the message boxes the window shows; none: the boxes.
    std::function<void(const QString& text)> OnMessage;
    // A message box over the window (or OnMessage).
    void ShowMessage(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BindCommands();
    void BindParts();
    void ApplyButtonRules();
    // Loads pages in place of those shown; open: a document opened (not reloaded, not a live run's).
    void LoadPages(const QString& fileName, bool open);
    void PageProblem(int32_t page, const QString& reason);
    void PaintMarks(QPainter& painter, int32_t page, QSize sheet) const;

    printer::TQRPrinter* FReportPrinter = nullptr;
    TQRPreview* FPreview = nullptr;
    TPreviewActions* FActions = nullptr;
    TPreviewToolBar* FToolBar = nullptr;
    TPreviewStatusBar* FStatusBar = nullptr;
    TLiveMode* FLive = nullptr;
    TFindBar* FFindBar = nullptr;
    TTextSelection* FSelection = nullptr;
    TThumbnailPanel* FThumbnails = nullptr;
    TFileWatch* FWatch = nullptr;
    TPrintAndSave* FPrintAndSave = nullptr;
    TViewerMemory* FMemory = nullptr;
    TProgressPanel FProgressPanel;
    TPrintButtonRules FButtonRules;
    bool FClosed = false;
    bool FFileCaption = false;
    bool FPageProblemShown = false; // one message per loaded document
    Qt::WindowStates FStateBeforeFullScreen;
};

} // namespace pagimo::preview
