// FileWatch over inotify.
#include "jet/file_watch.h"

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>

namespace qorvel::jet {
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
  for (const unsigned long local : kLocal) {
    if (type == local) return true;
  }
  return false;
}

}  // namespace

FileWatch::FileWatch(const std::filesystem::path& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error).lexically_normal();
  if (error) return;
  const auto canonical = std::filesystem::canonical(absolute, error);
  if (error || canonical != absolute) return;  // symbolic links on the way
  const auto folder = absolute.parent_path();
  if (!IsLocalFileSystem(folder)) return;
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return;
  const int file = ::inotify_add_watch(
      fd, absolute.c_str(), IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW);
  const int dir = ::inotify_add_watch(fd, folder.c_str(),
                                      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                          IN_MOVE_SELF | IN_ONLYDIR);
  if (file < 0 || dir < 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  file_watch_ = file;
}

FileWatch::~FileWatch() {
  if (fd_ >= 0) ::close(fd_);
}

FileWatch::Change FileWatch::Poll() {
  if (fd_ < 0) return Change::kFolder;
  Change change = Change::kNone;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Change::kFolder;  // cannot tell: look at the file
    if (n <= 0) break;  // no more reports
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->wd == file_watch_ || (event->mask & IN_Q_OVERFLOW) != 0) {
        change = Change::kFile;
      } else if (change == Change::kNone) {
        change = Change::kFolder;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return change;
}

}  // namespace qorvel::jet
