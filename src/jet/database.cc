// Database: opening a file, the lazy mirror, change detection and the cache
// of prepared statements.
#include "jet/database.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "jet/errors.h"
#include "jet/file_version.h"
#include "jet/loaded_file.h"
#include "jet/mirror.h"
#include "jet/result_set.h"
#include "jet/source.h"
#include "jet/sql/translator.h"
#include "jet/sqlite_export.h"
#include "jet/sqlite_handles.h"
#include "jet/system.h"
#include "jet/table_image.h"

namespace qorvel::jet {
namespace {

// The loads a statement tries, and the longest wait for a writer to be
// still before each, when the file keeps changing while it is read.
constexpr int kLoads = 8;
constexpr std::chrono::seconds kMostSettle(1);

// Resets a statement when the scope ends (on success and on error alike).
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~ResetOnExit() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

constexpr std::size_t kMaxCachedStatements = 256;

}  // namespace

// One prepared statement per statement shape.
struct CachedStatement {
  Statement stmt;
  ResultColumns columns;
  std::size_t most_rows = 0;  // the most rows a run has returned
};

struct Database::Impl {
  std::filesystem::path path;
  Text password;
  DatabaseOptions options;

  // The version of the file that the members below come from.
  FileStamp stamp;
  FileFormat format = FileFormat::kUnknown;
  std::shared_ptr<LoadedFile> file;
  std::unique_ptr<Mirror> mirror;
  std::uint64_t generation = 0;  // of file, when the attached images were current
  std::unordered_map<Text, std::unique_ptr<CachedStatement>> statements;
  sql::ShapedStatement shaped;  // the statement being run; its buffers kept from call to call

  std::unique_ptr<FileWatch> watch;
  // When the next statement looks for changes to the file; the statements
  // before it read the version loaded.
  std::chrono::steady_clock::time_point next_check;

  // Forgets the version loaded: the next Refresh loads the file anew.
  void Drop() {
    statements.clear();
    mirror.reset();
    file.reset();
  }

  // Runs `body`, which loads what it needs; when the file changed while it
  // was read, loads the file as it is now and runs `body` again, up to
  // kLoads times in all.
  template <typename Body>
  decltype(auto) Loading(const Body& body) {
    for (int load = 1;; ++load) {
      try {
        return body();
      } catch (const AutomationError& error) {
        if (error.number() != kErrFileChanged || load == kLoads) throw;
      }
      Drop();
    }
  }

  // Opens the file as it is now (once its writer is still), replacing
  // whatever was loaded.
  void Load() {
    Drop();
    // The time is taken first, so that every change that completes before
    // it is seen by this load.
    next_check = std::chrono::steady_clock::now() + options.change_check_interval;
    // Watch before looking: a change from here on is reported.
    watch.reset();
    if (options.watch_file) watch = std::make_unique<FileWatch>(path);
    const FileStamp now = SettledStamp(path, options.settle_time, kMostSettle);
    format = CheckFile(path, now, password);
    file = LoadedFile::Acquire(path, now, format, [&] { return OpenVersion(path, now, format); });
    generation = file->generation();
    mirror = std::make_unique<Mirror>();
    sql::RegisterFunctions(mirror->db(), options.now);
    stamp = now;
  }

  // Reloads when the file is no longer the version loaded, looking at most
  // once every change_check_interval (the clock read costs no system call);
  // moves to the newest images of the attached tables when others added
  // indexes.
  void Refresh() {
    if (file == nullptr) {
      Load();
      return;
    }
    if (const auto now = std::chrono::steady_clock::now(); now >= next_check) {
      // Taken before looking: a change completed before `now` is seen now.
      next_check = now + options.change_check_interval;
      const FileWatch::Change change = watch != nullptr ? watch->Poll() : FileWatch::Change::kFolder;
      if (change == FileWatch::Change::kFile ||
          (change == FileWatch::Change::kFolder && !(StatFile(path) == stamp))) {
        Load();
        return;
      }
    }
    if (file->generation() != generation) {
      generation = file->generation();
      const auto attached = mirror->AttachedTables();
      for (const auto& [table, image] : attached) {
        std::shared_ptr<const TableImage> current = file->Image(*table);
        if (current.get() != image) mirror->Attach(*table, std::move(current), {table});
      }
    }
  }

