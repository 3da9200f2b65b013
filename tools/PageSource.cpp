#include "tools/PageSource.h"

#include "pagestore/PageList.h"
#include "platform/emf/LittleEndian.h"
#include "platform/system/Errors.h"
#include "tools/CommandLine.h"

#include <QGuiApplication>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pagimo::tools {

namespace {

class TEmfFileSource : public TPageSource {
public:
    explicit TEmfFileSource(std::vector<uint8_t> bytes) : FPicture(std::move(bytes)) {}
    int Count() const override { return 1; }
    emf::TEmfPicture Page(int) override { return FPicture; }

private:
    emf::TEmfPicture FPicture;
};

// A QRP file's pages, read through the page list (which checks the record chain and each body).
class TQrpFileSource : public TPageSource {
public:
    explicit TQrpFileSource(const std::string& path) { FPages.OpenFile(path); }
    int Count() const override { return FPages.NumPages(); }
    emf::TEmfPicture Page(int n) override {
        auto picture = FPages.FetchPage(n);
        if (!picture) throw EQRError("Metafile is not valid");
        return std::move(*picture);
    }

private:
    pagestore::TQRPageList FPages;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

std::unique_ptr<TPageSource> TPageSource::Open(const std::string& path) {
    {
        // Told apart by content, from the first bytes only (a report file may be large): an enhanced
        // metafile starts with its header record, anything else goes to the page list, which checks it.
        std::ifstream in(path, std::ios::binary);
        if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
        uint8_t head[44] = {};
        in.read(reinterpret_cast<char*>(head), sizeof head);
        if (in.gcount() < 44 || emf::GetU32(head) != emf::EmrHeader || emf::GetU32(head + 40) != emf::EmfSignature)
            return std::make_unique<TQrpFileSource>(path);
    }
    std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.size() >= 44 && emf::GetU32(bytes.data()) == emf::EmrHeader &&
        emf::GetU32(bytes.data() + 40) == emf::EmfSignature) {
        // Some writers leave nBytes short of or past the file's length; keep what the header claims
        // when the file holds it, so that trailing bytes do not make a good picture invalid.
        const uint32_t nBytes = emf::GetU32(bytes.data() + 48);
        if (nBytes >= emf::EmfMinHeaderSize && nBytes < bytes.size()) bytes.resize(nBytes);
        return std::make_unique<TEmfFileSource>(std::move(bytes));
    }
    throw EQRError("Metafile is not valid");
}

void EnsureGuiApplication() {
    if (QGuiApplication::instance()) return;
    setenv("FONTCONFIG_FILE", PAGIMO_FONTS_CONF, 0);
    // Without a runtime directory (batch jobs, su) Qt warns on every start and then uses
    // /tmp/runtime-<user>; name that directory ourselves so the warning does not reach scripts.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir = "/tmp/runtime-" + std::to_string(getuid());
        if (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "qrptool";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

std::pair<int, int> PageRange(const std::optional<std::string>& page, const std::optional<std::string>& pages,
                              int count) {
    int first = 1, last = count;
    if (page && pages) throw EUsage{"--page and --pages exclude each other"};
    if (page) first = last = ParseInt(*page, "--page");
    if (pages) {
        const auto dash = pages->find('-');
        if (dash == std::string::npos) throw EUsage{"--pages takes a range A-B"};
        first = ParseInt(pages->substr(0, dash), "--pages");
        last = ParseInt(pages->substr(dash + 1), "--pages");
    }
    if (first < 1 || last > count || first > last)
        throw EUsage{"page range " + std::to_string(first) + "-" + std::to_string(last) + " outside 1-" +
                     std::to_string(count)};
    return {first, last};
}

} // namespace pagimo::tools
