// SQLite as the Windows build compiles it: the pinned version, safe for
// connections on many threads, and a table carried through
// sqlite3_serialize and sqlite3_deserialize into a second connection, read
// only, as the engine shares its in-memory images.
#include <sqlite3.h>

#include <memory>
#include <string>

#include "check.h"

namespace {

using namespace qorvel::wintest;

using Database = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;

Database OpenMemory() {
  sqlite3* db = nullptr;
  CHECK_EQ(sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
           SQLITE_OK);
  return Database(db, sqlite3_close);
}

// The rows of table t as "id:name;" each, or the error.
std::string Rows(sqlite3* db) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT id, name FROM t ORDER BY id", -1, &statement, nullptr) != SQLITE_OK) {
    return sqlite3_errmsg(db);
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(statement, sqlite3_finalize);
  std::string rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    rows += std::to_string(sqlite3_column_int64(statement, 0)) + ":" +
            reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)) + ";";
  }
  return rows;
}

}  // namespace

int main() {
  Group("the pinned SQLite");
  CHECK_EQ(std::string(sqlite3_libversion()), std::string(QORVEL_SQLITE_VERSION));
  CHECK_EQ(sqlite3_threadsafe(), 1);

  Group("an image through sqlite3_serialize and sqlite3_deserialize");
  const Database source = OpenMemory();
  const char* fill = "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT); INSERT INTO t VALUES (1, 'one'), (2, 'zwei');";
  CHECK_EQ(sqlite3_exec(source.get(), fill, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(source.get(), "main", &size, 0);
  if (!CHECK(image != nullptr && size > 0)) return Finish();
  const Database copy = OpenMemory();
  // FREEONCLOSE: the copy owns the image from here, also when this fails.
  CHECK_EQ(sqlite3_deserialize(copy.get(), "main", image, size, size,
                               SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY), SQLITE_OK);
  CHECK_EQ(Rows(copy.get()), std::string("1:one;2:zwei;"));
  CHECK_EQ(sqlite3_exec(copy.get(), "INSERT INTO t VALUES (3, 'drei')", nullptr, nullptr, nullptr), SQLITE_READONLY);
  return Finish();
}
