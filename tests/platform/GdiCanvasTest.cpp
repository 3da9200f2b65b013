// The canvas that report code draws with: recording through the metafile canvas and playing the page
// back looks like drawing the same calls straight onto an image; text measurement and recorded
// advances agree; fonts resolve through fontconfig with GDI's height rules.

#include "RenderCompare.h"

#include "platform/gdi/FontMatcher.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QtEndian>

#include <QImage>
#include <QPainter>

#include <functional>
#include <numeric>

using namespace pagimo;
using namespace pagimo::gdi;

namespace {

// A small report-like page: rules, boxes, shapes, text in several fonts and alignments, a clipped
// region, a bitmap and saved state.
void DrawPage(TCanvas& c) {
    c.Pen.Width = 1;
    c.Brush.Style = BS_NULL;
    c.Rectangle(10, 10, 390, 290);
    c.Brush.Style = BS_SOLID;
    c.Brush.Color = Rgb(230, 240, 255);
    c.FillRect(11, 11, 389, 40);
    c.Font.Name = "Arial";
    c.Font.Height = -16;
    c.Font.Weight = FW_BOLD;
    c.SetBkMode(TRANSPARENT);
    c.TextOut(20, 15, "Faktura č. 2024/117");
    c.Font.Weight = FW_NORMAL;
    c.Font.Height = -12;
    for (int i = 0; i < 8; ++i) {
        c.SetTextAlign(TA_LEFT | TA_TOP);
        c.TextOut(20, 50 + i * 18, "Položka " + std::to_string(i + 1) + " – šroubů a matic");
        c.SetTextAlign(TA_RIGHT | TA_TOP);
        c.TextOut(380, 50 + i * 18, std::to_string((i + 1) * 137) + ",00 Kč");
        c.MoveTo(20, 66 + i * 18);
        c.LineTo(380, 66 + i * 18);
    }
    c.SetTextAlign(TA_LEFT | TA_TOP);
    c.Pen.Color = Rgb(200, 0, 0);
    c.Pen.Width = 3;
    c.Brush.Color = Rgb(255, 230, 200);
    c.Ellipse(20, 200, 120, 280);
    c.Brush.Style = BS_HATCHED;
    c.Brush.Hatch = HS_BDIAGONAL;
    c.Brush.Color = Rgb(0, 120, 0);
    c.RoundRect(140, 200, 240, 280, 20, 20);
    c.SaveDC();
    c.IntersectClipRect(260, 200, 330, 250);
    c.Brush.Style = BS_SOLID;
    c.Brush.Color = Rgb(0, 0, 160);
    c.Pen.Style = PS_NULL;
    c.Rectangle(250, 190, 390, 290);
    c.RestoreDC();
    QImage bitmap(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            bitmap.setPixel(x, y, qRgb(x * 16, y * 16, 255 - x * 8));
    c.StretchDraw(QRect(340, 200, 40, 80), bitmap);
    c.Font.Name = "Times New Roman";
    c.Font.Height = -20;
    c.Font.Italic = true;
    c.Font.Underline = true;
    c.Font.Color = Rgb(0, 0, 128);
    c.TextOut(140, 160, "Celkem");
}

QImage Direct(int w, int h, const std::function<void(TCanvas&)>& draw) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TPainterCanvas canvas(painter);
    draw(canvas);
    return image;
}

emf::TEmfPicture Recorded(int w, int h, const std::function<void(TCanvas&)>& draw) {
    TMetafileCanvas canvas(w, h);
    draw(canvas);
    return canvas.Finish();
}

double MeanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return sum / (a.width() * a.height());
}

} // namespace

TEST(CanvasRoundTrip, RecordedPagePlaysBackLikeDirectDrawing) {
    const QImage direct = Direct(400, 300, DrawPage);
    const emf::TEmfPicture picture = Recorded(400, 300, DrawPage);
    EXPECT_EQ(picture.Width(), 400);
    EXPECT_EQ(picture.Height(), 300);
    const QImage played = test::RenderEmf(picture.Bytes(), 400, 300);
    EXPECT_GE(test::InkAgreement(direct, played), 0.98);
    EXPECT_LT(MeanDifference(direct, played), 1.0);
}

TEST(CanvasRoundTrip, StoredBytesReloadAndPlayTheSame) {
    const emf::TEmfPicture picture = Recorded(400, 300, DrawPage);
    const emf::TEmfPicture reloaded(std::vector<uint8_t>(picture.Bytes()));
    TTraceDevice a, b;
    TEmfPlayer::Play(picture.Bytes(), a, TPlayOptions{});
    TEmfPlayer::Play(reloaded.Bytes(), b, TPlayOptions{});
    EXPECT_EQ(a.Text(), b.Text());
    EXPECT_GT(a.Lines().size(), 30u);
}

