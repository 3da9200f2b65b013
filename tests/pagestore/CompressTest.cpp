#include "pagestore/Compress.h"
#include "pagestore/Stream.h"
#include "platform/system/Errors.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

using namespace pagimo;
using namespace pagimo::pagestore;

namespace {

// The coder written out step by step, bit by bit, as a second opinion on the fast one.
class TReferenceCoder {
public:
    TReferenceCoder() {
        for (int i = 1; i <= 512; ++i)
            Up[i] = static_cast<uint8_t>((i - 1) / 2);
        for (int j = 0; j < 256; ++j) {
            Left[j] = static_cast<uint16_t>(2 * j + 1);
            Right[j] = static_cast<uint16_t>(2 * j + 2);
        }
    }
    void Encode(uint8_t c, std::vector<uint8_t>& out) {
        std::vector<int> bits;
        for (int node = 256 + c; node != 0; node = Up[node])
            bits.push_back(Right[Up[node]] == node ? 1 : 0);
        LastLength = bits.size();
        for (auto it = bits.rbegin(); it != bits.rend(); ++it) {
            if (*it) Output |= static_cast<uint16_t>(1 << BitPosition);
            if (BitPosition == 7) {
                out.push_back(static_cast<uint8_t>(Output));
                BitPosition = 0;
                Output = 0;
            } else {
                ++BitPosition;
            }
        }
        Splay(c);
    }
    void Finish(std::vector<uint8_t>& out) {
        if (BitPosition != 0) out.push_back(static_cast<uint8_t>(Output));
    }
    // What Finish would append now, without finishing.
    std::vector<uint8_t> Pending() const {
        if (BitPosition == 0) return {};
        return {static_cast<uint8_t>(Output)};
    }
    size_t LastLength = 0; // bits of the last byte's code
    size_t Depth(uint8_t c) const {
        size_t n = 0;
        for (int node = 256 + c; node != 0; node = Up[node])
            ++n;
        return n;
    }

private:
    void Splay(uint8_t byte) {
        int c = 256 + byte;
        for (;;) {
            const int a = Up[c];
            if (a == 0) return;
            const int d = Up[a];
            int b;
            if (Left[d] == a) {
                b = Right[d];
                Right[d] = static_cast<uint16_t>(c);
            } else {
                b = Left[d];
                Left[d] = static_cast<uint16_t>(c);
            }
            if (Left[a] == c) {
                Left[a] = static_cast<uint16_t>(b);
            } else {
                Right[a] = static_cast<uint16_t>(b);
            }
            Up[c] = static_cast<uint8_t>(d);
            Up[b] = static_cast<uint8_t>(a);
            c = d;
            if (c == 0) return;
        }
    }
    uint8_t Up[513] = {};
    uint16_t Left[256] = {}, Right[256] = {};
    int BitPosition = 0;
    uint16_t Output = 0;
};

std::vector<uint8_t> ReferenceEncode(const std::vector<uint8_t>& data) {
    TReferenceCoder coder;
    std::vector<uint8_t> out;
    for (auto c : data)
        coder.Encode(c, out);
    coder.Finish(out);
    return out;
}

// The code lengths that coding data goes through, by the reference coder.
std::set<size_t> CodeLengths(const std::vector<uint8_t>& data) {
    TReferenceCoder coder;
    std::vector<uint8_t> out;
    std::set<size_t> lengths;
    for (auto c : data) {
        coder.Encode(c, out);
        lengths.insert(coder.LastLength);
    }
    return lengths;
}

// Codes data, checks it against the reference and decodes it back from a copy with trailing bytes (the
// decoder must stop right behind the code).
void ExpectCodesLikeTheReference(const std::vector<uint8_t>& data, const std::string& what) {
    const auto code = SplayEncode(data);
    ASSERT_EQ(code, ReferenceEncode(data)) << what;
    auto padded = code;
    padded.insert(padded.end(), {0xAA, 0x55, 0xAA});
    std::vector<uint8_t> back(data.size());
    ASSERT_EQ(SplayDecode(padded, back.data(), back.size()), code.size()) << what;
    ASSERT_EQ(back, data) << what;
}

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// Data of several characters: skewed (long runs, few values), text-like, uniform.
std::vector<uint8_t> RandomData(std::mt19937& rng, size_t n, int kind) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t r = rng();
        if (kind == 0)
            v[i] = static_cast<uint8_t>(r % 4 == 0 ? r >> 24 : 0);
        else if (kind == 1)
            v[i] = static_cast<uint8_t>('a' + r % 26);
        else
            v[i] = static_cast<uint8_t>(r >> 24);
    }
    return v;
}

} // namespace

