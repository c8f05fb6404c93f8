// Late binding of QORVEL.KX against its own type library: every method the
// type library lists answers by name (in any letter case) with its dispatch
// identifier and can be invoked with arguments of any convertible type, by
// value or by reference; nothing else answers; and the plumbing's failures
// come back as the standard codes with the argument at fault.
//
//   dispatch_test
#include <memory>
#include <string>
#include <vector>

#include "server/server_test.h"

using qorvel::server::Bstr;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

namespace {

HRESULT IdOf(IDispatch* object, const wchar_t* name, DISPID& id) {
  std::wstring copy = name;
  LPOLESTR p = copy.data();
  return object->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_USER_DEFAULT, &id);
}

// Invokes `id` with `args` given in parameter order.
HRESULT Call(IDispatch* object, DISPID id, std::vector<VARIANT> args, VARIANT* result,
             UINT* arg_error = nullptr, WORD flags = DISPATCH_METHOD) {
  std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  UINT ignored = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        arg_error ? arg_error : &ignored);
}

// A VARIANT of type `type` with `set` filling its value; texts are held
// (and freed) by the program.
template <class Set>
VARIANT Of(VARTYPE type, Set set) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  set(v);
  return v;
}
VARIANT Text(const char16_t* text) {
  static std::vector<std::unique_ptr<Bstr>> held;
  held.push_back(std::make_unique<Bstr>(text));
  return Of(VT_BSTR, [&](VARIANT& v) { V_BSTR(&v) = held.back()->get(); });
}
VARIANT I4(long value) {
  return Of(VT_I4, [&](VARIANT& v) { V_I4(&v) = value; });
}
VARIANT Ref(VARTYPE type, void* pointer) {
  return Of(static_cast<VARTYPE>(VT_BYREF | type), [&](VARIANT& v) { V_BYREF(&v) = pointer; });
}

void EveryListedMethodAnswers(IDispatch* object) {
  const ComPtr<ITypeInfo> info = qorvel::server::testing::VtableInfo(object);
  if (!CHECK(info)) return;
  int listed = 0;
  for (UINT i = 0;; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) break;
    ++listed;
    Bstr name;
    info->GetDocumentation(f->memid, name.Receive(), nullptr, nullptr, nullptr);
    GROUP("listed " + check::Utf8(name.get()));
    DISPID id = 0;
    CHECK_EQ(IdOf(object, name.get(), id), S_OK);
    CHECK_EQ(id, f->memid);
    std::wstring upper = name.get();
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    CHECK_EQ(IdOf(object, upper.c_str(), id), S_OK);
    CHECK_EQ(id, f->memid);
    // Empty arguments convert to every parameter type ("" , 0, False);
    // a lookup with an empty database path returns its default.
    std::vector<VARIANT> args(static_cast<std::size_t>(f->cParams - 1));
    for (VARIANT& v : args) VariantInit(&v);
    VariantValue result;
    CHECK_EQ(Call(object, f->memid, args, result.get()), S_OK);
    const VARTYPE expected = f->lprgelemdescParam[f->cParams - 1].tdesc.lptdesc->vt;
    CHECK_EQ(V_VT(result.get()), expected);
    info->ReleaseFuncDesc(f);
  }
  GROUP("listed");
  CHECK_EQ(listed, 24);
}

void NothingElseAnswers(IDispatch* object) {
  GROUP("unknown names");
  for (const wchar_t* name : {L"QueryInterface", L"AddRef", L"Release", L"GetTypeInfoCount",
                              L"GetTypeInfo", L"GetIDsOfNames", L"Invoke", L"NoSuchMethod",
                              L"FormatZip2", L"Format Zip", L"", L"KX", L"_KX", L"Zip"}) {
    DISPID id = 0;
    CHECK_EQ_NOTE(IdOf(object, name, id), DISP_E_UNKNOWNNAME, check::Utf8(name));
    CHECK_EQ(id, DISPID_UNKNOWN);
  }
  GROUP("unknown identifiers");
  for (DISPID id : {DISPID(0), DISPID(-1), DISPID(0x60000000), DISPID(0x60010000),
                    DISPID(0x60020000), DISPID(0x6002FFFF), DISPID(0x60030018), DISPID(0x60040000)}) {
    VariantValue result;
    CHECK_EQ(Call(object, id, {}, result.get()), DISP_E_MEMBERNOTFOUND);
  }
  VariantValue result;
  CHECK_EQ(Call(object, 0x60030017, {}, result.get(), nullptr, DISPATCH_PROPERTYPUT),
           DISP_E_MEMBERNOTFOUND);
}

