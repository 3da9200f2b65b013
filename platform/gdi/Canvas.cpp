#include "platform/gdi/Canvas.h"

#include "platform/gdi/DibImage.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/FontMatcher.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace pagimo::gdi {

namespace {
std::u16string FromUtf8(std::string_view utf8) {
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::u16string(utf8.begin(), utf8.end());
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
}
} // namespace

void TFont::SetSize(double points, int pixelsPerInch) {
    Height = -static_cast<int32_t>(std::lround(points * pixelsPerInch / 72.0));
}

double TFont::Size(int pixelsPerInch) const {
    if (pixelsPerInch <= 0) return 0;
    return std::abs(Height) * 72.0 / pixelsPerInch;
}

TLogFont TFont::ToLogFont() const {
    TLogFont lf;
    lf.Height = Height;
    lf.Weight = Weight;
    lf.Italic = Italic;
    lf.Underline = Underline;
    lf.StrikeOut = StrikeOut;
    lf.CharSet = Charset;
    lf.Escapement = lf.Orientation = Escapement;
    lf.FaceName = FromUtf8(Name).substr(0, 31);
    return lf;
}

bool TFont::SameLogFont(const TFont& o) const {
    return Height == o.Height && Weight == o.Weight && Italic == o.Italic && Underline == o.Underline &&
           StrikeOut == o.StrikeOut && Charset == o.Charset && Escapement == o.Escapement && Name == o.Name;
}

TFont TFont::FromLogFont(const TLogFont& lf, TColorRef color) {
    TFont f;
    f.Name = QString::fromStdU16String(lf.FaceName).toStdString();
    f.Height = lf.Height;
    f.Weight = lf.Weight;
    f.Italic = lf.Italic != 0;
    f.Underline = lf.Underline != 0;
    f.StrikeOut = lf.StrikeOut != 0;
    f.Charset = lf.CharSet;
    f.Escapement = lf.Escapement;
    f.Color = color;
    return f;
}

TCanvas::TCanvas(TDevice& device, const QTransform& baseTransform) : FDevice(device), FBase(baseTransform) {}

TCanvas::~TCanvas() = default;

const TLogFont& TCanvas::LogFont() const {
    if (!FFontCache.Valid || !FFontCache.Font.SameLogFont(Font)) {
        FFontCache.Font = Font;
        FFontCache.Log = Font.ToLogFont();
        FFontCache.Matched.reset();
        FFontCache.Valid = true;
    }
    return FFontCache.Log;
}

const TMatchedFont& TCanvas::MatchedFont() const {
    const TLogFont& log = LogFont();
    if (!FFontCache.Matched) FFontCache.Matched = TFontMatcher::Shared().Match(log);
    return *FFontCache.Matched;
}

TDrawState TCanvas::DrawState() const {
    TDrawState s;
    s.Transform = FBase;
    s.Pen.Style = Pen.Style;
    s.Pen.Width = Pen.Width <= 1 && (Pen.Style & PS_TYPE_MASK) == PS_COSMETIC ? 0 : Pen.Width;
    s.Pen.Color = Pen.Color;
    s.Brush.Style = Brush.Style;
    s.Brush.Color = Brush.Color;
    s.Brush.Hatch = Brush.Hatch;
    s.Font = LogFont();
    s.TextColor = Font.Color;
    s.BkColor = FBkColor;
    s.BkMode = FBkMode;
    s.TextAlign = FTextAlign;
    s.PolyFillMode = FPolyFillMode;
    s.Rop2 = FRop2;
    s.StretchBltMode = FStretchBltMode;
    s.Clip = FClip;
    return s;
}

void TCanvas::Shape(TShape&& shape) const {
    FDevice.DrawShape(shape, DrawState());
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
    FPenPos = QPoint(x, y);
}

void TCanvas::LineTo(int32_t x, int32_t y) {
    TShape s;
    s.Kind = TShapeKind::skPolyline;
    s.Fill = false;
    s.Points = {QPointF(FPenPos), QPointF(x, y)};
    Shape(std::move(s));
    FPenPos = QPoint(x, y);
}

