// A script host of our own (Wine's cscript reports nothing on a script
// error): it calls QORVEL.KX the way a report's script does, late bound by
// name, with each argument a script variable passed by reference
// (VT_BYREF|VT_VARIANT holding the variable's text), and checks every row
// of the shared call table for the given locale against the expected
// result, and the variables unchanged afterwards.
//
//   script_host CALLS.TSV LOCALE      (LC_ALL selects Wine's user locale)
#include <string>
#include <vector>

#include "cases/calls_table.h"
#include "server/server_test.h"

using qorvel::server::Bstr;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

int main(int argc, char** argv) {
  std::vector<qorvel::cases::Call> calls;
  int exit_code = 0;
  if (!qorvel::server::testing::CallsFromArguments(argc, argv, "script_host", calls, exit_code)) return exit_code;

  qorvel::server::testing::Apartment apartment;
  CLSID clsid;
  ComPtr<IDispatch> object;
  GROUP("create");
  CHECK_EQ(CLSIDFromProgID(L"QORVEL.KX", &clsid), S_OK);
  if (!CHECK_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(object.Receive())),
                S_OK)) {
    return check::Finish();
  }

  int rows = 0;
  for (const qorvel::cases::Call& call : calls) {
    if (call.locale != argv[2]) continue;
    ++rows;
    GROUP("calls.tsv:" + std::to_string(call.line) + " " + call.method);
    std::wstring wide_name(call.method.begin(), call.method.end());
    LPOLESTR name = wide_name.data();
    DISPID id = DISPID_UNKNOWN;
    if (!CHECK_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK)) continue;

    // The script's variables, and the by-reference arguments that point at
    // them, last argument first.
    const std::size_t n = call.args.size();
    std::vector<VariantValue> variables(n);
    std::vector<VARIANTARG> args(n);
    for (std::size_t k = 0; k < n; ++k) {
      V_VT(variables[k].get()) = VT_BSTR;
      V_BSTR(variables[k].get()) = SysAllocStringLen(
          reinterpret_cast<const OLECHAR*>(call.args[k].data()), static_cast<UINT>(call.args[k].size()));
      VARIANTARG& arg = args[n - 1 - k];
      VariantInit(&arg);
      V_VT(&arg) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&arg) = variables[k].get();
    }
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(n), 0};
    VariantValue result;
    UINT arg_error = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                      result.get(), nullptr, &arg_error);
    if (!CHECK_EQ(hr, S_OK)) continue;
    CHECK_EQ(V_VT(result.get()), VT_BSTR);
    if (V_VT(result.get()) == VT_BSTR) CHECK_EQ(FromBstr(V_BSTR(result.get())), call.expected);
    for (std::size_t k = 0; k < n; ++k) {
      CHECK_EQ(V_VT(variables[k].get()), VT_BSTR);
      if (V_VT(variables[k].get()) == VT_BSTR) {
        CHECK_EQ(FromBstr(V_BSTR(variables[k].get())), call.args[k]);
      }
    }
  }
  GROUP("table");
  CHECK_NOTE(rows > 20, "rows for this locale");
  object.Reset();
  return check::Finish();
}
