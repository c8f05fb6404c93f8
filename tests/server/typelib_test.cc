// Reads back what QORVEL.dll publishes about itself and compares it with
// the component's published interface: the embedded type library (library
// attributes, the coclass and its flags, the dual interface, and for each
// of the 24 methods its slot, dispatch identifier, name, parameter names,
// types and passing, and result) and the version resource (every key and
// value). The DLL is read as data, so the same program checks the 32-bit
// DLL, which cannot run here.
//
//   typelib_test DLL win64|win32
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "server/server_test.h"

namespace {

// Each method of _KX, slot by slot: its parameters as "Name:T" ([in] by
// value) or "Name:&T" ([in, out] by pointer), T one of S(tring), L(ong),
// I(nteger), B(oolean), C(urrency), D(ate); and its result's type.
struct Method {
  const char16_t* name;
  const char* params;
  VARTYPE result;
};

constexpr const char* kDateRange = "TargetDB:S PeopleID:&L StartDate:&D EndDate:&D ProvCode:&S";
constexpr Method kMethods[] = {
    {u"FormatPhone", "PhoneFormat:&S Phone:&S", VT_BSTR},
    {u"FormatZip", "Zip:S", VT_BSTR},
    {u"FormatSS", "SSNumber:S", VT_BSTR},
    {u"FormatName", "First:S Middle:&S Last:&S FML:&B", VT_BSTR},
    {u"FormatAddress", "Address1:S Address2:&S City:&S State:&S Zip:&S MultiLine:&B", VT_BSTR},
    {u"FormatAddress2", "Address1:S Address2:&S Address3:&S City:&S State:&S Zip:&S MultiLine:&B", VT_BSTR},
    {u"FormatMinutes", "Minutes:L", VT_BSTR},
    {u"LastModified", "TargetDB:S TableName:S PeopleID:&L", VT_BSTR},
    {u"LastModifiedCaseClient", "TargetDB:S Category:S PeopleID:&L", VT_BSTR},
    {u"LastPaymentDate", "TargetDB:S PeopleID:&L", VT_BSTR},
    {u"LastPaymentAmt", "TargetDB:S PeopleID:&L", VT_CY},
    {u"CreditAmount", "TargetDB:S PeopleID:&L", VT_CY},
    {u"CreditAmountRetainer", "TargetDB:S PeopleID:&L", VT_CY},
    {u"PrevBalDue", "TargetDB:S PeopleID:&L InvNum:&L", VT_CY},
    {u"PrevInvDateEntered", "TargetDB:S PeopleID:&L InvNum:&L", VT_BSTR},
    {u"AgedInvBalances", "TargetDB:S PeopleID:&L StartDays:&I EndDays:&I", VT_CY},
    {u"PymtCountByDateRange", "TargetDB:S PeopleID:&L StartDateTime:&S EndDateTime:&S", VT_I4},
    {u"InvoiceBalance", "TargetDB:S InvNum:&L", VT_CY},
    {u"InvoiceFee", "TargetDB:S InvNum:&L", VT_CY},
    {u"LTCBenefitTypeEnabledYN", "TargetDB:S PeopleID:&L BenefitType:&S", VT_BSTR},
    {u"PymtsByDateRange", kDateRange, VT_CY},
    {u"WOffsByDateRange", kDateRange, VT_CY},
    {u"FeesByDateRange", kDateRange, VT_CY},
    {u"GetDateFormat", "", VT_BSTR},
};

struct Param {
  std::u16string name;
  VARTYPE type;
  bool by_reference;
};

std::vector<Param> Params(const char* signature) {
  std::vector<Param> params;
  std::istringstream in(signature);
  for (std::string token; in >> token;) {
    const std::size_t colon = token.find(':');
    const bool by_reference = token[colon + 1] == '&';
    const char code = token.back();
    const VARTYPE type = code == 'S' ? VT_BSTR : code == 'L' ? VT_I4 : code == 'I' ? VT_I2
                         : code == 'B' ? VT_BOOL : code == 'C' ? VT_CY : VT_DATE;
    params.push_back({std::u16string(token.begin(), token.begin() + static_cast<std::ptrdiff_t>(colon)), type, by_reference});
  }
  return params;
}

using qorvel::server::Bstr;
using qorvel::server::ComPtr;

std::u16string Name(ITypeInfo* info, MEMBERID id) {
  Bstr name;
  if (FAILED(info->GetDocumentation(id, name.Receive(), nullptr, nullptr, nullptr))) return u"<none>";
  return qorvel::server::FromBstr(name.get());
}

void CheckLibrary(ITypeLib* library, SYSKIND syskind) {
  GROUP("library");
  TLIBATTR* attr = nullptr;
  if (!CHECK(SUCCEEDED(library->GetLibAttr(&attr)))) return;
  CHECK(IsEqualGUID(attr->guid, LIBID_QORVEL));
  CHECK_EQ(attr->wMajorVerNum, 1);
  CHECK_EQ(attr->wMinorVerNum, 0);
  CHECK_EQ(attr->lcid, 0x409UL);
  CHECK_EQ(static_cast<int>(attr->syskind), static_cast<int>(syskind));
  library->ReleaseTLibAttr(attr);
  Bstr name;
  library->GetDocumentation(-1, name.Receive(), nullptr, nullptr, nullptr);
  CHECK_EQ(qorvel::server::FromBstr(name.get()), std::u16string(u"QORVEL"));
  CHECK_EQ(library->GetTypeInfoCount(), 2U);

  // widl's build time is blanked, so that builds are reproducible.
  ComPtr<ITypeLib2> library2;
  if (CHECK(SUCCEEDED(library->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(library2.Receive()))))) {
    const GUID time = {0xde77ba63, 0x517c, 0x11d1, {0xa2, 0xda, 0x00, 0x00, 0xf8, 0x77, 0x3c, 0xe9}};
    qorvel::server::VariantValue value;
    CHECK(SUCCEEDED(library2->GetCustData(time, value.get())));
    CHECK_EQ(V_VT(value.get()), VT_UI4);
    CHECK_EQ(V_UI4(value.get()), 0UL);
  }
}

