// The EMF player, record family by record family: golden traces of the device calls it makes, pixel
// probes on a QImage for what the calls look like, and its handling of damaged and hostile records.

#include "RenderCompare.h"
#include "TestPaths.h"

#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include <QColor>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace pagimo;
using namespace pagimo::emf;
using gdi::TTraceDevice;

namespace {

// A 100 x 100 pixel picture built record by record.
class TBuilder {
public:
    TBuilder() : W(100, 100) {
        for (int i = 0; i < 8; ++i)
            W.NewHandle(); // object slots 1..8 for the records below
    }
    TBuilder& Rec(uint32_t type, std::initializer_list<int32_t> words) {
        W.Record(type, words);
        return *this;
    }
    TEmfWriter W;
    std::vector<uint8_t> Bytes() { return W.Finish(); }
};

std::string Trace(std::vector<uint8_t> bytes, gdi::TPlayResult* result = nullptr) {
    TTraceDevice trace;
    const auto r = gdi::TEmfPlayer::Play(bytes, trace, gdi::TPlayOptions{});
    if (result) *result = r;
    return trace.Text();
}

void Font(TBuilder& b, uint32_t handle, int32_t height, const std::u16string& face, uint8_t charset = 0,
          int32_t escapement = 0) {
    TEmrExtCreateFontIndirectW font;
    font.Handle = handle;
    font.Font.Height = height;
    font.Font.Escapement = font.Font.Orientation = escapement;
    font.Font.Weight = 400;
    font.Font.CharSet = charset;
    font.Font.FaceName = face;
    font.Write(b.W);
}

void TextW(TBuilder& b, int32_t x, int32_t y, const std::u16string& text, bool withDx = true) {
    TEmrExtTextOut r;
    r.Bounds = {0, 0, -1, -1};
    r.Text.Reference = {x, y};
    r.Text.Chars = static_cast<uint32_t>(text.size());
    r.Text.OffString = TEmrExtTextOut::StringAt;
    r.Text.Rect = {0, 0, -1, -1};
    r.Text.OffDx = withDx ? TEmrExtTextOut::DxAfter(text.size()) : 0;
    const std::vector<int32_t> dx(withDx ? text.size() : 0, 10);
    r.Write(b.W, text, dx);
}

// STRETCHDIBITS of a 2 x 2, 24-bit bitmap: bottom row red, green; top row blue, white.
void Dib2x2(TBuilder& b, int32_t x, int32_t y, int32_t w, int32_t h, bool topDown) {
    constexpr uint32_t head = TEmrStretchDIBits::PayloadAt;
    TEmrStretchDIBits r;
    r.Bounds = {x, y, x + w - 1, y + h - 1};
    r.XDest = x, r.YDest = y, r.CxSrc = 2, r.CySrc = 2;
    r.Bitmap = {head, 40, head + 40, 16};
    r.Rop = 0x00CC0020;
    r.CxDest = w, r.CyDest = h;
    uint8_t info[40] = {};
    PutU32(info, 40);
    PutI32(info + 4, 2);
    PutI32(info + 8, topDown ? -2 : 2);
    PutU16(info + 12, 1);
    PutU16(info + 14, 24);
    // Rows are stored first-to-last; each 2-pixel 24-bit row is padded to 8 bytes. BGR order.
    const uint8_t bottom[8] = {0, 0, 255, 0, 255, 0, 0, 0};
    const uint8_t top[8] = {255, 0, 0, 255, 255, 255, 0, 0};
    uint8_t bits[16];
    std::copy_n(topDown ? top : bottom, 8, bits);
    std::copy_n(topDown ? bottom : top, 8, bits + 8);
    r.Write(b.W, info, bits);
}

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

} // namespace

