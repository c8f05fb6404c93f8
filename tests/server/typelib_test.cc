// Reads back what QORVEL.dll publishes about itself: the embedded type
// library (library attributes, the coclass and its flags, the dual
// interface, and each method of the dispatch table at its slot with its
// identifier, name, parameter names, types and passing, and result) and the
// version resource (its keys and values). The DLL is read as data, so the
// same program checks the 32-bit DLL, which cannot run here.
//
//   typelib_test DLL win64|win32
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "qorvel/dispatch.h"
#include "server/server_test.h"

namespace {

using namespace qorvel::server::testing;

// A type of the type library as the dispatch table names it.
const char* TypeName(VARTYPE vt) {
  using enum qorvel::VarType;
  const std::pair<VARTYPE, qorvel::VarType> types[] = {{VT_BSTR, kText}, {VT_I4, kLong},     {VT_I2, kInteger},
                                                       {VT_BOOL, kBoolean}, {VT_CY, kCurrency}, {VT_DATE, kDate}};
  for (const auto& [v, type] : types) {
    if (v == vt) return qorvel::VarTypeName(type);
  }
  return "?";
}

// A method as the type library describes it, written as qorvel::Signature
// writes a method of the dispatch table; " [flags?]" marks a parameter whose
// flags do not match its passing (by value [in], by pointer [in, out], the
// result [out, retval]).
std::string Signature(ITypeInfo* info, const FUNCDESC* f) {
  BSTR names[16] = {};
  UINT count = 0;
  info->GetNames(f->memid, names, 16, &count);
  std::string signature = Utf8(names[0]) + "(";
  for (SHORT k = 0; k < f->cParams; ++k) {
    const ELEMDESC& e = f->lprgelemdescParam[k];
    const bool by_reference = e.tdesc.vt == VT_PTR, result = k + 1 == f->cParams;
    const USHORT flags = result ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL
                         : by_reference ? PARAMFLAG_FIN | PARAMFLAG_FOUT : PARAMFLAG_FIN;
    std::string type = TypeName(by_reference ? e.tdesc.lptdesc->vt : e.tdesc.vt);
    if (!result && by_reference) type += " [ByRef]";
    if (e.paramdesc.wParamFlags != flags || (result && !by_reference)) type += " [flags?]";
    signature += result ? ") As " + type : (k ? ", " : "") + Utf8(names[k + 1]) + " As " + type;
  }
  for (BSTR& b : names) SysFreeString(b);
  return count == static_cast<UINT>(f->cParams) + 1 ? signature : signature + " (names: " + std::to_string(count) + ")";
}

std::string Name(ITypeInfo* info, MEMBERID id) {
  Bstr name;
  info->GetDocumentation(id, name.Receive(), nullptr, nullptr, nullptr);
  return Utf8(name.get() ? name.get() : L"<none>");
}

// A type's kind, flags, implemented types and functions as one line.
std::string Attributes(ITypeInfo* info) {
  TYPEATTR* a = nullptr;
  if (FAILED(info->GetTypeAttr(&a))) return "<none>";
  const std::string line = std::to_string(a->typekind) + " flags " + std::to_string(a->wTypeFlags) + " implements " +
                           std::to_string(a->cImplTypes) + " functions " + std::to_string(a->cFuncs) + " version " +
                           std::to_string(a->wMajorVerNum) + "." + std::to_string(a->wMinorVerNum);
  info->ReleaseTypeAttr(a);
  return line;
}

std::string Line(TYPEKIND kind, WORD flags, int implements, int functions) {
  return std::to_string(kind) + " flags " + std::to_string(flags) + " implements " + std::to_string(implements) +
         " functions " + std::to_string(functions) + " version 1.0";
}

void CheckLibrary(ITypeLib* library, SYSKIND syskind) {
  Group("library");
  TLIBATTR* attr = nullptr;
  if (!CHECK(SUCCEEDED(library->GetLibAttr(&attr)))) return;
  CHECK(IsEqualGUID(attr->guid, LIBID_QORVEL) && attr->wMajorVerNum == 1 && attr->wMinorVerNum == 0);
  CHECK_EQ(attr->lcid, 0x409UL);
  CHECK_EQ(static_cast<int>(attr->syskind), static_cast<int>(syskind));
  library->ReleaseTLibAttr(attr);
  Bstr name;
  library->GetDocumentation(-1, name.Receive(), nullptr, nullptr, nullptr);
  CHECK_EQ(Utf8(name.get()), std::string("QORVEL"));
  CHECK_EQ(library->GetTypeInfoCount(), 2U);
}

void CheckCoclass(ITypeLib* library) {
  Group("coclass KX");
  ComPtr<ITypeInfo> info, itf;
  if (!CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(CLSID_KX, info.Receive())))) return;
  CHECK_EQ(Attributes(info.get()), Line(TKIND_COCLASS, TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT | TYPEFLAG_FPREDECLID, 1, 0));
  CHECK_EQ(Name(info.get(), MEMBERID_NIL), std::string("KX"));
  INT flags = 0;
  HREFTYPE ref = 0;
  CHECK(SUCCEEDED(info->GetImplTypeFlags(0, &flags)) && flags == IMPLTYPEFLAG_FDEFAULT);
  if (CHECK(SUCCEEDED(info->GetRefTypeOfImplType(0, &ref)) && SUCCEEDED(info->GetRefTypeInfo(ref, itf.Receive())))) {
    CHECK_EQ(Name(itf.get(), MEMBERID_NIL), std::string("_KX"));
  }
}

