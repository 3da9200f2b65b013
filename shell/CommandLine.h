#pragma once
// The viewer's command line, read before anything needs a display: pagimo [FILE.qrp ...],
// pagimo REPORT.form [--db FILE] [--param NAME=VALUE ...] (a live preview of a report description,
// with the options qrptool report takes), pagimo --help, pagimo --version. Qt's own single-dash options (-platform xcb, -style ...) pass
// through to the application object.

#include "engine/RunOptions.h"

#include <string>
#include <vector>

namespace pagimo::shell {

struct TViewerCommandLine {
    bool Help = false;
    bool Version = false;
    std::vector<std::string> Files;
    engine::TReportRunOptions Run; // --db and --param, for the report descriptions among the files
    std::string Error; // a usage error: an unknown option, or an option without its value
};

// A file the viewer opens as a live preview: a report description (NAME.form, any case).
bool IsReportDescription(const std::string& fileName);

TViewerCommandLine ParseViewerCommandLine(const std::vector<std::string>& args); // without argv[0]

// The text --help prints.
const char* ViewerUsage();

} // namespace pagimo::shell
