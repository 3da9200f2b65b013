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

TEST(EmfPicture, AFileCutShortKeepsItsWholeRecords) {
    // The minimal picture with two 12-byte records (EMR_SETBKMODE) between header and EOF: 152 bytes.
    auto whole = MinimalEmf();
    for (int i = 0; i < 2; ++i) {
        std::vector<uint8_t> rec(TEmrValue::Size, 0);
        PutU32(&rec[RecordTypeAt], EMR_SETBKMODE);
        PutU32(&rec[RecordSizeAt], TEmrValue::Size);
        PutU32(&rec[TEmrValue::ValueAt], 1);
        whole.insert(whole.begin() + THeaderLayout::FullSize, rec.begin(), rec.end());
    }
    PutU32(&whole[THeaderLayout::BytesAt], static_cast<uint32_t>(whole.size()));
    PutU32(&whole[THeaderLayout::RecordsAt], 4);
    struct TCase {
        size_t Kept;    // bytes of the file that are there
        size_t Records; // records of the result, EOF included
        bool Reported;  // said to be incomplete
    };
    const TCase cases[] = {
        {108 + 12 + 6, 3, true},   // in the middle of the second record: header, one record, added EOF
        {108 + 24, 4, true},       // at a record boundary, no EOF: an EOF is added
        {108 + 4, 2, true},        // less than a record header after the header record
        {108 + 24 + 20, 4, false}, // only nBytes lies: every record is there up to EOF
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Kept);
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(c.Kept));
        PutU32(&cut[THeaderLayout::BytesAt], 4096); // the header promises more than there is
        std::string problem;
        const auto out = WholeRecordsOf(cut, problem);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(!problem.empty(), c.Reported) << problem;
        if (c.Reported) {
            EXPECT_NE(problem.find(std::to_string(c.Kept) + " of the 4096 bytes"), std::string::npos) << problem;
        }
        const TEmfPicture picture(out); // nBytes now matches
        EXPECT_EQ(picture.Header().Records, c.Records);
        EXPECT_EQ(GetU32(&out[out.size() - TEmrEof::Size]), 14u) << "ends with EOF";
    }
    // A header record that is itself cut is no picture; a file that is not cut comes back as it is.
    std::string problem;
    std::vector<uint8_t> headerCut(whole.begin(), whole.begin() + 100);
    PutU32(&headerCut[THeaderLayout::BytesAt], 4096);
    EXPECT_TRUE(WholeRecordsOf(headerCut, problem).empty());
    EXPECT_EQ(WholeRecordsOf(whole, problem), whole);
    EXPECT_TRUE(problem.empty());
}
