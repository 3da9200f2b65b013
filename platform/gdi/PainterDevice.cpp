#include "platform/gdi/PainterDevice.h"

#include "platform/gdi/DibImage.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/FontMatcher.h"
#include "platform/gdi/TextLayout.h"


#include <QGlyphRun>
#include <QPaintDevice>
#include <QPaintEngine>

#include <QLinearGradient>

#include <algorithm>
#include <cmath>

namespace pagimo::gdi {

namespace {

QColor ToQColor(TColorRef c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

QPen MakePen(const TLogPen& lp, double deviceScale) {
    const uint32_t style = lp.Style & PS_STYLE_MASK;
    if (style == PS_NULL) return QPen(Qt::NoPen);
    QPen pen(ToQColor(lp.Color));
    const bool geometric = (lp.Style & PS_TYPE_MASK) == PS_GEOMETRIC;
    if ((lp.Width <= 1 && !geometric) || lp.Width * deviceScale < 1.0) {
        pen.setWidth(0); // cosmetic: one device pixel, as GDI draws thin pens
        pen.setCosmetic(true);
    } else {
        pen.setWidthF(std::min(lp.Width, 1 << 20));
    }
    // GDI's dash patterns: in pixels for thin pens, in pen widths for wide ones.
    const auto dashes = DashPattern(lp, pen.isCosmetic());
    if (dashes.empty())
        pen.setStyle(Qt::SolidLine);
    else
        pen.setDashPattern(QList<qreal>(dashes.begin(), dashes.end())), pen.setDashOffset(lp.DashOffset);
    switch (lp.Style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE:
        pen.setCapStyle(Qt::SquareCap);
        break;
    case PS_ENDCAP_FLAT:
        pen.setCapStyle(Qt::FlatCap);
        break;
    default:
        pen.setCapStyle(Qt::RoundCap);
        break;
    }
    switch (lp.Style & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case PS_JOIN_MITER:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    default:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    }
    return pen;
}

QColor ArgbColor(uint32_t argb) {
    return QColor::fromRgba(argb);
}

// Linear gradients and tiled textures as Qt brushes, in logical units; other fills in their mean colour.
QBrush FillBrush(const TBrushFill& f) {
    if (f.Kind == TBrushFill::TKind::Texture && f.Image) {
        QBrush brush(*f.Image);
        brush.setTransform(f.Space);
        return brush;
    }
    if (f.Kind != TBrushFill::TKind::Linear || f.Stops.empty()) return QBrush(ArgbColor(f.Mean));
    QLinearGradient gradient(0, 0, 1, 0);
    for (const TBrushFill::TStop& stop : f.Stops)
        gradient.setColorAt(std::clamp(stop.At, 0.0, 1.0), ArgbColor(stop.Argb));
    gradient.setSpread(f.Wrap == TBrushFill::TWrap::Tile      ? QGradient::RepeatSpread
                       : f.Wrap == TBrushFill::TWrap::Reflect ? QGradient::ReflectSpread
                                                              : QGradient::PadSpread);
    QBrush brush(gradient);
    brush.setTransform(f.Space);
    return brush;
}

// A brush for logical units that toDevice maps to the painter's device.
QBrush MakeBrush(const TLogBrush& lb, const QTransform& toDevice) {
    switch (lb.Style) {
    case BS_NULL:
        return QBrush(Qt::NoBrush);
    case BS_FILL:
        return lb.Fill ? FillBrush(*lb.Fill) : QBrush(ToQColor(lb.Color));
    case BS_HATCHED: {
        if (lb.Hatch > HS_DIAGCROSS) {
            // The patterns past GDI's six: 8 x 8 device pixels, whatever the transform.
            QBrush brush(HatchImage(lb.Hatch, lb.Color));
            bool invertible = false;
            const QTransform back = toDevice.inverted(&invertible);
            if (invertible) brush.setTransform(back);
            return brush;
        }
        Qt::BrushStyle s = Qt::HorPattern;
        switch (lb.Hatch) {
        case HS_VERTICAL:
            s = Qt::VerPattern;
            break;
        case HS_FDIAGONAL:
            s = Qt::FDiagPattern;
            break;
        case HS_BDIAGONAL:
            s = Qt::BDiagPattern;
            break;
        case HS_CROSS:
            s = Qt::CrossPattern;
            break;
        case HS_DIAGCROSS:
            s = Qt::DiagCrossPattern;
            break;
        default:
            break;
        }
        return QBrush(ToQColor(lb.Color), s);
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (lb.Pattern && !lb.Pattern->isNull()) return QBrush(*lb.Pattern);
        return QBrush(ToQColor(lb.Color));
    default:
        return QBrush(ToQColor(lb.Color));
    }
}

} // namespace

TPainterDevice::TPainterDevice(QPainter& painter) : TPainterDevice(painter, TDeviceCaps{}) {
    if (QPaintDevice* d = painter.device()) {
        FCaps = TDeviceCaps::Screen(d->width(), d->height(), d->logicalDpiX());
        FCaps.LogPixelsY = d->logicalDpiY();
        FCaps.HorzSizeMM = d->widthMM();
        FCaps.VertSizeMM = d->heightMM();
    }
}

TPainterDevice::TPainterDevice(QPainter& painter, const TDeviceCaps& caps) : FPainter(painter), FCaps(caps) {
    FBase = painter.transform();
    FPainter.setRenderHint(QPainter::Antialiasing, true);
    FPainter.setRenderHint(QPainter::TextAntialiasing, true);
    FPainter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    FRasterOps = painter.paintEngine() && painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    FCallerClip = painter.hasClipping();
    if (FCallerClip) FCallerClipPath = painter.transform().map(painter.clipPath());
}

TPainterDevice::~TPainterDevice() {
    FPainter.setTransform(FBase);
    if (FCallerClip) {
        FPainter.setTransform(QTransform());
        FPainter.setClipPath(FCallerClipPath);
        FPainter.setTransform(FBase);
    } else {
        FPainter.setClipping(false);
    }
    FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TPainterDevice::ApplyClip(const TDrawState& state) {
    if (state.Clip == FAppliedClip && FClipKnown) return;
    FAppliedClip = state.Clip;
    FClipKnown = true;
    if (!state.Clip) {
        if (FCallerClip) {
            FPainter.setTransform(QTransform());
            FPainter.setClipPath(FCallerClipPath);
        } else {
            FPainter.setClipping(false);
        }
        return;
    }
    QPainterPath clip = FBase.map(*state.Clip);
    if (FCallerClip) clip = clip.intersected(FCallerClipPath);
    FPainter.setTransform(QTransform());
    FPainter.setClipPath(clip);
}

void TPainterDevice::ApplyRop2(int rop2) {
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    if (FRasterOps) {
        switch (rop2) {
        case R2_XORPEN:
            mode = QPainter::RasterOp_SourceXorDestination;
            break;
        case R2_NOT:
            mode = QPainter::RasterOp_NotDestination;
            break;
        case R2_MASKPEN:
            mode = QPainter::RasterOp_SourceAndDestination;
            break;
        case R2_MERGEPEN:
            mode = QPainter::RasterOp_SourceOrDestination;
            break;
        default:
            break;
        }
    }
    FPainter.setCompositionMode(mode);
}

namespace {
// The opacity of one call, put back when it returns.
struct TOpacityScope {
    QPainter& Painter;
    TOpacityScope(QPainter& painter, uint8_t opacity) : Painter(painter) {
        if (opacity != 255) Painter.setOpacity(opacity / 255.0);
    }
    ~TOpacityScope() { Painter.setOpacity(1.0); }
};
} // namespace

void TPainterDevice::DrawShape(const TShape& shape, const TDrawState& state) {
    if (state.Rop2 == R2_NOP) return;
    ApplyClip(state);
    const TOpacityScope opacity(FPainter, state.Opacity);
    ApplyRop2(state.Rop2);
    const QTransform t = state.Transform * FBase;
    bool fill = shape.Fill && state.Brush.Style != BS_NULL && shape.Kind != TShapeKind::skPolyline &&
                shape.Kind != TShapeKind::skArc && shape.Kind != TShapeKind::skPolyBezier;
    const bool stroke = shape.Stroke && (state.Pen.Style & PS_STYLE_MASK) != PS_NULL;
    if (!fill && !stroke) return;
    const QPainterPath path = ShapeToPath(shape, state, false);
    const bool rectilinear = IsRectilinear(path, t);
    FPainter.setRenderHint(QPainter::Antialiasing, !rectilinear || state.Smooth);
    if (fill && rectilinear && !state.Smooth && path.elementCount() <= 5) {
        // A hairline rule thinner than a device pixel still covers one row or column.
        QRectF d = t.mapRect(path.boundingRect());
        if (d.height() < 1 || d.width() < 1) {
            if (d.height() < 1) d = QRectF(d.left(), std::floor(d.center().y()), d.width(), 1);
            if (d.width() < 1) d = QRectF(std::floor(d.center().x()), d.top(), 1, d.height());
            FPainter.setTransform(FBase);
            FPainter.fillRect(d, MakeBrush(state.Brush, FBase));
            fill = false;
            if (!stroke) return;
        }
    }
    if (fill) {
        FPainter.setTransform(t);
        if (state.Brush.Style == BS_HATCHED && state.BkMode == OPAQUE) FPainter.fillPath(path, ToQColor(state.BkColor));
        if (state.Brush.Style == BS_FILL && state.Brush.Fill)
            FillSpecial(path, *state.Brush.Fill, t);
        else
            FPainter.fillPath(path, MakeBrush(state.Brush, t));
    }
    if (stroke) {
        // GDI strokes pixel centres: shift by half a device pixel so thin lines land on whole pixels.
        FPainter.setTransform(t * QTransform::fromTranslate(0.5, 0.5));
        QPen pen = MakePen(state.Pen, ScaleOf(t));
        if (pen.style() != Qt::SolidLine && state.BkMode == OPAQUE && pen.isCosmetic()) {
            // Gaps of thin styled lines show the background colour in opaque mode.
            QPen back(ToQColor(state.BkColor), 0);
            back.setCosmetic(true);
            FPainter.strokePath(path, back);
        }
        pen.setMiterLimit(state.MiterLimit);
        const QRectF extent = t.mapRect(path.boundingRect());
        if (pen.style() != Qt::SolidLine && std::max(extent.width(), extent.height()) > 1e5)
            pen.setStyle(Qt::SolidLine); // millions of dashes off the page would take seconds to build
        FPainter.strokePath(path, pen);
    }
}

void TPainterDevice::FillSpecial(const QPainterPath& path, const TBrushFill& fill, const QTransform& t) {
    const bool clamped = fill.Kind == TBrushFill::TKind::Texture && fill.Wrap == TBrushFill::TWrap::Clamp;
    if (fill.Kind != TBrushFill::TKind::Mesh && !clamped) {
        FPainter.fillPath(path, FillBrush(fill));
        return;
    }
    // Meshes (drawn into an image of the covered device pixels) and textures drawn once, within the path.
    FPainter.save();
    FPainter.setClipPath(path, Qt::IntersectClip);
    if (clamped) {
        if (fill.Image) {
            FPainter.setTransform(fill.Space * t);
            FPainter.drawImage(QPointF(0, 0), *fill.Image);
        }
    } else {
        QRectF area = t.mapRect(path.boundingRect());
        if (const QPaintDevice* device = FPainter.device())
            area = area.intersected(QRectF(0, 0, device->width(), device->height()));
        const QRect pixels = area.toAlignedRect();
        // Very large areas (a printer page) are drawn at a lower resolution and scaled up.
        constexpr int MaxSide = 2048;
        const double scale = std::min(1.0, static_cast<double>(MaxSide) / std::max(pixels.width(), pixels.height()));
        const QSize size(std::max(1, static_cast<int>(std::ceil(pixels.width() * scale))),
                         std::max(1, static_cast<int>(std::ceil(pixels.height() * scale))));
        if (!pixels.isEmpty()) {
            const QTransform toImage = t * QTransform::fromTranslate(-pixels.x(), -pixels.y()) * QTransform::fromScale(scale, scale);
            const QImage image = RasteriseMesh(fill, toImage, size);
            FPainter.setTransform(QTransform());
            FPainter.drawImage(QRectF(pixels.x(), pixels.y(), size.width() / scale, size.height() / scale), image);
        }
    }
    FPainter.restore();
}

void TPainterDevice::DrawText(const TTextRun& run, const TDrawState& state) {
    if (run.Text.empty() && !(run.Options & ETO_OPAQUE)) return;
    ApplyClip(state);
    const TOpacityScope opacity(FPainter, state.Opacity);
    FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QTransform t = state.Transform * FBase;
    const TTextLayout layout = LayOutText(run, state, FBase);
    const auto& font = layout.Font;

    if ((run.Options & ETO_OPAQUE) && !run.Rect.isNull()) {
        FPainter.setTransform(t);
        const QRect r = run.Rect.normalized();
        FPainter.fillRect(QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1), ToQColor(state.BkColor));
    }
    if (!layout.Valid) return;

    const QTransform& text = layout.Text;
    FPainter.setTransform(text);
    if (state.BkMode == OPAQUE && !(run.Options & ETO_OPAQUE))
        FPainter.fillRect(QRectF(layout.Left, layout.Baseline - font->Ascent, layout.Total, font->Ascent + font->Descent),
                          ToQColor(state.BkColor));
    bool clipped = false;
    if ((run.Options & ETO_CLIPPED) && !run.Rect.isNull()) {
        FPainter.save();
        clipped = true;
        FPainter.setTransform(t);
        const QRect r = run.Rect.normalized();
        FPainter.setClipRect(QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1), Qt::IntersectClip);
        FPainter.setTransform(text);
    }
    FPainter.setPen(ToQColor(state.TextColor));
    const double ws = font->WidthScale > 0 ? font->WidthScale : 1;
    if (ws != 1) FPainter.setTransform(QTransform::fromScale(ws, 1) * text);
    if (!(layout.DeviceEm < 1e6)) {
        if (clipped) {
            FPainter.restore();
            FClipKnown = false;
        }
        return; // nothing that size fits on any device
    }
    const bool huge = layout.DeviceEm > 512;
    for (int pass = 0; pass < 2; ++pass) {
        QList<quint32> ids;
        QList<QPointF> positions;
        for (const TPlacedGlyph& g : layout.Glyphs) {
            if (g.Fallback != (pass == 1)) continue;
            ids.push_back(g.Glyph);
            positions.push_back(g.Position);
        }
        if (ids.isEmpty()) continue;
        const QRawFont& raw = pass ? font->Fallback : font->Raw;
        if (huge) {
            // Glyphs far larger than any page shows are filled as outlines: the font engine's glyph
            // cache cannot rasterise them (and fails badly when asked to).
            FPainter.setRenderHint(QPainter::Antialiasing, true);
            for (qsizetype k = 0; k < ids.size(); ++k)
                FPainter.fillPath(raw.pathForGlyph(ids[k]).translated(positions[k]), ToQColor(state.TextColor));
            continue;
        }
        QGlyphRun glyphRun;
        glyphRun.setRawFont(raw);
        glyphRun.setGlyphIndexes(ids);
        glyphRun.setPositions(positions);
        FPainter.drawGlyphRun(QPointF(0, 0), glyphRun);
    }
    if (ws != 1) FPainter.setTransform(text);
    if (font->Underline || font->StrikeOut) {
        const double thick = std::max(font->Raw.lineThickness(), 0.5);
        if (font->Underline)
            FPainter.fillRect(QRectF(layout.Left, layout.Baseline + font->Raw.underlinePosition(), layout.Total, thick),
                              ToQColor(state.TextColor));
        if (font->StrikeOut)
            FPainter.fillRect(
                QRectF(layout.Left, layout.Baseline - font->Raw.xHeight() / 2 - thick / 2, layout.Total, thick),
                ToQColor(state.TextColor));
    }
    if (clipped) {
        FPainter.restore();
        FClipKnown = false;
    }
}

void TPainterDevice::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    ApplyClip(state);
    const QTransform t = state.Transform * FBase;
    FPainter.setTransform(t);
    const QRect d = draw.Destination;
    const QRectF dest(d.x(), d.y(), d.width(), d.height());
    const uint32_t rop = draw.Rop;