void CheckCoclass(ITypeLib* library) {
  GROUP("coclass KX");
  ComPtr<ITypeInfo> info;
  if (!CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(CLSID_KX, info.Receive())))) return;
  TYPEATTR* attr = nullptr;
  if (!CHECK(SUCCEEDED(info->GetTypeAttr(&attr)))) return;
  CHECK_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_COCLASS));
  CHECK_EQ(attr->wTypeFlags, TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT | TYPEFLAG_FPREDECLID);
  CHECK_EQ(attr->cImplTypes, 1);
  CHECK_EQ(attr->wMajorVerNum, 1);
  info->ReleaseTypeAttr(attr);
  CHECK_EQ(Name(info.get(), MEMBERID_NIL), std::u16string(u"KX"));
  INT flags = 0;
  CHECK(SUCCEEDED(info->GetImplTypeFlags(0, &flags)));
  CHECK_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> itf;
  CHECK(SUCCEEDED(info->GetRefTypeOfImplType(0, &ref)));
  if (CHECK(SUCCEEDED(info->GetRefTypeInfo(ref, itf.Receive())))) {
    CHECK_EQ(Name(itf.get(), MEMBERID_NIL), std::u16string(u"_KX"));
  }
}

void CheckInterface(ITypeLib* library) {
  GROUP("interface _KX");
  ComPtr<ITypeInfo> dispatch;
  if (!CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(IID__KX, dispatch.Receive())))) return;
  TYPEATTR* attr = nullptr;
  if (!CHECK(SUCCEEDED(dispatch->GetTypeAttr(&attr)))) return;
  CHECK_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_DISPATCH));
  // The dispatch view of a dual interface; its vtable view below carries
  // the automation-compatible flag.
  const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FHIDDEN |
                      TYPEFLAG_FDISPATCHABLE;
  CHECK_EQ(attr->wTypeFlags, wanted);
  dispatch->ReleaseTypeAttr(attr);

  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> info;
  CHECK(SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)));
  if (!CHECK(SUCCEEDED(dispatch->GetRefTypeInfo(ref, info.Receive())))) return;
  if (!CHECK(SUCCEEDED(info->GetTypeAttr(&attr)))) return;
  CHECK_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_INTERFACE));
  CHECK_EQ(attr->wTypeFlags, wanted | TYPEFLAG_FOLEAUTOMATION);
  CHECK_EQ(attr->cFuncs, 24);
  CHECK_EQ(attr->cImplTypes, 1);  // IDispatch
  const UINT funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  for (UINT i = 0; i < funcs && i < std::size(kMethods); ++i) {
    const Method& m = kMethods[i];
    const std::vector<Param> params = Params(m.params);
    GROUP("method " + check::Utf8(m.name));
    FUNCDESC* f = nullptr;
    if (!CHECK(SUCCEEDED(info->GetFuncDesc(i, &f)))) continue;
    CHECK_EQ(f->memid, static_cast<MEMBERID>(0x60030000 + i));
    CHECK_EQ(static_cast<int>(f->funckind), static_cast<int>(FUNC_PUREVIRTUAL));
    CHECK_EQ(static_cast<int>(f->invkind), static_cast<int>(INVOKE_FUNC));
    CHECK_EQ(static_cast<int>(f->callconv), static_cast<int>(CC_STDCALL));
    // The slot, after IUnknown's and IDispatch's seven (oleaut32 gives the
    // offset in the reading process's pointers, whatever the library's).
    CHECK_EQ(f->oVft / static_cast<SHORT>(sizeof(void*)), static_cast<SHORT>(7 + i));
    CHECK_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
    CHECK_EQ(f->cParamsOpt, 0);
    const std::size_t n = params.size();
    const bool counted = CHECK_EQ(static_cast<std::size_t>(f->cParams), n + 1);

    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(f->memid, names, 16, &count);
    CHECK_EQ(static_cast<std::size_t>(count), n + 2);  // method, params, result
    CHECK_EQ(qorvel::server::FromBstr(names[0]), std::u16string(m.name));
    // Each parameter, then the result: [out, retval] by pointer.
    for (std::size_t k = 0; counted && k <= n; ++k) {
      const Param p = k < n ? params[k] : Param{u"(result)", m.result, true};
      const ELEMDESC& e = f->lprgelemdescParam[k];
      const std::string what = check::Utf8(p.name);
      if (k < n) CHECK_EQ_NOTE(qorvel::server::FromBstr(names[k + 1]), p.name, what);
      const TYPEDESC& type = p.by_reference && e.tdesc.vt == VT_PTR ? *e.tdesc.lptdesc : e.tdesc;
      CHECK_EQ_NOTE(e.tdesc.vt, p.by_reference ? VARTYPE{VT_PTR} : p.type, what);
      CHECK_EQ_NOTE(type.vt, p.type, what);
      CHECK_EQ_NOTE(e.paramdesc.wParamFlags, k == n ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL
                                             : p.by_reference ? PARAMFLAG_FIN | PARAMFLAG_FOUT : PARAMFLAG_FIN,
                    what);
    }
    for (BSTR& b : names) SysFreeString(b);
    info->ReleaseFuncDesc(f);
  }
}

