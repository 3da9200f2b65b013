// Opens the input as a QRP file, reads every page's sheet, and fetches every page, forwards, then
// last-to-first: any input must end in pages or in the system's error, never in a crash, a hang or a
// huge allocation.

#include "pagestore/PageList.h"
#include "platform/system/Errors.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The input goes into one memory-backed file that OpenFile reaches by its /proc name.
int InputFile() {
    static const int fd = [] {
        const int f = ::memfd_create("qrp", 0);
        if (f < 0) std::abort();
        return f;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = InputFile();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    pagimo::pagestore::TQRPageList list;
    try {
        list.OpenFile(name);
        for (int32_t n = 1; n <= list.NumPages(); ++n)
            list.Sheet(n); // never throws
        for (int32_t n = 1; n <= list.NumPages(); ++n) {
            if (!list.FetchPage(n)) std::abort();
        }
        for (int32_t n = list.NumPages(); n >= 1; --n)
            list.FetchPage(n);
    } catch (const pagimo::EQRError&) {
    }
    return 0;
}
