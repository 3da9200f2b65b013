#pragma once
// TQRCompress: the adaptive semi-splaying prefix code of page bodies. Every byte value is a leaf of a
// code tree; a byte is coded as its path from the root, and after each byte both coder and decoder
// reshape the tree the same way, so frequent bytes get short codes and no table is stored. Every page
// is coded from the same initial tree. The output is fixed bit for bit: stored files depend on it.

#include "platform/system/Stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pagimo::pagestore {

// The code tree. Nodes 0 to 255 are inner nodes (0 is the root), leaf 256 + c stands for byte c and
// leaf 512 for a symbol that is never coded but shapes the tree. The child of node n by bit b is at
// Child[2n + b], its "slot". Home[2m] and Home[2m + 1] both hold the slot where node m hangs; so for
// any slot s, Home[s] is the slot of the node that owns s, and a walk from a leaf up to the root is one
// dependent load per level with the code bit in the low bit of each slot. Only coding walks up; the
// decoder keeps the same links in its own form (TSplayDecoder::FLinks).
struct TSplayTree {
    uint16_t Child[512];
    uint16_t Home[1026];

    TSplayTree() { Reset(); }
    void Reset(); // the initial tree: complete, in heap order
};

// Codes bytes into its own growing buffer. Bits fill each byte from the least significant bit up;
// Finish() appends the last, partly filled byte with its unfilled bits 0.
class TSplayEncoder {
public:
    void Encode(std::span<const uint8_t> data);
    void EncodeByte(uint8_t c) { Encode({&c, 1}); }
    void Finish();

    // The complete code bytes produced so far, and a way to hand them on and reuse the buffer.
    std::span<const uint8_t> Output() const { return {FOut.get(), FUsed}; }
    void ClearOutput() { FUsed = 0; }

private:
    void Grow();

    TSplayTree FTree;
    std::unique_ptr<uint8_t[]> FOut;
    size_t FUsed = 0;
    size_t FCapacity = 0;
    uint64_t FBits = 0;  // pending bits, the next to go out in bit 0
    unsigned FCount = 0; // number of pending bits, below 8 between calls
};

// Where a decoder gets more code when it runs dry: returns the whole code seen so far (the previous
// span extended); a span that did not grow means there is no more.
class TSplayCodeSource {
public:
    virtual ~TSplayCodeSource() = default;
    virtual std::span<const uint8_t> More() = 0;
};

// Decodes from a bounded code buffer and never reads past it: a code that needs a bit beyond its end,
// or that reaches the never-coded leaf 512 (only damaged data can), raises
// EQRError("Metafile is not valid").
class TSplayDecoder {
public:
    explicit TSplayDecoder(std::span<const uint8_t> code, TSplayCodeSource* source = nullptr);
    TSplayDecoder(const TSplayDecoder&) = delete; // the links point into the object itself
    TSplayDecoder& operator=(const TSplayDecoder&) = delete;
    void Decode(uint8_t* out, size_t count);
    uint8_t DecodeByte() {
        uint8_t c;
        Decode(&c, 1);
        return c;
    }
    // Code bytes used so far: every byte a bit was taken from, as a byte-wise reader reads them.
    size_t BytesConsumed() const { return (FNext * 8 - FAvail + 7) / 8; }

private:
    // The code tree as TSplayTree lays it out, but with each link the address of the child's first
    // slot, so a step down is one load (link + bit) with no arithmetic on the dependent path. Leaves
    // own no slots; their addresses lie behind the inner nodes' slots and are only compared.
    alignas(16) uintptr_t FLinks[1026];
    std::span<const uint8_t> FCode;
    TSplayCodeSource* FSource;
    size_t FNext = 0;    // next code byte to load into FBits
    uint64_t FBits = 0;  // loaded bits, next in bit 0; bits above FAvail repeat the following code bytes
    unsigned FAvail = 0; // valid bits in FBits
};

// Splay-codes data as one page body (without the byte count that the page list stores ahead of it).
std::vector<uint8_t> SplayEncode(std::span<const uint8_t> data);
// Decodes count bytes from code; returns the code bytes used. Raises as TSplayDecoder does.
size_t SplayDecode(std::span<const uint8_t> code, uint8_t* out, size_t count);

enum TQRCompressMode { cmEncode, cmDecode };

// The coder on a stream, for callers that code byte by byte. Encoding writes the code to the stream at
// its position; Finish (or destruction) writes the last, partly filled byte. Decoding reads code from
// the stream as it needs it; Finish (or destruction) leaves the stream right behind the bytes used.
class TQRCompress : private TSplayCodeSource {
public:
    TQRCompress(TStream& stream, TQRCompressMode mode);
    // Finishes when Finish was not called. Errors at that point cannot be reported, so callers that
    // must know of them call Finish themselves.
    ~TQRCompress() override;
    TQRCompress(const TQRCompress&) = delete;
    TQRCompress& operator=(const TQRCompress&) = delete;

    void EncodeByte(uint8_t c);
    void Encode(std::span<const uint8_t> data);
    uint8_t DecodeByte();
    void Decode(uint8_t* out, size_t count);
    void Finish();

private:
    std::span<const uint8_t> More() override;
    void WriteOutput();

    static constexpr size_t ChunkSize = 16384;

    TStream& FStream;
    TQRCompressMode FMode;
    bool FFinished = false;
    std::unique_ptr<TSplayEncoder> FEncoder;
    std::unique_ptr<TSplayDecoder> FDecoder;
    std::vector<uint8_t> FCode;
    int64_t FCodeStart = 0;
};

} // namespace pagimo::pagestore
