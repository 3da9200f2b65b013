#include "PostgresFixture.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pagimo::test {

namespace {

std::unique_ptr<TPostgresFixture> SharedFixture;
std::string SharedError;
bool SharedTried = false;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TPostgresFixture* TPostgresFixture::Shared() {
    if (!SharedTried) {
        SharedTried = true;
        auto fixture = std::unique_ptr<TPostgresFixture>(new TPostgresFixture());
        if (fixture->Start(SharedError)) {
            SharedFixture = std::move(fixture);
            std::atexit([] { SharedFixture.reset(); });
        }
    }
    return SharedFixture.get();
}

const std::string& TPostgresFixture::Error() {
    return SharedError;
}

TPostgresFixture::~TPostgresFixture() {
    Stop();
}

std::string TPostgresFixture::AsServer(const std::string& command) const {
    return FAsPostgres ? "runuser -u postgres -- " + command : command;
}

bool TPostgresFixture::Start(std::string& error) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
        if (fs::exists(entry.path() / "bin" / "initdb")) FBin = entry.path() / "bin";
    if (FBin.empty()) {
        error = "no PostgreSQL server is installed (/usr/lib/postgresql/*/bin/initdb)";
        return false;
    }
    // The server outlives the test that starts it and runs as another user: its folder goes in the
    // system's temporary folder, not in $TMPDIR, which a test may point at its own private folder.
    std::string pattern = (fs::path(P_tmpdir) / "pagimo-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        error = "cannot make a temporary folder";
        return false;
    }
    FRoot = pattern;
    FData = FRoot / "data";
    fs::create_directory(FData);
    // The server's user must reach its folders: readable on the way, its own below.
    fs::permissions(FRoot, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    FAsPostgres = ::geteuid() == 0;
    if (FAsPostgres) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw || ::chown(FRoot.c_str(), pw->pw_uid, pw->pw_gid) != 0 ||
            ::chown(FData.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
            error = "no system user postgres to run the server as";
            return false;
        }
    }
    std::ofstream(FRoot / "password") << Password() << "\n";
    const std::string initdb = AsServer((FBin / "initdb").string() + " -D " + Quote(FData.string()) +
                                        " -U postgres -A scram-sha-256 --pwfile=" + Quote((FRoot / "password").string()) +
                                        " --locale=C -E UTF8 > " + Quote((FRoot / "initdb.log").string()) + " 2>&1");
    if (Shell(initdb) != 0) {
        error = "initdb failed: " + ReadAll(FRoot / "initdb.log");
        return false;
    }
    FPort = FreePort();
    const std::string options = "-p " + std::to_string(FPort) + " -k " + FRoot.string() +
                                " -c listen_addresses=127.0.0.1 -c fsync=off";
    const std::string start = AsServer((FBin / "pg_ctl").string() + " -D " + Quote(FData.string()) + " -l " +
                                       Quote((FRoot / "server.log").string()) + " -o " + Quote(options) +
                                       " -w -t 60 start > /dev/null 2>&1");
    if (Shell(start) != 0) {
        error = "the server did not start: " + ReadAll(FRoot / "server.log");
        return false;
    }
    FRunning = true;
    return true;
}

void TPostgresFixture::Stop() {
    if (FRunning) {
        const std::string stop =
            AsServer((FBin / "pg_ctl").string() + " -D " + Quote(FData.string()) + " -m immediate -w stop > /dev/null 2>&1");
        if (Shell(stop) != 0) {
            // Still there: end it by the process id it recorded.
            std::ifstream pidFile(FData / "postmaster.pid");
            pid_t pid = 0;
            if (pidFile >> pid && pid > 0) ::kill(pid, SIGKILL);
        }
        FRunning = false;
    }
    std::error_code ec;
    if (!FRoot.empty()) fs::remove_all(FRoot, ec);
}

bool TPostgresFixture::Sql(const std::string& sql, std::string* out, std::string* err,
                           const std::string& database) const {
    const fs::path script = FRoot / ("script-" + std::to_string(::getpid()) + ".sql");
    const fs::path errors = FRoot / ("script-" + std::to_string(::getpid()) + ".err");
    std::ofstream(script) << sql;
    const std::string command = "PGPASSWORD=" + Quote(Password()) + " " + (FBin / "psql").string() + " -X -q -A -t -v ON_ERROR_STOP=1 -h " +
                                Host() + " -p " + std::to_string(FPort) + " -U " + User() + " -d " + Quote(database) +
                                " -f " + Quote(script.string()) + " 2>" + Quote(errors.string());
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (out) *out = output;
    if (err) *err = ReadAll(errors);
    fs::remove(script);
    fs::remove(errors);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace pagimo::test
