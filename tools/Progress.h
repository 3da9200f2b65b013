#pragma once
// TProgress: how far a long command has got, on standard error. On a terminal one line, redrawn at
// most ten times a second (done, of how many where known, the rate, the time left) and cleared at
// the end; with --progress plain lines for logs instead, one at every tenth of the work or every 10
// seconds; nothing when standard error is not a terminal or with --quiet.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace pagimo::tools {

class TProgress {
public:
    enum TMode { pmNone, pmTerminal, pmLines };

    // The mode every TProgress takes: qrptool's --quiet and --progress, taken out of args (before a
    // "--"), else a terminal line when standard error is a terminal.
    static void TakeOptions(std::vector<std::string>& args);
    static TMode DefaultMode();

    // command names the line ("qrptool convert"), unit what is counted ("pages"); total 0: unknown.
    // A command whose result goes to standard output says so with toStdout: no terminal line is
    // drawn when standard output is a terminal too, where the two would mix.
    TProgress(std::string command, std::string unit, int64_t total = 0, bool toStdout = false);
    ~TProgress(); // Finish
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    void SetTotal(int64_t total) { FTotal = total; }
    void SetUnit(std::string unit) { FUnit = std::move(unit); }
    // done so far; shown when it is time to.
    void Update(int64_t done);
    void Step() { Update(FDone + 1); }
    int64_t Done() const { return FDone; }
    // Takes the terminal line away before something else is written to standard error; the next
    // update draws it again.
    void Clear();
    // Clears the terminal line for good; with plain lines writes the last one unless it was written.
    void Finish();
    // Clear on the progress shown last, if any: for messages written from elsewhere.
    static void ClearShown();

    TMode Mode() const { return FMode; }

private:
    std::string FCommand, FUnit;
    int64_t FTotal, FDone = 0;
    TMode FMode;
    bool FShown = false, FDrawn = false, FFinished = false;
    int FLastTenth = 0;
    using TClock = std::chrono::steady_clock;
    TClock::time_point FStart, FLastDrawn;
    std::string Text(bool terminal) const;
    void Write(const char* before, const std::string& text, const char* after);
};

} // namespace pagimo::tools
