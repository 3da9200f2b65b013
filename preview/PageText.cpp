#include "preview/PageText.h"

#include "platform/gdi/EmfPlayer.h"

#include <algorithm>
#include <cmath>

namespace pagimo::preview {

namespace {

bool WordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.isMark();
}

// The left edge of character i of a run (its right end past the last), from the run's left end.
double EdgeOf(const gdi::TTextItem& item, qsizetype i) {
    return i < static_cast<qsizetype>(item.CharEdges.size()) ? item.CharEdges[static_cast<size_t>(i)] : item.Width;
}

// The rectangle of characters [from, to) of a run, in page fractions.
QRectF SpanRect(const TPageText& page, const gdi::TTextItem& item, qsizetype from, qsizetype to) {
    const double x0 = item.Origin.x() + EdgeOf(item, from), x1 = item.Origin.x() + EdgeOf(item, to);
    return {x0 / page.Width, item.Origin.y() / page.Height, (x1 - x0) / page.Width, item.Height / page.Height};
}

// A line of text: the page's runs whose tops lie within half a cell of each other, left to right.
struct TLine {
    double Top = 0, Height = 0;
    std::vector<const gdi::TTextItem*> Items;
};

std::vector<TLine> LinesOf(const TPageText& page) {
    std::vector<const gdi::TTextItem*> items;
    for (const auto& item : page.Items)
        if (!item.Text.isEmpty()) items.push_back(&item);
    std::stable_sort(items.begin(), items.end(),
                     [](const auto* a, const auto* b) { return a->Origin.y() < b->Origin.y(); });
    std::vector<TLine> lines;
    for (const gdi::TTextItem* item : items) {
        if (lines.empty() ||
            std::abs(item->Origin.y() - lines.back().Top) > std::min(item->Height, lines.back().Height) / 2)
            lines.push_back({item->Origin.y(), item->Height, {}});
        lines.back().Items.push_back(item);
    }
    for (TLine& line : lines)
        std::stable_sort(line.Items.begin(), line.Items.end(),
                         [](const auto* a, const auto* b) { return a->Origin.x() < b->Origin.x(); });
    return lines;
}

// A character of a page's text in reading order: its line, its run in the line, its index in the run.
struct TTextPlace {
    size_t Line = 0, Item = 0;
    qsizetype Char = 0;
    auto operator<=>(const TTextPlace&) const = default;
};

// The character nearest a place given in device pixels of the page.
TTextPlace PlaceOf(const std::vector<TLine>& lines, double x, double y) {
    TTextPlace at;
    double best = -1;
    for (size_t l = 0; l < lines.size(); ++l) {
        const double distance = y < lines[l].Top ? lines[l].Top - y : std::max(0.0, y - lines[l].Top - lines[l].Height);
        if (best < 0 || distance < best) best = distance, at.Line = l;
    }
    best = -1;
    const TLine& line = lines[at.Line];
    for (size_t i = 0; i < line.Items.size(); ++i) {
        const gdi::TTextItem& item = *line.Items[i];
        for (qsizetype c = 0; c < item.Text.size(); ++c) {
            const double left = item.Origin.x() + EdgeOf(item, c);
            const double right = item.Origin.x() + EdgeOf(item, c + 1);
            const double distance = x < left ? left - x : std::max(0.0, x - right);
            if (best < 0 || distance < best) best = distance, at.Item = i, at.Char = c;
        }
    }
    return at;
}

// The first (or, with end, the last) character of the unit holding a place.
TTextPlace UnitEdge(const std::vector<TLine>& lines, TTextPlace at, TTextUnit unit, bool end) {
    const TLine& line = lines[at.Line];
    if (unit == tuLine) {
        at.Item = end ? line.Items.size() - 1 : 0;
        at.Char = end ? line.Items[at.Item]->Text.size() - 1 : 0;
        return at;
    }
    const QString& text = line.Items[at.Item]->Text;
    if (!WordChar(text[at.Char])) return at;
    while (end ? at.Char + 1 < text.size() && WordChar(text[at.Char + 1]) : at.Char > 0 && WordChar(text[at.Char - 1]))
        at.Char += end ? 1 : -1;
    return at;
}

} // namespace

