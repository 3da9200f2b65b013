// Shapes and images on a page canvas in device pixels, and images read from stored descriptions.

#include "controls/GraphicControls.h"
#include "TestPaths.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Dib.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Metafile.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace pagimo;
using namespace pagimo::engine;
using controls::TQRImage;
using controls::TQRShape;
using system::TComponent;

namespace {

// Keeps what reaches the device: figures and bitmaps with the state they were drawn in.
class TRecordingDevice : public gdi::TDevice {
public:
    struct TFigure {
        gdi::TShape Shape;
        gdi::TDrawState State;
    };
    struct TBitmapDraw {
        QRect Source, Destination;
        int StretchBltMode;
        QRectF Clip; // empty when unclipped
        size_t InfoSize;
    };
    std::vector<TFigure> Figures;
    std::vector<TBitmapDraw> Bitmaps;

    void DrawShape(const gdi::TShape& shape, const gdi::TDrawState& state) override {
        Figures.push_back({shape, state});
    }
    void DrawText(const gdi::TTextRun&, const gdi::TDrawState&) override {}
    void DrawDib(const gdi::TDibDraw& draw, const gdi::TDrawState& state) override {
        Bitmaps.push_back({draw.Source, draw.Destination, state.StretchBltMode,
                           state.Clip ? state.Clip->boundingRect() : QRectF(), draw.Dib.Info.size()});
    }
    gdi::TDeviceCaps Caps() const override { return gdi::TDeviceCaps::Screen(1920, 1440); }
};

// A printer-like target: two device pixels per tenth of a millimetre, an unprintable margin of 10.
class TCanvasTarget : public TQRTraceTarget {
public:
    TRecordingDevice Device;
    std::unique_ptr<gdi::TCanvas> Canvas = std::make_unique<gdi::TCanvas>(Device);

    int32_t DeviceX(Extended x) const override { return Rnd((x - 10) * 2); }
    int32_t DeviceY(Extended y) const override { return Rnd((y - 10) * 2); }
    Extended ScaleX() const override { return 2; }
    Extended ScaleY() const override { return 2; }
    gdi::TCanvas* PageCanvas() const override { return Canvas.get(); }

    // Frame strips, with the number of bitmaps drawn before each.
    struct TFill {
        controls::TRect Rect;
        size_t BitmapsBefore;
    };
    std::vector<TFill> Fills;
    void FillRect(const controls::TRect& rect, controls::TColor) override {
        Fills.push_back({rect, Device.Bitmaps.size()});
    }
};

QImage Solid(int w, int h, QRgb rgb) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(rgb);
    return image;
}

class GraphicControls : public ::testing::Test {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    TQRBand* B = nullptr;
    TCanvasTarget Target;

    void SetUp() override {
        B = TComponent::Create<TQRBand>(R.get());
        B->SetName("Detail");
        B->SetParentComponent(R.get());
        B->SetBandType(rbDetail);
        B->TQRBasePanel::SetBounds(0, 0, 651, 400);
        R->SetPrintTarget(&Target);
    }
    // Places a control at left 100, top 200 with the given size, all in tenths of a millimetre.
    template <class C> C* Place(Extended width, Extended height) {
        C* c = TComponent::Create<C>(R.get());
        c->SetParentComponent(B);
        c->Size()->SetUnits(controls::TQRUnit::Native);
        c->Size()->SetLeft(100);
        c->Size()->SetTop(200);
        c->Size()->SetWidth(width);
        c->Size()->SetHeight(height);
        return c;
    }
    // Prints at band offset (127, 127): the control's left edge lands at device x 434, its top at 634.
    void Print(controls::TQRPrintable* c) {
        c->StartPrinting();
        c->PrintAt(127, 127);
        c->EndPrinting();
    }
};

struct TShapeRow {
    controls::TQRShapeType Shape;
    gdi::TShapeKind Kind;
    std::vector<QRect> Expected; // boxes, or lines as QRect(QPoint(from), QPoint(to))
};

class ShapeGeometry : public GraphicControls, public ::testing::WithParamInterface<TShapeRow> {};

