// The per-thread counts of the error handlers (see handler_counts.h).
#include "modmain/handler_counts.h"

namespace qorvel::modmain {

HandlerCounts& ThreadHandlerCounts() noexcept {
  // Trivially destructible: nothing runs for it at thread end.
  thread_local HandlerCounts counts;
  return counts;
}

}  // namespace qorvel::modmain
