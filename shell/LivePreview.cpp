#include "shell/LivePreview.h"

#include "controls/ControlClasses.h"
#include "engine/CompositeReport.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/ReportRun.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/ScopeGuard.h"
#include "preview/StandardPreview.h"
#include "printer/QRPrinter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace pagimo::shell {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

template <class F> void ForEachReport(system::TComponent& root, const F& f) {
    if (auto* report = dynamic_cast<engine::TCustomQRReport*>(&root)) f(*report);
    for (system::TComponent* c : root.Components())
        ForEachReport(*c, f);
}

} // namespace

TLivePreview::TLivePreview(std::filesystem::path description, engine::TReportRunOptions options)
    : FDescription(std::move(description)), FOptions(std::move(options)) {
    engine::RegisterReportClasses(FRegistry);
    engine::RegisterFormHostClasses(FRegistry);
    controls::RegisterControlClasses(FRegistry);
    // A program that is ending does not wait for the rest of a long run.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { CancelRun(); });
}

TLivePreview::~TLivePreview() {
    Close();
}

preview::TQRStandardPreview* TLivePreview::Window() const {
    return FWindow.data();
}

void TLivePreview::Show() {
    if (FPrinter) return;
    FPrinter = std::make_unique<printer::TQRPrinter>();
    FPrinter->SetReportWindow(this);
    FPrinter->ShowPreview();
    // The preview control became the printer's NotifyWindow; its window is the preview window.
    if (auto* control = qobject_cast<QWidget*>(FPrinter->NotifyWindow()))
        FWindow = dynamic_cast<preview::TQRStandardPreview*>(control->window());
    if (!FWindow) {
        FPrinter.reset();
        return;
    }
    const QString name = FromStd(FDescription.filename().string());
    FWindow->setWindowTitle(name + QStringLiteral(" \u2013 Pagimo"));
    FWindow->SetLiveSource({FromStd(std::filesystem::absolute(FDescription).string())}, [this] { Run(); });
    QTimer::singleShot(0, this, [this] { Run(); });
}

void TLivePreview::Run() {
    if (FClosed || !FWindow) return;
    if (FRunning) {
        // The run in progress read what has changed since: it stops, and the loop below runs again.
        FRunAgain = true;
        CancelRun();
        return;
    }
    FRunning = true;
    system::TScopeGuard done([this] { FRunning = false; });
    do {
        FRunAgain = false;
        RunOnce();
    } while (FRunAgain && !FClosed && FWindow);
}

void TLivePreview::CancelRun() {
    if (FRunningComposite)
        FRunningComposite->Cancel();
    else if (FRunningReport)
        FRunningReport->Cancel();
}

void TLivePreview::ShowError(const QString& text) {
    FError = text;
    if (FWindow) FWindow->ShowLiveError(text);
}

