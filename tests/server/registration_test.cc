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
#include <ostream>
#include <string>
#include <vector>

#include "server/server_test.h"

namespace {

using qorvel::server::testing::Run;

std::wstring Guid(REFGUID guid) {
  wchar_t buffer[40];
  return StringFromGUID2(guid, buffer, 40) ? std::wstring(buffer) : std::wstring();
}

// The value `name` (null: the default value) of `path` under `root`, or
// nullopt-like "<missing>" when key or value is absent.
std::u16string Value(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t data[1024];
  DWORD size = sizeof data;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return u"<missing>";
  }
  return std::u16string(reinterpret_cast<const char16_t*>(data));
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

DWORD SubkeyCount(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD count = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return count;
}

struct Snapshot {
  DWORD classes, clsid, typelib, interfaces;
  bool operator==(const Snapshot&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Snapshot& s) {
  return out << s.classes << "/" << s.clsid << "/" << s.typelib << "/" << s.interfaces;
}

Snapshot Take(HKEY root) {
  const std::wstring c = L"Software\\Classes";
  return {SubkeyCount(root, c), SubkeyCount(root, c + L"\\CLSID"), SubkeyCount(root, c + L"\\TypeLib"),
          SubkeyCount(root, c + L"\\Interface")};
}

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

void CheckRegistered(HKEY root, const std::wstring& dll) {
  const std::wstring cls = L"Software\\Classes\\CLSID\\" + Guid(CLSID_KX);
  const std::wstring clsid = Guid(CLSID_KX);
  struct Row {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
  };
  const Row rows[] = {
      {cls, nullptr, L"KX"},
      {cls + L"\\InprocServer32", nullptr, dll},
      {cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {cls + L"\\ProgID", nullptr, L"QORVEL.KX.1"},
      {cls + L"\\VersionIndependentProgID", nullptr, L"QORVEL.KX"},
      {cls + L"\\TypeLib", nullptr, Guid(LIBID_QORVEL)},
      {cls + L"\\Version", nullptr, L"1.0"},
      {L"Software\\Classes\\QORVEL.KX", nullptr, L"KX"},
      {L"Software\\Classes\\QORVEL.KX\\CLSID", nullptr, clsid},
      {L"Software\\Classes\\QORVEL.KX\\CurVer", nullptr, L"QORVEL.KX.1"},
      {L"Software\\Classes\\QORVEL.KX.1", nullptr, L"KX"},
      {L"Software\\Classes\\QORVEL.KX.1\\CLSID", nullptr, clsid},
  };
  for (const Row& row : rows) {
    CHECK_EQ_NOTE(Value(root, row.key, row.name), U16(row.value), check::Utf8(row.key.c_str()));
  }
  CHECK(KeyExists(root, cls + L"\\Programmable"));
}

// The type library's and interface's keys: present with their values,
// wherever Wine put them, or gone from both roots.
void CheckTypeLibRegistered(bool registered) {
  const std::wstring lib = L"Software\\Classes\\TypeLib\\" + Guid(LIBID_QORVEL);
  const std::wstring itf = L"Software\\Classes\\Interface\\" + Guid(IID__KX);
  if (!registered) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) CHECK(!KeyExists(root, lib) && !KeyExists(root, itf));
    return;
  }
  const HKEY root = KeyExists(HKEY_LOCAL_MACHINE, lib) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  CHECK_EQ(Value(root, lib + L"\\1.0", nullptr), std::u16string(u"QORVEL"));
  CHECK(KeyExists(root, lib + L"\\1.0\\409"));
  CHECK_EQ(Value(root, itf, nullptr), std::u16string(u"_KX"));
  CHECK_EQ(Value(root, itf + L"\\TypeLib", nullptr), U16(Guid(LIBID_QORVEL)));
}

void CheckClassesGone(HKEY root) {
  for (const std::wstring& key : {L"CLSID\\" + Guid(CLSID_KX), std::wstring(L"QORVEL.KX"), std::wstring(L"QORVEL.KX.1")}) {
    CHECK_NOTE(!KeyExists(root, L"Software\\Classes\\" + key), check::Utf8(key.c_str()));
  }
}

// The full path regsvr32 registers: GetFullPathName of what it was given.
std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
  return n ? std::wstring(buffer, n) : path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: registration_test DLL [--register|--unregister]\n");
    return 2;
  }
  const std::wstring dll = FullPath(check::WindowsPath(argv[1]));
  const std::wstring quoted = L" \"" + dll + L"\"";
  // As a test fixture: just register, or unregister, machine-wide.
  if (argc == 3) {
    GROUP("fixture");
    CHECK_EQ(Run(std::wstring(L"regsvr32 /s") + (std::strcmp(argv[2], "--unregister") == 0 ? L" /u" : L"") + quoted),
             0L);
    return check::Finish();
  }

  const Snapshot machine_before = Take(HKEY_LOCAL_MACHINE);
  const Snapshot user_before = Take(HKEY_CURRENT_USER);
  auto unchanged = [&] {
    CHECK_EQ(Take(HKEY_LOCAL_MACHINE), machine_before);
    CHECK_EQ(Take(HKEY_CURRENT_USER), user_before);
  };
  GROUP("machine-wide");
  CHECK_EQ(Run(L"regsvr32 /s" + quoted), 0L);
  CheckRegistered(HKEY_LOCAL_MACHINE, dll);
  CheckTypeLibRegistered(true);
  CheckClassesGone(HKEY_CURRENT_USER);
  // Registering twice is harmless.
  CHECK_EQ(Run(L"regsvr32 /s" + quoted), 0L);
  CHECK_EQ(Run(L"regsvr32 /s /u" + quoted), 0L);
  CheckClassesGone(HKEY_LOCAL_MACHINE);
  CheckTypeLibRegistered(false);
  unchanged();
  // Unregistering what is not registered succeeds and changes nothing.
  CHECK_EQ(Run(L"regsvr32 /s /u" + quoted), 0L);
  unchanged();

  GROUP("per user");
  CHECK_EQ(Run(L"regsvr32 /s /n /i:user" + quoted), 0L);
  CheckRegistered(HKEY_CURRENT_USER, dll);
  CheckClassesGone(HKEY_LOCAL_MACHINE);
  CheckTypeLibRegistered(true);
  CHECK_EQ(Run(L"regsvr32 /s /u /n /i:user" + quoted), 0L);
  CheckClassesGone(HKEY_CURRENT_USER);
  CheckTypeLibRegistered(false);
  unchanged();

  GROUP("refused command lines");
  // DllInstall knows only "user".
  CHECK(Run(L"regsvr32 /s /n /i:machine" + quoted) != 0L);
  unchanged();
  return check::Finish();
}
