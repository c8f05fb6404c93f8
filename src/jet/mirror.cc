// The in-memory SQLite mirror of a database file's tables.
#include "jet/mirror.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

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
  if (table.columns.empty()) sql += QuoteIdentifier(kNoColumnsPlaceholder) + " BLOB";
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

RowSink::RowSink(sqlite3* db, sqlite3_stmt* insert_one, sqlite3_stmt* insert_many, std::size_t columns,
                 std::u16string table)
    : db_(db), insert_one_(insert_one), insert_many_(insert_many), columns_(columns),
      many_(RowsAtOnce(columns)), table_(std::move(table)), values_(many_ * columns) {}

std::size_t RowSink::RowsAtOnce(std::size_t columns) {
  // SQLite builds may allow as few as 999 parameters in a statement.
  return std::clamp<std::size_t>(999 / std::max<std::size_t>(columns, 1), 1, 32);
}

void RowSink::SetNull(int column) { At(column).kind = Value::Kind::kNull; }

void RowSink::SetInteger(int column, std::int64_t value) {
  Value& v = At(column);
  v.kind = Value::Kind::kInteger;
  v.integer = value;
}

void RowSink::SetReal(int column, double value) {
  Value& v = At(column);
  v.kind = Value::Kind::kReal;
  v.real = value;
}

void RowSink::SetText(int column, std::string_view utf8) {
  Value& v = At(column);
  v.kind = Value::Kind::kText;
  v.at = bytes_.size();
  v.size = utf8.size();
  bytes_.append(utf8);
}

void RowSink::SetBlob(int column, std::span<const std::uint8_t> bytes) {
  Value& v = At(column);
  v.kind = Value::Kind::kBlob;
  v.at = bytes_.size();
  v.size = bytes.size();
  bytes_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void RowSink::EndRow() {
  ++rows_;
  if (++held_ == many_) {
    Insert(insert_many_, 0, many_);
    held_ = 0;
    bytes_.clear();
  }
}

void RowSink::Flush() {
  for (std::size_t row = 0; row < held_; ++row) Insert(insert_one_, row, 1);
  held_ = 0;
  bytes_.clear();
}

void RowSink::Insert(sqlite3_stmt* insert, std::size_t first, std::size_t count) {
  int at = 1;
  for (std::size_t row = first; row < first + count; ++row) {
    for (std::size_t c = 0; c < columns_; ++c, ++at) {
      const Value& v = values_[row * columns_ + c];
      switch (v.kind) {
        case Value::Kind::kNull: sqlite3_bind_null(insert, at); break;
        case Value::Kind::kInteger: sqlite3_bind_int64(insert, at, v.integer); break;
        case Value::Kind::kReal: sqlite3_bind_double(insert, at, v.real); break;
        case Value::Kind::kText:
          sqlite3_bind_text64(insert, at, bytes_.data() + v.at, v.size, SQLITE_STATIC, SQLITE_UTF8);
          break;
        case Value::Kind::kBlob:
          // SQLite binds a null pointer as Null: an empty value is a zero-length BLOB.
          if (v.size == 0) {
            sqlite3_bind_zeroblob(insert, at, 0);
          } else {
            sqlite3_bind_blob64(insert, at, bytes_.data() + v.at, v.size, SQLITE_STATIC);
          }
          break;
      }
    }
  }
  const int rc = sqlite3_step(insert);
  sqlite3_reset(insert);
  if (rc != SQLITE_DONE) RaiseSqlite(db_, u"Cannot copy the rows of table '" + table_ + u"'");
}

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

// Opens an in-memory connection with the JETTEXT collation.
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

// Pages of an attached image are read where they lie in memory, never
// copied into the connection's cache (SQLite maps at most this much of a
// database; the rest of a larger one is read page by page).
constexpr char kMapImages[] = "PRAGMA %s.mmap_size = 2147418112";

// Raised inside a build when its block is full; the build starts again
// with a larger one.
struct BlockFull {};

}  // namespace