TEST_P(ShapeGeometry, DrawsInDevicePixels) {
    const TShapeRow& row = GetParam();
    // 301 wide: the middle lies on a half tenth (L + W / 2 = 377.5, device 735).
    auto* s = Place<TQRShape>(301, 150);
    s->SetShape(row.Shape);
    s->Pen()->SetWidth(3);
    s->Pen()->SetColor(0x0000FF);
    s->Brush()->SetColor(0x00FF00);
    Print(s);
    ASSERT_EQ(Target.Device.Figures.size(), row.Expected.size());
    for (size_t i = 0; i < row.Expected.size(); ++i) {
        const auto& f = Target.Device.Figures[i];
        EXPECT_EQ(f.Shape.Kind, row.Kind);
        if (row.Kind == gdi::TShapeKind::skPolyline) {
            ASSERT_EQ(f.Shape.Points.size(), 2u);
            EXPECT_EQ(QRect(f.Shape.Points[0].toPoint(), f.Shape.Points[1].toPoint()), row.Expected[i]) << i;
        } else {
            EXPECT_EQ(f.Shape.Box, row.Expected[i]);
            EXPECT_EQ(f.State.Brush.Color, 0x00FF00u);
            EXPECT_EQ(f.State.Brush.Style, gdi::BS_SOLID);
        }
        EXPECT_EQ(f.State.Pen.Width, 3) << "the pen width counts in device pixels, not scaled";
        EXPECT_EQ(f.State.Pen.Color, 0x0000FFu);
    }
    EXPECT_TRUE(Target.Device.Bitmaps.empty());
}

// L = 227, T = 327, L + W = 528, T + H = 477: device x 434 and 1036, y 634 and 934.
INSTANTIATE_TEST_SUITE_P(
    GraphicControls, ShapeGeometry,
    ::testing::Values(
        TShapeRow{controls::qrsRectangle, gdi::TShapeKind::skRectangle, {QRect(QPoint(434, 634), QPoint(1036, 934))}},
        TShapeRow{controls::qrsCircle, gdi::TShapeKind::skEllipse, {QRect(QPoint(434, 634), QPoint(1036, 934))}},
        TShapeRow{controls::qrsVertLine, gdi::TShapeKind::skPolyline, {QRect(QPoint(735, 634), QPoint(735, 934))}},
        TShapeRow{controls::qrsHorLine, gdi::TShapeKind::skPolyline, {QRect(QPoint(434, 784), QPoint(1036, 784))}},
        TShapeRow{controls::qrsTopAndBottom,
                  gdi::TShapeKind::skPolyline,
                  {QRect(QPoint(434, 634), QPoint(1036, 634)), QRect(QPoint(434, 934), QPoint(1036, 934))}},
        TShapeRow{controls::qrsRightAndLeft,
                  gdi::TShapeKind::skPolyline,
                  {QRect(QPoint(434, 634), QPoint(434, 934)), QRect(QPoint(1036, 634), QPoint(1036, 934))}}));

TEST_F(GraphicControls, ShapeDrawsOnlyOnTheFinalPassWhenEnabledAndNeverAFrame) {
    auto* s = Place<TQRShape>(100, 100);
    s->Frame()->SetDrawTop(true);
    s->Brush()->SetStyle(controls::TBrushStyle::bsDiagCross);
    s->Pen()->SetStyle(controls::TPenStyle::psDot);
    Print(s);
    ASSERT_EQ(Target.Device.Figures.size(), 1u);
    EXPECT_EQ(Target.Device.Figures[0].State.Brush.Style, gdi::BS_HATCHED);
    EXPECT_EQ(Target.Device.Figures[0].State.Brush.Hatch, gdi::HS_DIAGCROSS);
    EXPECT_EQ(Target.Device.Figures[0].State.Pen.Style, gdi::PS_DOT);
    EXPECT_TRUE(Target.Fills.empty()) << "a shape draws no frame";

    R->SetFinalPass(false);
    Print(s);
    R->SetFinalPass(true);
    s->SetEnabled(false);
    Print(s);
    EXPECT_EQ(Target.Device.Figures.size(), 1u) << "nothing on another pass or while disabled";
}

TEST_F(GraphicControls, NewControlsHaveTheirDefaultSizes) {
    auto* s = TComponent::Create<TQRShape>(R.get());
    auto* i = TComponent::Create<TQRImage>(R.get());
    EXPECT_EQ(s->Width(), 65);
    EXPECT_EQ(s->Height(), 65);
    EXPECT_EQ(i->Width(), 105);
    EXPECT_EQ(i->Height(), 105);
}

TEST_F(GraphicControls, ShapeOnABandPrintsDuringARun) {
    auto* s = Place<TQRShape>(100, 50);
    s->SetShape(controls::qrsHorLine);
    R->CreateReport(false);
    ASSERT_EQ(Target.Device.Figures.size(), 1u);
    EXPECT_EQ(Target.Device.Figures[0].Shape.Kind, gdi::TShapeKind::skPolyline);
}

