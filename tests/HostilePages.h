#pragma once
// Pages made to be expensive, as an attacker would make them: single records of a million points,
// clips of a million rectangles, paths of a million points. Each is an A4 page at 96 dpi written with
// the project's own EMF writer; the player must end each in bounded time and memory and say that it
// could not draw it completely.

#include "platform/emf/EmfPlusLayouts.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"

#include <zlib.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace pagimo::test {

struct THostilePage {
    std::string Name;
    std::function<std::vector<uint8_t>()> Make;
};

namespace hostile {

constexpr int32_t Width = 794, Height = 1123; // A4 at 96 dpi
constexpr uint32_t Million = 1'000'000;

// Point i of a zigzag that covers the page: many short strokes crossing each other.
inline std::pair<int32_t, int32_t> Zigzag(uint32_t i) {
    return {static_cast<int32_t>((i * 37) % Width), static_cast<int32_t>((i * 7919 / 3) % Height)};
}

inline void Pen(emf::TEmfWriter& w, uint32_t style, int32_t width) {
    emf::TEmrExtCreatePen pen;
    pen.Handle = w.NewHandle();
    pen.Style = style;
    pen.Width = static_cast<uint32_t>(width);
    pen.Write(w);
    emf::TEmrValue{pen.Handle}.Write(w, emf::EMR_SELECTOBJECT);
}

// POLYLINE, POLYGON or POLYLINETO with count 32-bit points.
inline void Poly(emf::TEmfWriter& w, uint32_t type, uint32_t count) {
    emf::TEmrPoly{{0, 0, Width - 1, Height - 1}, count}.WriteHead(w, type);
    for (uint32_t i = 0; i < count; ++i) {
        const auto [x, y] = Zigzag(i);
        emf::TPointL{x, y}.Write(w);
    }
    w.End();
}

// EXTSELECTCLIPRGN with count small rectangles spread over the page.
inline void Region(emf::TEmfWriter& w, uint32_t mode, uint32_t count, uint32_t seed = 0) {
    std::vector<emf::TRectL> rects;
    rects.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const auto [x, y] = Zigzag(i + seed);
        rects.push_back({x, y, x + 3, y + 2});
    }
    emf::TRgnDataHeader region;
    region.Count = count;
    region.RgnSize = static_cast<uint32_t>(emf::RectLBytes) * count;
    region.Bounds = {0, 0, Width, Height};
    emf::TEmrExtSelectClipRgn{static_cast<uint32_t>(emf::TRgnDataHeader::Bytes) + region.RgnSize, mode}.Write(
        w, &region, rects);
}

inline void Fill(emf::TEmfWriter& w) {
    emf::TEmrBox{{0, 0, Width, Height}}.Write(w, emf::EMR_RECTANGLE);
}

// The header and colour table of an RLE8 bitmap of side x side pixels whose two-byte body ends it at
// once: the largest bitmap a DIB may be, in a few bytes.
constexpr int32_t RleSide = 5792;
inline std::vector<uint8_t> RleInfo() {
    std::vector<uint8_t> info(48, 0);
    emf::PutU32(info.data(), 40);
    emf::PutI32(info.data() + 4, RleSide);
    emf::PutI32(info.data() + 8, RleSide);
    emf::PutU16(info.data() + 12, 1);
    emf::PutU16(info.data() + 14, 8);
    emf::PutU32(info.data() + 16, 1 /* BI_RLE8 */);
    emf::PutU32(info.data() + 20, 2);
    emf::PutU32(info.data() + 32, 2);
    emf::PutU32(info.data() + 44, 0xFFFFFF);
    return info;
}
inline const std::vector<uint8_t> RleBody{0, 1};

// STRETCHDIBITS of the RLE8 bitmap over the page.
inline void RleDraw(emf::TEmfWriter& w) {
    const auto info = RleInfo();
    emf::TEmrStretchDIBits r;
    r.Bounds = {0, 0, Width - 1, Height - 1};
    r.CxSrc = r.CySrc = RleSide;
    r.Bitmap = {emf::TEmrStretchDIBits::PayloadAt, static_cast<uint32_t>(info.size()),
                static_cast<uint32_t>(emf::TEmrStretchDIBits::PayloadAt + info.size()),
                static_cast<uint32_t>(RleBody.size())};
    r.Rop = 0x00CC0020; // SRCCOPY
    r.CxDest = Width, r.CyDest = Height;
    r.Write(w, info, RleBody);
}

