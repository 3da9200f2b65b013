#pragma once
// The text of a page picture with its places, as the text-collecting device that the export of
// stored pages uses reads it, and what the viewer does with it: finding a word and picking the text
// inside a rectangle. Places are fractions of the page (0..1 across and down), so that they hold at
// every zoom and in every view mode.

#include "platform/emf/EmfPicture.h"
#include "platform/gdi/TraceDevice.h"

#include <QRectF>
#include <QString>

#include <vector>

namespace pagimo::preview {

struct TPageText {
    std::vector<gdi::TTextItem> Items;
    double Width = 1, Height = 1; // the picture's size in its own pixels
};

// Plays the picture through the text-collecting device.
TPageText PageTextOf(const emf::TEmfPicture& picture);

struct TFindOptions {
    bool MatchCase = false;
    bool WholeWords = false; // a hit neither starts nor ends inside a word (letters, digits, '_')
};

// Every occurrence of needle on the page, in drawing order, each as the rectangle it covers. A
// needle is found within one run of text (one drawn string); an empty needle finds nothing.
std::vector<QRectF> FindOnPage(const TPageText& page, const QString& needle, const TFindOptions& options);

// The text of the characters whose middle lies inside area (page fractions), in reading order:
// lines top to bottom, runs of a line left to right separated by a space, lines by newlines; with
// the rectangles of those characters' runs for highlighting.
QString TextInArea(const TPageText& page, const QRectF& area, std::vector<QRectF>* covered = nullptr);

// What a selection made by clicks takes: the word under a place (a double click), or its line (a
// triple click).
enum TTextUnit { tuWord, tuLine };

// The text from the unit under one place (page fractions) to the unit under another, in reading order
// as TextInArea gives it, with the rectangles of what it covers. A place between lines belongs to the
// nearest line, a place beside a line's text to its nearest character; a place on a space or a sign
// takes that character as its word. No text on the page gives an empty text.
QString TextBetween(const TPageText& page, QPointF from, QPointF to, TTextUnit unit,
                    std::vector<QRectF>* covered = nullptr);

} // namespace pagimo::preview
