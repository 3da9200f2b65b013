// The guard between the EMF player and its devices: figures far outside any page are dropped, figures
// reaching past the bound are cut to it and still draw what lies on the page, and the page's work
// budget first simplifies and then stops pages made to be expensive.

#include "HostilePages.h"
#include "RenderCompare.h"

#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include <QColor>

#include <vector>

using namespace pagimo;
using namespace pagimo::emf;

namespace {

constexpr int32_t Far = 1 << 29; // beyond any page, at the edge of what records may say

std::string Trace(const std::vector<uint8_t>& bytes, gdi::TPlayResult* result = nullptr,
                  const gdi::TWorkLimits& limits = {}) {
    gdi::TTraceDevice trace;
    gdi::TPlayOptions options;
    options.Limits = limits;
    const auto r = gdi::TEmfPlayer::Play(bytes, trace, options);
    if (result) *result = r;
    return trace.Text();
}

TEmfWriter Page() {
    TEmfWriter w(100, 100);
    for (int i = 0; i < 4; ++i)
        w.NewHandle();
    return w;
}

void Polyline(TEmfWriter& w, uint32_t type, std::initializer_list<std::pair<int32_t, int32_t>> points) {
    TEmrPoly{{0, 0, 0, 0}, static_cast<uint32_t>(points.size())}.WriteHead(w, type);
    for (auto [x, y] : points)
        TPointL{x, y}.Write(w);
    w.End();
}

// Extended pen 1, one unit wide and black, with its dash entries.
void ExtPen(TEmfWriter& w, uint32_t style, const std::vector<uint32_t>& dashes = {}) {
    TEmrExtCreatePen pen;
    pen.Handle = 1;
    pen.Style = style;
    pen.Width = 1;
    pen.NumEntries = static_cast<uint32_t>(dashes.size());
    pen.Write(w, dashes);
}

bool Dark(const QImage& image, int x, int y) {
    return qGray(image.pixel(x, y)) < 128;
}

} // namespace

TEST(PageGuardBounds, FiguresWhollyOutsideTheBoundAreDroppedAndTheRestPlays) {
    TEmfWriter w = Page();
    w.Record(EMR_RECTANGLE, {Far - 100, Far - 100, Far, Far});
    w.Record(EMR_ELLIPSE, {-Far, -Far, -Far + 10, -Far + 10});
    Polyline(w, EMR_POLYLINE, {{Far, 0}, {Far, 10}});
    w.Record(EMR_RECTANGLE, {0, 0, 10, 10});
    gdi::TPlayResult result;
    EXPECT_EQ(Trace(w.Finish(), &result), "rectangle box=0,0,9,9 pen=0/0/#000000 brush=0/#ffffff\n");
    EXPECT_EQ(result.Work.Dropped, 3u);
    EXPECT_TRUE(result.Complete);
    EXPECT_FALSE(result.OverBudget);
}

TEST(PageGuardBounds, FiguresReachingPastTheBoundAreCutAndDrawTheirPartOnThePage) {
    // A line from the page to far away, a polygon and an ellipse around the page: what lies on the
    // page is drawn as if nothing had been cut; no coordinate handed on exceeds the bound.
    const auto trace = [&] {
        TEmfWriter t = Page();
        Polyline(t, EMR_POLYLINE, {{10, 20}, {Far, 20}});
        return Trace(t.Finish());
    }();
    EXPECT_EQ(trace.rfind("path box=10,20,", 0), 0u) << trace;
    EXPECT_NE(trace.find(",20 pen="), std::string::npos) << trace;
    const double right = std::stod(trace.substr(trace.find(',', 15) + 1));
    EXPECT_LE(right, gdi::TPageGuard::PageMax + gdi::TPageGuard::Margin + 1);
    const QImage image = [] {
        // A black ellipse around everything, a white band across the page (a polygon reaching far
        // out on both sides) and a white line from the page to far away.
        TEmfWriter w = Page();
        w.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000004u)}); // BLACK_BRUSH
        w.Record(EMR_ELLIPSE, {-Far, -Far, Far, Far});
        w.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u)}); // WHITE_BRUSH
        w.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000008u)}); // NULL_PEN
        Polyline(w, EMR_POLYGON, {{-Far, 50}, {Far, 50}, {Far, 60}, {-Far, 60}});
        w.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000006u)}); // WHITE_PEN
        Polyline(w, EMR_POLYLINE, {{10, 20}, {Far, 20}});
        return test::RenderEmf(w.Finish(), 100, 100);
    }();
    for (int x : {10, 50, 99}) {
        EXPECT_FALSE(Dark(image, x, 20)) << x;
        EXPECT_FALSE(Dark(image, x, 55)) << x;
        EXPECT_TRUE(Dark(image, x, 80)) << x;
    }
    EXPECT_TRUE(Dark(image, 5, 20));
    EXPECT_TRUE(Dark(image, 50, 45));
}

