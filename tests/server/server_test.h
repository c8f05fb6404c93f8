// What the server's test programs share beyond the checks (windows/check.h):
// the component's declarations (the generated _KX and GUIDs), RAII for the
// apartment, UTF-8 and Windows paths for messages and arguments, running
// another program (regsvr32), and _KX's vtable type information.
#ifndef QORVEL_TESTS_SERVER_SERVER_TEST_H_
#define QORVEL_TESTS_SERVER_SERVER_TEST_H_

#include <string>

#include "server/com.h"
#include "windows/check.h"

namespace qorvel::server::testing {

using namespace qorvel::wintest;

inline std::string Utf8(const wchar_t* s) { return ToUtf8(platform::windows::FromWide(s)); }

// A Unix path (as CTest passes it) as a path on Wine's drive Z:.
inline std::wstring WindowsPath(const char* path) {
  const std::string host = HostPath(path);
  return std::wstring(host.begin(), host.end());
}

// Runs `command_line` (a program on the search path and its arguments) and
// returns its exit status, or -1 if it could not be started.
inline long Run(std::wstring command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(status);
}

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
