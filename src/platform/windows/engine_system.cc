// The engine's system seam (jet/system.h) on Windows: files through handles
// opened by their UTF-16 paths and shared with writers, readers and
// deleters, the change check through the file's stamp alone, and memory
// blocks through VirtualAlloc.
//
// No change notice is active here. The system reports a file's new size or
// last write time to a folder's change notification only once the written
// data reaches the disk, which for cached writes can be seconds later, and
// on network shares such reports come late or not at all. So every Poll
// answers "may have changed" and the engine compares stamps, which it does
// at most every 100 ms per connection (one open and one query of the file,
// never a round trip per statement).
#include "jet/system.h"

// windows.h first: the other system headers build on its types.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "qorvel/automation_error.h"

namespace qorvel::jet {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16");
static_assert(sizeof(std::filesystem::path::value_type) == sizeof(wchar_t), "paths reach the system as UTF-16");

// A file handle, closed when it goes.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

// Memory the system allocated for a message, freed when it goes.
struct LocalDeleter {
  void operator()(wchar_t* text) const { ::LocalFree(text); }
};

// The system's description of `error`, without its closing period and line
// break.
Text SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalDeleter> owned(buffer);
  Text text;
  if (length > 0 && buffer != nullptr) text.assign(reinterpret_cast<const char16_t*>(buffer), length);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ' || text.back() == u'.')) {
    text.pop_back();
  }
  if (text.empty()) text = u"system error " + DecimalText(static_cast<long long>(error));
  return text;
}

// The errors that say nothing is there: no such file, folder, drive,
// server or share.
bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_DRIVE ||
         error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME;
}

// Raises the error for a file that cannot be opened (`doing`: "reached" or
// "read").
[[noreturn]] void RaiseOpenError(const std::filesystem::path& path, DWORD error, std::u16string_view doing) {
  if (IsNotFound(error)) {
    Raise(kErrFileNotFound, u"The database file '" + PathText(path) + u"' does not exist.");
  }
  Raise(kErrAccessDenied, u"The database file '" + PathText(path) + u"' cannot be " + Text(doing) + u": " +
                              SystemMessage(error) + u".");
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::uint64_t Join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

}  // namespace

FileStamp StatFile(const std::filesystem::path& path) {
  if (path.empty()) Raise(kErrFileNotFound, u"No database file was given (the data source is empty).");
  // Opened for its attributes only, never in a writer's way; a folder
  // opens too (backup semantics), so that it can be told apart.
  const Handle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) RaiseOpenError(path, ::GetLastError(), u"reached");
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    Raise(kErrNotAFile, u"'" + PathText(path) + u"' is not a regular file.");
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info)) RaiseOpenError(path, ::GetLastError(), u"reached");
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Raise(kErrNotAFile, u"'" + PathText(path) + u"' is a folder, not a database file.");
  }
  // The last write time in 100 ns units since 1601, taken from 1970 so
  // that nanoseconds fit.
  constexpr std::int64_t k1601To1970 = 116444736000000000;
  const auto written = static_cast<std::int64_t>(Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  FileStamp stamp;
  stamp.volume = info.dwVolumeSerialNumber;
  stamp.file_id = Join(info.nFileIndexHigh, info.nFileIndexLow);
  stamp.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.modified_ns = (written - k1601To1970) * 100;
  return stamp;
}

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::Open(const std::filesystem::path& path) {
  Handle file(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
  if (!file.valid()) RaiseOpenError(path, ::GetLastError(), u"read");
  std::unique_ptr<ReadOnlyFile> opened(new ReadOnlyFile(reinterpret_cast<std::intptr_t>(file.get())));
  file.release();
  return opened;
}

ReadOnlyFile::~ReadOnlyFile() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

// Each read names its offset (OVERLAPPED), so threads never share a file
// position.
std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const noexcept {
  std::size_t got = 0;
  while (got < size) {
    const std::uint64_t at = offset + got;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const auto want = static_cast<DWORD>(std::min<std::size_t>(size - got, DWORD{1} << 30));
    DWORD read = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(buffer) + got, want, &read, &where)) break;
    if (read == 0) break;  // the end of the file
    got += read;
  }
  return got;
}

FileWatch::FileWatch(const std::filesystem::path&) noexcept {}

FileWatch::~FileWatch() = default;

FileWatch::Change FileWatch::Poll() noexcept { return Change::kFolder; }

namespace {

std::size_t WholePages(std::size_t bytes) {
  static const std::size_t page = [] {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return static_cast<std::size_t>(info.dwPageSize);
  }();
  return (bytes + page - 1) / page * page;
}

}  // namespace

// The 32-bit library gets blocks of at most 512 MB: a quarter of the 2 GB
// address space its host has, so that a few such reservations can still be
// found whole beside the host's own.
std::size_t MemoryBlock::Largest() noexcept {
  if constexpr (sizeof(void*) < 8) return std::size_t{512} << 20;
  return WholePages(SIZE_MAX / 2);
}

// Committed whole (counted against the system's commit limit), yet the
// system gives a page memory only when it is first written.
MemoryBlock MemoryBlock::Reserve(std::size_t size) {
  size = WholePages(size);
  void* data = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (data == nullptr) RaiseOutOfMemory();
  return MemoryBlock(static_cast<unsigned char*>(data), size);
}

// A reservation is released whole, from its start, whatever was decommitted.
MemoryBlock::~MemoryBlock() {
  if (data_ != nullptr) ::VirtualFree(data_, 0, MEM_RELEASE);
}

void MemoryBlock::Seal(std::size_t used) noexcept {
  used = WholePages(used);
  if (used < size_) ::VirtualFree(data_ + used, size_ - used, MEM_DECOMMIT);
  size_ = used;
  DWORD previous = 0;
  if (used > 0) ::VirtualProtect(data_, used, PAGE_READONLY, &previous);
}

// The system's heap gives whole free regions back by itself.
void ReturnFreeHeap() noexcept {}

}  // namespace qorvel::jet
