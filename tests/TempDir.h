#pragma once
// The one temporary folder helper of the tests: a private folder per test (or fixture), set as $TMPDIR
// while it lives so that spilled streams and the programs a test runs write into it, removed after.

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace pagimo::test {

class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pagimo-test-XXXXXX").string();
        FPath = ::mkdtemp(pattern.data());
        const char* old = std::getenv("TMPDIR");
        if (old) FOldTmp = old;
        FHadTmp = old != nullptr;
        ::setenv("TMPDIR", FPath.c_str(), 1);
    }
    ~TTempDir() {
        if (FHadTmp) {
            ::setenv("TMPDIR", FOldTmp.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    const std::filesystem::path& Path() const { return FPath; }
    std::string File(const std::string& name) const { return (FPath / name).string(); }
    size_t Count() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(FPath))
            ++n;
        return n;
    }

private:
    std::filesystem::path FPath;
    std::string FOldTmp;
    bool FHadTmp = false;
};

} // namespace pagimo::test
