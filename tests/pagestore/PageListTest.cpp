#include "pagestore/PageList.h"
#include "pagestore/Compress.h"
#include "platform/emf/LittleEndian.h"
#include "platform/system/Errors.h"
#include "platform/system/LocalTime.h"

#include "PageListFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

using namespace pagimo;
using namespace pagimo::pagestore;
using namespace pagimo::test;
using pagimo::emf::GetI32;
using pagimo::emf::GetU16;
using pagimo::tools::TSamplePageWriter;

namespace {

std::vector<uint8_t> PageBytes(int i) {
    return TSamplePageWriter::Page(i, i % 7 + 1);
}

void ExpectMessage(const std::function<void()>& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no error, expected: " << message;
    } catch (const EQRError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

} // namespace

TEST(PageList, OnePlainPageHasTheDocumentedLayout) {
    TTempDir tmp;
    const auto before = NowAsDays();
    const auto bytes = MakeFile(tmp.File("one.qrp"), 1, false);
    const auto page = PageBytes(1);
    ASSERT_EQ(bytes.size(), 128 + 12 + page.size());
    EXPECT_EQ(GetU16(&bytes[0]), 3);
    EXPECT_EQ(GetU16(&bytes[2]), 350);
    EXPECT_EQ(GetI32(&bytes[8]), 1);
    double stamp;
    std::memcpy(&stamp, &bytes[16], 8);
    EXPECT_GE(stamp, before - 1e-6);
    EXPECT_LE(stamp, NowAsDays() + 1e-6);
    EXPECT_EQ(bytes[25], 0);
    for (size_t i : {4u, 12u, 24u, 26u, 127u})
        EXPECT_EQ(bytes[i], 0) << "reserved byte " << i;
    EXPECT_EQ(GetI32(&bytes[128]), 1);
    EXPECT_EQ(GetI32(&bytes[132]), static_cast<int32_t>(bytes.size()));
    EXPECT_TRUE(std::equal(page.begin(), page.end(), bytes.begin() + 136));
    EXPECT_EQ(GetI32(&bytes[bytes.size() - 4]), 128);
}

TEST(PageList, SplayCodedRecordHoldsTheCountAndTheCode) {
    TTempDir tmp;
    const auto bytes = MakeFile(tmp.File("z.qrp"), 2, true);
    EXPECT_EQ(bytes[25], 1);
    const auto page = PageBytes(1);
    const auto code = SplayEncode(page);
    EXPECT_EQ(GetI32(&bytes[136]), static_cast<int32_t>(page.size()));
    EXPECT_TRUE(std::equal(code.begin(), code.end(), bytes.begin() + 140));
    EXPECT_EQ(GetI32(&bytes[132]), static_cast<int32_t>(140 + code.size() + 4));
}

TEST(PageList, EmptyRecordingSavesAsAHeaderWithCountZero) {
    TTempDir tmp;
    const auto bytes = MakeFile(tmp.File("empty.qrp"), 0, false);
    ASSERT_EQ(bytes.size(), 128u);
    EXPECT_EQ(GetI32(&bytes[8]), 0);
    TQRPageList list;
    list.OpenFile(tmp.File("empty.qrp"));
    EXPECT_EQ(list.NumPages(), 0);
    EXPECT_EQ(list.FetchPage(1), nullptr);
}

TEST(PageList, UnclosedRecordingKeepsCountOneInItsHeader) {
    TTempDir tmp;
    TQRPageList list;
    Record(list, 3, false, 100000, false);
    EXPECT_EQ(list.NumPages(), 3);
    list.CopyToFile(tmp.File("aborted.qrp"));
    EXPECT_EQ(GetI32(&FileBytes(tmp.File("aborted.qrp"))[8]), 1);
}

TEST(PageList, FetchInAnyOrderReturnsTheStoredPictures) {
    TTempDir tmp;
    for (const bool compressed : {false, true}) {
        for (const bool fromFile : {false, true}) {
            TQRPageList list;
            Record(list, 40, compressed, 2000); // a small limit: the recording spills early
            if (fromFile) {
                list.CopyToFile(tmp.File("pages.qrp"));
                list.SetCompressed(!compressed); // the file's flag decides
                list.OpenFile(tmp.File("pages.qrp"));
                EXPECT_EQ(list.Compressed(), compressed);
            }
            ASSERT_EQ(list.NumPages(), 40);
            for (int n : {40, 1, 20, 21, 19, 39, 2, 40, 33, 7, 1, 40}) {
                auto picture = list.FetchPage(n);
                ASSERT_TRUE(picture) << n;
                EXPECT_EQ(picture->Bytes(), PageBytes(n)) << "page " << n;
            }
            for (int n = 40; n >= 1; --n)
                EXPECT_EQ(list.FetchPage(n)->Bytes(), PageBytes(n));
            EXPECT_EQ(list.FetchPage(41), nullptr);
        }
    }
}

TEST(PageList, FetchBetweenStoresDoesNotDisturbTheNextRecord) {
    for (const bool compressed : {false, true}) {
        TQRPageList list;
        list.SetPageStream(std::make_shared<TQRStream>(3000));
        list.SetCompressed(compressed);
        for (int i = 1; i <= 12; ++i) {
            list.StorePage(TSamplePageWriter::Picture(i, i % 7 + 1));
            EXPECT_EQ(list.FetchPage(1)->Bytes(), PageBytes(1));
            EXPECT_EQ(list.FetchPage(i)->Bytes(), PageBytes(i));
        }
        list.CloseRecording();
        for (int i = 1; i <= 12; ++i)
            EXPECT_EQ(list.FetchPage(i)->Bytes(), PageBytes(i));
    }
}

TEST(PageList, CompressedFileReadAsPlainIsNotAValidMetafile) {
    // A reader that does not follow the header's flag sees the byte count and code as an EMF.
    TTempDir tmp;
    MakeFile(tmp.File("z.qrp"), 2, true);
    auto bytes = FileBytes(tmp.File("z.qrp"));
    bytes[25] = 0;
    WriteFileBytes(tmp.File("flag-off.qrp"), bytes);
    TQRPageList list;
    list.OpenFile(tmp.File("flag-off.qrp"));
    EXPECT_FALSE(list.Compressed());
    ExpectMessage([&] { list.FetchPage(1); }, "Metafile is not valid");
}

TEST(PageList, FormatWordsAndReservedBytesAreNotCompared) {
    TTempDir tmp;
    auto bytes = MakeFile(tmp.File("a.qrp"), 3, false);
    bytes[0] = 9;
    bytes[3] = 7;
    bytes[5] = 0xEE;
    bytes[100] = 0xEE;
    WriteFileBytes(tmp.File("b.qrp"), bytes);
    TQRPageList list;
    list.OpenFile(tmp.File("b.qrp"));
    EXPECT_EQ(list.NumPages(), 3);
    EXPECT_EQ(list.Header().FormatWord1, 9);
    EXPECT_EQ(list.FetchPage(3)->Bytes(), PageBytes(3));
}

TEST(PageList, SavingOverTheFileBeingViewedKeepsBothIntact) {
    TTempDir tmp;
    const std::string name = tmp.File("shown.qrp");
    MakeFile(name, 5, false);
    TQRPageList viewer;
    viewer.OpenFile(name);
    EXPECT_EQ(viewer.FetchPage(2)->Bytes(), PageBytes(2));

    TQRPageList recording;
    Record(recording, 3, true);
    recording.CopyToFile(name);
    EXPECT_EQ(FileBytes(name).size(), static_cast<size_t>(recording.PageStream()->Size()));
    for (int n = 5; n >= 1; --n)
        EXPECT_EQ(viewer.FetchPage(n)->Bytes(), PageBytes(n)) << n;
    viewer.CopyToFile(name); // and the viewer saves its own pages back over it
    TQRPageList again;
    again.OpenFile(name);
    EXPECT_EQ(again.NumPages(), 5);
    EXPECT_EQ(again.FetchPage(4)->Bytes(), PageBytes(4));
    EXPECT_EQ(tmp.Count(), 1u) << "no temporary file stays behind";
}

TEST(PageList, FailedSaveLeavesTheOldFileAndRaisesTheCreateError) {
    TTempDir tmp;
    TQRPageList list;
    Record(list, 2, false);
    const std::string missingDir = tmp.File("no/such/dir/x.qrp");
    ExpectMessage([&] { list.CopyToFile(missingDir); }, "Cannot create file " + missingDir);

    const std::string name = tmp.File("old.qrp");
    const auto old = MakeFile(name, 1, false);
    ::chmod(tmp.Path().c_str(), 0500); // the directory refuses new files
    if (::access(tmp.Path().c_str(), W_OK) != 0) {
        ExpectMessage([&] { list.CopyToFile(name); }, "Cannot create file " + name);
        EXPECT_EQ(FileBytes(name), old);
    }
    ::chmod(tmp.Path().c_str(), 0700);
}

TEST(PageList, SavedFileKeepsThePermissionsOfTheFileItReplaces) {
    TTempDir tmp;
    const std::string name = tmp.File("perm.qrp");
    MakeFile(name, 1, false);
    ::chmod(name.c_str(), 0640);
    TQRPageList list;
    Record(list, 2, false);
    list.CopyToFile(name);
    struct stat st {};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(PageList, OpeningAMissingFileRaisesTheOpenErrorAndHoldsNoStream) {
    TTempDir tmp;
    TQRPageList list;
    Record(list, 2, false);
    const std::string name = tmp.File("missing.qrp");
    ExpectMessage([&] { list.OpenFile(name); }, "Cannot open file " + name);
    EXPECT_EQ(list.PageStream(), nullptr);
    EXPECT_EQ(list.NumPages(), 0);
    EXPECT_EQ(list.FetchPage(1), nullptr);
}

TEST(PageList, ResetPagesForgetsThePagesButNotTheStream) {
    TQRPageList list;
    Record(list, 4, false);
    const auto stream = list.PageStream();
    const auto size = stream->Size();
    list.ResetPages();
    EXPECT_EQ(list.NumPages(), 0);
    EXPECT_EQ(list.FetchPage(1), nullptr);
    EXPECT_EQ(list.PageStream(), stream);
    EXPECT_EQ(stream->Size(), size);
}

TEST(PageList, StreamIsLeftAtTheRecordAfterTheFetchedPage) {
    TQRPageList list;
    Record(list, 3, false);
    const auto third = list.PageRecord(3);
    list.FetchPage(2);
    EXPECT_EQ(list.PageStream()->Position(), third.Start);
    list.FetchPage(3);
    EXPECT_EQ(list.PageStream()->Position(), list.PageStream()->Size());
}
