#include "printer/ExportFilters.h"

#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "platform/system/Utf8.h"
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
    FPage.Texts.clear();
    FPageOpen = FHeadWritten = false;
    PagesWritten = 0;
    FBuffer.clear();
    FWritten = 0;
    OpenTarget();
    Started = true;
}

void TQRFileExportFilter::NewExportPage() {
    ClosePage();
    FPage.Texts.clear();
    FPageOpen = true;
}

void TQRFileExportFilter::EndExportPage() {
    ClosePage();
}

void TQRFileExportFilter::ClosePage() {
    if (!FPageOpen) return;
    FPageOpen = false;
    if (!FOutput) OpenTarget(); // a run whose start was skipped still writes its file
    if (!FHeadWritten) {
        FHeadWritten = true;
        WriteHead();
    }
    WritePage(FPage);
    ++PagesWritten;
    FPage.Texts.clear();
}

void TQRFileExportFilter::Emit(std::string_view text) {
    FBuffer.append(text);
    if (FBuffer.size() >= (1u << 20)) FlushOutput();
}

void TQRFileExportFilter::FlushOutput() {
    if (FBuffer.empty()) return;
    if (PWriteFull(FOutput->Fd(), FBuffer.data(), FBuffer.size(), FWritten) != static_cast<int64_t>(FBuffer.size()))
        throw EQRError(FormatMessage("Cannot create file %s", FileName));
    FWritten += static_cast<int64_t>(FBuffer.size());
    FBuffer.clear();
}

void TQRFileExportFilter::ExportText(long double x, long double y, const gdi::TFont& font, uint32_t background,
                                     TAlignment alignment, const std::string& text) {
    if (!FPageOpen) NewExportPage();
    TExportedText t;
    t.X = std::isfinite(x) ? x : 0;
    t.Y = std::isfinite(y) ? y : 0;
    t.Font = font;
    t.Background = background;
    t.Alignment = alignment;
    t.Text = system::CodePointsToUtf8(system::Utf8ToCodePoints(text));
    t.Order = FPage.Texts.size();
    FPage.Texts.push_back(std::move(t));
}

