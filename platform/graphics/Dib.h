#pragma once
// Device-independent bitmaps: the BITMAPINFO + bits pairs of metafile records and BMP files, decoded
// into QImage. Every size in the header is checked against the bytes that are really there and against
// fixed limits before anything is allocated; malformed or hostile input gives a null QImage.

#include <QImage>

#include <cstdint>
#include <span>
#include <vector>

namespace pagimo::graphics {

constexpr uint32_t DibRgbColors = 0; // DIB_RGB_COLORS: the colour table holds RGBQUADs
constexpr uint32_t DibPalColors = 1; // DIB_PAL_COLORS: the colour table holds 16-bit logical palette indices

// biCompression values.
constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiRle8 = 1;
constexpr uint32_t BiRle4 = 2;
constexpr uint32_t BiBitfields = 3;
constexpr uint32_t BiJpeg = 4;
constexpr uint32_t BiPng = 5;
constexpr uint32_t BiAlphaBitfields = 6;

// Limits on what a DIB may claim: no side longer than MaxDibSide, no more than MaxDibPixels in all.
constexpr int32_t MaxDibSide = 32767;
constexpr int64_t MaxDibPixels = int64_t(1) << 25;

// The header fields of a DIB that callers need without decoding it (stretch mode for monochrome
// bitmaps, the source rectangle of a record).
struct TDibHeader {
    uint32_t HeaderSize = 0; // 12 (core), 16 or 64 (OS/2), 40, 52, 56, 108 (V4), 124 (V5)
    int32_t Width = 0;
    int32_t Height = 0; // always positive; TopDown says where row 0 is
    bool TopDown = false;
    uint16_t BitCount = 0;
    uint32_t Compression = BiRgb;
    uint32_t ColorsUsed = 0; // colour table entries present in bitmapInfo (clamped to what is there)
    uint32_t ColorTableOffset = 0;
    uint32_t ColorEntrySize = 4;                                      // 3 for core headers, 2 with DIB_PAL_COLORS
    uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0, AlphaMask = 0; // for 16 and 32 bits per pixel
    int32_t XPelsPerMeter = 0, YPelsPerMeter = 0;
};

// Reads and checks the header of bitmapInfo (BITMAPCOREHEADER, the OS/2 headers, BITMAPINFOHEADER, V4,
// V5). False when it is malformed or beyond the limits.
bool ReadDibHeader(std::span<const uint8_t> bitmapInfo, uint32_t usage, TDibHeader& header);

// Decodes a DIB. bitmapInfo is the header with its bit masks and colour table; bits the pixel data
// (for BI_JPEG and BI_PNG the embedded file). Handles 1, 2, 4, 8, 16, 24 and 32 bits per pixel,
// BI_BITFIELDS and BI_ALPHABITFIELDS, BI_RLE4 and BI_RLE8 (pixels that the runs skip stay transparent),
// top-down and bottom-up rows, colour tables shorter than the depth allows (indices past the end are
// black), and embedded JPEG and PNG. With DIB_PAL_COLORS the colour table indexes a logical palette
// that is not known here: indices are taken into the default 20-colour palette, others as grey levels.
// 32-bit BI_RGB pixels are opaque; with useAlphaByte their top byte is premultiplied alpha, as
// ALPHABLEND's source-alpha mode reads it. The result is Format_RGB32, or Format_ARGB32 /
// Format_ARGB32_Premultiplied when the bitmap has transparency. A null QImage for malformed input.
QImage DecodeDib(std::span<const uint8_t> bitmapInfo, std::span<const uint8_t> bits, uint32_t usage,
                 bool useAlphaByte = false);

// Decodes a BMP file (BITMAPFILEHEADER + DIB). A null QImage for malformed input.
QImage DecodeBmpFile(std::span<const uint8_t> file);

// Decodes a packed DIB (BITMAPINFO immediately followed by the bits, as the clipboard and icon
// resources hold it). A null QImage for malformed input.
QImage DecodePackedDib(std::span<const uint8_t> packed, uint32_t usage = DibRgbColors);

// Splits a BMP file into its BITMAPINFO and bits (the bits from bfOffBits, or straight after the colour
// table when bfOffBits is out of range). False when the file is not a BMP file.
bool SplitBmpFile(std::span<const uint8_t> file, std::span<const uint8_t>& bitmapInfo, std::span<const uint8_t>& bits);

// A DIB made from an image: BITMAPINFOHEADER, bottom-up, 24 bits per pixel for opaque images and 32
// with premultiplied alpha otherwise, as StretchDIBits and ALPHABLEND records carry them.
struct TDib {
    std::vector<uint8_t> Info;
    std::vector<uint8_t> Bits;
};
TDib EncodeDib(const QImage& image);

// A BMP file of an image (BITMAPFILEHEADER + the DIB of EncodeDib).
std::vector<uint8_t> EncodeBmpFile(const QImage& image);

} // namespace pagimo::graphics
