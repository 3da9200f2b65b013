#pragma once
// What a stand-alone run of a report description takes from its command line, read alike by
// `qrptool report` and the viewer's live preview: the database for its SQLite data sets (--db FILE)
// and report functions (--param NAME=VALUE). Also the files a description reads its data from.

#include <string>
#include <utility>
#include <vector>

namespace pagimo::system {
class TComponent;
}
namespace pagimo::controls {
struct TQRRunDiagnostic;
}

namespace pagimo::engine {

class TCustomQRReport;
class TQRCompositeReport;

struct TReportRunOptions {
    std::string Database; // --db: replaces the database of every SQLite data set; empty: their own
    std::vector<std::pair<std::string, std::string>> Functions; // --param: name and expression, in order

    // Takes one --param value, NAME=VALUE; the usage error to report when it is not of that form.
    [[nodiscard]] std::string AddParam(const std::string& assignment);
    // Sets the database (made absolute against the current folder, as the user typed it relative to it).
    void SetDatabase(const std::string& file);

    // While a description loads: gives a SQLite data set the --db database.
    void ApplyToComponent(system::TComponent& component) const;
    // Sets the functions on every report in the tree below root (root included).
    void ApplyFunctions(system::TComponent& root) const;
};

// A --param value as a report function: numbers stay numbers, anything else becomes a string.
std::string LiteralExpression(const std::string& value);

// The files the data sets and image controls below root (root included) read: SQLite databases (also
// those a TQRSQLQuery opens through the SQLite driver), CSV files and picture files, each once, in the
// order of the tree.
std::vector<std::string> DescriptionDataFiles(const system::TComponent& root);

// The line a diagnostic of a run of report is told as (without the file name): "report R, page 2,
// Total: unknown field or function [prize]".
std::string DiagnosticText(const TCustomQRReport& report, const controls::TQRRunDiagnostic& d);

// The composite report a description runs: the root itself or one it owns directly; none when the
// description holds none (its first report runs then).
TQRCompositeReport* FindCompositeReport(system::TComponent& root);

} // namespace pagimo::engine
