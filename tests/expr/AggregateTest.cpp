// Aggregates: accumulation on aggregation passes only, kinds, reset, and a record loop over a
// data set as the report's controllers drive it.

#include "ExprTestUtil.h"

#include "expr/MemoryTable.h"

namespace pagimo::expr::test {
namespace {

// Runs one aggregation pass per value, with [V] reading the value, then returns the value.
std::string Aggregate(const std::string& text, std::vector<EvResult> values) {
    TQREvMemoryTable table("T", {"V"});
    for (auto& v : values)
        table.AppendRow({std::move(v)});
    TQREvaluator evaluator;
    evaluator.SetDataSets({&table});
    evaluator.Prepare(text);
    evaluator.Reset();
    for (std::size_t i = 0; i < table.RecordCount(); ++i) {
        table.SetRecord(i);
        evaluator.DoAggregate();
    }
    return Describe(evaluator.Value());
}

const EvResult I1 = EvResult::Int(1), I2 = EvResult::Int(2), I3 = EvResult::Int(3);

TEST(Aggregates, SumAverageCount) {
    EXPECT_EQ(Aggregate("SUM([V])", {I1, I2, I3}), "INTEGER 6");
    EXPECT_EQ(Aggregate("AVERAGE([V])", {I1, I2, I3}), "FLOAT 2");
    EXPECT_EQ(Aggregate("COUNT", {I1, I2, I3}), "INTEGER 3");
    EXPECT_EQ(Aggregate("SUM([V])", {EvResult::Float(0.5), EvResult::Float(0.25)}), "FLOAT 0.75");
    EXPECT_EQ(
        Aggregate("'Total: ' + FORMATNUMERIC('#,##0.00', SUM([V]))", {EvResult::Int(1000), EvResult::Float(234.5)}),
        "STRING 'Total: 1,234.50'");
}

TEST(Aggregates, BeforeAnyPass) {
    EXPECT_EQ(Aggregate("SUM([V])", {}), "INTEGER 0");
    EXPECT_EQ(Aggregate("MAX([V])", {}), "INTEGER 0");
    EXPECT_EQ(Aggregate("MIN([V])", {}), "INTEGER 0");
    EXPECT_EQ(Aggregate("AVERAGE([V])", {}), "FLOAT 0");
    EXPECT_EQ(Aggregate("COUNT", {}), "INTEGER 0");
}

TEST(Aggregates, SumKinds) {
    EXPECT_EQ(Aggregate("SUM([V])", {I1, EvResult::Float(2.5)}), "FLOAT 3.5")
        << "a float joining an integer total is not lost";
    EXPECT_EQ(Aggregate("SUM([V])", {EvResult::Int(2147483647), I1}), "FLOAT 2147483648") << "no wrap-around";
    EXPECT_EQ(Aggregate("SUM([V])", {EvResult::String("a")}), "ERROR Wrong arguments for SUM");
    EXPECT_EQ(Aggregate("SUM([V])", {I1, EvResult::String("a"), I2}), "ERROR Wrong arguments for SUM")
        << "an error stays until reset";
    EXPECT_EQ(Aggregate("SUM([V], 1)", {I1}), "ERROR Wrong arguments for SUM");
    EXPECT_EQ(Aggregate("SUM(1/[V])", {EvResult::Int(0)}), "ERROR Cannot divide by 0") << "errors pass their message";
    EXPECT_EQ(Aggregate("AVERAGE([V])", {EvResult::Bool(true)}), "ERROR Wrong arguments for AVERAGE");
}

TEST(Aggregates, MaxAndMinCompareAsTheKeptKind) {
    EXPECT_EQ(Aggregate("MAX([V])", {I2, I3, I1}), "INTEGER 3");
    EXPECT_EQ(Aggregate("MIN([V])", {I2, I3, I1}), "INTEGER 1");
    EXPECT_EQ(Aggregate("MAX([V])", {I2, EvResult::Float(2.5)}), "FLOAT 2.5");
    EXPECT_EQ(Aggregate("MAX([V])", {EvResult::String("b"), EvResult::String("c"), EvResult::String("a")}),
              "STRING 'c'");
    EXPECT_EQ(Aggregate("MIN([V])", {EvResult::String("ab"), EvResult::String("abc")}), "STRING 'ab'");
    EXPECT_EQ(Aggregate("MAX([V])", {EvResult::Bool(false), EvResult::Bool(true)}), "BOOLEAN True");
    EXPECT_EQ(Aggregate("MIN([V])", {EvResult::Bool(true), EvResult::Bool(false)}), "BOOLEAN False");
    EXPECT_EQ(Aggregate("MAX([V])", {I1, EvResult::String("x")}), "ERROR Wrong arguments for MAX");
    EXPECT_EQ(Aggregate("MAX([V], 1)", {I1}), "ERROR Wrong arguments for MAX");
}

TEST(Aggregates, CountTakesNoArgument) {
    EXPECT_EQ(Aggregate("COUNT(1)", {I1}), "ERROR COUNT - Too many arguments");
    EXPECT_EQ(Aggregate("COUNT()", {I1, I2}), "INTEGER 2");
    EXPECT_EQ(Aggregate("COUNT * 10", {I1, I2}), "INTEGER 20");
}

TEST(Aggregates, NormalEvaluationDoesNotAccumulateAndResetForgets) {
    TQREvMemoryTable table("T", {"V"});
    table.AppendRow({EvResult::Int(5)});
    TQREvaluator evaluator;
    evaluator.SetDataSets({&table});
    evaluator.Prepare("SUM([V]) + COUNT");
    EXPECT_TRUE(evaluator.IsAggregate());
    evaluator.Value();
    evaluator.Value();
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 0") << "values alone never accumulate";
    evaluator.DoAggregate();
    evaluator.DoAggregate();
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 12");
    evaluator.Reset();
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 0");
    evaluator.DoAggregate();
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 6");

    evaluator.Prepare("[V] * 2");
    EXPECT_FALSE(evaluator.IsAggregate());
}

TEST(Aggregates, GroupTotalsResetBetweenGroups) {
    // A controller's loop: accumulate per record, print and reset at each group footer.
    const std::vector<std::string> regions = {"N", "N", "S"};
    const double amounts[] = {10.5, 4.5, 7};
    TQREvMemoryTable table("Orders", {"Region", "Amount"});
    for (std::size_t i = 0; i < regions.size(); ++i) {
        table.AppendRow({EvResult::String(regions[i]), EvResult::Float(amounts[i])});
    }
    TQREvaluator total;
    total.SetDataSets({&table});
    total.Prepare("[Region] + ': ' + FORMATNUMERIC('0.00', SUM([Orders.Amount]))");
    total.Reset();
    std::vector<std::string> printed;
    for (std::size_t i = 0; i < regions.size(); ++i) {
        table.SetRecord(i);
        total.DoAggregate();
        if (i + 1 == regions.size() || regions[i] != regions[i + 1]) {
            printed.push_back(total.Value().StrResult);
            total.Reset();
        }
    }
    EXPECT_EQ(printed, (std::vector<std::string>{"N: 15.00", "S: 7.00"}));
}

} // namespace
} // namespace pagimo::expr::test
