// LoadedFile: one version of a database file as the process holds it,
// shared by every connection that opens that version: the file's table
// definitions and the images of the tables loaded so far (table_image.h).
//
// A version is a path and what FileStamp records of the file behind it.
// The first connection to open a version reads its definitions; others
// that ask meanwhile wait for that and share the result, or each receive
// the failure as an error of their own. A table is loaded the first time a
// statement needs it, by the thread running that statement; the tables one
// statement needs are loaded side by side, each on a thread of its own;
// a thread that needs a table another is loading waits for it instead of
// loading it again. Images never change: an index added later makes a new
// image of its table, and generation() tells connections still reading the
// old one to move on.
//
// A version lives while a connection holds it: the process keeps no version
// that no connection uses, so a long batch over many files keeps only the
// files its threads have open, and a file that changed is loaded anew while
// the statements reading the old version finish on it.
//
// Every member may be called from any thread.
#ifndef QORVEL_JET_LOADED_FILE_H_
#define QORVEL_JET_LOADED_FILE_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/catalog.h"
#include "jet/file_format.h"
#include "jet/index_rule.h"
#include "jet/source.h"
#include "jet/table_image.h"
#include "jet/system.h"

namespace qorvel::jet {

class LoadedFile {
 public:
  using Opener = std::function<std::unique_ptr<TableSource>()>;

  // The process's copy of the version `stamp` of the file at `path`
  // (absolute), opened with `open` (which reads the table definitions) when
  // no connection holds that version. Raises what `open` raises.
  static std::shared_ptr<LoadedFile> Acquire(const std::filesystem::path& path, const FileStamp& stamp,
                                             FileFormat format, const Opener& open);

  ~LoadedFile();
  LoadedFile(const LoadedFile&) = delete;
  LoadedFile& operator=(const LoadedFile&) = delete;

  // The tables of the file, in the file's order.
  const std::vector<TableInfo>& tables() const;
  FileFormat format() const { return format_; }

  // The table by name, case-insensitively; null when there is none.
  const TableInfo* Find(std::u16string_view name) const;

  // A table a statement needs, and the columns it tests against values
  // (each of which it asks to have indexed).
  struct Need {
    const TableInfo* table;
    std::vector<std::u16string> index_columns;
  };

  // A column a statement joins on, and the table on the other side.
  struct Join {
    const TableInfo* table;
    std::u16string column;
    const TableInfo* other;
  };

  // The current image of each table of `needs` (in their order), loading
  // the tables not loaded yet (side by side) and adding the indexes that
  // DecideIndex (index_rule.h) gives: first to the columns tested against
  // values; then to the join columns, once those indexes tell which tables
  // are narrowed down. A table this call loads gets all its indexes before
  // any other thread sees it. Raises what
  // loading raises (AutomationError: kErrDamaged, kErrTruncated,
  // kErrEngineFailure, ...), or the error of the load this call waited for.
  // Precondition: every table is one of tables(), and so is every join's.
  std::vector<std::shared_ptr<const TableImage>> Images(const std::vector<Need>& needs,
                                                        const std::vector<Join>& joins = {});

  // Counts the images replaced by others with more indexes.
  std::uint64_t generation() const { return generation_.load(std::memory_order_acquire); }

  // The current image of `table`, or null when it is not loaded.
  std::shared_ptr<const TableImage> Image(const TableInfo& table) const;

  // Bytes of memory the loaded images take.
  std::size_t MemoryUsed() const;

 private:
  struct Attempt;
  struct Slot {
    std::shared_ptr<const TableImage> image;
    std::shared_ptr<Attempt> pending;  // a load or an index build under way
  };

  LoadedFile(FileFormat format);

  struct Loading;

  std::size_t IndexOf(const TableInfo& table) const;
  // Reads the rows of a table this call loads, with the indexes of
  // `tested`, then those of `joins` that the table's own narrowing decides
  // (index_rule.h); on failure publishes it.
  void StartLoad(Loading& loading, const std::vector<IndexRequest>& tested, std::vector<IndexRequest> joins);
  // Publishes a load (its draft finished, or `error`), once.
  void Finish(Loading& loading, std::exception_ptr error);
  // Loads tables()[index] with the indexes of `requests` and publishes it.
  void LoadTable(std::size_t index, const std::vector<IndexRequest>& requests);
  // The table's image with the columns of `requests` decided: the
  // published one when they are (even while another thread makes a newer
  // one), else the next one, loaded or indexed by this thread if nobody
  // else does it. Raises as Images.
  std::shared_ptr<const TableImage> Current(std::size_t index, const std::vector<IndexRequest>& requests);
  void Publish(std::size_t index, const std::shared_ptr<const TableImage>& image, std::exception_ptr error);
  // A reader of the file that no other thread is using, and its return:
  // source_ when it is free, else another reader of the same file opened
  // for the purpose, else (a source that cannot open another) the first to
  // be returned.
  TableSource* TakeSource();
  void ReturnSource(TableSource* source);

  const FileFormat format_;
  std::unique_ptr<TableSource> source_;  // whose tables() are the catalog
  std::unordered_map<std::u16string, std::size_t> by_name_;  // folded name -> index

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;  // one per table
  std::vector<TableSource*> idle_sources_;
  std::vector<std::unique_ptr<TableSource>> other_sources_;
  bool others_possible_ = true;  // source_ can open another reader
  std::atomic<std::uint64_t> generation_{0};

  friend class Registry;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_LOADED_FILE_H_