static std::vector<QPointF> ToPointsF(std::span<const QPoint> points) {
    return std::vector<QPointF>(points.begin(), points.end());
}

void TCanvas::Polyline(std::span<const QPoint> points) {
    if (points.size() < 2) return;
    TShape s;
    s.Kind = TShapeKind::skPolyline;
    s.Fill = false;
    s.Points = ToPointsF(points);
    Shape(std::move(s));
}

void TCanvas::Polygon(std::span<const QPoint> points) {
    if (points.size() < 2) return;
    TShape s;
    s.Kind = TShapeKind::skPolygon;
    s.Points = ToPointsF(points);
    Shape(std::move(s));
}

void TCanvas::PolyPolygon(std::span<const QPoint> points, std::span<const uint32_t> counts) {
    if (std::accumulate(counts.begin(), counts.end(), uint64_t{0}) != points.size()) return;
    TShape s;
    s.Kind = TShapeKind::skPolygon;
    s.Points = ToPointsF(points);
    s.Counts.assign(counts.begin(), counts.end());
    Shape(std::move(s));
}

void TCanvas::PolyBezier(std::span<const QPoint> points) {
    if (points.size() < 4 || (points.size() - 1) % 3 != 0) return;
    TShape s;
    s.Kind = TShapeKind::skPolyBezier;
    s.Fill = false;
    s.Points = ToPointsF(points);
    Shape(std::move(s));
}

void TCanvas::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TShape s;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    Shape(std::move(s));
}

void TCanvas::RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerW, int32_t cornerH) {
    TShape s;
    s.Kind = TShapeKind::skRoundRect;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    s.Corner = QSize(cornerW, cornerH);
    Shape(std::move(s));
}

void TCanvas::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TShape s;
    s.Kind = TShapeKind::skEllipse;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    Shape(std::move(s));
}

void TCanvas::Arc(int32_t left, int32_t top, int32_t right, int32_t bottom, QPoint start, QPoint end) {
    TShape s;
    s.Kind = TShapeKind::skArc;
    s.Fill = false;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    s.Start = start;
    s.End = end;
    Shape(std::move(s));
}

void TCanvas::Chord(int32_t left, int32_t top, int32_t right, int32_t bottom, QPoint start, QPoint end) {
    TShape s;
    s.Kind = TShapeKind::skChord;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    s.Start = start;
    s.End = end;
    Shape(std::move(s));
}

void TCanvas::Pie(int32_t left, int32_t top, int32_t right, int32_t bottom, QPoint start, QPoint end) {
    TShape s;
    s.Kind = TShapeKind::skPie;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    s.Start = start;
    s.End = end;
    Shape(std::move(s));
}

void TCanvas::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (right <= left || bottom <= top) return;
    TShape s;
    s.Box = QRect(QPoint(left, top), QPoint(right, bottom));
    s.Stroke = false;
    TDrawState state = DrawState();
    state.Pen.Style = PS_NULL;
    FDevice.DrawShape(s, state);
}

void TCanvas::TextOut(int32_t x, int32_t y, std::string_view utf8) {
    const std::u16string text = FromUtf8(utf8);
    ExtTextOut(x, y, 0, nullptr, text);
}

void TCanvas::ExtTextOut(int32_t x, int32_t y, uint32_t options, const QRect* rect, std::u16string_view text,
                         std::span<const int32_t> dx) {
    TTextRun run;
    run.Reference = (FTextAlign & TA_UPDATECP) ? FPenPos : QPoint(x, y);
    run.Text.assign(text.begin(), text.end());
    run.Options = options & ~ETO_PDY;
    if (rect)
        run.Rect = *rect;
    else
        run.Options &= ~(ETO_OPAQUE | ETO_CLIPPED);
    if (dx.size() >= text.size() && !text.empty())
        run.Dx.assign(dx.begin(), dx.begin() + text.size());
    else
        run.Dx = TextAdvances(text);
    TDrawState state = DrawState();
    state.TextAlign &= ~TA_UPDATECP;
    FDevice.DrawText(run, state);
    if (FTextAlign & TA_UPDATECP) FPenPos.rx() += std::accumulate(run.Dx.begin(), run.Dx.end(), 0);
}

