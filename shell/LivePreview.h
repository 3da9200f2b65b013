#pragma once
// The live preview of a report description (pagimo REPORT.form [--db FILE] [--param NAME=VALUE]):
// a standard preview window whose pages come from running the description's report (or its
// composite report), run again whenever the description or one of its data files changes. A run
// records into a printer of its own while the window keeps showing the last good pages; the new
// pages then take their place at the same page and zoom. A description that cannot be read or run
// shows its error (file, line, message) in the window, which stays open for the next save.

#include "engine/RunOptions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>

namespace pagimo::printer {
class TQRPrinter;
}
namespace pagimo::preview {
class TQRStandardPreview;
}
namespace pagimo::engine {
class TQRDescription;
}

namespace pagimo::shell {

class TLivePreview : public QObject {
public:
    TLivePreview(std::filesystem::path description, engine::TReportRunOptions options);
    ~TLivePreview() override;

    // Opens the window, captioned "NAME.form – Pagimo", and returns at once; the first run starts
    // from the event loop.
    void Show();
    // Runs the description now and shows its pages or its error. Asked for during a run (the run
    // processes window messages), it cancels that run and runs again once it has returned.
    void Run();
    // Closes the window and frees its printer; a run in progress is cancelled.
    void Close();

    preview::TQRStandardPreview* Window() const;
    // The runs finished so far (with pages or with an error), and the last run's error; for tests
    // and the status line.
    int FinishedRuns() const { return FFinishedRuns; }
    const QString& Error() const { return FError; }
    // What the last good run reported besides its pages, as qrptool report words it.
    const QStringList& Warnings() const { return FRunWarnings; }
    bool Running() const { return FRunning; }
    // After each finished run.
    std::function<void()> OnRunFinished;

protected:
    bool event(QEvent* event) override;

private:
    void RunOnce();
    void CancelRun();
    void ShowError(const QString& text);

    std::filesystem::path FDescription;
    engine::TReportRunOptions FOptions;
    std::unique_ptr<printer::TQRPrinter> FPrinter; // the window's printer: the pages shown
    QPointer<preview::TQRStandardPreview> FWindow;
    engine::TQRDescription* FRunningDescription = nullptr; // the description being run, to cancel it
    bool FRunning = false;
    bool FRunAgain = false;
    bool FClosed = false;
    int FFinishedRuns = 0;
    QString FError;
    std::string FHandlersWarned; // the unconnected event handlers last warned about
    QStringList FRunWarnings;    // the diagnostics of the run under way or the last good one
    QStringList FWarned;         // those already written to stderr
};

} // namespace pagimo::shell
