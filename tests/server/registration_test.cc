// Registration through regsvr32, as an installer or an administrator runs
// it: machine-wide (regsvr32 QORVEL.dll, regsvr32 /u) and per user
// (regsvr32 /n /i:user, regsvr32 /u /n /i:user). Every key is checked
// present with its value, then gone, and no other key of the classes root,
// CLSID, TypeLib or Interface is left behind or taken away.
//
//   registration_test DLL             the whole cycle
//   registration_test DLL --register  just register machine-wide (a test fixture)
//   registration_test DLL --unregister
//
// Wine 8 registers a type library for the user machine-wide (there is no
// per-user type library registration in it), so the per-user cycle checks
// the class and ProgID keys under HKEY_CURRENT_USER only, and the type
// library's keys wherever they land.
#include <cstring>
#include <string>

#include "server/server_test.h"

namespace {

using namespace qorvel::server::testing;

const std::wstring kClasses = L"Software\\Classes\\";

std::wstring Guid(REFGUID guid) {
  wchar_t buffer[40];
  return StringFromGUID2(guid, buffer, 40) ? std::wstring(buffer) : std::wstring();
}

// The value `name` (null: the default value) of `path` under `root`, or
// "<missing>" when key or value is absent.
std::string Value(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
  wchar_t data[1024];
  DWORD size = sizeof data;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return "<missing>";
  }
  return Utf8(data);
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The number of subkeys of the classes root, CLSID, TypeLib and Interface.
std::string Snapshot(HKEY root) {
  std::string counts;
  for (const wchar_t* sub : {L"", L"CLSID", L"TypeLib", L"Interface"}) {
    HKEY key;
    DWORD count = 0;
    if (RegOpenKeyExW(root, (kClasses + sub).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr);
      RegCloseKey(key);
    }
    counts += std::to_string(count) + "/";
  }
  return counts;
}

void CheckRegistered(HKEY root, const std::wstring& dll) {
  const std::wstring cls = kClasses + L"CLSID\\" + Guid(CLSID_KX);
  const std::string clsid = Utf8(Guid(CLSID_KX).c_str());
  struct Row {
    std::wstring key;
    const wchar_t* name;
    std::string value;
  };
  const Row rows[] = {
      {cls, nullptr, "KX"},
      {cls + L"\\InprocServer32", nullptr, Utf8(dll.c_str())},
      {cls + L"\\InprocServer32", L"ThreadingModel", "Apartment"},
      {cls + L"\\ProgID", nullptr, "QORVEL.KX.1"},
      {cls + L"\\VersionIndependentProgID", nullptr, "QORVEL.KX"},
      {cls + L"\\TypeLib", nullptr, Utf8(Guid(LIBID_QORVEL).c_str())},
      {cls + L"\\Version", nullptr, "1.0"},
      {kClasses + L"QORVEL.KX", nullptr, "KX"},
      {kClasses + L"QORVEL.KX\\CLSID", nullptr, clsid},
      {kClasses + L"QORVEL.KX\\CurVer", nullptr, "QORVEL.KX.1"},
      {kClasses + L"QORVEL.KX.1", nullptr, "KX"},
      {kClasses + L"QORVEL.KX.1\\CLSID", nullptr, clsid},
  };
  for (const Row& row : rows) CheckEq(Value(root, row.key, row.name), row.value, Utf8(row.key.c_str()));
  CHECK(KeyExists(root, cls + L"\\Programmable"));
}

// The type library's and interface's keys: present with their values,
// wherever Wine put them, or gone from both roots.
void CheckTypeLibRegistered(bool registered) {
  const std::wstring lib = kClasses + L"TypeLib\\" + Guid(LIBID_QORVEL);
  const std::wstring itf = kClasses + L"Interface\\" + Guid(IID__KX);
  if (!registered) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) CHECK(!KeyExists(root, lib) && !KeyExists(root, itf));
    return;
  }
  const HKEY root = KeyExists(HKEY_LOCAL_MACHINE, lib) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  CHECK_EQ(Value(root, lib + L"\\1.0"), std::string("QORVEL"));
  CHECK(KeyExists(root, lib + L"\\1.0\\409"));
  CHECK_EQ(Value(root, itf), std::string("_KX"));
  CHECK_EQ(Value(root, itf + L"\\TypeLib"), Utf8(Guid(LIBID_QORVEL).c_str()));
}

void CheckClassesGone(HKEY root) {
  for (const std::wstring& key : {L"CLSID\\" + Guid(CLSID_KX), std::wstring(L"QORVEL.KX"), std::wstring(L"QORVEL.KX.1")}) {
    Check(!KeyExists(root, kClasses + key), "gone: " + Utf8(key.c_str()));
  }
}

// Registers with regsvr32 `options` (twice: that is harmless), checks,
// unregisters (twice: unregistering what is not registered succeeds and
// changes nothing), checks again.
void Cycle(const std::wstring& options, const std::wstring& dll, HKEY root, HKEY other) {
  const std::string machine_before = Snapshot(HKEY_LOCAL_MACHINE), user_before = Snapshot(HKEY_CURRENT_USER);
  const std::wstring arguments = options + L" \"" + dll + L"\"";
  for (int i = 0; i < 2; ++i) CHECK_EQ(Run(L"regsvr32 /s" + arguments), 0L);
  CheckRegistered(root, dll);
  CheckTypeLibRegistered(true);
  CheckClassesGone(other);
  for (int i = 0; i < 2; ++i) {
    CHECK_EQ(Run(L"regsvr32 /s /u" + arguments), 0L);
    CheckClassesGone(root);
    CheckTypeLibRegistered(false);
    CHECK_EQ(Snapshot(HKEY_LOCAL_MACHINE), machine_before);
    CHECK_EQ(Snapshot(HKEY_CURRENT_USER), user_before);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: registration_test DLL [--register|--unregister]\n");
    return 2;
  }
  // regsvr32 registers the full path of what it was given.
  wchar_t full[MAX_PATH];
  const std::wstring dll(full, GetFullPathNameW(WindowsPath(argv[1]).c_str(), MAX_PATH, full, nullptr));
  if (argc == 3) {
    Group("fixture");
    const bool unregister = std::strcmp(argv[2], "--unregister") == 0;
    CHECK_EQ(Run(std::wstring(L"regsvr32 /s") + (unregister ? L" /u \"" : L" \"") + dll + L"\""), 0L);
    return Finish();
  }
  Group("machine-wide");
  Cycle(L"", dll, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER);
  Group("per user");
  Cycle(L" /n /i:user", dll, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE);
  Group("refused command lines");
  const std::string before = Snapshot(HKEY_LOCAL_MACHINE) + Snapshot(HKEY_CURRENT_USER);
  CHECK(Run(L"regsvr32 /s /n /i:machine \"" + dll + L"\"") != 0L);  // DllInstall knows only "user"
  CHECK_EQ(Snapshot(HKEY_LOCAL_MACHINE) + Snapshot(HKEY_CURRENT_USER), before);
  return Finish();
}
