#include "pagestore/Compress.h"

#include "platform/system/Errors.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pagimo::pagestore {

namespace {

[[noreturn]] void DamagedCode() {
    throw EQRError("Metafile is not valid");
}

// One unaligned 8-byte access each (the byte loops these replace did not always compile to one).
inline void StoreLE64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

inline uint64_t LoadLE64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// Both Home entries of node m in one store (they are equal, so byte order does not matter).
inline void SetHome(uint16_t* home, unsigned m, unsigned slot) {
    const uint32_t pair = slot | slot << 16;
    std::memcpy(home + 2 * m, &pair, 4);
}

// The semi-splay step of the encoder: C (hanging in slotC of its parent A, which hangs in slotA of the
// grandparent D) takes the place of its uncle B under D; B takes C's place under A.
inline void SwapWithUncle(uint16_t* child, uint16_t* home, unsigned c, unsigned slotC, unsigned slotA) {
    const unsigned uncleSlot = slotA ^ 1;
    const unsigned b = child[uncleSlot];
    child[uncleSlot] = static_cast<uint16_t>(c);
    child[slotC] = static_cast<uint16_t>(b);
    SetHome(home, c, uncleSlot);
    SetHome(home, b, slotC);
}

// Levels the unrolled walks cover. A code longer than that (rare but possible: up to 256 bits) goes on
// in a loop. Unrolled, every level has its own exit test, taken once per byte, and the code length is
// known at each exit from where the walk left, not computed from loaded data; so the next byte's walk
// can start as soon as that exit is predicted, and the semi-splay after it is straight-line code.
constexpr unsigned FastLevels = 24;

// The encoder's climb from leaf c (hanging in slot slotC) towards the root, splaying on the way. Returns
// the code length once the root is reached within Levels levels, with the code in code (root edge in
// bit 0); returns 0 after Levels levels, with c, slotC and code saying where the climb goes on.
template <unsigned Gathered, unsigned Levels>
[[gnu::always_inline]] inline unsigned Climb(uint16_t* child, uint16_t* home, unsigned& c, unsigned& slotC,
                                              uint64_t& code) {
    if constexpr (Gathered >= Levels) {
        return 0;
    } else {
        code = code << 1 | (slotC & 1);
        if (slotC < 2) return Gathered + 1; // C's parent A is the root
        const unsigned slotA = home[slotC];
        code = code << 1 | (slotA & 1);
        SwapWithUncle(child, home, c, slotC, slotA);
        if (slotA < 2) return Gathered + 2; // D is the root: C has reached it
        c = slotA >> 1;
        slotC = home[slotA];
        return Climb<Gathered + 2, Levels>(child, home, c, slotC, code);
    }
}

// The decoder's semi-splay after a code of Depth bits: path[k] is the slot taken from the node at depth
// k, c the leaf. Slot pairs are 16-byte aligned, so the node that owns slot s is s & ~15 and the other
// slot of the same node is s ^ 8.
template <unsigned Depth>
[[gnu::always_inline]] inline void SplayPath(const uintptr_t* path, uintptr_t c) {
    if constexpr (Depth >= 2) {
        uintptr_t* const uncleSlot = reinterpret_cast<uintptr_t*>(path[Depth - 2] ^ sizeof(uintptr_t));
        const uintptr_t b = *uncleSlot;
        *uncleSlot = c;
        *reinterpret_cast<uintptr_t*>(path[Depth - 1]) = b;
        SplayPath<Depth - 2>(path, path[Depth - 2] & ~(2 * sizeof(uintptr_t) - 1));
    }
}

// The same for a depth known only at run time.
inline void SplayPath(const uintptr_t* path, unsigned depth, uintptr_t c) {
    for (unsigned k = depth; k >= 2; k -= 2) {
        uintptr_t* const uncleSlot = reinterpret_cast<uintptr_t*>(path[k - 2] ^ sizeof(uintptr_t));
        const uintptr_t b = *uncleSlot;
        *uncleSlot = c;
        *reinterpret_cast<uintptr_t*>(path[k - 1]) = b;
        c = path[k - 2] & ~(2 * sizeof(uintptr_t) - 1);
    }
}

// The decoder's walk down from node (at depth Level) by the bits of code (the bit for depth k in bit k),
// noting the slots taken in path. Returns the leaf's depth, with the leaf in leaf and the tree already
// splayed, or 0 when no leaf lies within Levels levels (the tree untouched).
template <unsigned Level, unsigned Levels>
[[gnu::always_inline]] inline unsigned WalkDown(uintptr_t node, uint64_t code, uintptr_t* path, uintptr_t firstLeaf,
                                                uintptr_t& leaf) {
    if constexpr (Level >= Levels) {
        return 0;
    } else {
        const uintptr_t slot = node + ((code >> Level) & 1) * sizeof(uintptr_t);
        path[Level] = slot;
        node = *reinterpret_cast<const uintptr_t*>(slot);
        if (node >= firstLeaf) {
            leaf = node;
            SplayPath<Level + 1>(path, node);
            return Level + 1;
        }
        return WalkDown<Level + 1, Levels>(node, code, path, firstLeaf, leaf);
    }
}

} // namespace