// A 48 x 24 pixel picture is 127 x 63.5 tenths at 96 per inch: 254 x 127 device pixels here.
TEST_F(GraphicControls, ImageAtNaturalSizeIsClippedToTheControl) {
    auto* img = Place<TQRImage>(300, 150);
    graphics::TBitmap bitmap;
    bitmap.SetImage(Solid(48, 24, qRgb(10, 20, 30)));
    graphics::TPicture p;
    p.SetGraphic(bitmap.Clone());
    img->SetPicture(p);
    Print(img);
    ASSERT_EQ(Target.Device.Bitmaps.size(), 1u);
    const auto& d = Target.Device.Bitmaps[0];
    EXPECT_EQ(d.Destination, QRect(434, 634, 254, 127));
    EXPECT_EQ(d.Source, QRect(0, 0, 48, 24));
    EXPECT_EQ(d.StretchBltMode, gdi::COLORONCOLOR);
    EXPECT_EQ(d.Clip, QRectF(434, 634, 600, 300)) << "clipped to the control";
    EXPECT_EQ(Target.Canvas->DrawState().Clip, nullptr) << "the clip is removed afterwards";
}

// An 8 x 2 pixel bitmap of one bit per pixel.
std::vector<uint8_t> MonochromeBmp() {
    std::vector<uint8_t> f(14 + 40 + 8 + 8, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, static_cast<uint32_t>(f.size()));
    put32(10, 14 + 40 + 8);
    put32(14, 40);
    put32(18, 8);
    put32(22, 2);
    f[26] = 1;           // planes
    f[28] = 1;           // bits per pixel
    put32(58, 0xFFFFFF); // colour 1 white
    f[62] = 0xAA, f[66] = 0x55;
    return f;
}

TEST_F(GraphicControls, MonochromeBitmapKeepsTheStretchMode) {
    auto* img = Place<TQRImage>(300, 150);
    graphics::TPicture p;
    p.LoadFromBytes(MonochromeBmp());
    ASSERT_TRUE(p.Bitmap() && p.Bitmap()->Monochrome());
    img->SetPicture(p);
    img->SetStretch(true);
    Print(img);
    ASSERT_EQ(Target.Device.Bitmaps.size(), 1u);
    EXPECT_NE(Target.Device.Bitmaps[0].StretchBltMode, gdi::COLORONCOLOR);
    EXPECT_EQ(Target.Device.Bitmaps[0].Source, QRect(0, 0, 8, 2));
}

TEST_F(GraphicControls, CentredImageMovesByHalfTheDifferenceTruncated) {
    auto* img = Place<TQRImage>(300, 150);
    graphics::TBitmap bitmap;
    bitmap.SetImage(Solid(48, 24, qRgb(10, 20, 30)));
    graphics::TPicture p;
    p.SetGraphic(bitmap.Clone());
    img->SetPicture(p);
    img->SetCenter(true);
    Print(img);
    ASSERT_EQ(Target.Device.Bitmaps.size(), 1u);
    // (600 - 254) / 2 = 173, (300 - 127) / 2 = 86.5 -> 86.
    EXPECT_EQ(Target.Device.Bitmaps[0].Destination, QRect(434 + 173, 634 + 86, 254, 127));
}

TEST_F(GraphicControls, CentredPictureLargerThanTheControlIsClippedOnAllSides) {
    auto* img = Place<TQRImage>(100, 50); // 200 x 100 device pixels
    graphics::TBitmap bitmap;
    bitmap.SetImage(Solid(95, 49, qRgb(1, 2, 3))); // 502.71 x 259.29 device pixels -> 503 x 259
    graphics::TPicture p;
    p.SetGraphic(bitmap.Clone());
    img->SetPicture(p);
    img->SetCenter(true);
    Print(img);
    ASSERT_EQ(Target.Device.Bitmaps.size(), 1u);
    const auto& d = Target.Device.Bitmaps[0];
    // (200 - 503) / 2 = -151.5 -> -151; (100 - 259) / 2 = -79.5 -> -79: truncated toward zero.
    EXPECT_EQ(d.Destination, QRect(434 - 151, 634 - 79, 503, 259));
    const QRectF control(434, 634, 200, 100);
    EXPECT_EQ(d.Clip, control);
    EXPECT_LT(d.Destination.left(), control.left());
    EXPECT_LT(d.Destination.top(), control.top());
    EXPECT_GT(d.Destination.x() + d.Destination.width(), control.right());
    EXPECT_GT(d.Destination.y() + d.Destination.height(), control.bottom());
}

