// The EMF record layer: the writer keeps the header right, the bounded reader refuses to look past a
// record, and the record walker stops at a broken chain.

#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/RecordReader.h"

#include <gtest/gtest.h>

using namespace pagimo::emf;

TEST(EmfWriter, HeaderCarriesSizesCountsHandlesAndTheReferenceDevice) {
    TEmfWriter w(794, 1123);
    const uint32_t pen = w.NewHandle();
    const uint32_t brush = w.NewHandle();
    w.Record(EMR_CREATEPEN, {static_cast<int32_t>(pen), 0, 1, 0, 0});
    w.Record(EMR_CREATEBRUSHINDIRECT, {static_cast<int32_t>(brush), 0, 0xFF, 0});
    w.Record(EMR_RECTANGLE, {10, 20, 110, 220});
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
    EXPECT_EQ(GetI32(bytes.data() + 100), 508000) << "micrometre extension";
    EXPECT_EQ(GetU32(bytes.data() + bytes.size() - 20), EMR_EOF);
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
    w.Record(EMR_SAVEDC, {});
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
        PutU32(bad.data() + 108 + 4, c.Size); // the SAVEDC record
        EXPECT_EQ(count(bad, &broken), 1) << c.Why;
        EXPECT_TRUE(broken) << c.Why;
    }
}