void TSplayTree::Reset() {
    for (unsigned i = 0; i < 512; ++i)
        Child[i] = static_cast<uint16_t>(i + 1);
    Home[0] = Home[1] = 0; // the root hangs nowhere; never read
    for (unsigned m = 1; m <= 512; ++m)
        Home[2 * m] = Home[2 * m + 1] = static_cast<uint16_t>(m - 1);
}

void TSplayEncoder::Grow() {
    const size_t capacity = std::max<size_t>(4096, FCapacity * 2);
    auto bigger = std::make_unique<uint8_t[]>(capacity);
    if (FUsed) std::memcpy(bigger.get(), FOut.get(), FUsed);
    FOut = std::move(bigger);
    FCapacity = capacity;
}

// The code of a byte is found by walking up from its leaf, and the semi-splay walks up the same path,
// reading the same links before it changes them; so one walk does both. The bits come out leaf edge
// first; shifting each into the bottom of the code word leaves the root edge, which goes out first,
// in bit 0. A code can be up to 256 bits long, so beyond the unrolled climb full words are set aside
// (deepest first).
void TSplayEncoder::Encode(std::span<const uint8_t> data) {
    uint16_t* const child = FTree.Child;
    uint16_t* const home = FTree.Home;
    // Kept in locals: the output stores are byte stores, which the compiler must assume alias members.
    uint64_t bits = FBits;
    unsigned count = FCount;
    uint8_t* out = FOut.get();
    size_t used = FUsed;
    size_t room = FCapacity;
    // Branch-free bit output: the whole accumulator is stored every time and only the complete bytes
    // are kept, so no test decides when a byte is full. Needs n <= 32, v < 2^n.
    auto put = [&](uint64_t v, unsigned n) {
        bits |= v << count;
        count += n;
        StoreLE64(out + used, bits);
        used += count >> 3;
        bits >>= count & ~7u;
        count &= 7;
    };
    for (const uint8_t byte : data) {
        if (room - used < 48) [[unlikely]] {
            FUsed = used;
            Grow();
            out = FOut.get();
            room = FCapacity;
        }
        unsigned c = 256u + byte;
        unsigned slotC = home[2 * c];
        uint64_t code = 0;
        const unsigned length = Climb<0, FastLevels>(child, home, c, slotC, code);
        if (length != 0) [[likely]] {
            put(code, length);
            continue;
        }
        // A code longer than the unrolled climb: FastLevels bits gathered so far, the rest in words.
        uint64_t words[8];
        unsigned wordLengths[8];
        unsigned wordCount = 0;
        unsigned gathered = FastLevels;
        for (;;) {
            if (gathered >= 62) {
                words[wordCount] = code;
                wordLengths[wordCount++] = gathered;
                code = 0;
                gathered = 0;
            }
            code = code << 1 | (slotC & 1);
            ++gathered;
            if (slotC < 2) break;
            const unsigned slotA = home[slotC];
            code = code << 1 | (slotA & 1);
            ++gathered;
            SwapWithUncle(child, home, c, slotC, slotA);
            if (slotA < 2) break;
            c = slotA >> 1;
            slotC = home[slotA];
        }
        auto putWord = [&](uint64_t v, unsigned n) {
            for (; n > 32; n -= 32, v >>= 32)
                put(v & 0xFFFFFFFFu, 32);
            put(v, n);
        };
        putWord(code, gathered);
        while (wordCount > 0) {
            --wordCount;
            putWord(words[wordCount], wordLengths[wordCount]);
        }
    }
    FBits = bits;
    FCount = count;
    FUsed = used;
}

