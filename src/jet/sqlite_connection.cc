// The engine's own SQLite connections.
#include "jet/sqlite_connection.h"

#include <sqlite3.h>

#include "jet/errors.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

// SQLite counts every allocation under one process-wide mutex unless told
// not to; with connections on several threads that mutex would serialise
// them. The setting can only be made before SQLite starts, so the first
// connection of the process makes it (later calls are refused and
// harmless).
void TurnOffMemoryStatistics() {
  static const int kNoMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)kNoMemoryStatistics;
}

}  // namespace

void RaiseSqlite(sqlite3* db, std::u16string_view what) {
  const int code = db != nullptr ? sqlite3_errcode(db) : SQLITE_ERROR;
  Text description(what);
  description += u": ";
  description += FromUtf8(db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  if (code == SQLITE_NOMEM) description = Text(what) + u": out of memory";
  Raise(kErrEngineFailure, description);
}

Connection OpenInMemory() {
  TurnOffMemoryStatistics();
  Connection db;
  const int rc = OpenConnection(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, &db);
  if (rc != SQLITE_OK) {
    Raise(kErrEngineFailure, u"Cannot create the in-memory database: " + FromUtf8(sqlite3_errstr(rc)));
  }
  if (RegisterTextCollation(db.get()) != SQLITE_OK) {
    Raise(kErrEngineFailure, u"Cannot register the text collation");
  }
  return db;
}

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    RaiseSqlite(db, u"The engine failed");
  }
}

}  // namespace qorvel::jet
