// The dispatch table of _KX and late-bound invocation.
#include "qorvel/dispatch.h"

#include <array>
#include <cstdio>
#include <exception>

#include "automation/values/text_ops.h"
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

constexpr std::array<MethodInfo, 24> kMethods = {{
    {0, u"FormatPhone", kDispIdBase + 0, kFormatPhone, kText},
    {1, u"FormatZip", kDispIdBase + 1, kFormatZip, kText},
    {2, u"FormatSS", kDispIdBase + 2, kFormatSS, kText},
    {3, u"FormatName", kDispIdBase + 3, kFormatName, kText},
    {4, u"FormatAddress", kDispIdBase + 4, kFormatAddress, kText},
    {5, u"FormatAddress2", kDispIdBase + 5, kFormatAddress2, kText},
    {6, u"FormatMinutes", kDispIdBase + 6, kFormatMinutes, kText},
    {7, u"LastModified", kDispIdBase + 7, kLastModified, kText},
    {8, u"LastModifiedCaseClient", kDispIdBase + 8, kLastModifiedCaseClient, kText},
    {9, u"LastPaymentDate", kDispIdBase + 9, kByPerson, kText},
    {10, u"LastPaymentAmt", kDispIdBase + 10, kByPerson, kMoney},
    {11, u"CreditAmount", kDispIdBase + 11, kByPerson, kMoney},
    {12, u"CreditAmountRetainer", kDispIdBase + 12, kByPerson, kMoney},
    {13, u"PrevBalDue", kDispIdBase + 13, kByPersonInvoice, kMoney},
    {14, u"PrevInvDateEntered", kDispIdBase + 14, kByPersonInvoice, kText},
    {15, u"AgedInvBalances", kDispIdBase + 15, kAgedInvBalances, kMoney},
    {16, u"PymtCountByDateRange", kDispIdBase + 16, kPymtCountByDateRange, kLong},
    {17, u"InvoiceBalance", kDispIdBase + 17, kByInvoice, kMoney},
    {18, u"InvoiceFee", kDispIdBase + 18, kByInvoice, kMoney},
    {19, u"LTCBenefitTypeEnabledYN", kDispIdBase + 19, kLTCBenefitTypeEnabledYN, kText},
    {20, u"PymtsByDateRange", kDispIdBase + 20, kByDateRange, kMoney},
    {21, u"WOffsByDateRange", kDispIdBase + 21, kByDateRange, kMoney},
    {22, u"FeesByDateRange", kDispIdBase + 22, kByDateRange, kMoney},
    {23, u"GetDateFormat", kDispIdBase + 23, {}, kText},
}};

// The coerced arguments of one call, typed as the parameters are.
struct Arguments {
  std::vector<Variant> values;
  const Text& text(std::size_t i) const { return values[i].AsText(); }
  Long lng(std::size_t i) const { return values[i].AsLong(); }
  Integer integer(std::size_t i) const { return values[i].AsInteger(); }
  Boolean boolean(std::size_t i) const { return values[i].AsBoolean() ? kTrue : kFalse; }
  DateTime date(std::size_t i) const { return values[i].AsDate(); }
};

