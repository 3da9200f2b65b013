#pragma once
// Printing and saving from the preview window. Pages a report generated are printed by the report
// again and saved or exported through the report printer. Pages loaded from a file are printed as the
// print dialog says (it asks before the first print), which also offers the current page and a PDF
// file: written through the PDF writer, so it is what qrptool convert writes for those pages. Without
// any printer the dialog still opens, offering the file. The save dialog opens in the document's
// folder with its name, the chosen file type's extension following the type. The status bar says
// where a print job, a PDF or an export went.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace pagimo::preview {

class TQRPreview;
class TPreviewStatusBar;

class TPrintAndSave : public QObject {
public:
    // window: the dialogs' parent; message shows a message box over it.
    TPrintAndSave(QWidget& window, TQRPreview& preview, TPreviewStatusBar& status,
                  std::function<void(const QString&)> message);

    void Print();
    void PrintSetup(QObject* sender);
    void Save();
    // Other pages were loaded: the print dialog asks again before they are printed.
    void PagesLoaded() { FSetUp = false; }
    // Writes pages first..last (last 0: to the end) of the pages shown into a PDF file.
    void PrintToFile(const QString& fileName, int32_t first, int32_t last);

private:
    // Runs the print dialog for loaded pages; a file chosen is written at once. False when cancelled
    // or when the pages went into a file.
    bool SetUpLoadedPages();

    QWidget& FWindow;
    TQRPreview& FPreview;
    TPreviewStatusBar& FStatus;
    std::function<void(const QString&)> FMessage;
    bool FSetUp = false; // the print dialog has been confirmed for a printer and the loaded pages
};

// The load dialog ("Load report", QRP files) opened in folder; the file chosen, or empty when cancelled.
// Any name may be typed: a missing file is for the caller to report.
QString ChooseReportFile(QWidget* parent, const QString& folder);

// The name a save dialog proposes for a document: a loaded file's own name in its folder, or the
// report's title in the folder given; the extension is the chosen file type's.
QString ProposedSaveName(const QString& loadedFile, const QString& title, const QString& folder,
                         const QString& extension);

} // namespace pagimo::preview
