#pragma once
// qrptool's commands. Each takes the arguments after its name and returns the exit status.

#include "tools/CommandLine.h"

namespace pagimo::tools {

struct TCommand {
    const char* Name;
    const char* Summary;
    const char* Usage; // full help text of the command
    int (*Run)(TArgs& args);
};

// The commands that print or run reports need Qt's printer support (and through it Qt Widgets):
// they live in the helper program qrptool-print, which qrptool starts in its own place for them,
// so that the other commands start without loading those libraries.
inline constexpr const char* PrintersSummary = "list the installed printers with their papers and margins";
inline constexpr const char* PrintSummary = "print a QRP file's pages on a printer";
inline constexpr const char* ReportSummary = "run a stored report description";
inline constexpr const char* ClassesSummary = "list the classes a report description may name";

extern const TCommand CmdInfo;
extern const TCommand CmdSample;
extern const TCommand CmdRender;
extern const TCommand CmdConvert;
extern const TCommand CmdExport;
extern const TCommand CmdText;
extern const TCommand CmdEval;
extern const TCommand CmdPrinters;
extern const TCommand CmdPrint;
extern const TCommand CmdReport;
extern const TCommand CmdThumbnail;
extern const TCommand CmdClasses;
extern const TCommand CmdManifest;

} // namespace pagimo::tools
