#include "printer/RunDialogs.h"

#include <QObject>

namespace pagimo::printer {

bool TQRRunDialogs::PrintSetup(TQRPrinterSettings&, TPrinterOrientation&, const TQRPrinter*, QObject*) {
    return false;
}

std::unique_ptr<QObject> TQRRunDialogs::ShowProgress(TQRPrinter&, const std::string&) {
    return nullptr;
}

namespace {

std::unique_ptr<TQRRunDialogs>& Installed() {
    static std::unique_ptr<TQRRunDialogs> dialogs = std::make_unique<TQRRunDialogs>();
    return dialogs;
}

} // namespace

TQRRunDialogs& RunDialogs() {
    return *Installed();
}

void SetRunDialogs(std::unique_ptr<TQRRunDialogs> dialogs) {
    Installed() = dialogs ? std::move(dialogs) : std::make_unique<TQRRunDialogs>();
}

} // namespace pagimo::printer