TEST(PageGuardBounds, BitmapsStretchedFarBeyondThePageShowTheirVisiblePart) {
    // A 2 x 1 bitmap, red then blue, stretched over twice the bound: the page lies in the red half
    // (not mirrored) or in the blue half (mirrored, running leftwards from far right).
    auto page = [](int32_t x, int32_t width) {
        TEmfWriter w = Page();
        TEmrStretchDIBits dib;
        dib.Bounds = {0, 0, 99, 99};
        dib.XDest = x, dib.CxSrc = 2, dib.CySrc = 1;
        dib.Bitmap = {80, 40, 120, 8};
        dib.Rop = 0x00CC0020;
        dib.CxDest = width, dib.CyDest = 100;
        uint8_t info[40] = {};
        PutU32(info, 40);
        PutI32(info + 4, 2);
        PutI32(info + 8, 1);
        PutU16(info + 12, 1);
        PutU16(info + 14, 24);
        const uint8_t row[8] = {0, 0, 255, 255, 0, 0, 0, 0}; // BGR: red, blue
        dib.Write(w, info, row);
        return test::RenderEmf(w.Finish(), 100, 100);
    };
    const QImage plain = page(0, Far);
    EXPECT_EQ(QColor(plain.pixel(50, 50)), QColor(Qt::red));
    const QImage mirrored = page(Far, -Far);
    EXPECT_EQ(QColor(mirrored.pixel(50, 50)), QColor(Qt::blue));
}

