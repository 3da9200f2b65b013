// pagimo: the viewer program. Without files, the main window lives for the whole run and
// "Prohlížet" previews the program's help report, from whose preview window report files are loaded.
// With files (as a file manager passes them), each opens in a window of its own and the program ends
// when the last of them closes; a report description (REPORT.form) opens as a live preview of its
// report, run again whenever the description or its data change.

#include "preview/StandardPreviewInterface.h"
#include "printer/ExportFilters.h"
#include "platform/system/Version.h"
#include "shell/Application.h"
#include "shell/CommandLine.h"
#include "shell/HelpReport.h"
#include "shell/LivePreview.h"
#include "shell/MainForm.h"
#include "shell/ViewSession.h"


#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// The project's font configuration maps the Windows faces the pages name onto installed ones; it
// must be in force before Qt builds its font database. An explicit FONTCONFIG_FILE wins.
void UseProjectFonts(const char* argv0) {
    if (std::getenv("FONTCONFIG_FILE")) return;
    std::error_code ec;
    const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    const std::filesystem::path base = ec ? std::filesystem::path(argv0).parent_path() : exe.parent_path();
    for (const auto& candidate : {base / ".." / "share" / "pagimo" / "fonts" / "fonts.conf",
                                  std::filesystem::path(PAGIMO_SOURCE_DIR) / "resources" / "fonts" / "fonts.conf"}) {
        if (std::filesystem::is_regular_file(candidate, ec)) {
            setenv("FONTCONFIG_FILE", candidate.c_str(), 1);
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    // The command line is read before anything needs a display, so --help and --version work anywhere.
    const auto cl = pagimo::shell::ParseViewerCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (cl.Help) {
        std::fputs(pagimo::shell::ViewerUsage(), stdout);
        return 0;
    }
    if (cl.Version) {
        std::printf("pagimo %s\n", pagimo::ProgramVersion());
        return 0;
    }
    if (!cl.Error.empty()) {
        std::fprintf(stderr, "pagimo: %s\n%s", cl.Error.c_str(), pagimo::shell::ViewerUsage());
        return 2;
    }

    UseProjectFonts(argv[0]);
    pagimo::shell::TApplication app(argc, argv);
    app.EndOnTerminationSignals();
    pagimo::preview::InstallStandardPreviewInterface();
    pagimo::shell::InstallViewerPreviewWindows();
    pagimo::printer::RegisterStandardExportFilters(pagimo::printer::QRExportFilterLibrary());

    if (!cl.Files.empty()) {
        // A file viewer: no main window; Qt ends the loop when the last window has closed. A report
        // description opens as a live preview of its report.
        pagimo::shell::TViewSession session;
        std::vector<std::unique_ptr<pagimo::shell::TLivePreview>> live;
        for (const std::string& file : cl.Files) {
            if (pagimo::shell::IsReportDescription(file)) {
                live.push_back(std::make_unique<pagimo::shell::TLivePreview>(file, cl.Run));
                live.back()->Show();
            } else {
                session.Show(QString::fromLocal8Bit(file.c_str()));
            }
        }
        bool open = !session.OpenWindows().empty();
        for (const auto& l : live)
            open = open || l->Window();
        const int rc = open ? app.exec() : 0;
        live.clear();
        session.CloseAll();
        return rc;
    }

    pagimo::shell::TForm1 form;
    pagimo::shell::TViewSession session;
    // The help report is built after the main window. Without it (a damaged installation) the
    // button still opens an empty preview, from which files can be loaded.
    std::unique_ptr<pagimo::shell::THelpReport> help;
    try {
        help = std::make_unique<pagimo::shell::THelpReport>(pagimo::shell::THelpReport::Locate());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pagimo: %s\n", e.what());
    }
    form.OnView = [&session, &help] {
        if (help)
            help->View();
        else
            session.View();
    };
    form.show();
    const int rc = app.exec();
    session.CloseAll();
    if (help) help->Close();
    return rc;
}
