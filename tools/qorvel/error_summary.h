// The line that ends a batch on standard error: how many calls ended in
// their method's error result, how many met a connection failure, and how
// many message boxes were shown, by method. A batch shows each method's box
// once per KX object and the connection box once per thread, so this is
// where the later, silent failures become visible.
#ifndef QORVEL_TOOLS_ERROR_SUMMARY_H_
#define QORVEL_TOOLS_ERROR_SUMMARY_H_

#include <string>

#include "encoding.h"
#include "qorvel/host.h"

namespace qorvel::tool {

// After the call of `line` (METHOD<TAB>ARGS...) begun at the counter's
// BeginCall: counts it in `counter` when it ended in its method's error
// result. Precondition: on the counter's thread.
void CountLine(ErrorCounter& counter, const DecodedLine& line);

// The counts of a batch's threads, added up.
class ErrorSummary {
 public:
  void Merge(const ErrorCounts& counts);

  // "batch: 3 calls ended in an error (CreditAmount 2, FormatZip 1); 1
  // connection failure; 2 message boxes shown (CreditAmount 1, ConnectToDB
  // 1)", or "" when no call failed and no box was shown.
  std::string Line() const;

 private:
  ErrorCounts totals_;
};

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_ERROR_SUMMARY_H_
