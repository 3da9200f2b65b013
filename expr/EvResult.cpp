#include "expr/EvResult.h"

#include "expr/Locale.h"
#include "expr/NumberFormat.h"
#include "expr/Utf8.h"
#include "platform/system/Errors.h"

namespace pagimo::expr {

EvResult EvResult::Int(int32_t value) {
    EvResult r;
    r.Kind = resInt;
    r.IntResult = value;
    return r;
}

EvResult EvResult::Float(double value) {
    EvResult r;
    r.Kind = resDouble;
    r.DblResult = value;
    return r;
}

EvResult EvResult::String(std::string text) {
    EvResult r;
    r.Kind = resString;
    r.StrResult = std::move(text);
    r.Cut = CutToResultLength(r.StrResult);
    return r;
}

EvResult EvResult::Bool(bool value) {
    EvResult r;
    r.Kind = resBool;
    r.BooResult = value;
    return r;
}

EvResult EvResult::Error(std::string message) {
    EvResult r;
    r.Kind = resError;
    r.StrResult = std::move(message);
    CutToResultLength(r.StrResult);
    return r;
}

std::string ResultText(const EvResult& result) {
    switch (result.Kind) {
    case resInt:
        return std::to_string(result.IntResult);
    case resDouble:
        return FloatToStrGeneral(result.DblResult, CurrentLocale());
    case resString:
        return result.StrResult;
    case resBool:
        return result.BooResult ? "True" : "False";
    case resError:
        break;
    }
    throw EQRError(FormatMessage("Error in expression : %s", result.StrResult));
}

const char* ResultKindName(TQREvResultType kind) {
    switch (kind) {
    case resInt:
        return "INTEGER";
    case resDouble:
        return "FLOAT";
    case resString:
        return "STRING";
    case resBool:
        return "BOOLEAN";
    case resError:
        return "ERROR";
    }
    return "ERROR";
}

bool operator==(const EvResult& a, const EvResult& b) {
    if (a.Kind != b.Kind) return false;
    switch (a.Kind) {
    case resInt:
        return a.IntResult == b.IntResult;
    case resDouble:
        return a.DblResult == b.DblResult;
    case resBool:
        return a.BooResult == b.BooResult;
    case resString:
    case resError:
        return a.StrResult == b.StrResult;
    }
    return false;
}

} // namespace pagimo::expr
