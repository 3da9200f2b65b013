#include "shell/CommandLine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
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

// "--db" or "--param" when a is that option, alone or with "=VALUE"; empty otherwise.
std::string_view RunOption(std::string_view a) {
    for (std::string_view option : {std::string_view("--db"), std::string_view("--param")})
        if (a == option || (a.starts_with(option) && a.size() > option.size() && a[option.size()] == '='))
            return option;
    return {};
}

} // namespace

bool IsReportDescription(const std::string& fileName) {
    const std::string name = std::filesystem::path(fileName).filename().string();
    if (name.size() <= 5) return false;
    std::string ext = name.substr(name.size() - 5);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".form";
}

TViewerCommandLine ParseViewerCommandLine(const std::vector<std::string>& args) {
    TViewerCommandLine cl;
    bool optionsEnd = false;
    bool runOptions = false;
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
        } else if (const auto option = RunOption(a); !option.empty()) {
            // The options of a report run, as qrptool report spells them: "--db FILE" or "--db=FILE".
            std::string value;
            if (a.size() > option.size()) {
                value = a.substr(option.size() + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                if (cl.Error.empty()) cl.Error = "option '" + a + "' needs a value";
                continue;
            }
            runOptions = true;
            if (option == "--db") {
                cl.Run.SetDatabase(value);
            } else if (std::string error = cl.Run.AddParam(value); !error.empty() && cl.Error.empty()) {
                cl.Error = error;
            }
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
    if (runOptions && cl.Error.empty() &&
        std::none_of(cl.Files.begin(), cl.Files.end(), [](const std::string& f) { return IsReportDescription(f); }))
        cl.Error = "--db and --param apply to a report description (REPORT.form)";
    return cl;
}

const char* ViewerUsage() {
    return "usage: pagimo [FILE.qrp ...]\n"
           "       pagimo REPORT.form [--db FILE] [--param NAME=VALUE ...]\n"
           "       pagimo --help | --version\n\n"
           "Without a file, opens the main window; its \"Prohl\xC3\xAD\xC5\xBE" "et\" button shows the program's\n"
           "help report, from whose preview QRP files are loaded, printed, saved and exported.\n"
           "With files, opens each in a window of its own; the program ends when the last one closes.\n"
           "A report description (.form) opens as a live preview: its report runs into the window and\n"
           "runs again whenever the description or its data files change, keeping the page and zoom;\n"
           "a description with an error shows the error in the window until it is mended.\n\n"
           "  --db FILE         use this database for every SQLite data set of the description\n"
           "  --param N=V       set the report function N to the value V (query parameters :N)\n"
           "  --help            show this text\n"
           "  --version         show the version\n";
}

} // namespace pagimo::shell
