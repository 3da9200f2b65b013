#pragma once
// A private printing system for tests: a D-Bus and an avahi-daemon (the printer emulator will not
// start without DNS-SD), an IPP Everywhere printer (ippeveprinter) that keeps every document it
// receives, and a cupsd on a loopback port with one queue for that printer. Everything lives in a
// temporary folder and is stopped by process id when the fixture goes (the daemons also get SIGTERM
// should the test process die). CUPS_SERVER is set so that Qt and libcups talk to this cupsd.
//
// Use TCupsFixture::Shared() from tests; it starts once per process and skips (GTEST_SKIP) when the
// programs are not installed.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pagimo::test {

class TCupsFixture {
public:
    // The process-wide fixture, started on first use; null when it could not start (Error() says why).
    static TCupsFixture* Shared();
    static const std::string& Error();
    // Stops the shared fixture (registered with atexit; safe to call twice).
    static void StopShared();

    ~TCupsFixture();

    const std::string& Queue() const { return FQueue; }
    const std::string& Server() const { return FServer; } // "localhost:PORT"
    const std::filesystem::path& Root() const { return FRoot; }
    const std::filesystem::path& PrinterSpool() const { return FSpool; }
    std::string PrinterUri() const;

    // Documents the printer has received completely, oldest first.
    std::vector<std::filesystem::path> Documents() const;
    // Waits until at least count documents have arrived; returns them (fewer on timeout).
    std::vector<std::filesystem::path> WaitForDocuments(size_t count, std::chrono::milliseconds timeout) const;
    // The attributes of the printer's job number job ("copies" -> "2", "sides" -> "one-sided", the
    // media-col collection as its text). The printer numbers jobs 1, 2 ... as documents arrive.
    std::map<std::string, std::string> PrinterJob(int job) const;

    // The document of CUPS job id as the queue received it (before its filters), kept in its spool.
    std::filesystem::path SubmittedDocument(int job) const;

    // Runs a program with this fixture's environment; returns its exit status, its standard output and
    // (when errors is given) its standard error apart; without errors both go to output.
    int Run(const std::vector<std::string>& argv, std::string* output = nullptr, std::string* errors = nullptr) const;

private:
    TCupsFixture() = default;
    bool Start(std::string& error);
    void Stop();
    int Spawn(const std::vector<std::string>& argv, const std::string& log);

    std::filesystem::path FRoot, FSpool;
    std::string FQueue = "pagimo";
    std::string FServer;
    std::string FBusAddress;
    int FIppPort = 0, FCupsPort = 0;
    std::vector<int> FPids; // started order; stopped in reverse
};

} // namespace pagimo::test
