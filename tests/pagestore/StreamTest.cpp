#include "pagestore/Stream.h"
#include "platform/system/Errors.h"
#include "platform/system/LocalTime.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

using namespace pagimo;
using namespace pagimo::pagestore;
using pagimo::test::TTempDir;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 7) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 9));
    return v;
}

std::vector<uint8_t> ReadAll(TStream& s) {
    std::vector<uint8_t> out(static_cast<size_t>(s.Size()));
    s.SetPosition(0);
    s.ReadBuffer(out.data(), out.size());
    return out;
}

class TVectorStream : public TStream {
public:
    std::vector<uint8_t> Data;
    std::vector<size_t> Writes;
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* b, size_t n) override {
        const auto* p = static_cast<const uint8_t*>(b);
        Data.insert(Data.end(), p, p + n);
        Writes.push_back(n);
        return n;
    }
    int64_t Seek(int64_t o, TSeekOrigin origin) override {
        return origin == soEnd ? static_cast<int64_t>(Data.size()) + o : o;
    }
};

} // namespace

TEST(QRStream, StaysInMemoryAtTheLimitAndSpillsOneByteLater) {
    TTempDir tmp;
    TQRStream s(100000);
    const auto data = Pattern(100001);
    s.WriteBuffer(data.data(), 100000);
    EXPECT_TRUE(s.Buffered());
    EXPECT_EQ(tmp.Count(), 0u);
    s.WriteBuffer(data.data() + 100000, 1);
    EXPECT_FALSE(s.Buffered());
    EXPECT_EQ(s.Position(), 100001);
    EXPECT_EQ(tmp.Count(), 1u);
    const auto name = std::filesystem::path(s.SpillFileName()).filename().string();
    EXPECT_TRUE(name.starts_with("QRP")) << name;
    EXPECT_EQ(std::filesystem::path(s.SpillFileName()).parent_path(), tmp.Path());
    EXPECT_EQ(ReadAll(s), data);
}

TEST(QRStream, ReadsSeeksAndRewritesAlikeBeforeAndAfterTheSpill) {
    TTempDir tmp;
    for (const int32_t limit : {1 << 30, 1000}) {
        TQRStream s(limit);
        auto data = Pattern(3000);
        s.WriteBuffer(data.data(), data.size());
        EXPECT_EQ(s.Buffered(), limit > 3000);
        // Patch a field in the middle, as the page list does with next-record offsets.
        const uint8_t patch[4] = {1, 2, 3, 4};
        EXPECT_EQ(s.Seek(1500, soBeginning), 1500);
        s.WriteBuffer(patch, 4);
        std::copy(patch, patch + 4, data.begin() + 1500);
        EXPECT_EQ(s.Position(), 1504);
        EXPECT_EQ(s.Seek(-4, soCurrent), 1500);
        uint8_t back[4];
        s.ReadBuffer(back, 4);
        EXPECT_EQ(std::vector<uint8_t>(back, back + 4), std::vector<uint8_t>(patch, patch + 4));
        EXPECT_EQ(s.Seek(-10, soEnd), 2990);
        uint8_t tail[20];
        EXPECT_EQ(s.Read(tail, sizeof tail), 10u) << "short count at the end";
        EXPECT_EQ(s.Read(tail, sizeof tail), 0u);
        EXPECT_EQ(s.Size(), 3000);
        EXPECT_EQ(ReadAll(s), data);
        EXPECT_THROW(s.Seek(-1, soBeginning), EQRError);
    }
}

TEST(QRStream, SpillWriteKeepsThePositionForTheNextWrite) {
    TTempDir tmp;
    TQRStream s(10);
    const auto data = Pattern(64);
    s.WriteBuffer(data.data(), 8);
    s.WriteBuffer(data.data() + 8, 8); // spills here
    s.WriteBuffer(data.data() + 16, 48);
    EXPECT_EQ(ReadAll(s), data);
}

