#include "platform/gdi/PdfDocument.h"

#include "platform/system/Errors.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <list>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace pagimo::gdi {

namespace {

constexpr size_t OutputBuffer = 1 << 16;

std::string Deflate(std::string_view data) {
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw EQRError("Out of memory");
    out.resize(size);
    return out;
}

// Images met again in later documents of the process (a letterhead's logo in every output of a burst):
// their packed streams, up to 8 MB in all, the least recently used let go first. The image itself is
// kept beside its streams and compared whole, so a hash that happens to agree never mixes two images.
struct TPackedImage {
    QImage Image;
    std::string Rgb, Alpha; // deflated; Alpha empty for an opaque image
};

class TPackedImages {
public:
    std::shared_ptr<const TPackedImage> Find(const QImage& image) {
        std::lock_guard lock(FLock);
        for (auto it = FList.begin(); it != FList.end(); ++it) {
            if ((*it)->Image != image) continue;
            FList.splice(FList.begin(), FList, it);
            return FList.front();
        }
        return nullptr;
    }
    void Add(std::shared_ptr<const TPackedImage> packed) {
        const size_t bytes = Bytes(*packed);
        if (bytes > MostBytes / 4) return;
        std::lock_guard lock(FLock);
        FList.push_front(std::move(packed));
        FBytes += bytes;
        while (FBytes > MostBytes) {
            FBytes -= Bytes(*FList.back());
            FList.pop_back();
        }
    }

private:
    static constexpr size_t MostBytes = 8u << 20;
    static size_t Bytes(const TPackedImage& p) {
        return static_cast<size_t>(p.Image.sizeInBytes()) + p.Rgb.size() + p.Alpha.size();
    }
    std::mutex FLock;
    std::list<std::shared_ptr<const TPackedImage>> FList;
    size_t FBytes = 0;
};

TPackedImages& PackedImages() {
    static TPackedImages images;
    return images;
}

} // namespace

// The deflate stream of the page contents, made once and reset for each page. Page contents are packed
// for speed: a report writes thousands of them, and the best level only makes them a sixth smaller at
// three times the work.
struct TPdfDocument::TDeflater {
    z_stream Stream{};
    bool Ready = false;
    std::vector<unsigned char> Out;

    ~TDeflater() {
        if (Ready) deflateEnd(&Stream);
    }
    std::string_view Pack(std::string_view data) {
        if (!Ready) {
            if (deflateInit(&Stream, Z_BEST_SPEED) != Z_OK) throw EQRError("Out of memory");
            Ready = true;
        } else if (deflateReset(&Stream) != Z_OK) {
            throw EQRError("Out of memory");
        }
        const uLong bound = deflateBound(&Stream, data.size());
        if (Out.size() < bound) Out.resize(bound);
        Stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        Stream.avail_in = static_cast<uInt>(data.size());
        Stream.next_out = Out.data();
        Stream.avail_out = static_cast<uInt>(Out.size());
        if (deflate(&Stream, Z_FINISH) != Z_STREAM_END) throw EQRError("Out of memory");
        return std::string_view(reinterpret_cast<const char*>(Out.data()), Stream.total_out);
    }
};

namespace {

std::string Ref(uint32_t object) {
    return std::to_string(object) + " 0 R";
}

void AppendHex16(std::string& out, uint32_t v) {
    static const char Digits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(Digits[(v >> shift) & 15]);
}

// A PDF name from a face's name: letters, digits and hyphens.
std::string NameToken(const QString& s) {
    std::string out;
    for (QChar c : s) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-')
            out.push_back(static_cast<char>(c.unicode()));
    }
    return out.empty() ? std::string("Font") : out;
}

std::string MatrixOperands(const QTransform& m) {
    std::string s;
    for (double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.m31(), m.m32()}) {
        if (!s.empty()) s += ' ';
        AppendNumber(s, v, 5);
    }
    return s;
}

// The dictionary of a coloured tiling pattern of w x h cells.
std::string TilingPattern(double w, double h, const std::string& resources, const QTransform& matrix) {
    std::string d = "/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 ";
    AppendNumber(d, w, 3);
    d += ' ';
    AppendNumber(d, h, 3);
    d += "] /XStep ";
    AppendNumber(d, w, 3);
    d += " /YStep ";
    AppendNumber(d, h, 3);
    d += " /Resources << " + resources + " >> /Matrix [" + MatrixOperands(matrix) + "]";
    return d;
}

} // namespace

