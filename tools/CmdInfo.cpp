// qrptool info: the header and the page records of a QRP file, every page checked as drawing needs
// it, as text or as one JSON object.

#include "pagestore/PageList.h"
#include "platform/system/LocalTime.h"
#include "platform/system/Utf8.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/Progress.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pagimo::tools {

namespace {

// A JSON string; bytes that are not valid UTF-8 become U+FFFD, so the output always parses.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const system::TUtf8Char u = system::DecodeUtf8(text, i); u.Length != 0) {
            out.append(text, i, u.Length);
            i += u.Length;
        } else {
            out += "\\ufffd";
            ++i;
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
    int32_t Number = 0;
    pagestore::TQRPageRecord Record;
    bool Drawable = false;
    std::string Problem;
    size_t EmfBytes = 0;
    double WidthMM = 0, HeightMM = 0;
    int32_t Width = 0, Height = 0;
};

// Output is collected and written in large pieces, not a line at a time.
class TOut {
public:
    ~TOut() { Flush(); }
    std::string& Text() { return FText; }
    void Maybe() {
        if (FText.size() > (1 << 16)) Flush();
    }
    void Flush() {
        std::fwrite(FText.data(), 1, FText.size(), stdout);
        FText.clear();
    }

private:
    std::string FText;
};

