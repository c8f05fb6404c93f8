// Mirror: the connection that statements run on, with the copies of the
// tables they name (table_image.h) attached.
#ifndef QORVEL_JET_MIRROR_H_
#define QORVEL_JET_MIRROR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jet/catalog.h"
#include "jet/sqlite_handles.h"

namespace qorvel::jet {

class TableImage;  // table_image.h

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

  // The tables attached, each with its image.
  std::vector<std::pair<const TableInfo*, const TableImage*>> AttachedTables() const;

  // Bytes of memory the connection takes beside the images it reads.
  std::size_t MemoryUsed() const;

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
