#pragma once
// What qrptool report says about a description besides its pages: the diagnostics of its runs on
// stderr (counted, so that --strict can fail the run), and for --fields the fields of its data sets.

#include "engine/Description.h"
#include "engine/Report.h"
#include "engine/RunOptions.h"

#include <cstdio>
#include <functional>
#include <set>
#include <string>

namespace pagimo::tools {

class TRunDiagnostics {
public:
    explicit TRunDiagnostics(std::string file) : FFile(std::move(file)) {}
    // Makes the description's diagnostics go to stderr ("FILE:LINE: warning: ..."), each once however
    // often its reports run.
    void Listen(engine::TQRDescription& description);
    // The diagnostics written so far.
    int Count() const { return FCount; }
    // Called before a diagnostic is written (the progress line ends first).
    std::function<void()> BeforeWrite;

private:
    std::string FFile;
    std::set<std::string> FSeen;
    int FCount = 0;
    void Write(const engine::TQRDescriptionDiagnostic& d);
};

// The line a diagnostic of report prints as (engine/RunOptions.h; the live preview shows the same).
using engine::DiagnosticText;

// Writes every data set of the description (in the order they were read) with its fields and
// their types to out; a query whose parameters have report functions of their names (--param)
// reopens with their values first, as a run would. Returns the number of data sets that are not
// active (listed, with no fields).
int ListFields(const system::TComponent& root, const engine::TCustomQRReport* report, std::FILE* out);

} // namespace pagimo::tools