void CheckVersionResource(const std::wstring& dll) {
  GROUP("version resource");
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
  if (!CHECK(size > 0)) return;
  std::vector<BYTE> block(size);
  if (!CHECK(GetFileVersionInfoW(dll.c_str(), 0, size, block.data()))) return;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (CHECK(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))) {
    CHECK_EQ(fixed->dwFileVersionMS, 0x00010003UL);
    CHECK_EQ(fixed->dwFileVersionLS, 0UL);
    CHECK_EQ(fixed->dwProductVersionMS, 0x00010003UL);
    CHECK_EQ(fixed->dwProductVersionLS, 0UL);
    CHECK_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  }
  WORD* translation = nullptr;
  if (CHECK(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length)) &&
      CHECK_EQ(length, 4U)) {
    CHECK_EQ(translation[0], 0x0409);
    CHECK_EQ(translation[1], 0x04b0);
  }
  struct Key {
    const wchar_t* name;
    const char16_t* value;
  };
  const Key keys[] = {
      {L"FileVersion", u"1.03"},       {L"ProductVersion", u"1.03"},
      {L"ProductName", u"QORVELKXFunctions"}, {L"InternalName", u"QORVEL"},
      {L"OriginalFilename", u"QORVEL.dll"},   {L"OLESelfRegister", u""},
      {L"CompanyName", u"QORVEL"},
  };
  for (const Key& key : keys) {
    void* value = nullptr;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key.name;
    const bool present = VerQueryValueW(block.data(), path.c_str(), &value, &length) && value;
    CHECK_EQ_NOTE(present ? std::u16string(static_cast<const char16_t*>(value)) : u"<missing>",
                  std::u16string(key.value), check::Utf8(key.name));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: typelib_test DLL win64|win32\n");
    return 2;
  }
  const std::wstring dll = check::WindowsPath(argv[1]);
  const SYSKIND syskind = std::strcmp(argv[2], "win32") == 0 ? SYS_WIN32 : SYS_WIN64;
  qorvel::server::testing::Apartment apartment;
  {
    ComPtr<ITypeLib> library;
    GROUP("load");
    if (CHECK(SUCCEEDED(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.Receive())))) {
      CheckLibrary(library.get(), syskind);
      CheckCoclass(library.get());
      CheckInterface(library.get());
    }
  }
  CheckVersionResource(dll);
  return check::Finish();
}
