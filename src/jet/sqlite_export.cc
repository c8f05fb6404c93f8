// The SQLite export of a database file's tables.
#include "jet/sqlite_export.h"

#include <sqlite3.h>

#include <random>
#include <string>
#include <system_error>

#include "jet/errors.h"
#include "jet/sqlite_connection.h"
#include "jet/sqlite_handles.h"
#include "jet/table_image.h"
#include "jet/table_schema.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

// Writes the given tables into a new SQLite file at `path` (which must
// not exist). Raises AutomationError (kErrEngineFailure) when SQLite cannot.
void WriteTables(const std::filesystem::path& path, const std::vector<const TableInfo*>& tables,
                 const std::vector<std::shared_ptr<const TableImage>>& images) {
  Connection out;
  const std::string target = SqliteFileName(path);
  int rc = OpenConnection(target.c_str(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, &out);
  if (rc != SQLITE_OK) RaiseSqlite(out.get(), u"Cannot create the file '" + PathText(path) + u"'");
  if (RegisterTextCollation(out.get()) != SQLITE_OK) {
    Raise(kErrEngineFailure, u"Cannot register the text collation");
  }
  Exec(out.get(), "ATTACH ':memory:' AS image");
  Exec(out.get(), "BEGIN");
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const TableInfo& table = *tables[i];
    auto* data = const_cast<unsigned char*>(images[i]->data());
    const auto size = static_cast<sqlite3_int64>(images[i]->size());
    if (sqlite3_deserialize(out.get(), "image", data, size, size, SQLITE_DESERIALIZE_READONLY) != SQLITE_OK) {
      RaiseSqlite(out.get(), u"Cannot export the database");
    }
    const std::string exported = "main." + QuoteIdentifier(ToUtf8(table.name));
    Exec(out.get(), CreateTableSql(exported, table, false));
    Exec(out.get(), "INSERT INTO " + exported + " SELECT * FROM image." + QuoteIdentifier(table.sqlite_name) +
                        " ORDER BY rowid");
  }
  Exec(out.get(), "COMMIT");
  Exec(out.get(), "DETACH DATABASE image");
  rc = sqlite3_close(out.release());
  if (rc != SQLITE_OK) Raise(kErrEngineFailure, u"Cannot write the file '" + PathText(path) + u"'");
}

}  // namespace

void ExportTablesToSqlite(const std::filesystem::path& out, const std::filesystem::path& source,
                          const std::vector<const TableInfo*>& tables,
                          const std::vector<std::shared_ptr<const TableImage>>& images) {
  std::error_code error;
  if (std::filesystem::is_directory(out, error)) {
    Raise(kErrEngineFailure, u"Cannot export to '" + PathText(out) + u"': it is a folder.");
  }
  if (std::filesystem::equivalent(out, source, error)) {
    Raise(kErrEngineFailure, u"Cannot export the database file '" + PathText(out) + u"' onto itself.");
  }
  // Write beside the target, then rename over it, so a failure leaves no
  // half-written file under the target's name.
  std::random_device random;
  std::filesystem::path temp = out;
  temp += ".tmp" + std::to_string(random());
  std::filesystem::remove(temp, error);
  try {
    WriteTables(temp, tables, images);
  } catch (...) {
    std::filesystem::remove(temp, error);
    throw;
  }
  std::filesystem::rename(temp, out, error);
  if (error) {
    std::filesystem::remove(temp, error);
    Raise(kErrEngineFailure, u"Cannot write the file '" + PathText(out) + u"'.");
  }
}

}  // namespace qorvel::jet
