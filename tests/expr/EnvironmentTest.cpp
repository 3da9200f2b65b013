// Named expressions: the report's environment, the global one, live constants, recursion, and
// how names resolve to data fields before environments.

#include "ExprTestUtil.h"

#include "expr/Environment.h"
#include "expr/MemoryTable.h"

namespace pagimo::expr::test {
namespace {

std::string EvalIn(TQREvEnvironment& environment, const std::string& text) {
    TQREvaluator evaluator;
    evaluator.SetEnvironment(&environment);
    return Describe(Eval(text, evaluator));
}

TEST(Environment, NamesResolveIgnoringCase) {
    TQREvEnvironment env;
    env.Add("Rate", "0.25");
    env.Add("net", "100");
    env.Prepare();
    EXPECT_EQ(env.Name(0), "RATE") << "stored upper-cased";
    EXPECT_TRUE(env.Contains("rate"));
    EXPECT_FALSE(env.Contains("rat"));
    EXPECT_EQ(EvalIn(env, "NET * rate"), "FLOAT 25");
    EXPECT_EQ(EvalIn(env, "[Net] + [RATE]"), "FLOAT 100.25") << "in brackets too";
    EXPECT_EQ(Describe(env.Value("rAtE")), "FLOAT 0.25");
    EXPECT_EQ(Describe(env.Value("none")), "ERROR ");
}

TEST(Environment, AddKeepsTheFirstExpression) {
    TQREvEnvironment env;
    env.Add("X", "1");
    env.Add("x", "2");
    env.Prepare();
    EXPECT_EQ(env.Count(), 1u);
    EXPECT_EQ(Describe(env.Value("X")), "INTEGER 1");
}

TEST(Environment, EntriesUseEachOther) {
    TQREvEnvironment env;
    env.Add("A", "2");
    env.Add("B", "A * 10");
    env.Prepare();
    EXPECT_EQ(EvalIn(env, "B + A"), "INTEGER 22");
    env.Add("C", "B + 1");
    EXPECT_EQ(EvalIn(env, "C"), "INTEGER 21") << "an entry added to a prepared environment is prepared at once";
}

TEST(Environment, RecursionIsAnErrorNotAStackOverflow) {
    TQREvEnvironment env;
    env.Add("SELF", "SELF + 1");
    env.Add("PING", "PONG");
    env.Add("PONG", "PING");
    env.Prepare();
    EXPECT_EQ(EvalIn(env, "SELF"), "ERROR Recursive calls not allowed");
    EXPECT_EQ(EvalIn(env, "PING"), "ERROR Recursive calls not allowed");
    EXPECT_EQ(Describe(env.Value("PONG")), "ERROR Recursive calls not allowed");
    EXPECT_EQ(EvalIn(env, "SELF"), "ERROR Recursive calls not allowed") << "the flag is cleared after each evaluation";
}

TEST(Environment, LongChainsOfNamesAreBounded) {
    const auto name = [](int i) {
        std::string text = "A";
        text += std::to_string(i);
        return text;
    };
    TQREvEnvironment env;
    env.Add("A0", "1");
    for (int i = 1; i <= 1000; ++i)
        env.Add(name(i), name(i - 1) + " + 1");
    env.Prepare();
    EXPECT_EQ(EvalIn(env, "A100"), "INTEGER 101");
    EXPECT_EQ(EvalIn(env, "A1000"), "ERROR Expression nested too deeply") << "an error, not a stack overflow";
    EXPECT_EQ(EvalIn(env, "A100"), "INTEGER 101") << "the chain depth is released after an error";
}

TEST(Environment, UnknownNamesAndDeletedEntries) {
    TQREvEnvironment env;
    env.Add("Gone", "1");
    env.Prepare();
    TQRFiFo fifo;
    EXPECT_EQ(Describe(env.Element("Missing")->Value(fifo)), "ERROR Unknown function : Missing");
    TQREvaluator evaluator;
    evaluator.SetEnvironment(&env);
    evaluator.Prepare("GONE + 1");
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 2");
    env.Delete("gone");
    EXPECT_EQ(env.Count(), 0u);
    EXPECT_EQ(Describe(evaluator.Value()), "ERROR Unknown function : GONE")
        << "an expression still prepared on a deleted entry does not dangle";
    env.Delete("never there");
}

TEST(Environment, PrepareAndUnprepareNest) {
    TQREvEnvironment env;
    env.Add("X", "1");
    env.Prepare();
    env.Prepare();
    env.Unprepare();
    EXPECT_TRUE(env.Prepared());
    EXPECT_EQ(Describe(env.Value("X")), "INTEGER 1");
    env.Unprepare();
    EXPECT_FALSE(env.Prepared());
    EXPECT_EQ(Describe(env.Value("X")), "ERROR Evaluator not prepared") << "an error result, not an exception";
    env.Unprepare();
    EXPECT_FALSE(env.Prepared()) << "a surplus unprepare is harmless";
}

TEST(Environment, LiveConstantsAsAReportRunsThem) {
    TQREvEnvironment functions;
    functions.ReadData({"PAGENUMBER", "COLUMNNUMBER", "REPORTTITLE"}, {"0", "0", "''"});
    functions.Prepare();
    TQREvElement* page = functions.Constant("PageNumber");
    TQREvElement* title = functions.Constant("REPORTTITLE");
    ASSERT_NE(page, nullptr);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(functions.Constant("NOPE"), nullptr);
    TQREvEnvironment::SetStringConstant(title, "Sales");

    TQREvaluator footer;
    footer.SetEnvironment(&functions);
    footer.Prepare("REPORTTITLE + ' - page ' + PAGENUMBER");
    for (int n = 1; n <= 3; ++n) {
        TQREvEnvironment::SetIntegerConstant(page, n);
        EXPECT_EQ(Describe(footer.Value()), "STRING 'Sales - page " + std::to_string(n) + "'");
    }
    TQREvEnvironment::SetConstant(page, EvResult::Float(1.5));
    EXPECT_EQ(Describe(footer.Value()), "STRING 'Sales - page 1.5'");
    TQREvEnvironment::SetIntegerConstant(title, 7);
    TQREvEnvironment::SetConstant(title, EvResult::Int(7));
    EXPECT_EQ(Describe(functions.Value("REPORTTITLE")), "STRING 'Sales'") << "a string constant takes only strings";

    functions.Unprepare();
    EXPECT_EQ(functions.Constant("PAGENUMBER"), nullptr) << "no constant while unprepared";
}

TEST(Environment, StoredFormPairsNamesWithExpressions) {
    TQREvEnvironment env;
    env.ReadData({"A", "B", "C"}, {"1", "'x'"});
    ASSERT_EQ(env.Count(), 2u);
    EXPECT_EQ(env.Name(1), "B");
    EXPECT_EQ(env.Expression(1), "'x'");
    env.Clear();
    EXPECT_EQ(env.Count(), 0u);
}

TEST(Environment, GlobalEnvironmentHasStartValues) {
    EXPECT_EQ(EvalText("TYPEOF(AppStartTime) + TYPEOF(AppStartDate)"), "STRING 'STRINGSTRING'");
    EXPECT_EQ(EvalText("AppName"), "STRING 'test_expr'") << "the program's name before it sets a title";
    TQREvEnvironment report;
    report.Add("AppName", "'Mine'");
    report.Prepare();
    EXPECT_EQ(EvalIn(report, "APPNAME"), "STRING 'Mine'") << "the report's names come first";
}

TEST(DataFields, FieldsResolveBeforeEnvironmentNames) {
    TQREvMemoryTable customers("Customers", {"Name", "Id"});
    TQREvMemoryTable orders("Orders", {"Id", "Qty", "Price"});
    customers.AppendRow({EvResult::String("Acme"), EvResult::Int(7)});
    orders.AppendRow({EvResult::Int(100), EvResult::Int(12), EvResult::Float(2.5)});
    orders.AppendRow({EvResult::Int(101), EvResult::Int(3), EvResult::Float(4)});
    TQREvEnvironment env;
    env.Add("Qty", "999");
    env.Add("Discount", "0.9");
    env.Prepare();

    TQREvaluator evaluator;
    evaluator.SetDataSets({&customers, &orders});
    evaluator.SetEnvironment(&env);
    EXPECT_EQ(Describe(Eval("[Id]", evaluator)), "INTEGER 7") << "without a table the first data set that has it wins";
    EXPECT_EQ(Describe(Eval("[orders.ID]", evaluator)), "INTEGER 100") << "table and field ignore case";
    EXPECT_EQ(Describe(Eval("Qty", evaluator)), "INTEGER 12") << "a field hides an environment name";
    EXPECT_EQ(Describe(Eval("[Customers.Qty]", evaluator)), "ERROR Unknown function : Customers.Qty")
        << "a field missing from the named table is not taken from another one";
    evaluator.Prepare("IF([Qty] > 10, [Price] * Discount, [Price])");
    EXPECT_EQ(Describe(evaluator.Value()), "FLOAT 2.25");
    orders.SetRecord(1);
    EXPECT_EQ(Describe(evaluator.Value()), "FLOAT 4") << "fields read the current record";
    EXPECT_EQ(Describe(Eval("[Nobody.Name]", evaluator)), "ERROR Unknown function : Nobody.Name");
}

} // namespace
} // namespace pagimo::expr::test
