#pragma once
// What "Prohlížet" and a file named on the command line open: a standard preview window on a report
// printer of the session's own. The session stands where a report stands for its preview: it is the
// printer's ReportWindow, hears when the preview closes and then frees the printer.

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::shell {

// Every preview window of the viewer program is a file viewer's window: once a file is loaded into it
// (also into the preview of "Prohlížet") it is captioned after the file, and it keeps the recent files.
void InstallViewerPreviewWindows();

class TViewSession : public QObject {
public:
    TViewSession();
    ~TViewSession() override;

    // Opens the preview and waits in a nested message loop until it closes or the program ends.
    // While the preview opened this way is still open, another call brings it to the front.
    void View();
    // Opens a preview with a report file loaded into it (and waits in the same way).
    void View(const QString& fileName);
    // Opens a window of its own for a report file, captioned "NAME.qrp – Pagimo", and returns at
    // once; the file is loaded from the event loop, so that a file that cannot be opened is reported
    // by the application's error display.
    void Show(const QString& fileName);
    // Closes the previews still open and frees their printers; at program end.
    void CloseAll();

    // The previews open now.
    std::vector<QWidget*> OpenWindows() const;

protected:
    bool event(QEvent* event) override;

private:
    struct TPreview;
    void Open(const QString& fileName, bool fromViewButton);
    // A preview window on a printer of the session's own; none when no preview interface is installed.
    TPreview* NewPreview(bool fromViewButton);

    std::vector<std::unique_ptr<TPreview>> FPreviews;
};

} // namespace pagimo::shell
