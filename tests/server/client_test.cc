// The clients of QORVEL.KX, on every row of the shared call table for the
// given locale: a script host of our own (Wine's cscript reports nothing on
// a script error), calling late bound by name with each argument a script
// variable passed by reference (VT_BYREF|VT_VARIANT holding its text); and
// a compiled client, calling early bound through the _KX vtable and through
// IDispatch with arguments of the parameters' own types (by value, or
// VT_BYREF of the type for [in, out] parameters). Results must equal the
// table (the Linux build's results), and by-reference arguments must come
// back unchanged.
//
//   client_test CALLS.TSV LOCALE script|compiled
//   (LC_ALL selects Wine's user locale)
#include <memory>
#include <string>
#include <vector>

#include "cases/calls_table.h"
#include "server/server_test.h"

using qorvel::server::Bstr;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

namespace {

// One argument in every form a compiled client could hold it: the number
// and the Boolean as the automation conversions read the text ("&H10" is
// 16, "#TRUE#" True), 0 and False when they cannot.
struct Arg {
  explicit Arg(const std::u16string& value) : text(value), bstr(value) {
    OLECHAR* chars = const_cast<OLECHAR*>(reinterpret_cast<const OLECHAR*>(text.c_str()));
    if (FAILED(VarI4FromStr(chars, LOCALE_USER_DEFAULT, 0, &number))) number = 0;
    if (FAILED(VarBoolFromStr(chars, LOCALE_USER_DEFAULT, 0, &boolean))) boolean = VARIANT_FALSE;
  }
  std::u16string text;
  Bstr bstr;
  LONG number = 0;
  VARIANT_BOOL boolean = VARIANT_FALSE;
};

// Calls `method` through the vtable. Returns E_NOTIMPL for a method the
// table does not cover.
HRESULT CallEarly(::_KX* kx, const std::string& method, std::vector<std::unique_ptr<Arg>>& a,
                  BSTR* result) {
  auto s = [&](std::size_t k) { return a[k]->bstr.get(); };
  auto p = [&](std::size_t k) {
    SysFreeString(a[k]->bstr.Release());  // hold the text again, in a fresh string
    BSTR* b = a[k]->bstr.Receive();
    *b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(a[k]->text.data()),
                           static_cast<UINT>(a[k]->text.size()));
    return b;
  };
  if (method == "FormatPhone") return kx->FormatPhone(p(0), p(1), result);
  if (method == "FormatZip") return kx->FormatZip(s(0), result);
  if (method == "FormatSS") return kx->FormatSS(s(0), result);
  if (method == "FormatName") return kx->FormatName(s(0), p(1), p(2), &a[3]->boolean, result);
  if (method == "FormatAddress")
    return kx->FormatAddress(s(0), p(1), p(2), p(3), p(4), &a[5]->boolean, result);
  if (method == "FormatAddress2")
    return kx->FormatAddress2(s(0), p(1), p(2), p(3), p(4), p(5), &a[6]->boolean, result);
  if (method == "FormatMinutes") return kx->FormatMinutes(a[0]->number, result);
  if (method == "GetDateFormat") return kx->GetDateFormat(result);
  return E_NOTIMPL;
}

// Calls the row's method as a script does: by name, each argument a
// variable passed by reference.
void CallAsScript(IDispatch* object, const qorvel::cases::Call& call) {
  std::wstring wide_name(call.method.begin(), call.method.end());
  LPOLESTR name = wide_name.data();
  DISPID id = DISPID_UNKNOWN;
  if (!CHECK_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK)) return;
  // The script's variables, and the by-reference arguments that point at
  // them, last argument first.
  const std::size_t n = call.args.size();
  std::vector<VariantValue> variables(n);
  std::vector<VARIANTARG> args(n);
  for (std::size_t k = 0; k < n; ++k) {
    V_VT(variables[k].get()) = VT_BSTR;
    V_BSTR(variables[k].get()) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(call.args[k].data()),
                                                   static_cast<UINT>(call.args[k].size()));
    VARIANTARG& arg = args[n - 1 - k];
    VariantInit(&arg);
    V_VT(&arg) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&arg) = variables[k].get();
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

