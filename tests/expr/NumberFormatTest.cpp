// Number masks and the general format, with the locale's separators.

#include "expr/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pagimo::expr {
namespace {

struct TMaskCase {
    const char* Mask;
    double Value;
    const char* Expected;
    const char* Reason;
};

void CheckMasks(const TQRLocale& locale, std::initializer_list<TMaskCase> cases) {
    for (const auto& c : cases) {
        const auto text = FormatFloat(c.Mask, c.Value, locale);
        ASSERT_TRUE(text.has_value()) << c.Mask;
        EXPECT_EQ(*text, c.Expected) << c.Mask << " with " << c.Value << "  (" << c.Reason << ")";
    }
}

TEST(NumberFormat, DigitPlaceholdersAndPoint) {
    CheckMasks({}, {
                       {"0.00", 1234.5, "1234.50", "required decimals"},
                       {"#.##", 1234.5, "1234.5", "optional decimals drop trailing zeros"},
                       {"#.##", 0.5, ".5", "no required integer digit"},
                       {"0.##", 3, "3", "no point without decimals"},
                       {"0.0#", 3.1, "3.1", "the optional place drops its zero"},
                       {"0.00#", 3.1, "3.10", ""},
                       {"000", 7, "007", "leading zeros"},
                       {"#", 0.4, "", "nothing significant to show"},
                       {"0", 2.5, "3", "halves away from zero"},
                       {"0", -2.5, "-3", ""},
                       {"0.00", 2.675, "2.68", "decimal rounding, not the binary neighbour"},
                       {"0.00", 1.005, "1.01", ""},
                       {"0", 0.49999999999999994, "1", "digits come from the 15 significant ones"},
                       {"0.0", 99.96, "100.0", "carry into a new digit"},
                       {"00.00", 123.456, "123.46", "more integer digits than placeholders"},
                   });
}

TEST(NumberFormat, ThousandsSeparators) {
    CheckMasks({}, {
                       {"#,##0.00", 1234567.891, "1,234,567.89", ""},
                       {"#,##0", 999, "999", ""},
                       {"#,##0", 1000, "1,000", ""},
                       {"#,0", 1234567, "1,234,567", "one comma anywhere is enough"},
                       {"#,##0.00", -1234.5, "-1,234.50", ""},
                       {"#,##0.00", 0.5, "0.50", ""},
                   });
}

TEST(NumberFormat, LocaleSeparators) {
    const TQRLocale czech{.DecimalSeparator = ",", .ThousandSeparator = "\xC2\xA0"};
    CheckMasks(czech, {
                          {"#,##0.00", 1234,
                           "1\xC2\xA0"
                           "234,00",
                           "an integer result with separator and two decimals, in the locale's symbols"},
                          {"0.0", 0.25, "0,3", ""},
                      });
    EXPECT_EQ(FloatToStrGeneral(2.5, czech), "2,5");
}

TEST(NumberFormat, Sections) {
    CheckMasks({}, {
                       {"0.00;(0.00);'zero'", 5, "5.00", "positive section"},
                       {"0.00;(0.00);'zero'", -5, "(5.00)", "negative section shows no minus"},
                       {"0.00;(0.00);'zero'", 0, "zero", "zero section"},
                       {"0.00;(0.00);'zero'", 0.001, "zero", "a value that rounds to zero is zero"},
                       {"0.00;;'zero'", -5, "-5.00", "empty negative section: positive with a minus"},
                       {"0.00;(0.00)", 0, "0.00", "missing zero section: positive"},
                       {"0.00", -0.001, "0.00", "no minus for a negative value that rounds to zero"},
                       {"0;'minus'", -3, "minus", "a section without placeholders is literal"},
                   });
}

TEST(NumberFormat, LiteralsAndOtherCharacters) {
    CheckMasks({}, {
                       {"'$'#,##0.00", 1234.5, "$1,234.50", "quoted prefix"},
                       {"\"Total: \"0", 3, "Total: 3", "double quotes"},
                       {"0 'kg'", 3, "3 kg", ""},
                       {"'0.#;'0", 3, "0.#;3", "placeholders and separators inside quotes are text"},
                       {"000-00", 12345, "123-45", "literal between integer placeholders"},
                       {"0 %", 5, "5 %", "other characters are copied"},
                       {"$0.00", -2, "-$2.00", "the minus goes first"},
                   });
}

TEST(NumberFormat, ExponentForms) {
    CheckMasks({}, {
                       {"0.00E+00", 1234, "1.23E+03", ""},
                       {"0.00E-00", 1234, "1.23E03", "E- signs only negative exponents"},
                       {"0.00e+0", 0.000123, "1.23e-4", ""},
                       {"0.00E-0", 0.000123, "1.23E-4", ""},
                       {"00.0E+0", 1234, "12.3E+2", "two integer digits"},
                       {"0.0E+0000", 5, "5.0E+0000", "up to four exponent digits"},
                       {"0.00E+00", 0, "0.00E+00", ""},
                       {"0.00E+00", -9.999, "-1.00E+01", "rounding carries into the exponent"},
                   });
}

TEST(NumberFormat, GeneralFormat) {
    const TQRLocale c;
    EXPECT_EQ(FloatToStrGeneral(0, c), "0");
    EXPECT_EQ(FloatToStrGeneral(-0.0, c), "0");
    EXPECT_EQ(FloatToStrGeneral(3.5, c), "3.5");
    EXPECT_EQ(FloatToStrGeneral(0.1 + 0.2, c), "0.3");
    EXPECT_EQ(FloatToStrGeneral(1.0 / 3, c), "0.333333333333333");
    EXPECT_EQ(FloatToStrGeneral(-2.0 / 3, c), "-0.666666666666667");
    EXPECT_EQ(FloatToStrGeneral(123456789012345.0, c), "123456789012345");
    EXPECT_EQ(FloatToStrGeneral(1e15, c), "1E15");
    EXPECT_EQ(FloatToStrGeneral(1.5e20, c), "1.5E20");
    EXPECT_EQ(FloatToStrGeneral(0.0001, c), "0.0001");
    EXPECT_EQ(FloatToStrGeneral(0.00001, c), "1E-5");
    EXPECT_EQ(FloatToStrGeneral(-1.25e-7, c), "-1.25E-7");
    EXPECT_EQ(FloatToStrGeneral(INFINITY, c), "INF");
    EXPECT_EQ(FloatToStrGeneral(-INFINITY, c), "-INF");
    EXPECT_EQ(FloatToStrGeneral(NAN, c), "NAN");
}

TEST(NumberFormat, FailuresAndEmptyMask) {
    const TQRLocale c;
    EXPECT_EQ(FormatFloat("", 2.5, c), "2.5");
    EXPECT_FALSE(FormatFloat("0.00'", 1, c).has_value()) << "unterminated literal";
    EXPECT_FALSE(FormatFloat("0", NAN, c).has_value());
    EXPECT_FALSE(FormatFloat("0", INFINITY, c).has_value());
    const auto huge = FormatFloat("#,##0.00", 1e300, c);
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(huge->size(), 301u + 100u + 3u) << "every digit of a huge value, grouped";
}

} // namespace
} // namespace pagimo::expr