TEST(PlayerTrace, ShapesWithPensBrushesAndStockObjects) {
    TBuilder b;
    b.Rec(EMR_CREATEPEN, {1, 0 /*PS_SOLID*/, 3, 0, 0x0000FF})
        .Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_CREATEBRUSHINDIRECT, {2, 2 /*BS_HATCHED*/, 0x00FF00, 4 /*HS_CROSS*/})
        .Rec(EMR_SELECTOBJECT, {2})
        .Rec(EMR_RECTANGLE, {10, 10, 30, 20})
        .Rec(EMR_ELLIPSE, {0, 0, 50, 40})
        .Rec(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000005)}) // NULL_BRUSH
        .Rec(EMR_ROUNDRECT, {0, 0, 20, 20, 4, 4})
        .Rec(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000008)}) // NULL_PEN
        .Rec(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000004)}) // BLACK_BRUSH
        .Rec(EMR_PIE, {0, 0, 40, 40, 40, 20, 20, 0})
        .Rec(EMR_DELETEOBJECT, {1});
    EXPECT_EQ(Trace(b.Bytes()), "rectangle box=10,10,29,19 pen=0/3/#ff0000 brush=2/#00ff00\n"
                                "ellipse box=0,0,49,39 pen=0/3/#ff0000 brush=2/#00ff00\n"
                                "roundrect box=0,0,19,19 pen=0/3/#ff0000\n"
                                "pie box=19.5,0.0062853,39,19.9756 brush=0/#000000\n");
}

TEST(PlayerTrace, PolylinesPolygonsAndBeziersIn16And32BitForms) {
    TBuilder b;
    b.Rec(EMR_POLYLINE16, {0, 0, 10, 10, 3, (5 << 16) | 0, (5 << 16) | 10, (10 << 16) | 10})
        .Rec(EMR_POLYGON, {0, 0, 10, 10, 3, 0, 0, 10, 0, 10, 10})
        .Rec(EMR_POLYPOLYGON16, {0, 0, 10, 10, 2, 6, 3, 3, 0, 1, 1 << 16, 2 << 16 | 2, 3 << 16 | 3, 4 << 16 | 2})
        .Rec(EMR_POLYBEZIER16, {0, 0, 10, 10, 4, 0, 10, 10 << 16 | 10, 20 << 16})
        .Rec(EMR_MOVETOEX, {1, 1})
        .Rec(EMR_LINETO, {9, 1})
        .Rec(EMR_POLYLINETO16, {0, 0, 10, 10, 1, 9 << 16 | 9});
    EXPECT_EQ(Trace(b.Bytes()), "polyline box=0,5,10,10 points=3 pen=0/0/#000000\n"
                                "polygon box=0,0,10,10 points=3 pen=0/0/#000000 brush=0/#ffffff\n"
                                "polygon box=0,0,3,4 points=6 figures=2 pen=0/0/#000000 brush=0/#ffffff\n"
                                "polybezier box=0,0,7.5,20 points=4 pen=0/0/#000000\n"
                                "polyline box=1,1,9,1 points=2 pen=0/0/#000000\n"
                                "polyline box=9,1,9,9 points=2 pen=0/0/#000000\n");
}

TEST(PlayerTrace, PolyDrawIn16And32BitFormsDrawsTheSameFigure) {
    // Move to (0,0), line to (10,0), line to (10,10) and close: types 6, 2, 2|1.
    const int32_t types = 0x00030206;
    TBuilder wide;
    wide.Rec(EMR_POLYDRAW, {0, 0, 10, 10, 3, 0, 0, 10, 0, 10, 10, types});
    TBuilder small;
    small.Rec(EMR_POLYDRAW16, {0, 0, 10, 10, 3, 0, 10, 10 << 16 | 10, types});
    const std::string t = Trace(wide.Bytes());
    EXPECT_NE(t.find("box=0,0,10,10"), std::string::npos) << t;
    EXPECT_EQ(Trace(small.Bytes()), t);
}

TEST(PlayerTrace, MappingModesAndWorldTransformsComposeAndRestore) {
    TBuilder b;
    b.Rec(EMR_SETMAPMODE, {8 /*MM_ANISOTROPIC*/})
        .Rec(EMR_SETWINDOWEXTEX, {1000, 1000})
        .Rec(EMR_SETVIEWPORTEXTEX, {100, -100})
        .Rec(EMR_SETVIEWPORTORGEX, {0, 100})
        .Rec(EMR_SAVEDC, {});
    TEmrSetWorldTransform{{2, 0, 0, 2, 5, 0}}.Write(b.W);
    b.Rec(EMR_RECTANGLE, {0, 0, 100, 100}).Rec(EMR_RESTOREDC, {-1}).Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    b.Rec(EMR_SETMAPMODE, {2 /*MM_LOMETRIC*/}).Rec(EMR_RECTANGLE, {0, 0, 100, -100});
    const std::string t = Trace(b.Bytes());
    EXPECT_EQ(t, "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff xform=0.2,0,0,-0.2,0.5,100\n"
                 "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff xform=0.1,0,0,-0.1,0,100\n"
                 "rectangle box=0,-100,99,-1 pen=0/0/#000000 brush=0/#ffffff xform=0.377953,0,0,-0.377953,0,100\n");
}