std::vector<int32_t> TCanvas::TextAdvances(std::u16string_view text) const {
    return MatchedFont().Advances(text);
}

QSize TCanvas::TextExtent(std::u16string_view text) const {
    const TMatchedFont& font = MatchedFont();
    return QSize(font.Width(text), font.CellHeight());
}

QSize TCanvas::TextExtent(std::string_view utf8) const {
    return TextExtent(std::u16string_view(FromUtf8(utf8)));
}

void TCanvas::ClipTo(const QPainterPath& deviceArea, bool intersect) {
    QPainterPath next;
    if (intersect) {
        next = FClip ? FClip->intersected(deviceArea) : deviceArea;
    } else {
        QPainterPath everything;
        everything.addRect(QRectF(-1e7, -1e7, 2e7, 2e7));
        next = (FClip ? *FClip : everything).subtracted(deviceArea);
    }
    FClip = std::make_shared<const QPainterPath>(std::move(next));
}

void TCanvas::IntersectClipRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    QPainterPath p;
    p.addRect(QRectF(left, top, std::max(right - left, 0), std::max(bottom - top, 0)));
    ClipTo(FBase.map(p), true);
}

void TCanvas::ExcludeClipRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    QPainterPath p;
    p.addRect(QRectF(left, top, std::max(right - left, 0), std::max(bottom - top, 0)));
    ClipTo(FBase.map(p), false);
}

void TCanvas::SelectClipRgnNone() {
    FClip.reset();
}

void TCanvas::StretchDIBits(const QRect& destination, const QRect& source, const TDib& dib, uint32_t rop) {
    TDibDraw draw;
    draw.Dib = dib;
    draw.Source = source;
    draw.Destination = destination;
    draw.Rop = rop;
    FDevice.DrawDib(draw, DrawState());
}

void TCanvas::StretchDraw(const QRect& destination, const QImage& image) {
    if (image.isNull()) return;
    TDibBytes dib = ImageToDib(image);
    StretchDIBits(destination, QRect(0, 0, image.width(), image.height()), dib.View());
}

void TCanvas::StretchDraw(const QRect& destination, const emf::TEmfPicture& picture) {
    if (picture.Empty()) return;
    TPlayOptions options;
    options.DeviceTransform = TEmfPlayer::FrameTransform(picture.Header(), QRectF(destination)) * FBase;
    options.Clip = FClip;
    TEmfPlayer::Play(picture.Bytes(), FDevice, options);
}

int TCanvas::SaveDC() {
    FSaved.push_back(
        {Font, Pen, Brush, FTextAlign, FBkMode, FStretchBltMode, FPolyFillMode, FRop2, FBkColor, FClip, FPenPos});
    return static_cast<int>(FSaved.size());
}

bool TCanvas::RestoreDC(int level) {
    const int count = static_cast<int>(FSaved.size());
    const int target = level < 0 ? count + level + 1 : level; // the level to come back to
    if (target < 1 || target > count) return false;
    const TSaved s = FSaved[static_cast<size_t>(target - 1)];
    FSaved.resize(static_cast<size_t>(target - 1));
    Font = s.Font;
    Pen = s.Pen;
    Brush = s.Brush;
    FTextAlign = s.TextAlign;
    FBkMode = s.BkMode;
    FStretchBltMode = s.StretchBltMode;
    FPolyFillMode = s.PolyFillMode;
    FRop2 = s.Rop2;
    FBkColor = s.BkColor;
    FClip = s.Clip;
    FPenPos = s.PenPos;
    return true;
}

int32_t TCanvas::GetDeviceCaps(int index) const {
    return FDevice.Caps().Get(index);
}

} // namespace pagimo::gdi
