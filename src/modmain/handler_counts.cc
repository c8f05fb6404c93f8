// The per-thread counts of the error handlers (see handler_counts.h), and
// the host's counter over them (qorvel/host.h).
#include "modmain/handler_counts.h"

#include "qorvel/host.h"

namespace qorvel {
namespace modmain {

HandlerCounts& ThreadHandlerCounts() noexcept {
  // Trivially destructible: nothing runs for it at thread end.
  thread_local HandlerCounts counts;
  return counts;
}

}  // namespace modmain

static_assert(kMethodCount == static_cast<std::size_t>(modmain::kHandlerSlots),
              "the host's counts have a place for every method");

ErrorCounter::ErrorCounter() {
  const modmain::HandlerCounts& now = modmain::ThreadHandlerCounts();
  start_.boxes = now.boxes;
  start_.connection_failures = now.connection_failures;
  start_.connection_boxes = now.connection_boxes;
  mark_ = now.handled;
}

void ErrorCounter::BeginCall() noexcept { mark_ = modmain::ThreadHandlerCounts().handled; }

bool ErrorCounter::HandlerRan() const noexcept { return modmain::ThreadHandlerCounts().handled != mark_; }

bool ErrorCounter::EndCall(int method) noexcept {
  if (!HandlerRan() || modmain::ThreadHandlerCounts().last != method || method < 0 ||
      method >= modmain::kHandlerSlots) {
    return false;
  }
  ++calls_.errors[static_cast<std::size_t>(method)];
  return true;
}

ErrorCounts ErrorCounter::counts() const noexcept {
  const modmain::HandlerCounts& now = modmain::ThreadHandlerCounts();
  ErrorCounts counts = calls_;
  for (std::size_t m = 0; m < counts.boxes.size(); ++m) counts.boxes[m] = now.boxes[m] - start_.boxes[m];
  counts.connection_failures = now.connection_failures - start_.connection_failures;
  counts.connection_boxes = now.connection_boxes - start_.connection_boxes;
  return counts;
}

}  // namespace qorvel
