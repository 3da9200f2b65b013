#include "platform/printing/CupsQueue.h"

#include "platform/printing/DevMode.h"
#include "platform/system/Errors.h"

#include <cups/cups.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace pagimo::printing {

namespace {

struct TDestDeleter {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using TDest = std::unique_ptr<cups_dest_t, TDestDeleter>;

TDest NamedDest(const std::string& queue) {
    if (queue.empty()) return nullptr;
    return TDest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr));
}

struct TBinSources {
    int16_t Code;
    const char* Keywords[4];
};

// Preference order within each list: the first keyword the printer offers is used.
const TBinSources BinSources[] = {
    {DMBIN_UPPER, {"top", "main", "tray-1", "upper"}},
    {DMBIN_LOWER, {"bottom", "tray-2", "lower", nullptr}},
    {DMBIN_MIDDLE, {"middle", "tray-3", nullptr, nullptr}},
    {DMBIN_MANUAL, {"manual", "by-pass-tray", nullptr, nullptr}},
    {DMBIN_ENVELOPE, {"envelope", nullptr, nullptr, nullptr}},
    {DMBIN_ENVMANUAL, {"manual-envelope", "envelope-manual", nullptr, nullptr}},
    {DMBIN_AUTO, {"auto", nullptr, nullptr, nullptr}},
    {DMBIN_TRACTOR, {"continuous", "tractor", nullptr, nullptr}},
    {DMBIN_SMALLFMT, {"small-format", nullptr, nullptr, nullptr}},
    {DMBIN_LARGEFMT, {"large-format", nullptr, nullptr, nullptr}},
    {DMBIN_LARGECAPACITY, {"large-capacity", nullptr, nullptr, nullptr}},
    {DMBIN_CASSETTE, {"cassette", "main-roll", nullptr, nullptr}},
};

} // namespace

std::string CupsDeviceUri(const std::string& queue) {
    TDest dest = NamedDest(queue);
    if (!dest) return {};
    const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
    return uri ? uri : "";
}

std::vector<std::string> CupsMediaSources(const std::string& queue) {
    std::vector<std::string> out;
    TDest dest = NamedDest(queue);
    if (!dest) return out;
    cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get());
    if (!info) return out;
    if (ipp_attribute_t* attr = cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest.get(), info, "media-source")) {
        for (int i = 0, n = ippGetCount(attr); i < n; ++i) {
            if (const char* s = ippGetString(attr, i, nullptr)) out.emplace_back(s);
        }
    }
    cupsFreeDestInfo(info);
    return out;
}

int CupsSubmit(const std::string& queue, const std::string& fileName, const std::string& title,
               const std::vector<std::pair<std::string, std::string>>& options) {
    cups_option_t* list = nullptr;
    int count = 0;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.c_str(), value.c_str(), count, &list);
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, queue.c_str(), fileName.c_str(), title.c_str(), count, list);
    cupsFreeOptions(count, list);
    if (job <= 0) {
        const char* reason = cupsLastErrorString();
        throw EQRError("Printing failed on " + queue + ": " + (reason ? reason : "no reason given"));
    }
    return job;
}

int16_t BinCodeOfSource(const std::string& keyword) {
    for (const auto& bin : BinSources) {
        for (const char* k : bin.Keywords) {
            if (k && keyword == k) return bin.Code;
        }
    }
    return 0;
}

std::string SourceOfBinCode(int16_t code, const std::vector<std::string>& offered) {
    for (const auto& bin : BinSources) {
        if (bin.Code != code) continue;
        for (const char* k : bin.Keywords) {
            if (!k) continue;
            for (const auto& o : offered) {
                if (o == k) return o;
            }
        }
    }
    return {};
}

std::string SourceChoiceName(const std::string& keyword) {
    std::string out;
    bool upper = true;
    for (char c : keyword) {
        if (c == '-' || c == '_') {
            upper = true;
            continue;
        }
        out += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return out;
}

} // namespace pagimo::printing
