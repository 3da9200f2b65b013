#pragma once
// Documents for the tests of how pages are shown: pages on sheets of three sizes, and pages that
// cannot be drawn completely (one over its work budget, one with a broken record chain).

#include "DamagedFiles.h"
#include "pagestore/PageList.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/system/Rnd.h"

#include <QImage>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace pagimo::test {

// The sheets of MixedSheetsReport in tenths of a millimetre: A4 portrait, 200 x 188 mm, 142 x 290 mm.
inline const std::vector<std::pair<int32_t, int32_t>>& MixedSheets() {
    static const std::vector<std::pair<int32_t, int32_t>> sheets{{2100, 2970}, {2000, 1880}, {1420, 2900}};
    return sheets;
}

inline void SaveRecording(pagestore::TQRPageList& list, const std::string& file) {
    list.CloseRecording();
    list.CopyToFile(file);
}

// A QRP file of three pages on the sheets of MixedSheets, each with a border along its edges, its
// number and a black disc in the middle (round only when the page keeps its aspect). With overflow,
// page 1 also fills a rectangle reaching far past its bottom right corner.
inline void MixedSheetsReport(const std::string& file, bool overflow = false) {
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    int page = 0;
    for (const auto& [width, height] : MixedSheets()) {
        ++page;
        const int32_t w = Rnd(width * 96.0L / 254), h = Rnd(height * 96.0L / 254);
        gdi::TMetafileCanvas c(w, h);
        c.Brush.Style = gdi::BS_NULL;
        c.Rectangle(2, 2, w - 2, h - 2);
        c.Font.Name = "Arial";
        c.Font.Height = -24;
        c.TextOut(30, 30, "Page " + std::to_string(page));
        c.Brush.Style = gdi::BS_SOLID;
        c.Brush.Color = gdi::clBlack;
        const int32_t d = std::min(w, h) / 2;
        c.Ellipse(w / 2 - d / 2, h / 2 - d / 2, w / 2 + d / 2, h / 2 + d / 2);
        if (overflow && page == 1) c.FillRect(w - 60, h - 60, w + 400, h + 400);
        list.StorePage(c.Finish());
    }
    SaveRecording(list, file);
}

// The widths of the dark run across and down through point at of image: a disc drawn true gives two
// equal lengths.
inline std::pair<int, int> DarkRuns(const QImage& image, QPoint at) {
    const auto dark = [&](int x, int y) {
        return image.rect().contains(x, y) && image.pixelColor(x, y).lightness() < 128;
    };
    int left = at.x(), right = at.x(), top = at.y(), bottom = at.y();
    while (dark(left - 1, at.y()))
        --left;
    while (dark(right + 1, at.y()))
        ++right;
    while (dark(at.x(), top - 1))
        --top;
    while (dark(at.x(), bottom + 1))
        ++bottom;
    return {right - left + 1, bottom - top + 1};
}

// An A4 page with a little text, or (heavy) a scribble of points points in its middle, under the box
// of the mark of a page that cannot be drawn completely, as polylines of a thousand points each.
inline emf::TEmfPicture TroublePage(bool heavy, int points = 1'000'000) {
    gdi::TMetafileCanvas c(794, 1123);
    c.Font.Name = "Arial";
    c.Font.Height = -24;
    c.TextOut(60, 60, heavy ? "Heavy" : "Ordinary");
    std::vector<QPoint> line;
    for (int i = 0; heavy && i < points; ++i) {
        line.emplace_back(340 + i % 113, 490 + (i * 7) % 151);
        if (line.size() == 1000 || i + 1 == points) {
            c.Polyline(line);
            line.clear();
        }
    }
    return c.Finish();
}

// A QRP file of an ordinary page, a page over its work budget and a page whose record chain breaks.
inline void TroubleReport(const std::string& file) {
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    for (bool heavy : {false, true, false})
        list.StorePage(TroublePage(heavy));
    SaveRecording(list, file);
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    BreakRecordInsidePage(bytes, 3);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace pagimo::test
