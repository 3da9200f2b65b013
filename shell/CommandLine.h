#pragma once
// The viewer's command line, read before anything needs a display: pagimo [FILE.qrp ...],
// pagimo --help, pagimo --version. Qt's own single-dash options (-platform xcb, -style ...) pass
// through to the application object.

#include <string>
#include <vector>

namespace pagimo::shell {

struct TViewerCommandLine {
    bool Help = false;
    bool Version = false;
    std::vector<std::string> Files;
    std::string Error; // a usage error: an unknown option, or an option without its value
};

TViewerCommandLine ParseViewerCommandLine(const std::vector<std::string>& args); // without argv[0]

// The text --help prints.
const char* ViewerUsage();

} // namespace pagimo::shell
