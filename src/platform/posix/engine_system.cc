// The engine's system seam (jet/system.h) on POSIX systems.
#include "jet/system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/errors.h"

namespace qorvel::jet {

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

}  // namespace qorvel::jet
