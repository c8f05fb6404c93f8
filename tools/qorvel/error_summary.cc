// The batch's closing summary of errors (see error_summary.h).
#include "error_summary.h"

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
std::string ByMethod(const std::array<std::uint64_t, modmain::kHandlerSlots>& counts,
                     std::uint64_t connection) {
  std::string out;
  for (const MethodInfo& method : Methods()) {
    const std::uint64_t n = counts[static_cast<std::size_t>(method.number)];
    if (n != 0) out += (out.empty() ? "" : ", ") + ToUtf8(method.name) + " " + Grouped(n);
  }
  if (connection != 0) out += (out.empty() ? "" : ", ") + std::string("ConnectToDB ") + Grouped(connection);
  return out.empty() ? out : " (" + out + ")";
}

}  // namespace

ErrorSummary::ErrorSummary() : start_(modmain::ThreadHandlerCounts()) {}

void ErrorSummary::Count(const DecodedLine& line, std::uint64_t mark) {
  const modmain::HandlerCounts& now = modmain::ThreadHandlerCounts();
  if (now.handled == mark) return;  // the common case: no handler ran
  const MethodInfo* method = FindMethod(FromUtf8(line.utf8.substr(0, line.utf8.find('\t'))));
  if (method != nullptr && method->number == now.last) {
    ++totals_.errors[static_cast<std::size_t>(method->number)];
    ++totals_.handled;
  }
}

void ErrorSummary::Finish() {
  const modmain::HandlerCounts& now = modmain::ThreadHandlerCounts();
  for (std::size_t m = 0; m < now.boxes.size(); ++m) totals_.boxes[m] += now.boxes[m] - start_.boxes[m];
  totals_.connection_failures += now.connection_failures - start_.connection_failures;
  totals_.connection_boxes += now.connection_boxes - start_.connection_boxes;
  start_ = now;
}

void ErrorSummary::Merge(const ErrorSummary& other) {
  const modmain::HandlerCounts& o = other.totals_;
  totals_.handled += o.handled;
  for (std::size_t m = 0; m < o.errors.size(); ++m) {
    totals_.errors[m] += o.errors[m];
    totals_.boxes[m] += o.boxes[m];
  }
  totals_.connection_failures += o.connection_failures;
  totals_.connection_boxes += o.connection_boxes;
}

std::string ErrorSummary::Line() const {
  std::uint64_t boxes = totals_.connection_boxes;
  for (const std::uint64_t n : totals_.boxes) boxes += n;
  if (totals_.handled == 0 && totals_.connection_failures == 0 && boxes == 0) return {};
  return "batch: " + Counted(totals_.handled, "call", "calls") + " ended in an error" +
         ByMethod(totals_.errors, 0) + "; " +
         Counted(totals_.connection_failures, "connection failure", "connection failures") + "; " +
         Counted(boxes, "message box", "message boxes") + " shown" +
         ByMethod(totals_.boxes, totals_.connection_boxes);
}

}  // namespace qorvel::tool
