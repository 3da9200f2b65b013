#include "platform/system/File.h"

#include "platform/system/Termination.h"

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

namespace pagimo {

TUniqueFd& TUniqueFd::operator=(TUniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

void TUniqueFd::Reset(int fd) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
}

bool TUniqueFd::Close() {
    if (FFd < 0) return true;
    const int rc = ::close(FFd);
    FFd = -1;
    return rc == 0;
}

TFileRemover::TFileRemover(std::string path) : FPath(std::move(path)) {}

TFileRemover::~TFileRemover() {
    if (FPath.empty()) return;
    ::unlink(FPath.c_str());
    UnregisterTemporary(FPath);
}

void TFileRemover::Keep() {
    UnregisterTemporary(FPath);
    FPath.clear();
}

int64_t PReadFull(int fd, void* buffer, size_t count, int64_t offset) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd, p + done, count - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t PWriteFull(int fd, const void* buffer, size_t count, int64_t offset) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd, p + done, count - done, static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) return -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

std::string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    if (dir && *dir) return dir;
    return "/tmp";
}

TUniqueFd CreateTempFile(const std::string& directory, const std::string& prefix, std::string& path) {
    static constexpr char Suffix[] = ".tmp";
    std::vector<char> name;
    const std::string_view dir = directory.empty() ? std::string_view(".") : std::string_view(directory);
    name.insert(name.end(), dir.begin(), dir.end());
    if (name.back() != '/') name.push_back('/');
    name.insert(name.end(), prefix.begin(), prefix.end());
    for (const char* p : {"XXXXXX", Suffix})
        name.insert(name.end(), p, p + std::strlen(p));
    name.push_back('\0');
    // The terminating signals wait while the file is made and registered: one taken in between would
    // end the process with the file made and nobody to remove it.
    sigset_t terminating, previous;
    sigemptyset(&terminating);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&terminating, sig);
    ::pthread_sigmask(SIG_BLOCK, &terminating, &previous);
    // mkostemps opens with O_CREAT | O_EXCL, so a name another process took is never reused.
    const int fd = ::mkostemps(name.data(), static_cast<int>(sizeof(Suffix) - 1), O_CLOEXEC);
    if (fd >= 0) RegisterTemporary(name.data());
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (fd < 0) {
        path.clear();
        return TUniqueFd();
    }
    path.assign(name.data());
    return TUniqueFd(fd);
}

mode_t ReplacementMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace pagimo