TEST(PageGuardBounds, HugeRecordExtentsNeitherOverflowNorDraw) {
    // Destination sizes whose QRect edges would overflow, and a pixel at the int limit.
    TEmfWriter w = Page();
    TEmrStretchDIBits dib; // no bitmap
    dib.Bounds = {0, 0, 0, 0};
    dib.XDest = dib.YDest = 1342177280;
    dib.CxSrc = dib.CySrc = 2013265920;
    dib.Rop = 0x00F00021; // PATCOPY
    dib.CxDest = dib.CyDest = 2013265920;
    dib.Write(w, {}, {});
    w.Record(EMR_SETPIXELV, {0x7FFFFFFF, 0x7FFFFFFF, 0});
    w.Record(EMR_INTERSECTCLIPRECT, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    w.Record(EMR_RECTANGLE, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
    gdi::TPlayResult result;
    const std::string trace = Trace(w.Finish(), &result);
    EXPECT_EQ(result.Damaged, 0u);
    EXPECT_TRUE(result.Complete);
    // The clip and the rectangle are cut to the bound.
    EXPECT_NE(trace.find("clip=-32768,-32768,65535,65535"), std::string::npos) << trace;
}

TEST(PageGuardBounds, CharactersAdvancedPastTheBoundAreLeftOut) {
    // Three characters, the second advanced a billion units: it and the third would reach far beyond
    // any page (and an opaque background as long as the run with them).
    TEmfWriter w = Page();
    TEmrExtTextOut text;
    text.Bounds = {0, 0, -1, -1};
    text.Text = {
        {10, 10}, 3, TEmrExtTextOut::StringAt, 0x1000 /*ETO_NO_RECT*/, {0, 0, -1, -1}, TEmrExtTextOut::DxAfter(3)};
    const int32_t dx[3] = {10, 1'000'000'000, 10};
    text.Write(w, u"abc", dx);
    const std::string trace = Trace(w.Finish());
    // "b" ends a billion units on: only "a" stays.
    EXPECT_NE(trace.find("\"a\""), std::string::npos) << trace;
}

TEST(PageBudget, LongDashedStrokesAreDrawnSolidThenThePageStops) {
    auto page = [] {
        TEmfWriter w = Page();
        ExtPen(w, 1 /*PS_DASH*/);
        w.Record(EMR_SELECTOBJECT, {1});
        for (int i = 0; i < 4; ++i)
            Polyline(w, EMR_POLYLINE, {{0, 10 * i}, {99, 10 * i}});
        return w.Finish();
    };
    gdi::TWorkLimits limits;
    limits.StrokedLength = 250; // the third line passes it
    limits.StrokedLengthStop = 1000;
    gdi::TPlayResult result;
    EXPECT_EQ(Trace(page(), &result, limits), "polyline box=0,0,99,0 points=2 pen=1/1/#000000\n"
                                              "polyline box=0,10,99,10 points=2 pen=1/1/#000000\n"
                                              "polyline box=0,20,99,20 points=2 pen=0/1/#000000\n"
                                              "polyline box=0,30,99,30 points=2 pen=0/1/#000000\n");
    EXPECT_TRUE(result.Complete);
    EXPECT_TRUE(result.OverBudget);
    EXPECT_TRUE(result.Work.Simplified);
    EXPECT_NE(result.Problem.find("drawn simplified"), std::string::npos) << result.Problem;
    limits.StrokedLengthStop = 250;
    EXPECT_EQ(Trace(page(), &result, limits), "polyline box=0,0,99,0 points=2 pen=1/1/#000000\n"
                                              "polyline box=0,10,99,10 points=2 pen=1/1/#000000\n");
    EXPECT_FALSE(result.Complete);
    EXPECT_TRUE(result.OverBudget);
    EXPECT_NE(result.Problem.find("drawing stopped"), std::string::npos) << result.Problem;
    EXPECT_NE(result.Problem.find("pixels stroked"), std::string::npos) << result.Problem;
}

TEST(PageBudget, UserStyledPensAreChargedForTheDashesOfTheirOwnPattern) {
    auto page = [](int32_t dash) {
        TEmfWriter w = Page();
        ExtPen(w, 0x10007 /*PS_GEOMETRIC|PS_USERSTYLE*/, {static_cast<uint32_t>(dash), static_cast<uint32_t>(dash)});
        w.Record(EMR_SELECTOBJECT, {1});
        for (int i = 0; i < 4; ++i)
            Polyline(w, EMR_POLYLINE, {{0, 10 * i}, {99, 10 * i}});
        return w.Finish();
    };
    gdi::TWorkLimits limits;
    limits.Points = 150; // four lines of one-pixel dashes make about 800
    gdi::TPlayResult result;
    Trace(page(50), &result, limits);
    EXPECT_TRUE(result.Complete) << "dashes of 50 pixels: about one per line";
    EXPECT_FALSE(result.OverBudget);
    Trace(page(1), &result, limits);
    EXPECT_FALSE(result.Complete);
    EXPECT_NE(result.Problem.find("points"), std::string::npos) << result.Problem;
}

TEST(PageBudget, ClipsPastTheBudgetBecomeTheirBoundsThenThePageStops) {
    auto page = [] {
        TEmfWriter w = Page();
        // Two rectangles side by side as the clip, then a rectangle with a hole cut out of it.
        TRgnDataHeader region;
        region.Count = 2;
        region.RgnSize = 32;
        region.Bounds = {0, 0, 90, 10};
        const TRectL rects[2] = {{0, 0, 10, 10}, {80, 0, 90, 10}};
        TEmrExtSelectClipRgn{64, RGN_COPY}.Write(w, &region, rects);
        w.Record(EMR_RECTANGLE, {0, 0, 100, 100});
        w.Record(EMR_EXCLUDECLIPRECT, {20, 0, 30, 10});
        w.Record(EMR_RECTANGLE, {0, 0, 100, 100});
        return w.Finish();
    };
    gdi::TPlayResult result;
    const std::string exact = Trace(page(), &result);
    EXPECT_FALSE(result.OverBudget);
    gdi::TWorkLimits limits;
    limits.ClipPoints = 5; // the region (ten points) is already past it
    const std::string simplified = Trace(page(), &result, limits);
    EXPECT_TRUE(result.Complete);
    EXPECT_TRUE(result.OverBudget);
    EXPECT_NE(result.Problem.find("clip points"), std::string::npos) << result.Problem;
    // Both clips are bounded the same (0..90 wide, 10 high); the exact clip has its gap and hole, the
    // simplified one, the bounds alone, lets the whole band be painted.
    EXPECT_NE(exact.find("clip=0,0,90,10"), std::string::npos) << exact;
    EXPECT_NE(simplified.find("clip=0,0,90,10"), std::string::npos) << simplified;
    limits.ClipPoints = 0;
    limits.ClipPointsStop = 5;
    Trace(page(), &result, limits);
    EXPECT_FALSE(result.Complete);
    EXPECT_NE(result.Problem.find("drawing stopped"), std::string::npos) << result.Problem;
    limits = {};
    limits.ClipOperations = 1;
    EXPECT_EQ(Trace(page(), &result, limits),
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=0,0,90,10\n");
    EXPECT_FALSE(result.Complete);
    EXPECT_NE(result.Problem.find("clip operations"), std::string::npos) << result.Problem;
}

TEST(PageBudget, PointsPastTheBudgetStopThePageBeforeTheFigureIsDrawn) {
    TEmfWriter w = Page();
    w.Record(EMR_RECTANGLE, {0, 0, 10, 10});
    TEmrPoly{{0, 0, 0, 0}, 1000}.WriteHead(w, EMR_POLYLINE16);
    for (int i = 0; i < 1000; ++i)
        WritePointS(w, static_cast<int16_t>(i % 100), static_cast<int16_t>(i / 10));
    w.End();
    gdi::TWorkLimits limits;
    limits.Points = 1500; // a thin stroke counts two per point
    gdi::TPlayResult result;
    EXPECT_EQ(Trace(w.Finish(), &result, limits), "rectangle box=0,0,9,9 pen=0/0/#000000 brush=0/#ffffff\n");
    EXPECT_FALSE(result.Complete);
    EXPECT_NE(result.Problem.find("points"), std::string::npos) << result.Problem;
}

// Every hostile page plays at A4 onto an image and ends over its budget, stopped or simplified,
// with a reason; none is drawn as if it were complete. (Time and memory are measured by
// scripts/hostile-pages.sh on the release build.)
TEST(PageBudget, HostilePagesEndOverBudgetWithAReason) {
    for (const auto& page : test::hostile::Pages()) {
        SCOPED_TRACE(page.Name);
        const std::vector<uint8_t> bytes = page.Make();
        gdi::TPlayResult result;
        test::RenderEmf(bytes, test::hostile::Width, test::hostile::Height, &result);
        EXPECT_TRUE(result.OverBudget);
        EXPECT_FALSE(result.Problem.empty());
    }
}

// The costs beyond figures each stop the page at their limit: records played, image pixels decoded
// (a bitmap on every draw, a pattern brush or image object when it is made), fonts made, the glyphs'
// area, the area painted and the pictures played inside. A picture played inside the page spends the
// page's own budget.
TEST(PageBudget, RecordsImagesFontsAndGlyphsStopThePageAtTheirLimits) {
    using namespace test::hostile;
    struct TCase {
        const char* Problem;
        std::function<void(TEmfWriter&)> Body;
        std::function<void(gdi::TWorkLimits&)> Limit;
    };
    const TCase cases[] = {
        {"records",
         [](TEmfWriter& w) {
             for (int i = 0; i < 30; ++i)
                 TEmrValue{2}.Write(w, EMR_SETBKMODE);
         },
         [](gdi::TWorkLimits& l) { l.Records = 20; }},
        {"image pixels", [](TEmfWriter& w) { RleDraw(w), RleDraw(w); },
         [](gdi::TWorkLimits& l) { l.ImagePixels = 40'000'000; }},
        {"image pixels", [](TEmfWriter& w) { RleBrush(w, 1); },
         [](gdi::TWorkLimits& l) { l.ImagePixels = 30'000'000; }},
        // Fonts are made once per process: each play asks for fonts not seen before.
        {"fonts",
         [](TEmfWriter& w) {
             static int made = 0;
             for (int i = 0; i < 5; ++i)
                 FontText(w, 2, u"Liberation Sans", -12, 2, ++made);
         },
         [](gdi::TWorkLimits& l) { l.Fonts = 3; }},
        // Ten glyphs of the page's own size.
        {"glyph area in pages", [](TEmfWriter& w) { FontText(w, 2, u"Liberation Sans", -100, 10); },
         [](gdi::TWorkLimits& l) { l.GlyphArea = 5; }},
        {"painted area in pages",
         [](TEmfWriter& w) {
             for (int i = 0; i < 10; ++i)
                 Fill(w);
         },
         [](gdi::TWorkLimits& l) { l.PaintedArea = 5; }},
        // A path gradient of eight triangles over a quarter of the page each: a mesh is charged for every
        // pixel each triangle colours, not for the figure it fills.
        {"painted area in pages", [](TEmfWriter& w) { PathGradientFills(w, 8, 1); },
         [](gdi::TWorkLimits& l) { l.PaintedArea = 4; }},
        // EMF+: a PNG image object, charged when it is made; a picture drawn five times inside the page.
        {"image pixels",
         [](TEmfWriter& w) {
             TEmfPlusWriter plus(w);
             plus.Header(false);
             plus.Object(1, EmfPlusObjectImage, CompressedImage(BlackPng(2000)));
         },
         [](gdi::TWorkLimits& l) { l.ImagePixels = 3'000'000; }},
        {"pictures played",
         [](TEmfWriter& w) {
             TEmfPlusWriter plus(w);
             plus.Header(false);
             TEmfPlusData d;
             const auto inner = NestedPicture(10, 10, nullptr, 2);
             TPlusImage{2, 0, 0, 0, 0, 0, 4, inner}.Write(d);
             plus.Object(1, EmfPlusObjectImage, d);
             for (int i = 0; i < 5; ++i)
                 plus.Record(EmfPlusDrawImage, 1, TPlusDrawImage{0, 2, {0, 0, 1, 1}, {0, 0, 9, 9}, {}}.Data(false, 0));
         },
         [](gdi::TWorkLimits& l) { l.Pictures = 3; }},
    };
    // Played onto a device that makes the fonts its text needs, as the drawing devices do.
    const auto play = [](const TCase& c, const gdi::TWorkLimits& limits) {
        TEmfWriter w = Page();
        c.Body(w);
        gdi::TBoundsDevice device;
        gdi::TPlayOptions options;
        options.Limits = limits;
        return gdi::TEmfPlayer::Play(w.Finish(), device, options);
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Problem);
        gdi::TWorkLimits limits;
        gdi::TPlayResult result = play(c, limits);
        EXPECT_TRUE(result.Complete && !result.OverBudget) << result.Problem << " (within the default budget)";
        c.Limit(limits);
        result = play(c, limits);
        EXPECT_FALSE(result.Complete);
        EXPECT_NE(result.Problem.find(std::string("(") + c.Problem + ":"), std::string::npos) << result.Problem;
    }

    gdi::TTraceDevice trace;
    gdi::TPlayWork pageWork, nestedWork;
    gdi::TWorkLimits limits;
    limits.Records = 5;
    gdi::TPageGuard page(trace, limits, pageWork);
    gdi::TPageGuard nested(page, gdi::TWorkLimits{}, nestedWork);
    for (int i = 0; i < 5; ++i)
        nested.ChargeRecord();
    nested.ChargeImage(10, 10);
    EXPECT_EQ(pageWork.Records, 5u);
    EXPECT_EQ(pageWork.ImagePixels, 100u);
    EXPECT_EQ(nestedWork.Records, 0u);
    EXPECT_THROW(nested.ChargeRecord(), gdi::EPageOverBudget);
}
