#pragma once
// Synthetic report pages: small valid enhanced metafiles (a header record, text lines, ruled lines,
// rectangles and the end record) as a report engine records them on an A4 sheet. They stand in for
// real recordings in the sample file, the tests and the benchmarks.

#include "platform/emf/EmfPicture.h"
#include "platform/emf/LittleEndian.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pagimo::tools {

class TSamplePageWriter {
public:
    // A page of lineCount text lines; the page number and seed vary the text and the positions.
    static std::vector<uint8_t> Page(int32_t pageNumber, int lineCount = 24, uint32_t seed = 1) {
        TSamplePageWriter w;
        w.Header();
        uint32_t state = seed * 2654435761u + static_cast<uint32_t>(pageNumber);
        auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return state >> 8;
        };
        w.Rectangle(38, 38, 756, 1085);
        for (int line = 0; line < lineCount; ++line) {
            const int32_t y = 60 + line * 40;
            std::string text = "Page " + std::to_string(pageNumber) + ", line " + std::to_string(line + 1) + ": item " +
                               std::to_string(next() % 100000) + " amount " + std::to_string(next() % 10000) + "." +
                               std::to_string(next() % 100);
            w.Text(60, y, text);
            w.Line(60, y + 32, 740, y + 32);
            if (line % 6 == 5) w.Rectangle(600, y, 740, y + 30);
        }
        w.EndOfFile();
        return w.Finish();
    }

    static emf::TEmfPicture Picture(int32_t pageNumber, int lineCount = 24, uint32_t seed = 1) {
        return emf::TEmfPicture(Page(pageNumber, lineCount, seed));
    }

private:
    std::vector<uint8_t> FBytes;
    uint32_t FRecords = 0;

    size_t Begin(uint32_t type, uint32_t size) {
        const size_t at = FBytes.size();
        FBytes.resize(at + size, 0);
        emf::PutU32(&FBytes[at], type);
        emf::PutU32(&FBytes[at + 4], size);
        ++FRecords;
        return at;
    }
    void Header() {
        const size_t at = Begin(1, 108);
        emf::PutI32(&FBytes[at + 16], 793); // bounds in device pixels
        emf::PutI32(&FBytes[at + 20], 1122);
        emf::PutI32(&FBytes[at + 32], 21000); // frame: A4 in 0.01 mm
        emf::PutI32(&FBytes[at + 36], 29700);
        emf::PutU32(&FBytes[at + 40], emf::EmfSignature);
        emf::PutU32(&FBytes[at + 44], 0x10000);
        emf::PutU16(&FBytes[at + 56], 1);
        emf::PutI32(&FBytes[at + 72], 1920); // reference device: a 96 pixels-per-inch screen
        emf::PutI32(&FBytes[at + 76], 1080);
        emf::PutI32(&FBytes[at + 80], 508);
        emf::PutI32(&FBytes[at + 84], 286);
    }
    void Rectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
        const size_t at = Begin(43, 24); // EMR_RECTANGLE
        emf::PutI32(&FBytes[at + 8], l);
        emf::PutI32(&FBytes[at + 12], t);
        emf::PutI32(&FBytes[at + 16], r);
        emf::PutI32(&FBytes[at + 20], b);
    }
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        size_t at = Begin(27, 16); // EMR_MOVETOEX
        emf::PutI32(&FBytes[at + 8], x1);
        emf::PutI32(&FBytes[at + 12], y1);
        at = Begin(54, 16); // EMR_LINETO
        emf::PutI32(&FBytes[at + 8], x2);
        emf::PutI32(&FBytes[at + 12], y2);
    }
    // EMR_EXTTEXTOUTW with UTF-16 text and an advance per character.
    void Text(int32_t x, int32_t y, const std::string& text) {
        const auto n = static_cast<uint32_t>(text.size());
        const uint32_t stringBytes = (n * 2 + 3) & ~3u;
        const uint32_t size = 76 + stringBytes + 4 * n;
        const size_t at = Begin(84, size);
        emf::PutI32(&FBytes[at + 8], x);
        emf::PutI32(&FBytes[at + 12], y);
        emf::PutI32(&FBytes[at + 16], x + static_cast<int32_t>(7 * n));
        emf::PutI32(&FBytes[at + 20], y + 16);
        emf::PutU32(&FBytes[at + 24], 1); // GM_COMPATIBLE
        emf::PutI32(&FBytes[at + 36], x);
        emf::PutI32(&FBytes[at + 40], y);
        emf::PutU32(&FBytes[at + 44], n);
        emf::PutU32(&FBytes[at + 48], 76);
        emf::PutU32(&FBytes[at + 72], 76 + stringBytes);
        for (uint32_t i = 0; i < n; ++i) {
            emf::PutU16(&FBytes[at + 76 + 2 * i], static_cast<uint8_t>(text[i]));
            emf::PutI32(&FBytes[at + 76 + stringBytes + 4 * i], text[i] == ' ' ? 4 : 7);
        }
    }
    void EndOfFile() {
        const size_t at = Begin(14, 20); // EMR_EOF
        emf::PutU32(&FBytes[at + 12], 16);
        emf::PutU32(&FBytes[at + 16], 20);
    }
    std::vector<uint8_t> Finish() {
        emf::PutU32(&FBytes[48], static_cast<uint32_t>(FBytes.size()));
        emf::PutU32(&FBytes[52], FRecords);
        return std::move(FBytes);
    }
};

} // namespace pagimo::tools
