// TableImage: a table's copy, built in a private connection and serialized
// into one block of memory.
#include "jet/table_image.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "jet/errors.h"
#include "jet/image_writer.h"
#include "jet/index_rule.h"
#include "jet/row_sink.h"
#include "jet/sqlite_connection.h"
#include "jet/sqlite_handles.h"
#include "jet/table_schema.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

// Raised inside a build when its block is full; the build starts again
// with a larger one.
struct BlockFull {};

}  // namespace

// Makes an image: the table's rows, then indexes, written into the block of
// memory that becomes the image. A new copy is written as database pages
// by our own code (image_writer.h) and opened with SQLite when finished; a
// copy that needs SQLite's conversions, and an index added to an image,
// are made with SQLite statements in a private connection.
class TableImage::Builder {
 public:
  // An empty database written as pages (`write_pages`) or by SQLite, or
  // (with `base`) a writable copy of an image, in a block of `capacity`
  // bytes (at most MemoryBlock::Largest()). The block is reserved whole but
  // takes memory only where written; it cannot grow, and a build that fills
  // it raises BlockFull.
  Builder(const TableImage* base, std::size_t capacity, bool write_pages) : write_pages_(write_pages) {
    const std::size_t base_size = base != nullptr ? base->size() : 0;
    if (base_size > MemoryBlock::Largest() - (1u << 20)) RaiseOutOfMemory();
    capacity = std::min(std::max(capacity, base_size) + (1u << 20), MemoryBlock::Largest());
    block_ = MemoryBlock::Reserve(capacity);
    if (base != nullptr) {
      std::memcpy(block_.data(), base->data(), base->size());
      indexed_ = base->indexed_;
      flags_ = base->flags_;
    }
    if (!write_pages_) Open(base_size);
  }

  void Fill(const TableInfo& table, const std::function<void(RowSink&)>& fill) {
    if (write_pages_) {
      writer_ = std::make_unique<ImageWriter>(table, block_.data(), block_.size());
      try {
        fill(writer_->sink());
        writer_->sink().Flush();
        writer_->EndRows();
      } catch (const PagesFull&) {
        Full();
      }
      return;
    }
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
    const Statement insert_many = prepare(StatementSink::RowsAtOnce(table.columns.size()));
    StatementSink sink(db(), insert_one.get(), insert_many.get(), table.columns.size(), table.name);
    try {
      fill(sink);
      sink.Flush();
    } catch (const AutomationError&) {
      if (sqlite3_errcode(db()) == SQLITE_FULL) Full();
      throw;
    }
    Exec("COMMIT");
  }

  void AddIndexes(const TableInfo& table, const std::vector<IndexRequest>& requests) {
    for (const IndexRequest& request : requests) {
      std::u16string key = FoldText(request.column);
      if (indexed_.count(key) != 0 || flags_.count(key) != 0) continue;
      const std::size_t column = ColumnOf(table, request.column);
      // A column the copy lacks gets no index (nor can the pages tell).
      if (column == table.columns.size()) continue;
      const std::string table_sql = QuoteIdentifier(table.sqlite_name);
      const std::string column_sql = QuoteIdentifier(ToUtf8(request.column));
      const IndexDecision decision = DecideIndex(request, [&]() -> std::optional<int> {
        if (writer_) return writer_->DistinctInSample(column, kFlagSample);
        return DistinctInSample(table_sql, column_sql);
      });
      if (decision == IndexDecision::kFlag) {
        flags_.insert(std::move(key));
        continue;
      }
      if (decision != IndexDecision::kIndex) continue;
      const std::string name = "ix" + std::to_string(indexed_.size() + 1) + "_" + table.sqlite_name;
      const std::string sql = "CREATE INDEX " + QuoteIdentifier(name) + " ON " + table_sql + " (" + column_sql + ")";
      // Statistics let the planner tell a person's few rows from the many
      // rows of a common value; those of written indexes are gathered when
      // the image is opened.
      if (writer_) {
        try {
          writer_->AddIndex(column, name, sql);
        } catch (const PagesFull&) {
          Full();
        }
        analyze_.push_back(name);
      } else {
        Exec(sql);
        Exec("ANALYZE " + QuoteIdentifier(name));
      }
      indexed_.insert(std::move(key));
    }
  }

  bool HasIndex(std::u16string_view column) const { return indexed_.count(FoldText(column)) != 0; }
  bool Decided(std::u16string_view column) const {
    const std::u16string key = FoldText(column);
    return indexed_.count(key) != 0 || flags_.count(key) != 0;
  }

