// make_example_db SCRIPT.sql OUT.db: builds the example database from its SQL script.
//
// The build runs this instead of the sqlite3 shell so that nothing beyond the SQLite library is
// needed. The output is written under a temporary name and renamed at the end, so a failing script
// never leaves a half-filled database behind for the next build step to pick up.

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_example_db SCRIPT.sql OUT.db\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make_example_db: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::filesystem::path out = argv[2];
    const std::filesystem::path tmp = out.string() + ".tmp";
    std::error_code ec;
    std::filesystem::remove(tmp, ec);

    sqlite3* db = nullptr;
    if (sqlite3_open(tmp.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "make_example_db: cannot create %s: %s\n", tmp.c_str(), sqlite3_errmsg(db));
        sqlite3_close(db);
        return 1;
    }
    char* error = nullptr;
    const std::string wrapped = "BEGIN;\n" + script + "\nCOMMIT;\n";
    const int rc = sqlite3_exec(db, wrapped.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "make_example_db: %s: %s\n", argv[1], error ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        sqlite3_close(db);
        std::filesystem::remove(tmp, ec);
        return 1;
    }
    sqlite3_close(db);
    std::filesystem::rename(tmp, out, ec);
    if (ec) {
        std::fprintf(stderr, "make_example_db: cannot write %s: %s\n", out.c_str(), ec.message().c_str());
        std::filesystem::remove(tmp, ec);
        return 1;
    }
    return 0;
}
