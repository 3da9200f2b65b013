// The EMF record layer: the writer keeps the header right, the bounded reader refuses to look past a
// record, and the record walker stops at a broken chain.

#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/emf/RecordReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pagimo::emf;

TEST(EmfWriter, HeaderCarriesSizesCountsHandlesAndTheReferenceDevice) {
    TEmfWriter w(794, 1123);
    const uint32_t pen = w.NewHandle();
    const uint32_t brush = w.NewHandle();
    TEmrCreatePen{pen, 0, 1, 0}.Write(w);
    TEmrCreateBrushIndirect{brush, 0, 0xFF, 0}.Write(w);
    TEmrBox{{10, 20, 110, 220}}.Write(w, EMR_RECTANGLE);
    w.ExtendBounds(10, 20, 109, 219);
    w.FreeHandle(pen);
    EXPECT_EQ(w.NewHandle(), pen) << "the lowest free index is reused";
    const std::vector<uint8_t> bytes = w.Finish();

    const TEmfPicture picture(bytes); // checks signature and nBytes
    const TEmfHeader& h = picture.Header();
    EXPECT_EQ(h.Bytes, bytes.size());
    EXPECT_EQ(h.Records, 5u) << "header, three records, EOF";
    EXPECT_EQ(h.Handles, 3u) << "two objects plus the metafile's own slot";
    EXPECT_EQ(h.FrameRight, 21008); // 794 px at 96 per inch in 0.01 mm
    EXPECT_EQ(h.FrameBottom, 29713);
    EXPECT_EQ(picture.Width(), 794);
    EXPECT_EQ(picture.Height(), 1123);
    EXPECT_EQ(h.BoundsLeft, 10);
    EXPECT_EQ(h.BoundsBottom, 219);
    EXPECT_EQ(h.DevicePixelsX, 1920);
    EXPECT_EQ(h.DeviceMillimetersX, 508); // exactly 96 pixels per inch
    EXPECT_EQ(GetI32(bytes.data() + THeaderLayout::MicrometersAt), 508000) << "micrometre extension";
    EXPECT_EQ(GetU32(bytes.data() + bytes.size() - TEmrEof::Size), EMR_EOF);
}

TEST(EmfWriter, EmptyPictureHasEmptyBoundsAndStaysValid) {
    TEmfWriter w(100, 50);
    const TEmfPicture picture(w.Finish());
    EXPECT_GT(picture.Header().BoundsLeft, picture.Header().BoundsRight);
    EXPECT_EQ(picture.Header().Records, 2u);
}

TEST(RecordReader, RefusesReadsPastTheRecordAndOverflowingCounts) {
    std::vector<uint8_t> rec(16, 0);
    PutU32(rec.data(), EMR_RECTANGLE);
    PutU32(rec.data() + 4, 16);
    TRecordReader r(rec);
    EXPECT_EQ(r.U32(12), 0u);
    EXPECT_THROW(r.U32(13), ERecordDamaged);
    EXPECT_THROW(r.I16(15), ERecordDamaged);
    EXPECT_THROW(r.Bytes(8, 9), ERecordDamaged);
    EXPECT_THROW(r.Bytes(8, 0x4000000000000001ULL, 8), ERecordDamaged) << "count x size overflows";
    EXPECT_THROW(r.Bytes(SIZE_MAX, 1), ERecordDamaged);
    EXPECT_EQ(r.Bytes(8, 2, 4).size(), 8u);
}

TEST(RecordWalker, StopsAtABrokenChain) {
    TEmfWriter w(10, 10);
    TEmrEmpty::Write(w, EMR_SAVEDC);
    std::vector<uint8_t> good = w.Finish();
    auto count = [](std::span<const uint8_t> b, bool* broken) {
        TRecordWalker walker(b);
        TRecordReader r(b.first(0));
        int n = 0;
        while (walker.Next(r))
            ++n;
        *broken = walker.Broken();
        return n;
    };
    bool broken = false;
    EXPECT_EQ(count(good, &broken), 3);
    EXPECT_FALSE(broken);

    struct TCase {
        const char* Why;
        uint32_t Size;
    };
    for (const TCase c : {TCase{"size not a multiple of four", 10}, TCase{"size below a record's minimum", 4},
                          TCase{"size past the end of the data", 4096}}) {
        std::vector<uint8_t> bad = good;
        PutU32(bad.data() + THeaderLayout::FullSize + RecordSizeAt, c.Size); // the SAVEDC record
        EXPECT_EQ(count(bad, &broken), 1) << c.Why;
        EXPECT_TRUE(broken) << c.Why;
    }
}

