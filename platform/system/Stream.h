#pragma once
// The seekable byte stream abstraction: three primitives (Read, Write, Seek) and the operations
// derived from them (position, size, read or write exactly n bytes or fail).

#include "platform/system/File.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace pagimo {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Return the bytes transferred; fewer than asked (down to 0) at the end of the data or when the
    // medium refuses more.
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Returns the new position. A position before the start raises EQRError("Stream seek error").
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    int64_t Size();

    // Transfer exactly count bytes or raise EQRError("Stream read error") / ("Stream write error").
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);
};

// A stream on an open file descriptor, with its own position (reads and writes use pread/pwrite).
class TFileStream : public TStream {
public:
    explicit TFileStream(TUniqueFd fd) : FFd(std::move(fd)) {}

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    int Handle() const { return FFd.Get(); }
    // Closes the file, raising EQRError("Stream write error") when the system reports a failure.
    void Close();

private:
    TUniqueFd FFd;
    int64_t FPosition = 0;
};

} // namespace pagimo
