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
#include <string>
#include <vector>

#include "server/server_test.h"

namespace {

struct Param {
  const char16_t* name;
  VARTYPE type;
  bool by_reference;  // [in, out] by pointer, else [in] by value
};

struct Method {
  const char16_t* name;
  std::vector<Param> params;
  VARTYPE result;
};

constexpr VARTYPE kText = VT_BSTR, kLong = VT_I4, kInteger = VT_I2, kBoolean = VT_BOOL,
                  kCurrency = VT_CY, kDate = VT_DATE;
constexpr bool kIn = false, kInOut = true;

std::vector<Param> DateRange() {
  return {{u"TargetDB", kText, kIn},
          {u"PeopleID", kLong, kInOut},
          {u"StartDate", kDate, kInOut},
          {u"EndDate", kDate, kInOut},
          {u"ProvCode", kText, kInOut}};
}

// The interface _KX, slot by slot.
const std::vector<Method>& Methods() {
  static const std::vector<Method> methods = {
      {u"FormatPhone", {{u"PhoneFormat", kText, kInOut}, {u"Phone", kText, kInOut}}, kText},
      {u"FormatZip", {{u"Zip", kText, kIn}}, kText},
      {u"FormatSS", {{u"SSNumber", kText, kIn}}, kText},
      {u"FormatName",
       {{u"First", kText, kIn}, {u"Middle", kText, kInOut}, {u"Last", kText, kInOut},
        {u"FML", kBoolean, kInOut}},
       kText},
      {u"FormatAddress",
       {{u"Address1", kText, kIn}, {u"Address2", kText, kInOut}, {u"City", kText, kInOut},
        {u"State", kText, kInOut}, {u"Zip", kText, kInOut}, {u"MultiLine", kBoolean, kInOut}},
       kText},
      {u"FormatAddress2",
       {{u"Address1", kText, kIn}, {u"Address2", kText, kInOut}, {u"Address3", kText, kInOut},
        {u"City", kText, kInOut}, {u"State", kText, kInOut}, {u"Zip", kText, kInOut},
        {u"MultiLine", kBoolean, kInOut}},
       kText},
      {u"FormatMinutes", {{u"Minutes", kLong, kIn}}, kText},
      {u"LastModified",
       {{u"TargetDB", kText, kIn}, {u"TableName", kText, kIn}, {u"PeopleID", kLong, kInOut}},
       kText},
      {u"LastModifiedCaseClient",
       {{u"TargetDB", kText, kIn}, {u"Category", kText, kIn}, {u"PeopleID", kLong, kInOut}},
       kText},
      {u"LastPaymentDate", {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}}, kText},
      {u"LastPaymentAmt", {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}}, kCurrency},
      {u"CreditAmount", {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}}, kCurrency},
      {u"CreditAmountRetainer", {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}},
       kCurrency},
      {u"PrevBalDue",
       {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}, {u"InvNum", kLong, kInOut}},
       kCurrency},
      {u"PrevInvDateEntered",
       {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}, {u"InvNum", kLong, kInOut}},
       kText},
      {u"AgedInvBalances",
       {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}, {u"StartDays", kInteger, kInOut},
        {u"EndDays", kInteger, kInOut}},
       kCurrency},
      {u"PymtCountByDateRange",
       {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut},
        {u"StartDateTime", kText, kInOut}, {u"EndDateTime", kText, kInOut}},
       kLong},
      {u"InvoiceBalance", {{u"TargetDB", kText, kIn}, {u"InvNum", kLong, kInOut}}, kCurrency},
      {u"InvoiceFee", {{u"TargetDB", kText, kIn}, {u"InvNum", kLong, kInOut}}, kCurrency},
      {u"LTCBenefitTypeEnabledYN",
       {{u"TargetDB", kText, kIn}, {u"PeopleID", kLong, kInOut}, {u"BenefitType", kText, kInOut}},
       kText},
      {u"PymtsByDateRange", DateRange(), kCurrency},
      {u"WOffsByDateRange", DateRange(), kCurrency},
      {u"FeesByDateRange", DateRange(), kCurrency},
      {u"GetDateFormat", {}, kText},
  };
  return methods;
}

