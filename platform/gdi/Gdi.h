#pragma once
// The GDI vocabulary the report layers draw with: colours, logical pens, brushes and fonts, and the
// constants of the Windows device-context calls they stand in for (same names and values, so code that
// reads or writes metafile records keeps the numbers of the file format).

#include <QImage>
#include <QPointF>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pagimo::gdi {

// 0x00BBGGRR, as in metafile records.
using TColorRef = uint32_t;
constexpr TColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<TColorRef>(r) | (static_cast<TColorRef>(g) << 8) | (static_cast<TColorRef>(b) << 16);
}
constexpr uint8_t RedOf(TColorRef c) {
    return static_cast<uint8_t>(c);
}
constexpr uint8_t GreenOf(TColorRef c) {
    return static_cast<uint8_t>(c >> 8);
}
constexpr uint8_t BlueOf(TColorRef c) {
    return static_cast<uint8_t>(c >> 16);
}
constexpr TColorRef clBlack = 0x000000;
constexpr TColorRef clWhite = 0xFFFFFF;

// Pen styles (low nibble), end caps, joins and pen type.
constexpr uint32_t PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
                   PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0x0F;
constexpr uint32_t PS_ENDCAP_ROUND = 0, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00;
constexpr uint32_t PS_JOIN_ROUND = 0, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000;
constexpr uint32_t PS_COSMETIC = 0, PS_GEOMETRIC = 0x10000, PS_TYPE_MASK = 0xF0000;

// Brush styles and hatches.
constexpr uint32_t BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6;
constexpr uint32_t HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4,
                   HS_DIAGCROSS = 5;
// The hatches past GDI's six (EMF+ pictures have them: percentages, light, dark and wide lines, dashes,
// bricks, checkerboards ...), HS_DIAGCROSS + 1 .. HatchStyleLast, each an 8 x 8 pattern of device pixels
// (HatchRows). BS_FILL: a TBrushFill (EMF+ gradients and textures), no GDI style.
constexpr uint32_t HatchStyleLast = 52;
constexpr uint32_t BS_FILL = 0x100;

// Text alignment.
constexpr uint32_t TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
                   TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 256;
// ExtTextOut options.
constexpr uint32_t ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4, ETO_GLYPH_INDEX = 0x10, ETO_RTLREADING = 0x80,
                   ETO_NO_RECT = 0x100, ETO_PDY = 0x2000;

// Background modes, polygon fill modes, arc directions, stretch modes.
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr int ALTERNATE = 1, WINDING = 2;
constexpr int AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2;
constexpr int BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4;

// Binary raster operations (line and fill drawing) and the ternary ones that documents use for bitmaps.
constexpr int R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_MASKPEN = 9, R2_NOP = 11, R2_MERGEPEN = 15, R2_COPYPEN = 13,
              R2_WHITE = 16;
constexpr uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
                   SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6, MERGECOPY = 0x00C000CA,
                   MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09, PATINVERT = 0x005A0049,
                   DSTINVERT = 0x00550009, BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062;

// Font weights and character sets.
constexpr int32_t FW_NORMAL = 400, FW_BOLD = 700;
constexpr uint8_t ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, EASTEUROPE_CHARSET = 238;

// GetDeviceCaps indices.
constexpr int TECHNOLOGY = 2, HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10, BITSPIXEL = 12, PLANES = 14,
              LOGPIXELSX = 88, LOGPIXELSY = 90, PHYSICALWIDTH = 110, PHYSICALHEIGHT = 111, PHYSICALOFFSETX = 112,
              PHYSICALOFFSETY = 113;
constexpr int DT_RASDISPLAY = 1, DT_RASPRINTER = 2, DT_METAFILE = 5;

// Usage of a DIB's colour table.
constexpr uint32_t DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1;

