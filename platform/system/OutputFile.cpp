#include "platform/system/OutputFile.h"

#include "platform/system/Errors.h"
#include "platform/system/File.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pagimo {

namespace {

// The file a path names, through symbolic links, so that saving replaces what a link points at.
std::filesystem::path Target(const std::string& path) {
    std::error_code ec;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    return ec || target.empty() ? std::filesystem::path(path) : target;
}

bool SyncEachCommit = true;

} // namespace

void SetSyncOnCommit(bool sync) {
    SyncEachCommit = sync;
}

bool SyncOnCommit() {
    return SyncEachCommit;
}

bool SyncFileSystemOf(const std::string& path) {
    TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.Valid() && ::syncfs(fd.Get()) == 0;
}

TOutputFile::TOutputFile(const std::string& path) : FPath(path) {
    std::string directory = TempDirectory();
    std::string prefix = "QRPout";
    if (!ToStandardOutput()) {
        const std::filesystem::path target = Target(path);
        directory = target.parent_path().empty() ? std::string(".") : target.parent_path().string();
        // Hidden, and named after the target so that a stray one says where it belongs.
        prefix.assign(1, '.');
        prefix.append(target.filename().string());
        prefix.push_back('.');
    }
    TUniqueFd fd = CreateTempFile(directory, prefix, FTemp);
    if (!fd.Valid()) throw EQRError(FormatMessage("Cannot create file %s", path));
    FRemover = std::make_unique<TFileRemover>(FTemp);
    FFd = std::make_unique<TUniqueFd>(std::move(fd));
}

TOutputFile::~TOutputFile() = default;

int TOutputFile::Fd() const {
    return FFd ? FFd->Get() : -1;
}

void TOutputFile::Commit() {
    const auto cannotCreate = [this] { return EQRError(FormatMessage("Cannot create file %s", FPath)); };
    if (FCommitted || !FFd || !FFd->Valid()) throw cannotCreate();
    if (ToStandardOutput()) {
        std::vector<char> buffer(1 << 16);
        std::fflush(stdout);
        for (int64_t offset = 0;;) {
            const int64_t n = PReadFull(FFd->Get(), buffer.data(), buffer.size(), offset);
            if (n < 0) throw cannotCreate();
            if (n == 0) break;
            if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), stdout) != static_cast<size_t>(n))
                throw cannotCreate();
            offset += n;
        }
        if (std::fflush(stdout) != 0) throw cannotCreate();
        FCommitted = true;
        return;
    }
    const std::filesystem::path target = Target(FPath);
    if (::fchmod(FFd->Get(), ReplacementMode(target.string())) != 0 || (SyncEachCommit && ::fsync(FFd->Get()) != 0) ||
        !FFd->Close())
        throw cannotCreate();
    if (::rename(FTemp.c_str(), target.c_str()) != 0) throw cannotCreate();
    FRemover->Keep();
    FCommitted = true;
}

void RefuseInputAsOutput(const std::vector<std::string>& inputs, const std::string& output) {
    if (output == "-") return;
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) return; // a new file cannot be an input
    for (const std::string& input : inputs) {
        struct stat in {};
        if (!input.empty() && ::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            throw EQRError(FormatMessage("Cannot create file %s", output) + ": it is the input file " + input);
    }
}

} // namespace pagimo
