#include "platform/gdi/FontMatcher.h"

#include "platform/graphics/GlyphNames.h"

#include <QFile>
#include <QFont>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>

namespace pagimo::gdi {

namespace {

uint16_t BigU16(const QByteArray& table, int at) {
    if (at + 2 > table.size()) return 0;
    return static_cast<uint16_t>((static_cast<uint8_t>(table[at]) << 8) | static_cast<uint8_t>(table[at + 1]));
}

uint32_t BigU32(const QByteArray& data, int64_t at) {
    if (at < 0 || at + 4 > data.size()) return 0;
    return (static_cast<uint32_t>(BigU16(data, static_cast<int>(at))) << 16) | BigU16(data, static_cast<int>(at + 2));
}

void PutBigU32(QByteArray& out, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// The face name in lower case: ASCII names (nearly all) without a round trip through QString.
std::u16string LowerFace(const std::u16string& face) {
    std::u16string out = face;
    for (char16_t& c : out) {
        if (c >= 0x80) return QString::fromStdU16String(face).toLower().toStdU16String();
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    }
    return out;
}

} // namespace

QByteArray FaceOfCollection(const QByteArray& data, int index) {
    if (!data.startsWith("ttcf")) return data;
    const uint32_t faces = BigU32(data, 8);
    if (index < 0 || static_cast<uint32_t>(index) >= faces || faces > 4096) return {};
    const int64_t directory = BigU32(data, 12 + 4 * static_cast<int64_t>(index));
    const uint32_t tables = BigU16(data, static_cast<int>(std::min<int64_t>(directory + 4, INT32_MAX)));
    if (tables == 0 || tables > 512 || directory + 12 + 16 * static_cast<int64_t>(tables) > data.size()) return {};
    // The face's own table directory, its tables after it, each at a four-byte boundary.
    QByteArray out = data.mid(static_cast<qsizetype>(directory), 12 + 16 * static_cast<qsizetype>(tables));
    for (uint32_t i = 0; i < tables; ++i) {
        const int64_t record = directory + 12 + 16 * static_cast<int64_t>(i);
        const int64_t offset = BigU32(data, record + 8), length = BigU32(data, record + 12);
        if (offset + length > data.size()) return {};
        PutBigU32(out, 12 + 16 * static_cast<int>(i) + 8, static_cast<uint32_t>(out.size()));
        out += data.mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(length));
        while (out.size() % 4)
            out += '\0';
    }
    return out;
}

QRawFont TFontMatcher::RawFont(const TFace& face, bool bold, bool italic, double pixelSize) {
    // Through Qt's font database when it knows the face, so that PDF output embeds the font file and
    // keeps text as text; from the file's bytes otherwise.
    QFont qfont(face.Family);
    qfont.setWeight(bold ? QFont::Bold : QFont::Normal);
    qfont.setItalic(italic);
    qfont.setStyleStrategy(QFont::NoFontMerging);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    qfont.setPixelSize(100);
    QRawFont raw = QRawFont::fromFont(qfont);
    // Qt may answer with another style of the family (the regular face, emboldened on the fly) when
    // its own database lacks the matched one; the advances come from the matched face, so only that
    // face will do.
    if (raw.isValid() && raw.familyName() == face.Family && raw.unitsPerEm() == face.UnitsPerEm &&
        (face.Os2.isEmpty() || raw.fontTable("OS/2") == face.Os2)) {
        raw.setPixelSize(pixelSize);
        return raw;
    }
    return QRawFont(face.Data, pixelSize, QFont::PreferNoHinting);
}

TFontMatcher& TFontMatcher::Shared() {
    // Never destroyed: its raw fonts hold Qt font engines, which must not outlive Qt's own teardown.
    static TFontMatcher* matcher = new TFontMatcher;
    return *matcher;
}

QString TFontMatcher::ResolveFamily(const QString& faceName, int weight, bool italic) {
    std::lock_guard lock(FMutex);
    return FaceFor(faceName, weight, italic).Family;
}

const TFontMatcher::TFace& TFontMatcher::FaceFor(const QString& faceName, int weight, bool italic) {
    const bool bold = weight >= 600;
    const std::string key = faceName.toLower().toStdString() + (bold ? "|b" : "|r") + (italic ? "i" : "n");
    if (auto it = FFaces.find(key); it != FFaces.end()) return *it->second;

    auto face = std::make_unique<TFace>();
    auto tryMatch = [&](const QString& family) {
        FcPattern* pattern = FcPatternCreate();
        const QByteArray name = family.toUtf8();
        if (!name.isEmpty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        bool ok = false;
        if (match) {
            FcChar8* file = nullptr;
            FcChar8* fam = nullptr;
            FcBool scalable = FcFalse;
            int index = 0;
            FcPatternGetBool(match, FC_SCALABLE, 0, &scalable);
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && scalable) {
                FcPatternGetInteger(match, FC_INDEX, 0, &index);
                FcPatternGetString(match, FC_FAMILY, 0, &fam);
                QFile f(QString::fromUtf8(reinterpret_cast<const char*>(file)));
                if (f.open(QIODevice::ReadOnly)) {
                    face->File = f.fileName();
                    face->Index = index;
                    face->Family = fam ? QString::fromUtf8(reinterpret_cast<const char*>(fam)) : QString();
                    // A collection's face is taken out of it: the first face is not always the style asked for.
                    face->Data = FaceOfCollection(f.readAll(), index);
                    ok = !face->Data.isEmpty();
                    // The family asked for itself, under any of the names the face gives (localised
                    // ones too), or another face standing in for it.
                    face->Named = false;
                    FcChar8* other = nullptr;
                    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &other) == FcResultMatch; ++i) {
                        const QString given = QString::fromUtf8(reinterpret_cast<const char*>(other));
                        if (!family.isEmpty() && given.compare(family, Qt::CaseInsensitive) == 0) face->Named = true;
                    }
                }
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        return ok;
    };
    if (!tryMatch(faceName)) {
        if (!tryMatch(QStringLiteral("Liberation Sans"))) tryMatch(QStringLiteral("DejaVu Sans"));
        face->Named = false; // a default face, whatever its name
    }
    face->GlyphChars = std::make_shared<const TGlyphChars>(face->Data);

    QRawFont probe(face->Data, 100, QFont::PreferNoHinting);
    if (probe.isValid()) {
        face->UnitsPerEm = probe.unitsPerEm() > 0 ? probe.unitsPerEm() : 1000;
        const QByteArray os2 = probe.fontTable("OS/2");
        face->Os2 = os2;
        face->WinAscent = BigU16(os2, 74);
        face->WinDescent = BigU16(os2, 76);
        if (face->WinAscent + face->WinDescent <= 0) {
            face->WinAscent = probe.ascent() / 100 * face->UnitsPerEm;
            face->WinDescent = probe.descent() / 100 * face->UnitsPerEm;
        }
    }
    return *FFaces.emplace(key, std::move(face)).first->second;
}

size_t TFontMatcher::TFontKeyHash::operator()(const TFontKey& k) const {
    size_t h = std::hash<std::u16string>()(k.Face);
    for (const int64_t v :
         {int64_t{k.Height}, int64_t{k.Width}, int64_t{k.Escapement}, int64_t{k.Weight},
          int64_t{k.Italic} << 24 | int64_t{k.Underline} << 16 | int64_t{k.StrikeOut} << 8 | k.CharSet})
        h = h * 1000003 ^ std::hash<int64_t>()(v);
    return h;
}

std::shared_ptr<const TMatchedFont> TFontMatcher::Match(const TLogFont& font) {
    TFontKey key{LowerFace(font.FaceName), font.Height,    font.Width,  font.Escapement, font.Weight, font.Italic,
                 font.Underline,           font.StrikeOut, font.CharSet};
    std::lock_guard lock(FMutex);
    if (auto it = FFonts.find(key); it != FFonts.end()) return it->second;

    const QString faceName = QString::fromStdU16String(font.FaceName);
    const TFace& face = FaceFor(faceName, font.Weight, font.Italic != 0);
    auto m = std::make_shared<TMatchedFont>();
    const double cellUnits = std::max(face.WinAscent + face.WinDescent, 1.0);
    double em;
    if (font.Height < 0)
        em = -static_cast<double>(font.Height);
    else if (font.Height > 0)
        em = font.Height * face.UnitsPerEm / cellUnits;
    else
        em = 16 * face.UnitsPerEm / cellUnits; // GDI's default cell height on a 96 dpi screen
    em = std::min(em, 20000.0);
    m->EmSize = em;
    m->Family = face.Family;
    m->Ascent = face.WinAscent * em / face.UnitsPerEm;
    m->Descent = face.WinDescent * em / face.UnitsPerEm;
    m->Underline = font.Underline != 0;
    m->StrikeOut = font.StrikeOut != 0;
    m->Escapement = font.Escapement / 10.0;
    m->Raw = RawFont(face, font.Weight >= 600, font.Italic != 0, em > 0 ? em : 1);
    m->Symbol = font.CharSet == SYMBOL_CHARSET;
    m->NamedFace = face.Named && m->Raw.isValid();
    m->GlyphChars = face.GlyphChars;
    if (m->Raw.isValid()) m->GlyphCount = BigU16(m->Raw.fontTable("maxp"), 4);
    if (font.Width > 0 && m->Raw.isValid()) {
        const QByteArray os2 = m->Raw.fontTable("OS/2");
        const double avg = static_cast<int16_t>(BigU16(os2, 2)) * em / face.UnitsPerEm;
        // Wider or narrower than 64 times the face's own proportions is no text anyone reads.
        if (avg > 0.1) m->WidthScale = std::clamp(font.Width / avg, 1.0 / 64, 64.0);
    }
    const TFace& fallback = FaceFor(QStringLiteral("DejaVu Sans"), font.Weight, font.Italic != 0);
    if (fallback.File != face.File)
        m->Fallback = RawFont(fallback, font.Weight >= 600, font.Italic != 0, em > 0 ? em : 1);
    m->CacheLatin();
    if (FFonts.size() > 512) FFonts.clear();
    return FFonts.emplace(std::move(key), std::move(m)).first->second;
}

TMatchedFont::TCharGlyph TMatchedFont::LookUpChar(char32_t c) const {
    QChar units[2];
    int n = 1;
    if (c > 0xFFFF) {
        units[0] = QChar(QChar::highSurrogate(c));
        units[1] = QChar(QChar::lowSurrogate(c));
        n = 2;
    } else {
        units[0] = QChar(static_cast<char16_t>(c));
    }
    TCharGlyph out;
    int count = 1;
    const QRawFont* font = &Raw;
    Raw.glyphIndexesForChars(units, n, &out.Glyph, &count);
    if (out.Glyph == 0 && Symbol && c < 0x100) {
        units[0] = QChar(static_cast<char16_t>(0xF000 + c));
        Raw.glyphIndexesForChars(units, 1, &out.Glyph, &count);
    }
    if (out.Glyph == 0 && Fallback.isValid()) {
        font = &Fallback;
        out.Fallback = true;
        Fallback.glyphIndexesForChars(units, n, &out.Glyph, &count);
    }
    QPointF advance;
    font->advancesForGlyphIndexes(&out.Glyph, &advance, 1, QRawFont::UseDesignMetrics);
    out.Advance = static_cast<int32_t>(std::lround(advance.x() * WidthScale));
    return out;
}

void TMatchedFont::CacheLatin() {
    if (!Raw.isValid()) return;
    for (char32_t c = 0; c < FLatin.size(); ++c)
        FLatin[c] = LookUpChar(c);
    FLatinCached = true;
}

TMatchedFont::TCharGlyph TMatchedFont::GlyphOfChar(char32_t c) const {
    if (c < FLatin.size() && FLatinCached) return FLatin[c];
    return LookUpChar(c);
}

std::vector<int32_t> TMatchedFont::Advances(std::u16string_view text) const {
    std::vector<int32_t> out(text.size(), 0);
    if (text.empty() || !Raw.isValid()) return out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1]);
        if (pair) c = QChar::surrogateToUcs4(text[i], text[i + 1]);
        out[i] = GlyphOfChar(c).Advance;
        if (pair) ++i;
    }
    return out;
}

