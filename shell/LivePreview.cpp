#include "shell/LivePreview.h"

#include "engine/Description.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/ScopeGuard.h"
#include "preview/LiveMode.h"
#include "preview/StandardPreview.h"
#include "printer/QRPrinter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>

namespace pagimo::shell {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TLivePreview::TLivePreview(std::filesystem::path description, engine::TReportRunOptions options)
    : FDescription(std::move(description)), FOptions(std::move(options)) {
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
    FWindow->Live().SetSource({FromStd(std::filesystem::absolute(FDescription).string())}, [this] { Run(); });
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
    if (FRunningDescription) FRunningDescription->Cancel();
}

void TLivePreview::ShowError(const QString& text) {
    FError = text;
    if (FWindow) FWindow->Live().ShowError(text);
}

void TLivePreview::RunOnce() {
    const std::string description = FDescription.string();
    std::unique_ptr<printer::TQRPrinter> pages;
    try {
        engine::TQRDescription loaded(FDescription, FOptions);
        // The data files of this version of the description are watched from now on.
        QStringList watched{FromStd(std::filesystem::absolute(FDescription).string())};
        for (const std::string& file : loaded.DataFiles())
            watched << FromStd(file);
        FWindow->Live().SetWatchedFiles(watched);
        std::string handlers;
        for (const std::string& h : loaded.EventHandlers())
            handlers += (handlers.empty() ? "" : ", ") + h;
        if (handlers != FHandlersWarned && !handlers.empty())
            std::fprintf(stderr, "%s: warning: event handlers not connected (no program code in this run): %s\n",
                         description.c_str(), handlers.c_str());
        FHandlersWarned = handlers;
        // The status bar follows the run: a long report shows how far it has come. What the run
        // reports besides its pages is shown above them, each once, with its line.
        FRunWarnings.clear();
        loaded.OnPage = [this](int page) {
            if (FWindow) FWindow->Live().ShowStatus(QStringLiteral("Running: page %1").arg(page));
        };
        loaded.OnDiagnostic = [this](const engine::TQRDescriptionDiagnostic& d) {
            const QString text = (d.Line > 0 ? QStringLiteral("line %1: ").arg(d.Line) : QString()) + FromStd(d.Text);
            if (!FRunWarnings.contains(text)) FRunWarnings << text;
        };
        system::TScopeGuard endStatus([this] {
            if (FWindow) FWindow->Live().ShowStatus(QString());
        });
        // The run processes window messages: the window stays usable and shows the last pages meanwhile.
        FRunningDescription = &loaded;
        system::TScopeGuard forget([this] { FRunningDescription = nullptr; });
        pages = loaded.Record();
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
        FWindow->Live().ShowPages(FromStd(path));
        FWindow->Live().ShowWarnings(FRunWarnings);
        // On stderr too, as qrptool report writes them, once each while they last.
        // "line 12: text" in the window is "FILE:12: warning: text" on stderr.
        for (const QString& w : FRunWarnings) {
            if (FWarned.contains(w)) continue;
            static const QRegularExpression line(QStringLiteral("^line (\\d+): "));
            const QRegularExpressionMatch m = line.match(w);
            const QString where = m.hasMatch() ? QStringLiteral(":") + m.captured(1) : QString();
            const QString text = m.hasMatch() ? w.mid(m.capturedLength()) : w;
            std::fprintf(stderr, "%s%s: warning: %s\n", description.c_str(), where.toUtf8().constData(),
                         text.toUtf8().constData());
        }
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
