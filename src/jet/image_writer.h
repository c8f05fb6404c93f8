// ImageWriter: a table's copy written straight as the pages of a SQLite
// database (the file format SQLite documents and keeps stable), without
// running a statement: the rows' records appended to table leaves in rowid
// order, each index's entries sorted by our own code and laid out in
// order, and page 1 with the schema last.
//
// A copy built so holds what SQLite would have written for the same
// CREATE TABLE, INSERTs and CREATE INDEX: the same values of the same
// storage classes, the index entries in the same order; the pages are
// packed full. TableImage opens it with SQLite afterwards (its statistics
// come from SQLite's ANALYZE), and later indexes are SQLite's own.
#ifndef QORVEL_JET_IMAGE_WRITER_H_
#define QORVEL_JET_IMAGE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/catalog.h"

namespace qorvel::jet {

class RowSink;  // row_sink.h
template <typename T>
class BlockArray;  // image_writer.cc

// Raised when the pages outgrow the block they are written into.
struct PagesFull {};
// Raised by the sink for a value that SQLite would convert in a way only it
// defines (a text in a number column, a number in a text column): such a
// table is copied through SQLite instead.
struct NotWritable {};

class ImageWriter {
 public:
  static constexpr std::size_t kPageSize = 4096;

  // Writes the copy of `table` into `block`, `capacity` bytes.
  // Precondition: the block outlives the writer and is zero-filled.
  ImageWriter(const TableInfo& table, unsigned char* block, std::size_t capacity);
  ~ImageWriter();
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Where the rows go; after the last row and its Flush, call EndRows.
  // The sink raises PagesFull and NotWritable.
  RowSink& sink();
  // Writes the table's interior pages. Raises PagesFull.
  void EndRows();

  // Distinct non-Null values among the first `sample` rows of the column
  // at `column`, compared as SQLite's COUNT(DISTINCT) compares them.
  // Precondition: EndRows was called.
  int DistinctInSample(std::size_t column, int sample) const;

  // Writes an index on the column at `column`, to be declared by
  // `create_sql` under `name`. Raises PagesFull.
  // Precondition: EndRows was called.
  void AddIndex(std::size_t column, const std::string& name, const std::string& create_sql);

  // Writes page 1: the header and the schema (the table declared by
  // `create_sql` under `name`, then the indexes). Returns the database's
  // size in bytes. Raises PagesFull, or NotWritable when the schema does
  // not fit in page 1.
  std::size_t Finish(const std::string& name, const std::string& create_sql);

 private:
  class Sink;
  struct Key;
  struct Page;
  struct Child;

  unsigned char* NewPage(std::uint32_t* number);
  // Puts a cell of `payload` (after `prefix`: a child pointer, the
  // payload's size, a rowid) into `page`, the bytes past what the cell
  // keeps (by `max_local`) in overflow pages. False when the page has no
  // room.
  bool PutCell(Page& page, const std::string& prefix, const std::string& payload, std::size_t max_local);
  void AddRecord(const std::string& record);
  void OpenLeafOfRows();
  // Closes the leaf of rows being filled, whose last row is `last_rowid`.
  void CloseLeafOfRows(std::uint64_t last_rowid);

  using KeyArray = BlockArray<Key>;
  // The column's value in each row, from the first (at most `limit`).
  KeyArray Keys(std::size_t column, std::size_t limit) const;
  // The order of the entries of an index on the keys.
  static BlockArray<std::uint32_t> IndexOrder(const KeyArray& keys, bool folded);
  // The interior levels above `children`, returning the root's number.
  std::uint32_t TableLevels(std::vector<Child> children);

  const TableInfo& table_;
  std::vector<char> affinity_;  // per column, SQLite's letter for it
  std::vector<bool> folded_;    // per column: compared with the text collation
  unsigned char* block_;
  std::size_t capacity_;
  std::uint32_t pages_ = 1;  // page 1 is written last
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<Page> leaf_;  // the leaf of rows being filled
  std::vector<Child> leaves_;   // the table's leaves, in order
  std::uint64_t rows_ = 0;
  std::uint32_t table_root_ = 0;
  struct Schema {
    std::string name;
    std::string sql;
    std::uint32_t root;
  };
  std::vector<Schema> indexes_;
  // Records gathered from overflow pages, while keys point into them.
  mutable std::deque<std::string> gathered_;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_IMAGE_WRITER_H_