// A pattern brush of the RLE8 bitmap, selected and filled with.
inline void RleBrush(emf::TEmfWriter& w, uint32_t handle) {
    const auto info = RleInfo();
    constexpr uint32_t at = emf::TEmrCreateDibPatternBrush::Size;
    emf::TEmrCreateDibPatternBrush{handle, 0, {at, 48, at + 48, 2}}.Write(w, emf::EMR_CREATEDIBPATTERNBRUSHPT, info,
                                                                          RleBody);
    emf::TEmrValue{handle}.Write(w, emf::EMR_SELECTOBJECT);
    Fill(w);
}

// A font of that face, height (negative: the em in logical units) and escapement (tenths of a degree)
// into handle, selected, and a text run of chars characters with it.
inline void FontText(emf::TEmfWriter& w, uint32_t handle, const std::u16string& face, int32_t height, size_t chars,
                     int32_t escapement = 0) {
    emf::TEmrExtCreateFontIndirectW font;
    font.Handle = handle;
    font.Font.Height = height;
    font.Font.Escapement = font.Font.Orientation = escapement;
    font.Font.Weight = 400;
    font.Font.FaceName = face;
    font.Write(w);
    emf::TEmrValue{handle}.Write(w, emf::EMR_SELECTOBJECT);
    emf::TEmrExtTextOut r;
    r.Bounds = {0, 0, -1, -1};
    r.Text.Reference = {10, 10 + static_cast<int32_t>(handle % 50) * 20};
    r.Text.Chars = static_cast<uint32_t>(chars);
    r.Text.OffString = emf::TEmrExtTextOut::StringAt;
    r.Text.Rect = {0, 0, -1, -1};
    std::u16string text(chars, u'W');
    r.Write(w, text);
}

// EMF+ records packed into one EMR_COMMENT, as a file may hold thousands in one.
inline void PlusComment(emf::TEmfWriter& w, const std::vector<std::vector<uint8_t>>& records) {
    size_t size = 4;
    for (const auto& r : records)
        size += r.size();
    emf::TEmrComment::WriteHead(w, static_cast<uint32_t>(size));
    w.U32(emf::EmfPlusSignature);
    for (const auto& r : records)
        w.Bytes(r);
    w.End();
}

// An EMF+ only picture of w x h pixels: inner (when given) as image object 0 and drawn draws times,
// else small filled rectangles drawn, all from one comment.
inline std::vector<uint8_t> NestedPicture(int32_t w, int32_t h, const std::vector<uint8_t>* inner, int draws) {
    using namespace emf;
    TEmfWriter writer(w, h, 96);
    TEmfPlusWriter plus(writer);
    plus.Header(false);
    if (inner) {
        TEmfPlusData d;
        TPlusImage{2, 0, 0, 0, 0, 0, 4, *inner}.Write(d);
        plus.Object(0, EmfPlusObjectImage, d);
    }
    std::vector<std::vector<uint8_t>> records;
    for (int i = 0; i < draws; ++i) {
        const TPlusRectF at{static_cast<float>(i % 10) * 10, static_cast<float>(i / 10 % 10) * 10, 10, 10};
        records.push_back(
            inner ? PlusRecordBytes(EmfPlusDrawImage, 0,
                                    TPlusDrawImage{0, EmfPlusUnitPixel, {0, 0, 1, 1}, at, {}}.Data(false, 0).Get())
                  : PlusRecordBytes(EmfPlusFillRects, EmfPlusFlagSolidColor,
                                    TPlusRects{0xFF0000FF, {at}}.Data(true, EmfPlusFlagSolidColor).Get()));
    }
    PlusComment(writer, records);
    plus.EndOfFile();
    return writer.Finish();
}

