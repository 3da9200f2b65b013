// Operators at evaluation time: the table by kind, kind mixing and error propagation.

#include "ExprTestUtil.h"

#include "expr/Utf8.h"

namespace pagimo::expr::test {
namespace {

TEST(Operators, ArithmeticByKind) {
    CheckCases({
        {"2 + 3 * 4", "INTEGER 14", "multiplication binds tighter"},
        {"7 / 2", "FLOAT 3.5", "integer division yields a float"},
        {"6 / 3", "FLOAT 2", "even an exact quotient is a float"},
        {"7 / 0", "ERROR Cannot divide by 0", "integer divisor 0"},
        {"7.5 / 0.0", "ERROR Cannot divide by 0", "float divisor 0"},
        {"2.5 * 2", "FLOAT 5", "float meets integer: float"},
        {"1 + 2.5", "FLOAT 3.5", "integer meets float"},
        {"10 - 2.5", "FLOAT 7.5", "float difference"},
        {"3 * 4", "INTEGER 12", "integer product"},
    });
}

TEST(Operators, IntegerOverflowContinuesAsFloat) {
    CheckCases({
        {"2147483647 + 1", "FLOAT 2147483648", "a 32-bit sum that overflows does not wrap"},
        {"0 - 2147483647 - 2", "FLOAT -2147483649", "nor does a difference"},
        {"65536 * 65536", "FLOAT 4294967296", "nor a product"},
        {"2147483646 + 1", "INTEGER 2147483647", "the largest integer stays an integer"},
    });
}

TEST(Operators, StringsConcatenateAndCompareByBytes) {
    CheckCases({
        {"'ab' + 'cd'", "STRING 'abcd'", "concatenation"},
        {"1 + 'a'", "STRING '1a'", "integer meets string: both become text"},
        {"'x' + 1.5", "STRING 'x1.5'", "float text form"},
        {"'x' + TRUE", "STRING 'xTrue'", "boolean text form"},
        {"'abc' < 'abd'", "BOOLEAN True", "byte comparison"},
        {"'ab' < 'abc'", "BOOLEAN True", "a prefix is smaller"},
        {"'A' = 'a'", "BOOLEAN False", "case-sensitive"},
        {"'B' > 'a'", "BOOLEAN False", "upper case sorts before lower case"},
        {"'é' > 'z'", "BOOLEAN True", "bytes compare unsigned"},
        {"'a' <> 'a'", "BOOLEAN False", "exact equality"},
        {"'a' - 'b'", "ERROR Cannot subtract string expressions", "no string difference"},
        {"'a' * 'b'", "ERROR Cannot multiply string expressions", ""},
        {"'a' / 'b'", "ERROR Cannot divide string expressions", ""},
        {"'a' or 'b'", "ERROR Operator OR is not compatible with string expressions", ""},
        {"'a' and 'b'", "ERROR Operator AND is not compatible with string expressions", ""},
        {"1 = '1'", "BOOLEAN True", "mixed kinds compare as text"},
    });
}

TEST(Operators, BooleansAndBitwise) {
    CheckCases({
        {"1 AND 3", "INTEGER 1", "bitwise and of integers"},
        {"1 OR 2", "INTEGER 3", "bitwise or of integers"},
        {"1.5 AND 2", "ERROR Operator AND is not compatible with numeric expressions", "float operand"},
        {"1.5 OR 2", "ERROR Operator OR is not compatible with numeric expressions", ""},
        {"TRUE AND FALSE", "BOOLEAN False", ""},
        {"TRUE or FALSE", "BOOLEAN True", ""},
        {"TRUE = TRUE", "BOOLEAN True", "boolean equality"},
        {"TRUE <> FALSE", "BOOLEAN True", ""},
        {"TRUE < FALSE", "ERROR Operator < is not compatible with boolean expressions", "no boolean order"},
        {"TRUE >= FALSE", "ERROR Operator >= is not compatible with boolean expressions", ""},
        {"TRUE + TRUE", "ERROR Cannot add boolean expressions", ""},
        {"TRUE - TRUE", "ERROR Cannot subtract boolean expressions", ""},
        {"TRUE * TRUE", "ERROR Cannot multiply boolean expressions", ""},
        {"TRUE / TRUE", "ERROR Cannot divide boolean expressions", ""},
    });
}

TEST(Operators, ComparisonsOfNumbers) {
    CheckCases({
        {"1 < 2", "BOOLEAN True", ""},
        {"2 <= 2", "BOOLEAN True", ""},
        {"3 > 2.5", "BOOLEAN True", "integer against float"},
        {"2 >= 3", "BOOLEAN False", ""},
        {"2 = 2.0", "BOOLEAN True", "numeric equality across kinds"},
        {"2 <> 3", "BOOLEAN True", ""},
    });
}

TEST(Operators, ErrorsTravelAndTheLeftOneWins) {
    CheckCases({
        {"1/0 + 'x'", "ERROR Cannot divide by 0", "an error operand beats the kind mixing"},
        {"('a' - 1) + 1/0", "ERROR Cannot subtract string expressions", "left error first"},
        {"(1/0) = (1/0)", "ERROR Cannot divide by 0", "comparison of errors is an error"},
    });
}

TEST(Operators, BothOperandsAreAlwaysEvaluated) {
    // No short cut: an aggregate on the right of a false AND still accumulates.
    TQREvaluator evaluator;
    evaluator.Prepare("IF(FALSE, COUNT, COUNT)");
    evaluator.DoAggregate();
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 1") << "the branch not chosen counted too";
}

TEST(Operators, LongTextIsWholeUpToTheBoundAndCutThereOnACharacterWithTheCutFlagged) {
    const std::size_t bound = MaxResultBytes;
    struct TRow {
        std::string Left, Right;
        std::size_t Size; // of the result
        bool Cut;
        const char* Reason;
    } rows[] = {
        {std::string(919, 'a'), std::string(1100, 'b'), 2019, false, "far beyond the old 255 bytes"},
        {std::string(bound - 100, 'a'), std::string(200, 'b'), bound, true, "a join over the bound is cut"},
        {std::string(bound - 1, 'x'), "ž", bound - 1, true, "the two-byte letter goes whole, never halved"},
        {std::string(bound - 1, 'x'), "\xED\xA0\x80", bound, true, "an encoded surrogate is no character"},
    };
    TQREvaluator evaluator;
    for (const TRow& row : rows) {
        const EvResult r = Eval("'" + row.Left + "' + '" + row.Right + "'", evaluator);
        ASSERT_EQ(r.Kind, resString) << row.Reason;
        EXPECT_EQ(r.StrResult.size(), row.Size) << row.Reason;
        EXPECT_EQ(r.Cut, row.Cut) << row.Reason;
    }
    // The flag travels through a further join, so whoever prints the value can say so.
    EXPECT_TRUE(Eval("'" + std::string(bound + 5, 'q') + "' + 'z'", evaluator).Cut);
}

} // namespace
} // namespace pagimo::expr::test
