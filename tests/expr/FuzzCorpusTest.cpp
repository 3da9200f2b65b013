// The fuzz target's seed corpus replayed as an ordinary test: every stored input prepares,
// aggregates and evaluates to a value or an error result, never an exception or a crash.

#include "ExprTestUtil.h"

#include "expr/MemoryTable.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace pagimo::expr::test {
namespace {

TEST(FuzzCorpus, EveryStoredInputEvaluates) {
    const std::filesystem::path folder = PAGIMO_SOURCE_DIR "/fuzz/corpus/expr";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    TQREvMemoryTable table("Orders", {"Qty", "Price", "Name", "Paid"});
    table.AppendRow({EvResult::Int(12), EvResult::Float(2.5), EvResult::String("Acme"), EvResult::Bool(true)});
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        TQREvaluator evaluator;
        evaluator.SetDataSets({&table});
        EXPECT_NO_THROW({
            evaluator.Prepare(text.str());
            evaluator.DoAggregate();
            evaluator.Value();
        }) << entry.path();
        ++count;
    }
    EXPECT_GT(count, 0);
}

} // namespace
} // namespace pagimo::expr::test
