// The clients of QORVEL.KX, on every row of the shared call table for the
// given locale: a script host of our own (Wine's cscript reports nothing on
// a script error), calling late bound by name with each argument a script
// variable passed by reference (VT_BYREF|VT_VARIANT holding its text); or a
// compiled client, calling early bound through the _KX vtable with
// arguments of the parameters' own types. Results, as a report shows them
// (their text in the user locale), must equal the table (the Linux build's
// results), and by-reference arguments must come back unchanged. (The
// dispatch test covers typed arguments through IDispatch.)
//
// The lookups' rows run on the fixture databases of SHARED_DIR: "$billing"
// on fixtures/billing.mdb and on a SQLite file that the test writes from
// fixtures/billing/*.tsv, "$large" on fixtures/billing-large.mdb; they are
// skipped, with a message, where SHARED_DIR has no fixtures.
//
//   client_test CALLS.TSV LOCALE script|compiled SHARED_DIR
//   (LC_ALL selects Wine's user locale)
#include <memory>
#include <string>
#include <vector>

#include "cases/calls_table.h"
#include "server/server_test.h"
#include "support/tsv_database.h"

using namespace qorvel::server::testing;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

namespace {

// A text as an owned VARIANT (VT_BSTR).
void SetText(VARIANT* v, const std::u16string& text) {
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

// One argument in every form a compiled client could hold it: the text, and
// the Long, Integer, Boolean and date as the automation conversions read the
// text in the user locale ("&H10" is 16, "#TRUE#" True), 0 and False when
// they cannot.
struct Arg {
  explicit Arg(const std::u16string& value) {
    SetText(text.get(), value);
    const BSTR b = V_BSTR(text.get());
    if (FAILED(VarI4FromStr(b, LOCALE_USER_DEFAULT, 0, &number))) number = 0;
    if (FAILED(VarI2FromStr(b, LOCALE_USER_DEFAULT, 0, &integer))) integer = 0;
    if (FAILED(VarBoolFromStr(b, LOCALE_USER_DEFAULT, 0, &boolean))) boolean = VARIANT_FALSE;
    if (FAILED(VarDateFromStr(b, LOCALE_USER_DEFAULT, 0, &date))) date = 0;
  }
  VariantValue text;
  LONG number = 0;
  SHORT integer = 0;
  VARIANT_BOOL boolean = VARIANT_FALSE;
  DATE date = 0;
};

// Calls `method` through the vtable; `result` gets the method's result type.
// Returns E_NOTIMPL for a method the table does not cover.
HRESULT CallEarly(::_KX* kx, const std::string& method, std::vector<std::unique_ptr<Arg>>& a, VARIANT* result) {
  auto s = [&](std::size_t k) { return V_BSTR(a[k]->text.get()); };
  auto p = [&](std::size_t k) { return &V_BSTR(a[k]->text.get()); };
  auto n = [&](std::size_t k) { return &a[k]->number; };
  auto i = [&](std::size_t k) { return &a[k]->integer; };
  auto d = [&](std::size_t k) { return &a[k]->date; };
  auto text = [&] {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = nullptr;
    return &V_BSTR(result);
  };
  auto money = [&] {
    V_VT(result) = VT_CY;
    V_CY(result).int64 = 0;
    return &V_CY(result);
  };
  auto whole = [&] {
    V_VT(result) = VT_I4;
    V_I4(result) = 0;
    return &V_I4(result);
  };
  if (method == "FormatPhone") return kx->FormatPhone(p(0), p(1), text());
  if (method == "FormatZip") return kx->FormatZip(s(0), text());
  if (method == "FormatSS") return kx->FormatSS(s(0), text());
  if (method == "FormatName") return kx->FormatName(s(0), p(1), p(2), &a[3]->boolean, text());
  if (method == "FormatAddress") return kx->FormatAddress(s(0), p(1), p(2), p(3), p(4), &a[5]->boolean, text());
  if (method == "FormatAddress2")
    return kx->FormatAddress2(s(0), p(1), p(2), p(3), p(4), p(5), &a[6]->boolean, text());
  if (method == "FormatMinutes") return kx->FormatMinutes(a[0]->number, text());
  if (method == "GetDateFormat") return kx->GetDateFormat(text());
  if (method == "LastModified") return kx->LastModified(s(0), s(1), n(2), text());
  if (method == "LastModifiedCaseClient") return kx->LastModifiedCaseClient(s(0), s(1), n(2), text());
  if (method == "LastPaymentDate") return kx->LastPaymentDate(s(0), n(1), text());
  if (method == "LastPaymentAmt") return kx->LastPaymentAmt(s(0), n(1), money());
  if (method == "CreditAmount") return kx->CreditAmount(s(0), n(1), money());
  if (method == "CreditAmountRetainer") return kx->CreditAmountRetainer(s(0), n(1), money());
  if (method == "PrevBalDue") return kx->PrevBalDue(s(0), n(1), n(2), money());
  if (method == "PrevInvDateEntered") return kx->PrevInvDateEntered(s(0), n(1), n(2), text());
  if (method == "AgedInvBalances") return kx->AgedInvBalances(s(0), n(1), i(2), i(3), money());
  if (method == "PymtCountByDateRange") return kx->PymtCountByDateRange(s(0), n(1), p(2), p(3), whole());
  if (method == "InvoiceBalance") return kx->InvoiceBalance(s(0), n(1), money());
  if (method == "InvoiceFee") return kx->InvoiceFee(s(0), n(1), money());
  if (method == "LTCBenefitTypeEnabledYN") return kx->LTCBenefitTypeEnabledYN(s(0), n(1), p(2), text());
  if (method == "PymtsByDateRange") return kx->PymtsByDateRange(s(0), n(1), d(2), d(3), p(4), money());
  if (method == "WOffsByDateRange") return kx->WOffsByDateRange(s(0), n(1), d(2), d(3), p(4), money());
  if (method == "FeesByDateRange") return kx->FeesByDateRange(s(0), n(1), d(2), d(3), p(4), money());
  return E_NOTIMPL;
}

// A result as a report shows it: its text in the user locale.
std::u16string Shown(VARIANT* result) {
  VariantValue text;
  if (FAILED(VariantChangeTypeEx(text.get(), result, LOCALE_USER_DEFAULT, 0, VT_BSTR))) return u"<no text>";
  return FromBstr(V_BSTR(text.get()));
}

void CallEarly(::_KX* kx, const qorvel::cases::Call& call) {
  std::vector<std::unique_ptr<Arg>> args;
  for (const std::u16string& text : call.args) args.push_back(std::make_unique<Arg>(text));
  VariantValue result;
  if (CHECK_EQ(CallEarly(kx, call.method, args, result.get()), S_OK)) CHECK_EQ(Shown(result.get()), call.expected);
  for (std::size_t k = 0; k < args.size(); ++k) CHECK_EQ(FromBstr(V_BSTR(args[k]->text.get())), call.args[k]);
}

// Calls the row's method as a script does: by name, each argument a
// variable passed by reference, last argument first.
void CallAsScript(IDispatch* object, const qorvel::cases::Call& call) {
  std::wstring name(call.method.begin(), call.method.end());
  LPOLESTR names = name.data();
  DISPID id = DISPID_UNKNOWN;
  if (!CHECK_EQ(object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK)) return;
  const std::size_t n = call.args.size();
  std::vector<VariantValue> variables(n);
  std::vector<VARIANTARG> args(n);
  for (std::size_t k = 0; k < n; ++k) {
    SetText(variables[k].get(), call.args[k]);
    V_VT(&args[n - 1 - k]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[n - 1 - k]) = variables[k].get();
  }
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(n), 0};
  VariantValue result;
  UINT arg_error = 0;
  if (!CHECK_EQ(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                               result.get(), nullptr, &arg_error),
                S_OK)) {
    return;
  }
  CHECK_EQ(Shown(result.get()), call.expected);
  for (std::size_t k = 0; k < n; ++k) {
    if (CHECK_EQ(V_VT(variables[k].get()), VT_BSTR)) CHECK_EQ(FromBstr(V_BSTR(variables[k].get())), call.args[k]);
  }
}