TPageText PageTextOf(const emf::TEmfPicture& picture) {
    gdi::TTextDevice device;
    TPageText page;
    page.Width = std::max(1, picture.Width());
    page.Height = std::max(1, picture.Height());
    gdi::TEmfPlayer::Play(picture, device, QRectF(0, 0, page.Width, page.Height));
    page.Items = device.Items();
    return page;
}

std::vector<QRectF> FindOnPage(const TPageText& page, const QString& needle, const TFindOptions& options) {
    std::vector<QRectF> hits;
    if (needle.isEmpty()) return hits;
    const Qt::CaseSensitivity cs = options.MatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const auto& item : page.Items) {
        const QString& text = item.Text;
        for (qsizetype at = text.indexOf(needle, 0, cs); at >= 0; at = text.indexOf(needle, at + 1, cs)) {
            const qsizetype end = at + needle.size();
            if (options.WholeWords && ((at > 0 && WordChar(text[at - 1]) && WordChar(text[at])) ||
                                       (end < text.size() && WordChar(text[end]) && WordChar(text[end - 1]))))
                continue;
            hits.push_back(SpanRect(page, item, at, end));
        }
    }
    return hits;
}

QString TextInArea(const TPageText& page, const QRectF& area, std::vector<QRectF>* covered) {
    struct TPick {
        double Top, Left, Height;
        QString Text;
    };
    std::vector<TPick> picks;
    for (const auto& item : page.Items) {
        qsizetype first = -1, last = -1;
        const double midY = (item.Origin.y() + item.Height / 2) / page.Height;
        if (midY < area.top() || midY > area.bottom()) continue;
        for (qsizetype i = 0; i < item.Text.size(); ++i) {
            const QRectF r = SpanRect(page, item, i, i + 1);
            if (area.contains(QPointF(r.center().x(), midY))) {
                if (first < 0) first = i;
                last = i;
            }
        }
        if (first < 0) continue;
        picks.push_back({item.Origin.y(), item.Origin.x() + item.CharEdges[static_cast<size_t>(first)], item.Height,
                         item.Text.mid(first, last - first + 1)});
        if (covered) covered->push_back(SpanRect(page, item, first, last + 1));
    }
    // Reading order: runs whose tops lie within half a cell share a line.
    std::stable_sort(picks.begin(), picks.end(), [](const TPick& a, const TPick& b) {
        if (std::abs(a.Top - b.Top) > std::min(a.Height, b.Height) / 2) return a.Top < b.Top;
        return a.Left < b.Left;
    });
    QString text;
    for (size_t i = 0; i < picks.size(); ++i) {
        if (i > 0) {
            const bool sameLine =
                std::abs(picks[i].Top - picks[i - 1].Top) <= std::min(picks[i].Height, picks[i - 1].Height) / 2;
            text += sameLine ? QLatin1Char(' ') : QLatin1Char('\n');
        }
        text += picks[i].Text;
    }
    return text;
}

QString TextBetween(const TPageText& page, QPointF from, QPointF to, TTextUnit unit, std::vector<QRectF>* covered) {
    const std::vector<TLine> lines = LinesOf(page);
    if (lines.empty()) return {};
    TTextPlace a = PlaceOf(lines, from.x() * page.Width, from.y() * page.Height);
    TTextPlace b = PlaceOf(lines, to.x() * page.Width, to.y() * page.Height);
    if (b < a) std::swap(a, b);
    a = UnitEdge(lines, a, unit, false);
    b = UnitEdge(lines, b, unit, true);
    QString text;
    for (TTextPlace at{a.Line, a.Item, 0}; at.Line <= b.Line; ++at.Line, at.Item = 0) {
        const TLine& line = lines[at.Line];
        if (at.Line > a.Line) text += QLatin1Char('\n');
        for (; at.Item < line.Items.size() && (at.Line < b.Line || at.Item <= b.Item); ++at.Item) {
            const gdi::TTextItem& item = *line.Items[at.Item];
            const qsizetype first = at.Line == a.Line && at.Item == a.Item ? a.Char : 0;
            const qsizetype last = at.Line == b.Line && at.Item == b.Item ? b.Char : item.Text.size() - 1;
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) text += QLatin1Char(' ');
            text += item.Text.mid(first, last - first + 1);
            if (covered) covered->push_back(SpanRect(page, item, first, last + 1));
        }
    }
    return text;
}

} // namespace pagimo::preview