TEST(QRStream, DestroyRemovesTheTemporaryFileButNeverAnOpenedFile) {
    TTempDir tmp;
    std::string spilled;
    {
        TQRStream s(4);
        const auto data = Pattern(16);
        s.WriteBuffer(data.data(), data.size());
        spilled = s.SpillFileName();
        EXPECT_TRUE(std::filesystem::exists(spilled));
    }
    EXPECT_FALSE(std::filesystem::exists(spilled));

    const std::string kept = tmp.File("kept.qrp");
    std::ofstream(kept) << "some bytes";
    {
        auto s = TQRStream::CreateForFile(kept);
        EXPECT_FALSE(s->Buffered());
        EXPECT_EQ(s->SpillLimit(), 0);
        EXPECT_TRUE(s->SpillFileName().empty());
        EXPECT_EQ(s->Size(), 10);
    }
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_EQ(tmp.Count(), 1u);
}

TEST(QRStream, OpensAFileThatAnotherProgramHasOpenForWriting) {
    TTempDir tmp;
    const std::string name = tmp.File("busy.qrp");
    const int writer = ::open(name.c_str(), O_CREAT | O_RDWR, 0644);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "abcd", 4), 4);
    auto s = TQRStream::CreateForFile(name);
    EXPECT_EQ(s->Size(), 4);
    ::close(writer);
}

TEST(QRStream, OpeningAMissingFileRaisesTheOpenError) {
    TTempDir tmp;
    const std::string name = tmp.File("missing.qrp");
    try {
        TQRStream::CreateForFile(name);
        FAIL() << "opened a missing file";
    } catch (const EQRError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + name);
    }
}

TEST(QRStream, FailedSpillKeepsTheDataInMemoryAndTriesAgain) {
    TTempDir tmp;
    ::setenv("TMPDIR", tmp.File("no-such-dir").c_str(), 1);
    TQRStream s(8);
    const auto data = Pattern(32);
    EXPECT_THROW(s.WriteBuffer(data.data(), 16), EQRError);
    EXPECT_TRUE(s.Buffered());
    std::filesystem::create_directory(tmp.File("no-such-dir"));
    s.SetPosition(16);
    s.WriteBuffer(data.data() + 16, 16);
    EXPECT_FALSE(s.Buffered());
    EXPECT_EQ(ReadAll(s), data);
}

TEST(QRStream, CopyAllToUsesFixedBlocksAndLeavesTheStreamAtItsEnd) {
    TQRStream empty(100);
    TVectorStream none;
    empty.CopyAllTo(none);
    EXPECT_TRUE(none.Writes.empty());
    EXPECT_EQ(empty.Position(), 0);

    TTempDir tmp;
    TQRStream s(1000);
    const auto data = Pattern(25000);
    s.WriteBuffer(data.data(), data.size());
    s.SetPosition(77);
    TVectorStream out;
    s.CopyAllTo(out);
    EXPECT_EQ(out.Data, data);
    EXPECT_EQ(out.Writes, (std::vector<size_t>{10240, 10240, 4520}));
    EXPECT_EQ(s.Position(), 25000);
}

TEST(QRStream, LockIsReentrantAndSerialisesOtherThreads) {
    TQRStream s(1 << 20);
    s.Acquire();
    s.Acquire();
    const uint8_t b = 1;
    s.WriteBuffer(&b, 1); // takes the lock again inside
    bool written = false;
    std::thread other([&] {
        s.WriteBuffer(&b, 1);
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(written);
    s.Release();
    s.Release();
    other.join();
    EXPECT_EQ(s.Size(), 2);
}

TEST(LocalTime, DayCountsFormatAsIsoLocalTime) {
    EXPECT_EQ(DaysToIso(0.0), "1899-12-30T00:00:00");
    EXPECT_EQ(DaysToIso(2.75), "1900-01-01T18:00:00");
    EXPECT_EQ(DaysToIso(46364.5), "2026-12-08T12:00:00");
    EXPECT_EQ(DaysToIso(1.0 - 1e-10), "1899-12-31T00:00:00") << "rounding up to midnight moves the day";
    EXPECT_EQ(DaysToIso(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(DaysToIso(1e300), "");
    const double now = NowAsDays();
    EXPECT_GT(now, 45000.0);
    EXPECT_LT(now, 80000.0);
}