void AppendColorOperands(std::string& out, TColorRef c) {
    // The 256 levels of a colour channel as AppendNumber writes them, made once.
    static const std::array<std::string, 256> Levels = [] {
        std::array<std::string, 256> levels;
        for (size_t i = 0; i < levels.size(); ++i)
            AppendNumber(levels[i], static_cast<double>(i) / 255.0, 3);
        return levels;
    }();
    out += Levels[RedOf(c)];
    out += ' ';
    out += Levels[GreenOf(c)];
    out += ' ';
    out += Levels[BlueOf(c)];
}

std::string ColorOperands(TColorRef c) {
    std::string s;
    AppendColorOperands(s, c);
    return s;
}

void AppendNumber(std::string& out, double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    // The common case in integer arithmetic: a value whose scaled form is plainly not half-way between
    // two integers rounds the same however it is computed, so the digits are those of the exact
    // decimal rounding below. Values near a tie, large ones and many decimals take the exact path.
    static constexpr double Scales[] = {1, 10, 100, 1000, 10000, 100000};
    if (decimals >= 0 && decimals <= 5 && std::abs(value) < 1e9) {
        const double scaled = std::abs(value) * Scales[decimals];
        const double below = std::floor(scaled);
        if (std::abs(scaled - below - 0.5) > 1e-3) {
            auto units = static_cast<uint64_t>(scaled - below > 0.5 ? below + 1 : below);
            if (units == 0) {
                out += '0';
                return;
            }
            char buffer[32];
            char* end = buffer + sizeof buffer;
            char* p = end;
            int places = decimals;
            // Fraction digits, trailing zeros dropped.
            while (places > 0 && units % 10 == 0) {
                units /= 10;
                --places;
            }
            if (places > 0) {
                for (int i = 0; i < places; ++i) {
                    *--p = static_cast<char>('0' + units % 10);
                    units /= 10;
                }
                *--p = '.';
            }
            do {
                *--p = static_cast<char>('0' + units % 10);
                units /= 10;
            } while (units > 0);
            if (value < 0) *--p = '-';
            out.append(p, static_cast<size_t>(end - p));
            return;
        }
    }
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) {
        out += '0';
        return;
    }
    char* dot = std::find(buffer, end, '.');
    if (dot != end) {
        while (end > dot && (end[-1] == '0' || end[-1] == '.')) {
            if (*--end == '.') break;
        }
    }
    std::string_view text(buffer, static_cast<size_t>(end - buffer));
    if (text == "-0" || text.empty()) text = "0";
    out += text;
}

TPdfOutput::TPdfOutput(const std::string& path) {
    FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0) throw EQRError(FormatMessage("Cannot create file %s", path));
    FBuffer.reserve(OutputBuffer);
}

TPdfOutput::TPdfOutput(int fd) : FFd(fd), FOwned(false) {
    FBuffer.reserve(OutputBuffer);
}

TPdfOutput::~TPdfOutput() {
    Close();
}

void TPdfOutput::Write(std::string_view bytes) {
    FOffset += bytes.size();
    if (FError) return;
    if (FBuffer.size() + bytes.size() > OutputBuffer) Flush();
    if (bytes.size() >= OutputBuffer) {
        FBuffer.append(bytes);
        Flush();
    } else {
        FBuffer.append(bytes);
    }
}

