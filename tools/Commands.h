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
extern const TCommand CmdClasses;

} // namespace pagimo::tools
