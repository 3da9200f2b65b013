#include "tools/ProcessLimits.h"

#include "platform/system/Termination.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include <csignal>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PAGIMO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define PAGIMO_SANITIZED 1
#endif
#endif

namespace pagimo::tools {

namespace {

bool Applied = false;
TProcessLimits Current;
// The messages, made before any limit can be hit: the handlers only write them.
char CpuMessage[256];
char MemoryMessage[256];
char FaultMessage[256];

void Write(const char* text) {
    const size_t n = std::strlen(text);
    const ssize_t written = ::write(STDERR_FILENO, text, n);
    static_cast<void>(written);
}

void OnCpuLimit(int) {
    Write(CpuMessage);
    RemoveTemporaries();
    ::_exit(1);
}

// Libraries do not all survive an allocation that fails (some go on with a null pointer): under the
// limits such a fault is taken for what it most likely is, the memory limit, and ends the command
// with a message instead of a core.
void OnFault(int) {
    Write(FaultMessage);
    RemoveTemporaries();
    ::_exit(1);
}

// An exception nobody caught (a worker thread out of memory among them) ends the command with a
// message instead of an abort and its core.
void OnTerminate() {
    bool memory = false;
    if (const std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::bad_alloc&) {
            memory = true;
        } catch (...) {
        }
    }
    Write(memory ? MemoryMessage : "qrptool: stopped by an unexpected error\n");
    RemoveTemporaries();
    ::_exit(1);
}

double CpuUsed() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void SetCpuLimit() {
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    const rlim_t soft = static_cast<rlim_t>(CpuUsed()) + 1 + static_cast<rlim_t>(Current.CpuSeconds);
    // The soft limit only: an unprivileged process could not raise a hard one for the next page.
    if (cpu.rlim_max != RLIM_INFINITY && soft > cpu.rlim_max) return;
    cpu.rlim_cur = soft;
    ::setrlimit(RLIMIT_CPU, &cpu);
}

} // namespace

TProcessLimits ProcessLimits() {
    TProcessLimits limits;
    const char* text = std::getenv("QRPTOOL_LIMITS");
    if (!text || !*text) return limits;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
        uint64_t number = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        const bool whole = ec == std::errc() && end == value.data() + value.size() && number > 0;
        if (key == "memory" && whole && number <= (uint64_t{1} << 30))
            limits.MemoryMB = number;
        else if (key == "cpu" && whole && number <= 86400)
            limits.CpuSeconds = static_cast<int>(number);
        else
            throw EUsage{"QRPTOOL_LIMITS takes memory=MB,cpu=SECONDS: " + std::string(text)};
    }
    return limits;
}

void ApplyProcessLimits(const char* command) {
    Current = ProcessLimits();
    std::snprintf(CpuMessage, sizeof CpuMessage,
                  "qrptool %s: stopped: a page took more than %d s of processor time (the command's limit)\n", command,
                  Current.CpuSeconds);
    std::snprintf(MemoryMessage, sizeof MemoryMessage,
                  "qrptool %s: stopped: out of memory (the command's limit is %llu MB of address space)\n", command,
                  static_cast<unsigned long long>(Current.MemoryMB));
    std::snprintf(FaultMessage, sizeof FaultMessage,
                  "qrptool %s: stopped by a fault, most likely out of memory (the command's limit is %llu MB of "
                  "address space)\n",
                  command, static_cast<unsigned long long>(Current.MemoryMB));
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
#ifndef PAGIMO_SANITIZED
    // Threads reserve an arena of address space each; a few serve every thread well enough.
    ::mallopt(M_ARENA_MAX, 2);
    rlimit memory{};
    ::getrlimit(RLIMIT_AS, &memory);
    const rlim_t bytes = static_cast<rlim_t>(Current.MemoryMB) << 20;
    if (memory.rlim_max == RLIM_INFINITY || bytes <= memory.rlim_max) {
        memory.rlim_cur = bytes;
        ::setrlimit(RLIMIT_AS, &memory);
    }
#endif
    struct sigaction action {};
    action.sa_handler = OnCpuLimit;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXCPU, &action, nullptr);
    // On a stack of its own, so that a stack that ran out can still report.
    static char faultStack[64 * 1024];
    stack_t alternate{};
    alternate.ss_sp = faultStack;
    alternate.ss_size = sizeof faultStack;
    ::sigaltstack(&alternate, nullptr);
    struct sigaction fault {};
    fault.sa_handler = OnFault;
    fault.sa_flags = SA_ONSTACK;
    sigemptyset(&fault.sa_mask);
    for (const int sig : {SIGSEGV, SIGBUS, SIGABRT})
        ::sigaction(sig, &fault, nullptr);
    std::set_terminate(OnTerminate);
    Applied = true;
    SetCpuLimit();
}

void RenewPageTime() {
    if (Applied) SetCpuLimit();
}

void LimitsOption(TArgs& args, const char* command) {
    const bool on = args.Flag("--limits");
    const bool off = args.Flag("--no-limits");
    if (on && off) throw EUsage{"give --limits or --no-limits, not both"};
    if (!off) ApplyProcessLimits(command);
}

const char* MemoryLimitMessage() {
    return Applied ? MemoryMessage : nullptr;
}

} // namespace pagimo::tools