void TPdfOutput::Flush() {
    const char* p = FBuffer.data();
    size_t left = FBuffer.size();
    while (left > 0 && !FError) {
        const ssize_t n = ::write(FFd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            FError = errno;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    FBuffer.clear();
}

void TPdfOutput::Close() {
    if (FFd < 0) return;
    Flush();
    if (FOwned && ::close(FFd) != 0 && !FError) FError = errno;
    FFd = -1;
}

struct TPdfDocument::TFace {
    QRawFont Raw;
    std::vector<int> Fonts; // its sizes
    std::string Hmtx, Hhea;
    unsigned UnitsPerEm = 1000;
    std::vector<uint16_t> Glyphs{0}; // old glyph id of each code
    std::vector<char32_t> Shows{0};  // the character each code shows
    std::vector<double> Widths{0};   // the face's own advances, thousandths of an em
    std::vector<uint16_t> Codes;     // by old glyph id: its code, 0 for none yet
};

TPdfDocument::TPdfDocument(const std::string& path, const std::string& creator, const std::string& title) : FOut(path) {
    Start(creator, title);
}

TPdfDocument::TPdfDocument(int fd, const std::string& creator, const std::string& title) : FOut(fd) {
    Start(creator, title);
}

void TPdfDocument::Start(const std::string& creator, const std::string& title) {
    FOut.Write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    FOffsets.assign(1, 0);
    NewObject(); // 1: the catalog
    FPagesObject = NewObject();
    FInfoObject = NewObject();
    BeginObject(FInfoObject);
    // Text strings: PDFDocEncoding covers ASCII; anything else goes as UTF-16 with a byte order mark.
    auto text = [](const std::string& utf8) {
        const std::u16string units = QString::fromStdString(utf8).toStdU16String();
        std::string out = "<FEFF";
        for (char16_t u : units)
            AppendHex16(out, u);
        return out + ">";
    };
    std::string info = "<< /Creator " + text(creator);
    if (!title.empty()) info += " /Title " + text(title);
    info += " /Producer " + text("Pagimo") + " >>\nendobj\n";
    FOut.Write(info);
}

TPdfDocument::~TPdfDocument() = default;

uint32_t TPdfDocument::NewObject() {
    FOffsets.push_back(0);
    return static_cast<uint32_t>(FOffsets.size() - 1);
}

void TPdfDocument::BeginObject(uint32_t id) {
    FOffsets[id] = FOut.Offset();
    FOut.Write(std::to_string(id) + " 0 obj\n");
}

void TPdfDocument::WriteStream(uint32_t id, const std::string& dictionary, std::string_view data, bool compress,
                               bool quick) {
    BeginObject(id);
    std::string packed;
    if (compress && quick) {
        if (!FDeflater) FDeflater = std::make_unique<TDeflater>();
        data = FDeflater->Pack(data);
    } else if (compress) {
        packed = Deflate(data);
        data = packed;
    }
    WriteStreamData(dictionary + (compress ? " /Filter /FlateDecode" : ""), data);
}

void TPdfDocument::WritePacked(uint32_t id, const std::string& dictionary, std::string_view deflated) {
    BeginObject(id);
    WriteStreamData(dictionary + " /Filter /FlateDecode", deflated);
}

void TPdfDocument::WriteStreamData(const std::string& dictionary, std::string_view data) {
    FOut.Write("<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n");
    FOut.Write(data);
    FOut.Write("\nendstream\nendobj\n");
}

void TPdfDocument::BeginPage(double widthPt, double heightPt) {
    FContent.clear();
    FPageResources.clear();
    FPageWidth = widthPt;
    FPageHeight = heightPt;
}

void TPdfDocument::EndPage() {
    const uint32_t content = NewObject();
    WriteStream(content, "", FContent, true, true);
    const uint32_t page = NewObject();
    BeginObject(page);
    std::string s = "<< /Type /Page /Parent " + Ref(FPagesObject) + " /MediaBox [0 0 ";
    AppendNumber(s, FPageWidth);
    s += ' ';
    AppendNumber(s, FPageHeight);
    s += "] /Contents " + Ref(content) + " /Resources <<";
    for (const auto& [kind, names] : FPageResources) {
        s += " /" + kind + " <<";
        for (const auto& [name, object] : names)
            s += " /" + name + " " + Ref(object);
        s += " >>";
    }
    s += " >> >>\nendobj\n";
    FOut.Write(s);
    FPageObjects.push_back(page);
    FContent.clear();
}

std::string TPdfDocument::UseResource(const char* kind, const std::string& name, uint32_t object) {
    FPageResources[kind][name] = object;
    return name;
}

int TPdfDocument::FontFor(const QRawFont& raw, double emSize) {
    // A raw font seen before (the same font engine) names its face without reading its tables again.
    const int64_t size = std::llround(emSize * 1000);
    for (const TSeenFont& seen : FSeenFonts)
        if (seen.Size == size && seen.Raw == raw) return seen.Font;
    const int font = FontOf(raw, emSize);
    if (FSeenFonts.size() >= 64) FSeenFonts.erase(FSeenFonts.begin());
    FSeenFonts.push_back({raw, size, font});
    return font;
}

int TPdfDocument::FontOf(const QRawFont& raw, double emSize) {
    const QByteArray head = raw.fontTable("head");
    const std::string key = (raw.familyName() + u'|' + raw.styleName()).toStdString() + '|' + head.toStdString();
    auto faceIt = FFaceIndex.find(key);
    if (faceIt == FFaceIndex.end()) {
        int index = -1;
        if (head.size() >= 54 && !raw.fontTable("glyf").isEmpty() && !raw.fontTable("loca").isEmpty()) {
            auto face = std::make_unique<TFace>();
            face->Raw = raw;
            face->Hmtx = raw.fontTable("hmtx").toStdString();
            face->Hhea = raw.fontTable("hhea").toStdString();
            face->UnitsPerEm = std::max(16, (static_cast<uint8_t>(head[18]) << 8) | static_cast<uint8_t>(head[19]));
            index = static_cast<int>(FFaces.size());
            FFaces.push_back(std::move(face));
        }
        faceIt = FFaceIndex.emplace(key, index).first;
    }
    if (faceIt->second < 0) return -1;
    const std::pair<int, int64_t> fontKey(faceIt->second, std::llround(emSize * 1000));
    if (auto it = FFontIndex.find(fontKey); it != FFontIndex.end()) return it->second;
    TFont font;
    font.Face = static_cast<size_t>(faceIt->second);
    font.Name = "F" + std::to_string(FNextName++);
    font.Object = NewObject();
    const int index = static_cast<int>(FFonts.size());
    FFonts.push_back(std::move(font));
    FFaces[static_cast<size_t>(faceIt->second)]->Fonts.push_back(index);
    FFontIndex.emplace(fontKey, index);
    return index;
}

uint16_t TPdfDocument::GlyphCode(int font, quint32 glyph, char32_t shows) {
    TFace& f = *FFaces[FFonts[static_cast<size_t>(font)].Face];
    if (glyph > 0xFFFF) return 0; // no TrueType glyph id
    if (glyph < f.Codes.size() && f.Codes[glyph] != 0) return f.Codes[glyph];
    if (f.Glyphs.size() >= 0xFFF0) return 0; // beyond what two-byte codes hold: the missing glyph
    const auto code = static_cast<uint16_t>(f.Glyphs.size());
    if (glyph >= f.Codes.size()) f.Codes.resize(std::max<size_t>(glyph + 1, 2 * f.Codes.size()), 0);
    f.Codes[glyph] = code;
    f.Glyphs.push_back(static_cast<uint16_t>(glyph));
    f.Shows.push_back(shows);
    // The advance as the face's metrics give it; hmtx lists numberOfHMetrics advances, the last one
    // standing for every glyph after it.
    auto u16 = [](const std::string& s, size_t at) -> unsigned {
        return at + 2 <= s.size() ? (static_cast<uint8_t>(s[at]) << 8 | static_cast<uint8_t>(s[at + 1])) : 0u;
    };
    const unsigned metrics = u16(f.Hhea, 34);
    const unsigned advance = metrics ? u16(f.Hmtx, 4 * std::min<unsigned>(glyph, metrics - 1)) : 0;
    f.Widths.push_back(std::round(advance * 1000.0 / f.UnitsPerEm));
    return code;
}

double TPdfDocument::GlyphWidth(int font, uint16_t code) {
    const TFont& s = FFonts[static_cast<size_t>(font)];
    if (code < s.Widths.size() && !std::isnan(s.Widths[code])) return s.Widths[code];
    const TFace& f = *FFaces[s.Face];
    return code < f.Widths.size() ? f.Widths[code] : 0;
}

double TPdfDocument::LearnWidth(int font, uint16_t code, double width) {
    TFont& s = FFonts[static_cast<size_t>(font)];
    if (code < s.Widths.size() && !std::isnan(s.Widths[code])) return s.Widths[code];
    if (!(width >= 0 && width < 10000)) return GlyphWidth(font, code);
    const double written = std::round(width * 100) / 100; // as the W array will say it
    if (code >= s.Widths.size())
        s.Widths.resize(std::max<size_t>(code + 1, 2 * s.Widths.size()), std::numeric_limits<double>::quiet_NaN());
    s.Widths[code] = written;
    return written;
}

std::string TPdfDocument::FontName(int font) {
    const TFont& s = FFonts[static_cast<size_t>(font)];
    return UseResource("Font", s.Name, s.Object);
}

namespace {

// The ToUnicode map of a subset: for each code (from 1) the character it shows, 0 where none.
std::string ToUnicodeCMap(const std::vector<char32_t>& shows) {
    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<uint16_t, char32_t>> shown;
    for (size_t i = 1; i < shows.size(); ++i) {
        if (shows[i] != 0) shown.emplace_back(static_cast<uint16_t>(i), shows[i]);
    }
    for (size_t at = 0; at < shown.size(); at += 100) {
        const size_t n = std::min<size_t>(100, shown.size() - at);
        cmap += std::to_string(n) + " beginbfchar\n";
        for (size_t k = at; k < at + n; ++k) {
            cmap += '<';
            AppendHex16(cmap, shown[k].first);
            cmap += "> <";
            const char32_t u = shown[k].second;
            if (u > 0xFFFF) {
                AppendHex16(cmap, 0xD800 + ((u - 0x10000) >> 10));
                AppendHex16(cmap, 0xDC00 + ((u - 0x10000) & 0x3FF));
            } else {
                AppendHex16(cmap, u);
            }
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return cmap;
}

} // namespace

void TPdfDocument::WriteFace(TFace& f) {
    std::vector<uint16_t> glyphs = f.Glyphs;
    const QRawFont& raw = f.Raw;
    const TFontSubset subset =
        SubsetTrueType([&raw](const char* tag) { return raw.fontTable(tag).toStdString(); }, glyphs);
    // The subset tag: six capitals from the glyphs used, so that different subsets of one face differ.
    const std::string glyphBytes(reinterpret_cast<const char*>(glyphs.data()), glyphs.size() * sizeof(uint16_t));
    size_t h = std::hash<std::string>()(glyphBytes);
    std::string tag;
    for (int i = 0; i < 6; ++i, h /= 26)
        tag.push_back(static_cast<char>('A' + h % 26));
    const std::string baseFont =
        tag + "+" + NameToken(raw.familyName()) +
        (raw.styleName().isEmpty() || raw.styleName() == u"Regular" ? std::string() : "-" + NameToken(raw.styleName()));
    const double scale = 1000.0 / subset.UnitsPerEm;

    const uint32_t file = NewObject(), descriptor = NewObject(), toUnicode = NewObject();
    WriteStream(file, "/Length1 " + std::to_string(subset.File.size()), subset.File, true);

    BeginObject(descriptor);
    std::string d = "<< /Type /FontDescriptor /FontName /" + baseFont + " /Flags 32 /FontBBox [";
    for (int v : {subset.XMin, subset.YMin, subset.XMax, subset.YMax}) {
        AppendNumber(d, v * scale, 0);
        d += ' ';
    }
    d += "] /ItalicAngle 0 /Ascent ";
    AppendNumber(d, subset.Ascender * scale, 0);
    d += " /Descent ";
    AppendNumber(d, subset.Descender * scale, 0);
    d += " /CapHeight ";
    AppendNumber(d, subset.Ascender * scale, 0);
    d += " /StemV 80 /FontFile2 " + Ref(file) + " >>\nendobj\n";
    FOut.Write(d);

    WriteStream(toUnicode, "", ToUnicodeCMap(f.Shows), true);

    // Each size: its widths, the shared subset and text map.
    for (const int index : f.Fonts) {
        const TFont& font = FFonts[static_cast<size_t>(index)];
        const uint32_t cidFont = NewObject();
        BeginObject(cidFont);
        std::string c = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + baseFont +
                        " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
                        Ref(descriptor) + " /CIDToGIDMap /Identity /DW 0 /W [0 [";
        for (size_t i = 0; i < glyphs.size(); ++i) {
            if (i) c += ' ';
            double w = i < f.Widths.size() ? f.Widths[i] : std::round(subset.Advances[i] * scale);
            if (i < font.Widths.size() && !std::isnan(font.Widths[i])) w = font.Widths[i];
            AppendNumber(c, w, 2);
        }
        c += "]] >>\nendobj\n";
        FOut.Write(c);
        BeginObject(font.Object);
        FOut.Write("<< /Type /Font /Subtype /Type0 /BaseFont /" + baseFont +
                   " /Encoding /Identity-H /DescendantFonts [" + Ref(cidFont) + "] /ToUnicode " + Ref(toUnicode) +
                   " >>\nendobj\n");
    }
}

uint32_t TPdfDocument::WriteImage(const QImage& source) {
    std::shared_ptr<const TPackedImage> packed = PackedImages().Find(source);
    if (!packed) {
        const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
        const int w = argb.width(), h = argb.height();
        std::string rgb, alpha;
        rgb.reserve(static_cast<size_t>(w) * h * 3);
        bool translucent = false;
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                rgb.push_back(static_cast<char>(qRed(row[x])));
                rgb.push_back(static_cast<char>(qGreen(row[x])));
                rgb.push_back(static_cast<char>(qBlue(row[x])));
                alpha.push_back(static_cast<char>(qAlpha(row[x])));
                translucent |= qAlpha(row[x]) != 255;
            }
        }
        auto made = std::make_shared<TPackedImage>();
        made->Image = source;
        made->Rgb = Deflate(rgb);
        if (translucent) made->Alpha = Deflate(alpha);
        PackedImages().Add(made);
        packed = std::move(made);
    }
    const std::string size = "/Width " + std::to_string(source.width()) + " /Height " + std::to_string(source.height());
    uint32_t mask = 0;
    if (!packed->Alpha.empty()) {
        mask = NewObject();
        WritePacked(mask, "/Type /XObject /Subtype /Image " + size + " /ColorSpace /DeviceGray /BitsPerComponent 8",
                    packed->Alpha);
    }
    const uint32_t image = NewObject();
    WritePacked(image,
                "/Type /XObject /Subtype /Image " + size + " /ColorSpace /DeviceRGB /BitsPerComponent 8" +
                    (mask ? " /SMask " + Ref(mask) : std::string()),
                packed->Rgb);
    return image;
}

std::string TPdfDocument::ImageName(const QImage& image) {
    // Pictures repeated on every page (a letterhead's logo) are stored once.
    const std::string key =
        "image|" + std::to_string(image.width()) + "x" + std::to_string(image.height()) + "|" +
        std::to_string(image.format()) + "|" +
        std::to_string(std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(image.constBits()),
                                                                      static_cast<size_t>(image.sizeInBytes()))));
    auto it = FNamed.find(key);
    if (it == FNamed.end())
        it = FNamed.emplace(key, std::make_pair("Im" + std::to_string(FNextName++), WriteImage(image))).first;
    return UseResource("XObject", it->second.first, it->second.second);
}