    // Operations without a source bitmap.
    if (draw.Dib.Info.empty()) {
        FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        switch (rop) {
        case BLACKNESS:
            FPainter.fillRect(dest.normalized(), Qt::black);
            break;
        case WHITENESS:
            FPainter.fillRect(dest.normalized(), Qt::white);
            break;
        case DSTINVERT:
            if (FRasterOps) {
                FPainter.setCompositionMode(QPainter::RasterOp_NotDestination);
                FPainter.fillRect(dest.normalized(), Qt::white);
            }
            break;
        case PATINVERT:
            if (FRasterOps) {
                FPainter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
                FPainter.fillRect(dest.normalized(), MakeBrush(state.Brush, t));
            }
            break;
        case PATCOPY:
            if (state.Brush.Style != BS_NULL) FPainter.fillRect(dest.normalized(), MakeBrush(state.Brush, t));
            break;
        default:
            break; // operations that keep the destination or need a source draw nothing here
        }
        FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        return;
    }

    QImage image = DibToImage(draw.Dib, draw.SourceAlpha);
    if (image.isNull()) return;

    const QRect src = DibSourceRect(draw, image);

    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop) {
    case SRCAND:
        mode = QPainter::CompositionMode_Multiply;
        break;
    case SRCPAINT:
        mode = QPainter::CompositionMode_Lighten;
        break;
    case SRCINVERT:
        mode = FRasterOps ? QPainter::RasterOp_SourceXorDestination : QPainter::CompositionMode_Difference;
        break;
    case NOTSRCCOPY:
        image.invertPixels();
        break;
    case SRCERASE:
    case NOTSRCERASE:
    case MERGEPAINT:
        break;
    default:
        break;
    }
    FPainter.setCompositionMode(mode);
    if (draw.ConstantAlpha != 255) FPainter.setOpacity(draw.ConstantAlpha / 255.0);
    // Mirroring by negative destination sizes.
    QTransform mirror;
    QRectF target = dest;
    if (dest.width() < 0 || dest.height() < 0) {
        const QPointF c = dest.center();
        mirror.translate(c.x(), c.y());
        mirror.scale(dest.width() < 0 ? -1 : 1, dest.height() < 0 ? -1 : 1);
        mirror.translate(-c.x(), -c.y());
        target = dest.normalized();
        FPainter.setTransform(mirror * t);
    }
    FPainter.setRenderHint(QPainter::SmoothPixmapTransform,
                           state.StretchBltMode == HALFTONE ||
                               (target.width() < src.width() && state.StretchBltMode != COLORONCOLOR) ||
                               state.StretchBltMode == COLORONCOLOR);
    FPainter.drawImage(target, image, QRectF(src));
    FPainter.setOpacity(1.0);
    FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

TPainterCanvas::TPainterCanvas(QPainter& painter, const QTransform& baseTransform)
    : detail::TPainterDeviceHolder(painter), TCanvas(HeldDevice, baseTransform) {}

TPainterCanvas::TPainterCanvas(QPainter& painter, const TDeviceCaps& caps, const QTransform& baseTransform)
    : detail::TPainterDeviceHolder(painter, caps), TCanvas(HeldDevice, baseTransform) {}

bool PlayEnhMetaFile(QPainter& painter, const emf::TEmfPicture& picture, const QRectF& rect) {
    if (picture.Empty()) return true;
    painter.save();
    bool complete;
    {
        TPainterDevice device(painter);
        complete = TEmfPlayer::Play(picture, device, rect).Complete;
    }
    painter.restore();
    return complete;
}

} // namespace pagimo::gdi