  const TableInfo* Find(std::u16string_view name) const {
    return file != nullptr ? file->Find(name) : nullptr;
  }

  const TableInfo& Require(std::u16string_view name) {
    const TableInfo* table = Find(name);
    if (table == nullptr) {
      Raise(kErrNoSuchTable, u"The database has no table named '" + Text(name) + u"'.");
    }
    return *table;
  }

  // Loads what the tables need (through the shared file) and attaches
  // their images; drops the prepared statements when a table they may
  // name had to be detached.
  void Attach(const std::vector<LoadedFile::Need>& needs, const std::vector<LoadedFile::Join>& joins = {}) {
    const std::vector<std::shared_ptr<const TableImage>> images = file->Images(needs, joins);
    std::vector<const TableInfo*> keep;
    for (const LoadedFile::Need& need : needs) keep.push_back(need.table);
    for (std::size_t i = 0; i < needs.size(); ++i) {
      if (!mirror->Attach(*needs[i].table, images[i], keep)) statements.clear();
    }
  }

  // The tables of a statement, with the columns it asks to have indexed:
  // those it tests against values and those it joins on (index_rule.h
  // decides which get an index).
  void Prepare(const sql::Translation& translation) {
    std::vector<LoadedFile::Need> needs;
    const auto need_of = [&](const TableInfo& table) -> LoadedFile::Need& {
      for (LoadedFile::Need& need : needs) {
        if (need.table == &table) return need;
      }
      return needs.emplace_back(LoadedFile::Need{&table, {}});
    };
    for (const std::u16string& name : translation.tables) need_of(Require(name));
    std::vector<LoadedFile::Join> joins;
    for (const sql::IndexHint& hint : translation.index_hints) {
      const TableInfo& table = Require(hint.table);
      if (hint.joined_with.empty()) {
        need_of(table).index_columns.push_back(hint.column);
      } else {
        const TableInfo& other = Require(hint.joined_with);
        need_of(table);
        need_of(other);
        joins.push_back({&table, hint.column, &other});
      }
    }
    Attach(needs, joins);
  }

  // Every table's image (after the change check), loaded side by side.
  std::vector<std::shared_ptr<const TableImage>> AllImages() {
    Refresh();
    std::vector<LoadedFile::Need> needs;
    for (const TableInfo& table : file->tables()) needs.push_back({&table, {}});
    return file->Images(needs);
  }

  // The statement that reads every row of the table `name` (after the
  // change check) in the file's order, with its columns in `rows`; null for
  // a table without columns.
  Statement TableRows(std::u16string_view name, ResultSet& rows) {
    Refresh();
    const TableInfo& table = Require(name);
    Attach({{&table, {}}});
    std::string sql_text = "SELECT ";
    std::vector<sql::ResultColumn> columns;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
      if (c > 0) sql_text += ", ";
      sql_text += QuoteIdentifier(ToUtf8(table.columns[c].name));
      columns.push_back({table.columns[c].name, table.columns[c].type});
    }
    rows.columns = ResultColumns(std::move(columns));
    if (table.columns.empty()) return nullptr;
    return PrepareSql(sql_text + " FROM " + QuoteIdentifier(table.sqlite_name) + " ORDER BY rowid");
  }

  Statement PrepareSql(const std::string& sql_text) {
    int rc = SQLITE_OK;
    Statement stmt = PrepareStatement(mirror->db(), sql_text, &rc, SQLITE_PREPARE_PERSISTENT);
    if (rc != SQLITE_OK) throw sql::ErrorFromSqlite(mirror->db(), rc);
    return stmt;
  }
};

