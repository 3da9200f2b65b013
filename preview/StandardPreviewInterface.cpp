#include "preview/StandardPreviewInterface.h"

#include "preview/StandardPreview.h"
#include "preview/StandardRunDialogs.h"

#include <QEventLoop>
#include <QPointer>

namespace pagimo::preview {

namespace {

std::function<void(TQRStandardPreview&)>& OpenedHook() {
    static std::function<void(TQRStandardPreview&)> hook;
    return hook;
}

} // namespace

void SetPreviewOpened(std::function<void(TQRStandardPreview& window)> hook) {
    OpenedHook() = std::move(hook);
}

QObject* TQRStandardPreviewInterface::OpenPreview(printer::TQRPrinter& printer) {
    auto* window = new TQRStandardPreview(nullptr, &printer);
    if (OpenedHook()) OpenedHook()(*window);
    window->show();
    window->UpdatePageInfo();
    return window;
}

void TQRStandardPreviewInterface::OpenPreviewModal(printer::TQRPrinter& printer) {
    QPointer<TQRStandardPreview> window = new TQRStandardPreview(nullptr, &printer);
    if (OpenedHook()) OpenedHook()(*window);
    window->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    QObject::connect(window.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    window->show();
    loop.exec();
    // The program ending leaves the loop early: the window then goes with it.
    if (window) {
        window->close();
        delete window.data();
    }
}

void InstallStandardPreviewInterface() {
    printer::SetPreviewInterfaceClass([] { return std::make_unique<TQRStandardPreviewInterface>(); });
    printer::SetRunDialogs(std::make_unique<TQRStandardRunDialogs>());
}

} // namespace pagimo::preview