// Makes an image in a private connection: the table's rows, then indexes,
// written straight into the block of memory that becomes the image.
class TableImage::Builder {
 public:
  // An empty database, or (with `base`) a writable copy of an image, in a
  // block of `capacity` bytes (at most MemoryBlock::Largest()). The block
  // is reserved whole but takes memory only where written; SQLite cannot
  // grow it, and a build that fills it raises BlockFull.
  Builder(const TableImage* base, std::size_t capacity) : db_(OpenInMemory()) {
    const std::size_t base_size = base != nullptr ? base->size() : 0;
    if (base_size > MemoryBlock::Largest() - (1u << 20)) RaiseOutOfMemory();
    capacity = std::min(std::max(capacity, base_size) + (1u << 20), MemoryBlock::Largest());
    block_ = MemoryBlock::Reserve(capacity);
    sqlite3_int64 size = 0;
    if (base != nullptr) {
      size = static_cast<sqlite3_int64>(base->size());
      std::memcpy(block_.data(), base->data(), base->size());
      indexed_ = base->indexed_;
      flags_ = base->flags_;
    }
    // Neither resizeable nor freed by SQLite: the block stays ours.
    if (sqlite3_deserialize(db(), "main", block_.data(), size, static_cast<sqlite3_int64>(block_.size()), 0) !=
        SQLITE_OK) {
      RaiseSqlite(db(), u"Cannot copy a table");
    }
    // Nothing here is ever rolled back: a failed build is thrown away whole.
    Exec("PRAGMA journal_mode = OFF");
    Exec("PRAGMA synchronous = OFF");
    Exec("PRAGMA temp_store = MEMORY");
    // Statistics from a sample of each new index are enough for the planner
    // to tell a person's few rows from a flag that nearly every row has.
    Exec("PRAGMA analysis_limit = 1000");
    Exec("PRAGMA threads = 2");
  }

  sqlite3* db() const { return db_.get(); }

  void Fill(const TableInfo& table, const std::function<void(RowSink&)>& fill) {
    const std::string name = QuoteIdentifier(table.sqlite_name);
    Exec("BEGIN");
    Exec(CreateTableSql(name, table, true));
    std::string row = "(";
    for (std::size_t i = 0; i < table.columns.size(); ++i) row += i == 0 ? "?" : ", ?";
    if (table.columns.empty()) row += "NULL";
    row += ")";
    const auto prepare = [&](std::size_t rows) {
      std::string sql = "INSERT INTO " + name + " VALUES " + row;
      for (std::size_t r = 1; r < rows; ++r) sql += ", " + row;
      int rc = SQLITE_OK;
      Statement insert = PrepareStatement(db(), sql, &rc);
      if (rc != SQLITE_OK) RaiseSqlite(db(), u"Cannot create the copy of table '" + table.name + u"'");
      return insert;
    };
    const Statement insert_one = prepare(1);
    const Statement insert_many = prepare(RowSink::RowsAtOnce(table.columns.size()));
    RowSink sink(db(), insert_one.get(), insert_many.get(), table.columns.size(), table.name);
    try {
      fill(sink);
      sink.Flush();
    } catch (const AutomationError&) {
      if (sqlite3_errcode(db()) == SQLITE_FULL) Full();
      throw;
    }
    Exec("COMMIT");
  }

  void AddIndexes(const TableInfo& table, const std::vector<std::u16string>& columns) {
    for (const std::u16string& column : columns) {
      std::u16string key = FoldText(column);
      if (indexed_.count(key) != 0 || flags_.count(key) != 0) continue;
      const std::string table_sql = QuoteIdentifier(table.sqlite_name);
      const std::string column_sql = QuoteIdentifier(ToUtf8(column));
      // A flag (Active, Status, ...) holds a handful of values: an index on
      // it would not narrow anything down, and building one costs as much
      // as any.
      if (DistinctInSample(table_sql, column_sql) <= kFlagValues) {
        flags_.insert(std::move(key));
        continue;
      }
      const std::string index_name =
          QuoteIdentifier("ix" + std::to_string(indexed_.size() + 1) + "_" + table.sqlite_name);
      Exec("CREATE INDEX " + index_name + " ON " + table_sql + " (" + column_sql + ")");
      // Statistics let the planner tell a person's few rows from the many
      // rows of a common value.
      Exec("ANALYZE " + index_name);
      indexed_.insert(std::move(key));
    }
  }

