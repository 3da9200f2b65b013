#include "controls/Graphics.h"

#include "platform/gdi/Canvas.h"

#include <utility>

namespace pagimo::controls {

using system::TFormValue;

namespace {

struct TNamedColor {
    const char* Name;
    TColor Value;
    TColor Rgb; // what a system colour prints as
};

constexpr TNamedColor NamedColors[] = {
    {"clBlack", 0x000000, 0x000000},
    {"clMaroon", 0x000080, 0x000080},
    {"clGreen", 0x008000, 0x008000},
    {"clOlive", 0x008080, 0x008080},
    {"clNavy", 0x800000, 0x800000},
    {"clPurple", 0x800080, 0x800080},
    {"clTeal", 0x808000, 0x808000},
    {"clGray", 0x808080, 0x808080},
    {"clSilver", 0xC0C0C0, 0xC0C0C0},
    {"clRed", 0x0000FF, 0x0000FF},
    {"clLime", 0x00FF00, 0x00FF00},
    {"clYellow", 0x00FFFF, 0x00FFFF},
    {"clBlue", 0xFF0000, 0xFF0000},
    {"clFuchsia", 0xFF00FF, 0xFF00FF},
    {"clAqua", 0xFFFF00, 0xFFFF00},
    {"clWhite", 0xFFFFFF, 0xFFFFFF},
    {"clScrollBar", static_cast<TColor>(0x80000000), 0xC8C8C8},
    {"clBackground", static_cast<TColor>(0x80000001), 0x000000},
    {"clActiveCaption", static_cast<TColor>(0x80000002), 0xD1B499},
    {"clInactiveCaption", static_cast<TColor>(0x80000003), 0xDBCDBF},
    {"clMenu", static_cast<TColor>(0x80000004), 0xF0F0F0},
    {"clWindow", static_cast<TColor>(0x80000005), 0xFFFFFF},
    {"clWindowFrame", static_cast<TColor>(0x80000006), 0x646464},
    {"clMenuText", static_cast<TColor>(0x80000007), 0x000000},
    {"clWindowText", static_cast<TColor>(0x80000008), 0x000000},
    {"clCaptionText", static_cast<TColor>(0x80000009), 0x000000},
    {"clActiveBorder", static_cast<TColor>(0x8000000A), 0xB4B4B4},
    {"clInactiveBorder", static_cast<TColor>(0x8000000B), 0xFCF7F4},
    {"clAppWorkSpace", static_cast<TColor>(0x8000000C), 0xABABAB},
    {"clHighlight", static_cast<TColor>(0x8000000D), 0xFF9933},
    {"clHighlightText", static_cast<TColor>(0x8000000E), 0xFFFFFF},
    {"clBtnFace", static_cast<TColor>(0x8000000F), 0xF0F0F0},
    {"clBtnShadow", static_cast<TColor>(0x80000010), 0xA0A0A0},
    {"clGrayText", static_cast<TColor>(0x80000011), 0x6D6D6D},
    {"clBtnText", static_cast<TColor>(0x80000012), 0x000000},
    {"clInactiveCaptionText", static_cast<TColor>(0x80000013), 0x000000},
    {"clBtnHighlight", static_cast<TColor>(0x80000014), 0xFFFFFF},
    {"clInfoText", static_cast<TColor>(0x80000017), 0x000000},
    {"clInfoBk", static_cast<TColor>(0x80000018), 0xE1FFFF},
    {"clNone", clNone, 0xFFFFFF},
    {"clDefault", 0x20000000, 0xFFFFFF},
};

struct TNamedCharset {
    const char* Name;
    int Value;
};

constexpr TNamedCharset Charsets[] = {
    {"ANSI_CHARSET", 0},          {"DEFAULT_CHARSET", 1},      {"SYMBOL_CHARSET", 2},    {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128},    {"HANGEUL_CHARSET", 129},    {"JOHAB_CHARSET", 130},   {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},      {"TURKISH_CHARSET", 162}, {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},      {"ARABIC_CHARSET", 178},     {"BALTIC_CHARSET", 186},  {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},        {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

} // namespace

TFormValue ColorToValue(TColor color) {
    for (const auto& c : NamedColors) {
        if (c.Value == color) return TFormValue::Ident(c.Name);
    }
    return TFormValue::Int(color);
}

TColor ColorFromValue(const TFormValue& value) {
    if (value.Kind == TFormValue::fvInteger) {
        if (value.Integer < INT32_MIN || value.Integer > UINT32_MAX)
            throw system::EPropertyValue("colour out of range");
        return static_cast<TColor>(static_cast<uint32_t>(value.Integer & 0xFFFFFFFF));
    }
    if (value.Kind == TFormValue::fvIdent) {
        for (const auto& c : NamedColors) {
            if (system::SameText(c.Name, value.Text)) return c.Value;
        }
        throw system::EPropertyValue("'" + value.Text + "' is not a colour");
    }
    throw system::EPropertyValue(std::string("expected a colour, found ") + value.KindName());
}

TColor ColorToRGB(TColor color) {
    if ((static_cast<uint32_t>(color) & 0xFF000000u) == 0) return color;
    for (const auto& c : NamedColors) {
        if (c.Value == color) return c.Rgb;
    }
    return color & 0xFFFFFF;
}

const system::TEnumInfo& PenStyleInfo() {
    static const system::TEnumInfo info{
        "TPenStyle", {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame"}};
    return info;
}

const system::TEnumInfo& FontStyleInfo() {
    static const system::TEnumInfo info{"TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"}};
    return info;
}

TFormValue CharsetToValue(int charset) {
    for (const auto& c : Charsets) {
        if (c.Value == charset) return TFormValue::Ident(c.Name);
    }
    return TFormValue::Int(charset);
}

int CharsetFromValue(const TFormValue& value) {
    if (value.Kind == TFormValue::fvInteger) {
        if (value.Integer < 0 || value.Integer > 255) throw system::EPropertyValue("character set out of range");
        return static_cast<int>(value.Integer);
    }
    if (value.Kind == TFormValue::fvIdent) {
        for (const auto& c : Charsets) {
            if (system::SameText(c.Name, value.Text)) return c.Value;
        }
        throw system::EPropertyValue("'" + value.Text + "' is not a character set");
    }
    throw system::EPropertyValue(std::string("expected a character set, found ") + value.KindName());
}

void TFont::Changed() {
    if (FOnChange) FOnChange();
}

void TFont::SetName(const std::string& name) {
    if (name == FName) return;
    FName = name;
    Changed();
}

void TFont::SetHeight(int height) {
    if (height == FHeight) return;
    FHeight = height;
    Changed();
}

// Sizes in points relate to heights at the 96 pixels-per-inch reference screen.
int TFont::Size() const {
    const long long h = -static_cast<long long>(FHeight) * 72;
    return static_cast<int>(h >= 0 ? (h + 48) / 96 : -((-h + 48) / 96));
}

void TFont::SetSize(int points) {
    const long long h = static_cast<long long>(points) * 96;
    SetHeight(-static_cast<int>(h >= 0 ? (h + 36) / 72 : -((-h + 36) / 72)));
}

void TFont::SetStyle(uint32_t style) {
    if (style == FStyle) return;
    FStyle = style;
    Changed();
}

void TFont::SetCharset(int charset) {
    if (charset == FCharset) return;
    FCharset = charset;
    Changed();
}

void TFont::SetColor(TColor color) {
    if (color == FColor) return;
    FColor = color;
    Changed();
}

void TFont::Assign(const TFont& other) {
    FName = other.FName;
    FHeight = other.FHeight;
    FStyle = other.FStyle;
    FCharset = other.FCharset;
    FColor = other.FColor;
    Changed();
}

bool TFont::operator==(const TFont& o) const {
    return FName == o.FName && FHeight == o.FHeight && FStyle == o.FStyle && FCharset == o.FCharset &&
           FColor == o.FColor;
}

const system::TPropertyList& TFont::ClassProperties() {
    using system::TPersistent;
    static const system::TPropertyList list(
        nullptr, {system::Described({"Charset",
                                     [](TPersistent& o, const TFormValue& v, system::TLoadContext&) {
                                         static_cast<TFont&>(o).SetCharset(CharsetFromValue(v));
                                     },
                                     [](const TPersistent& o) -> std::optional<TFormValue> {
                                         return CharsetToValue(static_cast<const TFont&>(o).Charset());
                                     },
                                     nullptr},
                                    "TFontCharset"),
                  ColorProperty<TFont>("Color", &TFont::Color, &TFont::SetColor, clNone),
                  system::IntProperty<TFont>("Height", &TFont::Height, &TFont::SetHeight, std::nullopt),
                  system::StringProperty<TFont>("Name", &TFont::Name, &TFont::SetName),
                  // Size is another view of Height: read from older descriptions, never written.
                  {"Size",
                   [](TPersistent& o, const TFormValue& v, system::TLoadContext&) {
                       const int64_t i = system::IntegerValue(v);
                       if (i < -10000 || i > 10000) throw system::EPropertyValue("font size out of range");
                       static_cast<TFont&>(o).SetSize(static_cast<int>(i));
                   },
                   nullptr, nullptr, "Integer"},
                  system::SetProperty<TFont>("Style", FontStyleInfo(), &TFont::Style, &TFont::SetStyle, std::nullopt)});
    return list;
}

gdi::TFont ToGdiFont(const TFont& f) {
    gdi::TFont font;
    font.Name = f.Name();
    font.Height = f.Height();
    font.Weight = (f.Style() & fsBold) ? gdi::FW_BOLD : gdi::FW_NORMAL;
    font.Italic = (f.Style() & fsItalic) != 0;
    font.Underline = (f.Style() & fsUnderline) != 0;
    font.StrikeOut = (f.Style() & fsStrikeOut) != 0;
    font.Charset = static_cast<uint8_t>(f.Charset());
    font.Color = static_cast<gdi::TColorRef>(ColorToRGB(f.Color())) & 0xFFFFFF;
    return font;
}

gdi::TFont DeviceFont(const TFont& f, int pixelsPerInch) {
    gdi::TFont font = ToGdiFont(f);
    if (pixelsPerInch > 0 && pixelsPerInch != 96) font.SetSize(f.Size(), pixelsPerInch);
    return font;
}

} // namespace pagimo::controls
