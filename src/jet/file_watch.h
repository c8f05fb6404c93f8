// FileWatch: a cheap way to learn that a database file may have changed,
// so that the check before each statement need not look the file up by its
// path every time.
//
// On Linux a watch asks the kernel (inotify) to report writes to the file
// and changes of the entries in its folder (a file renamed over it,
// deleted, created). Between reports nothing can have changed, and asking
// costs one non-blocking read. The watch works only where such reports are
// complete: a plain path (no symbolic links) on a local file system; for a
// network or FUSE file system, a path through a symbolic link, or when the
// kernel refuses (too many watches), the watch is inactive and every call
// answers "may have changed", so the caller falls back to comparing the
// file's identity, size and modification time. Writes through a shared
// memory mapping are not reported by the kernel; the report writers do not
// write that way.
#ifndef QORVEL_JET_FILE_WATCH_H_
#define QORVEL_JET_FILE_WATCH_H_

#include <filesystem>

namespace qorvel::jet {

class FileWatch {
 public:
  enum class Change {
    kNone,      // nothing reported since the last call
    kFolder,    // something changed in the file's folder: compare the file's stamp
    kFile,      // the file itself was written, renamed or deleted
  };

  // Starts watching the file at `path`; an inactive watch when it cannot.
  explicit FileWatch(const std::filesystem::path& path);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  bool active() const { return fd_ >= 0; }

  // What was reported since the watch began or the previous call; kFolder
  // always when inactive.
  Change Poll();

 private:
  int fd_ = -1;
  int file_watch_ = -1;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_FILE_WATCH_H_
