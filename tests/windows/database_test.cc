// The library on the Windows platform's own environment (Env::Default())
// under Wine, against the test double of the data access objects
// (ado_double/): what reaches the data access objects (provider, connection
// string, Open arguments, statements, recordset options, the calls in
// order), the provider's errors in the boxes (read from standard error,
// where a test build writes them), the provider fallback, and one
// connection and one failure box per thread; and that the setting for the
// engine keeps them out. What the library makes of the rows is the Linux
// tests' business, and the real files through the DLL are the server
// tests'.
//
// Needs a build with QORVEL_RECORD_MESSAGE_BOXES and qorvel_ado_double.dll
// beside the program; registers the double in the Wine prefix and removes
// it again at the end.
#include <windows.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

// windows.h maps GetDateFormat to GetDateFormatW; KX has a method of that name.
#undef GetDateFormat

#include "check.h"
#include "modmain/mod_main.h"
#include "platform/windows/ado_database.h"
#include "qorvel/env.h"
#include "qorvel/kx.h"

namespace qorvel {
namespace {

using namespace qorvel::wintest;

HMODULE g_double = nullptr;

// An entry point of the double (see ado_double.cc); null when it is missing.
template <class F>
F DoubleEntry(const char* name) {
  return g_double ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_double, name))) : nullptr;
}
void Script(const std::string& script) { DoubleEntry<void (*)(const char*)>("QorvelAdoScript")(script.c_str()); }
std::string TakeLog() { return DoubleEntry<const char* (*)()>("QorvelAdoTakeLog")(); }
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Where standard error (and so the boxes of a test build) is caught.
std::wstring BoxPath() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return temp + (L"qorvel-database-test-boxes-" + std::to_wstring(GetCurrentProcessId()) + L".txt");
}

// A ProgID registered while the object lives (the provider fallback looks
// only at whether the ProgID exists). Under HKEY_CLASSES_ROOT: Wine 8 does
// not read the current user's Software\Classes when it resolves a ProgID.
class ScopedProgId {
 public:
  explicit ScopedProgId(const char16_t* prog_id) : key_(reinterpret_cast<const wchar_t*>(prog_id)) {
    const wchar_t clsid[] = L"{6D1B0C1E-3F52-4C55-9D0E-0B1C2D3E4F50}";
    RegSetKeyValueW(HKEY_CLASSES_ROOT, (key_ + L"\\CLSID").c_str(), nullptr, REG_SZ, clsid, sizeof clsid);
  }
  ScopedProgId(const ScopedProgId&) = delete;
  ScopedProgId& operator=(const ScopedProgId&) = delete;
  ~ScopedProgId() { RegDeleteTreeW(HKEY_CLASSES_ROOT, key_.c_str()); }

 private:
  std::wstring key_;
};

const char16_t kJet[] = u"Microsoft.Jet.OLEDB.4.0";
const Text kPath = u"C:\\data\\billing.mdb";
const std::string kCredit = "Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417";
const std::string kRecordsetOpen = ", DISPATCH:Connection#1, I4:3, I4:1, I4:-1)";

std::string OpenLine(const std::string& path) {
  return "Connection#1.Open(BSTR:\"data source=" + path + ";Jet OLEDB:Database Password=PZqfnWM4062;\", BSTR:\"\", "
         "BSTR:\"\", I4:-1)";
}

// A fresh thread state: the connection released (inside the apartment), no
// failure box shown yet.
void NewThreadState() {
  modmain::ResetThisThread();
  TakeLog();
}

