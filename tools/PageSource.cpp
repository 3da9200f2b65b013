#include "tools/PageSource.h"

#include "platform/emf/LittleEndian.h"
#include "platform/system/Errors.h"
#include "tools/CommandLine.h"

#include <QGuiApplication>

#include <cstdlib>
#include <fstream>
#include <iterator>
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

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EQRError(FormatMessage("Cannot open file %s", path));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

std::unique_ptr<TPageSource> TPageSource::Open(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.size() >= 44 && emf::GetU32(bytes.data()) == emf::EmrHeader && emf::GetU32(bytes.data() + 40) == emf::EmfSignature) {
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
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "qrptool";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

std::pair<int, int> PageRange(const std::optional<std::string>& page, const std::optional<std::string>& pages, int count) {
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
        throw EUsage{"page range " + std::to_string(first) + "-" + std::to_string(last) + " outside 1-" + std::to_string(count)};
    return {first, last};
}

} // namespace pagimo::tools