TEST(PlayerTrace, TextRecordsWideAnsiAndSmall) {
    TBuilder b;
    Font(b, 1, -20, u"Arial", 238 /*EASTEUROPE_CHARSET*/);
    b.Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETTEXTCOLOR, {0x0000FF}).Rec(EMR_SETBKMODE, {1}).Rec(EMR_SETTEXTALIGN, {24});
    TextW(b, 5, 50, u"Žluťoučký kůň");
    // EXTTEXTOUTA in code page 1250: "ěš" is 0xEC 0x9A.
    TEmrExtTextOut ansi;
    ansi.Bounds = {0, 0, -1, -1};
    ansi.Text = {{5, 70}, 2, TEmrExtTextOut::StringAt, 0, {0, 0, -1, -1}, 0};
    const uint8_t cp1250[2] = {0xEC, 0x9A};
    ansi.Write(b.W, EMR_EXTTEXTOUTA, cp1250);
    // SMALLTEXTOUT with 8-bit characters and no rectangle.
    const uint8_t small[2] = {'O', 'K'};
    TEmrSmallTextOut{{5, 90}, 2, TEmrSmallTextOut::NoRect | TEmrSmallTextOut::SmallChars}.Write(b.W, nullptr, small);
    EXPECT_EQ(Trace(b.Bytes()), "text at=5,50 \"Žluťoučký kůň\" font=Arial/-20/400 color=#ff0000 align=24 advance=130\n"
                                "text at=5,70 \"ěš\" font=Arial/-20/400 color=#ff0000 align=24\n"
                                "text at=5,90 \"OK\" font=Arial/-20/400 color=#ff0000 align=24\n");
}

TEST(PlayerTrace, ClippingIntersectsExcludesSelectsRegionsAndResets) {
    TBuilder b;
    b.Rec(EMR_INTERSECTCLIPRECT, {10, 10, 50, 50}).Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    b.Rec(EMR_SAVEDC, {}).Rec(EMR_INTERSECTCLIPRECT, {20, 0, 100, 30}).Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    b.Rec(EMR_RESTOREDC, {-1}).Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    // EXTSELECTCLIPRGN RGN_COPY with one rectangle, then a reset.
    b.Rec(EMR_EXTSELECTCLIPRGN, {48, 5, 32, 1, 1, 16, 60, 60, 70, 70, 60, 60, 70, 70})
        .Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    b.Rec(EMR_EXTSELECTCLIPRGN, {0, 5}).Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    b.Rec(EMR_EXCLUDECLIPRECT, {0, 0, 100, 50}).Rec(EMR_RECTANGLE, {0, 0, 100, 100});
    EXPECT_EQ(Trace(b.Bytes()),
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=10,10,50,50\n"
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=20,10,50,30\n"
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=10,10,50,50\n"
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=60,60,70,70\n"
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff\n"
              "rectangle box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=-32768,-32768,65535,65535\n");
}

TEST(PlayerTrace, PathsAreFilledStrokedAndClipped) {
    TBuilder b;
    b.Rec(EMR_BEGINPATH, {})
        .Rec(EMR_MOVETOEX, {10, 10})
        .Rec(EMR_LINETO, {50, 10})
        .Rec(EMR_POLYBEZIERTO16, {0, 0, 0, 0, 3, 60 << 16 | 50, 60 << 16 | 60, 50 << 16 | 60})
        .Rec(EMR_CLOSEFIGURE, {})
        .Rec(EMR_ENDPATH, {})
        .Rec(EMR_STROKEANDFILLPATH, {0, 0, 0, 0})
        .Rec(EMR_BEGINPATH, {})
        .Rec(EMR_RECTANGLE, {0, 0, 40, 40})
        .Rec(EMR_ENDPATH, {})
        .Rec(EMR_SELECTCLIPPATH, {5})
        .Rec(EMR_ELLIPSE, {0, 0, 100, 100});
    EXPECT_EQ(Trace(b.Bytes()), "path box=10,10,60,55.2254 pen=0/0/#000000 brush=0/#ffffff\n"
                                "ellipse box=0,0,99,99 pen=0/0/#000000 brush=0/#ffffff clip=0,0,39,39\n");
}