void TLivePreview::RunOnce() {
    const std::string description = FDescription.string();
    std::unique_ptr<system::TComponent> root;
    std::unique_ptr<printer::TQRPrinter> pages;
    try {
        root = engine::ReadFormFile(FDescription, FRegistry,
                                    [this](system::TComponent& c) { FOptions.ApplyToComponent(c); });
        // The data files of this version of the description are watched from now on.
        QStringList watched{FromStd(std::filesystem::absolute(FDescription).string())};
        for (const std::string& file : engine::DescriptionDataFiles(*root))
            watched << FromStd(file);
        FWindow->SetWatchedFiles(watched);
        std::string handlers;
        for (const std::string& h : engine::EventHandlerNames(*root))
            handlers += (handlers.empty() ? "" : ", ") + h;
        if (handlers != FHandlersWarned && !handlers.empty())
            std::fprintf(stderr, "%s: warning: event handlers not connected (no program code in this run): %s\n",
                         description.c_str(), handlers.c_str());
        FHandlersWarned = handlers;
        FOptions.ApplyFunctions(*root);
        // The status bar follows the run: a long report shows how far it has come. What the run
        // reports besides its pages is shown above them, each once.
        int pagesMade = 0;
        FRunWarnings.clear();
        ForEachReport(*root, [this, &pagesMade](engine::TCustomQRReport& report) {
            report.OnStartPage = [this, &pagesMade](engine::TCustomQRReport&) {
                if (FWindow) FWindow->ShowLiveStatus(QStringLiteral("Running: page %1").arg(++pagesMade));
            };
            report.OnDiagnostic = [this](engine::TCustomQRReport& r, const controls::TQRRunDiagnostic& d) {
                const QString text = FromStd(engine::DiagnosticText(r, d));
                if (!FRunWarnings.contains(text)) FRunWarnings << text;
            };
        });
        system::TScopeGuard endStatus([this] {
            if (FWindow) FWindow->ShowLiveStatus(QString());
        });

        // The run processes window messages: the window stays usable and shows the last pages meanwhile.
        system::TScopeGuard forget([this] {
            FRunningReport = nullptr;
            FRunningComposite = nullptr;
        });
        if (engine::TQRCompositeReport* composite = engine::FindCompositeReport(*root)) {
            FRunningComposite = composite;
            pages = composite->Record();
        } else {
            engine::TQRReport* report = engine::FindFirstReport(*root);
            if (!report) throw EQRError(description + ": no report in the description");
            FRunningReport = report;
            engine::TQRReportRunner runner(*report);
            pages = runner.Record();
        }
    } catch (const engine::EFormError& e) {
        ++FFinishedRuns;
        ShowError(FromStd(e.what()));
        if (OnRunFinished) OnRunFinished();
        return;
    } catch (const std::exception& e) {
        if (FRunAgain || FClosed) return;
        ++FFinishedRuns;
        // Messages that name the description already (it cannot be opened) are shown as they are.
        const std::string message = e.what();
        ShowError(FromStd(message.find(description) != std::string::npos ? message : description + ": " + message));
        if (OnRunFinished) OnRunFinished();
        return;
    }
    // A cancelled run's pages are not the report's.
    if (FRunAgain || FClosed || !FWindow || !pages) return;
    try {
        // The window loads the pages from a file of their own, which goes once they are shown (the
        // window keeps it open).
        std::string path;
        TUniqueFd fd = CreateTempFile(TempDirectory(), "QRP", path);
        if (!fd.Valid()) throw EQRError(FormatMessage("Cannot create file %s", TempDirectory() + "/QRP*.tmp"));
        TFileRemover remover(path);
        fd = TUniqueFd();
        pages->SaveReportFile(path);
        pages.reset();
        FWindow->ShowLivePages(FromStd(path));
        FWindow->ShowLiveWarnings(FRunWarnings);
        // On stderr too, as qrptool report writes them, once each while they last.
        for (const QString& w : FRunWarnings)
            if (!FWarned.contains(w))
                std::fprintf(stderr, "%s: warning: %s\n", description.c_str(), w.toUtf8().constData());
        FWarned = FRunWarnings;
        if (printer::TQRPrinter* shown = FWindow->ReportPrinter())
            shown->SetDocumentTitle(FDescription.stem().string());
        FError.clear();
    } catch (const std::exception& e) {
        ShowError(FromStd(description + ": " + e.what()));
    }
    ++FFinishedRuns;
    if (OnRunFinished) OnRunFinished();
}

void TLivePreview::Close() {
    CancelRun();
    if (QPointer<preview::TQRStandardPreview> window = FWindow) {
        window->close(); // tells this object, which frees the printer
        delete window.data();
    }
    FClosed = true;
    FPrinter.reset();
}

bool TLivePreview::event(QEvent* event) {
    if (event->type() == printer::MsgPreviewClosed) {
        FClosed = true;
        CancelRun();
        if (FPrinter) {
            FPrinter->SetPreviewShown(false);
            // Freeing the printer detaches the preview control from it.
            FPrinter.reset();
        }
        return true;
    }
    // The pages shown print themselves; the report is not run onto the printer again.
    if (event->type() == printer::MsgPrintReport) return true;
    return QObject::event(event);
}

} // namespace pagimo::shell
