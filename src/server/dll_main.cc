// The DLL's entry points: DllMain, which only records the module handle
// (it runs under the loader lock, where no COM call may be made), and the
// exports of an in-process server: DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer, DllUnregisterServer and DllInstall.
#include <atomic>
#include <cwchar>

#include "server/class_factory.h"
#include "server/module.h"
#include "server/registration.h"

namespace qorvel::server {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
std::atomic<long> g_spies{0};

}  // namespace

HMODULE Module() { return g_module; }

Text ModulePath() {
  Text path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_module, reinterpret_cast<wchar_t*>(path.data()),
                                       static_cast<DWORD>(path.size()));
    if (n == 0) return Text();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void AddObject() { ++g_objects; }
void ReleaseObject() { --g_objects; }
void AddLock() { ++g_locks; }
void ReleaseLock() { --g_locks; }
void AddSpy() { ++g_spies; }
void ReleaseSpy() { --g_spies; }

bool CanUnload() { return g_objects == 0 && g_locks == 0 && g_spies == 0; }

HRESULT LoadOwnTypeLib(ComPtr<ITypeLib>& library) {
  const Text path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  return LoadTypeLibEx(Wide(path), REGKIND_NONE, library.Receive());
}

}  // namespace qorvel::server

using namespace qorvel::server;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_KX)) return CLASS_E_CLASSNOTAVAILABLE;
  return CreateClassFactory(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnload() ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return Register(Scope::kMachine); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return Unregister(Scope::kMachine); }

// regsvr32 /i:user [/n] QORVEL.dll registers for the current user only
// (under HKEY_CURRENT_USER\Software\Classes); /u /i:user removes that. Any
// other command line is refused.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line) {
  if (!command_line || _wcsicmp(command_line, L"user") != 0) return E_INVALIDARG;
  return install ? Register(Scope::kUser) : Unregister(Scope::kUser);
}
