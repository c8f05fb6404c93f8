// Mirror: the connection statements run on, and the attaching of images.
#include "jet/mirror.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/sqlite_connection.h"
#include "jet/table_image.h"

namespace qorvel::jet {
namespace {

// Pages of an attached image are read where they lie in memory, never
// copied into the connection's cache (SQLite maps at most this much of a
// database; the rest of a larger one is read page by page).
constexpr char kMapImages[] = "PRAGMA %s.mmap_size = 2147418112";

}  // namespace

Mirror::Mirror() : db_(OpenInMemory()) {}

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

}  // namespace qorvel::jet
