#pragma once
// What arrived at the printer, read back with poppler's tools: pages, page sizes, text.

#include "CupsFixture.h"

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace pagimo::test {

struct TPdfPage {
    double WidthPt = 0, HeightPt = 0;
    int Rotation = 0;
};

inline std::vector<TPdfPage> PdfPages(const TCupsFixture& f, const std::filesystem::path& pdf) {
    std::string out;
    f.Run({"pdfinfo", "-f", "1", "-l", "100000", pdf.string()}, &out);
    std::vector<TPdfPage> pages;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        int n = 0;
        double w = 0, h = 0;
        int rot = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &n, &w, &h) == 3) {
            if (n > static_cast<int>(pages.size())) pages.resize(static_cast<size_t>(n));
            pages[static_cast<size_t>(n - 1)].WidthPt = w;
            pages[static_cast<size_t>(n - 1)].HeightPt = h;
        } else if (std::sscanf(line.c_str(), "Page %d rot: %d", &n, &rot) == 2) {
            if (n > static_cast<int>(pages.size())) pages.resize(static_cast<size_t>(n));
            pages[static_cast<size_t>(n - 1)].Rotation = rot;
        }
    }
    return pages;
}

inline std::string PdfText(const TCupsFixture& f, const std::filesystem::path& pdf) {
    std::string out;
    f.Run({"pdftotext", "-layout", pdf.string(), "-"}, &out);
    return out;
}

// Whether the PDF carries fonts, i.e. its text is text and not outlines.
inline bool PdfHasFonts(const TCupsFixture& f, const std::filesystem::path& pdf) {
    std::string out;
    f.Run({"pdffonts", pdf.string()}, &out);
    std::istringstream lines(out);
    int n = 0;
    for (std::string line; std::getline(lines, line);)
        ++n;
    return n > 2; // two header lines, then one line per font
}

// Word boxes from pdftotext -bbox: true when the word's box is taller than wide, i.e. the text runs
// across the sheet's short side (a landscape page laid onto portrait paper).
inline bool PdfWordRunsVertically(const TCupsFixture& f, const std::filesystem::path& pdf, const std::string& word) {
    std::string out;
    f.Run({"pdftotext", "-bbox", pdf.string(), "-"}, &out);
    const std::string key = ">" + word + "</word>";
    const auto at = out.find(key);
    if (at == std::string::npos) return false;
    const auto start = out.rfind("<word", at);
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (std::sscanf(out.c_str() + start, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &x0, &y0, &x1,
                    &y1) != 4) {
        return false;
    }
    return (y1 - y0) > (x1 - x0);
}

inline bool NearPt(double points, double millimetres) {
    return std::abs(points - millimetres / 25.4 * 72) < 1.5;
}

} // namespace pagimo::test
