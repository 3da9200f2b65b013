#pragma once
// What every SQLite connection of a report data set gets, whichever class opened it (the SQLite
// query and table, and the server query through Qt's QSQLITE driver): a description only reads.

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace pagimo::engine {

// Makes db a connection that only reads, on top of its read-only open: statements that write (the
// temporary database included), change the schema, attach a database (VACUUM INTO writes through an
// attached one), set pragmas or load extensions are refused when they are prepared ("not
// authorized"); a string or blob longer than maxValueSize bytes ends its statement ("string or blob
// too big"), stored ones included; and a statement that runs long without giving rows is interrupted
// when a terminating signal asks the run to end.
void GuardSQLiteConnection(sqlite3* db, int64_t maxValueSize);

// Forgets a refusal of the guard, before a statement is prepared (ThrowSQLiteError tells one).
void ForgetSQLiteDenial();

// Throws EQRError "<name>: only statements that read are allowed" unless SQLite calls the prepared
// statement read-only.
void RefuseWritingStatement(sqlite3_stmt* statement, const std::string& name);

// Throws the error of a failed call on db (code rc) in the words of a run: ERunInterrupted when a
// terminating signal interrupted it, the value limit's message when a value was too large, the
// read-only message when the guard refused the statement, else "<name>: <SQLite's message>".
[[noreturn]] void ThrowSQLiteError(sqlite3* db, int rc, const std::string& name, int64_t maxValueSize);
// The same for errors whose message the caller words itself: returns unless the error is one of the
// guard's (interrupted, too large, refused).
void ThrowSQLiteGuardError(int rc, const std::string& name, int64_t maxValueSize);

} // namespace pagimo::engine