TEST(SplayCoder, MatchesTheKnownVectors) {
    EXPECT_EQ(SplayEncode(Bytes("abc")), (std::vector<uint8_t>{0x46, 0x3D, 0x01}));
    EXPECT_EQ(SplayEncode(Bytes("aaaa")), (std::vector<uint8_t>{0x46, 0x45}));
    EXPECT_TRUE(SplayEncode({}).empty()) << "no bytes, no code";
    EXPECT_EQ(SplayEncode(std::vector<uint8_t>{0}), (std::vector<uint8_t>{0x80})) << "seven 0 bits, then a 1";
    // Byte 255 starts 9 levels deep: 8 one-bits fill a byte, the ninth spills into a second one.
    EXPECT_EQ(SplayEncode(std::vector<uint8_t>{255}).size(), 2u);
}

TEST(SplayCoder, AgreesWithAStepByStepCoderOnEveryPrefix) {
    // The code of a prefix is the reference's complete bytes so far plus its partly filled byte, so one
    // reference run gives the expected code of every length.
    for (int kind = 0; kind < 3; ++kind) {
        std::mt19937 rng(100 + kind);
        const auto data = RandomData(rng, 4096, kind);
        TReferenceCoder reference;
        std::vector<uint8_t> expected;
        for (size_t n = 0; n <= data.size(); ++n) {
            if (n > 0) reference.Encode(data[n - 1], expected);
            const std::vector<uint8_t> prefix(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
            auto want = expected;
            for (auto b : reference.Pending())
                want.push_back(b);
            const auto code = SplayEncode(prefix);
            ASSERT_EQ(code, want) << "kind " << kind << ", length " << n;
            std::vector<uint8_t> back(n);
            ASSERT_EQ(SplayDecode(code, back.data(), n), code.size()) << "kind " << kind << ", length " << n;
            ASSERT_EQ(back, prefix) << "kind " << kind << ", length " << n;
        }
    }
}

TEST(SplayCoder, AgreesWithTheReferenceOnShortAndVeryLongCodes) {
    // Ascending runs (every byte value twice) drive leaves deep, to well over a hundred levels; after
    // three of them, whenever some byte's code has a length not met yet, that byte comes next. The coder
    // takes codes of up to a few dozen bits in straight-line code and longer ones in a loop, so every
    // length on both sides of that boundary must come out the same.
    std::vector<uint8_t> data;
    {
        TReferenceCoder coder;
        std::vector<uint8_t> sink;
        std::set<size_t> met;
        for (unsigned step = 0; data.size() < 20000; ++step) {
            int pick = -1;
            for (int c = 0; c < 256 && pick < 0 && step >= 1536; ++c) {
                const size_t d = coder.Depth(static_cast<uint8_t>(c));
                if (d <= 100 && !met.count(d)) pick = c;
            }
            const auto c = static_cast<uint8_t>(pick >= 0 ? pick : (step / 2) % 256);
            met.insert(coder.Depth(c));
            coder.Encode(c, sink);
            data.push_back(c);
        }
    }
    const auto lengths = CodeLengths(data);
    for (size_t n = 1; n <= 36; ++n)
        EXPECT_TRUE(lengths.count(n)) << "no code of " << n << " bits in the data";
    EXPECT_GT(*lengths.rbegin(), 128u);
    ExpectCodesLikeTheReference(data, "deep codes");
    // The same codes met with few bits left in the decoder's buffer: every shift of the data by a byte.
    for (size_t lead = 1; lead <= 9; ++lead) {
        std::vector<uint8_t> shifted(lead, 0);
        shifted.insert(shifted.end(), data.begin(), data.end());
        ExpectCodesLikeTheReference(shifted, "deep codes after " + std::to_string(lead) + " bytes");
    }
}

TEST(SplayCoder, AgreesWithTheReferenceOnTheRealCorpus) {
    const auto corpus = pagimo::test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "the shared corpus is absent";
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(corpus / "emf")) {
        auto ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return std::tolower(ch); });
        if (ext == ".emf") files.push_back(e.path());
    }
    ASSERT_FALSE(files.empty());
    std::sort(files.begin(), files.end());
    size_t total = 0;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // The start of each file is enough to meet its records; the biggest files would only add time.
        if (data.size() > (256u << 10)) data.resize(256u << 10);
        total += data.size();
        ExpectCodesLikeTheReference(data, f.string());
    }
    EXPECT_GT(total, 1u << 20);
}

