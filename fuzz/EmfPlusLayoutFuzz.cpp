// Builds an EMF+ picture from the input record by record through the record layouts, so that nearly
// every record is well formed and reaches the player's drawing: the input picks each record and its
// fields. Objects come first among the choices: brushes (textures included), pens, paths, regions,
// fonts of known and unknown faces at any size, string formats, and images of every kind a picture
// may hold (PNG, JPEG, GIF, BMP and TIFF headers claiming any size, raw pixel formats, other data such
// as SVG text, and nested pictures built the same way, five deep), some split over continued records;
// records are packed several to a comment. The picture is played with the page's real work budget onto
// an image, so a slow or greedy input is a finding (run with -timeout=10 -rss_limit_mb=1024).

#include "platform/emf/EmfPlusLayouts.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/graphics/Jpeg.h"
#include "platform/graphics/Png.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

// In a namespace of its own: the tests include this file beside the other players' fuzzers.
namespace pagimo::emf::layoutfuzz {

// The input read front to back; zeros once it is used up.
class TInput {
public:
    TInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    bool Empty() const { return FAt >= FSize; }
    uint8_t U8() { return FAt < FSize ? FData[FAt++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
    uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
    uint32_t Below(uint32_t n) { return n ? U8() % n : 0; }
    // A coordinate: mostly on a small page, sometimes one of the values that break arithmetic.
    float Coord() {
        static constexpr std::array<float, 12> odd = {0,    -1,   0.001f, 1e-7f, 3e4f,  -3e4f,
                                                      1e6f, 1e9f, -1e9f,  2e9f,  65535, 0.5f};
        const uint8_t b = U8();
        return b < 232 ? static_cast<float>(b) / 2 - 8 : odd[static_cast<size_t>(b - 232) % odd.size()];
    }
    std::vector<uint8_t> Bytes(size_t most) {
        const size_t n = std::min<size_t>(U16() % (most + 1), FSize - std::min(FAt, FSize));
        std::vector<uint8_t> out(FData + FAt, FData + FAt + n);
        FAt += n;
        return out;
    }

private:
    const uint8_t* FData;
    size_t FSize, FAt = 0;
};

TPlusRectF Rect(TInput& in) {
    return {in.Coord(), in.Coord(), in.Coord(), in.Coord()};
}
std::vector<TPlusPointF> Points(TInput& in, uint32_t most) {
    std::vector<TPlusPointF> out(1 + in.Below(most));
    for (auto& p : out)
        p = {in.Coord(), in.Coord()};
    return out;
}
uint32_t Argb(TInput& in) {
    const uint8_t b = in.U8();
    return b & 1 ? 0xFF000000u | b * 0x10101u : static_cast<uint32_t>(b) << 24 | 0x3366CC;
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x, bool big) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (big ? 24 - 8 * i : 8 * i));
}

std::vector<uint8_t> Picture(TInput& in, int depth);

// An image: a compressed bitmap (a real small one, or a header claiming any size over input bytes),
// raw pixels, or a nested picture.
TPlusImage Image(TInput& in, int depth, std::vector<uint8_t>& keep) {
    TPlusImage image;
    const uint32_t kind = in.Below(9);
    const uint32_t side = 1 + in.Below(24), claimed = in.U8() < 200 ? side : in.U16() * (1u + in.Below(4));
    if (kind == 8) {
        image.Type = 2;
        image.MetafileType = 1 + in.Below(5);
        keep = depth < 5 ? Picture(in, depth + 1) : in.Bytes(64);
        image.Data = keep;
        return image;
    }
    image.Type = 1;
    if (kind == 7) { // raw pixels
        static constexpr uint32_t formats[] = {0x00030101, 0x00030402, 0x00030803, 0x00021005, 0x00021006,
                                               0x00061007, 0x00021808, 0x00022009, 0x0026200A, 0x000E200B};
        image.PixelFormat = formats[in.Below(10)];
        image.Width = static_cast<int32_t>(claimed), image.Height = static_cast<int32_t>(side);
        image.Stride = static_cast<int32_t>((claimed * 4 + 3) / 4 * 4);
        keep = in.Bytes(4096);
        image.Data = keep;
        return image;
    }
    image.BitmapType = 1;
    QImage small(static_cast<int>(side), static_cast<int>(side), QImage::Format_RGB32);
    small.fill(QColor::fromRgb(Argb(in)));
    switch (kind) {
    case 0:
        keep = graphics::EncodePng(small);
        break;
    case 1:
        keep = graphics::EncodeJpeg(small);
        break;
    case 2: { // PNG header of any size over input bytes
        keep = graphics::EncodePng(small);
        Put32(keep, 16, claimed, true);
        Put32(keep, 20, claimed, true);
        break;
    }
    case 3: { // GIF
        keep = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0x80, 0, 0};
        keep[6] = static_cast<uint8_t>(claimed), keep[7] = static_cast<uint8_t>(claimed >> 8);
        keep[8] = static_cast<uint8_t>(side), keep[9] = 0;
        break;
    }
    case 4: { // BMP
        keep.assign(54, 0);
        keep[0] = 'B', keep[1] = 'M';
        Put32(keep, 10, 54, false);
        Put32(keep, 14, 40, false);
        Put32(keep, 18, claimed, false);
        Put32(keep, 22, side, false);
        keep[26] = 1, keep[28] = static_cast<uint8_t>(1u << in.Below(6));
        break;
    }
    case 5: // TIFF
        keep = {'I', 'I', 42, 0, 8, 0, 0, 0};
        break;
    default: { // data no picture may hold as an image
        const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='" + std::to_string(claimed) +
                                "' height='" + std::to_string(claimed) + "'/>";
        keep.assign(svg.begin(), svg.end());
        break;
    }
    }
    const auto tail = in.Bytes(512);
    keep.insert(keep.end(), tail.begin(), tail.end());
    image.Data = keep;
    return image;
}

