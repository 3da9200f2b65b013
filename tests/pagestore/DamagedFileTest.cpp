// Damaged and foreign QRP files end in an error naming the file (broken header or record chain) or
// "Metafile is not valid" (a bad page body): never a hang, a crash or a huge allocation.

#include "pagestore/PageList.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/system/Errors.h"

#include "PageListFixture.h"

#include <gtest/gtest.h>

#include <random>

using namespace pagimo;
using namespace pagimo::pagestore;
using namespace pagimo::test;
using pagimo::emf::GetI32;
using pagimo::emf::PutI32;
using pagimo::emf::THeaderLayout;

namespace {

class DamagedFile : public ::testing::Test {
protected:
    TTempDir Tmp;
    std::string Name = Tmp.File("damaged.qrp");

    std::vector<uint8_t> Good(int pages, bool compressed) { return MakeFile(Tmp.File("good.qrp"), pages, compressed); }

    // Opens the bytes, reads every sheet (which never throws) and fetches every page; returns the error
    // text, or "" when all went well.
    std::string OpenAndFetchAll(const std::vector<uint8_t>& bytes) {
        WriteFileBytes(Name, bytes);
        TQRPageList list;
        try {
            list.OpenFile(Name);
            for (int n = 1; n <= list.NumPages(); ++n)
                list.Sheet(n);
            for (int n = 1; n <= list.NumPages(); ++n) {
                if (!list.FetchPage(n)) return "page " + std::to_string(n) + " missing";
            }
            for (int n = list.NumPages(); n >= 1; --n)
                list.FetchPage(n);
        } catch (const EQRError& e) {
            return e.what();
        }
        return "";
    }
    std::string Damaged() const { return "File " + Name + " is damaged"; }
};

// Offsets of the records of a file: start of page i at [i - 1].
std::vector<int32_t> RecordStarts(const std::vector<uint8_t>& bytes) {
    std::vector<int32_t> starts;
    for (int32_t at = 128; at + 12 <= static_cast<int32_t>(bytes.size()); at = GetI32(&bytes[at + 4])) {
        starts.push_back(at);
    }
    return starts;
}

} // namespace

TEST_F(DamagedFile, ShortHeaderIsRefusedAndNoStreamIsHeld) {
    auto bytes = Good(2, false);
    bytes.resize(100);
    EXPECT_EQ(OpenAndFetchAll(bytes), Damaged() + ": its header is incomplete");
    TQRPageList list;
    EXPECT_THROW(list.OpenFile(Name), EQRError);
    EXPECT_EQ(list.PageStream(), nullptr);
    EXPECT_EQ(OpenAndFetchAll({}), Damaged() + ": its header is incomplete");
}

TEST_F(DamagedFile, PageCountsThatCannotFitAreRefusedAtOpening) {
    auto bytes = Good(2, false);
    for (int32_t count : {-1, INT32_MIN, INT32_MAX, 1000000}) {
        PutI32(&bytes[8], count);
        EXPECT_EQ(OpenAndFetchAll(bytes),
                  Damaged() + ": its page count " + std::to_string(count) + " does not fit its size");
    }
}

TEST_F(DamagedFile, CountLargerThanTheRecordsPresentFailsAtTheFirstMissingPage) {
    auto bytes = Good(3, false);
    PutI32(&bytes[8], 5);
    const auto end = std::to_string(bytes.size());
    EXPECT_EQ(OpenAndFetchAll(bytes), Damaged() + ": the record of page 4 at offset " + end + " is not valid");
    // Asking for the last page first: the last record is page 3, so the chain is walked and breaks.
    TQRPageList list;
    list.OpenFile(Name);
    EXPECT_THROW(list.FetchPage(5), EQRError);
    EXPECT_EQ(list.FetchPage(3)->Bytes(), tools::TSamplePageWriter::Page(3, 4));
}