Database::Database(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::Open(const std::filesystem::path& path, TextView password,
                                         DatabaseOptions options) {
  auto impl = std::make_unique<Impl>();
  // Fix a relative path now, so that every reload reads the same file.
  std::error_code error;
  impl->path = path.empty() ? path : std::filesystem::absolute(path, error);
  if (error) impl->path = path;
  impl->password = Text(password);
  impl->options = std::move(options);
  impl->Loading([&] { impl->Refresh(); });
  return std::unique_ptr<Database>(new Database(std::move(impl)));
}

const TableInfo* Database::FindTable(std::u16string_view name) const { return impl_->Find(name); }

const std::vector<TableInfo>& Database::tables() const {
  static const std::vector<TableInfo> kNone;
  return impl_->file != nullptr ? impl_->file->tables() : kNone;
}

FileFormat Database::format() const { return impl_->format; }

ResultSet Database::Execute(TextView statement) {
  Impl& d = *impl_;
  return d.Loading([&]() -> ResultSet {
    d.Refresh();
    sql::ShapedStatement& shaped = d.shaped;
    sql::Shape(statement, d.options.read_date, &shaped);
    ResultSet result;
    auto it = d.statements.find(shaped.shape);
    if (it != d.statements.end()) {
      CachedStatement& cached = *it->second;
      ResetOnExit reset(cached.stmt.get());
      sql::BindParameters(cached.stmt.get(), shaped.literals);
      result.columns = cached.columns;
      CollectRows(d.mirror->db(), cached.stmt.get(), result, cached.most_rows);
      cached.most_rows = std::max(cached.most_rows, result.row_count());
      return result;
    }

    const sql::Translation translation = sql::Translate(statement, *this, d.options.read_date);
    d.Prepare(translation);
    auto cached = std::make_unique<CachedStatement>();
    cached->stmt = d.PrepareSql(translation.sqlite_sql);
    cached->columns = ResultColumns(translation.columns);
    {
      ResetOnExit reset(cached->stmt.get());
      sql::BindParameters(cached->stmt.get(), translation.parameters);
      result.columns = cached->columns;
      CollectRows(d.mirror->db(), cached->stmt.get(), result);
      cached->most_rows = result.row_count();
    }
    if (d.statements.size() >= kMaxCachedStatements) d.statements.clear();
    d.statements.emplace(std::move(shaped.shape), std::move(cached));
    return result;
  });
}

ResultSet Database::ReadTable(std::u16string_view name) {
  ResultSet rows;
  const Statement stmt = impl_->Loading([&] { return impl_->TableRows(name, rows); });
  if (stmt != nullptr) CollectRows(impl_->mirror->db(), stmt.get(), rows);
  return rows;
}

void Database::ReadTable(std::u16string_view name, std::size_t batch_rows,
                         const std::function<void(const ResultSet&)>& batch) {
  ResultSet rows;
  const Statement stmt = impl_->Loading([&] { return impl_->TableRows(name, rows); });
  if (stmt == nullptr) return;
  CollectRowsInBatches(impl_->mirror->db(), stmt.get(), rows, batch_rows, batch);
  if (!rows.values.empty()) batch(rows);
}

void Database::LoadAllTables() {
  impl_->Loading([&] { return impl_->AllImages(); });
}

std::size_t Database::MirrorMemory() const {
  const Impl& d = *impl_;
  return (d.file != nullptr ? d.file->MemoryUsed() : 0) + (d.mirror != nullptr ? d.mirror->MemoryUsed() : 0);
}

sqlite3* Database::mirror_handle() const {
  return impl_->mirror != nullptr ? impl_->mirror->db() : nullptr;
}

void Database::ExportToSqlite(const std::filesystem::path& out) {
  Impl& d = *impl_;
  const std::vector<std::shared_ptr<const TableImage>> images = d.Loading([&] { return d.AllImages(); });
  std::vector<const TableInfo*> tables;
  for (const TableInfo& table : d.file->tables()) tables.push_back(&table);
  ExportTablesToSqlite(out, d.path, tables, images);
}

}  // namespace qorvel::jet
