#pragma once
// TQRDescription: the one home for running a stored report description, shared by qrptool report,
// the viewer's live preview and the help report. It registers the classes a description may name,
// reads the description (the --db database given to its SQLite data sets while they load), checks
// and sets the --param report functions, knows the data files the description reads, chooses what
// runs (the composite report the description holds, else its first report), and passes the runs'
// diagnostics on with the description's line for each. Runs record pages, print, export, or go onto
// any report target (the band trace); a run in progress can be cancelled from the message loop.
//
// A caller that runs the description for each of several values (one output per customer, say)
// sets the functions with SetFunction between runs: the description is read once.

#include "engine/FormReader.h"
#include "engine/RunOptions.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pagimo::controls {
struct TQRRunDiagnostic;
}
namespace pagimo::printer {
class TQRExporter;
class TQRPrinter;
} // namespace pagimo::printer

namespace pagimo::engine {

class TCustomQRReport;
class TQRCompositeReport;
class TQRReport;
class TQRReportTarget;

// A --param that names nothing the description has. what() names the parameters it has.
class EUnknownParameter : public EQRError {
public:
    using EQRError::EQRError;
};

// A diagnostic of a run as the description's author reads it.
struct TQRDescriptionDiagnostic {
    const TCustomQRReport* Report = nullptr;
    const controls::TQRRunDiagnostic* Diagnostic = nullptr;
    int Line = 0;     // the line of the description that holds the mistake; 0 when unknown
    std::string Text; // "report R, page 2, Total: unknown field or function [prize]"
};

class TQRDescription {
public:
    // Reads the description. Throws EFormError (file:line: reason), EQRError ("Cannot open file",
    // a data set that cannot be opened) and EUnknownParameter (a --param the description does not
    // have).
    TQRDescription(std::filesystem::path file, TReportRunOptions options = {});
    ~TQRDescription();
    TQRDescription(const TQRDescription&) = delete;
    TQRDescription& operator=(const TQRDescription&) = delete;

    const std::filesystem::path& File() const { return FFile; }
    system::TComponent& Root() const { return *FRoot; }
    // What runs: the composite report, or else the first report (none for a description without
    // any, which Record and the other runs refuse with an error).
    TQRCompositeReport* Composite() const { return FComposite; }
    TQRReport* Report() const { return FReport; }
    // Every report that takes part in a run, in print order.
    std::vector<TQRReport*> Reports() const;

    // The files the description reads: SQLite databases (also those the server query class opens
    // through the SQLite driver) and CSV files, each once.
    std::vector<std::string> DataFiles() const;
    // The names a --param may set: the report functions of the description's own (other than
    // PAGENUMBER, COLUMNNUMBER and REPORTTITLE) and the query parameters (:NAME), each once.
    std::vector<std::string> ParameterNames() const;
    // "Component.Event = Handler" for every event the description names; no code runs them here.
    std::vector<std::string> EventHandlers() const;
    // Sets a report function on every report (as --param does). Throws EUnknownParameter.
    void SetFunction(const std::string& name, const std::string& expression);

    // Receives the diagnostics of every run, as they are found.
    std::function<void(const TQRDescriptionDiagnostic&)> OnDiagnostic;
    // Called at the start of each page a run begins (the page number so far), for progress lines.
    std::function<void(int page)> OnPage;

    // The runs. Each throws what the run throws.
    std::unique_ptr<printer::TQRPrinter> Record();
    void Print();
    void Export(printer::TQRExporter& filter);
    // Runs onto a target of the caller's (the band trace); nothing is kept.
    void Run(TQRReportTarget& target);
    // Stops the run in progress at its next record; nothing when none runs.
    void Cancel();
    bool Running() const { return FRunning; }
    // Whether the last run was cancelled.
    bool Cancelled() const;

private:
    std::filesystem::path FFile;
    TReportRunOptions FOptions;
    system::TClassRegistry FRegistry;
    TFormSourceMap FLines;
    std::unique_ptr<system::TComponent> FRoot;
    TQRCompositeReport* FComposite = nullptr;
    TQRReport* FReport = nullptr;
    bool FRunning = false;

    void Listen(TCustomQRReport& report);
    TQRReport& RequireReport() const;
};

} // namespace pagimo::engine
