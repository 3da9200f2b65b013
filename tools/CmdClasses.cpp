// qrptool classes: the reference of the description language, made from the class registry.

#include "engine/ClassReference.h"
#include "tools/Commands.h"

#include <cstdio>

namespace pagimo::tools {

namespace {

int RunClasses(TArgs& args) {
    const bool markdown = args.Flag("--markdown");
    if (!args.Positionals().empty()) throw EUsage{"no arguments expected"};
    system::TClassRegistry registry;
    engine::RegisterDescriptionClasses(registry);
    const std::string text =
        markdown ? engine::ClassReferenceMarkdown(registry) : engine::ClassReferenceText(registry);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return ExitOk;
}

} // namespace

extern const TCommand CmdClasses = {
    "classes", ClassesSummary,
    "usage: qrptool classes [--markdown]\n"
    "  Lists every class of the description language with its published properties: name, type,\n"
    "  default (what a fresh object holds), then the values of each enumeration and set in order.\n"
    "  --markdown       the same as Markdown tables (the reference at the end of docs/REPORTS.md)\n",
    RunClasses};

} // namespace pagimo::tools
