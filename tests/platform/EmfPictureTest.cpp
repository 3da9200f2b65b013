#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

using namespace pagimo::emf;

namespace {

// A minimal EMF: a 108-byte header record and an EOF record, frame 210 x 297 mm.
std::vector<uint8_t> MinimalEmf() {
    using H = THeaderLayout;
    std::vector<uint8_t> b(H::FullSize + TEmrEof::Size, 0);
    PutU32(&b[RecordTypeAt], EmrHeader);
    PutU32(&b[RecordSizeAt], H::FullSize);
    PutI32(&b[H::FrameAt + 8], 21000);
    PutI32(&b[H::FrameAt + 12], 29700);
    PutU32(&b[H::SignatureAt], EmfSignature);
    PutU32(&b[H::VersionAt], 0x10000);
    PutU32(&b[H::BytesAt], static_cast<uint32_t>(b.size()));
    PutU32(&b[H::RecordsAt], 2);
    PutU16(&b[H::HandlesAt], 1);
    const size_t eof = H::FullSize;
    PutU32(&b[eof + RecordTypeAt], EMR_EOF);
    PutU32(&b[eof + RecordSizeAt], TEmrEof::Size);
    PutU32(&b[eof + TEmrEof::SizeLastAt], TEmrEof::Size);
    return b;
}

} // namespace

TEST(EmfPicture, AcceptsAWellFormedHeaderAndReportsItsSize) {
    TEmfPicture pic(MinimalEmf());
    EXPECT_EQ(pic.Header().Bytes, 128u);
    EXPECT_EQ(pic.Width(), 794);   // 210 mm at 96 pixels per inch
    EXPECT_EQ(pic.Height(), 1123); // 297 mm
}

TEST(EmfPicture, RefusesForeignOrInconsistentBytes) {
    auto wrongType = MinimalEmf();
    PutU32(&wrongType[RecordTypeAt], EMR_POLYBEZIER);
    auto wrongSignature = MinimalEmf();
    wrongSignature[THeaderLayout::SignatureAt] = 'X';
    auto sizeTooLarge = MinimalEmf();
    PutU32(&sizeTooLarge[THeaderLayout::BytesAt], 4096);
    auto sizeTooSmall = MinimalEmf();
    PutU32(&sizeTooSmall[THeaderLayout::BytesAt], 40);
    auto shortData = MinimalEmf();
    shortData.resize(60);
    for (auto* bytes : {&wrongType, &wrongSignature, &sizeTooLarge, &sizeTooSmall, &shortData}) {
        try {
            TEmfPicture pic(*bytes);
            ADD_FAILURE() << "accepted a bad picture";
        } catch (const pagimo::EQRError& e) {
            EXPECT_STREQ(e.what(), "Metafile is not valid");
        }
    }
}
