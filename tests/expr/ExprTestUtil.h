#pragma once
// Shared helpers of the expression suites: evaluate a text once, and describe a result the way
// qrptool eval prints it, so that a failing row shows kind and value together.

#include "expr/EvResult.h"
#include "expr/Evaluator.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <string>

namespace pagimo::expr::test {

inline std::string Describe(const EvResult& r) {
    switch (r.Kind) {
    case resInt:
        return "INTEGER " + std::to_string(r.IntResult);
    case resDouble: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "FLOAT %.17g", r.DblResult);
        return buffer;
    }
    case resString:
        return "STRING '" + r.StrResult + "'";
    case resBool:
        return r.BooResult ? "BOOLEAN True" : "BOOLEAN False";
    case resError:
        return "ERROR " + r.StrResult;
    }
    return "?";
}

inline EvResult Eval(const std::string& text, TQREvaluator& evaluator) {
    evaluator.Prepare(text);
    return evaluator.Value();
}

inline std::string EvalText(const std::string& text) {
    TQREvaluator evaluator;
    return Describe(Eval(text, evaluator));
}

// A table row: expression, expected description, and why the row exists.
struct TCase {
    const char* Text;
    const char* Expected;
    const char* Reason;
};

inline void CheckCases(std::initializer_list<TCase> cases) {
    for (const auto& c : cases)
        EXPECT_EQ(EvalText(c.Text), c.Expected) << c.Text << "  (" << c.Reason << ")";
}

} // namespace pagimo::expr::test
