// TableImage: the copy of one table of a database file in SQLite, as
// statements read it, and the making of it (a table at a time, then its
// indexes).
//
// A copy is declared as table_schema.h says (its text columns with the
// JETTEXT collation).
#ifndef QORVEL_JET_TABLE_IMAGE_H_
#define QORVEL_JET_TABLE_IMAGE_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog.h"
#include "jet/index_rule.h"
#include "jet/system.h"

namespace qorvel::jet {

class RowSink;  // row_sink.h

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
  // it receives), then builds the indexes that DecideIndex (index_rule.h)
  // gives the columns of `index_columns`, as columns tested against values.
  // `size_hint` is the room the copy
  // will likely take (0: unknown). Raises what `fill` raises, or
  // AutomationError (kErrEngineFailure) when SQLite fails.
  static std::shared_ptr<const TableImage> Load(const TableInfo& table,
                                                const std::function<void(RowSink&)>& fill,
                                                const std::vector<std::u16string>& index_columns,
                                                std::size_t size_hint);

  // This copy with the indexes that DecideIndex (index_rule.h) gives the
  // columns of `requests` not decided yet. Returns `image` itself when every
  // one is decided. Raises as Load.
  // Precondition: image was made for `table` and the columns are its own.
  static std::shared_ptr<const TableImage> WithIndexes(const std::shared_ptr<const TableImage>& image,
                                                       const TableInfo& table,
                                                       const std::vector<IndexRequest>& requests);

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

    // The indexes DecideIndex gives the columns not decided yet (see
    // WithIndexes).
    void AddIndexes(const std::vector<IndexRequest>& requests);
    bool HasIndex(std::u16string_view column) const;
    bool Decided(std::u16string_view column) const;
    // Precondition: called once, last.
    std::shared_ptr<const TableImage> Finish();

   private:
    void Build();

    const TableInfo& table_;
    std::function<void(RowSink&)> fill_;
    std::size_t capacity_;
    bool write_pages_ = true;  // else made by SQLite statements
    std::vector<IndexRequest> requests_;  // every request, in order
    std::unique_ptr<Builder> builder_;
  };

  ~TableImage();
  TableImage(const TableImage&) = delete;
  TableImage& operator=(const TableImage&) = delete;

  // Whether the column has an index, and whether it was decided one way or
  // the other (an index, or a flag that gets none: DecideIndex, 5).
  bool HasIndex(std::u16string_view column) const;
  bool Decided(std::u16string_view column) const;

  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  TableImage() = default;

  MemoryBlock block_;  // returned to the system when the image goes
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::set<std::u16string> indexed_;  // folded column names
  std::set<std::u16string> flags_;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_TABLE_IMAGE_H_
