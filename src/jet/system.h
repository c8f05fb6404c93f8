// What the engine needs of the operating system, behind one narrow seam:
// reading a file at an offset, a file's identity and stamp, notice that a
// file may have changed, large blocks of memory, and handing free heap
// memory back.
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
#include <utility>

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

// The stamp of the file at `path` as it is now. Raises AutomationError:
// kErrFileNotFound when `path` is empty or nothing is there (nor its
// folder), kErrAccessDenied when the system will not say, kErrNotAFile for
// a folder, a device or anything else that is not a regular file; each
// naming the path.
FileStamp StatFile(const std::filesystem::path& path);

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

// Notice that a file may have changed, so that the check before a
// statement need not look the file up by its path every time.
//
// Where the system reports every change at once (Linux's inotify on a
// local file system, for a path without symbolic links) the watch is
// active, and between reports nothing can have changed. Anywhere else it
// is inactive and every Poll answers kFolder, so the caller compares
// stamps: on network shares and FUSE file systems, through symbolic links,
// when the system refuses, and on Windows, whose reports of writes can come
// late (see src/platform/windows/engine_system.cc). Writes through a shared
// memory mapping are not reported; the report writers do not write that
// way.
class FileWatch {
 public:
  enum class Change {
    kNone,    // nothing reported since the last call
    kFolder,  // something changed in the file's folder: compare the file's stamp
    kFile,    // the file itself was written, renamed or deleted
  };

  // Starts watching the file at `path`; an inactive watch when it cannot.
  // Never raises.
  explicit FileWatch(const std::filesystem::path& path) noexcept;
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  bool active() const { return handle_ != -1; }

  // What was reported since the watch began or the previous call; kFolder
  // always when inactive, and whenever the system cannot tell. Costs no
  // wait and no round trip over a network.
  Change Poll() noexcept;

 private:
  std::intptr_t handle_ = -1;  // the system's watch (an inotify descriptor); -1 when inactive
  int file_watch_ = -1;        // inotify's number for the file itself
};

// Pages of memory of their own, reserved whole, readable and writable and
// reading as zero until written, taking memory only where written as far
// as the system allows; returned to the system when the block goes (memory
// from the C library's heap might stay with the process).
class MemoryBlock {
 public:
  // The most one block may reserve: a table's copy larger than this cannot
  // be made. Unlimited for 64-bit processes; in a 32-bit one, whose address
  // space is 2 GB, kept to what such a space can hold several times over.
  static std::size_t Largest() noexcept;

  // A block of at least `size` bytes (whole pages). Raises run-time error 7
  // (out of memory) when the system has no room.
  // Precondition: 0 < size <= Largest().
  static MemoryBlock Reserve(std::size_t size);

  MemoryBlock() = default;
  MemoryBlock(MemoryBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  MemoryBlock& operator=(MemoryBlock&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  ~MemoryBlock();

  unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }  // 0 for no block

  // Gives back the pages beyond the first `used` bytes and makes the rest
  // read-only; size() is then `used` rounded up to whole pages.
  // Precondition: used <= size().
  void Seal(std::size_t used) noexcept;

 private:
  MemoryBlock(unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Hands the heap's free memory back to the system where the C library
// keeps it otherwise (glibc keeps memory freed by threads that are gone).
void ReturnFreeHeap() noexcept;

}  // namespace qorvel::jet

#endif  // QORVEL_JET_SYSTEM_H_