// A PNG of side x side one-bit grey pixels, all black: a few kilobytes that decode to side² pixels.
inline std::vector<uint8_t> BlackPng(uint32_t side) {
    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        const auto be = [&](uint32_t v) {
            for (int shift = 24; shift >= 0; shift -= 8)
                png.push_back(static_cast<uint8_t>(v >> shift));
        };
        be(static_cast<uint32_t>(data.size()));
        png.insert(png.end(), body.begin(), body.end());
        be(static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    };
    std::vector<uint8_t> header(13, 0);
    for (int i = 0; i < 4; ++i)
        header[i] = header[4 + i] = static_cast<uint8_t>(side >> (24 - 8 * i));
    header[8] = 1; // one bit of grey
    chunk("IHDR", header);
    const std::vector<uint8_t> rows(static_cast<size_t>(side) * ((side + 7) / 8 + 1), 0);
    std::vector<uint8_t> packed(compressBound(static_cast<uLong>(rows.size())));
    uLongf size = static_cast<uLongf>(packed.size());
    compress2(packed.data(), &size, rows.data(), static_cast<uLong>(rows.size()), 9);
    packed.resize(size);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return png;
}

// An EMF+ image object of a compressed bitmap.
inline emf::TEmfPlusData CompressedImage(const std::vector<uint8_t>& bytes) {
    emf::TEmfPlusData d;
    emf::TPlusImage{1, 0, 0, 0, 0, 1, 0, bytes}.Write(d);
    return d;
}

// EMF+ rectangles of the whole page filled with a path gradient whose boundary runs between the two
// top corners again and again: each of its triangles covers a quarter of the page, so one fill colours
// the page `points / 4` times over, pixel by pixel.
inline void PathGradientFills(emf::TEmfWriter& w, size_t points, int fills) {
    using namespace emf;
    TEmfPlusWriter plus(w);
    plus.Header(false);
    TPlusBrush mesh;
    mesh.Type = EmfPlusBrushPathGradient, mesh.Color = 0x80FF0000, mesh.Surround = {0x800000FF};
    mesh.Center = {Width / 2.0f, Height / 2.0f};
    for (size_t i = 0; i < points; ++i)
        mesh.BoundaryPoints.push_back({i % 2 ? Width - 1.0f : 1.0f, static_cast<float>(i % 7)});
    TEmfPlusData d;
    mesh.Write(d);
    plus.Object(1, EmfPlusObjectBrush, d);
    for (int i = 0; i < fills; ++i)
        plus.Record(EmfPlusFillRects, 0, TPlusRects{1, {{0, 0, Width, Height}}}.Data(true, 0));
    plus.EndOfFile();
}

