// The line that ends a batch on standard error: how many calls ended in
// their method's error result, how many met a connection failure, and how
// many message boxes were shown, by method. A batch shows each method's box
// once per KX object and the connection box once per thread, so this is
// where the later, silent failures become visible.
#ifndef QORVEL_TOOLS_ERROR_SUMMARY_H_
#define QORVEL_TOOLS_ERROR_SUMMARY_H_

#include <cstdint>
#include <string>

#include "encoding.h"
#include "modmain/handler_counts.h"

namespace qorvel::tool {

// Counts the calls made on one thread between its construction and
// Finish(); summaries of several threads add up with Merge.
class ErrorSummary {
 public:
  // Starts counting on the calling thread.
  ErrorSummary();

  // Before a call: the thread's count of handled errors.
  static std::uint64_t Mark() { return modmain::ThreadHandlerCounts().handled; }
  // After the call of `line` (METHOD<TAB>ARGS...) that began at `mark`.
  // Precondition: on the thread that constructed the summary.
  void Count(const DecodedLine& line, std::uint64_t mark);
  // Takes the boxes and connection failures of this thread since the
  // construction. Precondition: on the thread that constructed it; once.
  void Finish();

  void Merge(const ErrorSummary& other);

  // "batch: 3 calls ended in an error (CreditAmount 2, FormatZip 1); 1
  // connection failure; 2 message boxes shown (CreditAmount 1, ConnectToDB
  // 1)", or "" when no call failed and no box was shown.
  std::string Line() const;

 private:
  modmain::HandlerCounts start_;
  modmain::HandlerCounts totals_;  // errors: calls that ended in one
};

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_ERROR_SUMMARY_H_
