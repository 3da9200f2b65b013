// qrptool info: the header and the page records of a QRP file, as text or as one JSON object.

#include "pagestore/PageList.h"
#include "platform/system/LocalTime.h"
#include "tools/Commands.h"

#include <cstdio>
#include <string>

namespace pagimo::tools {

namespace {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

struct TPageInfo {
    int32_t Number;
    pagestore::TQRPageRecord Record;
    size_t EmfBytes;
    double WidthMM, HeightMM;
    int32_t Width, Height;
};

TPageInfo ReadPage(pagestore::TQRPageList& list, int32_t n) {
    const auto record = list.PageRecord(n);
    const auto picture = list.FetchPage(n);
    return {n,
            record,
            picture->Bytes().size(),
            picture->WidthMM(),
            picture->HeightMM(),
            picture->Width(),
            picture->Height()};
}

int RunInfo(TArgs& args) {
    const bool json = args.Flag("--json");
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{files.empty() ? "no file given" : "one file at a time"};
    const std::string& name = files[0];

    pagestore::TQRPageList list;
    list.OpenFile(name);
    const auto& header = list.Header();
    const std::string stamp = DaysToIso(header.TimeStamp);

    if (json) {
        // Everything is read before anything is printed, so a damaged file prints only its error.
        std::string out = "{\"file\": " + JsonString(name) + ", \"format\": [" + std::to_string(header.FormatWord1) +
                          ", " + std::to_string(header.FormatWord2) +
                          "], \"page_count\": " + std::to_string(header.PageCount) +
                          ", \"compressed\": " + (list.Compressed() ? "true" : "false") +
                          ", \"timestamp\": " + (stamp.empty() ? "null" : JsonString(stamp)) + ", \"pages\": [";
        for (int32_t n = 1; n <= list.NumPages(); ++n) {
            const auto p = ReadPage(list, n);
            out += std::string(n > 1 ? ", " : "") + "{\"number\": " + std::to_string(n) +
                   ", \"offset\": " + std::to_string(p.Record.Start) +
                   ", \"body_bytes\": " + std::to_string(p.Record.BodySize()) +
                   ", \"emf_bytes\": " + std::to_string(p.EmfBytes) + ", \"frame_mm\": [" + Number(p.WidthMM) + ", " +
                   Number(p.HeightMM) + "], \"pixels\": [" + std::to_string(p.Width) + ", " + std::to_string(p.Height) +
                   "]}";
        }
        out += "], \"valid\": true}\n";
        std::fputs(out.c_str(), stdout);
        return ExitOk;
    }

    std::printf("File:        %s\n", name.c_str());
    std::printf("Format:      %u %u\n", header.FormatWord1, header.FormatWord2);
    std::printf("Pages:       %d\n", header.PageCount);
    std::string readable = stamp;
    if (!readable.empty()) readable[10] = ' ';
    std::printf("Written:     %s\n", readable.empty() ? "(not a valid date)" : readable.c_str());
    std::printf("Compressed:  %s\n", list.Compressed() ? "yes (splay-coded bodies)" : "no");
    if (list.NumPages() > 0) {
        std::printf("\n%6s %10s %10s %10s %17s %13s\n", "page", "offset", "body", "emf", "frame mm", "pixels");
    }
    for (int32_t n = 1; n <= list.NumPages(); ++n) {
        const auto p = ReadPage(list, n);
        const std::string frame = Number(p.WidthMM) + " x " + Number(p.HeightMM);
        const std::string pixels = std::to_string(p.Width) + " x " + std::to_string(p.Height);
        std::printf("%6d %10lld %10lld %10zu %17s %13s\n", n, static_cast<long long>(p.Record.Start),
                    static_cast<long long>(p.Record.BodySize()), p.EmfBytes, frame.c_str(), pixels.c_str());
        std::fflush(stdout);
    }
    std::printf("\nOK: %d page%s read without errors\n", list.NumPages(), list.NumPages() == 1 ? "" : "s");
    return ExitOk;
}

} // namespace

extern const TCommand CmdInfo = {
    "info", "show the header and the pages of a QRP file",
    "usage: qrptool info FILE.qrp [--json]\n\n"
    "Shows the header of a QRP file (format words, page count, time stamp as local date and time,\n"
    "compression) and, for each page, its record offset, body size, EMF size, frame in millimetres and\n"
    "size in screen pixels at 96 pixels per inch, then a verdict line. Every page is read and checked.\n\n"
    "  --json   print the same as one JSON object\n\n"
    "Exit status: 0 the file is valid, 1 it cannot be read or is damaged (the error goes to stderr),\n"
    "2 usage error.\n",
    RunInfo};

} // namespace pagimo::tools
