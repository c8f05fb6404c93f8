// The clients of QORVEL.KX, on every row of the shared call table for the
// given locale: a script host of our own (Wine's cscript reports nothing on
// a script error), calling late bound by name with each argument a script
// variable passed by reference (VT_BYREF|VT_VARIANT holding its text); or a
// compiled client, calling early bound through the _KX vtable with
// arguments of the parameters' own types. Results must equal the table (the
// Linux build's results), and by-reference arguments must come back
// unchanged. (The dispatch test covers typed arguments through IDispatch.)
//
//   client_test CALLS.TSV LOCALE script|compiled
//   (LC_ALL selects Wine's user locale)
#include <memory>
#include <string>
#include <vector>

#include "cases/calls_table.h"
#include "server/server_test.h"

using namespace qorvel::server::testing;
using qorvel::server::Bstr;
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
// the number and the Boolean as the automation conversions read the text
// ("&H10" is 16, "#TRUE#" True), 0 and False when they cannot.
struct Arg {
  explicit Arg(const std::u16string& value) {
    SetText(text.get(), value);
    if (FAILED(VarI4FromStr(V_BSTR(text.get()), LOCALE_USER_DEFAULT, 0, &number))) number = 0;
    if (FAILED(VarBoolFromStr(V_BSTR(text.get()), LOCALE_USER_DEFAULT, 0, &boolean))) boolean = VARIANT_FALSE;
  }
  VariantValue text;
  LONG number = 0;
  VARIANT_BOOL boolean = VARIANT_FALSE;
};

// Calls `method` through the vtable. Returns E_NOTIMPL for a method the
// table does not cover.
HRESULT CallEarly(::_KX* kx, const std::string& method, std::vector<std::unique_ptr<Arg>>& a, BSTR* result) {
  auto s = [&](std::size_t k) { return V_BSTR(a[k]->text.get()); };
  auto p = [&](std::size_t k) { return &V_BSTR(a[k]->text.get()); };
  if (method == "FormatPhone") return kx->FormatPhone(p(0), p(1), result);
  if (method == "FormatZip") return kx->FormatZip(s(0), result);
  if (method == "FormatSS") return kx->FormatSS(s(0), result);
  if (method == "FormatName") return kx->FormatName(s(0), p(1), p(2), &a[3]->boolean, result);
  if (method == "FormatAddress") return kx->FormatAddress(s(0), p(1), p(2), p(3), p(4), &a[5]->boolean, result);
  if (method == "FormatAddress2")
    return kx->FormatAddress2(s(0), p(1), p(2), p(3), p(4), p(5), &a[6]->boolean, result);
  if (method == "FormatMinutes") return kx->FormatMinutes(a[0]->number, result);
  if (method == "GetDateFormat") return kx->GetDateFormat(result);
  return E_NOTIMPL;
}

void CallEarly(::_KX* kx, const qorvel::cases::Call& call) {
  std::vector<std::unique_ptr<Arg>> args;
  for (const std::u16string& text : call.args) args.push_back(std::make_unique<Arg>(text));
  Bstr result;
  if (CHECK_EQ(CallEarly(kx, call.method, args, result.Receive()), S_OK)) CHECK_EQ(FromBstr(result.get()), call.expected);
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
  if (CHECK_EQ(V_VT(result.get()), VT_BSTR)) CHECK_EQ(FromBstr(V_BSTR(result.get())), call.expected);
  for (std::size_t k = 0; k < n; ++k) {
    if (CHECK_EQ(V_VT(variables[k].get()), VT_BSTR)) CHECK_EQ(FromBstr(V_BSTR(variables[k].get())), call.args[k]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::printf("usage: client_test CALLS.TSV LOCALE script|compiled\n");
    return 2;
  }
  const bool script = std::string(argv[3]) == "script";
  std::string error;
  const std::vector<qorvel::cases::Call> calls = qorvel::cases::ReadCalls(argv[1], error);
  Group("table");
  if (!Check(error.empty(), "calls table read", error)) return Finish();

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
    return Finish();
  }
  int rows = 0;
  for (const qorvel::cases::Call& call : calls) {
    if (call.locale != argv[2]) continue;
    ++rows;
    Group(std::string(script ? "script" : "vtable") + " calls.tsv:" + std::to_string(call.line) + " " + call.method);
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
  return Finish();
}