std::string TPdfDocument::GStateName(uint8_t fillAlpha, const char* blendMode) {
    const std::string key = "gs|" + std::to_string(fillAlpha) + "|" + (blendMode ? blendMode : "Normal");
    auto it = FNamed.find(key);
    if (it == FNamed.end()) {
        const uint32_t object = NewObject();
        BeginObject(object);
        std::string s = "<< /Type /ExtGState /ca ";
        AppendNumber(s, fillAlpha / 255.0, 3);
        s += " /CA ";
        AppendNumber(s, fillAlpha / 255.0, 3);
        s += " /BM /" + std::string(blendMode ? blendMode : "Normal") + " >>\nendobj\n";
        FOut.Write(s);
        it = FNamed.emplace(key, std::make_pair("GS" + std::to_string(FNextName++), object)).first;
    }
    return UseResource("ExtGState", it->second.first, it->second.second);
}

std::string TPdfDocument::HatchPatternName(uint32_t hatch, TColorRef color, double cell, double lineWidth,
                                           const QTransform& deviceToPage) {
    std::string key = "hatch|" + std::to_string(hatch) + "|" + std::to_string(color) + "|";
    AppendNumber(key, cell, 3);
    key += '|';
    AppendNumber(key, lineWidth, 3);
    key += '|' + MatrixOperands(deviceToPage);
    auto it = FNamed.find(key);
    if (it == FNamed.end()) {
        std::string c = ColorOperands(color) + " RG ";
        AppendNumber(c, lineWidth);
        c += " w ";
        auto line = [&](double x0, double y0, double x1, double y1) {
            AppendNumber(c, x0);
            c += ' ';
            AppendNumber(c, y0);
            c += " m ";
            AppendNumber(c, x1);
            c += ' ';
            AppendNumber(c, y1);
            c += " l S ";
        };
        const double m = cell / 2, e = lineWidth; // lines run a little past the cell so tiles join
        const bool horizontal = hatch == HS_HORIZONTAL || hatch == HS_CROSS;
        const bool vertical = hatch == HS_VERTICAL || hatch == HS_CROSS;
        if (horizontal) line(-e, m, cell + e, m);
        if (vertical) line(m, -e, m, cell + e);
        if (hatch == HS_FDIAGONAL || hatch == HS_DIAGCROSS) line(-e, -e, cell + e, cell + e);
        if (hatch == HS_BDIAGONAL || hatch == HS_DIAGCROSS) line(-e, cell + e, cell + e, -e);
        const uint32_t object = NewObject();
        WriteStream(object, TilingPattern(cell, cell, "", deviceToPage), c, false);
        it = FNamed.emplace(key, std::make_pair("P" + std::to_string(FNextName++), object)).first;
    }
    return UseResource("Pattern", it->second.first, it->second.second);
}

