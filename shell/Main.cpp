// pagimo: the viewer program. The main window lives for the whole run; "Prohlížet" previews the
// program's help report, from whose preview window report files are loaded, and a report file named
// on the command line (as a file manager passes it) is opened in a preview at once.

#include "preview/StandardPreviewInterface.h"
#include "printer/ExportFilters.h"
#include "shell/Application.h"
#include "shell/HelpReport.h"
#include "shell/MainForm.h"
#include "shell/ViewSession.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

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
    UseProjectFonts(argv[0]);
    pagimo::shell::TApplication app(argc, argv);
    pagimo::preview::InstallStandardPreviewInterface();
    pagimo::printer::RegisterStandardExportFilters(pagimo::printer::QRExportFilterLibrary());

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

    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) {
        const QString file = args.at(1);
        QTimer::singleShot(0, &form, [&session, file] { session.View(file); });
    }
    const int rc = app.exec();
    session.CloseAll();
    if (help) help->Close();
    return rc;
}