namespace {

// The records a writer made, the header and EOF left out.
std::vector<std::vector<uint8_t>> RecordsOf(TEmfWriter& w) {
    const std::vector<uint8_t> bytes = w.Finish();
    std::vector<std::vector<uint8_t>> records;
    TRecordWalker walker(bytes);
    TRecordReader r(std::span<const uint8_t>(bytes).first(0));
    while (walker.Next(r))
        if (r.Type() != EMR_HEADER && r.Type() != EMR_EOF) records.emplace_back(r.All().begin(), r.All().end());
    return records;
}

} // namespace

// Each layout reads back what it writes, at the size the player checks before reading; a record cut
// short of its fixed fields is refused.
TEST(RecordLayouts, FixedRecordsReadBackWhatTheyWriteAtTheirSize) {
    TEmfWriter w(100, 100);
    TEmrValue{0x80000007}.Write(w, EMR_SELECTOBJECT);
    TEmrPoint{{-5, 70000}}.Write(w, EMR_MOVETOEX);
    TEmrScaleExt{1, 2, 3, 4}.Write(w, EMR_SCALEWINDOWEXTEX);
    TEmrModifyWorldTransform{{1.5f, 0.25f, -0.25f, 2, 10, -20}, MWT_LEFTMULTIPLY}.Write(w);
    TEmrRoundRect{{1, 2, 3, 4}, {5, 6}}.Write(w);
    TEmrArc{{1, 2, 3, 4}, {5, 6}, {7, 8}}.Write(w, EMR_PIE);
    TEmrAngleArc{{9, 8}, 7, 30.5f, -90}.Write(w);
    TEmrSetPixelV{{3, 4}, 0x123456}.Write(w);
    TEmrCreatePen{3, 0x10000, 25, 0xABCDEF}.Write(w);
    TEmrCreateBrushIndirect{4, 2, 0xFF00, 5}.Write(w);
    TEmrExtCreatePen pen;
    pen.Handle = 5, pen.Style = 0x10007, pen.Width = 3, pen.Color = 0xFF, pen.NumEntries = 2;
    const uint32_t dashes[2] = {6, 2};
    pen.Write(w, dashes);
    TEmrBitBlt blt;
    blt.Bounds = {1, 2, 3, 4};
    blt.XDest = 5, blt.YDest = 6, blt.CxDest = 7, blt.CyDest = 8, blt.Rop = 0x00F00021, blt.XSrc = 9, blt.YSrc = 10;
    blt.UsageSrc = 1, blt.Bitmap = {100, 40, 140, 16};
    blt.Write(w);
    const auto records = RecordsOf(w);
    ASSERT_EQ(records.size(), 12u);
    auto reader = [&](size_t i) { return TRecordReader(records[i]); };

    EXPECT_EQ(records[0].size(), TEmrValue::Size);
    EXPECT_EQ(TEmrValue::Read(reader(0)).Value, 0x80000007u);
    EXPECT_EQ(records[1].size(), TEmrPoint::Size);
    EXPECT_EQ(TEmrPoint::Read(reader(1)).Point.Y, 70000);
    EXPECT_EQ(records[2].size(), TEmrScaleExt::Size);
    EXPECT_EQ(TEmrScaleExt::Read(reader(2)).YDenom, 4);
    EXPECT_EQ(records[3].size(), TEmrModifyWorldTransform::Size);
    const auto m = TEmrModifyWorldTransform::Read(reader(3));
    EXPECT_EQ(m.Mode, MWT_LEFTMULTIPLY);
    EXPECT_EQ(m.XForm.M12, 0.25f);
    EXPECT_EQ(m.XForm.Dy, -20.0f);
    EXPECT_EQ(records[4].size(), TEmrRoundRect::Size);
    EXPECT_EQ(TEmrRoundRect::Read(reader(4)).Corner.Cy, 6);
    EXPECT_EQ(records[5].size(), TEmrArc::Size);
    EXPECT_EQ(TEmrArc::Read(reader(5)).End.X, 7);
    EXPECT_EQ(records[6].size(), TEmrAngleArc::Size);
    EXPECT_EQ(TEmrAngleArc::Read(reader(6)).SweepAngle, -90.0f);
    EXPECT_EQ(records[7].size(), TEmrSetPixelV::Size);
    EXPECT_EQ(TEmrSetPixelV::Read(reader(7)).Color, 0x123456u);
    EXPECT_EQ(records[8].size(), TEmrCreatePen::Size);
    const auto p = TEmrCreatePen::Read(reader(8));
    EXPECT_EQ(p.Width, 25);
    EXPECT_EQ(p.Color, 0xABCDEFu);
    EXPECT_EQ(records[9].size(), TEmrCreateBrushIndirect::Size);
    EXPECT_EQ(TEmrCreateBrushIndirect::Read(reader(9)).Hatch, 5u);
    EXPECT_EQ(records[10].size(), TEmrExtCreatePen::Size + 8);
    const auto x = TEmrExtCreatePen::Read(reader(10));
    EXPECT_EQ(x.Style, 0x10007u);
    EXPECT_EQ(x.Color, 0xFFu);
    EXPECT_EQ(x.NumEntries, 2u);
    EXPECT_EQ(reader(10).U32(TEmrExtCreatePen::EntriesAt + 4), 2u);
    EXPECT_EQ(records[11].size(), TEmrBitBlt::Size);
    const auto b = TEmrBitBlt::Read(reader(11));
    EXPECT_EQ(b.Rop, 0x00F00021u);
    EXPECT_EQ(b.YSrc, 10);
    EXPECT_EQ(b.XFormSrc.M22, 1.0f) << "an identity source transform by default";
    EXPECT_EQ(b.UsageSrc, 1u);
    EXPECT_EQ(b.Bitmap.OffBits, 140u);
    EXPECT_EQ(b.Bitmap.CbBits, 16u);

    // Cut one byte short of the fixed fields, every record is refused.
    for (size_t i = 0; i < records.size(); ++i) {
        const std::span<const uint8_t> cut(records[i].data(),
                                           (i == 10 ? TEmrExtCreatePen::Size : records[i].size()) - 1);
        const TRecordReader r(cut);
        SCOPED_TRACE(i);
        auto read = [&] {
            switch (i) {
            case 0:
                TEmrValue::Read(r);
                break;
            case 1:
                TEmrPoint::Read(r);
                break;
            case 2:
                TEmrScaleExt::Read(r);
                break;
            case 3:
                TEmrModifyWorldTransform::Read(r);
                break;
            case 4:
                TEmrRoundRect::Read(r);
                break;
            case 5:
                TEmrArc::Read(r);
                break;
            case 6:
                TEmrAngleArc::Read(r);
                break;
            case 7:
                TEmrSetPixelV::Read(r);
                break;
            case 8:
                TEmrCreatePen::Read(r);
                break;
            case 9:
                TEmrCreateBrushIndirect::Read(r);
                break;
            case 10:
                TEmrExtCreatePen::Read(r);
                break;
            default:
                TEmrBitBlt::Read(r);
                break;
            }
        };
        EXPECT_THROW(read(), ERecordDamaged);
    }
}

