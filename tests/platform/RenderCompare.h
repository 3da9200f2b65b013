#pragma once
// Rendering helpers and the tolerant image metric shared by the drawing tests.

#include "platform/emf/EmfPicture.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace pagimo::test {

// Plays EMF bytes (header frame onto the whole image) into a white w x h image.
inline QImage RenderEmf(std::span<const uint8_t> bytes, int w, int h, gdi::TPlayResult* result = nullptr) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    emf::TEmfHeader header;
    if (!emf::ReadEmfHeader(bytes, header)) return image;
    QPainter painter(&image);
    gdi::TPainterDevice device(painter);
    gdi::TPlayOptions options;
    options.DeviceTransform = gdi::TEmfPlayer::FrameTransform(header, QRectF(0, 0, w, h));
    const auto r = gdi::TEmfPlayer::Play(bytes, device, options);
    if (result) *result = r;
    return image;
}

// Ink agreement: both images are turned grey and blurred over 3 x 3 pixels (so antialiasing and
// one-pixel shifts cost little); among the pixels that carry ink in either image (blurred value below
// 248), the share whose values differ by no more than 48. 1.0 means the same drawing; a blank image
// against a drawn one scores 0. Images of different sizes are compared over their common area.
inline double InkAgreement(const QImage& a, const QImage& b) {
    const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
    if (w < 3 || h < 3) return 1.0;
    auto grey = [&](const QImage& img) {
        const QImage c = img.convertToFormat(QImage::Format_RGB32);
        std::vector<float> g(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(c.constScanLine(y));
            for (int x = 0; x < w; ++x)
                g[static_cast<size_t>(y) * w + x] = static_cast<float>(qGray(row[x]));
        }
        std::vector<float> blurred(g.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float sum = 0;
                int n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int yy = y + dy, xx = x + dx;
                        if (yy < 0 || yy >= h || xx < 0 || xx >= w) continue;
                        sum += g[static_cast<size_t>(yy) * w + xx];
                        ++n;
                    }
                blurred[static_cast<size_t>(y) * w + x] = sum / n;
            }
        return blurred;
    };
    const auto ga = grey(a), gb = grey(b);
    size_t ink = 0, agree = 0;
    for (size_t i = 0; i < ga.size(); ++i) {
        if (ga[i] >= 248 && gb[i] >= 248) continue;
        ++ink;
        if (std::abs(ga[i] - gb[i]) <= 48) ++agree;
    }
    return ink == 0 ? 1.0 : static_cast<double>(agree) / static_cast<double>(ink);
}

} // namespace pagimo::test
