#include "CupsFixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace pagimo::test {

namespace {

std::unique_ptr<TCupsFixture> SharedFixture;
std::string SharedError;
bool SharedTried = false;

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

bool PortAnswers(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

template <class Pred> bool WaitUntil(Pred pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool Alive(int pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

void StopPid(int pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (WaitUntil([&] { return !Alive(pid); }, 3000ms)) return;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

bool Installed(const char* path) {
    return access(path, X_OK) == 0;
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Child side of fork: die with the parent, send output to log, run argv.
[[noreturn]] void Exec(const std::vector<std::string>& argv, int outFd, pid_t parent, char** env) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (outFd >= 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(outFd, STDERR_FILENO);
        close(outFd);
    }
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvpe(args[0], args.data(), env ? env : environ);
    _exit(127);
}

} // namespace

TCupsFixture* TCupsFixture::Shared() {
    if (!SharedTried) {
        SharedTried = true;
        std::unique_ptr<TCupsFixture> f(new TCupsFixture);
        if (f->Start(SharedError)) {
            SharedFixture = std::move(f);
            std::atexit(&TCupsFixture::StopShared);
        } else {
            f->Stop();
        }
    }
    return SharedFixture.get();
}

const std::string& TCupsFixture::Error() {
    return SharedError;
}

void TCupsFixture::StopShared() {
    SharedFixture.reset();
}

TCupsFixture::~TCupsFixture() {
    Stop();
}

std::string TCupsFixture::PrinterUri() const {
    return "ipp://localhost:" + std::to_string(FIppPort) + "/ipp/print";
}

int TCupsFixture::Spawn(const std::vector<std::string>& argv, const std::string& log) {
    int fd = open((FRoot / log).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t parent = getpid();
    // Only the daemons see the private system bus: the test process itself must not browse DNS-SD,
    // or libcups would list the printers other fixtures on this machine announce.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "DBUS_SYSTEM_BUS_ADDRESS=", 24) != 0) envStrings.emplace_back(*e);
    }
    if (!FBusAddress.empty()) envStrings.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + FBusAddress);
    std::vector<char*> env;
    for (auto& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) Exec(argv, fd, parent, env.data());
    if (fd >= 0) close(fd);
    if (pid > 0) FPids.push_back(pid);
    return pid;
}

int TCupsFixture::Run(const std::vector<std::string>& argv, std::string* output, std::string* errors) const {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return -1;
    // Standard error goes to a file when asked for apart, so that neither pipe can fill and block.
    const fs::path errorFile =
        (FRoot.empty() ? fs::temp_directory_path() : FRoot) / ("run-" + std::to_string(getpid()) + ".err");
    const int errFd = errors ? open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFd[0]);
        if (errFd >= 0) {
            dup2(pipeFd[1], STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            close(pipeFd[1]);
            Exec(argv, -1, parent, nullptr);
        }
        Exec(argv, pipeFd[1], parent, nullptr);
    }
    close(pipeFd[1]);
    if (errFd >= 0) close(errFd);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFd[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    close(pipeFd[0]);
    int status = 0;
    const bool waited = pid > 0 && waitpid(pid, &status, 0) >= 0;
    if (errors) {
        *errors = ReadFile(errorFile);
        fs::remove(errorFile);
    }
    if (!waited) return -1;
    if (output) *output = std::move(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool TCupsFixture::Start(std::string& error) {
    for (const char* p : {"/usr/sbin/cupsd", "/usr/sbin/ippeveprinter", "/usr/sbin/lpadmin", "/usr/bin/ipptool",
                          "/usr/sbin/avahi-daemon", "/usr/bin/dbus-daemon"}) {
        if (!Installed(p)) {
            error = std::string(p) + " is not installed";
            return false;
        }
    }
    if (geteuid() != 0) {
        error = "a private cupsd and avahi-daemon need root";
        return false;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/pagimo-cups-XXXXXX";
    if (!mkdtemp(templ.data())) {
        error = "cannot create a temporary folder";
        return false;
    }
    FRoot = templ;
    fs::permissions(FRoot, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    FSpool = FRoot / "printer";
    for (const char* d : {"printer", "etc", "spool", "cache", "state", "tmp", "log"})
        fs::create_directories(FRoot / d);

    // A system bus of our own: avahi publishes on it and the printer emulator finds avahi through it.
    const fs::path busSocket = FRoot / "dbus.sock";
    WriteFile(FRoot / "dbus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>system</type><listen>unix:path=" +
                  busSocket.string() +
                  "</listen><auth>EXTERNAL</auth>"
                  "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
                  "<allow send_type=\"method_call\"/><allow send_type=\"signal\"/>"
                  "<allow send_type=\"method_return\"/><allow send_type=\"error\"/>"
                  "<allow receive_type=\"method_call\"/><allow receive_type=\"signal\"/>"
                  "<allow receive_type=\"method_return\"/><allow receive_type=\"error\"/>"
                  "</policy></busconfig>\n");
    Spawn({"dbus-daemon", "--config-file=" + (FRoot / "dbus.conf").string(), "--nofork"}, "dbus.log");
    if (!WaitUntil([&] { return fs::exists(busSocket); }, 5000ms)) {
        error = "dbus-daemon did not start: " + ReadFile(FRoot / "dbus.log");
        return false;
    }
    FBusAddress = "unix:path=" + busSocket.string();

    // avahi keeps its pid file in /run/avahi-daemon and refuses to run twice; where mount namespaces
    // are allowed it gets a private copy of that folder, so several fixtures can run side by side.
    WriteFile(FRoot / "avahi.conf", "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\nenable-dbus=yes\n"
                                    "[publish]\npublish-addresses=no\npublish-hinfo=no\npublish-workstation=no\n"
                                    "[wide-area]\nenable-wide-area=no\n");
    const std::string avahi = "avahi-daemon -f " + (FRoot / "avahi.conf").string() +
                              " --no-rlimits --no-drop-root --no-chroot --no-proc-title";
    fs::create_directories("/run/avahi-daemon");
    bool avahiUp = false;
    if (Installed("/usr/bin/unshare")) {
        const int pid = Spawn({"unshare", "-m", "--propagation", "private", "sh", "-c",
                               "mount -t tmpfs tmpfs /run/avahi-daemon && exec " + avahi},
                              "avahi.log");
        std::this_thread::sleep_for(300ms);
        avahiUp = pid > 0 && Alive(pid);
        if (!avahiUp) FPids.pop_back();
    }
    if (!avahiUp) {
        // Another fixture's avahi may hold the pid file for a while: wait for it to go.
        avahiUp = WaitUntil(
            [&] {
                const int pid = Spawn({"sh", "-c", "exec " + avahi}, "avahi.log");
                std::this_thread::sleep_for(300ms);
                if (pid > 0 && Alive(pid)) return true;
                FPids.pop_back();
                return false;
            },
            60000ms);
    }
    if (!avahiUp) {
        error = "avahi-daemon did not start: " + ReadFile(FRoot / "avahi.log");
        return false;
    }

    // The printer: keeps each document (N-title.pdf) and runs a command that ends the job at once,
    // so that CUPS sends the next job without waiting for a simulated print.
    FIppPort = FreePort();
    const std::string name = "Pagimo Test " + std::to_string(getpid());
    bool printerUp = WaitUntil(
        [&] {
            const int pid =
                Spawn({"ippeveprinter", "-d", FSpool.string(), "-k", "-c", "/bin/true", "-p", std::to_string(FIppPort),
                       "-f", "application/pdf,image/pwg-raster,image/urf", "-2", "-n", "localhost", name},
                      "ippeveprinter.log");
            const bool answered = WaitUntil(
                [&] {
                    return !Alive(pid) ||
                           Run({"ipptool", "-q", "-T", "2", PrinterUri(), "get-printer-attributes.test"}) == 0;
                },
                5000ms);
            if (answered && Alive(pid)) return true;
            StopPid(pid);
            FPids.pop_back();
            return false;
        },
        20000ms);
    if (!printerUp) {
        error = "ippeveprinter did not start: " + ReadFile(FRoot / "ippeveprinter.log");
        return false;
    }

    FCupsPort = FreePort();
    FServer = "localhost:" + std::to_string(FCupsPort);
    WriteFile(FRoot / "etc/cupsd.conf", "Listen 127.0.0.1:" + std::to_string(FCupsPort) +
                                            "\nLogLevel warn\nMaxLogSize 0\nBrowsing No\nDefaultAuthType None\n"
                                            "WebInterface No\nPreserveJobHistory Yes\nPreserveJobFiles Yes\n"
                                            "<Location />\n  Order allow,deny\n  Allow from 127.0.0.1\n</Location>\n"
                                            "<Policy default>\n  <Limit All>\n    Order allow,deny\n"
                                            "    Allow from 127.0.0.1\n  </Limit>\n</Policy>\n");
    WriteFile(FRoot / "etc/cups-files.conf",
              "ServerRoot " + (FRoot / "etc").string() + "\nRequestRoot " + (FRoot / "spool").string() + "\nCacheDir " +
                  (FRoot / "cache").string() + "\nStateDir " + (FRoot / "state").string() + "\nTempDir " +
                  (FRoot / "tmp").string() + "\nAccessLog " + (FRoot / "log/access_log").string() + "\nErrorLog " +
                  (FRoot / "log/error_log").string() + "\nPageLog " + (FRoot / "log/page_log").string() +
                  "\nFileDevice Yes\nSandboxing Relaxed\n");
    Spawn({"cupsd", "-f", "-c", (FRoot / "etc/cupsd.conf").string(), "-s", (FRoot / "etc/cups-files.conf").string()},
          "cupsd.log");
    if (!WaitUntil([&] { return PortAnswers(FCupsPort); }, 10000ms)) {
        error = "cupsd did not start: " + ReadFile(FRoot / "cupsd.log") + ReadFile(FRoot / "log/error_log");
        return false;
    }
    setenv("CUPS_SERVER", FServer.c_str(), 1);
    std::string out;
    const bool queued = WaitUntil(
        [&] {
            return Run({"lpadmin", "-p", FQueue, "-E", "-v", PrinterUri(), "-m", "everywhere"}, &out) == 0 &&
                   Run({"lpadmin", "-d", FQueue}, &out) == 0;
        },
        10000ms);
    if (!queued) {
        error = "lpadmin failed: " + out;
        return false;
    }
    // The queue's PPD is made from the printer's attributes; tests read its papers, sources and
    // duplex, so they start only once it is complete (the printer is two-sided).
    const fs::path ppd = FRoot / "etc" / "ppd" / (FQueue + ".ppd");
    std::string seen;
    const bool complete = WaitUntil(
        [&] {
            // Complete: it offers duplex and has stopped growing.
            std::string now = ReadFile(ppd);
            const bool done = !now.empty() && now == seen && now.find("*OpenUI *Duplex") != std::string::npos;
            seen = std::move(now);
            return done;
        },
        10000ms);
    if (!complete) {
        error = "the queue's PPD did not appear: " + ppd.string();
        return false;
    }
    return true;
}

void TCupsFixture::Stop() {
    for (auto it = FPids.rbegin(); it != FPids.rend(); ++it)
        StopPid(*it);
    FPids.clear();
    if (!FRoot.empty() && !std::getenv("PAGIMO_KEEP_CUPS")) {
        std::error_code ec;
        fs::remove_all(FRoot, ec);
    }
    FRoot.clear();
}

std::vector<fs::path> TCupsFixture::Documents() const {
    // A document is complete once the printer has run its command on it, which leaves N-title.prn.
    std::vector<std::pair<int, fs::path>> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(FSpool, ec)) {
        const fs::path p = e.path();
        if (p.extension() == ".prn") continue;
        fs::path done = p;
        done.replace_extension(".prn");
        if (!fs::exists(done)) continue;
        found.emplace_back(std::atoi(p.filename().c_str()), p);
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

std::vector<fs::path> TCupsFixture::WaitForDocuments(size_t count, std::chrono::milliseconds timeout) const {
    WaitUntil([&] { return Documents().size() >= count; }, timeout);
    return Documents();
}

fs::path TCupsFixture::SubmittedDocument(int job) const {
    char name[32];
    std::snprintf(name, sizeof name, "d%05d-001", job);
    return FRoot / "spool" / name;
}

std::map<std::string, std::string> TCupsFixture::PrinterJob(int job) const {
    const fs::path test = FRoot / "get-job.test";
    if (!fs::exists(test)) {
        WriteFile(test, "{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
                        " ATTR charset attributes-charset utf-8\n ATTR naturalLanguage attributes-natural-language en\n"
                        " ATTR uri printer-uri $uri\n ATTR integer job-id $job_id\n"
                        " ATTR keyword requested-attributes all\n}\n");
    }
    std::string out;
    Run({"ipptool", "-tv", "-d", "job_id=" + std::to_string(job), PrinterUri(), test.string()}, &out);
    std::map<std::string, std::string> attributes;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const auto open = line.find(" (");
        const auto eq = line.find(") = ");
        if (open == std::string::npos || eq == std::string::npos || eq < open) continue;
        const auto start = line.find_first_not_of(' ');
        attributes[line.substr(start, open - start)] = line.substr(eq + 4);
    }
    return attributes;
}

} // namespace pagimo::test
