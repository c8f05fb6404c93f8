// The public Database (qorvel/database.h) over the platform's connection to
// the engine, opened by modMain's OpenDatabase as every lookup's connection
// is, and the engine's Database behind it.
#include "qorvel/database.h"

#include <sqlite3.h>

#include <utility>

#include "jet/catalog.h"
#include "jet/database.h"
#include "jet/errors.h"
#include "jet/sqlite_handles.h"
#include "modmain/error_styles.h"
#include "modmain/mod_main.h"
#include "platform/jet_database.h"
#include "platform/server_database.h"
#include "qorvel/env.h"

namespace qorvel {
namespace {

// The public enumeration follows the engine's, value for value.
constexpr std::pair<jet::JetType, ColumnType> kSameTypes[] = {
    {jet::JetType::kByte, ColumnType::kByte},         {jet::JetType::kInteger, ColumnType::kInteger},
    {jet::JetType::kLong, ColumnType::kLong},         {jet::JetType::kSingle, ColumnType::kSingle},
    {jet::JetType::kDouble, ColumnType::kDouble},     {jet::JetType::kCurrency, ColumnType::kCurrency},
    {jet::JetType::kDateTime, ColumnType::kDateTime}, {jet::JetType::kText, ColumnType::kText},
    {jet::JetType::kMemo, ColumnType::kMemo},         {jet::JetType::kBoolean, ColumnType::kBoolean},
    {jet::JetType::kGuid, ColumnType::kGuid},         {jet::JetType::kNumeric, ColumnType::kNumeric},
    {jet::JetType::kBinary, ColumnType::kBinary},     {jet::JetType::kOle, ColumnType::kOle},
    {jet::JetType::kDateTimeExtended, ColumnType::kDateTimeExtended},
};
constexpr bool SameTypes() {
  for (const auto& [engine, column] : kSameTypes) {
    if (static_cast<int>(engine) != static_cast<int>(column)) return false;
  }
  return true;
}
static_assert(SameTypes(), "ColumnType numbers the engine's types as the engine does");

ColumnType TypeOf(jet::JetType type) { return static_cast<ColumnType>(type); }

Table TableOf(const jet::TableInfo& info) {
  Table table{info.name, {}, {}};
  for (const jet::ColumnInfo& column : info.columns) table.columns.push_back({column.name, TypeOf(column.type)});
  for (const jet::UnsupportedColumn& column : info.unsupported) table.unsupported.push_back({column.name, column.kind});
  return table;
}

// The rows of each of `tables` in the SQLite file at `path`; nothing when
// the file cannot be read.
std::optional<std::size_t> RowsIn(const std::filesystem::path& path, const std::vector<Table>& tables) {
  jet::Connection db;
  if (jet::OpenConnection(jet::SqliteFileName(path).c_str(), SQLITE_OPEN_READONLY, &db) != SQLITE_OK) {
    return std::nullopt;
  }
  std::size_t rows = 0;
  for (const Table& table : tables) {
    int rc = SQLITE_OK;
    const jet::Statement count =
        jet::PrepareStatement(db.get(), "SELECT COUNT(*) FROM " + jet::QuoteIdentifier(ToUtf8(table.name)), &rc);
    if (rc != SQLITE_OK || sqlite3_step(count.get()) != SQLITE_ROW) return std::nullopt;
    rows += static_cast<std::size_t>(sqlite3_column_int64(count.get(), 0));
  }
  return rows;
}

}  // namespace

bool IsServerSource(TextView source) { return platform::IsServerDatabase(source); }

Text ShownSource(TextView source) { return platform::ShownDataSource(Text(source)); }

const char* ColumnTypeName(ColumnType type) { return jet::JetTypeName(static_cast<jet::JetType>(type)); }

struct Database::Impl {
  platform::JetConnection connection{[] { return Env::Default()->Now(); }};
  jet::Database* engine = nullptr;  // the connection's, on a file; null on a server

  // The file engine, or the engine's error for a server database.
  jet::Database& File(const char16_t* what) const {
    if (engine == nullptr) {
      jet::Raise(jet::kErrEngineFailure, Text(u"Cannot ") + what +
                                             u": the database is on a PostgreSQL server; export from the file it "
                                             u"came from.");
    }
    return *engine;
  }
};

Database::Database(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::Database(Database&& other) noexcept = default;
Database& Database::operator=(Database&& other) noexcept = default;
Database::~Database() = default;

Result<Database> Database::Open(TextView source) {
  try {
    auto impl = std::make_unique<Impl>();
    modmain::OpenDatabase(impl->connection, Text(source));
    impl->engine = impl->connection.database();  // null on a server
    return Database(std::move(impl));
  } catch (...) {
    return modmain::CurrentError();
  }
}

Result<Rows> Database::Execute(TextView statement) {
  try {
    jet::ResultSet result = impl_->connection.Execute(statement);
    Rows rows;
    rows.columns.reserve(result.columns.size());
    for (std::size_t c = 0; c < result.columns.size(); ++c) {
      rows.columns.push_back({result.columns[c].name, TypeOf(result.columns[c].type)});
    }
    rows.values = std::move(result.values);
    return rows;
  } catch (...) {
    return modmain::CurrentError();
  }
}

std::vector<Table> Database::Tables() const {
  std::vector<Table> tables;
  if (impl_->engine == nullptr) {
    const platform::ServerDatabase* server = impl_->connection.server();
    if (server == nullptr) return tables;  // the connection to the server was lost
    for (const jet::TableInfo& table : server->tables()) tables.push_back(TableOf(table));
    return tables;
  }
  for (const jet::TableInfo& table : impl_->engine->tables()) tables.push_back(TableOf(table));
  return tables;
}

std::optional<Table> Database::FindTable(TextView name) const {
  const platform::ServerDatabase* server = impl_->connection.server();
  const jet::TableInfo* table = impl_->engine != nullptr ? impl_->engine->FindTable(name)
                                : server != nullptr        ? server->FindTable(name)
                                                           : nullptr;
  return table != nullptr ? std::optional<Table>(TableOf(*table)) : std::nullopt;
}

Result<ExportSummary> Database::ExportToSqlite(const std::filesystem::path& out, const Progress& progress) {
  try {
    jet::Database& engine = impl_->File(u"write a SQLite file");
    ExportSummary summary{Tables(), std::nullopt};  // taken first: a reload would replace them
    if (progress) {
      // Each table loads as a statement first names it, one after another,
      // so that each can be reported; the export then finds them loaded.
      for (std::size_t t = 0; t < summary.tables.size(); ++t) {
        engine.Execute(u"Select Count(*) From [" + summary.tables[t].name + u"]");
        progress(t + 1, summary.tables.size());
      }
    }
    engine.ExportToSqlite(out);
    summary.rows = RowsIn(out, summary.tables);
    return summary;
  } catch (...) {
    return modmain::CurrentError();
  }
}

Result<ExportSummary> Database::ExportToPostgres(TextView uri, bool replace, const Progress& progress) {
  try {
    jet::Database& engine = impl_->File(u"export to PostgreSQL");
    ExportSummary summary{Tables(), std::nullopt};
    const platform::ServerExport copied = platform::ExportToServer(engine, Text(uri), replace, progress);
    summary.rows = static_cast<std::size_t>(copied.rows);
    return summary;
  } catch (...) {
    return modmain::CurrentError();
  }
}

}  // namespace qorvel