TEST(RecordLayouts, VariableRecordsPlaceTheirPayloadWhereTheirOffsetsSay) {
    TEmfWriter w(100, 100);
    // Text: string padded to four bytes, advances after it.
    TEmrExtTextOut text;
    text.Text = {{10, 20}, 3, TEmrExtTextOut::StringAt, 0, {0, 0, -1, -1}, TEmrExtTextOut::DxAfter(3)};
    const int32_t dx[3] = {7, 8, 9};
    text.Write(w, u"abc", dx);
    // A font whose face name is longer than the record holds: cut to 31 units and terminated.
    TEmrExtCreateFontIndirectW font;
    font.Handle = 2;
    font.Font.Height = -13;
    font.Font.CharSet = 238;
    font.Font.FaceName = std::u16string(40, u'x');
    font.Write(w);
    // A clip region of two rectangles.
    TRgnDataHeader region;
    region.Count = 2;
    region.RgnSize = 32;
    region.Bounds = {0, 0, 20, 10};
    const TRectL rects[2] = {{0, 0, 10, 10}, {15, 0, 20, 10}};
    TEmrExtSelectClipRgn{64, RGN_COPY}.Write(w, &region, rects);
    // A bitmap whose info is not a multiple of four bytes long: the bits start after the padding.
    TEmrStretchDIBits dib;
    const uint8_t info[42] = {40}, bits[4] = {1, 2, 3, 4};
    dib.Bitmap = {TEmrStretchDIBits::PayloadAt, 42, TEmrStretchDIBits::PayloadAt + 44, 4};
    dib.Write(w, info, bits);
    // SMALLTEXTOUT with and without a clip rectangle.
    const uint8_t ok[2] = {'O', 'K'};
    const TRectL clip{1, 2, 3, 4};
    TEmrSmallTextOut{{5, 6}, 2, TEmrSmallTextOut::SmallChars}.Write(w, &clip, ok);
    TEmrSmallTextOut{{5, 6}, 2, TEmrSmallTextOut::SmallChars | TEmrSmallTextOut::NoRect}.Write(w, nullptr, ok);

    const auto records = RecordsOf(w);
    ASSERT_EQ(records.size(), 6u);
    {
        const TRecordReader r(records[0]);
        const TEmrExtTextOut t = TEmrExtTextOut::Read(r);
        EXPECT_EQ(t.Text.Reference.Y, 20);
        EXPECT_EQ(r.U16(t.Text.OffString + 4), u'c');
        EXPECT_EQ(t.Text.OffDx, TEmrExtTextOut::StringAt + 8);
        EXPECT_EQ(r.I32(t.Text.OffDx + 8), 9);
        EXPECT_EQ(r.Size(), t.Text.OffDx + 12);
    }
    {
        const TRecordReader r(records[1]);
        const auto f = TEmrExtCreateFontIndirectW::Read(r);
        EXPECT_EQ(f.Font.Height, -13);
        EXPECT_EQ(f.Font.CharSet, 238);
        EXPECT_EQ(f.Font.FaceName, std::u16string(31, u'x'));
        EXPECT_EQ(r.Size(), TEmrExtCreateFontIndirectW::FontAt + TLogFontW::Bytes);
        // Files that end the record right after a name of few units still give the name.
        const TRecordReader cut(std::span<const uint8_t>(records[1]).first(TEmrExtCreateFontIndirectW::Size + 4));
        EXPECT_EQ(TEmrExtCreateFontIndirectW::Read(cut).Font.FaceName, u"xx");
    }
    {
        const TRecordReader r(records[2]);
        const auto c = TEmrExtSelectClipRgn::Read(r);
        EXPECT_EQ(c.Mode, RGN_COPY);
        const auto h = TRgnDataHeader::Read(r, TEmrExtSelectClipRgn::RgnDataAt);
        EXPECT_EQ(h.Count, 2u);
        EXPECT_EQ(h.Bounds.Right, 20);
        EXPECT_EQ(r.I32(TEmrExtSelectClipRgn::RgnDataAt + h.HeaderSize + RectLBytes), 15);
        EXPECT_EQ(r.Size(), TEmrExtSelectClipRgn::RgnDataAt + c.RgnDataSize);
    }
    {
        const TRecordReader r(records[3]);
        const auto d = TEmrStretchDIBits::Read(r);
        EXPECT_EQ(d.Bitmap.Info(r)[0], 40);
        EXPECT_EQ(d.Bitmap.Bits(r)[3], 4);
    }
    for (size_t i : {4u, 5u}) {
        const TRecordReader r(records[i]);
        const auto t = TEmrSmallTextOut::Read(r);
        EXPECT_EQ(r.U8(t.StringAt() + 1), 'K');
        EXPECT_EQ(t.StringAt(), i == 4 ? TEmrSmallTextOut::RectAt + RectLBytes : TEmrSmallTextOut::RectAt);
        if (i == 4) {
            EXPECT_EQ(ReadRectL(r, TEmrSmallTextOut::RectAt).Bottom, 4);
        }
    }
}
