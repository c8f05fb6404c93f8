// A sign of life for long runs of the tool (batch, statement --all): done,
// total, rate and time left, redrawn on one line of standard error.
#ifndef QORVEL_TOOLS_PROGRESS_H_
#define QORVEL_TOOLS_PROGRESS_H_

#include <chrono>
#include <cstddef>
#include <string>

namespace qorvel::tool {

class Progress {
 public:
  // Counts `total` items called `unit` ("lines", "clients"); shows nothing
  // when not `enabled`.
  Progress(bool enabled, std::size_t total, std::string unit);
  // Redraws at most five times a second, and always when `final` (which
  // ends the line).
  void Update(std::size_t done, bool final = false);

 private:
  bool enabled_;
  std::size_t total_;
  std::string unit_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

// Whether progress is worth showing: standard error is a terminal that the
// results do not go to (they go to `output_file`, or standard output is
// redirected to a file rather than a terminal or a pipe), and the run has
// at least `minimum` items of `total`.
bool ShowProgress(bool output_file, std::size_t total, std::size_t minimum);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_PROGRESS_H_
