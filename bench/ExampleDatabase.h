#pragma once
// The example reports' SQLite database for benchmarks, built from examples/invoices.sql once per
// process in the benchmark program's own folder under the temporary directory.

#include "platform/system/Errors.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace pagimo::bench {

// A folder for one benchmark program's files: /tmp/pagimo-bench-NAME-PID.
inline const std::filesystem::path& BenchFolder(const char* name) {
    static const std::filesystem::path dir = [name] {
        std::filesystem::path d =
            std::filesystem::temp_directory_path() / ("pagimo-bench-" + std::string(name) + "-" + std::to_string(getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

// invoices.db in dir, made from the examples' script the first time it is asked for.
inline const std::filesystem::path& ExampleDatabase(const std::filesystem::path& dir) {
    static const std::filesystem::path path = [&dir] {
        const std::filesystem::path db = dir / "invoices.db";
        std::ifstream in(PAGIMO_SOURCE_DIR "/examples/invoices.sql", std::ios::binary);
        const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        sqlite3* handle = nullptr;
        if (script.empty() || sqlite3_open(db.c_str(), &handle) != SQLITE_OK ||
            sqlite3_exec(handle, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close(handle);
            throw EQRError("cannot build the example database in " + db.string());
        }
        sqlite3_close(handle);
        return db;
    }();
    return path;
}

} // namespace pagimo::bench