void WhatReachesTheDataAccessObjects() {
  Group("provider, connection string, Open arguments, statements, recordset options");
  ScopedProgId jet(kJet);
  NewThreadState();
  KX kx(Env::Default());
  StderrToFile recorder(BoxPath());
  Script("statement\t" + kCredit + "\nrow\tCY:123.45\n");
  CheckEq(kx.CreditAmount(kPath, 417), Currency::FromRaw(1234500), "CreditAmount");
  const std::vector<std::string> lookup = {"Recordset#1.Create", "Recordset#1.Open(BSTR:\"" + kCredit + "\"" + kRecordsetOpen,
                                           "Recordset#1.Fields.Item(I2:0).Value -> CY:123.45", "Recordset#1.Close",
                                           "Recordset#1.Release"};
  std::vector<std::string> first = {"Connection#1.Create", "Connection#1.State -> 0",
                                    "Connection#1.Provider = BSTR:\"Microsoft.Jet.OLEDB.4.0\"", OpenLine("C:\\data\\billing.mdb")};
  first.insert(first.end(), lookup.begin(), lookup.end());
  CheckEq(TakeLog(), Lines(first), "the first lookup on the thread");
  kx.CreditAmount(kPath, 417);
  std::vector<std::string> again = {"Connection#1.State -> 1"};
  again.insert(again.end(), lookup.begin(), lookup.end());
  CheckEq(TakeLog(), Lines(again), "the open connection is reused on the same path");
  kx.CreditAmount(u"C:\\data\\other.mdb", 417);
  const std::string moved = TakeLog();
  Check(moved.rfind(Lines({"Connection#1.State -> 1", "Connection#1.Close",
                           "Connection#1.Provider = BSTR:\"Microsoft.Jet.OLEDB.4.0\"", OpenLine("C:\\data\\other.mdb")}),
                    0) == 0,
        "another path closes and reopens the thread's connection", moved);

  Group("rows walked with EOF and MoveNext");
  const std::string aged =
      "Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = 1 And InvoiceDate "
      "Is Not Null And PeopleID = 5";
  Script("statement\t" + aged + "\nrow\tCY:100\tI4:45\n");
  CheckEq(kx.AgedInvBalances(u"C:\\data\\other.mdb", 5, 30, 60), Currency::FromRaw(1000000), "AgedInvBalances");
  CheckEq(TakeLog(), Lines({"Connection#1.State -> 1", "Recordset#1.Create", "Recordset#1.Open(BSTR:\"" + aged + "\"" + kRecordsetOpen,
                            "Recordset#1.EOF -> False", "Recordset#1.Fields.Item(I2:1).Value -> I4:45",
                            "Recordset#1.Fields.Item(I2:0).Value -> CY:100", "Recordset#1.MoveNext",
                            "Recordset#1.EOF -> True", "Recordset#1.Close", "Recordset#1.Release"}),
          "a multi-row lookup");
  CheckEq(recorder.Text(), std::string(), "no boxes");

  Group("the provider's error: its number and description in the box; the recordset released, not closed");
  Script("statement\t" + kCredit + "\nfail\t-2147217865\tThe table 'Credit' does not exist.\n");
  StderrToFile failing(BoxPath());
  CheckEq(kx.CreditAmount(u"C:\\data\\other.mdb", 417), Currency::FromRaw(-100), "error result");
  CheckEq(failing.Text(), BoxText(0, "CreditAmount\n-2147217865\nThe table 'Credit' does not exist."), "box");
  CheckEq(TakeLog(), Lines({"Connection#1.State -> 1", "Recordset#1.Create", "Recordset#1.Open(BSTR:\"" + kCredit + "\"" + kRecordsetOpen,
                            "Recordset#1.Release"}),
          "calls");
}

void ProviderFallback() {
  Group("provider fallback where the Jet provider is not registered");
  using platform::windows::ChooseProvider;
  const char16_t* const providers[] = {kJet, u"Microsoft.ACE.OLEDB.12.0", u"Microsoft.ACE.OLEDB.16.0"};
  for (const char16_t* p : providers) {
    if (!Check(!platform::windows::IsProgIdRegistered(p), "no provider registered in the prefix itself")) return;
  }
  // Which of the three are registered, and the choice.
  const std::pair<std::vector<bool>, int> cases[] = {
      {{true, true, true}, 0}, {{false, true, true}, 1}, {{false, false, true}, 2}, {{false, false, false}, 0}};
  for (const auto& [registered, chosen] : cases) {
    std::optional<ScopedProgId> scoped[3];
    for (int i = 0; i < 3; ++i) {
      if (registered[i]) scoped[i].emplace(providers[i]);
    }
    CheckEq(ChooseProvider(kJet), Text(providers[chosen]), "Jet asked, " + std::to_string(chosen) + " chosen");
    CheckEq(ChooseProvider(u"SQLOLEDB"), Text(u"SQLOLEDB"), "another provider is kept");
  }
  ScopedProgId ace12(providers[1]);
  NewThreadState();
  Script("statement\t" + kCredit + "\nrow\tCY:1\n");
  KX(Env::Default()).CreditAmount(kPath, 417);
  Check(TakeLog().find("Connection#1.Provider = BSTR:\"Microsoft.ACE.OLEDB.12.0\"\n") != std::string::npos,
        "the connection of a lookup gets the newer provider");
}

// The setting Engine = "built-in" (the current user's) wins over a
// registered provider: the real file is read by the engine, and the data
// access objects see no call.
void BuiltInEngineSetting() {
  Group("the setting \"built-in\" with a provider registered");
  const std::string billing = HostPath(QORVEL_SHARED_DIR "/fixtures/billing.mdb");
  if (GetFileAttributesA(billing.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("skipped: no %s\n", billing.c_str());
    return;
  }
  ScopedProgId jet(kJet);
  const wchar_t setting[] = L"built-in";
  CHECK_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\QORVEL", L"Engine", REG_SZ, setting, sizeof setting),
           ERROR_SUCCESS);
  NewThreadState();
  CheckEq(KX(Env::Default()).CreditAmount(FromUtf8(billing), 417), Currency::FromRaw(3305000), "CreditAmount");
  CheckEq(TakeLog(), std::string(), "the data access objects' calls");
  NewThreadState();
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\QORVEL", L"Engine");
}

