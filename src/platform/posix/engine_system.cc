// The engine's system seam (jet/system.h) on POSIX systems: files through
// descriptors, the change notice through Linux's inotify, memory blocks
// through anonymous mappings, and glibc's malloc_trim.
#include "jet/system.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdint>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "jet/errors.h"
#include "qorvel/automation_error.h"

namespace qorvel::jet {

FileStamp StatFile(const std::filesystem::path& path) {
  if (path.empty()) Raise(kErrFileNotFound, u"No database file was given (the data source is empty).");
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      Raise(kErrFileNotFound, u"The database file '" + PathText(path) + u"' does not exist.");
    }
    Raise(kErrAccessDenied, u"The database file '" + PathText(path) + u"' cannot be reached: " +
                                FromUtf8(std::strerror(error)) + u".");
  }
  if (S_ISDIR(st.st_mode)) {
    Raise(kErrNotAFile, u"'" + PathText(path) + u"' is a folder, not a database file.");
  }
  if (!S_ISREG(st.st_mode)) {
    Raise(kErrNotAFile, u"'" + PathText(path) + u"' is not a regular file.");
  }
  FileStamp stamp;
  stamp.volume = static_cast<std::uint64_t>(st.st_dev);
  stamp.file_id = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      Raise(kErrFileNotFound, u"The database file '" + PathText(path) + u"' does not exist.");
    }
    Raise(kErrAccessDenied, u"The database file '" + PathText(path) + u"' cannot be read: " +
                                FromUtf8(std::strerror(error)) + u".");
  }
  return std::unique_ptr<ReadOnlyFile>(new ReadOnlyFile(fd));
}

ReadOnlyFile::~ReadOnlyFile() { ::close(static_cast<int>(handle_)); }

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const noexcept {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(static_cast<int>(handle_), static_cast<char*>(buffer) + got, size - got,
                              static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

namespace {

// File systems whose changes all pass through this kernel, so inotify
// sees every one of them.
bool IsLocalFileSystem(const std::filesystem::path& folder) {
  struct statfs info {};
  if (::statfs(folder.c_str(), &info) != 0) return false;
  constexpr std::array<unsigned long, 10> kLocal = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // xfs
      0x9123683E,  // btrfs
      0x01021994,  // tmpfs
      0x794C7630,  // overlayfs
      0xF2F52010,  // f2fs
      0x2FC12FC1,  // zfs
      0x52654973,  // reiserfs
      0x3153464A,  // jfs
      0x858458F6,  // ramfs
  };
  const auto type = static_cast<unsigned long>(info.f_type);
  return std::find(kLocal.begin(), kLocal.end(), type) != kLocal.end();
}

}  // namespace

// The file itself is watched for writes and its own renaming or deletion,
// its folder for entries created, deleted or renamed (a file renamed over
// it).
FileWatch::FileWatch(const std::filesystem::path& path) noexcept {
  std::error_code error;
  try {
    const auto absolute = std::filesystem::absolute(path, error).lexically_normal();
    if (error) return;
    const auto canonical = std::filesystem::canonical(absolute, error);
    if (error || canonical != absolute) return;  // symbolic links on the way
    const auto folder = absolute.parent_path();
    if (!IsLocalFileSystem(folder)) return;
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return;
    const int file = ::inotify_add_watch(fd, absolute.c_str(),
                                         IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF |
                                             IN_MOVE_SELF | IN_DONT_FOLLOW);
    const int dir = ::inotify_add_watch(fd, folder.c_str(),
                                        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                            IN_MOVE_SELF | IN_ONLYDIR);
    if (file < 0 || dir < 0) {
      ::close(fd);
      return;
    }
    handle_ = fd;
    file_watch_ = file;
  } catch (...) {
    // No memory for the path: an inactive watch.
  }
}

FileWatch::~FileWatch() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
}

FileWatch::Change FileWatch::Poll() noexcept {
  if (handle_ == -1) return Change::kFolder;
  Change change = Change::kNone;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle_), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Change::kFolder;  // cannot tell: look at the file
    if (n <= 0) break;  // no more reports
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      if (event.wd == file_watch_ || (event.mask & IN_Q_OVERFLOW) != 0) {
        change = Change::kFile;
      } else if (change == Change::kNone) {
        change = Change::kFolder;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
    }
  }
  return change;
}

namespace {

std::size_t WholePages(std::size_t bytes) {
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

}  // namespace

// A 32-bit process gets blocks of at most 512 MB: a quarter of its 2 GB
// address space, so that a few such reservations can still be found whole.
std::size_t MemoryBlock::Largest() noexcept {
  if constexpr (sizeof(void*) < 8) return std::size_t{512} << 20;
  return WholePages(SIZE_MAX / 2);
}

MemoryBlock MemoryBlock::Reserve(std::size_t size) {
  size = WholePages(size);
  // Large pages where the system offers them: memory written fresh
  // otherwise costs the kernel one fault for every 4 KB. The system gives
  // them only to whole aligned 2 MB stretches, so a block of that size or
  // more is made of such stretches (the slack reserved around it goes back).
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  const std::size_t slack = size >= kLargePage ? kLargePage : 0;
  if (slack > 0) size = (size + kLargePage - 1) / kLargePage * kLargePage;
  // Not counted against the system's commit limit: pages are taken only
  // when written.
  void* reserved =
      ::mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (reserved == MAP_FAILED) RaiseOutOfMemory();
  auto* data = static_cast<unsigned char*>(reserved);
  if (slack > 0) {
    const std::size_t head = (kLargePage - reinterpret_cast<std::uintptr_t>(data) % kLargePage) % kLargePage;
    if (head > 0) ::munmap(data, head);
    if (slack - head > 0) ::munmap(data + head + size, slack - head);
    data += head;
  }
#if defined(MADV_HUGEPAGE)
  ::madvise(data, size, MADV_HUGEPAGE);
#endif
  return MemoryBlock(data, size);
}

MemoryBlock::~MemoryBlock() {
  if (data_ != nullptr && size_ > 0) ::munmap(data_, size_);
}

void MemoryBlock::Seal(std::size_t used) noexcept {
  used = WholePages(used);
  if (used < size_) ::munmap(data_ + used, size_ - used);
  size_ = used;
  if (used > 0) ::mprotect(data_, used, PROT_READ);
}

void ReturnFreeHeap() noexcept {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace qorvel::jet