std::string TPdfDocument::ImagePatternName(const QImage& image, double pixel, const QTransform& deviceToPage) {
    std::string key = "tile|" + std::to_string(image.cacheKey()) + "|";
    AppendNumber(key, pixel, 3);
    key += '|' + MatrixOperands(deviceToPage);
    auto it = FNamed.find(key);
    if (it == FNamed.end()) {
        const uint32_t picture = WriteImage(image);
        const double w = image.width() * pixel, h = image.height() * pixel;
        std::string c = "q ";
        AppendNumber(c, w, 3);
        c += " 0 0 ";
        AppendNumber(c, -h, 3);
        c += " 0 ";
        AppendNumber(c, h, 3);
        c += " cm /Tile Do Q";
        const uint32_t object = NewObject();
        WriteStream(object, TilingPattern(w, h, "/XObject << /Tile " + Ref(picture) + " >>", deviceToPage), c, false);
        it = FNamed.emplace(key, std::make_pair("P" + std::to_string(FNextName++), object)).first;
    }
    return UseResource("Pattern", it->second.first, it->second.second);
}

std::string TPdfDocument::ShadingPatternName(const std::string& shading, std::string_view stream,
                                             const QTransform& matrix) {
    const std::string key = "sh|" + shading + "|" + MatrixOperands(matrix) + "|" +
                            std::to_string(std::hash<std::string_view>{}(stream)) + "|" + std::to_string(stream.size());
    auto it = FNamed.find(key);
    if (it == FNamed.end()) {
        std::string ref = "<< " + shading + " >>";
        if (!stream.empty()) {
            const uint32_t data = NewObject();
            WriteStream(data, shading, stream, true);
            ref = Ref(data);
        }
        const uint32_t object = NewObject();
        BeginObject(object);
        FOut.Write("<< /Type /Pattern /PatternType 2 /Shading " + ref + " /Matrix [" + MatrixOperands(matrix) +
                   "] >>\nendobj\n");
        it = FNamed.emplace(key, std::make_pair("P" + std::to_string(FNextName++), object)).first;
    }
    return UseResource("Pattern", it->second.first, it->second.second);
}