void PlumbingFailures(IDispatch* object) {
  GROUP("argument count");
  VariantValue result;
  CHECK_EQ(Call(object, 0x60030001, {}, result.get()), DISP_E_BADPARAMCOUNT);
  CHECK_EQ(Call(object, 0x60030001, {I4(1), I4(2)}, result.get()), DISP_E_BADPARAMCOUNT);
  CHECK_EQ(Call(object, 0x60030017, {I4(1)}, result.get()), DISP_E_BADPARAMCOUNT);

  GROUP("named arguments");
  VARIANT arg = I4(75);
  DISPID named = 0;
  DISPPARAMS params{&arg, &named, 1, 1};
  CHECK_EQ(object->Invoke(0x60030006, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                          nullptr, nullptr),
           DISP_E_NONAMEDARGS);

  GROUP("type mismatch and overflow");
  struct Case {
    DISPID id;
    std::vector<VARIANT> args;
    HRESULT status;
    UINT arg_error;  // index in rgvarg: the last argument is 0
  };
  short overflow_short = 0;
  const Case cases[] = {
      {0x60030006, {Text(u"abc")}, DISP_E_TYPEMISMATCH, 0},
      {0x60030006, {Of(VT_NULL, [](VARIANT&) {})}, DISP_E_TYPEMISMATCH, 0},
      {0x60030006, {Text(u"99999999999")}, DISP_E_OVERFLOW, 0},
      // AgedInvBalances(TargetDB, PeopleID, StartDays, EndDays): EndDays is
      // rgvarg[0], StartDays rgvarg[1].
      {0x6003000f, {Text(u""), I4(1), I4(0), I4(40000)}, DISP_E_OVERFLOW, 0},
      {0x6003000f, {Text(u""), I4(1), I4(40000), Ref(VT_I2, &overflow_short)}, DISP_E_OVERFLOW, 1},
      {0x6003000f, {I4(0), Ref(VT_I4, nullptr), I4(0), I4(0)}, E_POINTER, 2},
  };
  for (const Case& c : cases) {
    UINT arg_error = 99;
    VariantValue r;
    const HRESULT hr = Call(object, c.id, c.args, r.get(), &arg_error);
    if (c.status == E_POINTER) {
      CHECK(FAILED(hr));  // a null by-reference pointer never reaches a method
      continue;
    }
    CHECK_EQ(hr, c.status);
    CHECK_EQ(arg_error, c.arg_error);
  }
}

void ArgumentsOfAnyConvertibleType(IDispatch* object) {
  GROUP("by reference, other types");
  // FormatName(First, Middle, Last, FML) with Middle a VT_BYREF|VT_VARIANT
  // holding a number, Last a VT_BYREF|VT_BSTR, FML a VT_BYREF|VT_I4.
  VARIANT middle = Of(VT_I2, [](VARIANT& v) { V_I2(&v) = 7; });
  Bstr last_held(u"Public");
  BSTR last = last_held.get();
  long fml = 1;  // any non-zero value is True
  VariantValue result;
  CHECK_EQ(Call(object, 0x60030003,
                {Text(u"John"), Ref(VT_VARIANT, &middle), Ref(VT_BSTR, &last), Ref(VT_I4, &fml)},
                result.get()),
           S_OK);
  if (CHECK_EQ(V_VT(result.get()), VT_BSTR)) {
    CHECK_EQ(FromBstr(V_BSTR(result.get())), std::u16string(u"John 7. Public"));
  }
  CHECK_EQ(V_VT(&middle), VT_I2);
  CHECK_EQ(V_I2(&middle), 7);
  CHECK(last == last_held.get());
  CHECK_EQ(FromBstr(last), std::u16string(u"Public"));
  CHECK_EQ(fml, 1L);

  GROUP("by value where the parameter is by reference");
  // PymtCountByDateRange("", "417", StartDateTime, EndDateTime) with the
  // Long given as text and the texts given as a date and a number.
  VariantValue count;
  CHECK_EQ(Call(object, 0x60030010, {Text(u""), Text(u"417"), Of(VT_DATE, [](VARIANT& v) { V_DATE(&v) = 40179.0; }), I4(5)},
                count.get()),
           S_OK);
  CHECK_EQ(V_VT(count.get()), VT_I4);
  CHECK_EQ(V_I4(count.get()), 0L);  // the default for an empty path

  GROUP("property get and null result");
  VariantValue pattern;
  CHECK_EQ(Call(object, 0x60030017, {}, pattern.get(), nullptr, DISPATCH_PROPERTYGET), S_OK);
  CHECK_EQ(V_VT(pattern.get()), VT_BSTR);
  CHECK_EQ(Call(object, 0x60030017, {}, nullptr), S_OK);
}

}  // namespace

int main() {
  qorvel::server::testing::Apartment apartment;
  ComPtr<IDispatch> object;
  GROUP("create");
  if (!CHECK_EQ(CoCreateInstance(CLSID_KX, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(object.Receive())),
                S_OK)) {
    return check::Finish();
  }
  UINT count = 0;
  CHECK_EQ(object->GetTypeInfoCount(&count), S_OK);
  CHECK_EQ(count, 1U);
  EveryListedMethodAnswers(object.get());
  NothingElseAnswers(object.get());
  PlumbingFailures(object.get());
  ArgumentsOfAnyConvertibleType(object.get());
  object.Reset();
  return check::Finish();
}
