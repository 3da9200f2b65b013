#pragma once
// Fonts by LOGFONT: fontconfig chooses the installed face for a Windows face name, weight and slant
// (the project's fonts.conf maps the Windows faces to metric-compatible ones); the matched face is then
// sized and measured the way GDI does it, from the OS/2 table's win ascent and descent.

#include "platform/gdi/Gdi.h"

#include <QRawFont>
#include <QString>

#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagimo::gdi {

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

    // Advances of each UTF-16 unit rounded to whole logical units, as recorded in dx arrays (the
    // second unit of a surrogate pair gets 0).
    std::vector<int32_t> Advances(std::u16string_view text) const;
    int32_t CellHeight() const; // rounded ascent + descent
};

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
        QByteArray Os2; // the face's OS/2 table, which tells one style of a family from another
    };
    const TFace& FaceFor(const QString& faceName, int weight, bool italic);
    static QRawFont RawFont(const TFace& face, bool bold, bool italic, double pixelSize);

    std::mutex FMutex;
    std::unordered_map<std::string, std::unique_ptr<TFace>> FFaces;
    std::unordered_map<std::string, std::shared_ptr<const TMatchedFont>> FFonts;
};

} // namespace pagimo::gdi
