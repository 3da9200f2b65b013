#pragma once
// TQRStream: the byte store behind a page list, laid out as a whole QRP file. A recording starts in
// memory and moves once to a temporary file when it grows past its limit; an opened QRP file is read
// in place. Every operation runs under the stream's re-entrant lock.

#include "platform/system/Stream.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pagimo::pagestore {

class TQRStream : public TStream {
public:
    static constexpr int32_t HeaderSize = 128; // the QRP header before the first page record
    static constexpr size_t CopyBlockSize = 10240;

    // An empty stream in memory that spills to a temporary file once its size exceeds spillLimit.
    explicit TQRStream(int32_t spillLimit);
    // A read-only stream on an existing file, which other programs may keep reading and writing.
    // Raises EQRError("Cannot open file %s") when the file cannot be opened.
    static std::unique_ptr<TQRStream> CreateForFile(const std::string& fileName);
    // Deletes the temporary file when the stream spilled; an opened file is left in place.
    ~TQRStream() override;

    TQRStream(const TQRStream&) = delete;
    TQRStream& operator=(const TQRStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    // In memory, a write after which the size exceeds SpillLimit moves the data to a temporary file.
    // When that fails the error reaches the caller, the data stays in memory and the next write
    // tries again.
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    // Writes the whole stream to destination in blocks of CopyBlockSize; leaves this stream at its end.
    void CopyAllTo(TStream& destination);

    // Hold the lock across several operations that must run as one.
    void Acquire() { FLock.lock(); }
    void Release() { FLock.unlock(); }
    std::recursive_mutex& Lock() { return FLock; }

    bool Buffered() const { return FBuffered; }
    int32_t SpillLimit() const { return FSpillLimit; }
    const std::string& SpillFileName() const { return FSpillFileName; }
    // The opened file's name; empty for a recording.
    const std::string& FileName() const { return FFileName; }

private:
    TQRStream() = default;
    void Spill();

    std::recursive_mutex FLock;
    std::vector<uint8_t> FMemory;
    int64_t FMemoryPosition = 0;
    std::unique_ptr<TFileStream> FFile;
    std::string FSpillFileName;
    std::string FFileName;
    bool FBuffered = true;
    int32_t FSpillLimit = 0;
};

} // namespace pagimo::pagestore
