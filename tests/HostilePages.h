#pragma once
// Pages made to be expensive, as an attacker would make them: single records of a million points,
// clips of a million rectangles, paths of a million points. Each is an A4 page at 96 dpi written with
// the project's own EMF writer; the player must end each in bounded time and memory and say that it
// could not draw it completely.

#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"

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
    const uint32_t h = w.NewHandle();
    w.Record(emf::EMR_EXTCREATEPEN,
             {static_cast<int32_t>(h), 0, 0, 0, 0, static_cast<int32_t>(style), width, 0, 0, 0, 0});
    w.Record(emf::EMR_SELECTOBJECT, {static_cast<int32_t>(h)});
}

// POLYLINE, POLYGON or POLYLINETO with count 32-bit points.
inline void Poly(emf::TEmfWriter& w, uint32_t type, uint32_t count) {
    w.Begin(type);
    for (int32_t v : {0, 0, Width - 1, Height - 1})
        w.I32(v);
    w.U32(count);
    for (uint32_t i = 0; i < count; ++i) {
        const auto [x, y] = Zigzag(i);
        w.I32(x);
        w.I32(y);
    }
    w.End();
}

// EXTSELECTCLIPRGN with count small rectangles spread over the page.
inline void Region(emf::TEmfWriter& w, uint32_t mode, uint32_t count, uint32_t seed = 0) {
    w.Begin(emf::EMR_EXTSELECTCLIPRGN);
    w.U32(32 + 16 * count);
    w.U32(mode);
    for (uint32_t v : {32u, 1u, count, 16 * count})
        w.U32(v);
    for (int32_t v : {0, 0, Width, Height})
        w.I32(v);
    for (uint32_t i = 0; i < count; ++i) {
        const auto [x, y] = Zigzag(i + seed);
        for (int32_t v : {x, y, x + 3, y + 2})
            w.I32(v);
    }
    w.End();
}

inline void Fill(emf::TEmfWriter& w) {
    w.Record(emf::EMR_RECTANGLE, {0, 0, Width, Height});
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
        w.Begin(EMR_POLYPOLYGON16);
        for (int32_t v : {0, 0, Width - 1, Height - 1})
            w.I32(v);
        w.U32(polygons);
        w.U32(3 * polygons);
        for (uint32_t i = 0; i < polygons; ++i)
            w.U32(3);
        for (uint32_t i = 0; i < 3 * polygons; ++i) {
            const auto [x, y] = Zigzag(i);
            w.I16(static_cast<int16_t>(x));
            w.I16(static_cast<int16_t>(y));
        }
        w.End();
    });
    add("clip-region-million-rects", [](TEmfWriter& w) {
        Region(w, RGN_COPY, Million);
        Fill(w);
    });
    add("clip-region-million-rects-and", [](TEmfWriter& w) {
        w.Record(EMR_INTERSECTCLIPRECT, {10, 10, Width - 10, Height - 10});
        Region(w, RGN_AND, Million);
        Fill(w);
    });
    add("clip-rect-records", [](TEmfWriter& w) {
        // A million ExcludeClipRect records, each cutting a hole into the clip.
        for (uint32_t i = 0; i < Million; ++i) {
            const auto [x, y] = Zigzag(i);
            w.Record(EMR_EXCLUDECLIPRECT, {x, y, x + 2, y + 2});
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
        w.Record(EMR_BEGINPATH, {});
        Poly(w, EMR_POLYLINETO, Million);
        w.Record(EMR_CLOSEFIGURE, {});
        w.Record(EMR_ENDPATH, {});
        w.Record(EMR_FILLPATH, {0, 0, Width - 1, Height - 1});
    });
    add("path-clip", [](TEmfWriter& w) {
        w.Record(EMR_BEGINPATH, {});
        Poly(w, EMR_POLYLINETO, Million);
        w.Record(EMR_CLOSEFIGURE, {});
        w.Record(EMR_ENDPATH, {});
        w.Record(EMR_SELECTCLIPPATH, {RGN_AND});
        Fill(w);
    });
    return pages;
}

// Pages that stay just within the budget, drawn in full: the most work a page may take. A walk of
// short steps keeps the stroked length small, so the points are what counts.
inline void Walk(emf::TEmfWriter& w, uint32_t type, uint32_t count) {
    w.Begin(type);
    for (int32_t v : {0, 0, Width - 1, Height - 1})
        w.I32(v);
    w.U32(count);
    for (uint32_t i = 0; i < count; ++i) {
        w.I32(static_cast<int32_t>(20 + (i * 3) % (Width - 40)));
        w.I32(static_cast<int32_t>(20 + (i * 3 / (Width - 40)) % (Height - 40)));
    }
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
    add("near-clip-records", [](TEmfWriter& w) {
        for (uint32_t i = 0; i < 24'000; ++i) {
            const auto [x, y] = Zigzag(i);
            w.Record(EMR_INTERSECTCLIPRECT, {0, 0, Width - static_cast<int32_t>(i % 50), Height});
            w.Record(EMR_RECTANGLE, {x, y, x + 20, y + 20});
        }
    });
    return pages;
}

} // namespace hostile

} // namespace pagimo::test
