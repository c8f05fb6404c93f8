// What the engine needs of the operating system, behind one narrow seam:
// reading a file at an offset, a file's identity and stamp, notice that a
// file may have changed, and large blocks of memory.
//
// The engine declares these here and calls nothing else of the system;
// each system implements them once (src/platform/posix/engine_system.cc,
// src/platform/windows/engine_system.cc). Paths are std::filesystem paths,
// so that a Windows path reaches the system as UTF-16.
#ifndef QORVEL_JET_SYSTEM_H_
#define QORVEL_JET_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace qorvel::jet {

// What identifies a version of a file: a statement reloads when any of
// these differ from what the last load saw.
struct FileStamp {
  std::uint64_t volume = 0;   // the device or volume the file lies on
  std::uint64_t file_id = 0;  // the file's number on it (inode, file index)
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // last write, in nanoseconds of the system's clock
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// A file opened for reading only, shared with writers (it never locks the
// file). Any number of threads may read it at once.
class ReadOnlyFile {
 public:
  // Opens the file at `path`. Raises AutomationError: kErrFileNotFound when
  // there is no such file, kErrAccessDenied when it cannot be opened, each
  // naming the path.
  static std::unique_ptr<ReadOnlyFile> Open(const std::filesystem::path& path);

  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // Reads up to `size` bytes at `offset` into `buffer`; returns how many
  // were read, fewer only at the end of the file or when the system fails.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const noexcept;

 private:
  explicit ReadOnlyFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;  // a descriptor, or a HANDLE
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_SYSTEM_H_
