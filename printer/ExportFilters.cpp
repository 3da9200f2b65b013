#include "printer/ExportFilters.h"

#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace pagimo::printer {

namespace {

constexpr long double TenthsPerPixel = 254.0L / 96.0L; // font heights are pixels of a 96 dpi screen

// The em of a font in 96 dpi pixels: a negative height is the character height (the em), a positive
// one the cell height, about 1.15 em; 0 asks for the default size.
long double EmPixels(const gdi::TFont& font) {
    if (font.Height < 0) return -static_cast<long double>(font.Height);
    if (font.Height > 0) return font.Height / 1.15L;
    return 13;
}

// Code points of a UTF-8 text; a byte that does not start a valid, shortest-form sequence of a scalar
// value becomes U+FFFD.
std::u32string Decode(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        size_t len = 0;
        char32_t cp = 0, min = 0;
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07, min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (ok) {
            out.push_back(cp);
            i += len;
        } else {
            out.push_back(0xFFFD);
            ++i;
        }
    }
    return out;
}

void Append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Encode(const std::u32string& s) {
    std::string out;
    out.reserve(s.size());
    for (const char32_t cp : s)
        Append(out, cp);
    return out;
}

bool IsControl(char32_t cp) {
    return cp < 0x20 || cp == 0x7F;
}

// Combining diacritical marks sit on the previous character and take no column of their own.
bool IsCombining(char32_t cp) {
    return (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x1AB0 && cp <= 0x1AFF) || (cp >= 0x1DC0 && cp <= 0x1DFF) ||
           (cp >= 0x20D0 && cp <= 0x20FF) || (cp >= 0xFE20 && cp <= 0xFE2F);
}

long Columns(const std::u32string& s) {
    return static_cast<long>(std::count_if(s.begin(), s.end(), [](char32_t cp) { return !IsCombining(cp); }));
}

// Decimal text without the process locale (which may use a decimal comma), trailing zeros dropped.
std::string Number(long double value) {
    char buffer[64];
    const double v = std::abs(value) < 0.005L ? 0.0 : static_cast<double>(value);
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
    if (ec != std::errc()) return "0";
    std::string s(buffer, end);
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

} // namespace

// ---- the file-writing base ----

TQRFileExportFilter::TQRFileExportFilter(const std::string& fileName) : TQRExporter(fileName) {}

TQRFileExportFilter::~TQRFileExportFilter() {
    Discard();
}

long double TQRFileExportFilter::RowHeight() const {
    return EmPixels(ReportFont) * 1.15L * TenthsPerPixel;
}

long double TQRFileExportFilter::CellWidth() const {
    return EmPixels(ReportFont) * 0.5L * TenthsPerPixel;
}

void TQRFileExportFilter::Discard() {
    FOutput.reset(); // removes the temporary file unless it was put in place
}

void TQRFileExportFilter::OpenTarget() {
    Discard();
    FOutput = std::make_unique<TOutputFile>(FileName);
}

void TQRFileExportFilter::StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont& font) {
    PaperWidth = paperWidth > 0 ? paperWidth : 2100;
    PaperLength = paperLength > 0 ? paperLength : 2970;
    ReportFont = font;
    Pages.clear();
    FPageOpen = false;
    OpenTarget();
    Started = true;
}

void TQRFileExportFilter::NewExportPage() {
    Pages.emplace_back();
    FPageOpen = true;
}

void TQRFileExportFilter::EndExportPage() {
    FPageOpen = false;
}

void TQRFileExportFilter::ExportText(long double x, long double y, const gdi::TFont& font, uint32_t background,
                                     TAlignment alignment, const std::string& text) {
    if (!FPageOpen) NewExportPage();
    TExportedPage& page = Pages.back();
    TExportedText t;
    t.X = std::isfinite(x) ? x : 0;
    t.Y = std::isfinite(y) ? y : 0;
    t.Font = font;
    t.Background = background;
    t.Alignment = alignment;
    t.Text = Encode(Decode(text));
    t.Order = page.Texts.size();
    page.Texts.push_back(std::move(t));
}

void TQRFileExportFilter::FinishExport() {
    if (!FOutput) OpenTarget(); // a run whose start was skipped still writes its file
    try {
        const std::string content = Render();
        if (PWriteFull(FOutput->Fd(), content.data(), content.size(), 0) != static_cast<int64_t>(content.size()))
            throw EQRError(FormatMessage("Cannot create file %s", FileName));
        FOutput->Commit();
    } catch (...) {
        Discard();
        Started = false;
        throw;
    }
    Discard();
    Started = false;
}

