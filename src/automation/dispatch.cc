// The dispatch table of _KX and late-bound invocation.
#include "qorvel/dispatch.h"

#include <array>
#include <cstdio>
#include <exception>
#include <utility>

#include "base/text_ops.h"
#include "kx/method_styles.h"
#include "platform/locale.h"
#include "platform/variant_conversion.h"
#include "qorvel/automation_error.h"

namespace qorvel {
namespace {

constexpr Passing V = Passing::kByValue;
constexpr Passing R = Passing::kByReference;
constexpr VarType kText = VarType::kText;
constexpr VarType kLong = VarType::kLong;
constexpr VarType kInteger = VarType::kInteger;
constexpr VarType kBool = VarType::kBoolean;
constexpr VarType kDate = VarType::kDate;
constexpr VarType kMoney = VarType::kCurrency;

constexpr ParamInfo kFormatPhone[] = {{u"PhoneFormat", kText, R}, {u"Phone", kText, R}};
constexpr ParamInfo kFormatZip[] = {{u"Zip", kText, V}};
constexpr ParamInfo kFormatSS[] = {{u"SSNumber", kText, V}};
constexpr ParamInfo kFormatName[] = {
    {u"First", kText, V}, {u"Middle", kText, R}, {u"Last", kText, R}, {u"FML", kBool, R}};
constexpr ParamInfo kFormatAddress[] = {{u"Address1", kText, V}, {u"Address2", kText, R},
                                        {u"City", kText, R},     {u"State", kText, R},
                                        {u"Zip", kText, R},      {u"MultiLine", kBool, R}};
constexpr ParamInfo kFormatAddress2[] = {
    {u"Address1", kText, V}, {u"Address2", kText, R}, {u"Address3", kText, R},
    {u"City", kText, R},     {u"State", kText, R},    {u"Zip", kText, R},
    {u"MultiLine", kBool, R}};
constexpr ParamInfo kFormatMinutes[] = {{u"Minutes", kLong, V}};
constexpr ParamInfo kLastModified[] = {
    {u"TargetDB", kText, V}, {u"TableName", kText, V}, {u"PeopleID", kLong, R}};
constexpr ParamInfo kLastModifiedCaseClient[] = {
    {u"TargetDB", kText, V}, {u"Category", kText, V}, {u"PeopleID", kLong, R}};
constexpr ParamInfo kByPerson[] = {{u"TargetDB", kText, V}, {u"PeopleID", kLong, R}};
constexpr ParamInfo kByPersonInvoice[] = {
    {u"TargetDB", kText, V}, {u"PeopleID", kLong, R}, {u"InvNum", kLong, R}};
constexpr ParamInfo kAgedInvBalances[] = {{u"TargetDB", kText, V},
                                          {u"PeopleID", kLong, R},
                                          {u"StartDays", kInteger, R},
                                          {u"EndDays", kInteger, R}};
constexpr ParamInfo kPymtCountByDateRange[] = {{u"TargetDB", kText, V},
                                               {u"PeopleID", kLong, R},
                                               {u"StartDateTime", kText, R},
                                               {u"EndDateTime", kText, R}};
constexpr ParamInfo kByInvoice[] = {{u"TargetDB", kText, V}, {u"InvNum", kLong, R}};
constexpr ParamInfo kLTCBenefitTypeEnabledYN[] = {
    {u"TargetDB", kText, V}, {u"PeopleID", kLong, R}, {u"BenefitType", kText, R}};
constexpr ParamInfo kByDateRange[] = {{u"TargetDB", kText, V},
                                      {u"PeopleID", kLong, R},
                                      {u"StartDate", kDate, R},
                                      {u"EndDate", kDate, R},
                                      {u"ProvCode", kText, R}};

// A method's row: its number, parameters and result. Its name comes from
// KX's method table and its dispatch identifier from its number, so the
// interface's slot order, KX's table and this one cannot disagree.
constexpr MethodInfo Row(kx::Method number, std::span<const ParamInfo> params, VarType result) {
  return {number, kx::StyleOf(number).label, kDispIdBase + number, params, result};
}

constexpr std::array<MethodInfo, kx::kMethodCount> kMethods = {{
    Row(kx::kFormatPhone, kFormatPhone, kText),
    Row(kx::kFormatZip, kFormatZip, kText),
    Row(kx::kFormatSS, kFormatSS, kText),
    Row(kx::kFormatName, kFormatName, kText),
    Row(kx::kFormatAddress, kFormatAddress, kText),
    Row(kx::kFormatAddress2, kFormatAddress2, kText),
    Row(kx::kFormatMinutes, kFormatMinutes, kText),
    Row(kx::kLastModified, kLastModified, kText),
    Row(kx::kLastModifiedCaseClient, kLastModifiedCaseClient, kText),
    Row(kx::kLastPaymentDate, kByPerson, kText),
    Row(kx::kLastPaymentAmt, kByPerson, kMoney),
    Row(kx::kCreditAmount, kByPerson, kMoney),
    Row(kx::kCreditAmountRetainer, kByPerson, kMoney),
    Row(kx::kPrevBalDue, kByPersonInvoice, kMoney),
    Row(kx::kPrevInvDateEntered, kByPersonInvoice, kText),
    Row(kx::kAgedInvBalances, kAgedInvBalances, kMoney),
    Row(kx::kPymtCountByDateRange, kPymtCountByDateRange, kLong),
    Row(kx::kInvoiceBalance, kByInvoice, kMoney),
    Row(kx::kInvoiceFee, kByInvoice, kMoney),
    Row(kx::kLTCBenefitTypeEnabledYN, kLTCBenefitTypeEnabledYN, kText),
    Row(kx::kPymtsByDateRange, kByDateRange, kMoney),
    Row(kx::kWOffsByDateRange, kByDateRange, kMoney),
    Row(kx::kFeesByDateRange, kByDateRange, kMoney),
    Row(kx::kGetDateFormat, {}, kText),
}};

constexpr bool RowsInSlotOrder() {
  for (int n = 0; n < kx::kMethodCount; ++n) {
    if (kMethods[static_cast<std::size_t>(n)].number != n) return false;
  }
  return true;
}
static_assert(RowsInSlotOrder(), "each row stands at its method's slot");

// The number of parameters of a method of the interface.
template <class M>
constexpr std::size_t kArity = 0;
template <class R, class... P>
constexpr std::size_t kArity<R (_KX::*)(P...) noexcept> = sizeof...(P);

// One coerced argument, read as the C++ type of the method's parameter.
struct Arg {
  const Variant& value;
  operator const Text&() const { return value.AsText(); }
  operator Long() const { return value.AsLong(); }
  operator DateTime() const { return value.AsDate(); }
  // Integer and Boolean are one C++ type; the coerced value's type tells
  // which the parameter is.
  operator Integer() const {
    return value.type() == VarType::kBoolean ? ToBoolean(value.AsBoolean()) : value.AsInteger();
  }
};

Variant ResultVariant(const Text& result) { return Variant::FromText(result); }
Variant ResultVariant(Long result) { return Variant::FromLong(result); }
Variant ResultVariant(Currency result) { return Variant::FromCurrency(result); }

// Calls a method through the interface slot; parameters passed by
// reference are bound to the call's own copies.
template <class R, class... P, std::size_t... I>
Variant CallWith(_KX& o, R (_KX::*method)(P...) noexcept, const std::vector<Variant>& args,
                 std::index_sequence<I...>) {
  return ResultVariant((o.*method)(Arg{args[I]}...));
}

struct Caller {
  Variant (*call)(_KX& o, const std::vector<Variant>& args);
  std::size_t arity;
};

template <auto Method>
Variant CallMethod(_KX& o, const std::vector<Variant>& args) {
  return CallWith(o, Method, args, std::make_index_sequence<kArity<decltype(Method)>>{});
}

template <auto Method>
constexpr Caller CallerOf() {
  return {CallMethod<Method>, kArity<decltype(Method)>};
}

// The callers of the methods, in slot order.
constexpr std::array<Caller, kx::kMethodCount> kCallers = {{
    CallerOf<&_KX::FormatPhone>(),
    CallerOf<&_KX::FormatZip>(),
    CallerOf<&_KX::FormatSS>(),
    CallerOf<&_KX::FormatName>(),
    CallerOf<&_KX::FormatAddress>(),
    CallerOf<&_KX::FormatAddress2>(),
    CallerOf<&_KX::FormatMinutes>(),
    CallerOf<&_KX::LastModified>(),
    CallerOf<&_KX::LastModifiedCaseClient>(),
    CallerOf<&_KX::LastPaymentDate>(),
    CallerOf<&_KX::LastPaymentAmt>(),
    CallerOf<&_KX::CreditAmount>(),
    CallerOf<&_KX::CreditAmountRetainer>(),
    CallerOf<&_KX::PrevBalDue>(),
    CallerOf<&_KX::PrevInvDateEntered>(),
    CallerOf<&_KX::AgedInvBalances>(),
    CallerOf<&_KX::PymtCountByDateRange>(),
    CallerOf<&_KX::InvoiceBalance>(),
    CallerOf<&_KX::InvoiceFee>(),
    CallerOf<&_KX::LTCBenefitTypeEnabledYN>(),
    CallerOf<&_KX::PymtsByDateRange>(),
    CallerOf<&_KX::WOffsByDateRange>(),
    CallerOf<&_KX::FeesByDateRange>(),
    CallerOf<&_KX::GetDateFormat>(),
}};

constexpr bool CallersMatchRows() {
  for (std::size_t n = 0; n < kCallers.size(); ++n) {
    if (kCallers[n].arity != kMethods[n].params.size()) return false;
  }
  return true;
}
static_assert(CallersMatchRows(), "each caller takes as many arguments as its row declares");

InvokeResult Failure(DispatchError error, std::string message, int arg_index = -1) {
  InvokeResult result;
  result.error = error;
  result.message = std::move(message);
  result.arg_index = arg_index;
  return result;
}

// The result of a call that ran out of memory; builds no text of its own.
InvokeResult OutOfMemory() noexcept {
  InvokeResult result;
  result.error = DispatchError::kOutOfMemory;
  return result;
}

InvokeResult InvokeMethod(_KX& object, const MethodInfo& method, const std::vector<Variant>& args) {
  const std::string name = ToUtf8(method.name);
  if (args.size() != method.params.size()) {
    return Failure(DispatchError::kBadParamCount,
                   name + " takes " + std::to_string(method.params.size()) + " argument" +
                       (method.params.size() == 1 ? "" : "s") + ", " +
                       std::to_string(args.size()) + " given: " + Signature(method));
  }
  const platform::Locale& locale = platform::UserLocale();
  std::vector<Variant> coerced;
  coerced.reserve(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    const ParamInfo& param = method.params[i];
    try {
      coerced.push_back(platform::ChangeType(args[i], param.type, locale));
    } catch (const AutomationError& error) {
      const bool overflow = error.number() == kErrOverflow;
      return Failure(overflow ? DispatchError::kOverflow : DispatchError::kTypeMismatch,
                     name + ": argument " + std::to_string(i + 1) + " (" + ToUtf8(param.name) +
                         ") " + (overflow ? "is beyond the range of " : "cannot be read as ") +
                         VarTypeName(param.type),
                     static_cast<int>(i));
    }
  }
  // Every by-reference parameter of _KX is read-only, so there is nothing
  // to write back: the caller's arguments stay exactly as passed.
  InvokeResult result;
  result.value = kCallers[static_cast<std::size_t>(method.number)].call(object, coerced);
  return result;
}

}  // namespace

std::span<const MethodInfo> Methods() { return kMethods; }

const MethodInfo* FindMethod(TextView name) {
  for (const MethodInfo& m : kMethods) {
    if (EqualsIgnoringAsciiCase(m.name, name)) return &m;
  }
  return nullptr;
}

const MethodInfo* FindMethod(Long dispid) {
  // Subtracted only once known to be above the base: a very negative
  // identifier would overflow.
  if (dispid < kDispIdBase) return nullptr;
  const Long n = dispid - kDispIdBase;
  if (n >= static_cast<Long>(kMethods.size())) return nullptr;
  return &kMethods[static_cast<std::size_t>(n)];
}

std::string Signature(const MethodInfo& method) {
  std::string s = ToUtf8(method.name) + "(";
  for (std::size_t i = 0; i < method.params.size(); ++i) {
    const ParamInfo& p = method.params[i];
    if (i) s += ", ";
    s += ToUtf8(p.name) + " As " + VarTypeName(p.type);
    if (p.passing == Passing::kByReference) s += " [ByRef]";
  }
  return s + ") As " + VarTypeName(method.result);
}

std::uint32_t StatusCode(DispatchError error) {
  switch (error) {
    case DispatchError::kNone: return 0;
    case DispatchError::kUnknownName: return 0x80020006u;
    case DispatchError::kMemberNotFound: return 0x80020003u;
    case DispatchError::kBadParamCount: return 0x8002000Eu;
    case DispatchError::kTypeMismatch: return 0x80020005u;
    case DispatchError::kOverflow: return 0x8002000Au;
    case DispatchError::kOutOfMemory: return 0x8007000Eu;
  }
  return 0x8000FFFFu;
}

InvokeResult Invoke(_KX& object, TextView name, const std::vector<Variant>& args) noexcept {
  try {
    const MethodInfo* method = FindMethod(name);
    if (!method) {
      return Failure(DispatchError::kUnknownName, "unknown method name \"" + ToUtf8(name) + "\"");
    }
    return InvokeMethod(object, *method, args);
  } catch (...) {
    // Only running out of memory can get here.
    return OutOfMemory();
  }
}

InvokeResult Invoke(_KX& object, Long dispid, const std::vector<Variant>& args) noexcept {
  try {
    const MethodInfo* method = FindMethod(dispid);
    if (!method) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(dispid));
      return Failure(DispatchError::kMemberNotFound, std::string("unknown dispatch identifier ") + hex);
    }
    return InvokeMethod(object, *method, args);
  } catch (...) {
    return OutOfMemory();
  }
}

}  // namespace qorvel
