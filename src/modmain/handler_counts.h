// What the error handlers of the calling thread have done so far: how often
// each method's handler ran, how many boxes each method showed, and how
// often ConnectToDB failed and showed its box. Written only on the error
// paths (a successful call costs nothing); hosts that report on many calls
// read them through ErrorCounter (qorvel/host.h).
#ifndef QORVEL_MODMAIN_HANDLER_COUNTS_H_
#define QORVEL_MODMAIN_HANDLER_COUNTS_H_

#include <array>
#include <cstdint>

namespace qorvel::modmain {

// Room for every public method of KX, indexed by its number (kx::Method).
inline constexpr int kHandlerSlots = 24;

struct HandlerCounts {
  std::uint64_t handled = 0;                               // every method's handler, summed
  int last = -1;                                           // the method whose handler ran last
  std::array<std::uint64_t, kHandlerSlots> errors{};       // the method's handler ran
  std::array<std::uint64_t, kHandlerSlots> boxes{};        // the method's box was shown
  std::uint64_t connection_failures = 0;                   // ConnectToDB returned False
  std::uint64_t connection_boxes = 0;                      // its box was shown
};

// A method's handler is the last thing its call does, so a call of method m
// ended in its error result exactly when `handled` grew during the call and
// `last` is m (a method it called on the way may have handled an error of
// its own before).
//
// The calling thread's counts; they only grow. Never throws.
HandlerCounts& ThreadHandlerCounts() noexcept;

}  // namespace qorvel::modmain

#endif  // QORVEL_MODMAIN_HANDLER_COUNTS_H_
