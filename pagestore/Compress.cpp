#include "pagestore/Compress.h"

#include "platform/system/Errors.h"

#include <algorithm>
#include <cstring>

namespace pagimo::pagestore {

namespace {

[[noreturn]] void DamagedCode() { throw EQRError("Metafile is not valid"); }

inline void StoreLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint64_t LoadLE64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

} // namespace

void TSplayTree::Reset() {
    for (unsigned i = 1; i <= 512; ++i) Up[i] = static_cast<uint8_t>((i - 1) / 2);
    Up[0] = 0;
    for (unsigned j = 0; j < 256; ++j) {
        Child[2 * j] = static_cast<uint16_t>(2 * j + 1);
        Child[2 * j + 1] = static_cast<uint16_t>(2 * j + 2);
    }
}

void TSplayEncoder::Grow() {
    const size_t capacity = std::max<size_t>(4096, FCapacity * 2);
    auto bigger = std::make_unique<uint8_t[]>(capacity);
    if (FUsed) std::memcpy(bigger.get(), FOut.get(), FUsed);
    FOut = std::move(bigger);
    FCapacity = capacity;
}

// The code of a byte is found by walking up from its leaf, and the semi-splay walks up the same path,
// reading the same child links before it changes them; so one walk does both. The bits come out leaf
// edge first; shifting each into the bottom of the code word leaves the root edge, which goes out
// first, in bit 0. A code can be up to 256 bits long, so full words are set aside (deepest first).
void TSplayEncoder::Encode(std::span<const uint8_t> data) {
    uint16_t* const child = FTree.Child;
    uint8_t* const up = FTree.Up;
    uint64_t bits = FBits;
    unsigned count = FCount;
    for (const uint8_t byte : data) {
        if (FCapacity - FUsed < 40) Grow();
        unsigned c = 256u + byte;
        uint64_t code = 0;
        unsigned length = 0;
        uint64_t words[8];
        unsigned wordLengths[8];
        unsigned wordCount = 0;
        for (;;) {
            const unsigned a = up[c];
            const unsigned sideC = child[2 * a] != c;
            code = code << 1 | sideC;
            ++length;
            if (a == 0) break;
            const unsigned d = up[a];
            const unsigned sideA = child[2 * d] != a;
            code = code << 1 | sideA;
            ++length;
            const unsigned b = child[2 * d + (sideA ^ 1)];
            child[2 * d + (sideA ^ 1)] = static_cast<uint16_t>(c);
            child[2 * a + sideC] = static_cast<uint16_t>(b);
            up[c] = static_cast<uint8_t>(d);
            up[b] = static_cast<uint8_t>(a);
            c = d;
            if (c == 0) break;
            if (length >= 62) [[unlikely]] {
                words[wordCount] = code;
                wordLengths[wordCount++] = length;
                code = 0;
                length = 0;
            }
        }
        uint8_t* out = FOut.get();
        auto put = [&](uint64_t v, unsigned n) { // n <= 32, v < 2^n
            bits |= v << count;
            count += n;
            if (count >= 32) {
                StoreLE32(out + FUsed, static_cast<uint32_t>(bits));
                FUsed += 4;
                bits >>= 32;
                count -= 32;
            }
        };
        if (wordCount == 0 && length <= 32) [[likely]] {
            put(code, length);
        } else {
            auto putWord = [&](uint64_t v, unsigned n) {
                for (; n > 32; n -= 32, v >>= 32) put(v & 0xFFFFFFFFu, 32);
                put(v, n);
            };
            putWord(code, length);
            while (wordCount > 0) {
                --wordCount;
                putWord(words[wordCount], wordLengths[wordCount]);
            }
        }
    }
    FBits = bits;
    FCount = count;
}

void TSplayEncoder::Finish() {
    if (FCapacity - FUsed < 8) Grow();
    for (; FCount > 0; FCount = FCount >= 8 ? FCount - 8 : 0) {
        FOut[FUsed++] = static_cast<uint8_t>(FBits);
        FBits >>= 8;
    }
    FBits = 0;
}

// Decoding walks down one child link per bit and notes the path; the semi-splay then runs over the
// noted path, which already says on which side each node hangs, so no parent links are needed.
void TSplayDecoder::Decode(uint8_t* out, size_t count) {
    uint16_t* const child = FTree.Child;
    uint16_t pathNode[260];
    uint8_t pathBit[260];
    pathNode[0] = 0;
    uint64_t bits = FBits;
    unsigned avail = FAvail;
    size_t next = FNext;
    const uint8_t* code = FCode.data();
    size_t size = FCode.size();

    auto refill = [&] {
        if (next + 8 <= size) {
            // The bits above the new count are the following code bytes, so OR-ing them in again
            // later changes nothing.
            bits |= LoadLE64(code + next) << avail;
            const unsigned take = (63 - avail) >> 3;
            next += take;
            avail += take * 8;
        } else {
            while (avail <= 56 && next < size) {
                bits |= static_cast<uint64_t>(code[next++]) << avail;
                avail += 8;
            }
        }
    };
    auto save = [&] {
        FBits = bits;
        FAvail = avail;
        FNext = next;
    };

    for (size_t i = 0; i < count; ++i) {
        if (avail < 32) refill();
        unsigned node = 0;
        unsigned depth = 0;
        do {
            if (avail == 0) [[unlikely]] {
                refill();
                if (avail == 0) {
                    if (FSource) {
                        save();
                        FCode = FSource->More();
                        code = FCode.data();
                        size = FCode.size();
                        refill();
                    }
                    if (avail == 0) {
                        save();
                        DamagedCode();
                    }
                }
            }
            const unsigned bit = static_cast<unsigned>(bits) & 1;
            bits >>= 1;
            --avail;
            pathBit[depth] = static_cast<uint8_t>(bit);
            node = child[2 * node + bit];
            pathNode[++depth] = static_cast<uint16_t>(node);
        } while (node < 256);
        if (node == 512) [[unlikely]] {
            save();
            DamagedCode();
        }
        out[i] = static_cast<uint8_t>(node - 256);
        for (unsigned k = depth; k >= 2; k -= 2) {
            const unsigned c = pathNode[k], a = pathNode[k - 1], d = pathNode[k - 2];
            const unsigned uncleSlot = 2 * d + (pathBit[k - 2] ^ 1u);
            const unsigned b = child[uncleSlot];
            child[uncleSlot] = static_cast<uint16_t>(c);
            child[2 * a + pathBit[k - 1]] = static_cast<uint16_t>(b);
        }
    }
    save();
}

std::vector<uint8_t> SplayEncode(std::span<const uint8_t> data) {
    TSplayEncoder encoder;
    encoder.Encode(data);
    encoder.Finish();
    const auto out = encoder.Output();
    return {out.begin(), out.end()};
}

size_t SplayDecode(std::span<const uint8_t> code, uint8_t* out, size_t count) {
    TSplayDecoder decoder(code);
    decoder.Decode(out, count);
    return decoder.BytesConsumed();
}

TQRCompress::TQRCompress(TStream& stream, TQRCompressMode mode) : FStream(stream), FMode(mode) {
    if (mode == cmEncode) {
        FEncoder = std::make_unique<TSplayEncoder>();
    } else {
        FCodeStart = stream.Position();
        FDecoder = std::make_unique<TSplayDecoder>(std::span<const uint8_t>(), static_cast<TSplayCodeSource*>(this));
    }
}

TQRCompress::~TQRCompress() {
    if (FFinished) return;
    try {
        Finish();
    } catch (const std::exception&) {
        // Destruction cannot report; callers that need to know call Finish.
    }
}

void TQRCompress::WriteOutput() {
    const auto out = FEncoder->Output();
    FStream.WriteBuffer(out.data(), out.size());
    FEncoder->ClearOutput();
}

void TQRCompress::Encode(std::span<const uint8_t> data) {
    FEncoder->Encode(data);
    if (FEncoder->Output().size() >= ChunkSize) WriteOutput();
}

void TQRCompress::EncodeByte(uint8_t c) { Encode({&c, 1}); }

std::span<const uint8_t> TQRCompress::More() {
    const size_t have = FCode.size();
    FCode.resize(have + ChunkSize);
    FStream.SetPosition(FCodeStart + static_cast<int64_t>(have));
    FCode.resize(have + FStream.Read(FCode.data() + have, ChunkSize));
    return FCode;
}

void TQRCompress::Decode(uint8_t* out, size_t count) { FDecoder->Decode(out, count); }

uint8_t TQRCompress::DecodeByte() { return FDecoder->DecodeByte(); }

void TQRCompress::Finish() {
    FFinished = true;
    if (FMode == cmEncode) {
        FEncoder->Finish();
        WriteOutput();
    } else {
        FStream.SetPosition(FCodeStart + static_cast<int64_t>(FDecoder->BytesConsumed()));
    }
}

} // namespace pagimo::pagestore
