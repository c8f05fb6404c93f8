// The in-memory SQLite mirror of a database file's tables.
#include "jet/mirror.h"

#include <sqlite3.h>

#include <array>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

struct DeclaredName {
  JetType type;
  const char* declared;
};

constexpr std::array<DeclaredName, 15> kDeclared = {{
    {JetType::kByte, "JetByte INTEGER"},
    {JetType::kInteger, "JetInteger INTEGER"},
    {JetType::kLong, "JetLong INTEGER"},
    {JetType::kSingle, "JetSingle REAL"},
    {JetType::kDouble, "JetDouble REAL"},
    {JetType::kCurrency, "JetCurrency INTEGER"},
    {JetType::kDateTime, "JetDateTime REAL"},
    {JetType::kText, "JetText TEXT"},
    {JetType::kMemo, "JetMemo TEXT"},
    {JetType::kBoolean, "JetBoolean INTEGER"},
    {JetType::kGuid, "JetGUID TEXT"},
    {JetType::kNumeric, "JetNumeric TEXT"},
    {JetType::kBinary, "JetBinary BLOB"},
    {JetType::kOle, "JetOLE BLOB"},
    {JetType::kDateTimeExtended, "JetDateTimeExtended TEXT"},
}};

// Text and Memo compare with the case-insensitive collation. GUIDs are
// stored in one canonical upper-case form, so they compare exactly, which
// makes a join on them as cheap as one on numbers.
bool IsTextType(JetType type) { return type == JetType::kText || type == JetType::kMemo; }

// Raises kErrEngineFailure "<what>: <SQLite's message>" for a failed call
// on the mirror's connection `db` ("<what>: out of memory" when SQLite ran
// out of memory).
[[noreturn]] void RaiseSqlite(sqlite3* db, std::u16string_view what) {
  const int code = db != nullptr ? sqlite3_errcode(db) : SQLITE_ERROR;
  Text description(what);
  description += u": ";
  description += FromUtf8(db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  if (code == SQLITE_NOMEM) description = Text(what) + u": out of memory";
  Raise(kErrEngineFailure, description);
}

// The CREATE TABLE statement of `table` under `schema_and_name` (quoted,
// with its schema when not main), its text columns with the JETTEXT
// collation when `with_collation`.
std::string CreateTableSql(const std::string& schema_and_name, const TableInfo& table,
                           bool with_collation) {
  std::string sql = "CREATE TABLE " + schema_and_name + " (";
  // SQLite needs a column; a table whose columns are all of kinds the
  // engine leaves out gets a BLOB placeholder, which readers leave out too.
  if (table.columns.empty()) sql += "\"(no columns)\" BLOB";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnInfo& column = table.columns[i];
    if (i > 0) sql += ", ";
    sql += QuoteIdentifier(ToUtf8(column.name));
    sql += ' ';
    sql += DeclaredType(column.type);
    if (with_collation && IsTextType(column.type)) {
      sql += " COLLATE ";
      sql += kTextCollation;
    }
  }
  sql += ")";
  return sql;
}

}  // namespace

const char* DeclaredType(JetType type) {
  for (const auto& entry : kDeclared) {
    if (entry.type == type) return entry.declared;
  }
  return "TEXT";
}

std::optional<JetType> JetTypeOfDeclared(std::string_view declared) {
  for (const auto& entry : kDeclared) {
    if (EqualsIgnoringAsciiCase(declared, entry.declared)) return entry.type;
  }
  return std::nullopt;
}

RowSink::RowSink(sqlite3* db, sqlite3_stmt* insert, std::u16string table)
    : db_(db), insert_(insert), table_(std::move(table)) {}

void RowSink::SetNull(int column) { sqlite3_bind_null(insert_, column + 1); }

void RowSink::SetInteger(int column, std::int64_t value) {
  sqlite3_bind_int64(insert_, column + 1, value);
}

void RowSink::SetReal(int column, double value) { sqlite3_bind_double(insert_, column + 1, value); }

void RowSink::SetText(int column, std::string_view utf8) {
  sqlite3_bind_text64(insert_, column + 1, utf8.data(), utf8.size(), SQLITE_STATIC, SQLITE_UTF8);
}

void RowSink::SetBlob(int column, std::span<const std::uint8_t> bytes) {
  // SQLite binds a null pointer as Null: an empty value is a zero-length BLOB.
  if (bytes.empty()) {
    sqlite3_bind_zeroblob(insert_, column + 1, 0);
  } else {
    sqlite3_bind_blob64(insert_, column + 1, bytes.data(), bytes.size(), SQLITE_STATIC);
  }
}

void RowSink::EndRow() {
  const int rc = sqlite3_step(insert_);
  sqlite3_reset(insert_);
  if (rc != SQLITE_DONE) RaiseSqlite(db_, u"Cannot copy the rows of table '" + table_ + u"'");
  ++rows_;
}

Mirror::Mirror() {
  // SQLite counts every allocation under one process-wide mutex unless told
  // not to; with a mirror per thread that mutex would serialise the threads'
  // loads. The setting can only be made before SQLite starts, so the first
  // mirror of the process makes it (later calls are refused and harmless).
  static const int kNoMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)kNoMemoryStatistics;
  // On every failure below, db_ closes the connection as the constructor
  // unwinds.
  const int rc = OpenConnection(
      ":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, &db_);
  if (rc != SQLITE_OK) {
    Raise(kErrEngineFailure, u"Cannot create the in-memory database: " + FromUtf8(sqlite3_errstr(rc)));
  }
  if (RegisterTextCollation(db()) != SQLITE_OK) {
    Raise(kErrEngineFailure, u"Cannot register the text collation");
  }
  Exec("PRAGMA synchronous = OFF");
  Exec("PRAGMA temp_store = MEMORY");
  // Statistics from a sample of each new index are enough for the planner
  // to tell a person's few rows from a flag that nearly every row has.
  Exec("PRAGMA analysis_limit = 1000");
  Exec("PRAGMA threads = 2");
}

