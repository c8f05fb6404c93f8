// A database file that its owner writes while reports read it. Jet writes
// pages in place, so a reader that meets a write half done sees pages of
// two states. Two rules keep such a state out of every answer:
//
//  1. A version is loaded only once its writer has left the file alone for
//     a while (SettledStamp): a writer that pauses between the pages of one
//     write for less than that is never read in the middle.
//  2. Whatever is read of a version is kept only when the file is still
//     that version afterwards (OpenVersion): a write that lands while a
//     reader reads, or before it starts, fails the read with
//     kErrFileChanged, in place of the damage it may have seemed, and the
//     connection loads the file again (Database, a bounded number of times).
#ifndef QORVEL_JET_FILE_VERSION_H_
#define QORVEL_JET_FILE_VERSION_H_

#include <chrono>
#include <filesystem>
#include <memory>

#include "jet/file_format.h"
#include "jet/source.h"
#include "jet/system.h"

namespace qorvel::jet {

// The stamp of the file at `path` once the file has not been written for
// `settle` (by its modification time, or by two looks `settle` apart when
// that time is in the future or the writer keeps going), waiting at most
// `most` in all; after that, the stamp as it is. Raises as StatFile.
FileStamp SettledStamp(const std::filesystem::path& path, std::chrono::nanoseconds settle,
                       std::chrono::nanoseconds most);

// A reader of the version `stamp` of the file at `path`, which CheckFile
// accepted as `format`: opening it and each table's rows raise
// kErrFileChanged when the file is no longer that version once they are
// read (also when the change made them fail), and what reading raises.
std::unique_ptr<TableSource> OpenVersion(const std::filesystem::path& path, const FileStamp& stamp,
                                         FileFormat format);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_FILE_VERSION_H_