// The databases the placeholders stand for: those fixtures of `shared` that
// exist, and the SQLite file `copy` written from the fixture rows.
qorvel::cases::Databases FixtureDatabases(const std::string& shared, const std::wstring& copy) {
  const std::string fixtures = HostPath(shared + "/fixtures/");
  qorvel::cases::Databases databases = {{u"$billing", {}}, {u"$large", {}}};
  for (const auto& [placeholder, file] : {std::pair{u"$billing", "billing.mdb"}, {u"$large", "billing-large.mdb"}}) {
    if (GetFileAttributesA((fixtures + file).c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::printf("skipped the lookups on %s: no %s%s\n", file, fixtures.c_str(), file);
      continue;
    }
    databases[placeholder].push_back(qorvel::FromUtf8(fixtures + file));
  }
  if (!databases[u"$billing"].empty()) {
    Group("the SQLite copy");
    const std::string made = qorvel::testing::BuildSqliteFromTsv(fixtures + "billing", copy);
    if (Check(made.empty(), "written from the fixture rows", made)) {
      databases[u"$billing"].push_back(std::u16string(copy.begin(), copy.end()));
    }
  }
  return databases;
}

// Every row of `locale` through one object, in an apartment of its own (so
// that the thread's connection is let go when the function returns).
void Run(bool script, const std::string& locale, const std::vector<qorvel::cases::Call>& calls) {
  Apartment apartment;
  Group("create");
  CLSID clsid;
  ComPtr<IDispatch> object;
  ComPtr<::_KX> kx;
  CHECK_EQ(CLSIDFromProgID(L"QORVEL.KX", &clsid), S_OK);
  if (!CHECK_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(object.Receive())),
                S_OK) ||
      !CHECK_EQ(object->QueryInterface(IID__KX, reinterpret_cast<void**>(kx.Receive())), S_OK)) {
    return;
  }
  int rows = 0;
  for (const qorvel::cases::Call& call : calls) {
    if (call.locale != locale) continue;
    ++rows;
    Group(std::string(script ? "script" : "vtable") + " calls.tsv:" + std::to_string(call.line) + " " + call.method +
          (call.database.empty() ? "" : " on " + qorvel::ToUtf8(call.database)));
    if (script) {
      CallAsScript(object.get(), call);
    } else {
      CallEarly(kx.get(), call);
    }
  }
  Group("table");
  Check(rows > 20, "rows for this locale");
  kx.Reset();
  object.Reset();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::printf("usage: client_test CALLS.TSV LOCALE script|compiled SHARED_DIR\n");
    return 2;
  }
  const bool script = std::string(argv[3]) == "script";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring copy = temp + (L"qorvel-client-test-" + std::to_wstring(GetCurrentProcessId()) + L".sqlite");
  std::string error;
  const std::vector<qorvel::cases::Call> calls =
      qorvel::cases::OnDatabases(qorvel::cases::ReadCalls(argv[1], error), FixtureDatabases(argv[4], copy), error);
  Group("table");
  if (!Check(error.empty(), "calls table read", error)) return Finish();
  Run(script, argv[2], calls);
  DeleteFileW(copy.c_str());
  return Finish();
}

