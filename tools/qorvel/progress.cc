// Progress on standard error for the tool's long runs.
#include "progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace qorvel::tool {

Progress::Progress(bool enabled, std::size_t total, std::string unit)
    : enabled_(enabled), total_(total), unit_(std::move(unit)) {}

void Progress::Update(std::size_t done, bool final) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!final && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0.0;
  std::fprintf(stderr, "\r%zu / %zu %s  %.0f %s/s  %.1f s left   ", done, total_, unit_.c_str(), rate,
               unit_.c_str(), left);
  if (final) std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool ShowProgress(bool output_file, std::size_t total, std::size_t minimum) {
  if (total < minimum || !isatty(STDERR_FILENO)) return false;
  if (output_file) return true;
  struct stat out_stat {};
  const bool output_piped = fstat(STDOUT_FILENO, &out_stat) == 0 && S_ISFIFO(out_stat.st_mode);
  return !isatty(STDOUT_FILENO) && !output_piped;
}

}  // namespace qorvel::tool