inline std::vector<THostilePage> Pages() {
    using namespace emf;
    std::vector<THostilePage> pages;
    auto add = [&](std::string name, std::function<void(TEmfWriter&)> body) {
        pages.push_back({name, [body] {
                             TEmfWriter w(Width, Height, 96);
                             body(w);
                             return w.Finish();
                         }});
    };
    add("dashed-polyline", [](TEmfWriter& w) {
        Pen(w, 1 /*PS_DASH*/, 1);
        Poly(w, EMR_POLYLINE, Million);
    });
    add("wide-polyline", [](TEmfWriter& w) {
        Pen(w, 0x10000 /*PS_GEOMETRIC*/, 25);
        Poly(w, EMR_POLYLINE, Million);
    });
    add("wide-dashed-polyline", [](TEmfWriter& w) {
        Pen(w, 0x10000 | 3 /*PS_GEOMETRIC | PS_DASHDOT*/, 9);
        Poly(w, EMR_POLYLINE, Million);
    });
    add("polygon", [](TEmfWriter& w) { Poly(w, EMR_POLYGON, Million); });
    add("poly-polygon", [](TEmfWriter& w) {
        constexpr uint32_t polygons = 200'000;
        TEmrPolyPoly{{0, 0, Width - 1, Height - 1}, polygons, 3 * polygons}.WriteHead(w, EMR_POLYPOLYGON16);
        for (uint32_t i = 0; i < polygons; ++i)
            w.U32(3);
        for (uint32_t i = 0; i < 3 * polygons; ++i) {
            const auto [x, y] = Zigzag(i);
            WritePointS(w, static_cast<int16_t>(x), static_cast<int16_t>(y));
        }
        w.End();
    });
    add("clip-region-million-rects", [](TEmfWriter& w) {
        Region(w, RGN_COPY, Million);
        Fill(w);
    });
    add("clip-region-million-rects-and", [](TEmfWriter& w) {
        TEmrBox{{10, 10, Width - 10, Height - 10}}.Write(w, EMR_INTERSECTCLIPRECT);
        Region(w, RGN_AND, Million);
        Fill(w);
    });
    add("clip-rect-records", [](TEmfWriter& w) {
        // A million ExcludeClipRect records, each cutting a hole into the clip.
        for (uint32_t i = 0; i < Million; ++i) {
            const auto [x, y] = Zigzag(i);
            TEmrBox{{x, y, x + 2, y + 2}}.Write(w, EMR_EXCLUDECLIPRECT);
        }
        Fill(w);
    });
    add("or-regions", [](TEmfWriter& w) {
        Region(w, RGN_COPY, 1);
        for (uint32_t i = 0; i < 20'000; ++i)
            Region(w, RGN_OR, 3, 3 * i);
        Fill(w);
    });
    add("path-filled", [](TEmfWriter& w) {
        TEmrEmpty::Write(w, EMR_BEGINPATH);
        Poly(w, EMR_POLYLINETO, Million);
        TEmrEmpty::Write(w, EMR_CLOSEFIGURE);
        TEmrEmpty::Write(w, EMR_ENDPATH);
        TEmrBox{{0, 0, Width - 1, Height - 1}}.Write(w, EMR_FILLPATH);
    });
    add("path-clip", [](TEmfWriter& w) {
        TEmrEmpty::Write(w, EMR_BEGINPATH);
        Poly(w, EMR_POLYLINETO, Million);
        TEmrEmpty::Write(w, EMR_CLOSEFIGURE);
        TEmrEmpty::Write(w, EMR_ENDPATH);
        TEmrValue{RGN_AND}.Write(w, EMR_SELECTCLIPPATH);
        Fill(w);
    });
    // Small files that cost much: the largest bitmap in a two-byte body, drawn again and again and
    // kept as pattern brushes; a font name after another, each loading a face; glyphs of a size no page
    // shows.
    add("rle8-drawn-ten-times", [](TEmfWriter& w) {
        for (int i = 0; i < 10; ++i)
            RleDraw(w);
    });
    add("rle8-pattern-brushes", [](TEmfWriter& w) {
        for (uint32_t i = 0; i < 40; ++i)
            RleBrush(w, w.NewHandle());
    });
    add("font-names", [](TEmfWriter& w) {
        const uint32_t handle = w.NewHandle();
        for (uint32_t i = 0; i < 3000; ++i)
            FontText(w, handle,
                     u"Face " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                         std::u16string(1, static_cast<char16_t>(u'A' + i / 26 % 26)) +
                         std::u16string(1, static_cast<char16_t>(u'A' + i / 676)),
                     -12, 4);
    });
    add("large-glyphs", [](TEmfWriter& w) {
        const uint32_t handle = w.NewHandle();
        for (int i = 0; i < 100; ++i)
            FontText(w, handle, u"Liberation Sans", -3000, 1000);
    });
    // EMF+: a picture drawing a picture 150 times at each of four levels of nesting (5 * 10^8 plays in
    // some 30 KB); PNG image objects and texture brushes of the largest bitmap a DIB may be, a few
    // kilobytes each.
    pages.push_back({"emfplus-nested-pictures", [] {
                         std::vector<uint8_t> picture = NestedPicture(100, 100, nullptr, 150);
                         for (int level = 0; level < 4; ++level)
                             picture = NestedPicture(level < 3 ? 100 : Width, level < 3 ? 100 : Height, &picture, 150);
                         return picture;
                     }});
    add("emfplus-path-gradient-meshes", [](TEmfWriter& w) { PathGradientFills(w, 2000, 100); });
    for (const bool brush : {false, true})
        add(brush ? "emfplus-png-texture-brushes" : "emfplus-png-image-objects", [brush](TEmfWriter& w) {
            TEmfPlusWriter plus(w);
            plus.Header(false);
            const std::vector<uint8_t> png = BlackPng(RleSide);
            for (uint8_t i = 0; i < 40; ++i) {
                if (brush) {
                    TPlusBrush texture;
                    texture.Type = EmfPlusBrushTexture, texture.Wrap = 3;
                    texture.Image = std::make_shared<TPlusImage>(TPlusImage{1, 0, 0, 0, 0, 1, 0, png});
                    TEmfPlusData d;
                    texture.Write(d);
                    plus.Object(i % 60, EmfPlusObjectBrush, d);
                    plus.Record(EmfPlusFillRects, 0, TPlusRects{i % 60u, {{0, 0, Width, Height}}}.Data(true, 0));
                } else {
                    plus.Object(i % 60, EmfPlusObjectImage, CompressedImage(png));
                    plus.Record(
                        EmfPlusDrawImage, i % 60,
                        TPlusDrawImage{0, EmfPlusUnitPixel, {0, 0, RleSide, RleSide}, {0, 0, Width, Height}, {}}.Data(
                            false, 0));
                }
            }
            plus.EndOfFile();
        });
    return pages;
}

// Pages that stay just within the budget, drawn in full: the most work a page may take. A walk of
// short steps keeps the stroked length small, so the points are what counts.
inline void Walk(emf::TEmfWriter& w, uint32_t type, uint32_t count) {
    emf::TEmrPoly{{0, 0, Width - 1, Height - 1}, count}.WriteHead(w, type);
    for (uint32_t i = 0; i < count; ++i)
        emf::TPointL{static_cast<int32_t>(20 + (i * 3) % (Width - 40)),
                     static_cast<int32_t>(20 + (i * 3 / (Width - 40)) % (Height - 40))}
            .Write(w);
    w.End();
}

inline std::vector<THostilePage> NearLimitPages() {
    using namespace emf;
    std::vector<THostilePage> pages;
    auto add = [&](std::string name, std::function<void(TEmfWriter&)> body) {
        pages.push_back({name, [body] {
                             TEmfWriter w(Width, Height, 96);
                             body(w);
                             return w.Finish();
                         }});
    };
    add("near-thin-polyline", [](TEmfWriter& w) { Walk(w, EMR_POLYLINE, 740'000); });
    add("near-wide-polyline", [](TEmfWriter& w) {
        Pen(w, 0x10000 /*PS_GEOMETRIC*/, 25);
        Walk(w, EMR_POLYLINE, 290'000);
    });
    add("near-dashed-polyline", [](TEmfWriter& w) {
        Pen(w, 1 /*PS_DASH*/, 1);
        Walk(w, EMR_POLYLINE, 200'000);
    });
    add("near-polygon", [](TEmfWriter& w) { Walk(w, EMR_POLYGON, 490'000); });
    add("near-clip-region", [](TEmfWriter& w) {
        Region(w, RGN_COPY, 48'000);
        Fill(w);
    });
    add("near-image-pixels", [](TEmfWriter& w) {
        RleDraw(w);
        RleBrush(w, w.NewHandle());
    });
    add("near-fonts", [](TEmfWriter& w) {
        const uint32_t handle = w.NewHandle();
        for (uint32_t i = 0; i < 1900; ++i)
            FontText(w, handle, u"Liberation Sans", -12, 4, static_cast<int32_t>(i));
    });
    add("near-glyph-area", [](TEmfWriter& w) {
        const uint32_t handle = w.NewHandle();
        for (int i = 0; i < 40; ++i)
            FontText(w, handle, u"Liberation Sans", -250, 30);
    });
    add("near-clip-records", [](TEmfWriter& w) {
        for (uint32_t i = 0; i < 24'000; ++i) {
            const auto [x, y] = Zigzag(i);
            TEmrBox{{0, 0, Width - static_cast<int32_t>(i % 50), Height}}.Write(w, EMR_INTERSECTCLIPRECT);
            TEmrBox{{x, y, x + 20, y + 20}}.Write(w, EMR_RECTANGLE);
        }
    });
    return pages;
}

} // namespace hostile

} // namespace pagimo::test