int RunInfo(TArgs& args) {
    const bool json = args.Flag("--json");
    const int jobs = JobsOption(args);
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{files.empty() ? "no file given" : "one file at a time"};
    const std::string& name = files[0];

    pagestore::TQRPageList list;
    list.OpenFile(name);
    const auto& header = list.Header();
    const std::string stamp = DaysToIso(header.TimeStamp);
    const int32_t declared = list.NumPages();
    std::string chainProblem;
    const int32_t reachable = list.ReachablePages(&chainProblem);
    const int64_t trailing = reachable == declared ? list.TrailingBytes() : 0;

    // Every page in page order: its record, then its body decoded and its records walked, as drawing
    // does; the decoding and checking run on the worker threads in batches of pages.
    std::unique_ptr<pagestore::TPageDocument> pages = reachable > 0 ? OpenDocument(name) : nullptr;
    TProgress progress("qrptool info", "pages", reachable, true);
    const auto eachPage = [&](const std::function<void(TPageInfo&)>& use) {
        if (reachable == 0) return;
        InPageOrder<TPageInfo>(
            *pages, name, jobs, 1, reachable,
            [](pagestore::TPageDocument& source, int n) {
                TPageInfo p;
                p.Number = n;
                const pagestore::TDocumentPage page = source.Page(n);
                p.Problem = page.Problem;
                if (const auto& picture = page.Picture) {
                    p.Drawable = true;
                    p.EmfBytes = picture->Bytes().size();
                    p.WidthMM = picture->WidthMM();
                    p.HeightMM = picture->HeightMM();
                    p.Width = picture->Width();
                    p.Height = picture->Height();
                }
                return p;
            },
            [&](int n, TPageInfo&& p) {
                progress.Update(n - 1);
                p.Record = list.PageRecord(n);
                use(p);
            });
    };
    std::vector<std::pair<int32_t, std::string>> damaged;
    const std::string unreachable = "not reachable: " + chainProblem;

    TOut out;
    if (json) {
        std::string& o = out.Text();
        o += "{\"file\": " + JsonString(name) + ", \"format\": [" + std::to_string(header.FormatWord1) + ", " +
             std::to_string(header.FormatWord2) + "], \"page_count\": " + std::to_string(header.PageCount) +
             ", \"compressed\": " + (list.Compressed() ? "true" : "false") +
             ", \"timestamp\": " + (stamp.empty() ? "null" : JsonString(stamp)) + ", \"pages\": [";
        eachPage([&](const TPageInfo& p) {
            const int32_t n = p.Number;
            o += std::string(n > 1 ? ", " : "") + "{\"number\": " + std::to_string(n) +
                 ", \"offset\": " + std::to_string(p.Record.Start) +
                 ", \"body_bytes\": " + std::to_string(p.Record.BodySize());
            if (p.Drawable) {
                o += ", \"emf_bytes\": " + std::to_string(p.EmfBytes) + ", \"frame_mm\": [" + Number(p.WidthMM) + ", " +
                     Number(p.HeightMM) + "], \"pixels\": [" + std::to_string(p.Width) + ", " +
                     std::to_string(p.Height) + "]}";
            } else {
                o += ", \"problem\": " + JsonString(p.Problem) + "}";
                damaged.emplace_back(n, p.Problem);
            }
            out.Maybe();
        });
        progress.Update(reachable);
        o += "], \"usable_pages\": " + std::to_string(reachable - static_cast<int32_t>(damaged.size())) +
             ", \"trailing_bytes\": " + std::to_string(trailing) + ", \"damaged\": [";
        for (int32_t n = reachable + 1; n <= declared; ++n)
            damaged.emplace_back(n, unreachable);
        for (size_t i = 0; i < damaged.size(); ++i) {
            o += std::string(i ? ", " : "") + "{\"page\": " + std::to_string(damaged[i].first) +
                 ", \"reason\": " + JsonString(damaged[i].second) + "}";
            out.Maybe();
        }
        const bool valid = damaged.empty() && trailing == 0;
        o += std::string("], \"valid\": ") + (valid ? "true" : "false") + "}\n";
        return valid ? ExitOk : ExitFailure;
    }

    char line[512];
    const auto add = [&out, &line](int n) { out.Text().append(line, static_cast<size_t>(std::max(0, std::min(n, 511)))); };
    add(std::snprintf(line, sizeof line, "File:        %s\n", name.c_str()));
    add(std::snprintf(line, sizeof line, "Format:      %u %u\n", header.FormatWord1, header.FormatWord2));
    add(std::snprintf(line, sizeof line, "Pages:       %d\n", header.PageCount));
    std::string readable = stamp;
    if (!readable.empty()) readable[10] = ' ';
    add(std::snprintf(line, sizeof line, "Written:     %s\n", readable.empty() ? "(not a valid date)" : readable.c_str()));
    add(std::snprintf(line, sizeof line, "Compressed:  %s\n", list.Compressed() ? "yes (splay-coded bodies)" : "no"));
    if (declared > 0) {
        add(std::snprintf(line, sizeof line, "\n%6s %10s %10s %10s %17s %13s\n", "page", "offset", "body", "emf",
                          "frame mm", "pixels"));
    }
    eachPage([&](const TPageInfo& p) {
        const int32_t n = p.Number;
        if (p.Drawable) {
            const std::string frame = Number(p.WidthMM) + " x " + Number(p.HeightMM);
            const std::string pixels = std::to_string(p.Width) + " x " + std::to_string(p.Height);
            add(std::snprintf(line, sizeof line, "%6d %10lld %10lld %10zu %17s %13s\n", n,
                              static_cast<long long>(p.Record.Start), static_cast<long long>(p.Record.BodySize()),
                              p.EmfBytes, frame.c_str(), pixels.c_str()));
        } else {
            add(std::snprintf(line, sizeof line, "%6d %10lld %10lld  DAMAGED: ", n,
                              static_cast<long long>(p.Record.Start), static_cast<long long>(p.Record.BodySize())));
            out.Text() += p.Problem + "\n";
            damaged.emplace_back(n, p.Problem);
        }
        out.Maybe();
    });
    progress.Update(reachable);
    if (reachable < declared) {
        if (reachable + 1 == declared)
            add(std::snprintf(line, sizeof line, "%6d", declared));
        else
            add(std::snprintf(line, sizeof line, "%d-%d", reachable + 1, declared));
        out.Text().append("  DAMAGED: ").append(unreachable).append("\n");
    }
    if (trailing > 0)
        add(std::snprintf(line, sizeof line, "\n%lld bytes follow the last page record\n", static_cast<long long>(trailing)));

    const int32_t lost = static_cast<int32_t>(damaged.size()) + (declared - reachable);
    if (lost == 0 && trailing == 0) {
        add(std::snprintf(line, sizeof line, "\nOK: %d page%s read without errors\n", declared, declared == 1 ? "" : "s"));
        return ExitOk;
    }
    if (lost > 0) {
        add(std::snprintf(line, sizeof line, "\nDAMAGED: %d of %d page%s cannot be drawn\n", lost, declared,
                          declared == 1 ? "" : "s"));
    } else {
        add(std::snprintf(line, sizeof line, "\nDAMAGED: %lld bytes after the last page; its %d page%s read without errors\n",
                          static_cast<long long>(trailing), declared, declared == 1 ? "" : "s"));
    }
    return ExitFailure;
}

} // namespace

extern const TCommand CmdInfo = {
    "info", "show the header and the pages of a QRP file",
    "usage: qrptool info FILE.qrp [--json] [-j N]\n\n"
    "Shows the header of a QRP file (format words, page count, time stamp as local date and time,\n"
    "compression) and, for each page, its record offset, body size, EMF size, frame in millimetres and\n"
    "size in screen pixels at 96 pixels per inch, then a verdict line. Every page is read and checked\n"
    "as drawing needs it (record chain, body, the picture's own records); each damaged page is listed\n"
    "with its reason.\n\n"
    "  --json   print the same as one JSON object ('valid', 'usable_pages', 'damaged': [{page, reason}])\n"
    "  -j N     threads that read and check pages (default: the number of cores); the output is\n"
    "           the same for any N\n\n"
    "Exit status: 0 the file is valid, 1 it cannot be read or has damaged pages (the reasons are in the\n"
    "output; a file that cannot be opened at all prints its error on stderr), 2 usage error.\n",
    RunInfo};

} // namespace pagimo::tools