TEST(PlayerTrace, BitmapRecordsKeepSourceAndDestination) {
    TBuilder b;
    Dib2x2(b, 10, 10, 20, 20, false);
    b.Rec(EMR_BITBLT, {0, 0, 9, 9, 0, 0, 10, 10, static_cast<int32_t>(0x00F00021), 0, 0, 0x3F800000, 0, 0, 0x3F800000,
                       0, 0, 0, 0, 0, 0, 0,  0});
    EXPECT_EQ(Trace(b.Bytes()), "dib dest=10,10,20,20 src=0,0,2,2 rop=00cc0020 bytes=40+16\n"
                                "dib dest=0,0,10,10 src=0,0,10,10 rop=00f00021 bytes=0+0\n");
}

TEST(PlayerPixels, FillsOutlinesAndClipsWhereGdiWould) {
    TBuilder b;
    b.Rec(EMR_CREATEBRUSHINDIRECT, {1, 0, 0x0000FF, 0})
        .Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_RECTANGLE, {10, 10, 20, 20}) // black outline 10..19, red inside
        .Rec(EMR_INTERSECTCLIPRECT, {50, 50, 60, 60})
        .Rec(EMR_RECTANGLE, {40, 40, 70, 70});
    const QImage image = test::RenderEmf(b.Bytes(), 100, 100);
    EXPECT_EQ(At(image, 10, 15), QColor(Qt::black));
    EXPECT_EQ(At(image, 19, 15), QColor(Qt::black));
    EXPECT_EQ(At(image, 20, 15), QColor(Qt::white)) << "the right edge is excluded";
    EXPECT_EQ(At(image, 15, 15), QColor(Qt::red));
    EXPECT_EQ(At(image, 55, 55), QColor(Qt::red));
    EXPECT_EQ(At(image, 45, 45), QColor(Qt::white)) << "outside the clip";
    EXPECT_EQ(At(image, 60, 55), QColor(Qt::white)) << "the clip excludes its right edge";
}

TEST(PlayerPixels, BottomUpAndTopDownBitmapsLandTheSameWayUp) {
    for (bool topDown : {false, true}) {
        TBuilder b;
        Dib2x2(b, 0, 0, 100, 100, topDown);
        b.Rec(EMR_SETSTRETCHBLTMODE, {3});
        const QImage image = test::RenderEmf(b.Bytes(), 100, 100);
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        EXPECT_EQ(At(image, 10, 10), QColor(Qt::blue));
        EXPECT_EQ(At(image, 90, 10), QColor(Qt::white));
        EXPECT_EQ(At(image, 10, 90), QColor(Qt::red));
        EXPECT_EQ(At(image, 90, 90), QColor(Qt::green));
    }
}

TEST(PlayerPixels, TextIsDrawnInTheTextColour) {
    TBuilder b;
    Font(b, 1, -40, u"Arial");
    b.Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETTEXTCOLOR, {0xFF0000}).Rec(EMR_SETBKMODE, {1});
    TextW(b, 5, 5, u"HH", false);
    const QImage image = test::RenderEmf(b.Bytes(), 100, 100);
    int blue = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x)
            blue += At(image, x, y) == QColor(Qt::blue);
    EXPECT_GT(blue, 50);
}

TEST(PlayerRobustness, SkipsUnknownAndDamagedRecordsAndPlaysOn) {
    TBuilder b;
    b.Rec(250, {1, 2, 3})                             // unknown type: skipped by its size
        .Rec(EMR_RECTANGLE, {1, 2})                   // too short for its type
        .Rec(EMR_SELECTOBJECT, {999})                 // beyond the handle table
        .Rec(EMR_POLYGON16, {0, 0, 0, 0, 0x40000000}) // a count that cannot fit
        .Rec(EMR_RESTOREDC, {-5})                     // nothing saved
        .Rec(EMR_SETWINDOWEXTEX, {0, 0})              // would divide by zero
        .Rec(EMR_EXTSELECTCLIPRGN, {64, 5, 32, 1, 0x7FFFFFFF, 16, 0, 0, 1, 1})
        .Rec(EMR_RECTANGLE, {0, 0, 10, 10});
    // An EMF+ comment: skipped, the GDI record after it is played.
    uint8_t plus[16];
    PutU32(plus, EmfPlusSignature);
    PutU32(plus + 4, 0x4001); // an EMF+ header record: type, flags, size, data size
    PutU32(plus + 8, 0);
    PutU32(plus + 12, 12);
    TEmrComment::Write(b.W, plus);
    b.Rec(EMR_ELLIPSE, {0, 0, 10, 10});
    gdi::TPlayResult result;
    EXPECT_EQ(Trace(b.Bytes(), &result), "rectangle box=0,0,9,9 pen=0/0/#000000 brush=0/#ffffff\n"
                                         "ellipse box=0,0,9,9 pen=0/0/#000000 brush=0/#ffffff\n");
    EXPECT_EQ(result.Skipped, 1u);
    EXPECT_EQ(result.Damaged, 4u);
    EXPECT_TRUE(result.Complete);
}

