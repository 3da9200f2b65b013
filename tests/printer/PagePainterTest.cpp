// The page painter: what each kind of page comes out as, and the place a stored page takes on paper.

#include "printer/PagePainter.h"

#include "MixedSheets.h"
#include "PageMark.h"
#include "pagestore/PageListFixture.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::printer;

namespace {

// Page 1 ordinary, page 2 over its work budget, page 3 with a broken record chain.
class PagePainter : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string file = Dir.File("trouble.qrp");
        test::TroubleReport(file);
        Pages.OpenFile(file);
    }
    test::TTempDir Dir;
    pagestore::TQRPageList Pages;
};

TEST_F(PagePainter, EachKindOfPageComesOutAsItIsAndOnlyTroubleIsMarked) {
    const std::atomic<bool> cancelled{true};
    const struct {
        int32_t Page;
        const std::atomic<bool>* Cancel;
        TPageOutcome Outcome;
        const char* Reason; // the start of it
        const char* Why;
    } cases[] = {
        {1, nullptr, pgComplete, "", "an ordinary page"},
        {2, nullptr, pgIncomplete, "drawing stopped", "drawn as far as its budget goes"},
        {3, nullptr, pgDamaged, "Metafile is not valid", "its records cannot be walked"},
        {4, nullptr, pgPending, "", "not stored (yet)"},
        {2, &cancelled, pgCancelled, "", "abandoned at its first record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Why);
        QImage image(400, 566, QImage::Format_RGB32);
        image.fill(Qt::gray);
        TPaintOptions options;
        options.Cancel = c.Cancel;
        TPaintResult result;
        {
            QPainter painter(&image);
            result = PaintPage(Pages, c.Page, painter, QRectF(0, 0, 400, 566), options);
        }
        EXPECT_EQ(result.Outcome, c.Outcome);
        EXPECT_TRUE(result.Reason.starts_with(c.Reason)) << result.Reason;
        EXPECT_EQ(test::HasPageMark(image, QRectF(0, 0, 400, 566)), result.Marked());
        EXPECT_EQ(image.pixelColor(200, 3) == QColor(Qt::gray), c.Outcome == pgPending) << "the white sheet";
        if (c.Cancel) {
            EXPECT_LE(result.Play.Records, 2u) << "a cancelled page stops at once";
        }
    }
}

// A stored page is printed as large as the printable area allows, never stretched.
TEST(PagePainterPlace, APageFitsThePrintableAreaWithItsAspectKept) {
    const struct {
        QSizeF Page;
        QRectF Area;
        QRectF Expected;
    } cases[] = {
        {{794, 1123}, {0, 0, 794, 1123}, {0, 0, 794, 1123}},       // the paper's own size
        {{794, 1123}, {0, 0, 9583, 13433}, {0, 0, 9497.6, 13433}}, // A4 on an A4 printable area
        {{756, 711}, {0, 0, 9583, 13433}, {0, 0, 9583, 9012.8}},   // 200 x 188 mm on A4
        {{1587, 1123}, {0, 0, 794, 1123}, {0, 0, 794, 561.8}},     // landscape A3 on portrait A4
    };
    for (const auto& c : cases) {
        const QRectF r = FitInto(c.Page, c.Area);
        EXPECT_NEAR(r.width(), c.Expected.width(), 0.5) << c.Page.width();
        EXPECT_NEAR(r.height(), c.Expected.height(), 0.5) << c.Page.width();
        EXPECT_NEAR(r.width() / r.height(), c.Page.width() / c.Page.height(), 1e-9);
    }
}

} // namespace
