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

using namespace qorvel::server::testing;
using qorvel::server::Bstr;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

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

// VARIANTs of a type; texts are held (and freed) by the program.
VARIANT Of(VARTYPE type, void* pointer = nullptr) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  V_BYREF(&v) = pointer;
  return v;
}
VARIANT Text(const char16_t* text) {
  static std::vector<std::unique_ptr<Bstr>> held;
  held.push_back(std::make_unique<Bstr>(text));
  VARIANT v = Of(VT_BSTR);
  V_BSTR(&v) = held.back()->get();
  return v;
}
VARIANT I4(long value) {
  VARIANT v = Of(VT_I4);
  V_I4(&v) = value;
  return v;
}
VARIANT Ref(VARTYPE type, void* pointer) { return Of(static_cast<VARTYPE>(VT_BYREF | type), pointer); }

// Each listed method by its name in capitals, called with empty arguments
// (which convert to "", 0 and False; a lookup with an empty path returns its
// default): a result of the method's type.
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
    CHECK_EQ(IdOf(object, upper, id), S_OK);
    CHECK_EQ(id, f->memid);
    std::vector<VARIANT> args(static_cast<std::size_t>(f->cParams - 1), Of(VT_EMPTY));
    VariantValue result;
    CHECK_EQ(Call(object, f->memid, args, result.get()), S_OK);
    CHECK_EQ(V_VT(result.get()), f->lprgelemdescParam[f->cParams - 1].tdesc.lptdesc->vt);
    info->ReleaseFuncDesc(f);
  }
  Group("listed");
  CHECK_EQ(listed, 24U);
}

void NothingElseAnswers(IDispatch* object) {
  Group("unknown names and identifiers");
  // The members _KX inherits, a longer name, no name.
  for (const wchar_t* name : {L"QueryInterface", L"Invoke", L"NoSuchMethod", L"FormatZip2", L""}) {
    DISPID id = 0;
    CheckEq(IdOf(object, name, id), DISP_E_UNKNOWNNAME, Utf8(name));
    CHECK_EQ(id, DISPID_UNKNOWN);
  }
  // Not an identifier, QueryInterface's, one past the last method.
  for (DISPID id : {DISPID(-1), DISPID(0x60000000), DISPID(0x60030018)}) {
    VariantValue result;
    CHECK_EQ(Call(object, id, {}, result.get()), DISP_E_MEMBERNOTFOUND);
  }
  VariantValue result;
  CHECK_EQ(Call(object, 0x60030017, {}, result.get(), nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
}

void PlumbingFailures(IDispatch* object) {
  Group("argument count and named arguments");
  VariantValue result;
  CHECK_EQ(Call(object, 0x60030001, {}, result.get()), DISP_E_BADPARAMCOUNT);
  CHECK_EQ(Call(object, 0x60030001, {I4(1), I4(2)}, result.get()), DISP_E_BADPARAMCOUNT);
  VARIANT arg = I4(75);
  DISPID named = 0;
  DISPPARAMS params{&arg, &named, 1, 1};
  CHECK_EQ(object->Invoke(0x60030006, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                          nullptr, nullptr),
           DISP_E_NONAMEDARGS);

  Group("type mismatch, overflow and null references, with the argument at fault");
  struct Case {
    DISPID id;
    std::vector<VARIANT> args;
    HRESULT status;
    UINT arg_error;  // index in rgvarg: the last argument is 0
  };
  short overflow_short = 0;
  // FormatMinutes(Minutes); AgedInvBalances(TargetDB, PeopleID, StartDays, EndDays).
  const Case cases[] = {
      {0x60030006, {Text(u"abc")}, DISP_E_TYPEMISMATCH, 0},
      {0x60030006, {Of(VT_NULL)}, DISP_E_TYPEMISMATCH, 0},
      {0x60030006, {Text(u"99999999999")}, DISP_E_OVERFLOW, 0},
      {0x6003000f, {Text(u""), I4(1), I4(0), I4(40000)}, DISP_E_OVERFLOW, 0},
      {0x6003000f, {Text(u""), I4(1), I4(40000), Ref(VT_I2, &overflow_short)}, DISP_E_OVERFLOW, 1},
      {0x6003000f, {I4(0), Ref(VT_I4, nullptr), I4(0), I4(0)}, E_POINTER, 2},
  };
  for (const Case& c : cases) {
    UINT arg_error = 99;
    VariantValue r;
    CHECK_EQ(Call(object, c.id, c.args, r.get(), &arg_error), c.status);
    CHECK_EQ(arg_error, c.arg_error);
  }
}

void ArgumentsOfAnyConvertibleType(IDispatch* object) {
  Group("by reference, other types");
  // FormatName(First, Middle, Last, FML) with Middle a VT_BYREF|VT_VARIANT
  // holding a number, Last a VT_BYREF|VT_BSTR, FML a VT_BYREF|VT_I4 (any
  // non-zero value is True); all come back unchanged.
  VARIANT middle = Of(VT_I2);
  V_I2(&middle) = 7;
  Bstr last_held(u"Public");
  BSTR last = last_held.get();
  long fml = 1;
  VariantValue result;
  CHECK_EQ(Call(object, 0x60030003, {Text(u"John"), Ref(VT_VARIANT, &middle), Ref(VT_BSTR, &last), Ref(VT_I4, &fml)},
                result.get()),
           S_OK);
  CHECK_EQ(V_VT(result.get()) == VT_BSTR ? FromBstr(V_BSTR(result.get())) : u"(not text)", qorvel::Text(u"John 7. Public"));
  CHECK(V_VT(&middle) == VT_I2 && V_I2(&middle) == 7 && last == last_held.get() && fml == 1);
  CHECK_EQ(FromBstr(last), qorvel::Text(u"Public"));

  Group("by value where the parameter is by reference");
  // PymtCountByDateRange("", "417", StartDateTime, EndDateTime) with the
  // Long given as text and the texts given as a date and a number.
  VARIANT date = Of(VT_DATE);
  V_DATE(&date) = 40179.0;
  VariantValue count;
  CHECK_EQ(Call(object, 0x60030010, {Text(u""), Text(u"417"), date, I4(5)}, count.get()), S_OK);
  CHECK_EQ(V_VT(count.get()), VT_I4);

  Group("property get and null result");
  VariantValue pattern;
  CHECK_EQ(Call(object, 0x60030017, {}, pattern.get(), nullptr, DISPATCH_PROPERTYGET), S_OK);
  CHECK_EQ(V_VT(pattern.get()), VT_BSTR);
  CHECK_EQ(Call(object, 0x60030017, {}, nullptr), S_OK);
}

}  // namespace

int main() {
  Apartment apartment;
  ComPtr<IDispatch> object;
  Group("create");
  if (!CHECK_EQ(CoCreateInstance(CLSID_KX, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                 reinterpret_cast<void**>(object.Receive())),
                S_OK)) {
    return Finish();
  }
  EveryListedMethodAnswers(object.get());
  NothingElseAnswers(object.get());
  PlumbingFailures(object.get());
  ArgumentsOfAnyConvertibleType(object.get());
  object.Reset();
  return Finish();
}
