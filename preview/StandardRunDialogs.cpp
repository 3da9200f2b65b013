#include "preview/StandardRunDialogs.h"

#include "printer/QRPrintDialog.h"
#include "printer/QRPrinter.h"
#include "printer/QRProgressForm.h"

#include <QApplication>

namespace pagimo::preview {

namespace {

// Widgets need a QApplication; a program with only a QGuiApplication (or none) shows no window.
bool CanShowWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

bool TQRStandardRunDialogs::PrintSetup(printer::TQRPrinterSettings& settings, printer::TPrinterOrientation& orientation,
                                       const printer::TQRPrinter* pages, QObject* owner) {
    if (!CanShowWidgets()) return false;
    return printer::ReportPrintSetup(settings, orientation, pages, owner);
}

std::unique_ptr<QObject> TQRStandardRunDialogs::ShowProgress(printer::TQRPrinter& printer, const std::string&) {
    // The window keeps its own caption ("Printing progress"), whatever the report's title.
    if (!CanShowWidgets()) return nullptr;
    auto progress = std::make_unique<printer::TQRProgressForm>();
    progress->ReportPrinter = &printer;
    printer.SetNotifyWindow(progress.get());
    progress->show();
    return progress;
}

} // namespace pagimo::preview
