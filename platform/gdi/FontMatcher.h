#pragma once
// Fonts by LOGFONT: fontconfig chooses the installed face for a Windows face name, weight and slant
// (the project's fonts.conf maps the Windows faces to metric-compatible ones); the matched face is then
// sized and measured the way GDI does it, from the OS/2 table's win ascent and descent.

#include "platform/gdi/Gdi.h"

#include <QRawFont>
#include <QString>

#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagimo::gdi {

// The characters of a face's glyphs (its cmap read backwards, the lowest character for a glyph that
// several share), built on first use and shared by every size of the face. Thread-safe.
class TGlyphChars {
public:
    explicit TGlyphChars(QByteArray data) : FData(std::move(data)) {}
    char32_t CharOf(quint32 glyph) const;

private:
    QByteArray FData;
    mutable std::once_flag FOnce;
    mutable std::unordered_map<quint32, char32_t> FChars;
};

// One LOGFONT resolved to a face at its em size in logical units. Immutable and shared.
class TMatchedFont {
public:
    QRawFont Raw;          // at EmSize pixels, unhinted
    QRawFont Fallback;     // a broad-coverage face at the same size for characters Raw lacks
    QString Family;        // the installed family chosen
    double EmSize = 0;     // logical units
    double Ascent = 0;     // win ascent at EmSize
    double Descent = 0;    // win descent at EmSize
    double WidthScale = 1; // horizontal stretch from lfWidth
    bool Underline = false, StrikeOut = false;
    double Escapement = 0; // degrees, counter-clockwise
    bool Symbol = false;   // a symbol face: text maps to U+F0xx when the face wants it
    // The face is the family the LOGFONT names (fontconfig matched it, not a substitute): glyph indices
    // recorded with that face are its own glyphs.
    bool NamedFace = false;
    quint32 GlyphCount = 0; // glyphs in Raw (its maxp table)
    std::shared_ptr<const TGlyphChars> GlyphChars;

    // ETO_GLYPH_INDEX text: the glyph of Raw that index draws, 0 for none. Through the named face any
    // index of it; through a substitute only the standard glyph order (below 258) maps, by character.
    quint32 GlyphOfIndex(char16_t index) const;
    // The character glyph index index shows (for text extraction), 0 when unknown.
    char32_t CharOfIndex(char16_t index) const;
    // How many of the glyph indices in text cannot be drawn with this font (past the standard order of
    // a substitute face, or past the glyphs of the named one).
    uint32_t UndrawableIndices(std::u16string_view text) const;

    // Advances of each UTF-16 unit rounded to whole logical units, as recorded in dx arrays (the
    // second unit of a surrogate pair gets 0).
    std::vector<int32_t> Advances(std::u16string_view text) const;
    // The same advances summed: the width ExtTextOut gives the text.
    int32_t Width(std::u16string_view text) const;
    int32_t CellHeight() const; // rounded ascent + descent

    // How a character is drawn: its glyph (0: none), whether from Fallback, and its advance as
    // Advances gives it.
    struct TCharGlyph {
        quint32 Glyph = 0;
        bool Fallback = false;
        int32_t Advance = 0;
    };
    TCharGlyph GlyphOfChar(char32_t c) const;
    // Fills the table of the first 256 characters, which report text mostly keeps to, so that their
    // glyphs and advances are looked up once per font rather than once per character drawn.
    void CacheLatin();

private:
    TCharGlyph LookUpChar(char32_t c) const;
    std::array<TCharGlyph, 256> FLatin{};
    bool FLatinCached = false;
};

// The face at index of a TrueType collection (.ttc) as a font file of its own (its table directory and
// tables); the data as given when it is not a collection, empty when the collection is damaged.
QByteArray FaceOfCollection(const QByteArray& data, int index);

class TFontMatcher {
public:
    // The process-wide matcher (fonts are a process resource: fontconfig's configuration and Qt's
    // font database are global too). Thread-safe.
    static TFontMatcher& Shared();

    std::shared_ptr<const TMatchedFont> Match(const TLogFont& font);

    // The fontconfig family that a Windows face name resolves to (for tests and diagnostics).
    QString ResolveFamily(const QString& faceName, int weight, bool italic);

private:
    struct TFace {
        QString File;
        int Index = 0;
        QString Family;
        double WinAscent = 0, WinDescent = 0, UnitsPerEm = 1000; // font units
        QByteArray Data;
        QByteArray Os2;     // the face's OS/2 table, which tells one style of a family from another
        bool Named = false; // fontconfig's match is the family asked for, not a substitute
        std::shared_ptr<const TGlyphChars> GlyphChars;
    };
    const TFace& FaceFor(const QString& faceName, int weight, bool italic);
    static QRawFont RawFont(const TFace& face, bool bold, bool italic, double pixelSize);

    // A LOGFONT's fields that choose the matched font, the face name in lower case.
    struct TFontKey {
        std::u16string Face;
        int32_t Height = 0, Width = 0, Escapement = 0, Weight = 0;
        uint8_t Italic = 0, Underline = 0, StrikeOut = 0, CharSet = 0;
        bool operator==(const TFontKey&) const = default;
    };
    struct TFontKeyHash {
        size_t operator()(const TFontKey& k) const;
    };

    std::mutex FMutex;
    std::unordered_map<std::string, std::unique_ptr<TFace>> FFaces;
    std::unordered_map<TFontKey, std::shared_ptr<const TMatchedFont>, TFontKeyHash> FFonts;
};

} // namespace pagimo::gdi