struct TLogPen {
    uint32_t Style = PS_SOLID; // style | end cap | join | type
    int32_t Width = 0;         // logical units; 0 draws one device pixel wide
    TColorRef Color = clBlack;
    // The dash and gap lengths of a PS_USERSTYLE pen in logical units; shared because pens are copied freely.
    std::shared_ptr<const std::vector<double>> UserStyle;
    // Where the dash pattern starts, in the units of its entries (EMF+ pens; GDI pens start at 0).
    double DashOffset = 0;
    bool operator==(const TLogPen&) const = default;
};

// A fill past GDI's brushes, as every device can draw it: colours are ARGB (0xAARRGGBB) and geometry is in
// the logical units of the shape filled, through Space.
struct TBrushFill {
    enum class TKind { Linear, Mesh, Texture };
    enum class TWrap { Tile, Reflect, Clamp };
    struct TStop {
        double At = 0;
        uint32_t Argb = 0;
        bool operator==(const TStop&) const = default;
    };
    struct TVertex {
        QPointF At;
        uint32_t Argb = 0;
        bool operator==(const TVertex&) const = default;
    };
    TKind Kind = TKind::Linear;
    QTransform Space; // the fill's own space -> logical units
    // Linear: the colour by x in the fill's space, Stops from 0 to 1 (rising At); past them by Wrap.
    std::vector<TStop> Stops;
    TWrap Wrap = TWrap::Clamp;
    // Mesh: triangles (three vertices each, in the fill's space), colours interpolated between their
    // corners; nothing outside them.
    std::vector<TVertex> Triangles;
    // Texture: the image's pixels are the fill's space (x right, y down from its top-left corner); Tile
    // repeats it, Clamp draws it once (Reflect is not used: mirrored tiles come built into Image).
    std::shared_ptr<const QImage> Image;
    // One colour for what cannot draw the fill itself (the metafile recorder, text).
    uint32_t Mean = 0xFF000000;
    bool operator==(const TBrushFill&) const = default;
};

struct TLogBrush {
    uint32_t Style = BS_SOLID;
    TColorRef Color = clWhite;
    uint32_t Hatch = HS_HORIZONTAL;
    // The pattern of BS_PATTERN / BS_DIBPATTERN brushes, decoded; shared because brushes are copied freely.
    std::shared_ptr<const QImage> Pattern;
    std::shared_ptr<const TBrushFill> Fill; // BS_FILL
    bool operator==(const TLogBrush&) const = default;
};

// The eight rows of a hatch's pattern (bit 7 is the leftmost pixel); all zero past HatchStyleLast.
const uint8_t* HatchRows(uint32_t hatch);

struct TLogFont {
    int32_t Height = -13;   // logical units: below 0 the character (em) height, above 0 the cell height
    int32_t Width = 0;      // average character width; 0 keeps the face's own proportions
    int32_t Escapement = 0; // tenths of a degree, counter-clockwise
    int32_t Orientation = 0;
    int32_t Weight = FW_NORMAL;
    uint8_t Italic = 0, Underline = 0, StrikeOut = 0;
    uint8_t CharSet = DEFAULT_CHARSET;
    uint8_t OutPrecision = 0, ClipPrecision = 0, Quality = 0, PitchAndFamily = 0;
    std::u16string FaceName = u"Arial"; // at most 31 UTF-16 units are stored in a metafile
    bool operator==(const TLogFont&) const = default;
};

// What GetDeviceCaps answers for a device.
struct TDeviceCaps {
    int32_t Technology = DT_RASDISPLAY;
    int32_t HorzRes = 0, VertRes = 0;       // printable area in pixels
    int32_t HorzSizeMM = 0, VertSizeMM = 0; // printable area in millimetres
    int32_t LogPixelsX = 96, LogPixelsY = 96;
    int32_t PhysicalWidth = 0, PhysicalHeight = 0;    // whole sheet in pixels (printers)
    int32_t PhysicalOffsetX = 0, PhysicalOffsetY = 0; // unprintable margin in pixels (printers)
    int32_t BitsPixel = 32, Planes = 1;

    int32_t Get(int index) const;
    // A screen-like device of the given size at the given resolution.
    static TDeviceCaps Screen(int32_t widthPx, int32_t heightPx, int32_t dpi = 96);
};

} // namespace pagimo::gdi
