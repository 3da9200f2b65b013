// The function library and the built-in functions other than the aggregates.

#include "ExprTestUtil.h"

#include "expr/FunctionLibrary.h"
#include "expr/Locale.h"

namespace pagimo::expr::test {
namespace {

TEST(FunctionLibrary, BuiltInsInRegistrationOrderWithCodes) {
    const auto& entries = QRFunctionLibrary().Entries();
    const char* expected[][2] = {
        {"IF", "5BVV"},    {"STR", "7N"},    {"UPPER", "7S"},
        {"LOWER", "7S"},   {"PRETTY", "7S"}, {"TIME", "1"},
        {"DATE", "1"},     {"COPY", "7SNN"}, {"SUM", "3N"},
        {"COUNT", "3"},    {"MAX", "3V"},    {"MIN", "3V"},
        {"AVERAGE", "3N"}, {"TRUE", "5"},    {"FALSE", "5"},
        {"INT", "2N"},     {"FRAC", "2N"},   {"SQRT", "2N"},
        {"DIV", "2NN"},    {"TYPEOF", "6N"}, {"FORMATNUMERIC", "7SN"},
    };
    ASSERT_GE(entries.size(), 21u);
    for (std::size_t i = 0; i < 21; ++i) {
        EXPECT_EQ(entries[i].Name, expected[i][0]) << i;
        EXPECT_EQ(entries[i].Data, expected[i][1]) << entries[i].Name;
        EXPECT_FALSE(entries[i].Vendor.empty());
    }
    EXPECT_EQ(entries[0].Description,
              "IF(<Exp>, <X>, <Y>)|Returns <X> or <Y> depending on the boolean expression <Exp>");
    EXPECT_EQ(entries[18].Description, "DIV(<X>, <Y>) | Integer division of <X> by <Y>") << "no second bar for DIV";
    EXPECT_EQ(entries[5].Description, "TIME|Return current time as a string");
    EXPECT_STREQ(FunctionGroups[entries[8].Data[0] - '0'], "Statistical");
}

TEST(FunctionLibrary, LookupIgnoresCaseAndReportsUnknownNames) {
    EXPECT_NE(QRFunctionLibrary().Find("formatNumeric"), nullptr);
    EXPECT_EQ(QRFunctionLibrary().Find("FORMAT"), nullptr);
    auto element = QRFunctionLibrary().GetFunction("Nope");
    TQRFiFo fifo;
    EXPECT_EQ(Describe(element->Value(fifo)), "ERROR Unknown function : Nope");
    EXPECT_TRUE(QRFunctionLibrary().GetFunction("sum")->IsAggregate());
    EXPECT_FALSE(QRFunctionLibrary().GetFunction("if")->IsAggregate());
}

TEST(FunctionLibrary, RegisteredFunctionIsCallable) {
    class TTwice : public TQREvElementFunction {
    protected:
        EvResult Compute() override {
            if (ArgList.size() != 1 || ArgList[0].Kind != resInt) return EvResult::Error("Wrong arguments for TWICE");
            return EvResult::Int(ArgList[0].IntResult * 2);
        }
    };
    if (!QRFunctionLibrary().Find("TWICE")) {
        RegisterQRFunction([] { return std::make_unique<TTwice>(); }, "TWICE", "TWICE(<X>)|Doubles <X>", "Tests", "7N");
    }
    EXPECT_EQ(EvalText("twice(21) + 1"), "INTEGER 43");
    EXPECT_EQ(EvalText("TWICE('a')"), "ERROR Wrong arguments for TWICE");
}

TEST(Functions, If) {
    CheckCases({
        {"IF(TRUE, 1, 'a')", "INTEGER 1", "the chosen branch passes on unchanged"},
        {"IF(FALSE, 1, 'a')", "STRING 'a'", ""},
        {"IF(1, 2, 3)", "ERROR Wrong arguments for IF", "the condition must be boolean"},
        {"IF(TRUE, 1)", "ERROR Wrong arguments for IF", "three arguments"},
        {"IF(TRUE, 1, 1/0)", "INTEGER 1", "the other branch's error does not matter"},
        {"IF(1 > 0, IF(2 > 1, 'a', 'b'), 'c')", "STRING 'a'", "nested"},
    });
}

TEST(Functions, StrAndTypeOf) {
    CheckCases({
        {"STR(TRUE)", "STRING 'True'", ""},
        {"STR(42)", "STRING '42'", ""},
        {"STR(0.1 + 0.2)", "STRING '0.3'", "15 significant digits"},
        {"STR(1/3)", "STRING '0.333333333333333'", ""},
        {"STR(1E20)", "STRING '1E20'", "large floats in scientific form"},
        {"STR('a')", "ERROR Conversion error", "a string is not converted"},
        {"STR(1, 2)", "ERROR Conversion error", ""},
        {"TYPEOF(1.5)", "STRING 'FLOAT'", ""},
        {"TYPEOF(1)", "STRING 'INTEGER'", ""},
        {"TYPEOF('')", "STRING 'STRING'", ""},
        {"TYPEOF(TRUE)", "STRING 'BOOLEAN'", ""},
        {"TYPEOF(1/0)", "STRING 'ERROR'", "an error is a kind too"},
        {"TYPEOF()", "ERROR Wrong arguments for TypeOf", ""},
    });
}

TEST(Functions, CaseMapping) {
    CheckCases({
        {"UPPER('abc')", "STRING 'ABC'", ""},
        {"LOWER('ABC')", "STRING 'abc'", ""},
        {"UPPER('příliš žluťoučký')", "STRING 'PŘÍLIŠ ŽLUŤOUČKÝ'", "non-English letters"},
        {"PRETTY('hELLO wORLD')", "STRING 'Hello world'", ""},
        {"PRETTY('šUMAVA')", "STRING 'Šumava'", "a two-byte first character stays whole"},
        {"PRETTY('')", "STRING ''", ""},
        {"UPPER(1)", "ERROR ", "another kind: an error carrying the argument's (empty) message"},
        {"UPPER(1/0)", "ERROR Cannot divide by 0", "an error argument passes its message on"},
        {"LOWER()", "ERROR Missing argument for LOWER", ""},
        {"PRETTY('a', 'b')", "ERROR Missing argument for PRETTY", ""},
    });
}

TEST(Functions, Copy) {
    CheckCases({
        {"COPY('abcdef', 0, 2)", "STRING 'ab'", "position 0 counts as 1"},
        {"COPY('abcdef', 3, 2)", "STRING 'cd'", ""},
        {"COPY('abc', 2, 10)", "STRING 'bc'", "clipped at the end"},
        {"COPY('abc', 4, 1)", "STRING ''", "beyond the end"},
        {"COPY('abc', 1, 0)", "STRING ''", ""},
        {"COPY('abc', 1, 0-1)", "STRING ''", "negative length"},
        {"COPY('abc', 1.0, 2)", "ERROR ", "float positions are not accepted"},
        {"COPY(1, 1, 1)", "ERROR ", ""},
        // Positions and lengths count characters, not bytes.
        {"COPY('Žofie', 1, 1)", "STRING 'Ž'", "a two-byte first letter"},
        {"COPY('Přehled', 1, 2)", "STRING 'Př'", ""},
        {"COPY('Přehled', 3, 10)", "STRING 'ehled'", ""},
        {"UPPER(COPY('žluťoučký kůň', 11, 3))", "STRING 'KŮŇ'", ""},
    });
}

TEST(Functions, AddedFunctionsWithTheirEdgeCases) {
    CheckCases({
        {"ROUND(2.675, 2)", "FLOAT 2.6800000000000002", "as written, although the double lies below"},
        {"ROUND(0-2.5)", "FLOAT -3", "halves away from zero"},
        {"ROUND(1234.5678, 0-2)", "FLOAT 1200", "negative digits round to hundreds"},
        {"ROUND(7, 2)", "INTEGER 7", "an integer stays one"},
        {"ROUND('7', 2)", "ERROR Wrong arguments for ROUND", ""},
        {"MOD(7, 3)", "INTEGER 1", ""},
        {"MOD(0-7, 3)", "INTEGER -1", "the sign of the dividend"},
        {"MOD(7.5, 2)", "INTEGER 0", "8 mod 2: floats round half to even, as DIV"},
        {"MOD(1, 0)", "ERROR Division by Zero", ""},
        {"LENGTH('Přehled')", "INTEGER 7", "characters, not bytes"},
        {"LENGTH('')", "INTEGER 0", ""},
        {"LENGTH(12)", "ERROR Wrong arguments for LENGTH", ""},
        {"TRIM('  Žofie ')", "STRING 'Žofie'", ""},
        {"TRIM('   ')", "STRING ''", ""},
        {"POS('h', 'Přehled')", "INTEGER 4", "the character position after a two-byte letter"},
        {"POS('x', 'Přehled')", "INTEGER 0", ""},
        {"POS('', 'abc')", "INTEGER 0", "an empty text is found nowhere"},
        {"FORMATDATETIME('d.m.yyyy', '2024-03-05')", "STRING '5.3.2024'", "a date text"},
        {"FORMATDATETIME('dd/mm/yy hh:nn', 45356.75)", "STRING '05/03/24 18:00'", "a day count with its time"},
        {"FORMATDATETIME('hh:mm:ss', '2024-03-05 07:08:09')", "STRING '07:08:09'", "mm after hh is minutes"},
        {"FORMATDATETIME('yyyy-mm-dd', 0)", "STRING '1899-12-30'", "day 0"},
        {"FORMATDATETIME('\"Day\" d', '2024-02-29')", "STRING 'Day 29'", "a quoted literal"},
        {"FORMATDATETIME('dd.mm.yyyy', '2024-02-30')", "ERROR Not a date: 2024-02-30", "no such day"},
        {"FORMATDATETIME('dd', TRUE)", "ERROR Not a date: True", ""},
        {"TOTALPAGES", "INTEGER 0", "outside a report run"},
    });
}

TEST(Functions, BooleansAndNumbers) {
    CheckCases({
        {"TRUE(1)", "ERROR Too many arguments", ""},
        {"FALSE", "BOOLEAN False", ""},
        {"INT(3.9)", "INTEGER 3", "truncated"},
        {"INT(-3.9)", "INTEGER -3", "toward zero"},
        {"INT(7)", "INTEGER 7", ""},
        {"INT('7')", "ERROR Wrong arguments for INT", ""},
        {"INT(1E20)", "ERROR Wrong arguments for INT", "does not fit 32 bits"},
        {"FRAC(3.25)", "FLOAT 0.25", ""},
        {"FRAC(-3.25)", "FLOAT -0.25", "sign kept"},
        {"FRAC(3)", "FLOAT 0", ""},
        {"FRAC('x')", "ERROR ", ""},
        {"SQRT(16)", "FLOAT 4", ""},
        {"SQRT(2.25)", "FLOAT 1.5", ""},
        {"SQRT(-1)", "ERROR Invalid argument to SQRT function", ""},
        {"SQRT('a')", "ERROR Invalid argument to SQRT function", ""},
        {"DIV(7, 2)", "INTEGER 3", ""},
        {"DIV(-7, 2)", "INTEGER -3", "truncated toward zero"},
        {"DIV(7.5, 2)", "INTEGER 4", "7.5 rounds to 8"},
        {"DIV(6.5, 2)", "INTEGER 3", "6.5 rounds to 6: halves to even"},
        {"DIV(1, 0)", "ERROR Division by Zero", ""},
        {"DIV(1, 0.4)", "ERROR Division by Zero", "the divisor rounds to 0"},
        {"DIV(1)", "ERROR Wrong arguments for DIV", ""},
        {"DIV(1E20, 2)", "ERROR Wrong arguments for DIV", "too large to make an integer"},
        {"DIV(0-2147483647-1, 0-1)", "FLOAT 2147483648", "the one quotient outside 32 bits"},
    });
}

TEST(Functions, FormatNumeric) {
    CheckCases({
        {"FORMATNUMERIC('#,##0.00', 1234.5)", "STRING '1,234.50'", ""},
        {"FORMATNUMERIC('0.0', 2)", "STRING '2.0'", "integers are accepted"},
        {"FORMATNUMERIC('', 2.5)", "STRING '2.5'", "empty mask: general format"},
        {"FORMATNUMERIC('0.00', 'a')", "ERROR ", "the value must be numeric"},
        {"FORMATNUMERIC(1, 2)", "ERROR ", "the mask must be a string"},
        {"FORMATNUMERIC('\"x', 2)", "ERROR Invalid format or value specified", "unterminated literal"},
        {"FORMATNUMERIC('0', 1E300 * 1E300)", "ERROR Invalid format or value specified", "infinity"},
    });
}

// "9" in the pattern stands for any digit, other characters for themselves.
bool MatchesShape(const std::string& text, std::string_view pattern) {
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == '9' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != pattern[i]) return false;
    }
    return true;
}

TEST(Functions, TimeAndDateUseTheLocaleFormats) {
    TQRLocale locale;
    locale.TimeFormat = "%H.%M";
    locale.ShortDateFormat = "%d.%m.%Y";
    TScopedLocale scope(locale);
    TQREvaluator evaluator;
    const EvResult time = Eval("TIME", evaluator);
    ASSERT_EQ(time.Kind, resString);
    EXPECT_TRUE(MatchesShape(time.StrResult, "99.99")) << time.StrResult;
    const EvResult date = Eval("DATE", evaluator);
    EXPECT_TRUE(MatchesShape(date.StrResult, "99.99.9999")) << date.StrResult;
    EXPECT_EQ(Describe(Eval("TIME(1)", evaluator)), "ERROR ");
}

} // namespace
} // namespace pagimo::expr::test
