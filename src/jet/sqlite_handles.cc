// The owners of SQLite's handles.
#include "jet/sqlite_handles.h"

#include <sqlite3.h>

namespace qorvel::jet {

void FinalizeStatement::operator()(sqlite3_stmt* statement) const noexcept {
  sqlite3_finalize(statement);
}

void CloseConnection::operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }

int OpenConnection(const char* filename, int flags, Connection* db) {
  sqlite3* opened = nullptr;
  const int rc = sqlite3_open_v2(filename, &opened, flags, nullptr);
  db->reset(opened);
  return rc;
}

Statement PrepareStatement(sqlite3* db, std::string_view sql, int* result_code,
                           unsigned int flags) {
  sqlite3_stmt* prepared = nullptr;
  *result_code = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), flags, &prepared,
                                    nullptr);
  Statement statement(prepared);
  if (*result_code != SQLITE_OK) statement.reset();
  return statement;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

std::string SqliteFileName(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace qorvel::jet
