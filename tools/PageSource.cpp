#include "tools/PageSource.h"

#include "pagestore/PageList.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/emf/RecordReader.h"
#include "platform/system/Errors.h"
#include "tools/CommandLine.h"
#include "tools/Progress.h"

#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace pagimo::tools {

namespace {

// A stand-alone metafile: one page on its own sheet.
class TEmfFileDocument : public pagestore::TPageDocument {
public:
    TEmfFileDocument(std::vector<uint8_t> bytes, std::string partial)
        : FPage(pagestore::CheckedDocumentPage(std::make_shared<const emf::TEmfPicture>(std::move(bytes)))) {
        if (FPage.Picture) FPage.Partial = std::move(partial);
        FSheet = FPage.Picture ? pagestore::SheetOf(FPage.Picture->Header()) : std::nullopt;
    }
    int32_t PageCount() override { return 1; }
    pagestore::TDocumentPage Page(int32_t n) override { return n == 1 ? FPage : pagestore::TDocumentPage{}; }
    std::optional<pagestore::TPageSheet> Sheet(int32_t n) override { return n == 1 ? FSheet : std::nullopt; }

private:
    pagestore::TDocumentPage FPage; // Partial: a file cut short, what is missing
    std::optional<pagestore::TPageSheet> FSheet;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReasonOf(const pagestore::TDocumentPage& page, int n) {
    return page.State == pagestore::TDocumentPage::dpPending ? "Page " + std::to_string(n) + " is not available"
                                                             : page.Problem;
}

// Counts the pages asked for: when page n is asked for, those from first up to it are done.
class TCountedDocument : public pagestore::TPageDocument {
public:
    TCountedDocument(std::unique_ptr<pagestore::TPageDocument> document, TProgress& progress, int first)
        : FDocument(std::move(document)), FProgress(progress), FFirst(first) {}
    int32_t PageCount() override { return FDocument->PageCount(); }
    pagestore::TDocumentPage Page(int32_t n) override {
        FProgress.Update(std::max<int64_t>(FProgress.Done(), n - FFirst));
        return FDocument->Page(n);
    }
    std::optional<pagestore::TPageSheet> Sheet(int32_t n) override { return FDocument->Sheet(n); }

private:
    std::unique_ptr<pagestore::TPageDocument> FDocument;
    TProgress& FProgress;
    int FFirst;
};

} // namespace

std::unique_ptr<pagestore::TPageDocument> CountedPages(std::unique_ptr<pagestore::TPageDocument> document,
                                                       TProgress& progress, int first) {
    return std::make_unique<TCountedDocument>(std::move(document), progress, first);
}

std::unique_ptr<pagestore::TPageDocument> OpenDocument(const std::string& path) {
    {
        // Told apart by content, from the first bytes only (a report file may be large): an enhanced
        // metafile starts with its header record, anything else goes to the page list, which checks it.
        std::ifstream in(path, std::ios::binary);
        if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
        using H = emf::THeaderLayout;
        uint8_t head[H::SignatureAt + 4] = {};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        if (in.gcount() < static_cast<std::streamsize>(sizeof head) ||
            emf::GetU32(head + emf::RecordTypeAt) != emf::EmrHeader ||
            emf::GetU32(head + H::SignatureAt) != emf::EmfSignature) {
            auto list = std::make_unique<pagestore::TQRPageList>();
            list->OpenFile(path);
            return list;
        }
    }
    std::vector<uint8_t> bytes = ReadFile(path);
    using H = emf::THeaderLayout;
    if (bytes.size() >= H::SignatureAt + 4 && emf::GetU32(bytes.data() + emf::RecordTypeAt) == emf::EmrHeader &&
        emf::GetU32(bytes.data() + H::SignatureAt) == emf::EmfSignature) {
        // Some writers leave nBytes short of or past the file's length; keep what the header claims
        // when the file holds it, so that trailing bytes do not make a good picture invalid.
        const uint32_t nBytes = bytes.size() >= H::BytesAt + 4 ? emf::GetU32(bytes.data() + H::BytesAt) : 0;
        if (nBytes >= emf::EmfMinHeaderSize && nBytes < bytes.size()) bytes.resize(nBytes);
        // A file cut short (nBytes past its end) is drawn up to its last whole record, as a page that
        // cannot be drawn completely.
        std::string incomplete;
        if (nBytes > bytes.size()) {
            bytes = emf::WholeRecordsOf(std::move(bytes), incomplete);
            if (bytes.empty()) throw EQRError("Metafile is not valid");
        }
        return std::make_unique<TEmfFileDocument>(std::move(bytes), std::move(incomplete));
    }
    throw EQRError("Metafile is not valid");
}

std::shared_ptr<const emf::TEmfPicture> DrawablePage(pagestore::TPageDocument& document, int n) {
    pagestore::TDocumentPage page = document.Page(n);
    if (!page.Picture) throw EQRError("Page " + std::to_string(n) + " cannot be drawn: " + ReasonOf(page, n));
    return std::move(page.Picture);
}

pagestore::TDocumentPage TDamagePolicy::Take(pagestore::TPageDocument& document, int n) {
    return Take(document.Page(n), n);
}

pagestore::TDocumentPage TDamagePolicy::Take(pagestore::TDocumentPage page, int n) {
    if (!page.Picture) {
        const std::string reason = ReasonOf(page, n);
        if (!FKeepGoing) throw EQRError("Page " + std::to_string(n) + " cannot be drawn: " + reason);
        Damaged(n, reason);
        page.State = pagestore::TDocumentPage::dpDamaged;
        page.Problem = reason;
    }
    return page;
}

void TDamagePolicy::CheckFirst(pagestore::TPageDocument& document, int first, int last) const {
    if (FKeepGoing) return;
    for (int n = first; n <= last; ++n) {
        const pagestore::TDocumentPage page = document.Page(n);
        if (!page.Picture) throw EQRError("Page " + std::to_string(n) + " cannot be drawn: " + ReasonOf(page, n));
    }
}

void TDamagePolicy::Damaged(int n, const std::string& reason) {
    ++FDamaged;
    TProgress::ClearShown();
    std::fprintf(stderr, "qrptool %s: page %d cannot be drawn: %s; %s\n", FCommand, n, reason.c_str(), FSkipped);
}

void TDamagePolicy::Incomplete(int n, const std::string& reason) {
    if (!FKeepGoing) throw EQRError("Page " + std::to_string(n) + " cannot be drawn completely: " + reason);
    ++FDamaged;
    TProgress::ClearShown();
    std::fprintf(stderr, "qrptool %s: page %d cannot be drawn completely: %s\n", FCommand, n, reason.c_str());
}

void TDamagePolicy::Partial(int n, const std::string& reason) {
    ++FDamaged;
    TProgress::ClearShown();
    std::fprintf(stderr, "qrptool %s: page %d cannot be drawn completely: %s\n", FCommand, n, reason.c_str());
}

void TMissingFontNotice::Note(int page, const std::string& face, uint32_t droppedGlyphs) {
    if (droppedGlyphs == 0 || !FTold.insert(face).second) return;
    TProgress::ClearShown();
    std::fprintf(stderr,
                 "qrptool %s: page %d needs the font \"%s\": its text is set in that font's glyph numbers and "
                 "the font is not installed (%u glyphs left out)\n",
                 FCommand, page, face.c_str(), droppedGlyphs);
}

int TDamagePolicy::ExitStatus() const {
    return FDamaged ? ExitFailure : ExitOk;
}

void EnsureGuiApplication() {
    if (QGuiApplication::instance()) return;
    // The project's font configuration: the installed one under the program's prefix (PREFIX/bin/qrptool
    // or PREFIX/libexec/pagimo/qrptool-print, PREFIX/share/pagimo/fonts), else the source tree's for a
    // program run from its build folder.
    if (!std::getenv("FONTCONFIG_FILE")) {
        std::error_code ec;
        const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
        std::string file = PAGIMO_FONTS_CONF;
        if (!ec) {
            for (const auto& prefix :
                 {exe.parent_path().parent_path(), exe.parent_path().parent_path().parent_path()}) {
                const auto installed = prefix / "share" / "pagimo" / "fonts" / "fonts.conf";
                if (std::filesystem::is_regular_file(installed, ec)) {
                    file = installed.string();
                    break;
                }
            }
        }
        setenv("FONTCONFIG_FILE", file.c_str(), 1);
    }
    // Without a runtime directory (batch jobs, su) Qt warns on every start and then uses
    // /tmp/runtime-<user>; name that directory ourselves so the warning does not reach scripts.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
        if (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    // Pages are drawn into images and files, never onto a screen: the offscreen platform is the only
    // one qrptool loads, whatever the session asks for (a file manager's thumbnailer may run with
    // QT_QPA_PLATFORM=wayland or xcb and no access to the display).
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "qrptool";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

std::pair<int, int> ParsePageRange(const std::string& text, const std::string& option) {
    const auto dash = text.find('-');
    const int first = ParseInt(dash == std::string::npos ? text : text.substr(0, dash), option);
    const int last = dash == std::string::npos ? first : ParseInt(text.substr(dash + 1), option);
    if (first < 1 || last < first) throw EUsage{option + " takes a page N or a range A-B with 1 <= A <= B"};
    return {first, last};
}

std::pair<int, int> PageRange(const std::optional<std::string>& page, const std::optional<std::string>& pages,
                              int count) {
    int first = 1, last = count;
    if (page && pages) throw EUsage{"--page and --pages exclude each other"};
    if (page) first = last = ParseInt(*page, "--page");
    if (pages) std::tie(first, last) = ParsePageRange(*pages, "--pages");
    if (first < 1 || last > count || first > last)
        throw EUsage{"page range " + std::to_string(first) + "-" + std::to_string(last) + " outside 1-" +
                     std::to_string(count)};
    return {first, last};
}

} // namespace pagimo::tools
