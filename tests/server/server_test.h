// What the server's test programs share beyond the checks (windows/check.h):
// the component's declarations (the generated _KX and GUIDs), RAII for the
// apartment, UTF-8 and Windows paths for messages and arguments, running
// another program (regsvr32), objects from a server loaded directly, and
// _KX's vtable type information.
#ifndef QORVEL_TESTS_SERVER_SERVER_TEST_H_
#define QORVEL_TESTS_SERVER_SERVER_TEST_H_

#include <cstdlib>
#include <string>

#include "server/com.h"
#include "windows/check.h"

namespace qorvel::server::testing {

using namespace qorvel::wintest;
using qorvel::server::Bstr;
using qorvel::server::ComPtr;
using qorvel::server::FromBstr;
using qorvel::server::VariantValue;

inline std::string Utf8(const wchar_t* s) { return ToUtf8(platform::windows::FromWide(s)); }

// A Unix path (as CTest passes it) as a path on Wine's drive Z:.
inline std::wstring WindowsPath(const char* path) {
  const std::string host = HostPath(path);
  return std::wstring(host.begin(), host.end());
}

// Runs `command_line` (a program on the search path and its arguments)
// through the command interpreter and returns its exit status.
inline long Run(const std::wstring& command_line) { return _wsystem(command_line.c_str()); }

// The apartment of the calling thread for the scope's life.
class Apartment {
 public:
  Apartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~Apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT status() const { return hr_; }

 private:
  HRESULT hr_;
};

// An object of class KX from the class factory of `server`, a QORVEL.dll
// loaded directly (as COM loads an in-process server); null on failure.
inline ComPtr<::_KX> CreateKx(HMODULE server) {
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto get = server ? reinterpret_cast<GetClassObject>(
                                reinterpret_cast<void*>(GetProcAddress(server, "DllGetClassObject")))
                          : nullptr;
  ComPtr<IClassFactory> factory;
  ComPtr<::_KX> kx;
  if (get && SUCCEEDED(get(CLSID_KX, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive())))) {
    factory->CreateInstance(nullptr, IID__KX, reinterpret_cast<void**>(kx.Receive()));
  }
  return kx;
}

// The vtable view of _KX's type information, from its dispatch view or
// from the object itself; null when there is none.
inline ComPtr<ITypeInfo> VtableInfo(ITypeInfo* dispatch) {
  ComPtr<ITypeInfo> vtable;
  HREFTYPE ref = 0;
  if (dispatch && SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref))) {
    dispatch->GetRefTypeInfo(ref, vtable.Receive());
  }
  return vtable;
}
inline ComPtr<ITypeInfo> VtableInfo(IDispatch* object) {
  ComPtr<ITypeInfo> dispatch;
  object->GetTypeInfo(0, LOCALE_USER_DEFAULT, dispatch.Receive());
  return VtableInfo(dispatch.get());
}

}  // namespace qorvel::server::testing

#endif  // QORVEL_TESTS_SERVER_SERVER_TEST_H_
