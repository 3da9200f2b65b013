// qrptool eval: evaluates a report expression so that report authors can try one out.

#include "expr/Environment.h"
#include "expr/EvResult.h"
#include "expr/Evaluator.h"
#include "tools/Commands.h"

#include <cstdio>

namespace pagimo::tools {

namespace {

int RunEval(TArgs& args) {
    const auto variables = args.Options("--var");
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) throw EUsage{"expects one EXPRESSION"};

    expr::TQREvEnvironment environment;
    for (const auto& variable : variables) {
        const auto equals = variable.find('=');
        if (equals == std::string::npos || equals == 0) throw EUsage{"--var needs NAME=EXPRESSION: " + variable};
        environment.Add(variable.substr(0, equals), variable.substr(equals + 1));
    }
    environment.Prepare();
    expr::TQREvaluator evaluator;
    evaluator.SetEnvironment(&environment);
    evaluator.Prepare(positionals[0]);
    const expr::EvResult result = evaluator.Value();
    evaluator.Unprepare();
    environment.Unprepare();

    if (result.Kind == expr::resError) {
        std::printf("ERROR %s\n", result.StrResult.c_str());
        return ExitFailure;
    }
    const std::string text = expr::ResultText(result);
    if (result.Kind == expr::resString) {
        std::printf("STRING '%s'\n", text.c_str());
    } else {
        std::printf("%s %s\n", expr::ResultKindName(result.Kind), text.c_str());
    }
    return ExitOk;
}

} // namespace

extern const TCommand CmdEval = {
    "eval", "evaluate a report expression",
    "usage: qrptool eval EXPRESSION [--var NAME=EXPRESSION ...]\n"
    "\n"
    "Prepares and evaluates EXPRESSION as a report would and prints the result's kind and value:\n"
    "INTEGER 14, FLOAT 3.5, STRING 'abc', BOOLEAN True, or ERROR <message> (exit status 1).\n"
    "Each --var adds a named expression to the expression's environment, so EXPRESSION may use\n"
    "NAME like a variable (later --var expressions may use earlier names too).\n"
    "Put -- before an EXPRESSION that starts with a minus sign followed by a non-digit.\n"
    "Example: qrptool eval \"IF(QTY > 10, PRICE * 0.9, PRICE)\" --var QTY=12 --var PRICE=2.5\n",
    RunEval};

} // namespace pagimo::tools
