#include "shell/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace pagimo::shell {

namespace {

// Qt's application options and whether each takes a value; the application object removes them.
struct TQtOption {
    std::string_view Name;
    bool TakesValue;
};
constexpr std::array<TQtOption, 16> QtOptions = {{{"-platform", true},
                                                  {"-platformpluginpath", true},
                                                  {"-platformtheme", true},
                                                  {"-plugin", true},
                                                  {"-qwindowgeometry", true},
                                                  {"-qwindowtitle", true},
                                                  {"-qwindowicon", true},
                                                  {"-display", true},
                                                  {"-geometry", true},
                                                  {"-style", true},
                                                  {"-stylesheet", true},
                                                  {"-session", true},
                                                  {"-name", true},
                                                  {"-reverse", false},
                                                  {"-nograb", false},
                                                  {"-sync", false}}};

} // namespace

TViewerCommandLine ParseViewerCommandLine(const std::vector<std::string>& args) {
    TViewerCommandLine cl;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnd || a.empty() || a[0] != '-' || a == "-") {
            cl.Files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
        } else if (a == "--help" || a == "-h") {
            cl.Help = true;
        } else if (a == "--version") {
            cl.Version = true;
        } else {
            // Qt spells its options with one dash, and also accepts two.
            const std::string_view name = a.compare(0, 2, "--") == 0 ? std::string_view(a).substr(1) : a;
            const auto qt = std::find_if(QtOptions.begin(), QtOptions.end(),
                                         [name](const TQtOption& o) { return name == o.Name; });
            if (qt == QtOptions.end()) {
                if (cl.Error.empty()) cl.Error = "unknown option '" + a + "'";
            } else if (qt->TakesValue && ++i >= args.size()) {
                if (cl.Error.empty()) cl.Error = "option '" + a + "' needs a value";
            }
        }
    }
    return cl;
}

const char* ViewerUsage() {
    return "usage: pagimo [FILE.qrp ...]\n"
           "       pagimo --help | --version\n\n"
           "Without a file, opens the main window; its \"Prohl\xC3\xAD\xC5\xBE" "et\" button shows the program's\n"
           "help report, from whose preview QRP files are loaded, printed, saved and exported.\n"
           "With files, opens each in a window of its own; the program ends when the last one closes.\n\n"
           "  --help      show this text\n"
           "  --version   show the version\n";
}

} // namespace pagimo::shell
