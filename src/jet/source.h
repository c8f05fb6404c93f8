// A database file as the mirror reads it: its tables with their columns,
// and the rows of one table on demand. One implementation reads Jet and
// ACE files (reader/), one reads SQLite files (sqlite_source.cc).
#ifndef QORVEL_JET_SOURCE_H_
#define QORVEL_JET_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "jet/catalog.h"
#include "jet/file_format.h"

namespace qorvel::jet {

class RowSink;  // row_sink.h

class TableSource {
 public:
  virtual ~TableSource() = default;

  // The user tables of the file, with the columns whose types the engine
  // keeps (columns of types it cannot read are listed in each table's
  // `unsupported`), and their mirror names.
  virtual const std::vector<TableInfo>& tables() const = 0;

  // Reads every row of tables()[index] into `sink`, in the file's order.
  // Raises AutomationError (kErrDamaged, kErrTruncated) naming the table
  // when the file cannot be read, and what the sink raises.
  // Precondition: index < tables().size().
  virtual void ReadRows(std::size_t index, RowSink& sink) = 0;

  // About how many bytes the rows of tables()[index] take in the file (0
  // when unknown), to size their copy. Precondition: index < tables().size().
  virtual std::uintmax_t SizeHint(std::size_t index) {
    (void)index;
    return 0;
  }

  // Another reader of the same version of the file, with the same tables,
  // so that another thread can read rows while this one does; null when
  // this kind of file has none (its readers then take turns). Raises
  // AutomationError as opening does. May be called while another thread
  // reads rows from this source.
  virtual std::unique_ptr<TableSource> OpenAnother() const { return nullptr; }
};

// Opens a Jet/ACE file and reads its catalog and table definitions,
// checking each as it reads it. `file_size` is the size the caller saw.
// Raises AutomationError (kErrDamaged, kErrTruncated, and what opening the
// file raises). Precondition: format is kJet3, kJet4 or kAce.
std::unique_ptr<TableSource> OpenJetSource(const std::filesystem::path& path, FileFormat format,
                                           std::uintmax_t file_size);

// Opens a SQLite file read-only and reads its table definitions. Raises
// AutomationError.
std::unique_ptr<TableSource> OpenSqliteSource(const std::filesystem::path& path);

// Gives each table its mirror name: the table's own name when it is a plain
// ASCII identifier of at most 64 characters that begins neither with
// "sqlite_" (SQLite's own tables) nor with "ix" (the mirror's indexes) and
// is not taken, letter case ignored; else "t<n>", n at least the table's
// position counted from 1.
void AssignMirrorNames(std::vector<TableInfo>& tables);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_SOURCE_H_
