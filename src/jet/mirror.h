// The mirror: copies of the tables of a database file in SQLite, made a
// table at a time, and the connections that statements run on.
//
// Each column keeps its Jet type in its declared SQLite type ("JetLong
// INTEGER", "JetCurrency INTEGER", "JetText TEXT", ...), stored as
// catalog.h describes; text columns compare with the JETTEXT collation. The
// same declared types mark an exported SQLite file, so that reopening it
// gives back the Jet types (sqlite_source.cc reads them).
#ifndef QORVEL_JET_MIRROR_H_
#define QORVEL_JET_MIRROR_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/catalog.h"
#include "jet/sqlite_handles.h"
#include "jet/system.h"

namespace qorvel::jet {

// The declared SQLite type of a mirror column of the given Jet type.
const char* DeclaredType(JetType type);

// The Jet type that a declared type written by DeclaredType() stands for,
// or nothing for any other declared type. Letter case is ignored.
std::optional<JetType> JetTypeOfDeclared(std::string_view declared);

// Receives the rows of one table and inserts them into its copy. For each
// row, set every column (by its position in TableInfo::columns), then call
// EndRow; after the last, Flush. Rows are held and inserted several at a
// time (one statement's work costs SQLite as much as a row's), so a text or
// BLOB passed in is copied and may go as soon as the call returns.
class RowSink {
 public:
  // `insert_one` inserts one row of `columns` values, `insert_many` rows_at_once()
  // rows; both prepared on `db`.
  RowSink(sqlite3* db, sqlite3_stmt* insert_one, sqlite3_stmt* insert_many, std::size_t columns,
          std::u16string table);

  // How many rows the statement for many rows inserts, for a table of
  // `columns` columns.
  static std::size_t RowsAtOnce(std::size_t columns);

  void SetNull(int column);
  void SetInteger(int column, std::int64_t value);
  void SetReal(int column, double value);
  void SetText(int column, std::string_view utf8);
  void SetBlob(int column, std::span<const std::uint8_t> bytes);
  // Ends the row. Raises AutomationError when SQLite fails.
  void EndRow();
  // Inserts the rows still held. Raises as EndRow.
  void Flush();

  std::size_t rows() const { return rows_; }

 private:
  struct Value {
    enum class Kind : unsigned char { kNull, kInteger, kReal, kText, kBlob } kind = Kind::kNull;
    std::int64_t integer = 0;
    double real = 0;
    std::size_t at = 0;  // of a text or BLOB in bytes_
    std::size_t size = 0;
  };
  Value& At(int column) { return values_[held_ * columns_ + static_cast<std::size_t>(column)]; }
  // Binds `count` held rows to `insert` and runs it.
  void Insert(sqlite3_stmt* insert, std::size_t first, std::size_t count);

  sqlite3* db_;
  sqlite3_stmt* insert_one_;
  sqlite3_stmt* insert_many_;
  std::size_t columns_;
  std::size_t many_;
  std::u16string table_;
  std::vector<Value> values_;  // the held rows, one after another
  std::string bytes_;          // their texts and BLOBs
  std::size_t held_ = 0;
  std::size_t rows_ = 0;
};

// A table's copy as statements read it: a small SQLite database holding
// the table (under its mirror name), the indexes built on it so far and
// their statistics, serialized into one block of memory. An image never
// changes once made, so any number of connections, on any threads, read it
// at once without locks or copies (each attaches it read-only, mapping its
// pages where they lie); an index added later makes a new image.
class TableImage {
  class Builder;

 public:
  // Fills a new copy of `table` with the rows `fill` gives (through the sink
  // it receives), then builds an index on each column of `index_columns`
  // that is worth one (see WithIndexes). `size_hint` is the room the copy
  // will likely take (0: unknown). Raises what `fill` raises, or
  // AutomationError (kErrEngineFailure) when SQLite fails.
  static std::shared_ptr<const TableImage> Load(const TableInfo& table,
                                                const std::function<void(RowSink&)>& fill,
                                                const std::vector<std::u16string>& index_columns,
                                                std::size_t size_hint);

