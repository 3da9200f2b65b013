#include "preview/PreviewWindowRules.h"

#include <gtest/gtest.h>

using namespace pagimo::preview;

namespace {

TEST(DialogFilters, BecomeOneQtEntryPerPair) {
    EXPECT_EQ(DialogFilters(QStringLiteral("Report file (*.QRP)|*.QRP")),
              QStringList{QStringLiteral("Report file (*.QRP)")});
    EXPECT_EQ(DialogFilters(QStringLiteral("QRP file|*.QRP|Web page|*.htm;*.html")),
              (QStringList{QStringLiteral("QRP file (*.QRP)"), QStringLiteral("Web page (*.htm *.html)")}));
    EXPECT_EQ(DialogFilters(QStringLiteral("odd|")), QStringList{QStringLiteral("odd ()")});
    EXPECT_TRUE(DialogFilters(QStringLiteral("description without masks")).isEmpty());
}

TEST(PageInfo, SaysPageNumberOfTotal) {
    EXPECT_EQ(PageInfoText(3, 12), QStringLiteral("Page 3 of 12"));
    EXPECT_EQ(PageInfoText(1, 0), QStringLiteral("Page 1 of 0"));
}

struct TKeyCase {
    const char* Why;
    int Key;
    Qt::KeyboardModifiers Modifiers;
    TPreviewKeyAction Expected;
};

class KeyTable : public ::testing::TestWithParam<TKeyCase> {};

TEST_P(KeyTable, MapsKeyAndModifiers) {
    const auto& c = GetParam();
    EXPECT_EQ(PreviewKeyAction(c.Key, c.Modifiers), c.Expected) << c.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTable,
    ::testing::Values(
        TKeyCase{"Esc closes", Qt::Key_Escape, Qt::NoModifier, kaExit},
        TKeyCase{"Esc closes whatever is held", Qt::Key_Escape, Qt::ShiftModifier | Qt::ControlModifier, kaExit},
        TKeyCase{"Page Up pages back", Qt::Key_PageUp, Qt::NoModifier, kaPrevPage},
        TKeyCase{"Ctrl+Page Up goes to the first page", Qt::Key_PageUp, Qt::ControlModifier, kaFirstPage},
        TKeyCase{"Ctrl+Shift+Page Up is not Ctrl alone", Qt::Key_PageUp, Qt::ControlModifier | Qt::ShiftModifier,
                 kaPrevPage},
        TKeyCase{"Ctrl+Alt+Page Up is not Ctrl alone", Qt::Key_PageUp, Qt::ControlModifier | Qt::AltModifier,
                 kaPrevPage},
        TKeyCase{"Shift+Page Up pages back", Qt::Key_PageUp, Qt::ShiftModifier, kaPrevPage},
        TKeyCase{"Page Down pages on", Qt::Key_PageDown, Qt::NoModifier, kaNextPage},
        TKeyCase{"Ctrl+Page Down goes to the last page", Qt::Key_PageDown, Qt::ControlModifier, kaLastPage},
        TKeyCase{"Ctrl+Shift+Page Down pages on", Qt::Key_PageDown, Qt::ControlModifier | Qt::ShiftModifier,
                 kaNextPage},
        TKeyCase{"Ctrl+Page Up on the keypad is still Ctrl alone", Qt::Key_PageUp,
                 Qt::ControlModifier | Qt::KeypadModifier, kaFirstPage},
        TKeyCase{"Home goes to the first page", Qt::Key_Home, Qt::ShiftModifier, kaFirstPage},
        TKeyCase{"End goes to the last page", Qt::Key_End, Qt::ControlModifier, kaLastPage},
        TKeyCase{"arrows are left to the scroll box", Qt::Key_Down, Qt::NoModifier, kaNone},
        TKeyCase{"letters are ignored", Qt::Key_C, Qt::AltModifier, kaNone}));

TEST(ProgressPanel, WritesInStepsOfFiveAndClearsAtTheEnds) {
    TProgressPanel panel;
    EXPECT_EQ(panel.Text(), QStringLiteral("0%"));
    panel.Update(0);
    EXPECT_EQ(panel.Text(), QString()) << "0 is cleared";
    panel.Update(3);
    panel.Update(4);
    EXPECT_EQ(panel.Text(), QString()) << "3 and 4 after 0 change nothing";
    panel.Update(5);
    EXPECT_EQ(panel.Text(), QStringLiteral("5%"));
    panel.Update(9);
    EXPECT_EQ(panel.Text(), QStringLiteral("5%"));
    panel.Update(12);
    EXPECT_EQ(panel.Text(), QStringLiteral("12%"));
    EXPECT_EQ(panel.ShownProgress(), 12);
    panel.Update(100);
    EXPECT_EQ(panel.Text(), QString()) << "100 is written and cleared in the same step";
    EXPECT_EQ(panel.ShownProgress(), 100);
}

TEST(ProgressPanel, IsNeverResetForASecondRun) {
    TProgressPanel panel;
    panel.Update(60);
    panel.Update(10);
    EXPECT_EQ(panel.Text(), QStringLiteral("60%"));
    EXPECT_EQ(panel.ShownProgress(), 60);
}

TEST(PrintButtons, StartDisabledAndFollowTheJob) {
    TPrintButtonRules b;
    b.Constructed(false);
    EXPECT_FALSE(b.PrintEnabled());
    EXPECT_FALSE(b.PrintSetupEnabled());
    b.PageAvailable(false);
    EXPECT_FALSE(b.PrintEnabled()) << "pages arriving during generation enable nothing";
    b.PageAvailable(true);
    EXPECT_TRUE(b.PrintEnabled());
    EXPECT_TRUE(b.PrintSetupEnabled());
}

TEST(PrintButtons, AFinishedPrinterEnablesOnlyPrintAtConstruction) {
    TPrintButtonRules b;
    b.Constructed(true);
    EXPECT_TRUE(b.PrintEnabled());
    EXPECT_FALSE(b.PrintSetupEnabled());
}

// A loaded file is printed through the print dialog, so its printer setup is offered too.
TEST(PrintButtons, ALoadedFileEnablesSetupAndNothingDisablesPrint) {
    TPrintButtonRules b;
    b.FileLoaded();
    EXPECT_TRUE(b.PrintEnabled());
    EXPECT_TRUE(b.PrintSetupEnabled());
    b.PageAvailable(false);
    b.Constructed(false);
    EXPECT_TRUE(b.PrintEnabled());
}

} // namespace
