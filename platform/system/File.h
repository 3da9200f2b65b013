#pragma once
// Files through POSIX descriptors: an owning handle, whole-buffer reads and writes, and temporary
// files created atomically and exclusively.

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

namespace pagimo {

// Owns one open file descriptor and closes it when destroyed.
class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : FFd(fd) {}
    TUniqueFd(TUniqueFd&& other) noexcept : FFd(other.Release()) {}
    TUniqueFd& operator=(TUniqueFd&& other) noexcept;
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    ~TUniqueFd() { Reset(); }

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release() {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }
    void Reset(int fd = -1);
    // Closes the descriptor and reports whether the close succeeded (a write error may only show here).
    bool Close();

private:
    int FFd = -1;
};

// Removes a file when destroyed unless Keep() or Release() was called: the temporary file of an
// operation that failed half-way never stays behind. The path comes registered for removal on a
// terminating signal (platform/system/Termination.h; CreateTempFile registers what it makes), and the
// remover takes that registration over.
class TFileRemover {
public:
    explicit TFileRemover(std::string path);
    TFileRemover(const TFileRemover&) = delete;
    TFileRemover& operator=(const TFileRemover&) = delete;
    ~TFileRemover();
    // The file stays as a real file: it is no longer removed, on a signal either.
    void Keep();
    // Another owner removes the file now: the registration for signals stays, for that owner to end.
    void Release() { FPath.clear(); }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

// Reads or writes count bytes at offset, retrying short transfers and interrupted calls. Read returns
// the bytes read, fewer only at the end of the file; both return -1 on an error (errno says which).
int64_t PReadFull(int fd, void* buffer, size_t count, int64_t offset);
int64_t PWriteFull(int fd, const void* buffer, size_t count, int64_t offset);

// The directory for temporary files: $TMPDIR when set and not empty, else /tmp.
std::string TempDirectory();

// Creates a new, empty file in directory whose name starts with prefix and ends in ".tmp", with a
// unique part the system picks; the creation is atomic and exclusive (never opens an existing file).
// Returns the open descriptor (read and write) and sets path; an invalid handle when it failed. The new
// file is registered for removal on a terminating signal before any such signal can be taken, so a
// signal never leaves it behind; its owner unregisters it when it removes or keeps it.
TUniqueFd CreateTempFile(const std::string& directory, const std::string& prefix, std::string& path);

// The permissions for a file written in place of target: the old file's, or, when there is none,
// those a newly created file gets under the current umask.
mode_t ReplacementMode(const std::string& target);

} // namespace pagimo
