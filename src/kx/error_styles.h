// The five ways a method or routine of the component handles an error, and
// the table that gives each public method its style, its box label, its
// default result and its error result.
//
// Every public method runs its whole body under exactly one handler
// (RunMethod below): the result starts at its default, and any error that
// escapes the body becomes the method's error result, after a message box
// where the style has one. Boxes of a method are shown at most once per
// object (its ErrorShown flag); the connection failure box at most once per
// thread. Prompts use CR LF line breaks.
#ifndef QORVEL_KX_ERROR_STYLES_H_
#define QORVEL_KX_ERROR_STYLES_H_

#include <new>
#include <optional>
#include <utility>

#include "platform/env.h"
#include "qorvel/automation_error.h"
#include "qorvel/currency.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

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

struct MethodStyle {
  TextView label;         // the method's name, the label of its box
  Style style;
  int flag;               // its ErrorShown flag, or -1 for a method without a box
  Variant default_result; // what an empty path or a failed connection returns
  Variant error_result;   // what an error returns
};

// The style of a public method. Precondition: 0 <= method < kMethodCount.
const MethodStyle& StyleOf(int method);

inline constexpr int kErrorShownFlags = 16;
inline constexpr char16_t kErrorText[] = u"Error in QORVEL.DLL";
inline constexpr char16_t kDefaultDatePattern[] = u"MM/dd/yyyy";
inline constexpr Long kBoxOkOnly = 0;
inline constexpr Long kBoxInformation = 64;

// The error that is being handled, as an AutomationError: an AutomationError
// as it is; running out of memory as error 7; anything else as error 51.
// Precondition: called inside a catch block.
AutomationError CurrentError() noexcept;

// Labelled error box: if `shown` is false, shows label CR LF number CR LF
// description (OK only, no icon, default title) and sets `shown`.
void ShowLabelledErrorBox(platform::Env& env, bool& shown, TextView label,
                          const AutomationError& error);

// Date format box: if `shown` is false, shows the defaulting notice with the
// description (information icon, empty title given) and sets `shown`.
void ShowDateFormatBox(platform::Env& env, bool& shown, const AutomationError& error);

// Connection failure box: if `shown` is false, shows the notice that the
// database at `path` could not be opened, with the description twice
// (information icon, default title) and sets `shown`.
void ShowConnectionFailureBox(platform::Env& env, bool& shown, TextView path,
                              const AutomationError& error);

// Re-raise style: the error goes on with "Error In " + routine + CR LF in
// front of its description, the same number.
[[noreturn]] void RaiseAgain(TextView routine, AutomationError error);

template <class R>
R ResultFrom(const Variant& value);
template <>
inline Text ResultFrom<Text>(const Variant& value) { return value.AsText(); }
template <>
inline Currency ResultFrom<Currency>(const Variant& value) { return value.AsCurrency(); }
template <>
inline Long ResultFrom<Long>(const Variant& value) { return value.AsLong(); }

// Runs a public method's body under the method's handler. `body` returns the
// result; whatever it raises becomes the method's error result in the
// method's style. Never throws.
template <class R, class Body>
R RunMethod(platform::Env& env, bool* flags, int method, Body&& body) noexcept {
  const MethodStyle& style = StyleOf(method);
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    const AutomationError error = CurrentError();
    try {
      switch (style.style) {
        case Style::kErrorText:
          break;
        case Style::kLabelledBox:
          ShowLabelledErrorBox(env, flags[style.flag], style.label, error);
          break;
        case Style::kDateFormatBox:
          ShowDateFormatBox(env, flags[style.flag], error);
          break;
      }
    } catch (...) {
      // A box that cannot be shown (a host's handler failing, memory
      // running out) does not change the method's result.
    }
    try {
      return ResultFrom<R>(style.error_result);
    } catch (...) {
      return R{};
    }
  }
}

}  // namespace qorvel::kx

#endif  // QORVEL_KX_ERROR_STYLES_H_
