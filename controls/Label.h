#pragma once
// Text controls: TQRCustomLabel breaks its text into lines that fit its width, optionally grows to
// its text, and prints the lines one under the other; a text that does not fit may grow its band
// line by line and continue on the next page. TQRLabel prints a caption, TQRMemo a list of lines.
// System-data and expression controls derive from TQRCustomLabel and only change where the text
// comes from.

#include "controls/LineBreaker.h"
#include "controls/Printable.h"
#include "controls/TextMeasure.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace pagimo::controls {

// The reading order of a control's text; the right-to-left modes mirror the alignment and set
// right-to-left reading as their names say.
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
const system::TEnumInfo& BiDiModeInfo();

// A list of text lines stored as "Lines.Strings = ( ... )".
class TQRStrings : public system::TPersistent {
public:
    const char* ClassName() const override { return "TStrings"; }
    const std::vector<std::string>& Lines() const { return FLines; }
    std::vector<std::string> Strings() const { return FLines; }
    void SetStrings(const std::vector<std::string>& lines);
    void Add(const std::string& line);
    void Clear();
    bool Empty() const { return FLines.empty(); }
    size_t Count() const { return FLines.size(); }
    // Called after every change.
    void SetOnChange(std::function<void()> onChange) { FOnChange = std::move(onChange); }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    std::vector<std::string> FLines;
    std::function<void()> FOnChange;
};

class TQRCustomLabel : public TQRPrintable {
public:
    // May change the text just before it prints; the change holds for that print only.
    using TQRLabelOnPrintEvent = std::function<void(TQRCustomLabel& sender, std::string& value)>;

    TQRCustomLabel();
    ~TQRCustomLabel() override;

    static const char* StaticClassName() { return "TQRCustomLabel"; }
    const char* ClassName() const override { return StaticClassName(); }

    const std::string& Caption() const { return FCaption; }
    std::string CaptionValue() const { return FCaption; }
    // Stores the caption as the text to print and rebuilds the lines.
    void SetCaption(const std::string& caption);
    const std::string& PrintText() const { return FPrintText; }

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    bool AutoStretch() const { return FAutoStretch; }
    void SetAutoStretch(bool autoStretch) { FAutoStretch = autoStretch; }
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool wordWrap) { FWordWrap = wordWrap; }
    void SetAlignment(TAlignment alignment) override;

    // The control's font; with ParentFont on it follows the font of the panel it sits on, and any
    // change of it turns ParentFont off.
    TFont* Font() const { return FFont.get(); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool parentFont);
    // The point size read from a stored description; applied to the font after loading.
    int FontSize() const { return FFontSize; }
    void SetFontSize(int points) { FFontSize = points; }
    // What a description stores as FontSize: the font's current size in points.
    int StoredFontSize() const { return FFont->Size(); }

    TBiDiMode BiDiMode() const { return FBiDiMode; }
    void SetBiDiMode(TBiDiMode mode) { FBiDiMode = mode; }
    bool ParentBiDiMode() const { return FParentBiDiMode; }
    void SetParentBiDiMode(bool parent) { FParentBiDiMode = parent; }
    bool UseRightToLeftAlignment() const { return FBiDiMode == bdRightToLeft; }
    bool UseRightToLeftReading() const { return FBiDiMode != bdLeftToRight; }

    // The output lines and the print position within them.
    const std::vector<std::string>& WrappedLines() const { return FWrappedLines; }
    bool LinesValid() const { return FLinesValid; }
    int NextLine() const { return FNextLine; }

    TQRLabelOnPrintEvent OnPrint;

    // Highlighting: when HighlightCondition (an expression) is true at print time, the text prints in
    // HighlightFont on HighlightColor. The highlight font's properties that differ from a fresh
    // font's replace those of the control's font (HighlightFont.Color = clRed alone reddens the
    // control's own font); HighlightColor clNone keeps the control's colour.
    std::string HighlightCondition() const { return FHighlightCondition; }
    void SetHighlightCondition(const std::string& condition) { FHighlightCondition = condition; }
    TFont* HighlightFont() const { return FHighlightFont.get(); }
    TColor HighlightColor() const { return FHighlightColor; }
    void SetHighlightColor(TColor color) { FHighlightColor = color; }
    // Whether the last print was highlighted.
    bool Highlighted() const { return FHighlighted; }

    // Rebuilds the output lines from the text (or a memo's lines), growing the control to its text
    // when AutoSize is on.
    virtual void BuildLines();

    void StartPrinting() override;
    void PrintAt(int32_t ofsX, int32_t ofsY) override;
    void EndPrinting() override;
    bool UsesPageTotal() const override;
    void SetParentComponent(system::TComponent* parent) override;

    // Text measurement: width of the text plus 1, scaled by the zoom, in pixels; and the line height.
    int TextWidth(std::string_view text) const;
    int LineHeight() const;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Loaded() override;
    // The published properties of text controls, by name, in the order given.
    static std::vector<system::TPropertyInfo> LabelProperties(std::initializer_list<std::string_view> names);
    // Sets the text to break without touching Caption (system data and expressions print values).
    void SetPrintText(const std::string& text);
    bool FTextFromCaption = true;
    // A memo's source lines (empty and unused for the other text controls).
    TQRStrings* SourceLines() const { return FLines.get(); }