TEST(PlayerRobustness, ABrokenRecordChainEndsPlaybackIncomplete) {
    TBuilder b;
    b.Rec(EMR_RECTANGLE, {0, 0, 10, 10}).Rec(EMR_ELLIPSE, {0, 0, 10, 10});
    auto bytes = b.Bytes();
    PutU32(bytes.data() + 108 + 24 + 4, 0x10000); // the ellipse claims to run far past the end
    gdi::TPlayResult result;
    EXPECT_EQ(Trace(bytes, &result), "rectangle box=0,0,9,9 pen=0/0/#000000 brush=0/#ffffff\n");
    EXPECT_FALSE(result.Complete);
    bytes.resize(40);
    EXPECT_EQ(Trace(bytes, &result), "");
    EXPECT_FALSE(result.Complete);
}

TEST(PlayerRobustness, FrameMapsOntoTheDestinationRectangle) {
    TEmfWriter w(200, 100);
    const TEmfPicture picture(w.Finish());
    const QTransform t = gdi::TEmfPlayer::FrameTransform(picture.Header(), QRectF(10, 20, 100, 50));
    EXPECT_NEAR(t.map(QPointF(0, 0)).x(), 10, 1e-6);
    EXPECT_NEAR(t.map(QPointF(200, 100)).x(), 110, 0.05);
    EXPECT_NEAR(t.map(QPointF(200, 100)).y(), 70, 0.05);
}

TEST(PlayerRobustness, SavedFuzzInputsReplayOnEveryDevice) {
    const auto dir = test::SourceDir() / "fuzz" / "corpus" / "emfplay";
    int played = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".emf") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        SCOPED_TRACE(entry.path().string());
        gdi::TPlayResult result;
        test::RenderEmf(bytes, 64, 64, &result);
        TTraceDevice trace;
        gdi::TEmfPlayer::Play(bytes, trace, gdi::TPlayOptions{});
        gdi::TEmfRecorder recorder(64, 64);
        gdi::TEmfPlayer::Play(bytes, recorder, gdi::TPlayOptions{});
        EXPECT_FALSE(recorder.Finish().Empty());
        ++played;
    }
    EXPECT_GE(played, 3);
}

TEST(PlayerPixels, RightToLeftReadingPutsTheFirstCharacterRightmost) {
    auto render = [](uint32_t options) {
        TBuilder b;
        Font(b, 1, -40, u"Arial");
        b.Rec(EMR_SELECTOBJECT, {1}).Rec(EMR_SETBKMODE, {1});
        TEmrExtTextOut text;
        text.Bounds = {0, 0, -1, -1};
        text.Text = {{5, 5}, 2, TEmrExtTextOut::StringAt, options, {0, 0, -1, -1}, TEmrExtTextOut::DxAfter(2)};
        const int32_t dx[2] = {20, 40};
        text.Write(b.W, u"IW", dx);
        return test::RenderEmf(b.Bytes(), 100, 100);
    };
    // The upright bar of the "I" is the column with the most ink: at the left with left-to-right reading,
    // after the 40-pixel "W" with right-to-left reading.
    auto barColumn = [](const QImage& image) {
        int best = 0, bestInk = -1;
        for (int x = 0; x < 100; ++x) {
            int ink = 0;
            for (int y = 0; y < 60; ++y)
                ink += qGray(image.pixel(x, y)) < 128;
            if (ink > bestInk) best = x, bestInk = ink;
        }
        return best;
    };
    EXPECT_LT(barColumn(render(0)), 20);
    EXPECT_GT(barColumn(render(0x80 /*ETO_RTLREADING*/)), 40);
}
