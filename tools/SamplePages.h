#pragma once
// Synthetic report pages: small valid enhanced metafiles (a header record, text lines, ruled lines,
// rectangles and the end record) as a report engine records them on an A4 sheet. They stand in for
// real recordings in the sample file, the tests and the benchmarks.

#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"

#include <algorithm>

#include <cstdint>
#include <string>
#include <vector>

namespace pagimo::tools {

class TSamplePageWriter {
public:
    // A page of lineCount text lines; the page number and seed vary the text and the positions.
    static std::vector<uint8_t> Page(int32_t pageNumber, int lineCount = 24, uint32_t seed = 1) {
        TSamplePageWriter w;
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
        return w.Finish();
    }

    static emf::TEmfPicture Picture(int32_t pageNumber, int lineCount = 24, uint32_t seed = 1) {
        return emf::TEmfPicture(Page(pageNumber, lineCount, seed));
    }

private:
    emf::TEmfWriter FWriter{794, 1123};

    void Rectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
        emf::TEmrBox{{l, t, r, b}}.Write(FWriter, emf::EMR_RECTANGLE);
    }
    void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        emf::TEmrPoint{{x1, y1}}.Write(FWriter, emf::EMR_MOVETOEX);
        emf::TEmrPoint{{x2, y2}}.Write(FWriter, emf::EMR_LINETO);
    }
    // EXTTEXTOUTW with UTF-16 text (the bytes taken as Latin-1) and an advance per character.
    void Text(int32_t x, int32_t y, const std::string& text) {
        const auto n = static_cast<uint32_t>(text.size());
        emf::TEmrExtTextOut r;
        r.Bounds = {x, y, x + static_cast<int32_t>(7 * n), y + 16};
        r.Text.Reference = {x, y};
        r.Text.Chars = n;
        r.Text.OffString = emf::TEmrExtTextOut::StringAt;
        r.Text.Rect = {0, 0, 0, 0};
        r.Text.OffDx = emf::TEmrExtTextOut::DxAfter(n);
        std::u16string utf16;
        std::vector<int32_t> dx;
        for (char c : text) {
            utf16.push_back(static_cast<uint8_t>(c));
            dx.push_back(c == ' ' ? 4 : 7);
        }
        r.Write(FWriter, utf16, dx);
    }
    // The writer's records under a header of a page recorded on a 1920 x 1080 screen: bounds and frame
    // of an A4 sheet, one handle, no extensions filled in.
    std::vector<uint8_t> Finish() {
        using H = emf::THeaderLayout;
        std::vector<uint8_t> bytes = FWriter.Finish();
        uint8_t* h = bytes.data();
        const uint32_t size = emf::GetU32(h + H::BytesAt), records = emf::GetU32(h + H::RecordsAt);
        std::fill_n(h, H::FullSize, uint8_t{0});
        emf::PutU32(h + emf::RecordTypeAt, emf::EMR_HEADER);
        emf::PutU32(h + emf::RecordSizeAt, H::FullSize);
        emf::PutI32(h + H::BoundsAt + 8, 793); // bounds in device pixels
        emf::PutI32(h + H::BoundsAt + 12, 1122);
        emf::PutI32(h + H::FrameAt + 8, 21000); // frame: A4 in 0.01 mm
        emf::PutI32(h + H::FrameAt + 12, 29700);
        emf::PutU32(h + H::SignatureAt, emf::EmfSignature);
        emf::PutU32(h + H::VersionAt, 0x10000);
        emf::PutU32(h + H::BytesAt, size);
        emf::PutU32(h + H::RecordsAt, records);
        emf::PutU16(h + H::HandlesAt, 1);
        emf::PutI32(h + H::DevicePixelsAt, 1920); // reference device: a 96 pixels-per-inch screen
        emf::PutI32(h + H::DevicePixelsAt + 4, 1080);
        emf::PutI32(h + H::DeviceMillimetersAt, 508);
        emf::PutI32(h + H::DeviceMillimetersAt + 4, 286);
        return bytes;
    }
};

} // namespace pagimo::tools
