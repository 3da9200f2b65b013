// qrptool: headless companion of the Pagimo viewer.

#include "platform/system/Errors.h"
#include "platform/system/Termination.h"
#include "platform/system/Version.h"
#include "tools/Commands.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

using namespace pagimo::tools;

namespace {

// The command table; each entry's implementation lives in its own Cmd*.cpp file.
const TCommand Commands[] = {
    {"version", "print the program's version", "usage: qrptool version (or qrptool --version)\n",
     [](TArgs&) {
         std::printf("qrptool %s\n", pagimo::ProgramVersion());
         return ExitOk;
     }},
    CmdInfo,
    CmdRender,
    CmdConvert,
    CmdExport,
    CmdText,
    CmdEval,
    CmdSample,
    CmdPrinters,
    CmdPrint,
    CmdReport,
    CmdClasses,
};

void PrintHelp(FILE* out) {
    std::fputs("usage: qrptool COMMAND [ARGS...]\n\n"
               "Headless companion of the Pagimo viewer for prepared-report (QRP) files.\n\n"
               "Commands:\n",
               out);
    for (const auto& c : Commands) std::fprintf(out, "  %-10s %s\n", c.Name, c.Summary);
    std::fputs("\nRun 'qrptool COMMAND --help' for a command's options.\n", out);
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
        std::vector<std::string> rest(argv + 2, argv + argc);
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
