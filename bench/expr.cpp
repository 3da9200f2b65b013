// Evaluation cost of prepared report expressions: each benchmark prepares once and evaluates a
// million times against a data set record, as a detail band does once per printed record.
// Baseline: the constant expression "1" (the evaluator's fixed cost per value).

#include "expr/Evaluator.h"
#include "expr/MemoryTable.h"

#include <benchmark/benchmark.h>

using namespace pagimo::expr;

namespace {

struct TRecordFixture {
    TQREvMemoryTable Table{"Orders", {"Qty", "Price", "Amount"}};
    TQREvaluator Evaluator;
    explicit TRecordFixture(const char* text) {
        Table.AppendRow({EvResult::Int(12), EvResult::Float(2.5), EvResult::Float(1234.5)});
        Evaluator.SetDataSets({&Table});
        Evaluator.Prepare(text);
    }
};

void Evaluate(benchmark::State& state, const char* text) {
    TRecordFixture fixture(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.Evaluator.Value());
}

void BM_Baseline_Constant(benchmark::State& state) {
    Evaluate(state, "1");
}
void BM_If_QtyPrice(benchmark::State& state) {
    Evaluate(state, "IF([Qty] > 10, [Price] * 0.9, [Price])");
}
void BM_Total_FormatNumericSum(benchmark::State& state) {
    Evaluate(state, "'Total: ' + FORMATNUMERIC('#,##0.00', SUM([Amount]))");
}

// The aggregation pass a controller runs per record, followed by the value a footer prints.
void BM_Total_AggregateAndValue(benchmark::State& state) {
    TRecordFixture fixture("'Total: ' + FORMATNUMERIC('#,##0.00', SUM([Amount]))");
    for (auto _ : state) {
        fixture.Evaluator.DoAggregate();
        benchmark::DoNotOptimize(fixture.Evaluator.Value());
    }
}

void BM_Prepare_If(benchmark::State& state) {
    TRecordFixture fixture("1");
    for (auto _ : state)
        fixture.Evaluator.Prepare("IF([Qty] > 10, [Price] * 0.9, [Price])");
}

} // namespace

BENCHMARK(BM_Baseline_Constant)->Iterations(1000000);
BENCHMARK(BM_If_QtyPrice)->Iterations(1000000);
BENCHMARK(BM_Total_FormatNumericSum)->Iterations(1000000);
BENCHMARK(BM_Total_AggregateAndValue)->Iterations(1000000);
BENCHMARK(BM_Prepare_If)->Iterations(100000);

BENCHMARK_MAIN();