TEST(SplayCoder, AgreesWithAStepByStepCoderAndRoundTripsEveryLength) {
    std::mt19937 rng(12345);
    for (size_t n = 0; n <= 3000; n += (n < 300 ? 1 : 37)) {
        const auto data = RandomData(rng, n, static_cast<int>(n % 3));
        const auto code = SplayEncode(data);
        ASSERT_EQ(code, ReferenceEncode(data)) << "length " << n;
        // Decode from a copy with trailing bytes: the decoder must stop right behind the code.
        auto padded = code;
        padded.insert(padded.end(), {0xAA, 0x55, 0xAA});
        std::vector<uint8_t> back(n);
        ASSERT_EQ(SplayDecode(padded, back.data(), n), code.size()) << "length " << n;
        ASSERT_EQ(back, data) << "length " << n;
    }
}

TEST(SplayCoder, HandlesCodesLongerThanAMachineWord) {
    // Every byte value twice in ascending order drives some leaves more than 150 levels deep.
    std::vector<uint8_t> data;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 512; ++i)
            data.push_back(static_cast<uint8_t>(i / 2));
    }
    const auto code = SplayEncode(data);
    EXPECT_EQ(code, ReferenceEncode(data));
    std::vector<uint8_t> back(data.size());
    EXPECT_EQ(SplayDecode(code, back.data(), back.size()), code.size());
    EXPECT_EQ(back, data);
}

TEST(SplayCoder, DecoderRefusesToReadPastTheCode) {
    std::mt19937 rng(7);
    const auto data = RandomData(rng, 500, 2);
    const auto code = SplayEncode(data);
    std::vector<uint8_t> back(data.size());
    for (size_t cut : {size_t(0), size_t(1), code.size() / 2, code.size() - 1}) {
        try {
            SplayDecode({code.data(), cut}, back.data(), back.size());
            ADD_FAILURE() << "decoded past a code cut at " << cut;
        } catch (const EQRError& e) {
            EXPECT_STREQ(e.what(), "Metafile is not valid");
        }
    }
}

TEST(SplayCoder, DecoderRefusesTheNeverCodedSymbol) {
    // From the initial tree, eight 0 bits and a 1 bit lead to leaf 512.
    const std::vector<uint8_t> code{0x00, 0x01};
    uint8_t out;
    EXPECT_THROW(SplayDecode(code, &out, 1), EQRError);
}

TEST(SplayCoder, StreamCoderWritesAtThePositionAndDecoderStopsBehindTheCode) {
    std::mt19937 rng(99);
    const auto data = RandomData(rng, 40000, 0);
    TQRStream s(1 << 30);
    const uint8_t lead[3] = {9, 9, 9};
    s.WriteBuffer(lead, 3);
    {
        TQRCompress coder(s, cmEncode);
        for (size_t i = 0; i < 100; ++i)
            coder.EncodeByte(data[i]);
        coder.Encode({data.data() + 100, data.size() - 100});
    } // destruction flushes the last, partly filled byte
    const auto code = SplayEncode(data);
    EXPECT_EQ(s.Size(), static_cast<int64_t>(3 + code.size()));
    s.WriteBuffer(lead, 3); // bytes after the code must not be taken for code

    s.SetPosition(3);
    std::vector<uint8_t> back(data.size());
    {
        TQRCompress decoder(s, cmDecode);
        back[0] = decoder.DecodeByte();
        decoder.Decode(back.data() + 1, back.size() - 1);
        decoder.Finish();
    }
    EXPECT_EQ(back, data);
    EXPECT_EQ(s.Position(), static_cast<int64_t>(3 + code.size()));
}

TEST(SplayCoder, EncodingNothingWritesNothing) {
    TQRStream s(100);
    { TQRCompress coder(s, cmEncode); }
    EXPECT_EQ(s.Size(), 0);
}