private:
    std::unique_ptr<TFont> FFont;
    std::unique_ptr<TQRStrings> FLines;
    std::vector<std::string> FWrappedLines;
    std::string FCaption;
    std::string FPrintText;
    TQRTextMeasure FMeasure; // for a control without a report
    int FNextLine = 0;
    int FFontSize = 0;
    TBiDiMode FBiDiMode = bdLeftToRight;
    bool FParentBiDiMode = true;
    bool FAutoSize = true;
    bool FAutoStretch = false;
    bool FWordWrap = true;
    bool FLinesValid = false;
    // What the output lines were last built from: a build from the same inputs is skipped, so that a
    // memo printed across many pages is broken into lines once per run, not once per page.
    struct TLinesInputs {
        const void* Parent = nullptr;
        const void* Report = nullptr;
        std::string Text;
        uint64_t LinesChanges = 0;
        uint64_t FontChanges = 0;
        int32_t Left = 0, Width = 0, Height = 0;
        int Zoom = 0, FrameWidth = 0;
        int Alignment = 0;
        bool AutoSize = false, WordWrap = false, FromCaption = false, Printing = false;
        bool FrameLeft = false, FrameRight = false;
        bool operator==(const TLinesInputs&) const = default;
    };
    std::optional<TLinesInputs> FBuiltFrom;
    uint64_t FLinesChanges = 0;
    uint64_t FFontChanges = 0;
    bool FSelfResizing = false;
    bool FParentFont = true;
    bool FSyncingFont = false;
    std::string FHighlightCondition;
    std::unique_ptr<TFont> FHighlightFont;
    TColor FHighlightColor = clNone;
    std::unique_ptr<expr::TQREvaluator> FHighlight; // prepared during a run when there is a condition
    bool FHighlighted = false;
    bool FHighlightTold = false;

    // Sets the font without turning ParentFont off.
    void AssignFontQuietly(const TFont& font);

    void FontChanged();
    TLinesInputs LinesInputs() const;
    void SyncParentFont();
    TAlignment EffectiveAlignment() const;
    std::vector<std::string> BreakText(std::string_view text) const;
};

// A caption.
class TQRLabel : public TQRCustomLabel {
public:
    static const char* StaticClassName() { return "TQRLabel"; }
    const char* ClassName() const override { return StaticClassName(); }
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }
};

// A list of lines, each broken like a caption (or printed as it is with AutoSize).
class TQRMemo : public TQRCustomLabel {
public:
    TQRMemo();
    static const char* StaticClassName() { return "TQRMemo"; }
    const char* ClassName() const override { return StaticClassName(); }

    TQRStrings* Lines() const { return SourceLines(); }
    void SetLines(const std::vector<std::string>& lines) { SourceLines()->SetStrings(lines); }

    void PrintAt(int32_t ofsX, int32_t ofsY) override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }
};

} // namespace pagimo::controls
