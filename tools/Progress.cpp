#include "tools/Progress.h"

#include <cstdio>
#include <unistd.h>

namespace pagimo::tools {

namespace {

int ChosenMode = -1; // -1: not chosen, a terminal decides
TProgress* Shown = nullptr;

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

} // namespace

void TProgress::TakeOptions(std::vector<std::string>& args) {
    for (auto it = args.begin(); it != args.end() && *it != "--";) {
        if (*it == "--quiet" || *it == "--progress") {
            ChosenMode = *it == "--quiet" ? pmNone : pmLines;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
}

TProgress::TMode TProgress::DefaultMode() {
    if (ChosenMode >= 0) return static_cast<TMode>(ChosenMode);
    return ::isatty(STDERR_FILENO) ? pmTerminal : pmNone;
}

TProgress::TProgress(std::string command, std::string unit, int64_t total, bool toStdout)
    : FCommand(std::move(command)), FUnit(std::move(unit)), FTotal(total), FMode(DefaultMode()), FStart(TClock::now()),
      FLastDrawn(FStart) {
    if (FMode == pmTerminal && toStdout && ::isatty(STDOUT_FILENO)) FMode = pmNone;
}

TProgress::~TProgress() {
    Finish();
}

void TProgress::ClearShown() {
    if (Shown) Shown->Clear();
}

std::string TProgress::Text(bool terminal) const {
    const double seconds = std::chrono::duration<double>(TClock::now() - FStart).count();
    char text[256];
    int n = 0;
    if (FTotal > 0)
        n = std::snprintf(text, sizeof text, "%s: %lld/%lld %s (%d %%)", FCommand.c_str(),
                          static_cast<long long>(FDone), static_cast<long long>(FTotal), FUnit.c_str(),
                          static_cast<int>(FDone * 100 / FTotal));
    else
        n = std::snprintf(text, sizeof text, "%s: %lld %s", FCommand.c_str(), static_cast<long long>(FDone),
                          FUnit.c_str());
    std::string line(text, static_cast<size_t>(n > 0 ? std::min<int>(n, sizeof text - 1) : 0));
    if (seconds >= 0.2 && FDone > 0) {
        const double rate = FDone / seconds;
        std::snprintf(text, sizeof text, rate >= 10 ? ", %.0f/s" : ", %.1f/s", rate);
        line += text;
        if (FTotal > FDone)
            line += ", " + Duration((FTotal - FDone) / rate) + " left";
        else if (!terminal)
            line += ", in " + Duration(seconds);
    }
    return line;
}

void TProgress::Write(const char* before, const std::string& text, const char* after) {
    std::fputs(before, stderr);
    std::fputs(text.c_str(), stderr);
    std::fputs(after, stderr);
    std::fflush(stderr);
}

void TProgress::Update(int64_t done) {
    FDone = done;
    if (FMode == pmNone || FFinished) return;
    const TClock::time_point now = TClock::now();
    if (FMode == pmTerminal) {
        // The first update draws at once, later ones at most ten times a second.
        if (FDrawn && now - FLastDrawn < std::chrono::milliseconds(100)) return;
        FDrawn = true;
        FLastDrawn = now;
        FShown = true;
        Shown = this;
        Write("\r", Text(true), "\033[K");
        return;
    }
    const int tenth = FTotal > 0 ? static_cast<int>(done * 10 / FTotal) : 0;
    if (tenth > FLastTenth || now - FLastDrawn >= std::chrono::seconds(10)) {
        FLastTenth = tenth;
        FLastDrawn = now;
        FShown = true;
        Write("", Text(false), "\n");
    }
}

void TProgress::Clear() {
    if (Shown == this) Shown = nullptr;
    if (FMode != pmTerminal || !FShown) return;
    FShown = false;
    Write("\r", {}, "\033[K");
}

void TProgress::Finish() {
    if (FFinished) return;
    FFinished = true;
    if (Shown == this) Shown = nullptr;
    if (FMode == pmTerminal) {
        if (FShown) Write("\r", {}, "\033[K");
    } else if (FMode == pmLines && FDone > 0 && (FTotal <= 0 || FLastTenth < 10)) {
        Write("", Text(false), "\n");
    }
    FShown = false;
}

} // namespace pagimo::tools