TEST(CanvasRoundTrip, ReRecordingAPlayedPageGivesTheSameCalls) {
    const emf::TEmfPicture first = Recorded(400, 300, DrawPage);
    TEmfRecorder recorder(400, 300);
    TEmfPlayer::Play(first, recorder, QRectF(0, 0, 400, 300));
    const emf::TEmfPicture second = recorder.Finish();
    TTraceDevice a, b;
    TEmfPlayer::Play(first.Bytes(), a, TPlayOptions{});
    TEmfPlayer::Play(second.Bytes(), b, TPlayOptions{});
    EXPECT_EQ(a.Text(), b.Text());
}

TEST(CanvasRoundTrip, PictureStretchedIntoARectangleOfAnotherCanvas) {
    const emf::TEmfPicture picture = Recorded(400, 300, DrawPage);
    const QImage half = Direct(200, 150, [&](TCanvas& c) { c.StretchDraw(QRect(0, 0, 200, 150), picture); });
    const QImage scaled = Direct(400, 300, DrawPage).scaled(200, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GE(test::InkAgreement(half, scaled), 0.85);
}

TEST(MetafileCanvas, RecordsOurOwnAdvancesAndTheBoundsDrawn) {
    TMetafileCanvas canvas(794, 1123);
    canvas.Font.Name = "Arial";
    canvas.Font.Height = -13;
    const std::u16string text = u"Příliš žluťoučký kůň";
    const auto advances = canvas.TextAdvances(text);
    EXPECT_EQ(canvas.TextExtent(text).width(), std::accumulate(advances.begin(), advances.end(), 0));
    canvas.ExtTextOut(100, 200, 0, nullptr, text);
    canvas.Rectangle(50, 60, 70, 80);
    EXPECT_EQ(canvas.GetDeviceCaps(LOGPIXELSX), 96);
    const emf::TEmfPicture picture = canvas.Finish();
    TTraceDevice trace;
    TEmfPlayer::Play(picture.Bytes(), trace, TPlayOptions{});
    ASSERT_EQ(trace.Lines().size(), 2u);
    EXPECT_NE(trace.Lines()[0].find("advance=" + std::to_string(canvas.TextExtent(text).width())), std::string::npos);
    const auto& h = picture.Header();
    EXPECT_LE(h.BoundsLeft, 50);
    EXPECT_LE(h.BoundsTop, 60);
    EXPECT_GE(h.BoundsRight, 100 + canvas.TextExtent(text).width() - 1);
}

TEST(Canvas, SaveAndRestoreBringBackFontPenClipAndLevels) {
    TTraceDevice trace;
    TCanvas c(trace);
    c.Font.Height = -10;
    EXPECT_EQ(c.SaveDC(), 1);
    c.Font.Height = -30;
    c.IntersectClipRect(0, 0, 5, 5);
    EXPECT_EQ(c.SaveDC(), 2);
    EXPECT_TRUE(c.RestoreDC(1));
    EXPECT_EQ(c.Font.Height, -10);
    EXPECT_FALSE(c.RestoreDC(-1)) << "nothing left to restore";
    c.Rectangle(0, 0, 10, 10);
    EXPECT_EQ(trace.Lines().back().find("clip"), std::string::npos);
}

TEST(FontMatcher, WindowsFacesResolveToMetricCompatibleFaces) {
    auto& m = TFontMatcher::Shared();
    EXPECT_EQ(m.ResolveFamily(QStringLiteral("Arial"), 400, false), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(m.ResolveFamily(QStringLiteral("Times New Roman"), 700, true), QStringLiteral("Liberation Serif"));
    EXPECT_EQ(m.ResolveFamily(QStringLiteral("Courier New"), 400, false), QStringLiteral("Liberation Mono"));
    EXPECT_FALSE(m.ResolveFamily(QStringLiteral("No Such Face 123"), 400, false).isEmpty());
}

TEST(FontMatcher, ACollectionGivesTheFaceAskedFor) {
    // A collection of Liberation Sans regular and bold, made here: each index gives its own face.
    std::vector<QByteArray> faces;
    for (const char* name : {"Regular", "Bold"}) {
        QFile f(QStringLiteral("/usr/share/fonts/truetype/liberation2/LiberationSans-%1.ttf").arg(QLatin1String(name)));
        if (!f.open(QIODevice::ReadOnly)) GTEST_SKIP() << "Liberation Sans not installed";
        faces.push_back(f.readAll());
    }
    auto u32 = [](QByteArray& b, qsizetype at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    QByteArray ttc("ttcf\0\1\0\0\0\0\0\2", 12);
    ttc += QByteArray(8, 0);
    for (size_t i = 0; i < faces.size(); ++i) {
        const auto start = static_cast<uint32_t>(ttc.size());
        u32(ttc, 12 + 4 * static_cast<qsizetype>(i), start);
        QByteArray face = faces[i];
        const int tables = (static_cast<uint8_t>(face[4]) << 8) | static_cast<uint8_t>(face[5]);
        for (int t = 0; t < tables; ++t) {
            const qsizetype at = 12 + 16 * t + 8;
            const auto offset = qFromBigEndian<uint32_t>(face.constData() + at);
            u32(face, at, offset + start);
        }
        ttc += face;
    }
    for (int index : {0, 1}) {
        const QByteArray face = FaceOfCollection(ttc, index);
        const QRawFont raw(face, 20);
        ASSERT_TRUE(raw.isValid()) << index;
        EXPECT_EQ(raw.fontTable("OS/2"), QRawFont(faces[static_cast<size_t>(index)], 20).fontTable("OS/2")) << index;
        EXPECT_EQ(raw.weight() >= QFont::Bold, index == 1);
    }
    EXPECT_TRUE(FaceOfCollection(ttc, 2).isEmpty());
    EXPECT_TRUE(FaceOfCollection(ttc.left(300), 1).isEmpty()) << "a cut collection";
    EXPECT_EQ(FaceOfCollection(faces[0], 0), faces[0]) << "a single face as it is";
}

TEST(FontMatcher, NegativeHeightIsTheEmAndPositiveTheCell) {
    TLogFont lf;
    lf.FaceName = u"Arial";
    lf.Height = -2048;
    const auto em = TFontMatcher::Shared().Match(lf);
    EXPECT_DOUBLE_EQ(em->EmSize, 2048);
    // Arial's (and Liberation Sans's) win ascent + descent is 1854 + 434 units of a 2048-unit em.
    EXPECT_EQ(em->CellHeight(), 2288);
    lf.Height = 2288;
    const auto cell = TFontMatcher::Shared().Match(lf);
    EXPECT_NEAR(cell->EmSize, 2048, 1e-9);
    EXPECT_EQ(cell->CellHeight(), 2288);
}

TEST(FontMatcher, CzechTextHasGlyphsAndWholePixelAdvances) {
    TLogFont lf;
    lf.FaceName = u"Arial";
    lf.Height = -13;
    const auto font = TFontMatcher::Shared().Match(lf);
    const std::u16string text = u"ěščřžýáíéůúťďňĚŠČŘŽÝÁÍÉŮÚŤĎŇ";
    quint32 glyphs[64];
    int count = 64;
    const QString s = QString::fromStdU16String(text);
    ASSERT_TRUE(font->Raw.glyphIndexesForChars(s.constData(), static_cast<int>(s.size()), glyphs, &count));
    for (int i = 0; i < count; ++i)
        EXPECT_NE(glyphs[i], 0u) << "no glyph for " << s.mid(i, 1).toStdString();
    for (int32_t a : font->Advances(text))
        EXPECT_GT(a, 3);
    // A surrogate pair takes two dx entries, the second zero.
    const auto pair = font->Advances(u"a\U0001F600b");
    ASSERT_EQ(pair.size(), 4u);
    EXPECT_EQ(pair[2], 0);
}

// A page played through a painter that is already turned or shifted (a rotated view, a part of a page
// drawn alone) is the upright page turned or shifted: text included, which is laid out in the page's
// mapping and taken to the device once.
TEST(CanvasRoundTrip, APainterTurnedOrShiftedTurnsOrShiftsTheText) {
    const emf::TEmfPicture picture = Recorded(400, 300, [](TCanvas& c) {
        c.Font.Name = "Arial";
        c.Font.Height = -14;
        for (int i = 0; i < 12; ++i)
            c.TextOut(20 + i * 8, 20 + i * 22, "Položka " + std::to_string(i + 1) + " – šroubů a matic");
    });
    const QImage upright = test::RenderEmf(picture.Bytes(), 400, 300);
    const struct {
        const char* Why;
        QTransform Painter; // the painter's transform when the page is played
        QSize Size;
    } cases[] = {{"a quarter turn clockwise", QTransform(0, 1, -1, 0, 300, 0), {300, 400}},
                 {"a half turn", QTransform(-1, 0, 0, -1, 400, 300), {400, 300}},
                 {"a part of the page", QTransform::fromTranslate(-120, -90), {280, 210}}};
    for (const auto& c : cases) {
        QImage played(c.Size, QImage::Format_RGB32);
        played.fill(Qt::white);
        {
            QPainter painter(&played);
            painter.setTransform(c.Painter);
            TPainterDevice device(painter);
            TEmfPlayer::Play(picture, device, QRectF(0, 0, 400, 300));
        }
        // QImage::transformed drops the translation, which only keeps a turned page in view.
        const QImage expected = c.Painter.type() == QTransform::TxTranslate ? upright.copy(120, 90, 280, 210)
                                                                            : upright.transformed(c.Painter);
        EXPECT_GE(test::InkAgreement(played, expected), 0.95) << c.Why;
    }
}
