#include "engine/SQLiteGuard.h"

#include "engine/DataSet.h"
#include "engine/RunInterrupted.h"
#include "platform/system/Errors.h"
#include "platform/system/Termination.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
#include <utility>

namespace pagimo::engine {

namespace {

// Set when the authorizer refuses something, so that the error that follows (whose code SQLite does
// not always make SQLITE_AUTH) reads as a statement refused for writing.
thread_local bool Denied = false;

int Deny() {
    Denied = true;
    return SQLITE_DENY;
}

bool Named(const char* name, std::initializer_list<std::string_view> names) {
    if (!name) return false;
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(names.begin(), names.end(), lower) != names.end();
}

// Asked while a statement is prepared (and while VACUUM runs): what a statement may do.
int Authorize(void*, int action, const char* a, const char* b, const char*, const char*) {
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_FUNCTION:
        // Extensions are machine code; the tokenizer function takes pointers.
        return Named(b, {"load_extension", "fts3_tokenizer"}) ? Deny() : SQLITE_OK;
    case SQLITE_UPDATE:
        // SQLite itself reads the schema table this way (table-valued pragmas); no statement can
        // write it while writable_schema stays off, which a pragma cannot change here.
        return Named(a, {"sqlite_master", "sqlite_schema", "sqlite_temp_master", "sqlite_temp_schema"}) ? SQLITE_OK
                                                                                                        : Deny();
    case SQLITE_PRAGMA:
        // Pragmas that only tell about a table or index, and reading ones without a value.
        if (Named(a, {"table_info", "table_xinfo", "index_list", "index_info", "index_xinfo", "foreign_key_list"}))
            return SQLITE_OK;
        if (!b && Named(a, {"user_version", "schema_version", "application_id", "encoding", "page_count", "page_size",
                            "freelist_count", "database_list", "collation_list", "function_list", "module_list",
                            "pragma_list", "table_list", "compile_options", "data_version"}))
            return SQLITE_OK;
        return Deny();
    default:
        // Inserts, deletes, schema changes, ATTACH and DETACH (and with them VACUUM INTO),
        // transactions, savepoints, ANALYZE, REINDEX, virtual tables.
        return Deny();
    }
}

// Called every few thousand virtual-machine steps: a statement that runs long without giving a row
// (a recursive query that filters out everything) still ends when the run is asked to.
int Progress(void*) {
    return TerminationRequested() ? 1 : 0;
}

} // namespace

void GuardSQLiteConnection(sqlite3* db, int64_t maxValueSize) {
    if (!db) return;
    sqlite3_set_authorizer(db, Authorize, nullptr);
    sqlite3_progress_handler(db, 20000, Progress, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, static_cast<int>(std::clamp<int64_t>(maxValueSize, 1, INT_MAX)));
}

void ForgetSQLiteDenial() {
    Denied = false;
}

void RefuseWritingStatement(sqlite3_stmt* statement, const std::string& name) {
    if (statement && !sqlite3_stmt_readonly(statement))
        throw EQRError(name + ": only statements that read are allowed");
}

void ThrowSQLiteGuardError(int rc, const std::string& name, int64_t maxValueSize) {
    if ((rc & 0xFF) == SQLITE_INTERRUPT || (rc & 0xFF) == SQLITE_TOOBIG || (rc & 0xFF) == SQLITE_AUTH || Denied)
        ThrowSQLiteError(nullptr, rc, name, maxValueSize);
}

void ThrowSQLiteError(sqlite3* db, int rc, const std::string& name, int64_t maxValueSize) {
    if ((rc & 0xFF) == SQLITE_INTERRUPT) {
        if (const int signal = TerminationRequested()) throw ERunInterrupted(signal, "while reading " + name);
    }
    if ((rc & 0xFF) == SQLITE_TOOBIG) throw EQRError(ValueTooLarge(name, maxValueSize));
    if ((rc & 0xFF) == SQLITE_AUTH || std::exchange(Denied, false))
        throw EQRError(name + ": only statements that read are allowed");
    throw EQRError(name + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

} // namespace pagimo::engine
