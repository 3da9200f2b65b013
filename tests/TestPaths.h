#pragma once
// Where tests find their fixtures and the shared corpus of real files.

#include <filesystem>
#include <string>

namespace pagimo::test {

inline std::filesystem::path SourceDir() { return PAGIMO_SOURCE_DIR; }
inline std::filesystem::path DataDir() { return SourceDir() / "tests" / "data"; }

// The shared corpus lies beside the checkout (../shared/corpus); an empty path when it is absent,
// so tests that need it can skip.
inline std::filesystem::path CorpusDir() {
    for (auto p : {SourceDir().parent_path() / "shared" / "corpus", SourceDir() / ".." / ".." / "shared" / "corpus"}) {
        if (std::filesystem::is_directory(p)) return std::filesystem::canonical(p);
    }
    return {};
}

} // namespace pagimo::test
