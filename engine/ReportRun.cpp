#include "engine/ReportRun.h"

#include "engine/Report.h"
#include "printer/Messages.h"
#include "printer/QRPrinter.h"

#include <QCoreApplication>

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
    return p;
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
    FReport.CreateReport(false);
    if (FReport.Cancelled()) {
        Discard();
        return;
    }
    while (FPrinter && FPrinter->PreviewShown() && QCoreApplication::instance() && !QCoreApplication::closingDown()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
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
    try {
        FReport.CreateReport(false);
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
        }
        return true;
    case printer::MsgPageAvailable:
        return true;
    default:
        return QObject::event(e);
    }
}

} // namespace pagimo::engine
