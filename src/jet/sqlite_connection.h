// The engine's own SQLite connections (the mirror's, and those that build
// table images and write exports): opening one in memory with the JETTEXT
// collation, running SQL on one, and raising SQLite's failures on one as
// errors of the engine.
#ifndef QORVEL_JET_SQLITE_CONNECTION_H_
#define QORVEL_JET_SQLITE_CONNECTION_H_

#include <string>
#include <string_view>

#include "jet/sqlite_handles.h"

namespace qorvel::jet {

// Raises kErrEngineFailure "<what>: <SQLite's message>" for a failed call
// on the engine's connection `db` ("<what>: out of memory" when SQLite ran
// out of memory).
[[noreturn]] void RaiseSqlite(sqlite3* db, std::u16string_view what);

// Opens an in-memory connection with the JETTEXT collation. Raises
// kErrEngineFailure when SQLite cannot.
Connection OpenInMemory();

// Runs `sql` on `db`; raises as RaiseSqlite ("The engine failed") when it
// fails.
void Exec(sqlite3* db, const std::string& sql);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_SQLITE_CONNECTION_H_