  // This copy with an index on each column of `columns` that has none yet
  // and is not a flag (a column whose first kFlagSample values hold at most
  // kFlagValues distinct ones: an index would narrow nothing down). Returns
  // `image` itself when nothing is to be built. Raises as Load.
  // Precondition: image was made for `table` and the columns are its own.
  static std::shared_ptr<const TableImage> WithIndexes(const std::shared_ptr<const TableImage>& image,
                                                       const TableInfo& table,
                                                       const std::vector<std::u16string>& columns);

  // A copy being made: the rows loaded, indexes added as they are decided,
  // then finished into the image. Each step raises as Load.
  class Draft {
   public:
    // Loads the rows `fill` gives. `fill` may be called again (a copy
    // outgrowing its block is made again in a larger one), so what it reads
    // must stay readable until Finish.
    Draft(const TableInfo& table, std::function<void(RowSink&)> fill, std::size_t size_hint);
    ~Draft();
    Draft(const Draft&) = delete;
    Draft& operator=(const Draft&) = delete;

    // Indexes on the columns that are worth one (see WithIndexes).
    void AddIndexes(const std::vector<std::u16string>& columns);
    bool HasIndex(std::u16string_view column) const;
    bool Decided(std::u16string_view column) const;
    // Precondition: called once, last.
    std::shared_ptr<const TableImage> Finish();

   private:
    void Build();

    const TableInfo& table_;
    std::function<void(RowSink&)> fill_;
    std::size_t capacity_;
    std::vector<std::u16string> columns_;  // every column asked for, in order
    std::unique_ptr<Builder> builder_;
  };

  ~TableImage();
  TableImage(const TableImage&) = delete;
  TableImage& operator=(const TableImage&) = delete;

  // Whether the column has an index, and whether it was decided one way or
  // the other (an index, or a flag that gets none).
  bool HasIndex(std::u16string_view column) const;
  bool Decided(std::u16string_view column) const;

  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  TableImage() = default;

  static constexpr int kFlagSample = 4096;
  static constexpr int kFlagValues = 4;

  MemoryBlock block_;  // returned to the system when the image goes
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::set<std::u16string> indexed_;  // folded column names
  std::set<std::u16string> flags_;
};

// One connection's view of the tables: an in-memory SQLite connection on
// which statements run, with the JETTEXT collation, and the images of the
// tables they name attached under schemas of their own (so the statements
// name the tables without a schema). SQLite attaches at most kMaxAttached
// databases to a connection; when more tables are wanted, the one used
// least recently is detached.
class Mirror {
 public:
  static constexpr std::size_t kMaxAttached = 10;

  // Raises AutomationError when SQLite cannot open a connection.
  Mirror();
  Mirror(const Mirror&) = delete;
  Mirror& operator=(const Mirror&) = delete;

  sqlite3* db() const { return db_.get(); }

  // Makes `image` the copy of `table` that statements on this connection
  // read. Returns false when another table had to be detached to make room
  // (statements prepared before may name it). A table of `keep` is never
  // the one detached. Raises kErrEngineFailure when SQLite fails, or when
  // every attached table is in `keep`.
  // Precondition: table is in keep.
  bool Attach(const TableInfo& table, std::shared_ptr<const TableImage> image,
              const std::vector<const TableInfo*>& keep);

  // The image attached for `table`, or null.
  const TableImage* Attached(const TableInfo& table) const;

  // The tables attached, each with its image.
  std::vector<std::pair<const TableInfo*, const TableImage*>> AttachedTables() const;

  // Bytes of memory the connection takes beside the images it reads.
  std::size_t MemoryUsed() const;

  // Writes the given tables into a new SQLite file at `path` (which must
  // not exist), under their own names, with the declared types above and
  // without the collation (so other tools can read the file). Raises
  // AutomationError (kErrEngineFailure) when SQLite cannot.
  // Precondition: images[i] is the image of tables[i].
  static void ExportTo(const std::filesystem::path& path, const std::vector<const TableInfo*>& tables,
                       const std::vector<std::shared_ptr<const TableImage>>& images);

 private:
  struct Slot {
    std::string schema;
    const TableInfo* table = nullptr;
    std::shared_ptr<const TableImage> image;
    std::uint64_t last_use = 0;
  };

  Connection db_;
  std::vector<Slot> slots_;
  std::uint64_t uses_ = 0;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_MIRROR_H_