TEST_F(GraphicControls, StretchedJpegFillsTheControlUnclipped) {
    auto* img = Place<TQRImage>(300, 150);
    graphics::TJpegImage jpeg;
    jpeg.SetImage(Solid(40, 30, qRgb(200, 100, 50)));
    graphics::TPicture p;
    p.SetGraphic(jpeg.Clone());
    img->SetPicture(p);
    img->SetStretch(true);
    img->Frame()->SetDrawBottom(true);
    Print(img);
    ASSERT_EQ(Target.Device.Bitmaps.size(), 1u);
    EXPECT_EQ(Target.Device.Bitmaps[0].Destination, QRect(434, 634, 600, 300));
    EXPECT_EQ(Target.Device.Bitmaps[0].Source, QRect(0, 0, 40, 30));
    EXPECT_TRUE(Target.Device.Bitmaps[0].Clip.isEmpty());
    ASSERT_EQ(Target.Fills.size(), 1u);
    EXPECT_EQ(Target.Fills[0].BitmapsBefore, 1u) << "the frame lies on top of the picture";
    EXPECT_EQ(Target.Fills[0].Rect.Bottom, 934);
}

TEST_F(GraphicControls, MetafileIsPlayedIntoThePictureRectangleUnderTheClip) {
    gdi::TMetafileCanvas recorder(96, 48);
    recorder.Brush.Color = 0x123456;
    recorder.Rectangle(0, 0, 96, 48);
    graphics::TPicture p;
    p.SetGraphic(std::make_unique<graphics::TMetafile>(recorder.Finish()));
    ASSERT_EQ(p.Width(), 96);
    // Larger than the control (96 pixels are 508 device pixels here): the played rectangle is cut.
    auto* img = Place<TQRImage>(100, 100);
    img->SetPicture(p);
    Print(img);
    const TRecordingDevice::TFigure* box = nullptr;
    for (const auto& f : Target.Device.Figures) {
        if (f.State.Brush.Color == 0x123456u) box = &f;
    }
    ASSERT_NE(box, nullptr) << "the metafile was played";
    ASSERT_NE(box->State.Clip, nullptr);
    EXPECT_EQ(box->State.Clip->boundingRect(), QRectF(434, 634, 200, 200));
    const QPointF topLeft = box->State.Transform.map(QPointF(box->Shape.Box.topLeft()));
    const QPointF bottomRight = box->State.Transform.map(QPointF(96, 48));
    EXPECT_NEAR(topLeft.x(), 434, 1);
    EXPECT_NEAR(topLeft.y(), 634, 1);
    EXPECT_NEAR(bottomRight.x() - topLeft.x(), 508, 3) << "its natural size in device pixels";
    EXPECT_EQ(Target.Canvas->DrawState().Clip, nullptr);
}

TEST_F(GraphicControls, AutoSizeTakesThePictureSizeAndKeepsThePlace) {
    auto* img = TComponent::Create<TQRImage>(R.get());
    img->SetParentComponent(B);
    img->SetBounds(12, 7, 105, 105);
    img->SetAutoSize(true);
    EXPECT_EQ(img->Width(), 105) << "an empty picture leaves the size alone";
    EXPECT_EQ(img->Height(), 105);
    graphics::TBitmap bitmap;
    bitmap.SetImage(Solid(217, 66, qRgb(0, 0, 0)));
    graphics::TPicture p;
    p.SetGraphic(bitmap.Clone());
    img->SetPicture(p);
    EXPECT_EQ(img->Left(), 12);
    EXPECT_EQ(img->Top(), 7);
    EXPECT_EQ(img->Width(), 217);
    EXPECT_EQ(img->Height(), 66);
    EXPECT_TRUE(img->Opaque());
    img->Picture()->Clear();
    EXPECT_EQ(img->Width(), 217) << "clearing the picture keeps the size";
    EXPECT_FALSE(img->Opaque());
}

// ---- Stored descriptions ----

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) s += "\n      ";
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

std::vector<uint8_t> Prefixed(const std::string& className, const std::vector<uint8_t>& file, bool withCount) {
    std::vector<uint8_t> data;
    data.reserve(1 + className.size() + 4 + file.size());
    data.push_back(static_cast<uint8_t>(className.size()));
    for (char c : className)
        data.push_back(static_cast<uint8_t>(c));
    if (withCount) {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<uint8_t>(file.size() >> (8 * i)));
    }
    for (uint8_t b : file)
        data.push_back(b);
    return data;
}