std::vector<std::vector<const TExportedText*>> TQRFileExportFilter::LinesOfPage(const TExportedPage& page,
                                                                                long double tolerance) {
    std::vector<const TExportedText*> texts;
    texts.reserve(page.Texts.size());
    for (const auto& t : page.Texts)
        texts.push_back(&t);
    std::stable_sort(texts.begin(), texts.end(), [](const auto* a, const auto* b) { return a->Y < b->Y; });
    std::vector<std::vector<const TExportedText*>> lines;
    long double lineY = 0;
    for (const auto* t : texts) {
        if (lines.empty() || t->Y - lineY > tolerance) {
            lines.emplace_back();
            lineY = t->Y;
        }
        lines.back().push_back(t);
    }
    for (auto& line : lines)
        std::stable_sort(line.begin(), line.end(),
                         [](const auto* a, const auto* b) { return a->X != b->X ? a->X < b->X : a->Order < b->Order; });
    return lines;
}

std::string TQRFileExportFilter::Title() const {
    if (Printer && !Printer->DocumentTitle().empty()) return Printer->DocumentTitle();
    return std::filesystem::path(FileName).stem().string();
}

// ---- plain text ----

std::string TQRTextExportFilter::Render() const {
    struct TSegment {
        long Start;
        std::u32string Text;
    };
    struct TRow {
        long Number;
        std::vector<TSegment> Segments;
    };
    const long double cell = CellWidth(), rowHeight = RowHeight();
    // Texts off the paper keep their order but are drawn to its edge, so a stray coordinate cannot
    // blow a line or a page up to millions of spaces or blank lines.
    const long double lastColumn = std::min(10000.0L, PaperWidth / cell + 1);
    const long double lastRow = std::min(100000.0L, PaperLength / rowHeight + 1);
    std::vector<std::vector<TRow>> pages;
    long leftmost = -1;
    for (const auto& page : Pages) {
        auto& rows = pages.emplace_back();
        long double firstY = 0;
        for (const auto& line : LinesOfPage(page, LineTolerance())) {
            TRow row;
            std::vector<TSegment> segments;
            for (const auto* t : line) {
                std::u32string text = Decode(t->Text);
                for (auto& cp : text)
                    if (IsControl(cp)) cp = U' ';
                if (text.empty()) continue;
                const long width = Columns(text);
                const long double anchor = t->X / cell;
                long double start = anchor;
                if (t->Alignment == taRightJustify)
                    start = anchor - width;
                else if (t->Alignment == taCenter)
                    start = anchor - width / 2.0L;
                segments.push_back({std::max(0L, std::lround(std::clamp(start, 0.0L, lastColumn))), std::move(text)});
            }
            if (segments.empty()) continue;
            std::stable_sort(segments.begin(), segments.end(),
                             [](const TSegment& a, const TSegment& b) { return a.Start < b.Start; });
            // Push overlapping texts right, one space apart, instead of writing one over the other.
            long cursor = -2;
            for (auto& s : segments) {
                if (s.Start < cursor + 1) s.Start = cursor + 1;
                cursor = s.Start + Columns(s.Text);
                if (leftmost < 0 || s.Start < leftmost) leftmost = s.Start;
            }
            const long double y = line.front()->Y;
            if (rows.empty()) firstY = y;
            long number = std::lround(std::clamp((y - firstY) / rowHeight, 0.0L, lastRow));
            if (!rows.empty()) number = std::max(number, rows.back().Number + 1);
            row.Number = number;
            row.Segments = std::move(segments);
            rows.push_back(std::move(row));
        }
    }
    if (leftmost < 0) leftmost = 0;

    std::string out;
    for (size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) out += '\f';
        long next = 0;
        for (const auto& row : pages[p]) {
            for (; next < row.Number; ++next)
                out += '\n';
            std::u32string line;
            for (const auto& s : row.Segments) {
                const long start = s.Start - leftmost;
                const long have = Columns(line);
                if (have < start) line.append(static_cast<size_t>(start - have), U' ');
                line += s.Text;
            }
            while (!line.empty() && line.back() == U' ')
                line.pop_back();
            out += Encode(line);
            out += '\n';
            next = row.Number + 1;
        }
    }
    return out;
}

// ---- CSV ----

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

} // namespace

