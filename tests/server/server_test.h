// What the Windows test programs share beyond the checks: the component's
// declarations (the generated _KX and GUIDs), RAII for COM, and running
// another program (regsvr32) and waiting for its exit status.
#ifndef QORVEL_TESTS_SERVER_SERVER_TEST_H_
#define QORVEL_TESTS_SERVER_SERVER_TEST_H_

#include <cstdio>
#include <string>

#include "server/com.h"
#include "server/check.h"

namespace qorvel::server::testing {

// Runs `command_line` (a program on the search path and its arguments) and
// returns its exit status, or -1 if it could not be started.
inline long Run(const std::wstring& command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = command_line;  // CreateProcessW may write to it
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
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
  explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED) : hr_(CoInitializeEx(nullptr, model)) {}
  ~Apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  HRESULT status() const { return hr_; }

 private:
  HRESULT hr_;
};

// The vtable view of _KX's type information, from the object itself; null
// when the object gives none.
inline ComPtr<ITypeInfo> VtableInfo(IDispatch* object) {
  ComPtr<ITypeInfo> dispatch, vtable;
  HREFTYPE ref = 0;
  if (SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, dispatch.Receive())) &&
      SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref))) {
    dispatch->GetRefTypeInfo(ref, vtable.Receive());
  }
  return vtable;
}

}  // namespace qorvel::server::testing

#endif  // QORVEL_TESTS_SERVER_SERVER_TEST_H_
