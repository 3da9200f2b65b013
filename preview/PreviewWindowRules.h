#pragma once
// The rules of the standard preview window that do not need a widget: the page counter text, the
// keyboard table, the progress panel and the enabling of the print and printer-setup buttons.

#include <QString>
#include <QStringList>
#include <Qt>

#include <cstdint>

namespace pagimo::preview {

// A file-dialog filter of the form "description|masks|description|masks" (masks separated by ";") as
// Qt's dialogs take it: one "description (masks)" entry per pair, in order. A description that
// already ends with its masks in parentheses is kept as it is.
QStringList DialogFilters(const QString& filter);

// A tool bar button's hint with the keys that do the same, by the button's name: "Next page (Page Down)".
QString HintWithKeys(const QString& buttonName, const QString& hint);

// "Page 3 of 12".
QString PageInfoText(int32_t pageNumber, int32_t pageTotal);

enum TPreviewKeyAction { kaNone, kaExit, kaFirstPage, kaPrevPage, kaNextPage, kaLastPage };

// What a key press does in the preview window. With Page Up and Page Down, only Ctrl held alone
// jumps to the first or last page; Ctrl with Shift or Alt pages by one. The keypad flag and the
// Meta key are not part of the modifier state compared here: Page Up on the keypad is the same key.
TPreviewKeyAction PreviewKeyAction(int key, Qt::KeyboardModifiers modifiers);

// What Space (direction > 0) or Shift+Space does to a view scrolled to value of 0..maximum that shows
// view pixels: it scrolls by a screen less a tenth (so the line read last stays in view); already at
// that end it turns the page (Turn -1 or +1) where pages turn (turns), else stays.
struct TScreenStep {
    int Value = 0;
    int Turn = 0;
    bool operator==(const TScreenStep&) const = default;
};
TScreenStep ScreenStep(int value, int maximum, int view, int direction, bool turns);

// The wheel turned on past the end of a page goes to the next page (past its start, to the one before)
// once it has gone a little way there (Resistance, two notches), so that reaching the end of a page
// does not leave it at once. The glide a touchpad adds after a flick never turns a page.
class TWheelTurn {
public:
    static constexpr int Resistance = 240;
    // angle: eighths of a degree, positive towards the start; atStart, atEnd: whether the view can
    // scroll no further that way. Returns +1 (next page), -1 (previous page) or 0 (scroll as usual).
    int Turn(int angle, Qt::ScrollPhase phase, bool atStart, bool atEnd);
    void Reset() { FPast = 0; }

private:
    int FPast = 0; // turned past the end (positive) or the start (negative) so far
};

// Status panel 0: the progress of a generation, written in steps of at least 5 percent and
// cleared at 0 and 100. ShownProgress is never reset.
class TProgressPanel {
public:
    void Update(int32_t progress);
    // A loaded file has no generation to show: the panel is emptied.
    void Clear() { FText.clear(); }
    const QString& Text() const { return FText; }
    int32_t ShownProgress() const { return FShownProgress; }

private:
    QString FText = QStringLiteral("0%");
    int32_t FShownProgress = 0;
};

// Print starts disabled and, once enabled, stays so; printer setup follows a finished generation,
// and a loaded file enables both (its pages are printed through the print dialog).
class TPrintButtonRules {
public:
    void Constructed(bool finished) { FPrint = FPrint || finished; }
    void PageAvailable(bool finished) {
        if (finished) FPrint = FPrintSetup = true;
    }
    void FileLoaded() { FPrint = FPrintSetup = true; }
    bool PrintEnabled() const { return FPrint; }
    bool PrintSetupEnabled() const { return FPrintSetup; }

private:
    bool FPrint = false;
    bool FPrintSetup = false;
};

} // namespace pagimo::preview
