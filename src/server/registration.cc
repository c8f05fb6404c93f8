// Self-registration of the class, its ProgIDs and the type library.
#include "server/registration.h"

#include <olectl.h>

#include <array>

#include "server/module.h"

// oleaut32 exports the per-user registration of type libraries, but
// mingw-w64's headers do not declare it.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* help_dir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID library, WORD major, WORD minor, LCID lcid,
                                      SYSKIND syskind);
}

namespace qorvel::server {
namespace {

constexpr char16_t kClassName[] = u"KX";

HKEY Root(Scope scope) { return scope == Scope::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

Text GuidText(REFGUID guid) {
  std::array<wchar_t, 40> buffer{};
  const int n = StringFromGUID2(guid, buffer.data(), static_cast<int>(buffer.size()));
  return n > 0 ? Text(reinterpret_cast<const char16_t*>(buffer.data()), n - 1) : Text();
}

Text ClassKey() { return u"Software\\Classes\\CLSID\\" + GuidText(CLSID_KX); }

// Creates `path` under the root (with its parents) and sets one value of
// it: the default value when `name` is null.
bool SetValue(Scope scope, const Text& path, const char16_t* name, const Text& value) {
  RegKey key;
  if (RegCreateKeyExW(Root(scope), Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, key.Out(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.get(), name ? reinterpret_cast<const wchar_t*>(name) : nullptr, 0,
                        REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

bool CreateKey(Scope scope, const Text& path) {
  RegKey key;
  return RegCreateKeyExW(Root(scope), Wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE, nullptr, key.Out(), nullptr) == ERROR_SUCCESS;
}

bool DeleteTree(Scope scope, const Text& path) {
  const LSTATUS status = RegDeleteTreeW(Root(scope), Wide(path));
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (status != ERROR_SUCCESS) return false;
  // RegDeleteTree empties the key; the key itself goes separately.
  const LSTATUS gone = RegDeleteKeyW(Root(scope), Wide(path));
  return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
}

bool WriteClassKeys(Scope scope, const Text& dll_path) {
  const Text clsid = GuidText(CLSID_KX);
  const Text cls = ClassKey();
  const Text prog = Text(u"Software\\Classes\\") + kProgId;
  const Text versioned = Text(u"Software\\Classes\\") + kVersionedProgId;
  return SetValue(scope, cls, nullptr, kClassName) &&
         SetValue(scope, cls + u"\\InprocServer32", nullptr, dll_path) &&
         SetValue(scope, cls + u"\\InprocServer32", u"ThreadingModel", u"Apartment") &&
         SetValue(scope, cls + u"\\ProgID", nullptr, kVersionedProgId) &&
         SetValue(scope, cls + u"\\VersionIndependentProgID", nullptr, kProgId) &&
         SetValue(scope, cls + u"\\TypeLib", nullptr, GuidText(LIBID_QORVEL)) &&
         SetValue(scope, cls + u"\\Version", nullptr, u"1.0") &&
         CreateKey(scope, cls + u"\\Programmable") &&
         SetValue(scope, prog, nullptr, kClassName) &&
         SetValue(scope, prog + u"\\CLSID", nullptr, clsid) &&
         SetValue(scope, prog + u"\\CurVer", nullptr, kVersionedProgId) &&
         SetValue(scope, versioned, nullptr, kClassName) &&
         SetValue(scope, versioned + u"\\CLSID", nullptr, clsid);
}

// Removes the key at `path` if it holds neither subkeys nor values: the
// CLSID key that registering for a user created under a fresh profile.
void DeleteIfEmpty(Scope scope, const Text& path) {
  RegKey key;
  if (RegOpenKeyExW(Root(scope), Wide(path), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return;
  DWORD subkeys = 0, values = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
      subkeys == 0 && values == 0) {
    RegDeleteKeyW(Root(scope), Wide(path));
  }
}

bool DeleteClassKeys(Scope scope) {
  const bool cls = DeleteTree(scope, ClassKey());
  DeleteIfEmpty(scope, u"Software\\Classes\\CLSID");
  const bool prog = DeleteTree(scope, Text(u"Software\\Classes\\") + kProgId);
  const bool versioned = DeleteTree(scope, Text(u"Software\\Classes\\") + kVersionedProgId);
  return cls && prog && versioned;
}

HRESULT RegisterLibrary(Scope scope, const Text& dll_path) {
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLib(library);
  if (FAILED(hr)) return hr;
  Text path = dll_path;  // the APIs take non-const strings
  auto* p = reinterpret_cast<wchar_t*>(path.data());
  return scope == Scope::kMachine ? RegisterTypeLib(library.get(), p, nullptr)
                                  : RegisterTypeLibForUser(library.get(), p, nullptr);
}

HRESULT UnregisterLibrary(Scope scope) {
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadOwnTypeLib(library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const TLIBATTR a = *attr;
  library->ReleaseTLibAttr(attr);
  hr = scope == Scope::kMachine
           ? UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind)
           : UnRegisterTypeLibForUser(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
  if (SUCCEEDED(hr)) return hr;
  // A library that is not registered (any more) is what unregistering wants.
  Bstr path;
  return FAILED(QueryPathOfRegTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, path.Receive()))
             ? S_OK
             : hr;
}

}  // namespace

HRESULT Register(Scope scope) noexcept {
  try {
    const Text path = ModulePath();
    if (path.empty() || !WriteClassKeys(scope, path)) {
      DeleteClassKeys(scope);
      return SELFREG_E_CLASS;
    }
    if (FAILED(RegisterLibrary(scope, path))) {
      DeleteClassKeys(scope);
      return SELFREG_E_TYPELIB;
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT Unregister(Scope scope) noexcept {
  try {
    const bool classes = DeleteClassKeys(scope);
    const HRESULT library = UnregisterLibrary(scope);
    if (!classes) return SELFREG_E_CLASS;
    return FAILED(library) ? SELFREG_E_TYPELIB : S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace qorvel::server
