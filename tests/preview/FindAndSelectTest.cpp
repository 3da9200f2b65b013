// Finding text across the pages of a generated file and selecting text on a page, as the preview
// window offers them, with the text and its places read from the page pictures.

#include "platform/gdi/Canvas.h"
#include "preview/FindBar.h"
#include "preview/PageText.h"
#include "preview/StandardPreview.h"
#include "preview/TextSelection.h"
#include "preview/WindowParts.h"
#include "printer/QRPrinter.h"

#include "pagestore/PageListFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

// One line of text per entry, each page's lines one below another.
const std::vector<std::vector<std::string>> Pages = {
    {"An apple and an Apple", "nothing here"}, // 2 hits, 1 with case
    {"pineapple juice"},                       // 1 hit, none as a whole word
    {"no fruit at all"},                       // none
    {"APPLE pie", "apple_tree and apple."},    // 3 hits, "apple_tree" not a whole word
    {"last page"},
};

void WriteFile(const std::string& name) {
    printer::TQRPrinter p;
    p.SetPaperSize(printer::TQRPaperSize::A4);
    p.StartDocument();
    for (const auto& lines : Pages) {
        p.NewPage();
        gdi::TCanvas& c = *p.PageCanvas();
        c.Font.Name = "Arial";
        c.Font.Height = -16;
        for (size_t i = 0; i < lines.size(); ++i)
            c.TextOut(p.DeviceX(200), p.DeviceY(300 + static_cast<Extended>(i) * 100), lines[i]);
    }
    p.FinishDocument();
    p.SaveReportFile(name);
}

class FindAndSelect : public ::testing::Test {
protected:
    void SetUp() override {
        File = Dir.File("fruit.qrp");
        WriteFile(File);
        Window.resize(800, 700);
        Window.LoadReportFile(QString::fromStdString(File));
    }
    // Types the text into the find bar and lets the search run to its end.
    void Find(const QString& text, bool matchCase = false, bool wholeWords = false) {
        Window.Action(pcFind)->trigger();
        test::Part<QCheckBox>(Window, "MatchCase")->setChecked(matchCase);
        test::Part<QCheckBox>(Window, "WholeWords")->setChecked(wholeWords);
        test::Part<QLineEdit>(Window, "FindField")->setText(text);
        Window.FindBar().Start();
        QElapsedTimer t;
        t.start();
        while (Window.FindBar().Finder().Running() && t.elapsed() < 5000)
            QCoreApplication::processEvents();
    }
    // Where the hit gone to last is: page and index on it.
    std::pair<int32_t, int> Hit() const { return {Window.FindBar().HitPage(), Window.FindBar().HitIndex()}; }
    test::TTempDir Dir;
    std::string File;
    printer::TQRPrinter Printer;
    TQRStandardPreview Window{nullptr, &Printer};
};

TEST_F(FindAndSelect, FindCountsEveryHitAcrossThePagesAndGoesToTheFirst) {
    Find(QStringLiteral("apple"));
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 6);
    EXPECT_EQ(test::Part<QLabel>(Window, "FindStatus")->text(), QStringLiteral("1 of 6"));
    EXPECT_EQ(Hit(), std::make_pair(1, 0));
    std::vector<int32_t> pages;
    for (const auto& [page, hits] : Window.FindBar().Finder().Hits())
        pages.push_back(page);
    EXPECT_EQ(pages, (std::vector<int32_t>{1, 2, 4}));
}

TEST_F(FindAndSelect, NextAndPreviousWalkTheHitsInOrderAndWrapRound) {
    Find(QStringLiteral("apple"));
    const std::vector<std::pair<int32_t, int>> order = {{1, 1}, {2, 0}, {4, 0}, {4, 1}, {4, 2}, {1, 0}};
    for (const auto& expected : order) {
        Window.Action(pcFindNext)->trigger();
        EXPECT_EQ(Hit(), expected);
        EXPECT_EQ(Window.QRPreview()->PageNumber(), expected.first);
    }
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 1 of 5"));
    Window.Action(pcFindPrevious)->trigger();
    EXPECT_EQ(Hit(), std::make_pair(4, 2)) << "back round the start";
    EXPECT_EQ(test::Part<QLabel>(Window, "FindStatus")->text(), QStringLiteral("6 of 6"));
    Window.Action(pcFindPrevious)->trigger();
    EXPECT_EQ(Hit(), std::make_pair(4, 1));
    // Enter and Shift+Enter in the field do the same.
    QTest::keyClick(test::Part<QLineEdit>(Window, "FindField"), Qt::Key_Return);
    EXPECT_EQ(Hit(), std::make_pair(4, 2));
    QTest::keyClick(test::Part<QLineEdit>(Window, "FindField"), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Hit(), std::make_pair(4, 1));
}