void TSplayEncoder::Finish() {
    if (FCapacity - FUsed < 8) Grow();
    // Fewer than 8 bits are pending between calls.
    for (; FCount > 0; FCount = FCount >= 8 ? FCount - 8 : 0) {
        FOut[FUsed++] = static_cast<uint8_t>(FBits);
        FBits >>= 8;
    }
    FBits = 0;
}

// Decoding walks down one child link per bit and notes the slot taken at each level; the semi-splay
// then runs over the noted path, which already says on which side each node hangs, so no parent links
// are needed.
TSplayDecoder::TSplayDecoder(std::span<const uint8_t> code, TSplayCodeSource* source) : FCode(code), FSource(source) {
    const TSplayTree initial;
    for (unsigned i = 0; i < 512; ++i)
        FLinks[i] = reinterpret_cast<uintptr_t>(FLinks + 2 * initial.Child[i]);
    std::fill(FLinks + 512, FLinks + 1026, uintptr_t{0});
}

void TSplayDecoder::Decode(uint8_t* out, size_t count) {
    using TSlot = const uintptr_t*;
    const uintptr_t root = reinterpret_cast<uintptr_t>(FLinks);
    const uintptr_t firstLeaf = reinterpret_cast<uintptr_t>(FLinks + 512);
    const uintptr_t neverCoded = reinterpret_cast<uintptr_t>(FLinks + 1024);
    // path[k] is the address of the slot taken from the node at depth k.
    uintptr_t path[260];
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
        if (avail < FastLevels) refill();
        uintptr_t leaf = 0;
        unsigned depth = 0;
        // With enough bits for any code the unrolled walk covers, no test for running dry inside it.
        if (avail >= FastLevels) [[likely]]
            depth = WalkDown<0, FastLevels>(root, bits, path, firstLeaf, leaf);
        if (depth != 0) [[likely]] {
            bits >>= depth;
            avail -= depth;
        } else {
            // A longer code, or the end of the code is near: bit by bit, asking for more when dry.
            uintptr_t node = root;
            while (node < firstLeaf) {
                if (avail == 0) {
                    refill();
                    if (avail == 0 && FSource) {
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
                const TSlot slot = reinterpret_cast<TSlot>(node) + (bits & 1);
                bits >>= 1;
                --avail;
                path[depth++] = reinterpret_cast<uintptr_t>(slot);
                node = *slot;
            }
            leaf = node;
            SplayPath(path, depth, leaf);
        }
        if (leaf == neverCoded) [[unlikely]] {
            save();
            DamagedCode();
        }
        out[i] = static_cast<uint8_t>((leaf - root) / (2 * sizeof(uintptr_t)));
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

void TQRCompress::EncodeByte(uint8_t c) {
    Encode({&c, 1});
}

std::span<const uint8_t> TQRCompress::More() {
    const size_t have = FCode.size();
    FCode.resize(have + ChunkSize);
    FStream.SetPosition(FCodeStart + static_cast<int64_t>(have));
    FCode.resize(have + FStream.Read(FCode.data() + have, ChunkSize));
    return FCode;
}

void TQRCompress::Decode(uint8_t* out, size_t count) {
    FDecoder->Decode(out, count);
}

uint8_t TQRCompress::DecodeByte() {
    return FDecoder->DecodeByte();
}

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