void TPdfDocument::Finish() {
    if (FFinished) return;
    FFinished = true;
    for (auto& face : FFaces)
        WriteFace(*face);
    BeginObject(FPagesObject);
    std::string pages = "<< /Type /Pages /Kids [";
    for (size_t i = 0; i < FPageObjects.size(); ++i) {
        if (i) pages += ' ';
        pages += Ref(FPageObjects[i]);
    }
    pages += "] /Count " + std::to_string(FPageObjects.size()) + " >>\nendobj\n";
    FOut.Write(pages);
    BeginObject(1);
    FOut.Write("<< /Type /Catalog /Pages " + Ref(FPagesObject) + " >>\nendobj\n");
    const uint64_t xref = FOut.Offset();
    std::string table = "xref\n0 " + std::to_string(FOffsets.size()) + "\n0000000000 65535 f \n";
    char line[32];
    for (size_t i = 1; i < FOffsets.size(); ++i) {
        std::snprintf(line, sizeof line, "%010llu 00000 n \n", static_cast<unsigned long long>(FOffsets[i]));
        table += line;
    }
    table += "trailer\n<< /Size " + std::to_string(FOffsets.size()) + " /Root 1 0 R /Info " + Ref(FInfoObject) +
             " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    FOut.Write(table);
    FOut.Close();
}

} // namespace pagimo::gdi
