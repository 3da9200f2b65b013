#pragma once
// A PDF file written object by object as pages are drawn: compressed content streams, embedded TrueType
// subsets (made once per document, at the end, from every glyph the pages used) with ToUnicode maps so
// that text can be extracted and selected, images, transparency states and hatch or picture patterns.
// TPdfDevice draws into the current page; the document keeps the shared resources.

#include "platform/gdi/FontSubset.h"
#include "platform/gdi/Gdi.h"

#include <QImage>
#include <QRawFont>
#include <QTransform>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagimo::gdi {

// Where every byte of a PDF file goes: one place that notices write errors. The first error is kept
// (Error()) and later writes are dropped; what to do about it is the caller's decision.
class TPdfOutput {
public:
    // Creates or truncates the file; throws EQRError("Cannot create file %s") when it cannot.
    explicit TPdfOutput(const std::string& path);
    // Writes to an open file descriptor the caller owns (it is not closed).
    explicit TPdfOutput(int fd);
    ~TPdfOutput();
    TPdfOutput(const TPdfOutput&) = delete;
    TPdfOutput& operator=(const TPdfOutput&) = delete;

    void Write(std::string_view bytes);
    uint64_t Offset() const { return FOffset; }
    // Writes what is buffered and closes the file (also at destruction); a borrowed descriptor is only
    // flushed to.
    void Close();
    int Error() const { return FError; } // an errno value, 0 while every write succeeded

private:
    void Flush();

    int FFd = -1;
    bool FOwned = true;
    std::string FBuffer;
    uint64_t FOffset = 0;
    int FError = 0;
};

// Compact decimal numbers for content streams: at most `decimals` places, no trailing zeros.
void AppendNumber(std::string& out, double value, int decimals = 2);
// "r g b" for the colour operators.
std::string ColorOperands(TColorRef c);
void AppendColorOperands(std::string& out, TColorRef c);

class TPdfDocument {
public:
    // Opens the file (throws as TPdfOutput does), or writes to fd, which stays the caller's. creator and
    // title (when not empty) go into the document information.
    TPdfDocument(const std::string& path, const std::string& creator, const std::string& title = {});
    TPdfDocument(int fd, const std::string& creator, const std::string& title = {});
    ~TPdfDocument();
    TPdfDocument(const TPdfDocument&) = delete;
    TPdfDocument& operator=(const TPdfDocument&) = delete;

    // A new page of the given size in points; its content stream starts out empty.
    void BeginPage(double widthPt, double heightPt);
    std::string& Content() { return FContent; }
    void EndPage();
    // Writes the fonts, the page tree and the cross-reference table and closes the file.
    void Finish();
    int WriteError() const { return FOut.Error(); }

    // Resources for the current page; the names returned are the ones to use in its content stream.
    // A font is a face at one em size (in the pictures' logical units): every size of a face shares one
    // embedded subset, but has its own glyph widths, learnt from the advances the pages give the glyphs
    // (whole pixels, as GDI lays text out), so that text in that size needs few or no adjustments.
    // A face that cannot be embedded (no TrueType outlines) gives -1.
    int FontFor(const QRawFont& raw, double emSize);
    uint16_t GlyphCode(int font, quint32 glyph, char32_t shows); // the code of glyph in font
    double GlyphWidth(int font, uint16_t code);                  // advance in thousandths of an em
    // Sets the width of a code that has none yet (thousandths of an em); returns the width in force.
    double LearnWidth(int font, uint16_t code, double width);
    std::string FontName(int font);
    std::string ImageName(const QImage& image);
    std::string GStateName(uint8_t fillAlpha, const char* blendMode); // blendMode nullptr: Normal
    // A colored tiling pattern: hatch lines (HS_*) or an image, cell given in the page's device space
    // as set up by the device (deviceToPage maps device units to the page's default space).
    std::string HatchPatternName(uint32_t hatch, TColorRef color, double cell, double lineWidth,
                                 const QTransform& deviceToPage);
    std::string ImagePatternName(const QImage& image, double pixel, const QTransform& deviceToPage);
    // A shading pattern: shading is the shading's dictionary (its entries, without the brackets), the
    // dictionary of a stream of stream's bytes when stream is not empty; matrix maps the shading's space to
    // the page's default space.
    std::string ShadingPatternName(const std::string& shading, std::string_view stream, const QTransform& matrix);

private:
    struct TFace;
    struct TDeflater;
    struct TFont {
        size_t Face = 0;
        std::string Name;
        uint32_t Object = 0;
        std::vector<double> Widths; // learnt, thousandths of an em, by code; NaN where none is
    };
    struct TImage {
        uint32_t Object = 0;
    };
    // The raw fonts FontFor was asked for lately, the most recent last.
    struct TSeenFont {
        QRawFont Raw;
        int64_t Size = 0;
        int Font = -1;
    };
    int FontOf(const QRawFont& raw, double emSize);
    void Start(const std::string& creator, const std::string& title);
    uint32_t NewObject();
    void BeginObject(uint32_t id);
    // quick: packed at the fastest level, through the document's one deflate stream (page contents).
    void WriteStream(uint32_t id, const std::string& dictionary, std::string_view data, bool compress,
                     bool quick = false);
    // A stream whose data is deflated already; the object's end follows the data.
    void WritePacked(uint32_t id, const std::string& dictionary, std::string_view deflated);
    void WriteStreamData(const std::string& dictionary, std::string_view data);
    uint32_t WriteImage(const QImage& image);
    void WriteFace(TFace& face);
    std::string UseResource(const char* kind, const std::string& name, uint32_t object);

    TPdfOutput FOut;
    std::vector<uint64_t> FOffsets; // by object id; 0 = not yet written
    uint32_t FPagesObject = 0, FInfoObject = 0;
    std::vector<uint32_t> FPageObjects;
    std::string FContent;
    double FPageWidth = 0, FPageHeight = 0;
    std::map<std::string, std::map<std::string, uint32_t>> FPageResources; // kind -> name -> object
    std::vector<std::unique_ptr<TFace>> FFaces;
    std::map<std::string, int> FFaceIndex;
    std::vector<TFont> FFonts;
    std::map<std::pair<int, int64_t>, int> FFontIndex;
    std::vector<TSeenFont> FSeenFonts;
    std::unordered_map<std::string, std::pair<std::string, uint32_t>> FNamed; // key -> name, object
    uint32_t FNextName = 1;
    bool FFinished = false;
    std::unique_ptr<TDeflater> FDeflater;
};

} // namespace pagimo::gdi
