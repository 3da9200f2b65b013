#include "engine/ReportRun.h"

#include "engine/Report.h"
#include "printer/ExportFilter.h"
#include "printer/Messages.h"
#include "printer/QRPrinter.h"
#include "printer/RunDialogs.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace pagimo::engine {

TQRReportRunner::TQRReportRunner(TCustomQRReport& report) : FReport(report) {}

TQRReportRunner::~TQRReportRunner() {
    FReport.SetPrintTarget(nullptr);
}

std::unique_ptr<printer::TQRPrinter> TQRReportRunner::NewPrinter() {
    auto p = std::make_unique<printer::TQRPrinter>();
    if (FPrinter) p->SetNotifyWindow(FPrinter->NotifyWindow());
    p->AfterPreviewHook = [this](printer::TQRPrinter&) {
        if (AfterPreview) AfterPreview(FReport);
    };
    p->AfterPrintHook = [this](printer::TQRPrinter&) {
        if (AfterPrint) AfterPrint(FReport);
    };
    // The preview's printer setup edits the report's own printer wishes; the next Print takes them.
    printer::TQRPrinter* raw = p.get();
    p->PrintSetupHook = [this, raw](QObject* sender) { PrintSetup(raw, sender); };
    // The preview's export runs the report again through the filter.
    p->ExportHook = [this](printer::TQRExporter& filter) { Export(filter); };
    return p;
}

bool TQRReportRunner::PrintSetup(const printer::TQRPrinter* pages, QObject* owner) {
    TPrinterOrientation orientation = FReport.Page()->Orientation();
    // The report's Tag tells the caller how the dialog ended: 1 cancelled, 0 confirmed.
    if (!printer::RunDialogs().PrintSetup(*FReport.PrinterSettings(), orientation, pages, owner)) {
        FReport.SetTag(1);
        return false;
    }
    FReport.SetTag(0);
    FReport.Page()->SetOrientation(orientation);
    return true;
}

void TQRReportRunner::Discard() {
    FReport.SetPrintTarget(nullptr);
    FTarget.reset();
    FPrinter.reset();
}

void TQRReportRunner::Preview() {
    printer::ProcessMessages();
    if (!FReport.Available()) return;
    FPrinter = NewPrinter();
    FTarget = std::make_unique<TQRPrinterTarget>(*FPrinter);
    FPrinter->SetOutput(printer::okPages);
    FPrinter->SetReportWindow(this);
    FPrinter->SetDocumentTitle(FReport.ReportTitle());
    if (OnPreview) FPrinter->PreviewHandler = OnPreview;
    FReport.SetPrintTarget(FTarget.get());
    FPrinter->ShowPreview();
    try {
        FReport.CreateReport(false);
    } catch (...) {
        // The report is ready again (CreateReport restores it); the preview window lets go of the
        // freed printer and stays open, empty, until the user closes it.
        Discard();
        throw;
    }
    if (FReport.Cancelled()) {
        Discard();
        return;
    }
    if (!FPrinter || !FPrinter->PreviewShown() || !QCoreApplication::instance() || QCoreApplication::closingDown())
        return;
    // Waits in a loop of its own, which ends when the preview closes and also when the program
    // asks every loop to end (QCoreApplication::exit).
    QEventLoop loop;
    FWaitLoop = &loop;
    loop.exec();
    FWaitLoop = nullptr;
}

std::unique_ptr<QObject> TQRReportRunner::ShowProgress(printer::TQRPrinter& p) const {
    if (!FReport.ShowProgress()) return nullptr;
    return printer::RunDialogs().ShowProgress(p, FReport.ReportTitle());
}

void TQRReportRunner::Print() {
    if (!FReport.Available()) return;
    auto kept = std::move(FPrinter);
    auto keptTarget = std::move(FTarget);
    auto restore = [&] {
        FReport.SetPrintTarget(keptTarget.get());
        FTarget = std::move(keptTarget);
        FPrinter = std::move(kept);
    };
    std::unique_ptr<printer::TQRPrinter> p;
    try {
        p = NewPrinter();
    } catch (...) {
        restore();
        throw;
    }
    if (!p->HasPrinters()) {
        restore();
        return;
    }
    p->SetOutput(printer::okPrinter);
    TQRPrinterTarget target(*p);
    FReport.SetPrintTarget(&target);
    // The progress window follows the run and turns Cancel into a cancel request on the printer;
    // only where widgets can be shown.
    std::unique_ptr<QObject> progress = ShowProgress(*p);
    try {
        FReport.CreateReport(false);
    } catch (...) {
        p->SetNotifyWindow(nullptr);
        progress.reset();
        restore();
        throw;
    }
    p->SetNotifyWindow(nullptr);
    progress.reset();
    restore();
}

void TQRReportRunner::Export(printer::TQRExporter& filter) {
    if (!FReport.Available()) return;
    // The run goes to a plain printer of its own, so a finished preview stays intact. The filter
    // learns the report's window and a printer that carries the report's title: the preview's, or
    // without a preview the run's own.
    auto p = std::make_unique<printer::TQRPrinter>();
    p->SetDocumentTitle(FReport.ReportTitle());
    filter.Printer = FPrinter ? FPrinter.get() : p.get();
    filter.Report = this;
    auto kept = std::move(FPrinter);
    auto keptTarget = std::move(FTarget);
    TQRPrinterTarget target(*p);
    FReport.SetPrintTarget(&target);
    std::unique_ptr<QObject> progress;
    auto restore = [&] {
        p->SetNotifyWindow(nullptr);
        progress.reset();
        FReport.SetPrintTarget(keptTarget.get());
        FTarget = std::move(keptTarget);
        FPrinter = std::move(kept);
    };
    progress = ShowProgress(*p);
    try {
        FReport.ExportTo(filter);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

std::unique_ptr<printer::TQRPrinter> TQRReportRunner::Record() {
    auto p = NewPrinter();
    p->SetOutput(printer::okPages);
    TQRPrinterTarget target(*p);
    FReport.SetPrintTarget(&target);
    try {
        FReport.CreateReport(false);
    } catch (...) {
        FReport.SetPrintTarget(nullptr);
        throw;
    }
    FReport.SetPrintTarget(nullptr);
    return p;
}

bool TQRReportRunner::event(QEvent* e) {
    switch (static_cast<int>(e->type())) {
    case printer::MsgPrintReport:
        Print();
        return true;
    case printer::MsgPreviewClosed:
        if (!FReport.Available()) {
            FReport.Cancel();
        } else {
            if (FPrinter && FPrinter->PreviewShown()) FPrinter->SetPreviewShown(false);
            Discard();
            if (FWaitLoop) FWaitLoop->quit();
        }
        return true;
    case printer::MsgPageAvailable:
        return true;
    default:
        return QObject::event(e);
    }
}

} // namespace pagimo::engine