std::string FormWithImages(const std::string& first, const std::string& second) {
    return "object QRReport1: TQRReport\n"
           "  Units = MM\n"
           "  object DetailBand1: TQRBand\n"
           "    BandType = rbDetail\n"
           "    object QRImage1: TQRImage\n"
           "      Size.Values = (174.625 26.4583333333333 238.125 574.145833333333)\n"
           "      AutoSize = True\n"
           "      Picture.Data = {" +
           first +
           "}\n"
           "    end\n"
           "    object QRImage2: TQRImage\n"
           "      Size.Values = (100 10 10 100)\n"
           "      Center = True\n"
           "      Picture.Data = {" +
           second +
           "}\n"
           "    end\n"
           "    object QRShape1: TQRShape\n"
           "      Size.Values = (66.1458333333333 26.4583333333333 806.979166666667 1788.58333333333)\n"
           "      Brush.Style = bsClear\n"
           "      Pen.Color = clRed\n"
           "      Pen.Width = 2\n"
           "      Shape = qrsHorLine\n"
           "    end\n"
           "  end\n"
           "end\n";
}

system::TClassRegistry Registry() {
    system::TClassRegistry r;
    RegisterReportClasses(r);
    RegisterFormHostClasses(r);
    controls::RegisterGraphicControlClasses(r);
    return r;
}

TEST(GraphicControlsForm, ReadsBitmapAndJpegPicturesAndWritesThemBack) {
    QImage image = Solid(217, 66, qRgb(30, 60, 90));
    image.setPixel(5, 5, qRgb(255, 0, 0));
    const std::vector<uint8_t> bmp = graphics::EncodeBmpFile(image);
    graphics::TJpegImage jpeg;
    jpeg.SetImage(Solid(16, 8, qRgb(128, 128, 128)));
    const std::vector<uint8_t> jpegBytes = jpeg.SaveToBytes();

    for (bool bitmapCount : {true, false}) {
        SCOPED_TRACE(bitmapCount ? "bitmap with its byte count" : "bare bitmap file");
        const std::string text =
            FormWithImages(Hex(Prefixed("TBitmap", bmp, bitmapCount)), Hex(Prefixed("TJPEGImage", jpegBytes, true)));
        auto root = ReadForm(text, Registry());
        auto* first = dynamic_cast<TQRImage*>(root->FindComponent("QRImage1"));
        auto* second = dynamic_cast<TQRImage*>(root->FindComponent("QRImage2"));
        auto* shape = dynamic_cast<TQRShape*>(root->FindComponent("QRShape1"));
        ASSERT_TRUE(first && second && shape);
        ASSERT_NE(first->Picture()->Bitmap(), nullptr);
        EXPECT_EQ(first->Picture()->Width(), 217);
        EXPECT_EQ(first->Picture()->Graphic()->Image().pixel(5, 5), qRgb(255, 0, 0));
        EXPECT_EQ(first->Width(), 217);
        EXPECT_EQ(first->Height(), 66);
        EXPECT_TRUE(first->AutoSize());
        ASSERT_NE(second->Picture()->Graphic(), nullptr);
        EXPECT_EQ(second->Picture()->Graphic()->Kind(), graphics::TGraphicKind::gkJpeg);
        EXPECT_EQ(second->Picture()->Width(), 16);
        EXPECT_TRUE(second->Center());
        EXPECT_EQ(shape->Shape(), controls::qrsHorLine);
        EXPECT_EQ(shape->Pen()->Width(), 2);
        EXPECT_EQ(shape->Pen()->Color(), 0x0000FF);
        EXPECT_EQ(shape->Brush()->Style(), controls::TBrushStyle::bsClear);

        const std::string written = WriteForm(*root);
        EXPECT_NE(written.find("Picture.Data = {\n"), std::string::npos) << written;
        EXPECT_NE(written.find("Pen.Width = 2"), std::string::npos);
        auto again = ReadForm(written, Registry());
        EXPECT_EQ(WriteForm(*again), written);
        auto* back = dynamic_cast<TQRImage*>(again->FindComponent("QRImage1"));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->Picture()->Graphic()->SaveToBytes(), bmp) << "the bitmap's bytes survive the round trip";
    }
}