  // The image: the block, cut to the database's pages and made read-only.
  // Raises NotWritable for pages whose schema does not fit.
  std::shared_ptr<const TableImage> Finish(const TableInfo& table) {
    if (writer_) {
      std::size_t size = 0;
      try {
        size = writer_->Finish(table.sqlite_name, CreateTableSql(QuoteIdentifier(table.sqlite_name), table, true));
      } catch (const PagesFull&) {
        Full();
      }
      writer_.reset();
      Open(size);
      for (const std::string& name : analyze_) Exec("ANALYZE " + QuoteIdentifier(name));
    }
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
  sqlite3* db() const { return db_.get(); }

  // Opens the first `size` bytes of the block as the database.
  void Open(std::size_t size) {
    db_ = OpenInMemory();
    // Neither resizeable nor freed by SQLite: the block stays ours.
    if (sqlite3_deserialize(db(), "main", block_.data(), static_cast<sqlite3_int64>(size),
                            static_cast<sqlite3_int64>(block_.size()), 0) != SQLITE_OK) {
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

  // The column's position in the table; columns.size() when it has none.
  static std::size_t ColumnOf(const TableInfo& table, std::u16string_view name) {
    const std::u16string folded = FoldText(name);
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (FoldText(table.columns[i].name) == folded) return i;
    }
    return table.columns.size();
  }

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return;
    if (sqlite3_errcode(db()) == SQLITE_FULL) Full();
    RaiseSqlite(db(), u"The engine failed");
  }

  // Distinct non-Null values among the first kFlagSample of a column;
  // nothing when SQLite cannot count them.
  std::optional<int> DistinctInSample(const std::string& table_sql, const std::string& column_sql) {
    const std::string sql = "SELECT COUNT(DISTINCT " + column_sql + ") FROM (SELECT " + column_sql +
                            " FROM " + table_sql + " LIMIT " + std::to_string(kFlagSample) + ")";
    int rc = SQLITE_OK;
    const Statement stmt = PrepareStatement(db(), sql, &rc);
    if (rc != SQLITE_OK || sqlite3_step(stmt.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int(stmt.get(), 0);
  }

  // For a build finding the block full: raises BlockFull, so that the build
  // starts again in a larger block, or out of memory when none can be larger.
  [[noreturn]] void Full() const {
    if (block_.size() >= MemoryBlock::Largest()) RaiseOutOfMemory();
    throw BlockFull{};
  }

  const bool write_pages_;
  // Declared before db_ and writer_, so that both go before the block.
  MemoryBlock block_;
  Connection db_;
  std::unique_ptr<ImageWriter> writer_;
  std::vector<std::string> analyze_;  // the written indexes
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
      builder_ = std::make_unique<Builder>(nullptr, capacity_, write_pages_);
      builder_->Fill(table_, fill_);
      builder_->AddIndexes(table_, requests_);
      return;
    } catch (const BlockFull&) {
      builder_.reset();  // read the rows again into a larger block
    } catch (const NotWritable&) {
      builder_.reset();  // and again through SQLite
      write_pages_ = false;
    }
  }
}

void TableImage::Draft::AddIndexes(const std::vector<IndexRequest>& requests) {
  requests_.insert(requests_.end(), requests.begin(), requests.end());
  try {
    builder_->AddIndexes(table_, requests);
  } catch (const BlockFull&) {
    capacity_ = std::max<std::size_t>(capacity_, 1u << 20) * 4;
    Build();
  }
}

bool TableImage::Draft::HasIndex(std::u16string_view column) const { return builder_->HasIndex(column); }
bool TableImage::Draft::Decided(std::u16string_view column) const { return builder_->Decided(column); }

std::shared_ptr<const TableImage> TableImage::Draft::Finish() {
  for (;;) {
    try {
      return builder_->Finish(table_);
    } catch (const BlockFull&) {
      capacity_ = std::max<std::size_t>(capacity_, 1u << 20) * 4;
    } catch (const NotWritable&) {
      write_pages_ = false;
    }
    Build();
  }
}

std::shared_ptr<const TableImage> TableImage::Load(const TableInfo& table,
                                                   const std::function<void(RowSink&)>& fill,
                                                   const std::vector<std::u16string>& index_columns,
                                                   std::size_t size_hint) {
  Draft draft(table, fill, size_hint);
  draft.AddIndexes(TestedColumns(index_columns));
  return draft.Finish();
}

std::shared_ptr<const TableImage> TableImage::WithIndexes(const std::shared_ptr<const TableImage>& image,
                                                          const TableInfo& table,
                                                          const std::vector<IndexRequest>& requests) {
  bool all_decided = true;
  for (const IndexRequest& request : requests) all_decided = all_decided && image->Decided(request.column);
  if (all_decided) return image;
  // An index takes less room than its table.
  for (std::size_t capacity = 2 * image->size();; capacity *= 4) {
    try {
      Builder builder(image.get(), capacity, false);
      builder.AddIndexes(table, requests);
      return builder.Finish(table);
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

}  // namespace qorvel::jet