  bool HasIndex(std::u16string_view column) const { return indexed_.count(FoldText(column)) != 0; }
  bool Decided(std::u16string_view column) const {
    const std::u16string key = FoldText(column);
    return indexed_.count(key) != 0 || flags_.count(key) != 0;
  }

  // The image: the block, cut to the database's pages and made read-only.
  std::shared_ptr<const TableImage> Finish() {
    sqlite3_int64 size = 0;
    unsigned char* data = sqlite3_serialize(db(), "main", &size, SQLITE_SERIALIZE_NOCOPY);
    if (data != block_.data()) Raise(kErrEngineFailure, u"Cannot finish the copy of a table");
    db_.reset();
    std::shared_ptr<TableImage> image(new TableImage);
    block_.Seal(static_cast<std::size_t>(size));
    image->data_ = block_.data();
    image->size_ = static_cast<std::size_t>(size);
    image->block_ = std::move(block_);
    image->indexed_ = std::move(indexed_);
    image->flags_ = std::move(flags_);
    return image;
  }

 private:
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return;
    if (sqlite3_errcode(db()) == SQLITE_FULL) Full();
    RaiseSqlite(db(), u"The engine failed");
  }

  // Distinct non-Null values among the first kFlagSample of a column.
  int DistinctInSample(const std::string& table_sql, const std::string& column_sql) {
    const std::string sql = "SELECT COUNT(DISTINCT " + column_sql + ") FROM (SELECT " + column_sql +
                            " FROM " + table_sql + " LIMIT " + std::to_string(kFlagSample) + ")";
    int rc = SQLITE_OK;
    const Statement stmt = PrepareStatement(db(), sql, &rc);
    if (rc != SQLITE_OK || sqlite3_step(stmt.get()) != SQLITE_ROW) {
      return kFlagValues + 1;  // when in doubt, index
    }
    return sqlite3_column_int(stmt.get(), 0);
  }

  // For SQLite finding the block full: raises BlockFull, so that the build
  // starts again in a larger block, or out of memory when none can be larger.
  [[noreturn]] void Full() const {
    if (block_.size() >= MemoryBlock::Largest()) RaiseOutOfMemory();
    throw BlockFull{};
  }

  // Declared before db_, so that the connection closes before the block goes.
  MemoryBlock block_;
  Connection db_;
  std::set<std::u16string> indexed_;
  std::set<std::u16string> flags_;
};

TableImage::Draft::Draft(const TableInfo& table, std::function<void(RowSink&)> fill, std::size_t size_hint)
    : table_(table), fill_(std::move(fill)), capacity_(size_hint) {
  Build();
}

TableImage::Draft::~Draft() = default;

void TableImage::Draft::Build() {
  for (;; capacity_ = std::max<std::size_t>(capacity_, 1u << 20) * 4) {
    try {
      builder_ = std::make_unique<Builder>(nullptr, capacity_);
      builder_->Fill(table_, fill_);
      builder_->AddIndexes(table_, columns_);
      return;
    } catch (const BlockFull&) {
      builder_.reset();  // read the rows again into a larger block
    }
  }
}

void TableImage::Draft::AddIndexes(const std::vector<std::u16string>& columns) {
  columns_.insert(columns_.end(), columns.begin(), columns.end());
  try {
    builder_->AddIndexes(table_, columns);
  } catch (const BlockFull&) {
    capacity_ *= 4;
    Build();
  }
}

bool TableImage::Draft::HasIndex(std::u16string_view column) const { return builder_->HasIndex(column); }
bool TableImage::Draft::Decided(std::u16string_view column) const { return builder_->Decided(column); }

std::shared_ptr<const TableImage> TableImage::Draft::Finish() { return builder_->Finish(); }

std::shared_ptr<const TableImage> TableImage::Load(const TableInfo& table,
                                                   const std::function<void(RowSink&)>& fill,
                                                   const std::vector<std::u16string>& index_columns,
                                                   std::size_t size_hint) {
  Draft draft(table, fill, size_hint);
  draft.AddIndexes(index_columns);
  return draft.Finish();
}