void TQRFileExportFilter::FinishExport() {
    try {
        if (!FOutput) OpenTarget(); // a run whose start was skipped still writes its file
        ClosePage();
        if (!FHeadWritten) {
            FHeadWritten = true;
            WriteHead();
        }
        WriteTail();
        FlushOutput();
        const int64_t size = Complete(FOutput->Fd(), FWritten);
        if (size != FWritten && ::ftruncate(FOutput->Fd(), size) != 0)
            throw EQRError(FormatMessage("Cannot create file %s", FileName));
        FOutput->Commit();
    } catch (...) {
        Discard();
        FBuffer.clear();
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

void TQRTextExportFilter::StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont& font) {
    FLeftmost = -1;
    TQRFileExportFilter::StartExport(paperWidth, paperLength, font);
}

void TQRTextExportFilter::WritePage(const TExportedPage& page) {
    struct TSegment {
        long Start;
        std::u32string Text;
    };
    const long double cell = CellWidth(), rowHeight = RowHeight();
    // Texts off the paper keep their order but are drawn to its edge, so a stray coordinate cannot
    // blow a line or a page up to millions of spaces or blank lines.
    const long double lastColumn = std::min(10000.0L, PaperWidth / cell + 1);
    const long double lastRow = std::min(100000.0L, PaperLength / rowHeight + 1);
    std::string out;
    if (PagesWritten > 0) out += '\f';
    long double firstY = 0;
    long next = 0;
    bool anyRow = false;
    for (const auto& line : LinesOfPage(page, LineTolerance())) {
        std::vector<TSegment> segments;
        for (const auto* t : line) {
            std::u32string text = system::Utf8ToCodePoints(t->Text);
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
        for (auto& seg : segments) {
            if (seg.Start < cursor + 1) seg.Start = cursor + 1;
            cursor = seg.Start + Columns(seg.Text);
            if (FLeftmost < 0 || seg.Start < FLeftmost) FLeftmost = seg.Start;
        }
        const long double y = line.front()->Y;
        if (!anyRow) firstY = y;
        long number = std::lround(std::clamp((y - firstY) / rowHeight, 0.0L, lastRow));
        if (anyRow) number = std::max(number, next);
        anyRow = true;
        for (; next < number; ++next)
            out += '\n';
        std::u32string text;
        long have = 0;
        for (const auto& seg : segments) {
            if (have < seg.Start) text.append(static_cast<size_t>(seg.Start - have), U' ');
            text += seg.Text;
            have = seg.Start + Columns(seg.Text);
        }
        while (!text.empty() && text.back() == U' ')
            text.pop_back();
        out += system::CodePointsToUtf8(text);
        out += '\n';
        next = number + 1;
    }
    Emit(out);
}

// Every line that holds text starts with at least FLeftmost spaces (its first text starts there or
// further right), so dropping that many leading spaces from each line shifts the whole document left
// by the margin. The file only shrinks, so it is rewritten in place from front to back.
int64_t TQRTextExportFilter::Complete(int fd, int64_t size) {
    if (FLeftmost <= 0) return size;
    std::string in(1u << 20, '\0'), out;
    out.reserve(in.size());
    int64_t readAt = 0, writeAt = 0;
    long dropped = 0; // leading spaces dropped from the current line so far
    while (readAt < size) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(size - readAt, static_cast<int64_t>(in.size())));
        if (PReadFull(fd, in.data(), want, readAt) != static_cast<int64_t>(want))
            throw EQRError(FormatMessage("Cannot create file %s", FileName));
        readAt += static_cast<int64_t>(want);
        out.clear();
        for (size_t i = 0; i < want; ++i) {
            const char c = in[i];
            if (c == '\n') {
                dropped = 0;
            } else if (c == ' ' && dropped >= 0 && dropped < FLeftmost) {
                ++dropped;
                continue;
            } else if (c != '\f') {
                dropped = -1; // past the margin: the rest of the line stays
            }
            out += c;
        }
        if (PWriteFull(fd, out.data(), out.size(), writeAt) != static_cast<int64_t>(out.size()))
            throw EQRError(FormatMessage("Cannot create file %s", FileName));
        writeAt += static_cast<int64_t>(out.size());
    }
    return writeAt;
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

void TQRCSVExportFilter::WritePage(const TExportedPage& page) {
    std::string out;
    for (const auto& line : LinesOfPage(page, LineTolerance())) {
        if (std::all_of(line.begin(), line.end(), [](const auto* t) { return t->Text.empty(); })) continue;
        for (size_t i = 0; i < line.size(); ++i) {
            if (i > 0) out += ',';
            out += CsvField(line[i]->Text);
        }
        out += "\r\n";
    }
    Emit(out);
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

void TQRHTMLExportFilter::WriteHead() {
    Emit("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + HtmlEscape(Title()) +
         "</title>\n<style>\n"
         "body{margin:0;background:#808080}\n"
         ".page{position:relative;overflow:hidden;background:#ffffff;margin:5mm auto}\n"
         ".page span{position:absolute;white-space:pre;line-height:normal}\n"
         "@media print{body{background:none}.page{margin:0;break-after:page}}\n"
         "</style>\n</head>\n<body>\n");
}

void TQRHTMLExportFilter::WritePage(const TExportedPage& page) {
    std::string out = "<div class=\"page\" style=\"width:" + Mm(PaperWidth) + ";height:" + Mm(PaperLength) + "\">\n";
    for (const auto& t : page.Texts) {
        if (t.Text.empty()) continue;
        out += "<span style=\"" + HtmlEscape(TextStyle(t)) + "\">" + HtmlEscape(t.Text) + "</span>\n";
    }
    out += "</div>\n";
    Emit(out);
}

void TQRHTMLExportFilter::WriteTail() {
    Emit("</body>\n</html>\n");
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
