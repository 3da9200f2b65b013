// Breaking of text into output lines, with a fixed-pitch metric: every character (a whole UTF-8
// sequence) is 10 pixels wide and a text measures its characters plus 1, as the controls measure.

#include "controls/LineBreaker.h"

#include <gtest/gtest.h>

using namespace pagimo::controls;
using Lines = std::vector<std::string>;

namespace {

int FixedPitch(std::string_view text) {
    int characters = 0;
    for (size_t at = 0; at < text.size(); at += CharacterLength(text, at))
        ++characters;
    return characters * 10 + 1;
}

Lines Break(std::string_view text, int width, bool autoSize = false, bool wordWrap = true) {
    Lines lines;
    TLineBreaker(TLineBreakOptions{width, autoSize, wordWrap}, FixedPitch).BreakText(text, lines);
    return lines;
}

TEST(LineBreaker, WordsEndWithTheirBreakCharacter) {
    const auto words = TLineBreaker::SplitWords("a-b c");
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0], "a-");
    EXPECT_EQ(words[1], "b ");
    EXPECT_EQ(words[2], "c");
    EXPECT_TRUE(TLineBreaker::SplitWords("").empty());
    EXPECT_EQ(TLineBreaker::SplitWords("  ").size(), 2u) << "each space is a word of its own";
}

TEST(LineBreaker, AutoSizeKeepsEachSourceLineWhole) {
    EXPECT_EQ(Break("ab cd", 5, true), Lines{"ab cd"}) << "however narrow the control";
    EXPECT_EQ(Break("ab cd\r\nef", 5, true), (Lines{"ab cd", "ef"}));
}

TEST(LineBreaker, CarriageReturnsSplitAndLineFeedsVanish) {
    EXPECT_EQ(Break("ab\r\ncd", 1000), (Lines{"ab", "cd"}));
    EXPECT_EQ(Break("ab\ncd", 1000), Lines{"abcd"}) << "a lone line feed joins the lines";
    EXPECT_EQ(Break("ab\r\r\ncd\r", 1000), (Lines{"ab", "", "cd", ""})) << "empty pieces are lines too";
    EXPECT_EQ(Break("", 1000), Lines{""}) << "an empty text is one empty line";
}

TEST(LineBreaker, WrapsAtWordBoundaries) {
    // "aa " measures 31, "aa bb " 61.
    EXPECT_EQ(Break("aa bb cc", 41), (Lines{"aa ", "bb ", "cc"}));
    EXPECT_EQ(Break("aa bb cc", 61), (Lines{"aa bb ", "cc"})) << "a line may measure exactly the width";
    EXPECT_EQ(Break("well-known fact", 61), (Lines{"well-", "known ", "fact"})) << "hyphens break too";
}

TEST(LineBreaker, AWordWiderThanAnEmptyLineKeepsWhatMeasuresLessThanTheWidth) {
    // "ab" measures 21 < 31, "abc" 31 is not less: the rest of the word is lost. The cut is
    // emitted as soon as it is made, and the (empty) current line at the end of the source line.
    EXPECT_EQ(Break("abcdefgh", 31), (Lines{"ab", ""}));
    EXPECT_EQ(Break("abcdefgh xy", 31), (Lines{"ab", "xy"})) << "the next word starts a new line";
}

TEST(LineBreaker, AWordWiderThanTheWidthAfterOtherWordsIsCutToALineOfItsOwn) {
    // "a " fits; "bcdefgh" (71) is cut from its end to "bcde" (41); the source line then ends with
    // an empty current line, which is emitted like every current line at its end.
    EXPECT_EQ(Break("a bcdefgh", 41), (Lines{"a ", "bcde", ""}));
    EXPECT_EQ(Break("a bcdefgh ij", 41), (Lines{"a ", "bcde", "ij"}));
}

TEST(LineBreaker, WithoutWordWrapOnlyTheFirstOutputLineOfEachSourceLineRemains) {
    EXPECT_EQ(Break("aa bb cc\rdd ee ff", 61, false, false), (Lines{"aa bb ", "dd ee "}));
    EXPECT_EQ(Break("a verylongword", 41, false, false), Lines{"a "}) << "an over-long word is not printed";
    EXPECT_EQ(Break("verylongword more", 41, false, false), Lines{"ver"}) << "cut on the first line";
    EXPECT_EQ(Break("short", 1000, false, false), Lines{"short"});
}

TEST(LineBreaker, MultiByteCharactersAreNeverSplit) {
    // Five two-byte characters; "šč" measures 21 < 31.
    EXPECT_EQ(Break("ščřžý", 31), (Lines{"šč", ""}));
    EXPECT_EQ(Break("a ščřžýá", 41), (Lines{"a ", "ščřž", ""}));
    // Three-byte and four-byte sequences and a stray continuation byte.
    const Lines cut = Break("€€€€ 😀😀😀 \x80\x80\x80", 31);
    for (const std::string& line : cut) {
        EXPECT_TRUE(line.empty() || line.rfind("€", 0) == 0 || line.rfind("😀", 0) == 0 || line[0] == '\x80') << line;
    }
    EXPECT_EQ(cut[0], "€€");
    EXPECT_EQ(cut[1], "😀😀");
}

TEST(LineBreaker, AHugeWordIsCutWithoutMeasuringItOverAndOver) {
    const std::string huge(400000, 'x');
    const Lines lines = Break("a " + huge + " b", 41);
    EXPECT_EQ(lines, (Lines{"a ", "xxxx", "b"}));
    EXPECT_EQ(Break(huge, 41), (Lines{"xxx", ""}));
}

TEST(LineBreaker, ZeroOrNegativeWidthGivesOnlyEmptyLinesAndEnds) {
    for (int width : {0, -5}) {
        const Lines lines = Break("abc def-ghi", width);
        ASSERT_FALSE(lines.empty());
        for (const std::string& l : lines)
            EXPECT_EQ(l, "") << width;
        EXPECT_LE(lines.size(), 8u);
    }
}

TEST(LineBreaker, EveryLineFitsOrIsASingleCutWord) {
    const std::string text = "Pagimo lays out its help report with labels whose text is broken at spaces, "
                             "hyphens and carriage returns.\r\nA second paragraph-with-hyphens follows.";
    for (int width = 11; width <= 301; width += 10) {
        for (const std::string& line : Break(text, width))
            EXPECT_LE(FixedPitch(line), width) << width << ": " << line;
    }
}

} // namespace
