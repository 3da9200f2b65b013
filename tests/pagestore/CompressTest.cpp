#include "pagestore/Compress.h"
#include "pagestore/Stream.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <random>

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