std::shared_ptr<const TableImage> TableImage::WithIndexes(const std::shared_ptr<const TableImage>& image,
                                                          const TableInfo& table,
                                                          const std::vector<std::u16string>& columns) {
  bool all_decided = true;
  for (const std::u16string& column : columns) all_decided = all_decided && image->Decided(column);
  if (all_decided) return image;
  // An index takes less room than its table.
  for (std::size_t capacity = 2 * image->size();; capacity *= 4) {
    try {
      Builder builder(image.get(), capacity);
      builder.AddIndexes(table, columns);
      return builder.Finish();
    } catch (const BlockFull&) {
    }
  }
}

TableImage::~TableImage() = default;

bool TableImage::HasIndex(std::u16string_view column) const { return indexed_.count(FoldText(column)) != 0; }

bool TableImage::Decided(std::u16string_view column) const {
  const std::u16string key = FoldText(column);
  return indexed_.count(key) != 0 || flags_.count(key) != 0;
}

Mirror::Mirror() : db_(OpenInMemory()) {}

const TableImage* Mirror::Attached(const TableInfo& table) const {
  for (const Slot& slot : slots_) {
    if (slot.table == &table) return slot.image.get();
  }
  return nullptr;
}

std::vector<std::pair<const TableInfo*, const TableImage*>> Mirror::AttachedTables() const {
  std::vector<std::pair<const TableInfo*, const TableImage*>> tables;
  for (const Slot& slot : slots_) tables.emplace_back(slot.table, slot.image.get());
  return tables;
}

bool Mirror::Attach(const TableInfo& table, std::shared_ptr<const TableImage> image,
                    const std::vector<const TableInfo*>& keep) {
  ++uses_;
  bool kept_all = true;
  Slot* slot = nullptr;
  for (Slot& s : slots_) {
    if (s.table == &table) slot = &s;
  }
  if (slot != nullptr && slot->image == image) {
    slot->last_use = uses_;
    return true;
  }
  if (slot == nullptr && slots_.size() < kMaxAttached) {
    std::string schema = "t" + std::to_string(slots_.size() + 1);
    Exec(db(), "ATTACH ':memory:' AS " + schema);
    slots_.push_back({std::move(schema), &table, nullptr, 0});
    slot = &slots_.back();
  }
  if (slot == nullptr) {
    // Room for one more: the table used least recently that this statement
    // does not name makes way.
    for (Slot& s : slots_) {
      if (std::find(keep.begin(), keep.end(), s.table) != keep.end()) continue;
      if (slot == nullptr || s.last_use < slot->last_use) slot = &s;
    }
    if (slot == nullptr) {
      Raise(kErrEngineFailure, u"The statement names more than " +
                                   DecimalText(static_cast<long long>(kMaxAttached)) + u" tables.");
    }
    kept_all = false;
  }
  // Read-only and not resizeable: SQLite neither writes nor frees the
  // image, and maps its pages instead of copying them.
  auto* data = const_cast<unsigned char*>(image->data());
  const auto size = static_cast<sqlite3_int64>(image->size());
  slot->table = nullptr;
  slot->image.reset();
  if (sqlite3_deserialize(db(), slot->schema.c_str(), data, size, size, SQLITE_DESERIALIZE_READONLY) !=
      SQLITE_OK) {
    RaiseSqlite(db(), u"Cannot read the copy of table '" + table.name + u"'");
  }
  char pragma[64];
  std::snprintf(pragma, sizeof pragma, kMapImages, slot->schema.c_str());
  Exec(db(), pragma);
  slot->table = &table;
  slot->image = std::move(image);
  slot->last_use = uses_;
  return kept_all;
}

std::size_t Mirror::MemoryUsed() const {
  std::size_t total = 0;
  for (const int op : {SQLITE_DBSTATUS_CACHE_USED, SQLITE_DBSTATUS_SCHEMA_USED, SQLITE_DBSTATUS_STMT_USED}) {
    int current = 0;
    int highwater = 0;
    if (sqlite3_db_status(db(), op, &current, &highwater, 0) == SQLITE_OK && current > 0) {
      total += static_cast<std::size_t>(current);
    }
  }
  return total;
}

void Mirror::ExportTo(const std::filesystem::path& path, const std::vector<const TableInfo*>& tables,
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

}  // namespace qorvel::jet
