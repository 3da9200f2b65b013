#pragma once
// Colours, pen styles and fonts as report components store them.

#include "platform/system/Persistent.h"

#include <cstdint>
#include <functional>
#include <string>

namespace pagimo::gdi {
struct TFont;
}

namespace pagimo::controls {

// A colour as stored: 0x00BBGGRR, or a system colour 0x800000nn (clWindowText).
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
constexpr TColor clNone = 0x1FFFFFFF;

// Stored colours are names (clBlack, clWindowText) or numbers.
system::TFormValue ColorToValue(TColor color);
TColor ColorFromValue(const system::TFormValue& value);
// The RGB a system colour stands for on paper; other colours unchanged.
TColor ColorToRGB(TColor color);

template <class C>
system::TPropertyInfo ColorProperty(std::string name, system::TGetter<C, TColor> get, system::TSetter<C, TColor> set,
                                    TColor def) {
    return system::Described({std::move(name),
            [set](system::TPersistent& o, const system::TFormValue& v, system::TLoadContext&) {
                (static_cast<C&>(o).*set)(ColorFromValue(v));
            },
            [get, def](const system::TPersistent& o) -> std::optional<system::TFormValue> {
                const TColor c = (static_cast<const C&>(o).*get)();
                if (c == def) return std::nullopt;
                return ColorToValue(c);
            },
            nullptr},
                             "TColor", ColorToValue(def));
}

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
const system::TEnumInfo& PenStyleInfo();

enum TFontStyle : uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
const system::TEnumInfo& FontStyleInfo();

// Character sets are stored by name (EASTEUROPE_CHARSET) or number.
system::TFormValue CharsetToValue(int charset);
int CharsetFromValue(const system::TFormValue& value);
constexpr int DEFAULT_CHARSET = 1;
constexpr int EASTEUROPE_CHARSET = 238;

// A font as a report stores it: face, height in pixels of the 96 pixels-per-inch reference screen
// (negative: character height, the usual form), style, character set and colour.
class TFont : public system::TPersistent {
public:
    const char* ClassName() const override { return "TFont"; }
    std::string Name() const { return FName; }
    void SetName(const std::string& name);
    int Height() const { return FHeight; }
    void SetHeight(int height);
    int Size() const; // points, rounded
    void SetSize(int points);
    uint32_t Style() const { return FStyle; }
    void SetStyle(uint32_t style);
    int Charset() const { return FCharset; }
    void SetCharset(int charset);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    void Assign(const TFont& other);
    bool operator==(const TFont& other) const;

    // Called after every change (the owner repaints or re-measures).
    void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    std::string FName = "Arial";
    int FHeight = -13;
    uint32_t FStyle = 0;
    int FCharset = DEFAULT_CHARSET;
    TColor FColor = clWindowText;
    std::function<void()> FOnChange;
    void Changed();
};

// The canvas font of a stored font, at the 96 pixels-per-inch reference screen.
gdi::TFont ToGdiFont(const TFont& font);
// The canvas font for a device of the given resolution: the same size in points (whole points, as
// the stored size is), so text keeps its size on a printer.
gdi::TFont DeviceFont(const TFont& font, int pixelsPerInch);

} // namespace pagimo::controls
