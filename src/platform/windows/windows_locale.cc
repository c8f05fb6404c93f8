// The user locale on Windows: every conversion is the system's automation
// conversion under the locale identifier, so dates and numbers read and
// print exactly as other automation clients on the machine see them. Only
// the numeric test is ours (platform/number_text.h), fed with the locale's
// separators and signs, because the system has no such test.
#include "platform/windows/windows_locale.h"

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "platform/number_text.h"
#include "platform/windows/com.h"
#include "qorvel/automation_error.h"

namespace qorvel::platform {
namespace windows {
namespace {

// A failed conversion: the system's overflow stays an overflow, and every
// other failure means the text or value is not one of the type.
void CheckConversion(HRESULT hr) {
  if (SUCCEEDED(hr)) return;
  if (hr == DISP_E_OVERFLOW) RaiseOverflow();
  if (hr == E_OUTOFMEMORY) RaiseOutOfMemory();
  RaiseTypeMismatch();
}

Text LocaleString(LCID lcid, LCTYPE type) {
  std::array<wchar_t, 128> buffer{};
  const int length = GetLocaleInfoW(lcid, type, buffer.data(), static_cast<int>(buffer.size()));
  return length > 0 ? FromWide(buffer.data()) : Text();
}

unsigned LocaleNumber(LCID lcid, LCTYPE type) {
  DWORD value = 0;
  if (GetLocaleInfoW(lcid, type | LOCALE_RETURN_NUMBER, reinterpret_cast<wchar_t*>(&value),
                     sizeof value / sizeof(wchar_t)) == 0) {
    return 0;
  }
  return static_cast<unsigned>(value);
}

// "en_GB.UTF-8", "en_GB" and "en-GB" all name en-GB.
std::wstring LocaleNameOf(std::string_view name) {
  name = name.substr(0, name.find_first_of(".@"));
  std::wstring wide;
  for (char c : name) wide.push_back(c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return wide;
}

}  // namespace

LocaleInfo ReadLocaleInfo(LCID lcid) {
  LocaleInfo info;
  std::array<wchar_t, LOCALE_NAME_MAX_LENGTH> name{};
  if (LCIDToLocaleName(lcid, name.data(), static_cast<int>(name.size()), 0) > 0) {
    info.name = ToUtf8(FromWide(name.data()));
  }
  info.lcid = static_cast<unsigned>(lcid);
  info.short_date = LocaleString(lcid, LOCALE_SSHORTDATE);
  info.long_time = LocaleString(lcid, LOCALE_STIMEFORMAT);
  info.date_separator = LocaleString(lcid, LOCALE_SDATE);
  info.time_separator = LocaleString(lcid, LOCALE_STIME);
  info.decimal = LocaleString(lcid, LOCALE_SDECIMAL);
  info.thousands = LocaleString(lcid, LOCALE_STHOUSAND);
  info.am = LocaleString(lcid, LOCALE_S1159);
  info.pm = LocaleString(lcid, LOCALE_S2359);
  info.negative_sign = LocaleString(lcid, LOCALE_SNEGATIVESIGN);
  info.positive_sign = LocaleString(lcid, LOCALE_SPOSITIVESIGN);
  info.currency = LocaleString(lcid, LOCALE_SCURRENCY);
  info.money_decimal = LocaleString(lcid, LOCALE_SMONDECIMALSEP);
  info.money_thousands = LocaleString(lcid, LOCALE_SMONTHOUSANDSEP);
  info.date_order = static_cast<int>(LocaleNumber(lcid, LOCALE_IDATE));
  info.code_page = LocaleNumber(lcid, LOCALE_IDEFAULTANSICODEPAGE);
  return info;
}

WindowsLocale::WindowsLocale(LCID lcid, LocaleInfo info) : lcid_(lcid), info_(std::move(info)) {}

DateTime WindowsLocale::TextToDate(TextView text) const {
  Text copy(text);  // the system wants a terminated string
  DATE date = 0;
  CheckConversion(VarDateFromStr(Wide(copy), lcid_, 0, &date));
  return DateTime(date);
}

Text WindowsLocale::DateToText(DateTime value) const {
  if (!value.IsValid()) RaiseOverflow();
  Bstr text;
  CheckConversion(VarBstrFromDate(value.value(), lcid_, 0, text.Receive()));
  return text.ToText();
}

Text WindowsLocale::DoubleToText(double value) const {
  if (!std::isfinite(value)) RaiseOverflow();
  Bstr text;
  CheckConversion(VarBstrFromR8(value, lcid_, 0, text.Receive()));
  return text.ToText();
}

Text WindowsLocale::CurrencyToText(Currency value) const {
  CY cy{};
  cy.int64 = value.raw();
  Bstr text;
  CheckConversion(VarBstrFromCy(cy, lcid_, 0, text.Receive()));
  return text.ToText();
}

double WindowsLocale::TextToDouble(TextView text) const {
  Text copy(text);
  double value = 0;
  CheckConversion(VarR8FromStr(Wide(copy), lcid_, 0, &value));
  return value;
}

Currency WindowsLocale::TextToCurrency(TextView text) const {
  Text copy(text);
  CY value{};
  CheckConversion(VarCyFromStr(Wide(copy), lcid_, 0, &value));
  return Currency::FromRaw(value.int64);
}

bool WindowsLocale::IsNumeric(TextView text) const { return IsNumericText(info_, text); }

Text WindowsLocale::FormatDate(DateTime value, TextView pattern) const {
  if (!value.IsValid()) RaiseOverflow();
  Text format(pattern);
  // The pattern is tokenized under this locale (its date separator for
  // "/"), Sunday the first day of the week, the week of 1 January the first
  // week of the year.
  std::vector<BYTE> tokens(256 + 4 * format.size());
  constexpr int kSunday = 1;
  constexpr int kFirstJanuary = 1;
  CheckConversion(VarTokenizeFormatString(Wide(format), tokens.data(),
                                          static_cast<int>(tokens.size()), kSunday, kFirstJanuary, lcid_,
                                          nullptr));
  VariantValue date;
  V_VT(date.get()) = VT_DATE;
  V_DATE(date.get()) = value.value();
  Bstr text;
  CheckConversion(VarFormatFromTokens(date.get(), Wide(format), tokens.data(), 0,
                                      text.Receive(), lcid_));
  return text.ToText();
}

int WindowsLocale::AnsiCode(char16_t ch) const {
  const wchar_t wide = static_cast<wchar_t>(ch);
  char bytes[4] = {};
  BOOL used_default = FALSE;
  const int length = WideCharToMultiByte(info_.code_page, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes,
                                         nullptr, &used_default);
  if (length <= 0 || length > 2 || used_default) return '?';
  const auto byte = [&](int i) { return static_cast<int>(static_cast<unsigned char>(bytes[i])); };
  return length == 1 ? byte(0) : byte(0) * 256 + byte(1);
}

}  // namespace windows

// The user default locale of the system (LOCALE_USER_DEFAULT) with the
// system's ANSI code page.
std::shared_ptr<const Locale> PlatformDefaultLocale() {
  LocaleInfo info = windows::ReadLocaleInfo(LOCALE_USER_DEFAULT);
  info.lcid = static_cast<unsigned>(GetUserDefaultLCID());
  std::array<wchar_t, LOCALE_NAME_MAX_LENGTH> name{};
  if (GetUserDefaultLocaleName(name.data(), static_cast<int>(name.size())) > 0) {
    info.name = ToUtf8(windows::FromWide(name.data()));
  }
  info.code_page = GetACP();
  return std::make_shared<const windows::WindowsLocale>(LOCALE_USER_DEFAULT, std::move(info));
}

std::shared_ptr<const Locale> FindLocale(std::string_view name) {
  const std::wstring wide = windows::LocaleNameOf(name);
  if (wide.empty()) return nullptr;
  const LCID lcid = LocaleNameToLCID(wide.c_str(), 0);
  // 0 is no locale; the custom-locale identifiers stand for names the
  // system does not know.
  if (lcid == 0 || lcid == LOCALE_CUSTOM_UNSPECIFIED || lcid == LOCALE_CUSTOM_DEFAULT) return nullptr;
  return std::make_shared<const windows::WindowsLocale>(lcid, windows::ReadLocaleInfo(lcid));
}

const std::vector<std::string>& LocaleNames() {
  static const std::vector<std::string> names = {"en-US", "en-GB", "de-DE", "fr-FR",
                                                 "nl-NL", "it-IT", "sv-SE", "ja-JP"};
  return names;
}

std::shared_ptr<const Locale> MakeLocale(LocaleInfo info) {
  const LCID lcid = static_cast<LCID>(info.lcid);
  return std::make_shared<const windows::WindowsLocale>(lcid, std::move(info));
}

}  // namespace qorvel::platform
