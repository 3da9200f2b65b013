#include "shell/ViewSession.h"

#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "preview/ViewerMemory.h"
#include "printer/QRPrinter.h"
#include "shell/MainForm.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace pagimo::shell {

namespace {

// A window opened for a file that cannot be opened says why and closes, rather than staying empty.
void LoadOrClose(preview::TQRStandardPreview& window, const QString& fileName) {
    try {
        window.LoadReportFile(fileName);
    } catch (const std::exception& e) {
        window.ShowMessage(QString::fromUtf8(e.what()));
    }
    // A missing file has been reported by the window itself.
    if (!window.ReportPrinter() || !window.ReportPrinter()->LoadedFromFile()) window.close();
}

} // namespace

void InstallViewerPreviewWindows() {
    preview::SetPreviewOpened([](preview::TQRStandardPreview& window) {
        window.SetFileCaption(true);
        window.Memory().SetRecentFiles(true);
    });
}

struct TViewSession::TPreview {
    std::unique_ptr<printer::TQRPrinter> Printer;
    QPointer<QWidget> Window;
    QEventLoop* Loop = nullptr; // the nested loop waiting for this preview
    bool FromViewButton = false;
};

TViewSession::TViewSession() = default;

TViewSession::~TViewSession() {
    CloseAll();
}

void TViewSession::View() {
    for (const auto& p : FPreviews) {
        if (p->FromViewButton && p->Window) {
            p->Window->raise();
            p->Window->activateWindow();
            return;
        }
    }
    Open(QString(), true);
}

void TViewSession::View(const QString& fileName) {
    Open(fileName, false);
}

TViewSession::TPreview* TViewSession::NewPreview(bool fromViewButton) {
    if (Terminated()) return nullptr;
    auto entry = std::make_unique<TPreview>();
    entry->FromViewButton = fromViewButton;
    entry->Printer = std::make_unique<printer::TQRPrinter>();
    printer::TQRPrinter* printer = entry->Printer.get();
    printer->SetReportWindow(this);
    TPreview* view = entry.get();
    FPreviews.push_back(std::move(entry));

    printer->ShowPreview();
    // The preview control became the printer's NotifyWindow; its window is the preview window.
    if (auto* control = qobject_cast<QWidget*>(printer->NotifyWindow())) view->Window = control->window();
    if (!view->Window) {
        // No preview interface is installed: nothing is shown and nothing needs waiting for.
        FPreviews.pop_back();
        return nullptr;
    }
    return view;
}

void TViewSession::Show(const QString& fileName) {
    TPreview* view = NewPreview(false);
    auto* window = view ? dynamic_cast<preview::TQRStandardPreview*>(view->Window.data()) : nullptr;
    if (!window) return;
    window->setWindowTitle(QFileInfo(fileName).fileName() + QStringLiteral(" \u2013 Pagimo"));
    window->SetFileCaption(true);
    // A file viewer remembers its geometry, zoom and recent files between runs.
    window->Memory().SetRemembers(true);
    window->Memory().RestoreSettings();
    QTimer::singleShot(0, window, [window, fileName] { LoadOrClose(*window, fileName); });
}

void TViewSession::Open(const QString& fileName, bool fromViewButton) {
    TPreview* view = NewPreview(fromViewButton);
    if (!view) return;
    if (!fileName.isEmpty()) {
        if (auto* window = dynamic_cast<preview::TQRStandardPreview*>(view->Window.data()))
            LoadOrClose(*window, fileName);
    }

    // Returns when the preview has closed (its printer is freed then) or the program is ending.
    QEventLoop loop;
    const auto it = std::find_if(FPreviews.begin(), FPreviews.end(), [view](const auto& p) { return p.get() == view; });
    if (it == FPreviews.end()) return; // already closed while the file was loading
    view->Loop = &loop;
    loop.exec();
    for (const auto& p : FPreviews)
        if (p.get() == view) p->Loop = nullptr;
}

bool TViewSession::event(QEvent* event) {
    if (event->type() == printer::MsgPreviewClosed) {
        const auto* message = static_cast<printer::TQRMessageEvent*>(event);
        auto* closing = reinterpret_cast<printer::TQRPrinter*>(message->LParam);
        const auto it = std::find_if(FPreviews.begin(), FPreviews.end(),
                                     [closing](const auto& p) { return p->Printer.get() == closing; });
        if (it != FPreviews.end()) {
            std::unique_ptr<TPreview> entry = std::move(*it);
            FPreviews.erase(it);
            entry->Printer->SetPreviewShown(false);
            if (entry->Loop) entry->Loop->quit();
            // Freeing the printer detaches the preview control from it.
            entry->Printer.reset();
        }
        return true;
    }
    // Pages loaded from a file print themselves; there is no report here to print again.
    if (event->type() == printer::MsgPrintReport) return true;
    return QObject::event(event);
}

std::vector<QWidget*> TViewSession::OpenWindows() const {
    std::vector<QWidget*> windows;
    for (const auto& p : FPreviews)
        if (p->Window) windows.push_back(p->Window);
    return windows;
}

void TViewSession::CloseAll() {
    while (!FPreviews.empty()) {
        QPointer<QWidget> window = FPreviews.back()->Window;
        const size_t before = FPreviews.size();
        if (window) {
            window->close(); // tells the session, which frees the printer
            delete window.data();
        }
        if (FPreviews.size() == before) FPreviews.pop_back();
    }
}

} // namespace pagimo::shell