// The dispatch view of the dual interface, its vtable view (which carries
// the automation-compatible flag) and each method's signature.
void CheckInterface(ITypeLib* library) {
  Group("interface _KX");
  ComPtr<ITypeInfo> dispatch;
  if (!CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(IID__KX, dispatch.Receive())))) return;
  const WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE;
  CHECK_EQ(Attributes(dispatch.get()), Line(TKIND_DISPATCH, flags, 1, 31));
  const ComPtr<ITypeInfo> info = VtableInfo(dispatch.get());
  if (!CHECK(info)) return;
  CHECK_EQ(Attributes(info.get()), Line(TKIND_INTERFACE, flags | TYPEFLAG_FOLEAUTOMATION, 1, 24));

  for (const qorvel::MethodInfo& m : qorvel::Methods()) {
    Group("method " + qorvel::Signature(m));
    FUNCDESC* f = nullptr;
    if (!CHECK(SUCCEEDED(info->GetFuncDesc(static_cast<UINT>(m.number), &f)))) continue;
    CHECK(f->invkind == INVOKE_FUNC && f->elemdescFunc.tdesc.vt == VT_HRESULT && f->cParamsOpt == 0);
    CHECK_EQ(static_cast<long>(f->memid), static_cast<long>(m.dispid));
    // The slot, after IUnknown's and IDispatch's seven (oleaut32 gives the
    // offset in the reading process's pointers, whatever the library's).
    CHECK_EQ(f->oVft / static_cast<SHORT>(sizeof(void*)), static_cast<SHORT>(7 + m.number));
    CHECK_EQ(Signature(info.get(), f), qorvel::Signature(m));
    info->ReleaseFuncDesc(f);
  }
}

void CheckVersionResource(const std::wstring& dll) {
  Group("version resource");
  DWORD ignored = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeW(dll.c_str(), &ignored));
  if (!CHECK(!block.empty() && GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))) {
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (CHECK(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))) {
    CHECK(fixed->dwFileVersionMS == 0x00010003UL && fixed->dwFileVersionLS == 0 &&
          fixed->dwProductVersionMS == 0x00010003UL && fixed->dwProductVersionLS == 0 && fixed->dwFileType == static_cast<DWORD>(VFT_DLL));
  }
  // Read under its language and code page (US English, Unicode).
  const std::pair<const wchar_t*, const char*> keys[] = {
      {L"FileVersion", "1.03"},           {L"ProductVersion", "1.03"}, {L"ProductName", "QORVELKXFunctions"},
      {L"InternalName", "QORVEL"},        {L"CompanyName", "QORVEL"},  {L"OriginalFilename", "QORVEL.dll"},
      {L"OLESelfRegister", ""},
  };
  for (const auto& [key, expected] : keys) {
    wchar_t* value = nullptr;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    const bool present = VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) && value;
    CheckEq(present ? Utf8(value) : "<missing>", std::string(expected), Utf8(key));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: typelib_test DLL win64|win32\n");
    return 2;
  }
  const std::wstring dll = WindowsPath(argv[1]);
  Apartment apartment;
  {
    ComPtr<ITypeLib> library;
    Group("load");
    if (CHECK(SUCCEEDED(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.Receive())))) {
      CheckLibrary(library.get(), std::strcmp(argv[2], "win32") == 0 ? SYS_WIN32 : SYS_WIN64);
      CheckCoclass(library.get());
      CheckInterface(library.get());
    }
  }
  CheckVersionResource(dll);
  return Finish();
}
