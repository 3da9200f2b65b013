#include "preview/PageText.h"

#include "platform/gdi/EmfPlayer.h"

#include <algorithm>
#include <cmath>

namespace pagimo::preview {

namespace {

bool WordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c.isMark();
}

// The rectangle of characters [from, to) of a run, in page fractions.
QRectF SpanRect(const TPageText& page, const gdi::TTextItem& item, qsizetype from, qsizetype to) {
    const auto edge = [&](qsizetype i) {
        return i < static_cast<qsizetype>(item.CharEdges.size()) ? item.CharEdges[static_cast<size_t>(i)] : item.Width;
    };
    const double x0 = item.Origin.x() + edge(from), x1 = item.Origin.x() + edge(to);
    return {x0 / page.Width, item.Origin.y() / page.Height, (x1 - x0) / page.Width, item.Height / page.Height};
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
            const bool sameLine = std::abs(picks[i].Top - picks[i - 1].Top) <= std::min(picks[i].Height, picks[i - 1].Height) / 2;
            text += sameLine ? QLatin1Char(' ') : QLatin1Char('\n');
        }
        text += picks[i].Text;
    }
    return text;
}

} // namespace pagimo::preview
