#pragma once
// A private PostgreSQL server for tests: initdb in a temporary folder, a server on a free loopback
// port (and a socket in that folder), a superuser "postgres" with a password, stopped by its process
// id when the fixture goes. As root the server runs as the system user postgres (it refuses root).
//
// Use TPostgresFixture::Shared() from tests; it starts once per process and tests skip
// (GTEST_SKIP) with Error() when the server programs are not installed.

#include <filesystem>
#include <memory>
#include <string>

namespace pagimo::test {

class TPostgresFixture {
public:
    static TPostgresFixture* Shared();
    static const std::string& Error();
    ~TPostgresFixture();

    int Port() const { return FPort; }
    static const char* Host() { return "127.0.0.1"; }
    static const char* User() { return "postgres"; }
    static const char* Password() { return "pagimo-test-secret"; }
    const std::filesystem::path& Root() const { return FRoot; }

    // Runs SQL through psql on database (the superuser, stopping at the first error); true when it
    // succeeded. out gets what psql printed (unaligned, tuples only), err its errors.
    bool Sql(const std::string& sql, std::string* out = nullptr, std::string* err = nullptr,
             const std::string& database = "postgres") const;

private:
    bool Start(std::string& error);
    void Stop();
    std::string AsServer(const std::string& command) const; // prefixed to run as the server's user

    std::filesystem::path FRoot, FData, FBin;
    int FPort = 0;
    bool FAsPostgres = false;
    bool FRunning = false;
};

} // namespace pagimo::test
