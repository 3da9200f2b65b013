#pragma once
// Runs qrptool as a user runs it, from the test programs of tests/tools: the exit status, what went
// to stdout, and what went to stderr (through a file in the test's own folder).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>

namespace pagimo::test {

// Built with a sanitizer, programs take several times their memory, and qrptool sets itself no
// address-space limit (a sanitizer reserves far more than it uses).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr long MemoryFactor = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr long MemoryFactor = 4;
#else
inline constexpr long MemoryFactor = 1;
#endif
#else
inline constexpr long MemoryFactor = 1;
#endif

struct TRun {
    int Status = -1;
    std::string Out, Err;
    // The peak memory (resident, kilobytes) of the largest program this test process has run so far:
    // an upper bound of this run's.
    long PeakKb = 0;
};

// qrptool with the given arguments (passed through the shell as they stand); env is put before the
// command, e.g. "LC_ALL=C.UTF-8".
inline TRun RunQrptool(const std::filesystem::path& dir, const std::string& args, const std::string& env = {}) {
    const std::filesystem::path err = dir / "stderr.txt";
    const std::string command =
        (env.empty() ? std::string() : env + " ") + std::string(QRPTOOL_PATH) + " " + args + " 2>" + err.string();
    TRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    rusage usage{};
    if (::getrusage(RUSAGE_CHILDREN, &usage) == 0) run.PeakKb = usage.ru_maxrss;
    std::ifstream in(err, std::ios::binary);
    run.Err.assign(std::istreambuf_iterator<char>(in), {});
    return run;
}

} // namespace pagimo::test