TEST(GraphicControlsForm, ReadsCorpusPictures) {
    const auto corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no shared corpus";
    const auto bmp = corpus / "images" / "pillow" / "hopper.bmp";
    const auto jpg = corpus / "images" / "pillow" / "rgb.jpg";
    if (!std::filesystem::exists(bmp) || !std::filesystem::exists(jpg)) GTEST_SKIP() << "corpus pictures not found";
    const auto bmpBytes = graphics::ReadPictureFile(bmp);
    const auto jpgBytes = graphics::ReadPictureFile(jpg);
    auto root =
        ReadForm(FormWithImages(Hex(Prefixed("TBitmap", bmpBytes, true)), Hex(Prefixed("TJPEGImage", jpgBytes, true))),
                 Registry());
    auto* first = dynamic_cast<TQRImage*>(root->FindComponent("QRImage1"));
    auto* second = dynamic_cast<TQRImage*>(root->FindComponent("QRImage2"));
    ASSERT_TRUE(first && second);
    EXPECT_GT(first->Picture()->Width(), 0);
    EXPECT_GT(second->Picture()->Width(), 0);
}

TEST(GraphicControlsForm, HostilePictureDataIsRefusedWithTheLine) {
    graphics::TJpegImage jpeg;
    jpeg.SetImage(Solid(8, 8, qRgb(1, 1, 1)));
    std::vector<uint8_t> good = Prefixed("TJPEGImage", jpeg.SaveToBytes(), true);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    std::vector<uint8_t> hugeCount = good;
    hugeCount[11] = 0xFF, hugeCount[12] = 0xFF, hugeCount[13] = 0xFF, hugeCount[14] = 0x7F;
    std::vector<uint8_t> garbage = Prefixed("TBitmap", {1, 2, 3, 4, 5, 6, 7, 8, 9}, true);
    std::vector<uint8_t> bmpHeaderOnly = Prefixed("TBitmap", {'B', 'M', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}, false);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"name longer than the data", "FF5442"},
        {"zero-length name", "00"},
        {"unknown class", Hex(Prefixed("TWidget", {1, 2, 3, 4, 0, 0, 0, 0}, false))},
        {"truncated JPEG", Hex(truncated)},
        {"count beyond the data", Hex(hugeCount)},
        {"not a bitmap", Hex(garbage)},
        {"bitmap header only", Hex(bmpHeaderOnly)},
        {"odd hex digits", "0754426"},
        {"not hex", "07ZZ"},
        {"unterminated", "0754"},
    };
    for (const auto& [why, data] : cases) {
        SCOPED_TRACE(why);
        std::string text = FormWithImages(Hex(good), data);
        if (why == "unterminated") text = text.substr(0, text.find("0754}") + 4);
        try {
            ReadForm(text, Registry());
            ADD_FAILURE() << "accepted";
        } catch (const EFormError& e) {
            EXPECT_GT(e.Line(), 0);
        }
    }
}

TEST(GraphicControlsForm, EmptyPictureDataClearsAndIsNotWritten) {
    auto root = ReadForm(FormWithImages("", ""), Registry());
    auto* first = dynamic_cast<TQRImage*>(root->FindComponent("QRImage1"));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->Picture()->Empty());
    EXPECT_EQ(WriteForm(*root).find("Picture.Data"), std::string::npos);
}

} // namespace

namespace {

// The help report's pictures: 24-bit bitmaps of the stated sizes that an image control takes whole.
TEST(GraphicControlsForm, HelpPicturesAreBitmapsOfTheirSizes) {
    const struct {
        const char* File;
        int Width, Height;
    } pictures[] = {{"MainWindow.bmp", 217, 66}, {"PreviewToolBar.bmp", 345, 57}};
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.File);
        const auto bytes = graphics::ReadPictureFile(test::SourceDir() / "resources" / "help" / p.File);
        auto root = ReadForm(FormWithImages(Hex(Prefixed("TBitmap", bytes, true)), ""), Registry());
        auto* image = dynamic_cast<TQRImage*>(root->FindComponent("QRImage1"));
        ASSERT_NE(image, nullptr);
        const graphics::TBitmap* bitmap = image->Picture()->Bitmap();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Width(), p.Width);
        EXPECT_EQ(bitmap->Height(), p.Height);
        ASSERT_GE(bitmap->DibInfo().size(), 16u);
        EXPECT_EQ(bitmap->DibInfo()[14], 24) << "bits per pixel";
    }
}

} // namespace
