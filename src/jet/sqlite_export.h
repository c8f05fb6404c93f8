// The SQLite export: the tables of a database file, copied into a SQLite
// file that other tools can read and that Database::Open reads back with
// the same columns, types and values.
#ifndef QORVEL_JET_SQLITE_EXPORT_H_
#define QORVEL_JET_SQLITE_EXPORT_H_

#include <filesystem>
#include <memory>
#include <vector>

#include "jet/catalog.h"

namespace qorvel::jet {

class TableImage;  // table_image.h

// Writes the given tables into a new SQLite file at `out` (replacing a file
// of that name), under their own names, with the declared types of
// table_schema.h and without the collation (so other tools can read the
// file). The file is written beside `out` and renamed over it, so that a
// failure leaves no half-written file under its name. `source` is the
// database file the tables come from. Raises AutomationError
// (kErrEngineFailure) when `out` is a folder or `source` itself, or when
// the file cannot be written.
// Precondition: images[i] is the image of tables[i].
void ExportTablesToSqlite(const std::filesystem::path& out, const std::filesystem::path& source,
                          const std::vector<const TableInfo*>& tables,
                          const std::vector<std::shared_ptr<const TableImage>>& images);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_SQLITE_EXPORT_H_
