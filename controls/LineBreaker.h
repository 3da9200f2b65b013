#pragma once
// Breaking of a text control's text into output lines that fit the control's width. Independent of
// fonts: the caller supplies the measuring function (a text's width in pixels, plus one, the way the
// controls measure), so the rules can be exercised with any metric.
//
// A text is split at carriage returns into source lines (line feeds are dropped). A source line is
// taken word by word, a word being the characters up to and including the first break character
// (carriage return, space or hyphen-minus) or the rest of the line. Words are added to the current
// output line while it measures no more than the width; a word too wide for an empty line is cut
// character by character (a UTF-8 sequence counts as one character and is never split) and the rest
// of it is lost. Without word wrap only the words that fit the first output line of each source
// line are kept. With auto-size every source line becomes one output line unchanged.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::controls {

// The width of a text in pixels (the controls add one to the extent of the text).
using TTextMeasureFunc = std::function<int(std::string_view)>;

struct TLineBreakOptions {
    int Width = 0;        // the control's width in pixels
    bool AutoSize = true; // one output line per source line, never broken
    bool WordWrap = true; // break at word boundaries; off keeps only the first output line's words
};

class TLineBreaker {
public:
    TLineBreaker(const TLineBreakOptions& options, TTextMeasureFunc measure);

    // Breaks one text (possibly holding several source lines) and appends its output lines.
    void BreakText(std::string_view text, std::vector<std::string>& lines) const;

    // The words of a source line, each with its break character.
    static std::vector<std::string_view> SplitWords(std::string_view line);

private:
    TLineBreakOptions FOptions;
    TTextMeasureFunc FMeasure;

    void BreakSourceLine(std::string_view line, std::vector<std::string>& lines) const;
    int Measure(std::string_view text) const { return FMeasure(text); }
};

// Byte length of the character starting at text[at]: a whole well-formed UTF-8 sequence, or 1.
size_t CharacterLength(std::string_view text, size_t at);

} // namespace pagimo::controls
