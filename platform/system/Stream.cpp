#include "platform/system/Stream.h"

#include "platform/system/Errors.h"

#include <sys/stat.h>

namespace pagimo {

int64_t TStream::Size() {
    const int64_t position = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EQRError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EQRError("Stream write error");
}

size_t TFileStream::Read(void* buffer, size_t count) {
    const int64_t n = PReadFull(FFd.Get(), buffer, count, FPosition);
    if (n <= 0) return 0;
    FPosition += n;
    return static_cast<size_t>(n);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    const int64_t n = PWriteFull(FFd.Get(), buffer, count, FPosition);
    if (n <= 0) return 0;
    FPosition += n;
    return static_cast<size_t>(n);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == soCurrent) {
        base = FPosition;
    } else if (origin == soEnd) {
        struct stat st {};
        if (::fstat(FFd.Get(), &st) != 0) throw EQRError("Stream seek error");
        base = st.st_size;
    }
    if (offset < -base) throw EQRError("Stream seek error");
    FPosition = base + offset;
    return FPosition;
}

void TFileStream::Close() {
    if (!FFd.Close()) throw EQRError("Stream write error");
}

} // namespace pagimo