TPlusBrush Brush(TInput& in, int depth, std::vector<uint8_t>& keep) {
    TPlusBrush brush;
    brush.Type = in.Below(5);
    brush.Color = Argb(in), brush.Back = Argb(in);
    brush.Hatch = in.Below(60);
    brush.Wrap = in.Below(5);
    brush.Rect = Rect(in);
    brush.Center = {in.Coord(), in.Coord()};
    if (brush.Type == EmfPlusBrushPathGradient) {
        brush.BoundaryPoints = Points(in, 8);
        brush.Surround = {Argb(in), Argb(in)};
    }
    if (brush.Type == EmfPlusBrushTexture) brush.Image = std::make_shared<TPlusImage>(Image(in, depth, keep));
    return brush;
}

TPlusPath Path(TInput& in) {
    TPlusPath path;
    path.Points = Points(in, 40);
    for (size_t i = 0; i < path.Points.size(); ++i) {
        const uint8_t b = in.U8();
        path.Types.push_back(
            i == 0 ? EmfPlusPathStart
                   : static_cast<uint8_t>(((b & 3) == 3 ? EmfPlusPathBezier : EmfPlusPathLine) | (b & 0x80)));
    }
    return path;
}

void Object(TInput& in, TEmfPlusWriter& plus, int depth) {
    const uint8_t id = static_cast<uint8_t>(in.Below(EmfPlusMaxObjects + 2));
    TEmfPlusData d;
    std::vector<uint8_t> keep;
    uint8_t type = 0;
    switch (in.Below(8)) {
    case 0:
        type = EmfPlusObjectBrush;
        Brush(in, depth, keep).Write(d);
        break;
    case 1: {
        type = EmfPlusObjectPen;
        TPlusPen pen;
        pen.Flags = in.U16() & 0x03FF;
        pen.Unit = in.Below(7), pen.Width = in.Coord();
        pen.StartCap = static_cast<int32_t>(in.Below(4)), pen.EndCap = static_cast<int32_t>(in.Below(4));
        pen.Join = in.Below(4), pen.LineStyle = in.Below(6), pen.DashOffset = in.Coord();
        if (pen.Flags & EmfPlusPenDashedLine) pen.DashArray = {in.Coord(), in.Coord()};
        if (pen.Flags & EmfPlusPenCompoundLine) pen.Compound = {0, 0.3f, 0.6f, 1};
        pen.Brush = Brush(in, depth, keep);
        pen.Write(d);
        break;
    }
    case 2:
        type = EmfPlusObjectPath;
        Path(in).Write(d);
        break;
    case 3: {
        type = EmfPlusObjectRegion;
        TPlusRegion region;
        const uint32_t combine = 1 + in.Below(5);
        region.Nodes = {{combine, {}, {}}, {EmfPlusRegionRect, Rect(in), {}}};
        if (in.U8() & 1)
            region.Nodes.push_back({EmfPlusRegionPath, {}, Path(in)});
        else
            region.Nodes.push_back({EmfPlusRegionInfinite, {}, {}});
        region.Write(d);
        break;
    }
    case 4:
    case 5: {
        type = EmfPlusObjectFont;
        TPlusFont font;
        static constexpr std::array<float, 8> sizes = {0.01f, 1, 8, 12, 72, 1000, 1e5f, 1e9f};
        font.EmSize = sizes[in.Below(8)];
        font.Unit = in.Below(7), font.Style = in.Below(16);
        static const char16_t* faces[] = {
            u"Liberation Sans", u"Liberation Serif", u"DejaVu Sans Mono", u"Arial", u"", u"Face"};
        font.Family = faces[in.Below(6)];
        if (font.Family == u"Face") font.Family += std::u16string(1, static_cast<char16_t>(u'A' + in.Below(60)));
        font.Write(d);
        break;
    }
    case 6: {
        type = EmfPlusObjectStringFormat;
        TPlusStringFormat format;
        format.Flags = in.U32(), format.Align = in.Below(3), format.LineAlign = in.Below(3);
        format.Write(d);
        break;
    }
    default:
        type = EmfPlusObjectImage;
        Image(in, depth, keep).Write(d);
        break;
    }
    const uint8_t chunk = in.U8();
    plus.Object(id, type, d, chunk > 200 ? 16u * (chunk - 200) : 0);
}

