#pragma once
// The aggregate functions SUM, COUNT, MAX, MIN and AVERAGE. Each keeps its state from one
// Restart to the next; Accumulate runs only on an aggregation pass, while a normal evaluation
// reports the state without changing it.

#include "expr/Elements.h"

namespace pagimo::expr {

// The running total shared by SUM and AVERAGE. The first value fixes integer or float; an integer
// total that meets a float value, or leaves the 32-bit range, continues as a float total.
struct TQRSumState {
    EvResult Total;
    bool HasValue = false;
    void Add(const std::vector<EvResult>& args, const char* functionName);
    void Clear() { *this = {}; }
};

class TQREvSumFunction : public TQREvElementFunction {
public:
    TQREvSumFunction() : TQREvElementFunction(true) {}
    void Restart() override { FSum.Clear(); }

protected:
    void Accumulate() override { FSum.Add(ArgList, "SUM"); }
    EvResult Compute() override { return FSum.HasValue ? FSum.Total : EvResult::Int(0); }

private:
    TQRSumState FSum;
};

class TQREvAverageFunction : public TQREvElementFunction {
public:
    TQREvAverageFunction() : TQREvElementFunction(true) {}
    void Restart() override;

protected:
    void Accumulate() override;
    EvResult Compute() override { return FAverage; }

private:
    TQRSumState FSum;
    int64_t FCount = 0;
    EvResult FAverage = EvResult::Float(0.0);
};

// MAX (FWantGreater) and MIN: the first value is kept whatever its kind; later values replace it
// when strictly greater (smaller), compared as the kept value's kind.
class TQREvMaxMinFunction : public TQREvElementFunction {
public:
    void Restart() override { FHasValue = false; }

protected:
    TQREvMaxMinFunction(bool wantGreater, const char* name)
        : TQREvElementFunction(true), FWantGreater(wantGreater), FName(name) {}
    void Accumulate() override;
    EvResult Compute() override { return FHasValue ? FResult : EvResult::Int(0); }

private:
    bool FWantGreater;
    const char* FName;
    bool FHasValue = false;
    EvResult FResult;
};

class TQREvMaxFunction : public TQREvMaxMinFunction {
public:
    TQREvMaxFunction() : TQREvMaxMinFunction(true, "MAX") {}
};

class TQREvMinFunction : public TQREvMaxMinFunction {
public:
    TQREvMinFunction() : TQREvMaxMinFunction(false, "MIN") {}
};

// COUNT takes over the whole evaluation: it accepts no argument and counts aggregation passes.
class TQREvCountFunction : public TQREvElementFunction {
public:
    TQREvCountFunction() : TQREvElementFunction(true) {}
    EvResult Value(TQRFiFo& fifo) override;
    void Restart() override { FCount = 0; }

protected:
    EvResult Compute() override { return EvResult::Int(FCount); }

private:
    int32_t FCount = 0;
};

} // namespace pagimo::expr
