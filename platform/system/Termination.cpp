#include "platform/system/Termination.h"

#include <array>
#include <cerrno>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pagimo {

namespace {

// Slots of registered paths, each a heap copy owned by the slot. A signal handler only reads them; the
// thread that registers or unregisters takes a slot's pointer out before freeing it, so a handler that
// interrupts it sees either the path or nothing.
constexpr size_t Slots = 512;
std::array<std::atomic<char*>, Slots> Registered{};

int SignalPipe[2] = {-1, -1};
std::atomic<int> Requested{0};
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

void CleanupAndReraise(int sig) {
    RemoveTemporaries();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void MarkRequest(int sig) {
    int none = 0;
    if (!Requested.compare_exchange_strong(none, sig)) CleanupAndReraise(sig);
}

void NotifyLoop(int sig) {
    const int saved = errno;
    RemoveTemporaries();
    const auto byte = static_cast<unsigned char>(sig);
    if (SignalPipe[1] >= 0) {
        const ssize_t written = ::write(SignalPipe[1], &byte, 1);
        static_cast<void>(written); // a full pipe already holds a signal the loop will see
    }
    errno = saved;
}

void Install(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : Signals) {
        // A signal the parent chose to ignore (nohup) stays ignored.
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &action, nullptr);
    }
}

} // namespace

void RegisterTemporary(const std::string& path) {
    if (path.empty()) return;
    char* copy = ::strdup(path.c_str());
    if (!copy) return;
    for (auto& slot : Registered) {
        char* expected = nullptr;
        if (slot.compare_exchange_strong(expected, copy)) return;
    }
    std::free(copy);
}

void UnregisterTemporary(const std::string& path) {
    if (path.empty()) return;
    for (auto& slot : Registered) {
        char* p = slot.load();
        if (p && path == p && slot.compare_exchange_strong(p, nullptr)) {
            std::free(p);
            return;
        }
    }
}

void RemoveTemporaries() noexcept {
    for (auto& slot : Registered) {
        if (const char* p = slot.load()) ::unlink(p);
    }
}

void InstallTerminationCleanup() {
    Install(CleanupAndReraise);
}

void InstallTerminationRequest() {
    Install(MarkRequest);
}

int TerminationRequested() noexcept {
    return Requested.load();
}

int TerminationSignalFd() {
    if (SignalPipe[0] < 0 && ::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        SignalPipe[0] = SignalPipe[1] = -1;
        return -1;
    }
    Install(NotifyLoop);
    return SignalPipe[0];
}

} // namespace pagimo