TEST_F(FindAndSelect, MatchCaseAndWholeWordsNarrowTheHits) {
    Find(QStringLiteral("apple"), true);
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 4) << "apple, pineapple, apple_tree, apple.";
    Find(QStringLiteral("Apple"), true);
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 1);
    EXPECT_EQ(Hit(), std::make_pair(1, 0));
    Find(QStringLiteral("apple"), false, true);
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 4) << "not in pineapple nor apple_tree";
    EXPECT_TRUE(Window.FindBar().Finder().HitsOn(2).empty());
    Find(QStringLiteral("kiwi"));
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 0);
    EXPECT_EQ(test::Part<QLabel>(Window, "FindStatus")->text(), QStringLiteral("Not found"));
    Window.Action(pcFindNext)->trigger(); // nothing to go to
    EXPECT_EQ(Hit(), std::make_pair(0, -1));
}

TEST_F(FindAndSelect, ASearchBeginsAtThePageShownAndEscStopsIt) {
    Window.LastPageClick();
    Find(QStringLiteral("apple"));
    EXPECT_EQ(Hit(), std::make_pair(1, 0)) << "round the end from page 5";
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("3"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    Find(QStringLiteral("apple"));
    EXPECT_EQ(Hit(), std::make_pair(4, 0)) << "the first hit after page 3";
    Window.Action(pcFind)->trigger();
    QTest::keyClick(test::Part<QLineEdit>(Window, "FindField"), Qt::Key_Escape);
    EXPECT_FALSE(Window.FindBar().isVisible());
    EXPECT_FALSE(Window.FindBar().Finder().Running());
    EXPECT_EQ(Window.ReportPrinter(), &Printer) << "Esc in the find bar does not close the window";
}

// The search is left to the event loop: starting it searches no page, so the window never waits for
// a long document, and Esc stops it before it has gone on.
TEST_F(FindAndSelect, StartingASearchLeavesTheWorkToTheEventLoopAndEscStopsIt) {
    Window.Action(pcFind)->trigger();
    test::Part<QLineEdit>(Window, "FindField")->setText(QStringLiteral("apple"));
    Window.FindBar().Start();
    EXPECT_TRUE(Window.FindBar().Finder().Running());
    EXPECT_EQ(Window.FindBar().Finder().PagesSearched(), 0);
    EXPECT_EQ(test::Part<QLabel>(Window, "FindStatus")->text(), QStringLiteral("searching 0%"));
    QTest::keyClick(test::Part<QLineEdit>(Window, "FindField"), Qt::Key_Escape);
    EXPECT_FALSE(Window.FindBar().Finder().Running());
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 0);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 0) << "nothing searched after Esc";
    EXPECT_EQ(Window.FindBar().HitPage(), 0);
    // Typing starts a new search, which then runs to its end from the event loop.
    Window.Action(pcFind)->trigger();
    QTest::keyClicks(test::Part<QLineEdit>(Window, "FindField"), QStringLiteral("pie"));
    QElapsedTimer t;
    t.start();
    while (Window.FindBar().Finder().Running() && t.elapsed() < 5000)
        QCoreApplication::processEvents();
    EXPECT_EQ(Window.FindBar().Finder().HitCount(), 1);
    EXPECT_EQ(test::Part<QLabel>(Window, "FindStatus")->text(), QStringLiteral("1 of 1"));
}

TEST_F(FindAndSelect, HitsArePaintedOnThePage) {
    Window.show();
    Find(QStringLiteral("pineapple"));
    ASSERT_EQ(Hit(), std::make_pair(2, 0));
    const QRectF hit = Window.FindBar().Finder().HitsOn(2)[0];
    QWidget* sheet = Window.QRPreview()->PageImage();
    const QImage image = sheet->grab().toImage();
    // Inside the hit, between letters, the paper is tinted; below it, it is white.
    const QPoint inside(static_cast<int>((hit.left() + 0.1 * hit.width()) * sheet->width()),
                        static_cast<int>((hit.top() + 0.15 * hit.height()) * sheet->height()));
    const QColor tint = image.pixelColor(inside);
    EXPECT_GT(tint.red(), 200);
    EXPECT_LT(tint.blue(), 100) << "orange of the current hit";
    const QPoint below(inside.x(), static_cast<int>((hit.bottom() + 0.02) * sheet->height()));
    EXPECT_EQ(image.pixelColor(below), QColor(Qt::white));
}

