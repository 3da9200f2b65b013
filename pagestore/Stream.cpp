#include "pagestore/Stream.h"

#include "platform/system/Errors.h"
#include "platform/system/Termination.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace pagimo::pagestore {

using TGuard = std::lock_guard<std::recursive_mutex>;

TQRStream::TQRStream(int32_t spillLimit) : FSpillLimit(spillLimit) {}

std::unique_ptr<TQRStream> TQRStream::CreateForFile(const std::string& fileName) {
    // Read-only and without any lock, so other programs may go on reading and writing the file.
    TUniqueFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) throw EQRError(FormatMessage("Cannot open file %s", fileName));
    std::unique_ptr<TQRStream> stream(new TQRStream());
    stream->FFile = std::make_unique<TFileStream>(std::move(fd));
    stream->FBuffered = false;
    stream->FFileName = fileName;
    return stream;
}

TQRStream::~TQRStream() {
    TGuard guard(FLock);
    FFile.reset();
    if (!FSpillFileName.empty()) {
        ::unlink(FSpillFileName.c_str());
        UnregisterTemporary(FSpillFileName);
    }
}

size_t TQRStream::Read(void* buffer, size_t count) {
    TGuard guard(FLock);
    if (!FBuffered) return FFile->Read(buffer, count);
    const auto size = static_cast<int64_t>(FMemory.size());
    if (FMemoryPosition >= size) return 0;
    const size_t n = std::min(count, static_cast<size_t>(size - FMemoryPosition));
    std::memcpy(buffer, FMemory.data() + FMemoryPosition, n);
    FMemoryPosition += static_cast<int64_t>(n);
    return n;
}

size_t TQRStream::Write(const void* buffer, size_t count) {
    TGuard guard(FLock);
    if (!FBuffered) return FFile->Write(buffer, count);
    if (count == 0) return 0;
    const auto end = static_cast<size_t>(FMemoryPosition) + count;
    if (end > FMemory.size()) {
        // Grow geometrically so that appending page after page stays linear.
        if (end > FMemory.capacity()) FMemory.reserve(std::max(end, FMemory.capacity() * 2));
        FMemory.resize(end);
    }
    std::memcpy(FMemory.data() + FMemoryPosition, buffer, count);
    FMemoryPosition = static_cast<int64_t>(end);
    if (static_cast<int64_t>(FMemory.size()) > static_cast<int64_t>(FSpillLimit)) Spill();
    return count;
}

void TQRStream::Spill() {
    std::string name;
    TUniqueFd fd = CreateTempFile(TempDirectory(), "QRP", name);
    if (!fd.Valid()) throw EQRError(FormatMessage("Cannot create file %s", TempDirectory() + "/QRP*.tmp"));
    TFileRemover remover(name); // removes the file again if the copy fails
    auto file = std::make_unique<TFileStream>(std::move(fd));
    file->WriteBuffer(FMemory.data(), FMemory.size());
    file->SetPosition(FMemoryPosition);
    // Removed with the stream from now on, and by the termination handlers if the process is ended
    // first (the registration CreateTempFile made stays).
    remover.Release();
    FFile = std::move(file);
    FSpillFileName = std::move(name);
    std::vector<uint8_t>().swap(FMemory);
    FMemoryPosition = 0;
    FBuffered = false;
}

int64_t TQRStream::Seek(int64_t offset, TSeekOrigin origin) {
    TGuard guard(FLock);
    if (!FBuffered) return FFile->Seek(offset, origin);
    const int64_t base = origin == soBeginning ? 0
                         : origin == soCurrent ? FMemoryPosition
                                               : static_cast<int64_t>(FMemory.size());
    if (offset < -base) throw EQRError("Stream seek error");
    FMemoryPosition = base + offset;
    return FMemoryPosition;
}

void TQRStream::CopyAllTo(TStream& destination) {
    TGuard guard(FLock);
    Seek(0, soBeginning);
    std::vector<uint8_t> block(CopyBlockSize);
    for (;;) {
        const size_t n = Read(block.data(), block.size());
        if (n == 0) break;
        destination.WriteBuffer(block.data(), n);
    }
}

} // namespace pagimo::pagestore