void Mirror::Exec(const std::string& sql) {
  if (sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    RaiseSqlite(db(), u"The engine failed");
  }
}

bool Mirror::IsLoaded(const TableInfo& table) const { return loaded_.count(table.sqlite_name) != 0; }

RowSink Mirror::BeginLoad(const TableInfo& table) {
  const std::string name = QuoteIdentifier(table.sqlite_name);
  Exec("BEGIN");
  try {
    Exec(CreateTableSql(name, table, true));
    std::string sql = "INSERT INTO " + name + " VALUES (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) sql += i == 0 ? "?" : ", ?";
    if (table.columns.empty()) sql += "NULL";
    sql += ")";
    insert_.reset();
    int rc = SQLITE_OK;
    insert_ = PrepareStatement(db(), sql, &rc);
    if (rc != SQLITE_OK) RaiseSqlite(db(), u"Cannot create the copy of table '" + table.name + u"'");
  } catch (...) {
    sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  return RowSink(db(), insert_.get(), table.name);
}

void Mirror::FinishLoad(const TableInfo& table) {
  insert_.reset();
  try {
    Exec("COMMIT");
  } catch (...) {
    AbandonLoad(table);
    throw;
  }
  loaded_.insert(table.sqlite_name);
}

void Mirror::AbandonLoad(const TableInfo& table) {
  insert_.reset();
  sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
  const std::string drop = "DROP TABLE IF EXISTS " + QuoteIdentifier(table.sqlite_name);
  sqlite3_exec(db(), drop.c_str(), nullptr, nullptr, nullptr);
}

bool Mirror::EnsureIndex(const TableInfo& table, std::u16string_view column) {
  auto key = std::make_pair(table.sqlite_name, FoldText(column));
  if (indexed_.count(key) != 0) return true;
  if (flags_.count(key) != 0) return false;
  const std::string table_sql = QuoteIdentifier(table.sqlite_name);
  const std::string column_sql = QuoteIdentifier(ToUtf8(column));
  // A flag (Active, Status, ...) holds a handful of values: an index on it
  // would not narrow anything down, and building one costs as much as any.
  if (DistinctInSample(table_sql, column_sql) <= kFlagValues) {
    flags_.insert(std::move(key));
    return false;
  }
  const std::string index_name =
      QuoteIdentifier("ix" + std::to_string(indexed_.size() + 1) + "_" + table.sqlite_name);
  Exec("CREATE INDEX " + index_name + " ON " + table_sql + " (" + column_sql + ")");
  // Statistics let the planner tell a person's few rows from the many rows
  // of a common value.
  Exec("ANALYZE " + index_name);
  indexed_.insert(std::move(key));
  return true;
}

int Mirror::DistinctInSample(const std::string& table_sql, const std::string& column_sql) {
  const std::string sql = "SELECT COUNT(DISTINCT " + column_sql + ") FROM (SELECT " + column_sql +
                          " FROM " + table_sql + " LIMIT " + std::to_string(kFlagSample) + ")";
  int rc = SQLITE_OK;
  const Statement stmt = PrepareStatement(db(), sql, &rc);
  if (rc != SQLITE_OK || sqlite3_step(stmt.get()) != SQLITE_ROW) {
    return kFlagValues + 1;  // when in doubt, index
  }
  return sqlite3_column_int(stmt.get(), 0);
}

std::size_t Mirror::MemoryUsed() const {
  std::size_t total = 0;
  for (const int op : {SQLITE_DBSTATUS_CACHE_USED, SQLITE_DBSTATUS_SCHEMA_USED}) {
    int current = 0;
    int highwater = 0;
    if (sqlite3_db_status(db(), op, &current, &highwater, 0) == SQLITE_OK && current > 0) {
      total += static_cast<std::size_t>(current);
    }
  }
  return total;
}

void Mirror::ExportTo(const std::filesystem::path& path, const std::vector<const TableInfo*>& tables) {
  int rc = SQLITE_OK;
  Statement attach = PrepareStatement(db(), "ATTACH DATABASE ?1 AS export", &rc);
  if (rc != SQLITE_OK) RaiseSqlite(db(), u"Cannot export the database");
  const std::string target = path.string();
  sqlite3_bind_text(attach.get(), 1, target.c_str(), static_cast<int>(target.size()), SQLITE_TRANSIENT);
  rc = sqlite3_step(attach.get());
  attach.reset();  // the step's error stays on the connection for RaiseSqlite
  if (rc != SQLITE_DONE) RaiseSqlite(db(), u"Cannot create the file '" + PathText(path) + u"'");
  try {
    Exec("BEGIN");
    for (const TableInfo* table : tables) {
      const std::string exported = "export." + QuoteIdentifier(ToUtf8(table->name));
      Exec(CreateTableSql(exported, *table, false));
      Exec("INSERT INTO " + exported + " SELECT * FROM main." + QuoteIdentifier(table->sqlite_name) +
           " ORDER BY rowid");
    }
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db(), "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_exec(db(), "DETACH DATABASE export", nullptr, nullptr, nullptr);
    throw;
  }
  Exec("DETACH DATABASE export");
}

}  // namespace qorvel::jet