TEST_F(FindAndSelect, ARectangleSelectsTheTextInsideItAndCtrlCCopiesIt) {
    Find(QStringLiteral("APPLE"), true);
    const QRectF apple = Window.FindBar().Finder().HitsOn(4)[0];
    // From the top left of "APPLE pie" to the right end of the line below, over its first words.
    const QRectF area(apple.left() - 0.01, apple.top() - 0.005, 0.25, 0.065);
    Window.Selection().SelectArea(4, area);
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("APPLE pie\napple_tree and apple."));
    Window.Action(pcCopy)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Window.Selection().Text());
    // A rectangle over the first word alone.
    Window.Selection().SelectArea(4, QRectF(apple.left() - 0.005, apple.top(), apple.width() + 0.002, apple.height()));
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("APPLE"));
    Window.Action(pcCopy)->trigger();
    // Over white paper: nothing, and Ctrl+C leaves the clipboard alone.
    Window.Selection().SelectArea(4, QRectF(0.5, 0.8, 0.1, 0.1));
    EXPECT_TRUE(Window.Selection().Text().isEmpty());
    Window.Action(pcCopy)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("APPLE"));
}

TEST_F(FindAndSelect, CtrlASelectsThePageAndADragSelectsWithTheMouse) {
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("4"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    Window.Action(pcSelectAll)->trigger();
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("APPLE pie\napple_tree and apple."));
    Window.ZoomTo100Click();
    Window.show();
    // A drag over the first line, in viewport pixels.
    const TSheetGeometry& s = Window.QRPreview()->Sheet();
    const auto [page, start] = Window.QRPreview()->PlaceAt(QPoint(s.Left + 60, s.Top + 100));
    ASSERT_EQ(page, 4);
    QWidget* view = Window.QRPreview()->viewport();
    // "APPLE pie" lies at 30 mm down (113 px at 100 %), from 20 mm across (76 px).
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(s.Left + 70, s.Top + 108));
    QTest::mouseMove(view, QPoint(s.Left + 400, s.Top + 130));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(s.Left + 400, s.Top + 130));
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("APPLE pie"));
}

// A double click selects a word and a drag after it extends by words; a triple click selects the line.
// What is selected is offered as the X primary selection too.
TEST_F(FindAndSelect, DoubleClickSelectsAWordAndTripleClickALine) {
    test::GoToPage(Window, QStringLiteral("4"));
    Window.ZoomTo100Click();
    Window.show();
    const TSheetGeometry& s = Window.QRPreview()->Sheet();
    QWidget* view = Window.QRPreview()->viewport();
    const QPoint apple(s.Left + 90, s.Top + 108), pie(s.Left + 150, s.Top + 108);
    QTest::mouseDClick(view, Qt::LeftButton, {}, apple);
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("APPLE"));
    if (QGuiApplication::clipboard()->supportsSelection()) {
        EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection), QStringLiteral("APPLE"));
    }
    QTest::mouseDClick(view, Qt::LeftButton, {}, apple);
    QTest::mouseMove(view, pie);
    QTest::mouseRelease(view, Qt::LeftButton, {}, pie);
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("APPLE pie")) << "extended by words";
    QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(s.Left + 90, s.Top + 146));
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(s.Left + 90, s.Top + 146));
    EXPECT_EQ(Window.Selection().Text(), QStringLiteral("apple_tree and apple.")) << "the line";
}

TEST(PageText, FindsNothingForAnEmptyNeedleAndKeepsHitsInsideTheirRun) {
    TPageText page;
    gdi::TTextItem item;
    item.Text = QStringLiteral("abcabc");
    item.Origin = QPointF(10, 20);
    item.Height = 10;
    item.Width = 60;
    for (int i = 0; i <= 6; ++i)
        item.CharEdges.push_back(i * 10);
    page.Items.push_back(item);
    page.Width = 100;
    page.Height = 100;
    EXPECT_TRUE(FindOnPage(page, QString(), {}).empty());
    const auto hits = FindOnPage(page, QStringLiteral("bc"), {});
    ASSERT_EQ(hits.size(), 2U);
    EXPECT_DOUBLE_EQ(hits[0].left(), 0.2);
    EXPECT_DOUBLE_EQ(hits[0].width(), 0.2);
    EXPECT_DOUBLE_EQ(hits[1].left(), 0.5);
    EXPECT_DOUBLE_EQ(hits[1].top(), 0.2);
    EXPECT_EQ(FindOnPage(page, QStringLiteral("abca"), {}).size(), 1U) << "overlapping hits are all found";
    EXPECT_TRUE(FindOnPage(page, QStringLiteral("abcabcx"), {}).empty());
}

} // namespace
