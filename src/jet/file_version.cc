// Loading a file only when its writer is still, and only what stays one
// version while it is read.
#include "jet/file_version.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "jet/errors.h"

namespace qorvel::jet {
namespace {

// Raises kErrFileChanged unless the file is still the version `stamp`.
void RequireVersion(const std::filesystem::path& path, const FileStamp& stamp) {
  bool same = false;
  try {
    same = StatFile(path) == stamp;
  } catch (const AutomationError&) {
    // Gone or replaced while it was read: a change as any other.
  }
  if (!same) {
    Raise(kErrFileChanged,
          u"The database file '" + PathText(path) + u"' changed while it was read.");
  }
}

// Runs `read` on the version; a failure or a result of a changed file is
// kErrFileChanged.
template <typename Read>
auto ReadVersion(const std::filesystem::path& path, const FileStamp& stamp, const Read& read) {
  try {
    auto result = read();
    RequireVersion(path, stamp);
    return result;
  } catch (const AutomationError& error) {
    if (error.number() != kErrFileChanged) RequireVersion(path, stamp);
    throw;
  }
}

class VersionSource final : public TableSource {
 public:
  VersionSource(std::filesystem::path path, const FileStamp& stamp, std::unique_ptr<TableSource> source)
      : path_(std::move(path)), stamp_(stamp), source_(std::move(source)) {}

  const std::vector<TableInfo>& tables() const override { return source_->tables(); }

  void ReadRows(std::size_t index, RowSink& sink) override {
    ReadVersion(path_, stamp_, [&] {
      source_->ReadRows(index, sink);
      return 0;
    });
  }

  std::uintmax_t SizeHint(std::size_t index) override { return source_->SizeHint(index); }

  std::unique_ptr<TableSource> OpenAnother() const override {
    auto another = ReadVersion(path_, stamp_, [&] { return source_->OpenAnother(); });
    if (another == nullptr) return nullptr;
    return std::make_unique<VersionSource>(path_, stamp_, std::move(another));
  }

 private:
  std::filesystem::path path_;
  FileStamp stamp_;
  std::unique_ptr<TableSource> source_;
};

}  // namespace

FileStamp SettledStamp(const std::filesystem::path& path, std::chrono::nanoseconds settle,
                       std::chrono::nanoseconds most) {
  using std::chrono::nanoseconds;
  const auto give_up = std::chrono::steady_clock::now() + most;
  FileStamp stamp = StatFile(path);
  const nanoseconds age =
      std::chrono::system_clock::now().time_since_epoch() - nanoseconds(stamp.modified_ns);
  if (age >= settle) return stamp;
  // Written a moment ago (or, by a clock ahead of ours, in the future):
  // look again once it would have been still long enough.
  nanoseconds wait = age >= nanoseconds(0) ? settle - age : settle;
  for (;;) {
    const nanoseconds left = give_up - std::chrono::steady_clock::now();
    if (left <= nanoseconds(0)) return stamp;
    std::this_thread::sleep_for(std::min(wait, left));
    const FileStamp now = StatFile(path);
    if (now == stamp) return stamp;
    stamp = now;
    wait = settle;
  }
}

std::unique_ptr<TableSource> OpenVersion(const std::filesystem::path& path, const FileStamp& stamp,
                                         FileFormat format) {
  auto source = ReadVersion(path, stamp, [&] {
    return format == FileFormat::kSqlite ? OpenSqliteSource(path)
                                         : OpenJetSource(path, format, static_cast<std::uintmax_t>(stamp.size));
  });
  return std::make_unique<VersionSource>(path, stamp, std::move(source));
}

}  // namespace qorvel::jet
