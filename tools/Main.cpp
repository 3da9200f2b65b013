// qrptool: headless companion of the Pagimo viewer.

#include "platform/system/Errors.h"
#include "platform/system/Termination.h"
#include "platform/system/Version.h"
#include "tools/Commands.h"
#include "tools/Progress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

using namespace pagimo::tools;

namespace {

#ifdef PAGIMO_PRINTING_HELPER
// Runs a printing command in the helper program, which takes the same arguments: beside this
// program in a build folder, PREFIX/libexec/pagimo/qrptool-print when installed.
int RunInHelper(char** argv) {
    std::error_code ec;
    const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    const std::filesystem::path dir = ec ? std::filesystem::path(argv[0]).parent_path() : exe.parent_path();
    for (const auto& helper : {dir / "qrptool-print", dir / PAGIMO_PRINTING_HELPER}) {
        if (::access(helper.c_str(), X_OK) != 0) continue;
        std::fflush(stdout);
        ::execv(helper.c_str(), argv);
        std::fprintf(stderr, "qrptool %s: cannot start %s: %s\n", argv[1], helper.c_str(), std::strerror(errno));
        return ExitFailure;
    }
    std::fprintf(stderr, "qrptool %s: the printing helper qrptool-print is not installed beside qrptool\n", argv[1]);
    return ExitFailure;
}

int InHelper(TArgs&) {
    return ExitFailure; // never called: main hands these commands to RunInHelper first
}
#endif

// The command table; each entry's implementation lives in its own Cmd*.cpp file.
const TCommand Commands[] = {
    {"version", "print the program's version", "usage: qrptool version (or qrptool --version)\n",
     [](TArgs&) {
         std::printf("qrptool %s\n", pagimo::ProgramVersion());
         return ExitOk;
     }},
    CmdInfo,
    CmdRender,
    CmdThumbnail,
    CmdConvert,
    CmdExport,
    CmdText,
    CmdEval,
    CmdSample,
    CmdManifest,
#ifdef PAGIMO_PRINTING_HELPER
    {"printers", PrintersSummary, nullptr, InHelper},
    {"print", PrintSummary, nullptr, InHelper},
    {"report", ReportSummary, nullptr, InHelper},
    {"classes", ClassesSummary, nullptr, InHelper},
#else
    CmdPrinters,
    CmdPrint,
    CmdReport,
    CmdClasses,
#endif
};

void PrintHelp(FILE* out) {
    std::fputs("usage: qrptool COMMAND [ARGS...]\n\n"
               "Headless companion of the Pagimo viewer for prepared-report (QRP) files.\n\n"
               "Commands:\n",
               out);
    for (const auto& c : Commands) std::fprintf(out, "  %-10s %s\n", c.Name, c.Summary);
    std::fputs("\nEvery command takes --quiet (no progress line on a terminal) and --progress (plain\n"
               "progress lines for logs, at each tenth of the work or every 10 s).\n"
               "Run 'qrptool COMMAND --help' for a command's options.\n",
               out);
}

} // namespace

int main(int argc, char** argv) {
    // SIGINT, SIGTERM and SIGHUP remove the temporary files a command has made before it ends.
    pagimo::InstallTerminationCleanup();
    if (argc < 2) {
        PrintHelp(stderr);
        return ExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return ExitOk;
    }
    if (name == "--version") {
        std::printf("qrptool %s\n", pagimo::ProgramVersion());
        return ExitOk;
    }
    for (const auto& command : Commands) {
        if (name != command.Name) continue;
#ifdef PAGIMO_PRINTING_HELPER
        if (!command.Usage) return RunInHelper(argv);
#endif
        std::vector<std::string> rest(argv + 2, argv + argc);
        TProgress::TakeOptions(rest);
        for (const auto& a : rest) {
            if (a == "--help" || a == "-h") {
                std::fputs(command.Usage, stdout);
                return ExitOk;
            }
        }
        TArgs args(std::move(rest));
        try {
            return command.Run(args);
        } catch (const EUsage& e) {
            std::fprintf(stderr, "qrptool %s: %s\n%s", command.Name, e.Message.c_str(), command.Usage);
            return ExitUsage;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qrptool %s: %s\n", command.Name, e.what());
            return ExitFailure;
        }
    }
    std::fprintf(stderr, "qrptool: unknown command '%s'\n", name.c_str());
    PrintHelp(stderr);
    return ExitUsage;
}