using qorvel::server::Bstr;
using qorvel::server::ComPtr;

std::u16string Name(ITypeInfo* info, MEMBERID id) {
  Bstr name;
  if (FAILED(info->GetDocumentation(id, name.Receive(), nullptr, nullptr, nullptr))) return u"<none>";
  return qorvel::server::FromBstr(name.get());
}

// The TYPELIB resource 1 of the DLL, loaded from a copy on disk.
HRESULT LoadEmbeddedTypeLib(const std::wstring& dll, ComPtr<ITypeLib>& library) {
  HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  HRESULT hr = E_FAIL;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB");
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  wchar_t dir[MAX_PATH], file[MAX_PATH];
  if (bytes && size && GetTempPathW(MAX_PATH, dir) && GetTempFileNameW(dir, L"tlb", 0, file)) {
    HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    const bool ok = out != INVALID_HANDLE_VALUE && WriteFile(out, bytes, size, &written, nullptr);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    hr = ok && written == size ? LoadTypeLibEx(file, REGKIND_NONE, library.Receive()) : E_FAIL;
    DeleteFileW(file);  // a loaded library keeps its own copy of the data
  }
  FreeLibrary(module);
  return hr;
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

  const std::vector<Method>& methods = Methods();
  for (UINT i = 0; i < funcs && i < methods.size(); ++i) {
    const Method& m = methods[i];
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
    CHECK_EQ(static_cast<std::size_t>(f->cParams), m.params.size() + 1);

    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(f->memid, names, 16, &count);
    CHECK_EQ(static_cast<std::size_t>(count), m.params.size() + 2);  // method, params, result
    CHECK_EQ(qorvel::server::FromBstr(names[0]), std::u16string(m.name));
    for (std::size_t k = 0; k < m.params.size() && static_cast<SHORT>(k) < f->cParams; ++k) {
      const Param& p = m.params[k];
      const ELEMDESC& e = f->lprgelemdescParam[k];
      const std::string what = check::Utf8(p.name);
      CHECK_EQ_NOTE(qorvel::server::FromBstr(names[k + 1]), std::u16string(p.name), what);
      if (p.by_reference) {
        CHECK_EQ_NOTE(e.tdesc.vt, VT_PTR, what);
        if (e.tdesc.vt == VT_PTR) CHECK_EQ_NOTE(e.tdesc.lptdesc->vt, p.type, what);
        CHECK_EQ_NOTE(e.paramdesc.wParamFlags, PARAMFLAG_FIN | PARAMFLAG_FOUT, what);
      } else {
        CHECK_EQ_NOTE(e.tdesc.vt, p.type, what);
        CHECK_EQ_NOTE(e.paramdesc.wParamFlags, PARAMFLAG_FIN, what);
      }
    }
    if (static_cast<std::size_t>(f->cParams) == m.params.size() + 1) {
      const ELEMDESC& r = f->lprgelemdescParam[m.params.size()];
      CHECK_EQ(r.tdesc.vt, VT_PTR);
      if (r.tdesc.vt == VT_PTR) CHECK_EQ(r.tdesc.lptdesc->vt, m.result);
      CHECK_EQ(r.paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    }
    for (BSTR& b : names) SysFreeString(b);
    info->ReleaseFuncDesc(f);
  }
}

std::u16string VersionString(const std::vector<BYTE>& block, const wchar_t* key, bool& present) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
  present = VerQueryValueW(block.data(), path.c_str(), &value, &length) != FALSE;
  if (!present || !value) return u"";
  return std::u16string(static_cast<const char16_t*>(value));
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
    bool present = false;
    const std::u16string value = VersionString(block, key.name, present);
    CHECK_NOTE(present, check::Utf8(key.name));
    CHECK_EQ_NOTE(value, std::u16string(key.value), check::Utf8(key.name));
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
    if (CHECK(SUCCEEDED(LoadEmbeddedTypeLib(dll, library)))) {
      CheckLibrary(library.get(), syskind);
      CheckCoclass(library.get());
      CheckInterface(library.get());
    }
  }
  CheckVersionResource(dll);
  return check::Finish();
}