// Calls the row's method through IDispatch with each argument converted to
// its parameter's type, by reference for [in, out] parameters.
void CallTyped(IDispatch* object, ITypeInfo* info, const qorvel::cases::Call& call) {
  std::wstring wide_name(call.method.begin(), call.method.end());
  LPOLESTR name = wide_name.data();
  DISPID id = DISPID_UNKNOWN;
  if (!CHECK_EQ(object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK)) return;
  FUNCDESC* f = nullptr;
  for (UINT i = 0; i < 24 && !f; ++i) {
    if (SUCCEEDED(info->GetFuncDesc(i, &f)) && f->memid != id) {
      info->ReleaseFuncDesc(f);
      f = nullptr;
    }
  }
  if (!CHECK(f)) return;
  const std::size_t n = call.args.size();
  if (!CHECK_EQ(static_cast<std::size_t>(f->cParams), n + 1)) {
    info->ReleaseFuncDesc(f);
    return;
  }
  std::vector<VariantValue> values(n), before(n);
  std::vector<VARIANTARG> args(n);
  for (std::size_t k = 0; k < n; ++k) {
    const TYPEDESC& type = f->lprgelemdescParam[k].tdesc;
    const bool by_reference = type.vt == VT_PTR;
    const VARTYPE target = by_reference ? type.lptdesc->vt : type.vt;
    VARIANT* v = values[k].get();
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(call.args[k].data()),
                                  static_cast<UINT>(call.args[k].size()));
    CHECK_EQ(VariantChangeTypeEx(v, v, LOCALE_USER_DEFAULT, 0, target), S_OK);
    VariantCopy(before[k].get(), v);
    VARIANTARG& arg = args[n - 1 - k];
    if (by_reference) {
      V_VT(&arg) = static_cast<VARTYPE>(VT_BYREF | target);
      V_BYREF(&arg) = target == VT_BSTR ? static_cast<void*>(&V_BSTR(v))
                      : target == VT_BOOL ? static_cast<void*>(&V_BOOL(v))
                                          : static_cast<void*>(&V_I4(v));
    } else {
      arg = *v;  // borrowed
    }
  }
  info->ReleaseFuncDesc(f);
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(n), 0};
  VariantValue result;
  UINT arg_error = 0;
  if (!CHECK_EQ(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                               result.get(), nullptr, &arg_error),
                S_OK)) {
    return;
  }
  if (CHECK_EQ(V_VT(result.get()), VT_BSTR)) {
    CHECK_EQ(FromBstr(V_BSTR(result.get())), call.expected);
  }
  for (std::size_t k = 0; k < n; ++k) {
    CHECK_EQ(V_VT(values[k].get()), V_VT(before[k].get()));
    CHECK_EQ(VarCmp(values[k].get(), before[k].get(), LOCALE_USER_DEFAULT, 0),
             static_cast<HRESULT>(VARCMP_EQ));
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
  GROUP("table");
  if (!CHECK_NOTE(error.empty(), error)) return check::Finish();

  qorvel::server::testing::Apartment apartment;
  GROUP("create");
  CLSID clsid;
  ComPtr<IDispatch> object;
  ComPtr<::_KX> kx;
  CHECK_EQ(CLSIDFromProgID(L"QORVEL.KX", &clsid), S_OK);
  if (!CHECK_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(object.Receive())),
                S_OK) ||
      !CHECK_EQ(object->QueryInterface(IID__KX, reinterpret_cast<void**>(kx.Receive())), S_OK)) {
    return check::Finish();
  }
  ComPtr<ITypeInfo> info = qorvel::server::testing::VtableInfo(kx.get());
  if (!CHECK(info)) return check::Finish();

  int rows = 0;
  for (const qorvel::cases::Call& call : calls) {
    if (call.locale != argv[2]) continue;
    ++rows;
    const std::string where = "calls.tsv:" + std::to_string(call.line) + " " + call.method;
    if (script) {
      GROUP("script " + where);
      CallAsScript(object.get(), call);
      continue;
    }
    GROUP("vtable " + where);
    std::vector<std::unique_ptr<Arg>> args;
    for (const std::u16string& text : call.args) args.push_back(std::make_unique<Arg>(text));
    Bstr early;
    if (CHECK_EQ(CallEarly(kx.get(), call.method, args, early.Receive()), S_OK)) {
      CHECK_EQ(FromBstr(early.get()), call.expected);
    }
    for (std::size_t k = 0; k < args.size(); ++k) CHECK_EQ(FromBstr(args[k]->bstr.get()), call.args[k]);

    GROUP("IDispatch " + where);
    CallTyped(kx.get(), info.get(), call);
  }
  GROUP("table");
  CHECK_NOTE(rows > 20, "rows for this locale");
  info.Reset();
  kx.Reset();
  object.Reset();
  return check::Finish();
}