int32_t TMatchedFont::Width(std::u16string_view text) const {
    int32_t width = 0;
    if (!Raw.isValid()) return 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1]);
        if (pair) c = QChar::surrogateToUcs4(text[i], text[i + 1]);
        width += GlyphOfChar(c).Advance;
        if (pair) ++i;
    }
    return width;
}

char32_t TGlyphChars::CharOf(quint32 glyph) const {
    std::call_once(FOnce, [this] {
        const QRawFont raw(FData, 16, QFont::PreferNoHinting);
        if (!raw.isValid()) return;
        // Every character of the basic multilingual plane in one lookup (one glyph per unit, as no
        // surrogates are asked for); the first (lowest) character of a glyph wins.
        std::vector<QChar> units;
        for (char32_t c = 0x20; c <= 0xFFFF; ++c)
            if (c < 0xD800 || c >= 0xE000) units.push_back(QChar(static_cast<char16_t>(c)));
        std::vector<quint32> glyphs(units.size(), 0);
        int count = static_cast<int>(glyphs.size());
        if (!raw.glyphIndexesForChars(units.data(), static_cast<int>(units.size()), glyphs.data(), &count)) return;
        for (size_t i = 0; i < units.size() && i < static_cast<size_t>(count); ++i)
            if (glyphs[i] != 0) FChars.emplace(glyphs[i], units[i].unicode());
    });
    const auto it = FChars.find(glyph);
    return it == FChars.end() ? 0 : it->second;
}

quint32 TMatchedFont::GlyphOfIndex(char16_t index) const {
    if (NamedFace) return index < GlyphCount ? index : 0;
    const char32_t c = graphics::StandardOrderGlyphToChar(index);
    if (c == 0 || !Raw.isValid()) return 0;
    const QChar unit(static_cast<char16_t>(c));
    quint32 glyph = 0;
    int count = 1;
    Raw.glyphIndexesForChars(&unit, 1, &glyph, &count);
    return glyph;
}

char32_t TMatchedFont::CharOfIndex(char16_t index) const {
    if (NamedFace) return GlyphChars && index < GlyphCount ? GlyphChars->CharOf(index) : 0;
    return graphics::StandardOrderGlyphToChar(index);
}

uint32_t TMatchedFont::UndrawableIndices(std::u16string_view text) const {
    uint32_t n = 0;
    for (char16_t g : text)
        n += NamedFace ? g >= GlyphCount : g >= graphics::StandardGlyphCount;
    return n;
}

int32_t TMatchedFont::CellHeight() const {
    return static_cast<int32_t>(std::lround(Ascent + Descent));
}

} // namespace pagimo::gdi
