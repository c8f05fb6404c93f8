// QORVEL.KX's own IDispatch, which converts arguments with the system's
// conversions through its type library: every method the type library
// lists answers by name (in any letter case) with its dispatch identifier
// and can be invoked with arguments of any convertible type, by value or by
// reference; nothing else answers; and the plumbing's failures come back as
// the standard codes with the argument at fault (in rgvarg's order).
//
//   dispatch_test
#include <cstring>
#include <string>
#include <vector>

#include "server/server_test.h"

using namespace qorvel::server::testing;

namespace {

HRESULT IdOf(IDispatch* object, std::wstring name, DISPID& id) {
  LPOLESTR p = name.data();
  return object->GetIDsOfNames(IID_NULL, &p, 1, LOCALE_USER_DEFAULT, &id);
}

// Invokes `id` with `args` given in parameter order.
HRESULT Call(IDispatch* object, DISPID id, std::vector<VARIANT> args, VARIANT* result, UINT* arg_error = nullptr,
             WORD flags = DISPATCH_METHOD) {
  std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  UINT ignored = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        arg_error ? arg_error : &ignored);
}

// A VARIANT of `type` holding `bits` (a number, or a pointer for VT_BYREF
// and VT_BSTR; texts are borrowed from the caller).
template <class T>
VARIANT Of(VARTYPE type, T bits) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  std::memcpy(&V_I8(&v), &bits, sizeof bits);
  return v;
}

// Each listed method by its name in capitals, called with empty arguments
// by value (which convert to "", 0 and False, also where the parameter is
// by reference; a lookup with an empty path returns its default): a result
// of the method's type.
void EveryListedMethodAnswers(IDispatch* object) {
  const ComPtr<ITypeInfo> info = VtableInfo(object);
  if (!CHECK(info)) return;
  UINT listed = 0;
  for (FUNCDESC* f = nullptr; SUCCEEDED(info->GetFuncDesc(listed, &f)); ++listed) {
    Bstr name;
    info->GetDocumentation(f->memid, name.Receive(), nullptr, nullptr, nullptr);
    Group("listed " + Utf8(name.get()));
    std::wstring upper = name.get();
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    DISPID id = 0;
    CHECK(IdOf(object, upper, id) == S_OK && id == f->memid);
    VariantValue result;
    CHECK_EQ(Call(object, f->memid, std::vector<VARIANT>(static_cast<std::size_t>(f->cParams - 1), Of(VT_EMPTY, 0)),
                  result.get()),
             S_OK);
    CHECK_EQ(V_VT(result.get()), f->lprgelemdescParam[f->cParams - 1].tdesc.lptdesc->vt);
    info->ReleaseFuncDesc(f);
  }
  Group("listed");
  CHECK_EQ(listed, 24U);
}

void Failures(IDispatch* object) {
  Group("unknown names");
  // The members _KX inherits, a longer name, no name.
  for (const wchar_t* name : {L"QueryInterface", L"Invoke", L"NoSuchMethod", L"FormatZip2", L""}) {
    DISPID id = 0;
    CheckEq(IdOf(object, name, id), DISP_E_UNKNOWNNAME, Utf8(name));
    CHECK_EQ(id, DISPID_UNKNOWN);
  }

  Group("failures, with the argument at fault");
  Bstr abc(u"abc"), empty(u"");
  short overflow_short = 0;
  struct Case {
    DISPID id;
    WORD flags;
    std::vector<VARIANT> args;
    HRESULT status;
    UINT arg_error;  // index in rgvarg: the last argument is 0; 99 none
  };
  const VARIANT none = Of(VT_EMPTY, 0), one = Of(VT_I4, 1);
  // FormatZip(Zip); FormatMinutes(Minutes); AgedInvBalances(TargetDB,
  // PeopleID, StartDays, EndDays); GetDateFormat().
  const Case cases[] = {
      {0x60000000, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 99},  // QueryInterface's
      {0x60030018, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 99},  // one past the last method
      {0x60030017, DISPATCH_PROPERTYPUT, {}, DISP_E_MEMBERNOTFOUND, 99},
      {0x60030001, DISPATCH_METHOD, {one, one}, DISP_E_BADPARAMCOUNT, 99},
      {0x60030006, DISPATCH_METHOD, {Of(VT_BSTR, abc.get())}, DISP_E_TYPEMISMATCH, 0},
      {0x60030006, DISPATCH_METHOD, {Of(VT_NULL, 0)}, DISP_E_TYPEMISMATCH, 0},
      {0x6003000f, DISPATCH_METHOD, {Of(VT_BSTR, empty.get()), one, none, Of(VT_I4, 40000)}, DISP_E_OVERFLOW, 0},
      // The first parameter that fails, counted from the last argument.
      {0x6003000f, DISPATCH_METHOD, {none, one, Of(VT_I4, 40000), Of(VT_BYREF | VT_I2, &overflow_short)}, DISP_E_OVERFLOW, 1},
      {0x6003000f, DISPATCH_METHOD, {none, Of(VT_BYREF | VT_I4, nullptr), none, none}, E_POINTER, 2},
  };
  for (const Case& c : cases) {
    UINT arg_error = 99;
    VariantValue result;
    CHECK_EQ(Call(object, c.id, c.args, result.get(), &arg_error, c.flags), c.status);
    CHECK_EQ(arg_error, c.arg_error);
  }
  VARIANT arg = one;
  DISPID named = 0;
  DISPPARAMS params{&arg, &named, 1, 1};
  CHECK_EQ(object->Invoke(0x60030006, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                          nullptr),
           DISP_E_NONAMEDARGS);
}

void ArgumentsOfAnyConvertibleType(IDispatch* object) {
  Group("by reference, other types");
  // FormatName(First, Middle, Last, FML) with Middle a VT_BYREF|VT_VARIANT
  // holding a number, Last a VT_BYREF|VT_BSTR, FML a VT_BYREF|VT_I4 (any
  // non-zero value is True); all come back unchanged.
  Bstr first(u"John"), last_held(u"Public");
  VARIANT middle = Of(VT_I2, short{7});
  BSTR last = last_held.get();
  long fml = 1;
  VariantValue name;
  CHECK_EQ(Call(object, 0x60030003,
                {Of(VT_BSTR, first.get()), Of(VT_BYREF | VT_VARIANT, &middle), Of(VT_BYREF | VT_BSTR, &last),
                 Of(VT_BYREF | VT_I4, &fml)},
                name.get()),
           S_OK);
  CHECK_EQ(name.type() == VT_BSTR ? FromBstr(V_BSTR(name.get())) : u"(not text)", qorvel::Text(u"John 7. Public"));
  CHECK(V_VT(&middle) == VT_I2 && V_I2(&middle) == 7 && last == last_held.get() && fml == 1);
  CHECK_EQ(FromBstr(last), qorvel::Text(u"Public"));

  Group("property get; no result");
  VariantValue pattern;
  CHECK_EQ(Call(object, 0x60030017, {}, pattern.get(), nullptr, DISPATCH_PROPERTYGET), S_OK);
  CHECK_EQ(pattern.type(), VT_BSTR);
  CHECK_EQ(Call(object, 0x60030017, {}, nullptr), S_OK);
}

}  // namespace

int main() {
  Apartment apartment;
  ComPtr<IDispatch> object;
  Group("create");
  if (CHECK_EQ(CoCreateInstance(CLSID_KX, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(object.Receive())),
               S_OK)) {
    EveryListedMethodAnswers(object.get());
    Failures(object.get());
    ArgumentsOfAnyConvertibleType(object.get());
  }
  object.Reset();
  return Finish();
}