// One drawing or state record, laid out at the end of out.
void Drawing(TInput& in, std::vector<std::vector<uint8_t>>& out) {
    const uint8_t id = static_cast<uint8_t>(in.Below(EmfPlusMaxObjects + 2));
    const uint16_t solid = in.U8() & 1 ? EmfPlusFlagSolidColor : 0;
    auto add = [&](uint16_t type, uint16_t flags, const TEmfPlusData& d) {
        out.push_back(PlusRecordBytes(type, flags, d.Get()));
    };
    const uint32_t brush = solid ? Argb(in) : id;
    switch (in.Below(16)) {
    case 0:
    case 1: {
        TPlusDrawImage d;
        d.Source = Rect(in), d.Destination = Rect(in);
        const bool points = in.U8() & 1;
        if (points) d.Points = Points(in, 2), d.Points.resize(3);
        add(points ? EmfPlusDrawImagePoints : EmfPlusDrawImage, id, d.Data(points, 0));
        break;
    }
    case 2: {
        TPlusDrawString d;
        d.Brush = brush, d.Format = in.Below(EmfPlusMaxObjects), d.Layout = Rect(in);
        d.Text = std::u16string(1 + in.Below(40), static_cast<char16_t>(u'A' + in.Below(60)));
        add(EmfPlusDrawString, static_cast<uint16_t>(id | solid), d.Data());
        break;
    }
    case 3: {
        TPlusDrawDriverString d;
        d.Brush = brush, d.Options = in.Below(8);
        d.Positions = Points(in, 30);
        d.Glyphs.assign(d.Positions.size(), static_cast<uint16_t>(in.U16()));
        if (in.U8() & 1) d.Matrix = TPlusMatrix{in.Coord(), in.Coord(), in.Coord(), in.Coord(), 0, 0};
        add(EmfPlusDrawDriverString, static_cast<uint16_t>(id | solid), d.Data());
        break;
    }
    case 4:
        add(EmfPlusFillRects, solid, TPlusRects{brush, {Rect(in), Rect(in)}}.Data(true, solid));
        break;
    case 5:
        add(EmfPlusDrawLines, id, TPlusPoints{0, 0, 0, 0, Points(in, 60)}.Data(TPlusPoints::psLines, 0));
        break;
    case 6:
        add(EmfPlusFillPolygon, solid,
            TPlusPoints{brush, 0, 0, 0, Points(in, 60)}.Data(TPlusPoints::psFillPolygon, solid));
        break;
    case 7:
        add(EmfPlusDrawCurve, id,
            TPlusPoints{0, in.Coord(), in.Below(8), in.Below(8), Points(in, 20)}.Data(TPlusPoints::psCurve, 0));
        break;
    case 8:
        add(EmfPlusFillPath, static_cast<uint16_t>(id | solid), TEmfPlusData().U32(brush));
        break;
    case 9:
        add(EmfPlusDrawPath, id, TEmfPlusData().U32(in.Below(EmfPlusMaxObjects)));
        break;
    case 10:
        add(EmfPlusFillRegion, static_cast<uint16_t>(id | solid), TEmfPlusData().U32(brush));
        break;
    case 11: {
        const uint16_t mode = static_cast<uint16_t>(in.Below(6) << 8);
        switch (in.Below(4)) {
        case 0:
            add(EmfPlusSetClipRect, mode, TPlusSetClipRect{Rect(in)}.Data());
            break;
        case 1:
            add(EmfPlusSetClipPath, static_cast<uint16_t>(mode | id), TEmfPlusData());
            break;
        case 2:
            add(EmfPlusSetClipRegion, static_cast<uint16_t>(mode | id), TEmfPlusData());
            break;
        default:
            add(EmfPlusOffsetClip, 0, TPlusPair{in.Coord(), in.Coord()}.Data());
            break;
        }
        break;
    }
    case 12: {
        switch (in.Below(5)) {
        case 0:
            add(EmfPlusSetWorldTransform, 0,
                TPlusMatrixRecord{{in.Coord(), in.Coord(), in.Coord(), in.Coord(), in.Coord(), in.Coord()}}.Data());
            break;
        case 1:
            add(EmfPlusScaleWorldTransform, 0, TPlusPair{in.Coord(), in.Coord()}.Data());
            break;
        case 2:
            add(EmfPlusRotateWorldTransform, 0, TPlusFloat{in.Coord()}.Data());
            break;
        case 3:
            add(EmfPlusSetPageTransform, static_cast<uint16_t>(in.Below(7)), TPlusFloat{in.Coord()}.Data());
            break;
        default:
            add(EmfPlusTranslateWorldTransform, 0, TPlusPair{in.Coord(), in.Coord()}.Data());
            break;
        }
        break;
    }
    case 13: {
        static constexpr uint16_t kinds[] = {EmfPlusSave, EmfPlusRestore, EmfPlusBeginContainerNoParams,
                                             EmfPlusEndContainer};
        const uint16_t kind = kinds[in.Below(5) % 4];
        if (in.U8() & 1)
            add(EmfPlusBeginContainer, static_cast<uint16_t>(in.Below(7) << 8),
                TPlusBeginContainer{Rect(in), Rect(in), in.Below(8)}.Data());
        else
            add(kind, 0, TPlusValue{in.Below(8)}.Data());
        break;
    }
    case 14:
        add(in.U8() & 1 ? EmfPlusFillEllipse : EmfPlusFillPie, solid,
            TPlusArc{brush, in.Coord(), in.Coord(), Rect(in)}.Data(true, solid));
        break;
    default: { // any record type with any data
        const uint16_t type = static_cast<uint16_t>(0x4000 | in.Below(0x40));
        const uint16_t flags = in.U16();
        const auto data = in.Bytes(256);
        out.push_back(PlusRecordBytes(type, flags, data));
        break;
    }
    }
}

