#include "controls/LineBreaker.h"

#include "expr/Utf8.h"

namespace pagimo::controls {

namespace {

bool IsBreakCharacter(char c) {
    return c == '\r' || c == ' ' || c == '-';
}

} // namespace

size_t CharacterLength(std::string_view text, size_t at) {
    return expr::Utf8SequenceLength(text, at);
}

TLineBreaker::TLineBreaker(const TLineBreakOptions& options, TTextMeasureFunc measure)
    : FOptions(options), FMeasure(std::move(measure)) {}

std::vector<std::string_view> TLineBreaker::SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        if (IsBreakCharacter(line[i])) {
            words.push_back(line.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < line.size()) words.push_back(line.substr(start));
    return words;
}

void TLineBreaker::BreakText(std::string_view text, std::vector<std::string>& lines) const {
    std::string clean;
    clean.reserve(text.size());
    for (char c : text) {
        if (c != '\n') clean.push_back(c);
    }
    std::string_view rest = clean;
    for (;;) {
        const size_t cr = rest.find('\r');
        if (cr == std::string_view::npos) {
            BreakSourceLine(rest, lines);
            break;
        }
        BreakSourceLine(rest.substr(0, cr), lines);
        rest.remove_prefix(cr + 1);
    }
}

void TLineBreaker::BreakSourceLine(std::string_view line, std::vector<std::string>& lines) const {
    if (FOptions.AutoSize) {
        lines.emplace_back(line);
        return;
    }
    const int width = FOptions.Width;
    // A line that fits as a whole is its own output line: widths only grow as text is added, so
    // word by word would come to the same.
    if (Measure(line) <= width) {
        lines.emplace_back(line);
        return;
    }
    std::string current;
    for (std::string_view wordView : SplitWords(line)) {
        std::string word(wordView);
        if (Measure(current + word) <= width) {
            current += word;
            continue;
        }
        if (current.empty()) {
            // A word too wide for a line of its own keeps the characters that fit; the rest is lost.
            size_t at = 0;
            while (at < word.size()) {
                const size_t n = CharacterLength(word, at);
                if (Measure(current + word.substr(at, n)) >= width) break;
                current += word.substr(at, n);
                at += n;
            }
            word.clear();
        }
        lines.push_back(std::move(current));
        current.clear();
        if (!FOptions.WordWrap) {
            // Only the first output line of the source line is kept.
            return;
        }
        if (!word.empty() && Measure(word) > width) {
            if (width <= 0) {
                word.clear();
            } else {
                // The longest start of the word that measures no more than the width: what taking
                // characters off its end would leave, found from the front so that a huge word
                // costs no more than the characters that fit.
                size_t keep = 0;
                while (keep < word.size()) {
                    const size_t n = CharacterLength(word, keep);
                    if (Measure(std::string_view(word).substr(0, keep + n)) > width) break;
                    keep += n;
                }
                word.resize(keep);
            }
            lines.push_back(std::move(word));
            word.clear();
            continue;
        }
        current = std::move(word);
    }
    lines.push_back(std::move(current));
}

} // namespace pagimo::controls
