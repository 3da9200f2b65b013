#include "printer/PrintDialogFlags.h"

#include <gtest/gtest.h>

using namespace pagimo::printer;

namespace {

struct TFlagCase {
    const char* Why;
    TPrintDialogOptions Options;
    TPrintRange Range;
    bool Collate, PrintToFile;
    uint32_t Expected;
};

class FlagTable : public ::testing::TestWithParam<TFlagCase> {};

TEST_P(FlagTable, ComposesTheDialogFlags) {
    const auto& c = GetParam();
    EXPECT_EQ(PrintDialogFlags(c.Options, c.Range, c.Collate, c.PrintToFile), c.Expected) << c.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Flags, FlagTable,
    ::testing::Values(
        TFlagCase{"the report's printer setup", {poPageNums, poWarning}, prAllPages, false, false, 0x103004},
        TFlagCase{"no options at all hide and forbid everything", {}, prAllPages, false, false, 0x10308C},
        TFlagCase{
            "a chosen range and collation are passed on", {poPageNums, poWarning}, prPageNums, true, false, 0x103016},
        TFlagCase{"print to file offered and ticked",
                  {poPrintToFile, poPageNums, poSelection, poWarning},
                  prSelection,
                  false,
                  true,
                  0x3021},
        TFlagCase{"help and a greyed print-to-file box",
                  {poHelp, poDisablePrintToFile, poWarning},
                  prAllPages,
                  false,
                  false,
                  0x18380C}));

TEST(QtOptions, FollowTheFlags) {
    const auto setup = QtDialogOptions(0x103004);
    EXPECT_TRUE(setup.testFlag(QAbstractPrintDialog::PrintPageRange));
    EXPECT_FALSE(setup.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(setup.testFlag(QAbstractPrintDialog::PrintToFile));
    EXPECT_TRUE(setup.testFlag(QAbstractPrintDialog::PrintCollateCopies));
    const auto all = QtDialogOptions(PrintDialogFlags({poPrintToFile, poPageNums, poSelection}, prAllPages, 0, 0));
    EXPECT_TRUE(all.testFlag(QAbstractPrintDialog::PrintToFile));
    EXPECT_TRUE(all.testFlag(QAbstractPrintDialog::PrintSelection));
    EXPECT_FALSE(QtDialogOptions(PD_DISABLEPRINTTOFILE).testFlag(QAbstractPrintDialog::PrintToFile));
}

TEST(QtOptions, RangesTravelBothWays) {
    for (TPrintRange r : {prAllPages, prSelection, prPageNums})
        EXPECT_EQ(RangeFromQt(QtPrintRange(r)), r);
    EXPECT_EQ(RangeFromQt(QAbstractPrintDialog::CurrentPage), prAllPages);
}

TEST(DialogPlace, CentredAcrossAndOneThirdDown) {
    EXPECT_EQ(DialogPlace(1280, 1024, 400, 300), (TDialogPlace{440, 241}));
    EXPECT_EQ(DialogPlace(1280, 1024, 401, 301), (TDialogPlace{439, 241})) << "halves truncate";
    EXPECT_EQ(DialogPlace(640, 480, 801, 600), (TDialogPlace{-80, -40})) << "a dialog larger than the screen";
}

TEST(Copies, ADriverThatCopiesItselfKeepsTheCountInTheMode) {
    EXPECT_EQ(ChosenCopies(1, 3), 3);
    EXPECT_EQ(ChosenCopies(4, 3), 4);
    EXPECT_EQ(ChosenCopies(1, 1), 1);
}

} // namespace
