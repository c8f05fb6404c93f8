// The batch's closing summary of errors (see error_summary.h).
#include "error_summary.h"

#include <cstdint>

#include "qorvel/dispatch.h"

namespace qorvel::tool {
namespace {

// 1234567 as "1,234,567".
std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

std::string Counted(std::uint64_t n, const std::string& one, const std::string& many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}

// " (CreditAmount 2, ConnectToDB 1)" in method order, then ConnectToDB.
std::string ByMethod(const std::array<std::uint64_t, kMethodCount>& counts, std::uint64_t connection) {
  std::string out;
  for (const MethodInfo& method : Methods()) {
    const std::uint64_t n = counts[static_cast<std::size_t>(method.number)];
    if (n != 0) out += (out.empty() ? "" : ", ") + ToUtf8(method.name) + " " + Grouped(n);
  }
  if (connection != 0) out += (out.empty() ? "" : ", ") + std::string("ConnectToDB ") + Grouped(connection);
  return out.empty() ? out : " (" + out + ")";
}

}  // namespace

void CountLine(ErrorCounter& counter, const DecodedLine& line) {
  if (!counter.HandlerRan()) return;  // the common case
  const MethodInfo* method = FindMethod(FromUtf8(line.utf8.substr(0, line.utf8.find('\t'))));
  if (method != nullptr) counter.EndCall(method->number);
}

void ErrorSummary::Merge(const ErrorCounts& counts) {
  for (std::size_t m = 0; m < kMethodCount; ++m) {
    totals_.errors[m] += counts.errors[m];
    totals_.boxes[m] += counts.boxes[m];
  }
  totals_.connection_failures += counts.connection_failures;
  totals_.connection_boxes += counts.connection_boxes;
}

std::string ErrorSummary::Line() const {
  std::uint64_t errors = 0;
  std::uint64_t boxes = totals_.connection_boxes;
  for (std::size_t m = 0; m < kMethodCount; ++m) {
    errors += totals_.errors[m];
    boxes += totals_.boxes[m];
  }
  if (errors == 0 && totals_.connection_failures == 0 && boxes == 0) return {};
  return "batch: " + Counted(errors, "call", "calls") + " ended in an error" + ByMethod(totals_.errors, 0) + "; " +
         Counted(totals_.connection_failures, "connection failure", "connection failures") + "; " +
         Counted(boxes, "message box", "message boxes") + " shown" +
         ByMethod(totals_.boxes, totals_.connection_boxes);
}

}  // namespace qorvel::tool