// Two threads at once, each in its own apartment with its own KX objects:
// each gets its own connection and its own connection failure box. One
// thread lets its state go inside its apartment (as the server does at the
// thread's last CoUninitialize); the other ends with the connection still
// held, which is then leaked, never released outside an apartment.
void Threads() {
  Group("threads: a connection and a failure box per thread");
  ScopedProgId jet(kJet);
  NewThreadState();
  Script("open-fail\tmissing\t-2147467259\tCould not find the file.\nstatement\t" + kCredit + "\nrow\tCY:1\n");
  StderrToFile recorder(BoxPath());
  Event in_apartments[2], done[2];
  Currency results[2][3];
  auto run = [&](int index) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    in_apartments[index].Set();
    in_apartments[1 - index].Wait();
    {
      const Text n = index == 0 ? u"0" : u"1";
      KX first(Env::Default()), second(Env::Default());
      results[index][0] = first.CreditAmount(u"C:\\missing" + n + u".mdb", 417);
      results[index][1] = second.CreditAmount(u"C:\\missing" + n + u".mdb", 417);  // no second box
      results[index][2] = second.CreditAmount(u"C:\\thread" + n + u".mdb", 417);
      if (index == 0) modmain::ResetThisThread();
    }
    done[index].Set();
    done[1 - index].Wait();  // both still hold their apartments here
    CoUninitialize();
  };
  std::thread one(run, 0), two(run, 1);
  one.join();
  two.join();
  for (const auto& r : results) CHECK(r[0] == Currency() && r[1] == Currency() && r[2] == Currency::FromRaw(10000));
  auto box = [](const std::string& n) { return ConnectBox("C:\\missing" + n + ".mdb", "Could not find the file."); };
  const std::string boxes = recorder.Text();
  Check(boxes == box("0") + box("1") || boxes == box("1") + box("0"), "one failure box per thread", boxes);

  // Which connection each thread opened on its own path, and what became of it.
  const std::string log = TakeLog();
  auto has = [&](const std::string& line) { return log.find(line + "\n") != std::string::npos; };
  auto connection_of = [&](const std::string& n) {
    const std::size_t open = log.find(".Open(BSTR:\"data source=C:\\thread" + n + ".mdb;");
    const std::size_t at = open == std::string::npos ? 0 : log.rfind("\n", open) + 1;
    return open == std::string::npos ? "none " + n : log.substr(at, open - at);
  };
  const std::string c0 = connection_of("0"), c1 = connection_of("1");
  Check(c0 != c1 && has(c0 + ".Create") && has(c1 + ".Create") && !has("Connection#3.Create"),
        "each thread opens its own connection, one per thread", c0 + ", " + c1);
  for (const std::string& c : {c0, c1}) {
    Check(log.find(kCredit + "\", DISPATCH:" + c + ",") != std::string::npos, "the recordset runs on " + c);
  }
  Check(has(c0 + ".Release"), "a state let go inside the apartment releases its connection");
  Check(!has(c1 + ".Release"), "a connection held past CoUninitialize is leaked, not released");
}

}  // namespace
}  // namespace qorvel

// With the argument "threads": only the test of two threads at once. With
// "exit-holding-connection": the process ends while its main thread still
// holds an open connection inside its apartment, as a host that never
// uninitializes does; it must exit normally.
int main(int argc, char** argv) {
  using namespace qorvel;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool exit_holding = mode == "exit-holding-connection";
  wintest::Group("test double registration");
  g_double = LoadLibraryW(L"qorvel_ado_double.dll");
  using Entry = HRESULT(WINAPI*)();
  if (CHECK(g_double && SUCCEEDED(DoubleEntry<Entry>("DllRegisterServer")()))) {
    if (exit_holding) {
      wintest::Group("exit holding a connection");
      static ScopedProgId jet(kJet);
      Script("statement\t" + kCredit + "\nrow\tCY:1\n");
      static KX kx(Env::Default());  // lives until the process ends
      CHECK_EQ(kx.CreditAmount(kPath, 417), Currency::FromRaw(10000));
      CHECK(modmain::ThisThread().DBConnection != nullptr);
    } else if (mode == "threads") {
      Threads();
    } else {
      WhatReachesTheDataAccessObjects();
      ProviderFallback();
      BuiltInEngineSetting();
    }
    if (!exit_holding) modmain::ResetThisThread();
  }
  if (g_double) DoubleEntry<Entry>("DllUnregisterServer")();
  if (!exit_holding) CoUninitialize();
  DeleteFileW(BoxPath().c_str());
  return wintest::Finish();
}