// A picture: an EMF+ header, then records until the input (or this picture's share) runs out; GDI
// records of a dual picture after them.
std::vector<uint8_t> Picture(TInput& in, int depth) {
    const int32_t side = 16 + static_cast<int32_t>(in.Below(200));
    TEmfWriter writer(side, side);
    TEmfPlusWriter plus(writer);
    const bool dual = in.U8() & 1;
    plus.Header(dual);
    const uint32_t records = depth == 0 ? 4096 : in.Below(24);
    std::vector<std::vector<uint8_t>> packed;
    auto flush = [&] {
        if (packed.empty()) return;
        size_t size = 4;
        for (const auto& r : packed)
            size += r.size();
        TEmrComment::WriteHead(writer, static_cast<uint32_t>(size));
        writer.U32(EmfPlusSignature);
        for (const auto& r : packed)
            writer.Bytes(r);
        writer.End();
        packed.clear();
    };
    for (uint32_t i = 0; i < records && !in.Empty(); ++i) {
        const uint8_t what = in.U8();
        if (what < 70) {
            flush();
            Object(in, plus, depth);
        } else {
            // Repeats: a record drawn again and again from one comment, as hostile files do.
            const size_t before = packed.size();
            Drawing(in, packed);
            for (uint32_t k = 0, times = what > 250 ? 50u * in.U8() : 0; k < times && packed.size() > before; ++k)
                packed.push_back(packed[before]);
            if (in.U8() < 128) flush();
        }
    }
    flush();
    if (dual) writer.Record(EMR_RECTANGLE, {1, 1, side / 2, side / 2});
    plus.EndOfFile();
    return writer.Finish();
}

} // namespace pagimo::emf::layoutfuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    using namespace pagimo;
    emf::layoutfuzz::TInput in(data, size);
    const std::vector<uint8_t> bytes = emf::layoutfuzz::Picture(in, 0);
    emf::TEmfHeader header;
    if (!emf::ReadEmfHeader(bytes, header)) return 0;
    // An A4 page at 96 dpi, as qrptool thumbnail and render draw one, with the default budget.
    QImage image(794, 1123, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    gdi::TPainterDevice device(painter);
    gdi::TPlayOptions options;
    options.DeviceTransform = gdi::TEmfPlayer::FrameTransform(header, QRectF(0, 0, 794, 1123));
    gdi::TEmfPlayer::Play(bytes, device, options);
    return 0;
}
