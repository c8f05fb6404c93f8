// Owners of SQLite's C handles, so that no path of the engine finalizes a
// statement or closes a connection by hand, and the quoting of names in the
// SQL the engine writes.
//
// A Statement finalizes its sqlite3_stmt and a Connection closes its
// sqlite3 (with sqlite3_close_v2, so a connection outlived by one of its
// statements goes only when that statement does) when they go.
#ifndef QORVEL_JET_SQLITE_HANDLES_H_
#define QORVEL_JET_SQLITE_HANDLES_H_

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace qorvel::jet {

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const noexcept;
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

struct CloseConnection {
  void operator()(sqlite3* db) const noexcept;
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

// Opens the database `filename` with sqlite3_open_v2's `flags` into `*db`
// and returns SQLite's result code. On failure `*db` may still hold the
// connection (for its error message); it closes when `*db` goes.
// Precondition: db is not null.
int OpenConnection(const char* filename, int flags, Connection* db);

// A path as SQLite takes file names on every system: UTF-8.
std::string SqliteFileName(const std::filesystem::path& path);

// Prepares `sql` (one statement) on `db` with sqlite3_prepare_v3's `flags`.
// Returns the statement, or null with the failing result code in
// `*result_code` (SQLITE_OK on success). Precondition: result_code is not
// null.
Statement PrepareStatement(sqlite3* db, std::string_view sql, int* result_code,
                           unsigned int flags = 0);

// `name` as a quoted SQL identifier ("a""b").
std::string QuoteIdentifier(std::string_view name);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_SQLITE_HANDLES_H_
