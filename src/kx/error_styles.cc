// The error styles and the table of each method's style and results.
#include "kx/error_styles.h"

#include <array>
#include <exception>
#include <string>

namespace qorvel::kx {
namespace {

constexpr char16_t kCrLf[] = u"\r\n";

Variant TextResult(const char16_t* text) { return Variant::FromText(text); }
Variant Money(std::int64_t ten_thousandths) {
  return Variant::FromCurrency(Currency::FromRaw(ten_thousandths));
}

const std::array<MethodStyle, kMethodCount>& Table() {
  // Default and error results of every method; the sixteen methods with a
  // box of their own each have an ErrorShown flag (numbered in order).
  static const std::array<MethodStyle, kMethodCount> table = {{
      {u"FormatPhone", Style::kLabelledBox, 0, TextResult(u""), TextResult(u"")},
      {u"FormatZip", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"FormatSS", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"FormatName", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"FormatAddress", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"FormatAddress2", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"FormatMinutes", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"LastModified", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"LastModifiedCaseClient", Style::kErrorText, -1, TextResult(u""), TextResult(kErrorText)},
      {u"LastPaymentDate", Style::kLabelledBox, 1, TextResult(u""), TextResult(kErrorText)},
      {u"LastPaymentAmt", Style::kLabelledBox, 2, Money(0), Money(-100)},
      {u"CreditAmount", Style::kLabelledBox, 3, Money(0), Money(-100)},
      {u"CreditAmountRetainer", Style::kLabelledBox, 4, Money(0), Money(-100)},
      {u"PrevBalDue", Style::kLabelledBox, 5, Money(0), Money(-100)},
      {u"PrevInvDateEntered", Style::kLabelledBox, 6, TextResult(u""), TextResult(u"")},
      {u"AgedInvBalances", Style::kLabelledBox, 7, Money(0), Money(-100)},
      {u"PymtCountByDateRange", Style::kLabelledBox, 8, Variant::FromLong(0), Variant::FromLong(-1)},
      {u"InvoiceBalance", Style::kLabelledBox, 9, Money(0), Money(-100)},
      {u"InvoiceFee", Style::kLabelledBox, 10, Money(0), Money(-100)},
      {u"LTCBenefitTypeEnabledYN", Style::kLabelledBox, 11, TextResult(u""), TextResult(u"Error")},
      {u"PymtsByDateRange", Style::kLabelledBox, 12, Money(0), Money(-10000)},
      {u"WOffsByDateRange", Style::kLabelledBox, 13, Money(0), Money(-10000)},
      {u"FeesByDateRange", Style::kLabelledBox, 14, Money(0), Money(-10000)},
      {u"GetDateFormat", Style::kDateFormatBox, 15, TextResult(u""), TextResult(kDefaultDatePattern)},
  }};
  return table;
}

Text NumberText(Long number) {
  const std::string digits = std::to_string(number);
  return Text(digits.begin(), digits.end());
}

}  // namespace

const MethodStyle& StyleOf(int method) { return Table()[static_cast<std::size_t>(method)]; }

AutomationError CurrentError() noexcept {
  try {
    throw;
  } catch (const AutomationError& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return AutomationError(kErrOutOfMemory, u"Out of memory");
  } catch (...) {
    return AutomationError(kErrInternal, u"Internal error");
  }
}

void ShowLabelledErrorBox(platform::Env& env, bool& shown, TextView label,
                          const AutomationError& error) {
  if (shown) return;
  Text prompt(label);
  prompt += kCrLf;
  prompt += NumberText(error.number());
  prompt += kCrLf;
  prompt += error.description();
  env.ShowMessageBox(prompt, kBoxOkOnly, std::nullopt);
  shown = true;
}

void ShowDateFormatBox(platform::Env& env, bool& shown, const AutomationError& error) {
  if (shown) return;
  Text prompt = u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.";
  prompt += kCrLf;
  prompt += u"Error Message - ";
  prompt += error.description();
  env.ShowMessageBox(prompt, kBoxInformation, Text());
  shown = true;
}

void ShowConnectionFailureBox(platform::Env& env, bool& shown, TextView path,
                              const AutomationError& error) {
  if (shown) return;
  Text prompt = u"Unable to connect to ";
  prompt += path;
  prompt += u".";
  prompt += kCrLf;
  prompt += u"Some report information may be missing or incorrect.";
  prompt += kCrLf;
  prompt += u"Please restart your computer or contact support.";
  prompt += kCrLf;
  prompt += kCrLf;
  prompt += error.description();
  prompt += kCrLf;
  prompt += error.description();
  env.ShowMessageBox(prompt, kBoxInformation, std::nullopt);
  shown = true;
}

void RaiseAgain(TextView routine, AutomationError error) {
  Text description = u"Error In ";
  description += routine;
  description += kCrLf;
  description += error.description();
  error.set_description(std::move(description));
  throw error;
}

}  // namespace qorvel::kx
