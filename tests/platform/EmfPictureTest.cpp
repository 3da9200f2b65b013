#include "platform/emf/EmfPicture.h"
#include "platform/emf/LittleEndian.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

using namespace pagimo::emf;

namespace {

// A minimal EMF: a 108-byte header record and an EOF record, frame 210 x 297 mm.
std::vector<uint8_t> MinimalEmf() {
    std::vector<uint8_t> b(108 + 20, 0);
    PutU32(&b[0], EmrHeader);
    PutU32(&b[4], 108);
    PutI32(&b[32], 21000);
    PutI32(&b[36], 29700);
    PutU32(&b[40], EmfSignature);
    PutU32(&b[44], 0x10000);
    PutU32(&b[48], static_cast<uint32_t>(b.size()));
    PutU32(&b[52], 2);
    PutU16(&b[56], 1);
    PutU32(&b[108], 14); // EMR_EOF
    PutU32(&b[112], 20);
    PutU32(&b[124], 20);
    return b;
}

} // namespace

TEST(EmfPicture, AcceptsAWellFormedHeaderAndReportsItsSize) {
    TEmfPicture pic(MinimalEmf());
    EXPECT_EQ(pic.Header().Bytes, 128u);
    EXPECT_EQ(pic.Width(), 794);  // 210 mm at 96 pixels per inch
    EXPECT_EQ(pic.Height(), 1123); // 297 mm
}

TEST(EmfPicture, RefusesForeignOrInconsistentBytes) {
    auto wrongType = MinimalEmf();
    PutU32(&wrongType[0], 2);
    auto wrongSignature = MinimalEmf();
    wrongSignature[40] = 'X';
    auto sizeTooLarge = MinimalEmf();
    PutU32(&sizeTooLarge[48], 4096);
    auto sizeTooSmall = MinimalEmf();
    PutU32(&sizeTooSmall[48], 40);
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
