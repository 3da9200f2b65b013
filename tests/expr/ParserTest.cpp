// The splitting parser: levels, right grouping with the sign swap, factors, literals, the
// awkward texts authors really type, and hostile input.

#include "ExprTestUtil.h"

#include "expr/Locale.h"

namespace pagimo::expr::test {
namespace {

TEST(Parser, AdditionGroupsFromTheRightWithSignSwap) {
    CheckCases({
        {"10 - 4 + 3", "INTEGER 9", "a - b + c computed as a - (b - c)"},
        {"10 - 4 - 3", "INTEGER 3", "a - b - c computed as a - (b + c)"},
        {"1 + 2 - 3 + 4", "INTEGER 4", "swap happens only right of the minus"},
        {"10 - (4 + 3)", "INTEGER 3", "parenthesised signs are not swapped"},
        {"10 - '+' + 'x'", "ERROR Cannot subtract string expressions", "signs inside quotes are not swapped"},
        {"5--3", "INTEGER 8", "the sign of a number is not an operator to swap"},
        {"5-+3", "INTEGER 2", "nor is a plus sign"},
        {"10 - [a-b]", "ERROR Unknown function : a-b", "a bracketed name keeps its minus"},
        {"-(-5)", "INTEGER 5", "double negation"},
        {"--5", "ERROR Illegal character in numeric contant \"0-\"", "the second sign is an operator: - then -5"},
    });
}

TEST(Parser, MultiplicationGroupsFromTheRightWithSwap) {
    CheckCases({
        {"12 / 3 * 2", "FLOAT 8", "a / b * c computed as a / (b / c)"},
        {"12 / 3 / 2", "FLOAT 2", "a / b / c computed as a / (b * c)"},
        {"2 * 3 / 4", "FLOAT 1.5", ""},
        {"2 + 3 * 4 - 1", "INTEGER 13", "levels mix"},
    });
}

TEST(Parser, UnaryMinusIsZeroMinusTheRest) {
    CheckCases({
        {"-2*3", "INTEGER -6", "read as 0-(2*3)"},
        {"-2 + 3", "INTEGER 1", "the leading sign is never an operator"},
        {"-2.5", "FLOAT -2.5", ""},
        {"+7", "INTEGER 7", "plus sign is dropped"},
        {"-'a'", "ERROR Cannot subtract string expressions", "0 - 'a'"},
        {"(-3) * 2", "INTEGER -6", ""},
        {"5 - -3",
         "ERROR Error in expression : ", "a sign after a spaced operator splits there: the language has no such form"},
    });
}

TEST(Parser, OneComparisonPerLevel) {
    CheckCases({
        {"IF(1 < 2, 'y', 'n')", "STRING 'y'", "a comparison inside an argument is parsed on its own"},
        {"(1 < 2) = TRUE", "BOOLEAN True", "a parenthesised comparison too"},
        {"1 + 1 = 2", "BOOLEAN True", "comparison splits before addition"},
        {"1 <> 2", "BOOLEAN True", "two-character operators"},
        {"1 <= 1", "BOOLEAN True", ""},
        {"2 >= 3", "BOOLEAN False", ""},
        {"1 < 2 < 3", "ERROR Illegal character in numeric contant \"2 < 3\"",
         "the second comparison lands in a factor"},
    });
}

TEST(Parser, WordOperatorsNeedSpacesAroundThem) {
    CheckCases({
        {"TRUE or FALSE", "BOOLEAN True", ""},
        {"TRUE OR FALSE", "BOOLEAN True", "any case"},
        {"FALSE Or FALSE", "BOOLEAN False", ""},
        {"TRUE and FALSE", "BOOLEAN False", ""},
        {"1 = 1 and 2 = 2", "ERROR Illegal character in numeric contant \"2 = 2\"",
         "one comparison per level: the second one ends up inside a factor"},
        {"(1 = 1) and (2 = 2)", "BOOLEAN True", "parenthesised conditions"},
        {"1 + 2 or 4", "INTEGER 7", "OR groups with + and - from the right: 1 + (2 or 4)"},
    });
}

TEST(Parser, NotIsAPrefixOfAnyFactor) {
    CheckCases({
        {"NOT TRUE", "BOOLEAN False", ""},
        {"not (1 = 2)", "BOOLEAN True", ""},
        {"NOT 1", "ERROR Invalid use of NOT", "only booleans negate"},
        {"NOT TRUE and FALSE", "BOOLEAN False", "NOT takes the factor, AND the rest"},
        {"NOTE", "ERROR Unknown function : E", "a bare name that starts with not is read as NOT E"},
        {"NOTTRUE", "BOOLEAN False", "no space needed after NOT"},
        {"[NOTE]", "ERROR Unknown function : NOTE", "brackets make it a name"},
    });
}

TEST(Parser, Literals) {
    CheckCases({
        {"'abc'", "STRING 'abc'", ""},
        {"''", "STRING ''", "empty string"},
        {"'a''b'", "STRING 'a''b'", "no escape: the text between the outer quotes"},
        {"'a,b'", "STRING 'a,b'", ""},
        {"", "STRING ' '", "an empty expression is a string of one space"},
        {"   ", "ERROR Error in expression : ", "only spaces"},
        {"42", "INTEGER 42", ""},
        {"007", "INTEGER 7", ""},
        {"3.25", "FLOAT 3.25", ""},
        {"1.5E3", "FLOAT 1500", "exponent without sign"},
        {"2e2", "FLOAT 200", "lower-case exponent"},
        {"1.5E+3", "ERROR Illegal character in numeric contant \"1.5E\"", "the exponent's sign splits the text"},
        {"2E-3", "ERROR Illegal character in numeric contant \"2E\"", ""},
        {"2147483647", "INTEGER 2147483647", "largest 32-bit integer"},
        {"2147483648", "FLOAT 2147483648", "too large for 32 bits: float"},
        {"99999999999999999999", "FLOAT 1e+20", ""},
        {"1e400", "ERROR Illegal character in numeric contant \"1e400\"", "float out of range"},
        {"12abc", "ERROR Illegal character in numeric contant \"12abc\"", ""},
        {"1..2", "ERROR Illegal character in numeric contant \"1..2\"", ""},
    });
}

TEST(Parser, FloatLiteralsIgnoreTheLocaleButTextFormUsesIt) {
    const TQRLocale czech{.DecimalSeparator = ",", .ThousandSeparator = "\xC2\xA0"};
    TScopedLocale scope(czech);
    CheckCases({
        {"1.5 * 2", "FLOAT 3", "the literal's point is the decimal point"},
        {"STR(2.5)", "STRING '2,5'", "conversions to text use the locale's separator"},
        {"'x' + 0.5", "STRING 'x0,5'", ""},
        {"1,5", "ERROR Illegal character in numeric contant \"1,5\"", "a comma is not a decimal point"},
    });
}

TEST(Parser, UnclosedAndStrayCharacters) {
    CheckCases({
        {"'abc", "ERROR Missing '", "unclosed quote"},
        {"'", "ERROR Missing '", "a single quote"},
        {"(1 + 2", "ERROR Missing )", "unclosed parenthesis"},
        {"IF(TRUE, 1, 2", "ERROR Missing )", "unclosed argument list"},
        {"[Amount", "ERROR Missing ]", "unclosed bracket"},
        {"1 +", "ERROR Illegal character in numeric contant \"1 +\"", "the last character is never an operator"},
        {"* 2", "ERROR Error in expression : * 2", "operator at the first character"},
        {"#", "ERROR Error in expression : #", ""},
        {"1 + $", "ERROR Error in expression : $", ""},
        {"(1 + 2))", "ERROR Illegal character in numeric contant \"2)\"", "surplus parenthesis"},
    });
}

TEST(Parser, FunctionCallsAndArguments) {
    CheckCases({
        {"if(TRUE, 1, 2)", "INTEGER 1", "names ignore case"},
        {"Upper('a')", "STRING 'A'", ""},
        {"TRUE", "BOOLEAN True", "a function without parentheses"},
        {"TRUE()", "BOOLEAN True", "empty argument text gives no argument"},
        {"IF(TRUE, 'a,b', 'c')", "STRING 'a,b'", "commas inside quotes do not split"},
        {"IF(TRUE, COPY('abc', 1, 2), 'c')", "STRING 'ab'", "commas inside parentheses do not split"},
        {"TYPEOF(1,)", "STRING 'ERROR'", "a last comma does not split: one (malformed) argument"},
        {"IF(TRUE, -1, 1)", "ERROR Error in expression : ", "a sign after a space is an operator, even in arguments"},
        {"IF(TRUE,-1, 1)", "INTEGER -1", "written without the space it is a sign"},
        {"IF(TRUE,, 1)", "ERROR Error in expression : ", "an empty argument among others"},
        {"NOSUCH(1)", "ERROR Unknown function : NOSUCH", "unregistered name"},
        {"nosuch", "ERROR Unknown function : nosuch", "bare unknown name: no variable of that name"},
        {"IF (TRUE, 1, 2)", "ERROR Unknown function : IF ", "the name is everything before the parenthesis"},
    });
}

TEST(Parser, DeepNestingBecomesAnErrorNotACrash) {
    for (int depth : {10, 100, 1000, 100000}) {
        const std::string text = std::string(depth, '(') + "1" + std::string(depth, ')');
        const std::string result = EvalText(text);
        if (depth <= 100) {
            EXPECT_EQ(result, "INTEGER 1") << depth;
        } else {
            EXPECT_EQ(result, "ERROR Expression nested too deeply") << depth;
        }
    }
    std::string sum = "1";
    for (int i = 0; i < 20000; ++i)
        sum += "+1";
    EXPECT_EQ(EvalText(sum), "ERROR Expression nested too deeply");
    std::string nots;
    for (int i = 0; i < 20000; ++i)
        nots += "NOT ";
    EXPECT_EQ(EvalText(nots + "TRUE"), "ERROR Expression nested too deeply");
    std::string signs;
    for (int i = 0; i < 20000; ++i)
        signs += "-(";
    EXPECT_EQ(EvalText(signs + "1" + std::string(20000, ')')), "ERROR Expression nested too deeply");
}

TEST(Parser, LongButFlatArgumentListsAreFine) {
    std::string text = "STR(1";
    for (int i = 0; i < 5000; ++i)
        text += ",1";
    EXPECT_EQ(EvalText(text + ")"), "ERROR Conversion error");
}

TEST(Parser, EvaluatorLifecycle) {
    TQREvaluator evaluator;
    EXPECT_FALSE(evaluator.Prepared());
    EXPECT_THROW(evaluator.Value(), EQRError);
    try {
        evaluator.Value();
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Evaluator not prepared");
    }
    evaluator.Prepare("1 + 1");
    EXPECT_TRUE(evaluator.Prepared());
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 2");
    EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 2") << "evaluating again rewinds";
    evaluator.Prepare("'b'");
    EXPECT_EQ(Describe(evaluator.Value()), "STRING 'b'") << "preparing again replaces the expression";
    evaluator.Unprepare();
    EXPECT_FALSE(evaluator.Prepared());
    EXPECT_THROW(evaluator.DoAggregate(), EQRError);
}

TEST(Parser, ErrorTextFormRaises) {
    EXPECT_EQ(ResultText(EvResult::Int(-5)), "-5");
    EXPECT_EQ(ResultText(EvResult::Bool(false)), "False");
    try {
        ResultText(EvResult::Error("Cannot divide by 0"));
        FAIL() << "an error has no text form";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Error in expression : Cannot divide by 0");
    }
}

} // namespace
} // namespace pagimo::expr::test
