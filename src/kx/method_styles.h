// The 24 public methods of KX by number, and for each its error style, the
// label of its box, its ErrorShown flag, its default result and its error
// result; and RunMethod, the one handler every public method runs its body
// under.
//
// The table is a constant expression, so the dispatch table above this layer
// checks at compile time that its names and numbers are the ones here.
#ifndef QORVEL_KX_METHOD_STYLES_H_
#define QORVEL_KX_METHOD_STYLES_H_

#include <array>
#include <cstdint>
#include <utility>

#include "modmain/error_styles.h"
#include "modmain/handler_counts.h"
#include "qorvel/currency.h"
#include "qorvel/env.h"
#include "qorvel/kx.h"
#include "qorvel/types.h"

namespace qorvel::kx {

// The public methods by number (their slot in the interface).
enum Method : int {
  kFormatPhone = 0,
  kFormatZip,
  kFormatSS,
  kFormatName,
  kFormatAddress,
  kFormatAddress2,
  kFormatMinutes,
  kLastModified,
  kLastModifiedCaseClient,
  kLastPaymentDate,
  kLastPaymentAmt,
  kCreditAmount,
  kCreditAmountRetainer,
  kPrevBalDue,
  kPrevInvDateEntered,
  kAgedInvBalances,
  kPymtCountByDateRange,
  kInvoiceBalance,
  kInvoiceFee,
  kLTCBenefitTypeEnabledYN,
  kPymtsByDateRange,
  kWOffsByDateRange,
  kFeesByDateRange,
  kGetDateFormat,
  kMethodCount
};

enum class Style {
  kErrorText,      // the result becomes "Error in QORVEL.DLL"; no box
  kLabelledBox,    // label, error number and description, once per object
  kDateFormatBox,  // GetDateFormat's own box, once per object
};

inline constexpr char16_t kErrorText[] = u"Error in QORVEL.DLL";
inline constexpr char16_t kDefaultDatePattern[] = u"MM/dd/yyyy";

// A method's default or error result: a text, or a number (money in
// ten-thousandths, a Long as itself), read as the method's result type.
struct Result {
  TextView text;
  std::int64_t number = 0;
};

template <class R>
R ResultFrom(const Result& result);
template <>
inline Text ResultFrom<Text>(const Result& result) { return Text(result.text); }
template <>
inline Currency ResultFrom<Currency>(const Result& result) { return Currency::FromRaw(result.number); }
template <>
inline Long ResultFrom<Long>(const Result& result) { return static_cast<Long>(result.number); }

struct MethodStyle {
  Method method;
  TextView label;  // the method's name, the label of its box
  Style style;
  int flag;        // its ErrorShown flag, or -1 for a method without a box
  Result default_result;  // what an empty path or a failed connection returns
  Result error_result;    // what an error returns
};

inline constexpr int kErrorShownFlags = 16;

namespace styles {
constexpr Result Txt(TextView text) { return {text, 0}; }
constexpr Result Money(std::int64_t ten_thousandths) { return {{}, ten_thousandths}; }
constexpr Result Number(std::int64_t value) { return {{}, value}; }
constexpr Style kText = Style::kErrorText;
constexpr Style kBox = Style::kLabelledBox;
}  // namespace styles

inline constexpr std::array<MethodStyle, kMethodCount> kMethodStyles = [] {
  using namespace styles;
  return std::array<MethodStyle, kMethodCount>{{
      {kFormatPhone, u"FormatPhone", kBox, 0, Txt(u""), Txt(u"")},
      {kFormatZip, u"FormatZip", kText, -1, Txt(u""), Txt(kErrorText)},
      {kFormatSS, u"FormatSS", kText, -1, Txt(u""), Txt(kErrorText)},
      {kFormatName, u"FormatName", kText, -1, Txt(u""), Txt(kErrorText)},
      {kFormatAddress, u"FormatAddress", kText, -1, Txt(u""), Txt(kErrorText)},
      {kFormatAddress2, u"FormatAddress2", kText, -1, Txt(u""), Txt(kErrorText)},
      {kFormatMinutes, u"FormatMinutes", kText, -1, Txt(u""), Txt(kErrorText)},
      {kLastModified, u"LastModified", kText, -1, Txt(u""), Txt(kErrorText)},
      {kLastModifiedCaseClient, u"LastModifiedCaseClient", kText, -1, Txt(u""), Txt(kErrorText)},
      {kLastPaymentDate, u"LastPaymentDate", kBox, 1, Txt(u""), Txt(kErrorText)},
      {kLastPaymentAmt, u"LastPaymentAmt", kBox, 2, Money(0), Money(-100)},
      {kCreditAmount, u"CreditAmount", kBox, 3, Money(0), Money(-100)},
      {kCreditAmountRetainer, u"CreditAmountRetainer", kBox, 4, Money(0), Money(-100)},
      {kPrevBalDue, u"PrevBalDue", kBox, 5, Money(0), Money(-100)},
      {kPrevInvDateEntered, u"PrevInvDateEntered", kBox, 6, Txt(u""), Txt(u"")},
      {kAgedInvBalances, u"AgedInvBalances", kBox, 7, Money(0), Money(-100)},
      {kPymtCountByDateRange, u"PymtCountByDateRange", kBox, 8, Number(0), Number(-1)},
      {kInvoiceBalance, u"InvoiceBalance", kBox, 9, Money(0), Money(-100)},
      {kInvoiceFee, u"InvoiceFee", kBox, 10, Money(0), Money(-100)},
      {kLTCBenefitTypeEnabledYN, u"LTCBenefitTypeEnabledYN", kBox, 11, Txt(u""), Txt(u"Error")},
      {kPymtsByDateRange, u"PymtsByDateRange", kBox, 12, Money(0), Money(-10000)},
      {kWOffsByDateRange, u"WOffsByDateRange", kBox, 13, Money(0), Money(-10000)},
      {kFeesByDateRange, u"FeesByDateRange", kBox, 14, Money(0), Money(-10000)},
      {kGetDateFormat, u"GetDateFormat", Style::kDateFormatBox, 15, Txt(u""),
       Txt(kDefaultDatePattern)},
  }};
}();

constexpr bool MethodTableInOrder() {
  int flags = 0;
  for (int n = 0; n < kMethodCount; ++n) {
    const MethodStyle& s = kMethodStyles[static_cast<std::size_t>(n)];
    if (s.method != n) return false;
    if (s.flag >= 0 && s.flag != flags++) return false;
  }
  return flags == kErrorShownFlags;
}
static_assert(kMethodCount <= modmain::kHandlerSlots, "every method has its place in the handler counts");
static_assert(MethodTableInOrder(),
              "each row stands at its method's number; the flags are numbered in row order");

// The style of a public method. Precondition: 0 <= method < kMethodCount.
constexpr const MethodStyle& StyleOf(int method) {
  return kMethodStyles[static_cast<std::size_t>(method)];
}

// Runs a public method's body under the method's handler. `body` returns the
// result; whatever it raises becomes the method's error result in the
// method's style. `flags` are the object's kErrorShownFlags flags. Never
// throws.
template <class R, class Body>
R RunMethod(Env& env, bool* flags, Method method, Body&& body) noexcept {
  const MethodStyle& style = StyleOf(method);
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    const AutomationError error = modmain::CurrentError();
    modmain::HandlerCounts& counts = modmain::ThreadHandlerCounts();
    ++counts.handled;
    ++counts.errors[method];
    counts.last = method;
    const bool shown_before = style.flag >= 0 && flags[style.flag];
    try {
      switch (style.style) {
        case Style::kErrorText:
          break;
        case Style::kLabelledBox:
          modmain::ShowLabelledErrorBox(env, flags[style.flag], style.label, error);
          break;
        case Style::kDateFormatBox:
          modmain::ShowDateFormatBox(env, flags[style.flag], error);
          break;
      }
    } catch (...) {
      // A box that cannot be shown (a host's handler failing, memory
      // running out) does not change the method's result.
    }
    counts.boxes[method] += style.flag >= 0 && flags[style.flag] && !shown_before;
    try {
      return ResultFrom<R>(style.error_result);
    } catch (...) {
      return R{};
    }
  }
}

}  // namespace qorvel::kx

namespace qorvel {

template <class R, class Body>
R KX::Run(int method, Body&& body) noexcept {
  return kx::RunMethod<R>(*env_, error_shown_.data(), static_cast<kx::Method>(method),
                          std::forward<Body>(body));
}

}  // namespace qorvel

#endif  // QORVEL_KX_METHOD_STYLES_H_
