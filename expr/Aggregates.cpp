#include "expr/Aggregates.h"

#include "platform/system/Errors.h"

#include <limits>

namespace pagimo::expr {

namespace {

EvResult WrongArguments(const char* functionName) {
    return EvResult::Error(FormatMessage("Wrong arguments for %s", functionName));
}

// An error argument passes its own message on; any other unfit value names the function.
EvResult Unfit(const EvResult& value, const char* functionName) {
    return value.Kind == resError ? value : WrongArguments(functionName);
}

} // namespace

void TQRSumState::Add(const std::vector<EvResult>& args, const char* functionName) {
    if (HasValue && Total.Kind == resError) return;
    if (args.size() != 1) {
        Total = WrongArguments(functionName);
        HasValue = true;
        return;
    }
    const EvResult& value = args[0];
    if (!value.IsNumeric()) {
        Total = Unfit(value, functionName);
        HasValue = true;
        return;
    }
    if (!HasValue) {
        Total = value;
        HasValue = true;
        return;
    }
    if (Total.Kind == resInt && value.Kind == resInt) {
        const int64_t sum = int64_t{Total.IntResult} + value.IntResult;
        if (sum >= std::numeric_limits<int32_t>::min() && sum <= std::numeric_limits<int32_t>::max()) {
            Total.IntResult = static_cast<int32_t>(sum);
        } else {
            Total = EvResult::Float(static_cast<double>(sum));
        }
        return;
    }
    Total = EvResult::Float(Total.AsDouble() + value.AsDouble());
}

void TQREvAverageFunction::Restart() {
    FSum.Clear();
    FCount = 0;
    FAverage = EvResult::Float(0.0);
}

void TQREvAverageFunction::Accumulate() {
    FSum.Add(ArgList, "AVERAGE");
    ++FCount;
    FAverage = FSum.Total.Kind == resError ? FSum.Total : EvResult::Float(FSum.Total.AsDouble() / FCount);
}

void TQREvMaxMinFunction::Accumulate() {
    if (FHasValue && FResult.Kind == resError) return;
    if (ArgList.size() != 1) {
        FResult = WrongArguments(FName);
        FHasValue = true;
        return;
    }
    const EvResult& value = ArgList[0];
    if (!FHasValue) {
        FResult = value;
        FHasValue = true;
        return;
    }
    if (value.Kind == resError) {
        FResult = value;
        return;
    }
    int order = 0; // sign of value compared with the kept result
    switch (FResult.Kind) {
    case resInt:
    case resDouble:
        if (!value.IsNumeric()) {
            FResult = WrongArguments(FName);
            return;
        }
        order = value.AsDouble() > FResult.AsDouble() ? 1 : value.AsDouble() < FResult.AsDouble() ? -1 : 0;
        break;
    case resString: {
        const int c = ResultText(value).compare(FResult.StrResult);
        order = c > 0 ? 1 : c < 0 ? -1 : 0;
        break;
    }
    case resBool:
        if (value.Kind != resBool) {
            FResult = WrongArguments(FName);
            return;
        }
        order = static_cast<int>(value.BooResult) - static_cast<int>(FResult.BooResult);
        break;
    case resError:
        return;
    }
    if ((FWantGreater && order > 0) || (!FWantGreater && order < 0)) {
        if (FResult.Kind == resString) {
            FResult = EvResult::String(ResultText(value));
        } else {
            FResult = value;
        }
    }
}

EvResult TQREvCountFunction::Value(TQRFiFo& fifo) {
    CollectArguments(fifo);
    if (!ArgList.empty()) {
        ArgList.clear();
        return EvResult::Error("COUNT - Too many arguments");
    }
    if (fifo.Aggregate && FCount < std::numeric_limits<int32_t>::max()) ++FCount;
    return Compute();
}

} // namespace pagimo::expr