// Calls the method through the interface slot, with parameters passed by
// reference bound to the call's own copies.
Variant Call(_KX& o, int number, const Arguments& a) {
  switch (number) {
    case 0: return Variant::FromText(o.FormatPhone(a.text(0), a.text(1)));
    case 1: return Variant::FromText(o.FormatZip(a.text(0)));
    case 2: return Variant::FromText(o.FormatSS(a.text(0)));
    case 3: {
      const Boolean fml = a.boolean(3);
      return Variant::FromText(o.FormatName(a.text(0), a.text(1), a.text(2), fml));
    }
    case 4: {
      const Boolean multi = a.boolean(5);
      return Variant::FromText(
          o.FormatAddress(a.text(0), a.text(1), a.text(2), a.text(3), a.text(4), multi));
    }
    case 5: {
      const Boolean multi = a.boolean(6);
      return Variant::FromText(o.FormatAddress2(a.text(0), a.text(1), a.text(2), a.text(3),
                                                a.text(4), a.text(5), multi));
    }
    case 6: return Variant::FromText(o.FormatMinutes(a.lng(0)));
    case 7: {
      const Long id = a.lng(2);
      return Variant::FromText(o.LastModified(a.text(0), a.text(1), id));
    }
    case 8: {
      const Long id = a.lng(2);
      return Variant::FromText(o.LastModifiedCaseClient(a.text(0), a.text(1), id));
    }
    case 9: {
      const Long id = a.lng(1);
      return Variant::FromText(o.LastPaymentDate(a.text(0), id));
    }
    case 10: {
      const Long id = a.lng(1);
      return Variant::FromCurrency(o.LastPaymentAmt(a.text(0), id));
    }
    case 11: {
      const Long id = a.lng(1);
      return Variant::FromCurrency(o.CreditAmount(a.text(0), id));
    }
    case 12: {
      const Long id = a.lng(1);
      return Variant::FromCurrency(o.CreditAmountRetainer(a.text(0), id));
    }
    case 13: {
      const Long id = a.lng(1);
      const Long inv = a.lng(2);
      return Variant::FromCurrency(o.PrevBalDue(a.text(0), id, inv));
    }
    case 14: {
      const Long id = a.lng(1);
      const Long inv = a.lng(2);
      return Variant::FromText(o.PrevInvDateEntered(a.text(0), id, inv));
    }
    case 15: {
      const Long id = a.lng(1);
      const Integer start = a.integer(2);
      const Integer end = a.integer(3);
      return Variant::FromCurrency(o.AgedInvBalances(a.text(0), id, start, end));
    }
    case 16: {
      const Long id = a.lng(1);
      return Variant::FromLong(o.PymtCountByDateRange(a.text(0), id, a.text(2), a.text(3)));
    }
    case 17: {
      const Long inv = a.lng(1);
      return Variant::FromCurrency(o.InvoiceBalance(a.text(0), inv));
    }
    case 18: {
      const Long inv = a.lng(1);
      return Variant::FromCurrency(o.InvoiceFee(a.text(0), inv));
    }
    case 19: {
      const Long id = a.lng(1);
      return Variant::FromText(o.LTCBenefitTypeEnabledYN(a.text(0), id, a.text(2)));
    }
    case 20:
    case 21:
    case 22: {
      const Long id = a.lng(1);
      const DateTime start = a.date(2);
      const DateTime end = a.date(3);
      if (number == 20) return Variant::FromCurrency(o.PymtsByDateRange(a.text(0), id, start, end, a.text(4)));
      if (number == 21) return Variant::FromCurrency(o.WOffsByDateRange(a.text(0), id, start, end, a.text(4)));
      return Variant::FromCurrency(o.FeesByDateRange(a.text(0), id, start, end, a.text(4)));
    }
    case 23: return Variant::FromText(o.GetDateFormat());
    default: break;
  }
  return Variant();
}

InvokeResult Failure(DispatchError error, std::string message, int arg_index = -1) {
  InvokeResult result;
  result.error = error;
  result.message = std::move(message);
  result.arg_index = arg_index;
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
  Arguments coerced;
  coerced.values.reserve(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    const ParamInfo& param = method.params[i];
    try {
      coerced.values.push_back(platform::ChangeType(args[i], param.type, locale));
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
  result.value = Call(object, method.number, coerced);
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
  const Long n = dispid - kDispIdBase;
  if (dispid < kDispIdBase || n >= static_cast<Long>(kMethods.size())) return nullptr;
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
    return Failure(DispatchError::kTypeMismatch, "out of memory");
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
    return Failure(DispatchError::kTypeMismatch, "out of memory");
  }
}

}  // namespace qorvel
