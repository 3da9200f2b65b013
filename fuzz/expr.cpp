// Prepares and evaluates arbitrary text as a report expression, with a data set, an environment
// (including a self-referencing name) and aggregation passes, and formats the numeric results
// through the text's own first line used as a mask.

#include "expr/Environment.h"
#include "expr/Evaluator.h"
#include "expr/MemoryTable.h"
#include "expr/NumberFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace pagimo::expr;

namespace {

struct TFixture {
    TQREvMemoryTable Table{"Orders", {"Qty", "Price", "Name", "Paid"}};
    TQREvEnvironment Environment;
    TFixture() {
        Table.AppendRow({EvResult::Int(12), EvResult::Float(2.5), EvResult::String("Acme"), EvResult::Bool(true)});
        Table.AppendRow({EvResult::Int(-3), EvResult::Float(0), EvResult::String(""), EvResult::Bool(false)});
        Environment.Add("PAGENUMBER", "0");
        Environment.Add("REPORTTITLE", "'Title'");
        Environment.Add("LOOP", "LOOP + 1");
        Environment.Add("TWICE", "[Qty] * 2");
        Environment.SetDataSets({&Table});
        Environment.Prepare();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFixture fixture;
    const std::string text(reinterpret_cast<const char*>(data), size);
    TQREvaluator evaluator;
    evaluator.SetDataSets({&fixture.Table});
    evaluator.SetEnvironment(&fixture.Environment);
    evaluator.Prepare(text);
    evaluator.Reset();
    for (std::size_t record = 0; record < fixture.Table.RecordCount(); ++record) {
        fixture.Table.SetRecord(record);
        evaluator.DoAggregate();
    }
    const EvResult result = evaluator.Value();
    if (result.Kind != resError) (void)ResultText(result);
    if (result.IsNumeric()) (void)FormatFloat(text.substr(0, text.find('\n')), result.AsDouble(), CurrentLocale());
    (void)evaluator.IsAggregate();
    evaluator.Unprepare();
    return 0;
}