TEST_F(DamagedFile, ChainOffsetsOutsideTheFileOrNotMovingForwardAreRefused) {
    const auto good = Good(4, false);
    const auto starts = RecordStarts(good);
    ASSERT_EQ(starts.size(), 4u);
    const int32_t second = starts[1];
    for (int32_t next : {INT32_MAX, static_cast<int32_t>(good.size()) + 1, -5, 0, 128, second, second + 11}) {
        auto bytes = good;
        PutI32(&bytes[second + 4], next); // page 2's next-record offset
        EXPECT_TRUE(OpenAndFetchAll(bytes).starts_with(Damaged() + ": the record of page 2")) << next;
    }
    // A next offset that lands inside another record is caught by that record's RecordStart.
    auto bytes = good;
    PutI32(&bytes[second + 4], starts[2] + 40);
    EXPECT_TRUE(OpenAndFetchAll(bytes).starts_with(Damaged() + ": the record of page 2"));
}

TEST_F(DamagedFile, UnexpectedPageNumberIsRefused) {
    auto bytes = Good(4, false);
    const auto starts = RecordStarts(bytes);
    PutI32(&bytes[starts[2]], 2);
    EXPECT_EQ(OpenAndFetchAll(bytes),
              Damaged() + ": the record of page 3 at offset " + std::to_string(starts[2]) + " is not valid");
}

TEST_F(DamagedFile, DamagedLastRecordPointerFallsBackToTheChain) {
    auto bytes = Good(4, false);
    PutI32(&bytes[bytes.size() - 4], 128); // the last RecordStart no longer points at page 4
    WriteFileBytes(Name, bytes);
    TQRPageList list;
    list.OpenFile(Name);
    EXPECT_THROW(list.FetchPage(4), EQRError) << "page 4's record no longer points back at itself";
    EXPECT_EQ(list.FetchPage(3)->Bytes(), tools::TSamplePageWriter::Page(3, 4));
}

TEST_F(DamagedFile, PlainBodyClaimingMoreThanItsRecordIsNotAValidMetafile) {
    auto bytes = Good(2, false);
    PutI32(&bytes[136 + THeaderLayout::BytesAt], 0x7FFFFFF0); // nBytes of page 1
    EXPECT_EQ(OpenAndFetchAll(bytes), "Metafile is not valid");
    bytes = Good(2, false);
    PutI32(&bytes[136 + THeaderLayout::BytesAt],
           GetI32(&bytes[136 + THeaderLayout::BytesAt]) - 4); // smaller: the picture no longer ends right
    EXPECT_EQ(OpenAndFetchAll(bytes), "Metafile is not valid");
    bytes = Good(2, false);
    bytes[136] = 2; // not an EMF header record
    EXPECT_EQ(OpenAndFetchAll(bytes), "Metafile is not valid");
}

TEST_F(DamagedFile, SplayCodedBodiesThatCannotBeRightAreNotValidMetafiles) {
    const auto good = Good(2, true);
    for (int32_t length : {0, -1, 87, INT32_MAX, GetI32(&good[136]) + 1}) {
        auto bytes = good;
        PutI32(&bytes[136], length);
        EXPECT_EQ(OpenAndFetchAll(bytes), "Metafile is not valid") << length;
    }
    // Code that runs out inside its record: the decoder must not read on into the next one.
    auto bytes = good;
    const int32_t next = GetI32(&bytes[132]);
    for (int32_t i = 140 + 20; i < next - 4; ++i)
        bytes[i] = 0xFF;
    EXPECT_EQ(OpenAndFetchAll(bytes), "Metafile is not valid");
}

TEST_F(DamagedFile, RandomDamageEndsInAnErrorOrInValidPages) {
    std::mt19937 rng(2026);
    for (const bool compressed : {false, true}) {
        const auto good = Good(5, compressed);
        for (int round = 0; round < 300; ++round) {
            auto bytes = good;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f) {
                const size_t at = rng() % bytes.size();
                bytes[at] = rng() % 3 == 0 ? 0xFF : static_cast<uint8_t>(rng());
            }
            if (rng() % 8 == 0) bytes.resize(rng() % bytes.size());
            OpenAndFetchAll(bytes); // must return, with or without an error
        }
    }
}