std::string TQRCSVExportFilter::Render() const {
    std::string out;
    for (const auto& page : Pages) {
        for (const auto& line : LinesOfPage(page, LineTolerance())) {
            if (std::all_of(line.begin(), line.end(), [](const auto* t) { return t->Text.empty(); })) continue;
            for (size_t i = 0; i < line.size(); ++i) {
                if (i > 0) out += ',';
                out += CsvField(line[i]->Text);
            }
            out += "\r\n";
        }
    }
    return out;
}

// ---- HTML ----

namespace {

// Text content and attribute values; control characters other than tab become spaces.
std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

// A face name as a CSS string in single quotes.
std::string CssString(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
            out += c;
        }
    }
    out += '\'';
    return out;
}

std::string CssColor(uint32_t colorRef) {
    static constexpr char Hex[] = "0123456789abcdef";
    const unsigned r = colorRef & 0xFF, g = (colorRef >> 8) & 0xFF, b = (colorRef >> 16) & 0xFF;
    std::string out = "#";
    for (const unsigned v : {r, g, b}) {
        out += Hex[v >> 4];
        out += Hex[v & 0xF];
    }
    return out;
}

std::string Mm(long double tenths) {
    return Number(tenths / 10.0L) + "mm";
}

std::string TextStyle(const TExportedText& t) {
    std::string s = "left:" + Mm(t.X) + ";top:" + Mm(t.Y) + ";";
    if (t.Alignment == taRightJustify)
        s += "transform:translateX(-100%);";
    else if (t.Alignment == taCenter)
        s += "transform:translateX(-50%);";
    s += "font-family:" + CssString(t.Font.Name) + ",sans-serif;";
    s += "font-size:" + Number(EmPixels(t.Font)) + "px;";
    if (t.Font.Weight > 0 && t.Font.Weight != 400)
        s += "font-weight:" + std::to_string(std::clamp(t.Font.Weight, 1, 1000)) + ";";
    if (t.Font.Italic) s += "font-style:italic;";
    if (t.Font.Underline || t.Font.StrikeOut) {
        s += "text-decoration:";
        if (t.Font.Underline) s += "underline";
        if (t.Font.Underline && t.Font.StrikeOut) s += ' ';
        if (t.Font.StrikeOut) s += "line-through";
        s += ';';
    }
    s += "color:" + CssColor(t.Font.Color) + ";";
    if (t.Background <= 0xFFFFFF && t.Background != gdi::clWhite)
        s += "background-color:" + CssColor(t.Background) + ";";
    return s;
}

} // namespace

std::string TQRHTMLExportFilter::Render() const {
    std::string out = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + HtmlEscape(Title()) +
                      "</title>\n<style>\n"
                      "body{margin:0;background:#808080}\n"
                      ".page{position:relative;overflow:hidden;background:#ffffff;margin:5mm auto}\n"
                      ".page span{position:absolute;white-space:pre;line-height:normal}\n"
                      "@media print{body{background:none}.page{margin:0;break-after:page}}\n"
                      "</style>\n</head>\n<body>\n";
    const std::string pageStyle = "width:" + Mm(PaperWidth) + ";height:" + Mm(PaperLength);
    for (const auto& page : Pages) {
        out += "<div class=\"page\" style=\"" + pageStyle + "\">\n";
        for (const auto& t : page.Texts) {
            if (t.Text.empty()) continue;
            out += "<span style=\"" + HtmlEscape(TextStyle(t)) + "\">" + HtmlEscape(t.Text) + "</span>\n";
        }
        out += "</div>\n";
    }
    out += "</body>\n</html>\n";
    return out;
}

// ---- registration ----

void RegisterStandardExportFilters(TQRExportFilterLibrary& library) {
    const auto add = [&library](TQRExporterClass make, const std::string& description, const std::string& extension) {
        for (const auto& e : library.Filters())
            if (e.Description == description && e.Extension == extension) return;
        library.Register(std::move(make), description, extension);
    };
    add([](const std::string& f) { return std::make_unique<TQRTextExportFilter>(f); }, "Text file", "txt");
    add([](const std::string& f) { return std::make_unique<TQRCSVExportFilter>(f); }, "CSV file", "csv");
    add([](const std::string& f) { return std::make_unique<TQRHTMLExportFilter>(f); }, "HTML document", "html");
    add([](const std::string& f) { return std::make_unique<TQRPDFExportFilter>(f); }, "PDF document", "pdf");
}

} // namespace pagimo::printer
