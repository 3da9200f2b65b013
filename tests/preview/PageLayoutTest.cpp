#include "preview/PageLayout.h"
#include "preview/PreviewWindowRules.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pagimo::preview;

namespace {

constexpr TViewMode Single{false, false, true};
constexpr TViewMode Continuous{true, false, true};
constexpr TViewMode Cover{true, true, true};   // facing, page 1 alone
constexpr TViewMode Paired{true, true, false}; // facing from page 1
constexpr TViewMode Spread{false, true, true}; // one spread at a time

struct TSpreadCase {
    const char* Why;
    TViewMode Mode;
    int32_t Page, Count;
    std::pair<int32_t, int32_t> Spread;
    int32_t Back, On; // where a step back and a step on go
};

TEST(PageLayout, SpreadsAndStepsGoByTwoFacingPages) {
    const TSpreadCase cases[] = {
        {"a single page steps by one", Single, 4, 9, {4, 4}, 3, 5},
        {"page 1 alone", Cover, 1, 9, {1, 1}, 0, 2},
        {"then 2 and 3", Cover, 3, 9, {2, 3}, 1, 4},
        {"an odd last page alone", Paired, 9, 9, {9, 9}, 7, 10},
        {"paired from page 1", Paired, 2, 9, {1, 2}, 0, 3},
        {"a cover's last spread", Cover, 8, 8, {8, 8}, 6, 9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SpreadOf(c.Page, c.Count, c.Mode), c.Spread) << c.Why;
        EXPECT_EQ(SpreadStep(c.Page, c.Count, c.Mode, -1), c.Back) << c.Why;
        EXPECT_EQ(SpreadStep(c.Page, c.Count, c.Mode, +1), c.On) << c.Why;
    }
}

struct TLayoutCase {
    const char* Why;
    TViewMode Mode;
    int32_t First, Last;
    std::vector<TSheetGeometry> Sheets; // of pages First..Last
    int64_t Height;
};

// Sheets of 100 x 200 (odd pages) and 300 x 100 (even pages) in a control of 400 x 500.
TEST(PageLayout, PlacesRowsOfOneOrTwoSheetsMeetingAtTheMiddle) {
    const auto sheet = [](int32_t n) { return n % 2 ? QSize(100, 200) : QSize(300, 100); };
    const TLayoutCase cases[] = {
        {"continuous: one below another, each centred",
         Continuous,
         1,
         3,
         {{150, 10, 100, 200}, {50, 220, 300, 100}, {150, 330, 100, 200}},
         540},
        {"a cover on the right of the middle line, then pairs meeting at it",
         Cover,
         1,
         3,
         {{310, 10, 100, 200}, {0, 270, 300, 100}, {310, 220, 100, 200}},
         430},
        {"paired from page 1, a lower sheet centred down its row",
         Paired,
         1,
         3,
         {{0, 10, 100, 200}, {110, 60, 300, 100}, {0, 220, 100, 200}},
         430},
        {"one spread placed in the control as a lone sheet",
         Spread,
         2,
         3,
         {{0, 200, 300, 100}, {310, 150, 100, 200}},
         350},
        {"a lone page of a spread is centred", Spread, 1, 1, {{150, 150, 100, 200}}, 350},
    };
    for (const auto& c : cases) {
        TPageLayout layout;
        layout.Build(c.First, c.Last, sheet, QSize(400, 500), c.Mode);
        for (int32_t n = c.First; n <= c.Last; ++n)
            EXPECT_EQ(layout.Sheet(n), c.Sheets[static_cast<size_t>(n - c.First)]) << c.Why << ", page " << n;
        EXPECT_EQ(layout.Height(), c.Height) << c.Why;
    }
    // The row at a height, and the page at a point of it.
    TPageLayout layout;
    layout.Build(1, 3, sheet, QSize(400, 500), Cover);
    EXPECT_EQ(layout.RowAt(0), std::make_pair(1, 1));
    EXPECT_EQ(layout.RowAt(216), std::make_pair(2, 3)) << "the gap above a row counts half to it";
    EXPECT_EQ(layout.PageAt(305, 250), 2);
    EXPECT_EQ(layout.PageAt(311, 250), 3);
}

TEST(PageLayout, PagesArrivingOneByOneLayOutAsAllAtOnce) {
    const auto sheet = [](int32_t n) { return QSize(100 + n, 200); };
    TPageLayout whole, grown;
    whole.Build(1, 7, sheet, QSize(400, 500), Cover);
    for (int32_t last = 1; last <= 7; ++last)
        grown.Build(1, last, sheet, QSize(400, 500), Cover, grown.Last());
    for (int32_t n = 1; n <= 7; ++n)
        EXPECT_EQ(grown.Sheet(n), whole.Sheet(n)) << n;
    EXPECT_EQ(grown.Height(), whole.Height());
}

TEST(PageTurns, PlacesTurnWithTheSheetAndBack) {
    const QPointF place(0.2, 0.1); // near the page's top left corner
    const QPointF turned[] = {{0.2, 0.1}, {0.9, 0.2}, {0.8, 0.9}, {0.1, 0.8}};
    const QSizeF page(100, 200);
    for (int turns = 0; turns < 4; ++turns) {
        const QPointF t = TurnedPlace(place, turns);
        EXPECT_NEAR(t.x(), turned[turns].x(), 1e-9) << turns;
        EXPECT_NEAR(t.y(), turned[turns].y(), 1e-9) << turns;
        EXPECT_NEAR(UnturnedPlace(t, turns).x(), place.x(), 1e-9) << turns;
        // The painter's turn takes the page's point to the same place of the turned sheet.
        const QSizeF sheet = turns % 2 ? page.transposed() : page;
        const QPointF drawn = TurnTransform(page, turns).map(QPointF(place.x() * 100, place.y() * 200));
        EXPECT_NEAR(drawn.x() / sheet.width(), t.x(), 1e-9) << turns;
        EXPECT_NEAR(drawn.y() / sheet.height(), t.y(), 1e-9) << turns;
    }
    EXPECT_EQ(NormalTurns(-1), 3);
}

TEST(ScrollRules, SpaceScrollsAScreenAndTurnsAtTheEnd) {
    struct TCase {
        const char* Why;
        int Value, Maximum, Direction;
        bool Turns;
        TScreenStep Expected;
    };
    const TCase cases[] = {
        {"a screen less a tenth", 0, 1000, 1, true, {450, 0}},
        {"not past the end", 800, 1000, 1, true, {1000, 0}},
        {"at the end the page turns", 1000, 1000, 1, true, {1000, 1}},
        {"back at the start it turns back", 0, 1000, -1, true, {0, -1}},
        {"a page that fits turns at once", 0, 0, 1, true, {0, 1}},
        {"continuous pages do not turn", 1000, 1000, 1, false, {1000, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScreenStep(c.Value, c.Maximum, 500, c.Direction, c.Turns), c.Expected) << c.Why;
}

TEST(ScrollRules, TheWheelTurnsPastTheEndAfterALittleResistance) {
    struct TEvent {
        int Angle;
        Qt::ScrollPhase Phase;
        bool AtStart, AtEnd;
        int Turn;
    };
    const std::vector<std::pair<const char*, std::vector<TEvent>>> cases = {
        {"two notches past the end",
         {{-120, Qt::NoScrollPhase, false, true, 0}, {-120, Qt::NoScrollPhase, false, true, 1}}},
        {"scrolling within the page starts again",
         {{-120, Qt::NoScrollPhase, false, true, 0},
          {-120, Qt::NoScrollPhase, false, false, 0},
          {-120, Qt::NoScrollPhase, false, true, 0}}},
        {"back past the start", {{240, Qt::NoScrollPhase, true, false, -1}}},
        {"a flick's glide never turns",
         {{-480, Qt::ScrollMomentum, false, true, 0}, {-480, Qt::ScrollMomentum, false, true, 0}}},
        {"a touchpad's small steps add up",
         {{-100, Qt::ScrollUpdate, false, true, 0},
          {-100, Qt::ScrollUpdate, false, true, 0},
          {-100, Qt::ScrollUpdate, false, true, 1},
          {-100, Qt::ScrollUpdate, false, true, 0}}},
    };
    for (const auto& [why, events] : cases) {
        TWheelTurn wheel;
        for (size_t i = 0; i < events.size(); ++i) {
            const TEvent& e = events[i];
            EXPECT_EQ(wheel.Turn(e.Angle, e.Phase, e.AtStart, e.AtEnd), e.Turn) << why << ", event " << i;
        }
    }
}

} // namespace
