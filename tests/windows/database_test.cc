// The library on the Windows platform's own environment (Env::Default())
// under Wine, against the test double of the data access objects
// (ado_double/): what reaches the data access objects (provider, connection
// string, Open arguments, statements, recordset options, the calls in
// order), the results of rows, no rows, Null and errors, the message boxes
// and their once-only rules (read from standard error, where a test build
// writes them), the provider fallback, and one connection and one failure
// box per thread.
//
// Needs a build with QORVEL_RECORD_MESSAGE_BOXES and qorvel_ado_double.dll
// beside the program; registers the double in the Wine prefix and removes
// it again at the end.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// windows.h maps GetDateFormat to GetDateFormatW; KX has a method of that name.
#undef GetDateFormat

#include "check.h"
#include "modmain/mod_main.h"
#include "platform/locale.h"
#include "platform/windows/ado_database.h"
#include "qorvel/env.h"
#include "qorvel/kx.h"

namespace qorvel {
namespace {

using namespace qorvel::wintest;

// {F4E65985-9F04-46FF-8404-13875DD5FEC2}, the double's Connection class.
constexpr CLSID kDoubleConnection = {0xf4e65985, 0x9f04, 0x46ff, {0x84, 0x04, 0x13, 0x87, 0x5d, 0xd5, 0xfe, 0xc2}};

// The folder of this run's script and log.
std::wstring WorkFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"qorvel-database-test-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\";
}

const std::wstring& Folder() {
  static const std::wstring folder = WorkFolder();
  return folder;
}
std::wstring ScriptPath() { return Folder() + L"script.tsv"; }
std::wstring LogPath() { return Folder() + L"log.txt"; }
std::wstring BoxPath() { return Folder() + L"boxes.txt"; }

// The script the double answers from (see ado_double.cc).
void Script(const std::string& script) { WriteFile(ScriptPath(), script); }

// The calls logged since the last call, with object numbers counted afresh
// from 1 in order of appearance (so that cases do not depend on each other).
std::vector<std::string> TakeLog() {
  const std::string content = ReadFile(LogPath());
  WriteFile(LogPath(), "");
  static const std::regex kObject("([A-Za-z]+)#([0-9]+)");
  std::map<std::string, int> numbers;  // by object as logged
  std::map<std::string, int> counts;   // by kind
  std::vector<std::string> lines;
  std::istringstream in(content);
  for (std::string line; std::getline(in, line);) {
    std::string out;
    auto rest = line.cbegin();
    for (std::sregex_iterator it(line.begin(), line.end(), kObject), end; it != end; ++it) {
      const std::string kind = (*it)[1];
      if (!numbers.count(it->str())) numbers[it->str()] = ++counts[kind];
      out += it->prefix().str() + kind + "#" + std::to_string(numbers[it->str()]);
      rest = (*it)[0].second;
    }
    lines.push_back(out.append(rest, line.cend()));
  }
  return lines;
}

bool CheckLog(const std::vector<std::string>& actual, const std::vector<std::string>& expected,
              const std::string& what) {
  std::string detail;
  const std::size_t n = std::max(actual.size(), expected.size());
  for (std::size_t i = 0; i < n; ++i) {
    const std::string a = i < actual.size() ? actual[i] : "(nothing)";
    const std::string e = i < expected.size() ? expected[i] : "(nothing)";
    if (a != e) detail += "\n   call " + std::to_string(i + 1) + ": got " + a + "\n        expected " + e;
  }
  return Check(detail.empty(), what, detail);
}

// A box as the test build writes it on standard error: title, buttons,
// and the prompt with its CR LF as line feeds.
std::string BoxText(const std::string& title, long buttons, const std::string& prompt) {
  return std::string("[") + title + "] (message box, buttons " + std::to_string(buttons) + ")\n" + prompt + "\n";
}

// The box of a connection that failed with `failure` (the provider's
// description, given twice).
std::string ConnectBox(const std::string& path, const std::string& failure) {
  return BoxText("QORVEL", 64,
                 "Unable to connect to " + path + ".\nSome report information may be missing or incorrect.\nPlease "
                 "restart your computer or contact support.\n\n" + failure + "\n" + failure);
}

// Standard error, where a test build writes its boxes, caught while it
// lives.
struct BoxRecorder : StderrToFile {
  BoxRecorder() : StderrToFile(BoxPath()) {}
};

// A ProgID registered while the object lives (the provider fallback looks
// only at whether the ProgID exists). Under HKEY_CLASSES_ROOT: Wine 8 does
// not read the current user's Software\Classes when it resolves a ProgID.
class ScopedProgId {
 public:
  explicit ScopedProgId(const wchar_t* prog_id) : key_(prog_id) {
    const wchar_t clsid[] = L"{6D1B0C1E-3F52-4C55-9D0E-0B1C2D3E4F50}";
    RegSetKeyValueW(HKEY_CLASSES_ROOT, (key_ + L"\\CLSID").c_str(), nullptr, REG_SZ, clsid, sizeof clsid);
  }
  ScopedProgId(const ScopedProgId&) = delete;
  ScopedProgId& operator=(const ScopedProgId&) = delete;
  ~ScopedProgId() { RegDeleteTreeW(HKEY_CLASSES_ROOT, key_.c_str()); }

 private:
  std::wstring key_;
};

const char kPath[] = "C:\\data\\billing.mdb";
const Text kPathText = u"C:\\data\\billing.mdb";
const std::string kOpenLine = "Connection#1.Open(BSTR:\"data source=C:\\data\\billing.mdb;Jet OLEDB:Database "
                              "Password=PZqfnWM4062;\", BSTR:\"\", BSTR:\"\", I4:-1)";
const std::string kCreditStatement = "Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417";
const std::string kFeeStatement = "Select Sum(Fee) From ActivityLog Where Active = 1 And InvoiceNumber = 77";

// A fresh thread state: the connection released (inside the apartment), no
// failure box shown yet.
void NewThreadState() {
  modmain::ResetThisThread();
  TakeLog();
}

// ---------------------------------------------------------------------------

void WhatReachesTheDataAccessObjects() {
  Group("provider, connection string, Open arguments, statement, recordset options");
  ScopedProgId jet(L"Microsoft.Jet.OLEDB.4.0");
  NewThreadState();
  Script("statement\t" + kCreditStatement + "\nrow\tCY:1234500\n");
  KX kx(Env::Default());
  BoxRecorder recorder;
  CheckEq(kx.CreditAmount(kPathText, 417), Currency::FromRaw(1234500), "CreditAmount result");
  CheckLog(TakeLog(),
           {"Connection#1.Create", "Connection#1.State -> 0",
            "Connection#1.Provider = BSTR:\"Microsoft.Jet.OLEDB.4.0\"", kOpenLine, "Recordset#1.Create",
            "Recordset#1.Open(BSTR:\"" + kCreditStatement + "\", DISPATCH:Connection#1, I4:3, I4:1, I4:-1)",
            "Recordset#1.Fields.Item(I2:0).Value -> CY:1234500", "Recordset#1.Close", "Recordset#1.Release"},
           "first lookup on the thread");

  CheckEq(kx.CreditAmount(kPathText, 417), Currency::FromRaw(1234500), "CreditAmount again");
  const std::vector<std::string> again = TakeLog();
  CheckLog(again,
           {"Connection#1.State -> 1", "Recordset#1.Create",
            "Recordset#1.Open(BSTR:\"" + kCreditStatement + "\", DISPATCH:Connection#1, I4:3, I4:1, I4:-1)",
            "Recordset#1.Fields.Item(I2:0).Value -> CY:1234500", "Recordset#1.Close", "Recordset#1.Release"},
           "the open connection is reused on the same path");

  Script("statement\t" + kCreditStatement + "\nrow\tCY:1\n");
  kx.CreditAmount(u"C:\\data\\other.mdb", 417);
  const std::vector<std::string> moved = TakeLog();
  CheckLog(std::vector<std::string>(moved.begin(), moved.begin() + std::min<std::size_t>(4, moved.size())),
           {"Connection#1.State -> 1", "Connection#1.Close",
            "Connection#1.Provider = BSTR:\"Microsoft.Jet.OLEDB.4.0\"",
            "Connection#1.Open(BSTR:\"data source=C:\\data\\other.mdb;Jet OLEDB:Database Password=PZqfnWM4062;\", "
            "BSTR:\"\", BSTR:\"\", I4:-1)"},
           "another path closes and reopens the thread's connection");

  NewThreadState();
  CheckEq(kx.CreditAmount(u"", 417), Currency(), "an empty path returns the default");
  CheckLog(TakeLog(), {}, "an empty path touches no data access object");
  CheckEq(recorder.Text(), std::string(), "no boxes");
}

void Results() {
  Group("results of rows, no rows, Null and other types");
  ScopedProgId jet(L"Microsoft.Jet.OLEDB.4.0");
  NewThreadState();
  KX kx(Env::Default());
  const std::string last_payment =
      "Select Max (PaymentDate) From Payment Inner Join ActivityLog On Payment.ActivityLogGUID = ActivityLog.GUID "
      "Where ActivityLog.Active = 1 And Payment.Active = 1 And Payment > 0 And PeopleID = 5";
  const std::string benefit = "Select Enabled From LTCBenefit Where PeopleID = 5 And BenefitType = 'LTC'";
  const std::string aged =
      "Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = 1 And InvoiceDate "
      "Is Not Null And PeopleID = 5";
  const std::function<std::string()> credit = [&] { return kx.CreditAmount(kPathText, 417).ToFixedString(); };
  const std::function<std::string()> benefit_yn = [&] { return ToUtf8(kx.LTCBenefitTypeEnabledYN(kPathText, 5, u"LTC")); };
  const std::function<std::string()> payment_date = [&] { return ToUtf8(kx.LastPaymentDate(kPathText, 5)); };
  struct Case {
    std::string what, statement, rows;  // the rows as the script writes them
    std::function<std::string()> call;
    std::string expected;
  };
  const Case cases[] = {
      {"Currency field", kCreditStatement, "row\tCY:-50000\n", credit, "-5.0000"},
      {"Null sum is 0", kCreditStatement, "row\tNULL\n", credit, "0.0000"},
      {"text field read as money", kCreditStatement, "row\tBSTR:12.5\n", credit, "12.5000"},
      {"double field", kFeeStatement, "row\tR8:12.345\n", [&] { return kx.InvoiceFee(kPathText, 77).ToFixedString(); }, "12.3450"},
      {"date in the user locale's pattern", last_payment, "row\tDATE:40268.5\n", payment_date, "03/31/2010"},
      {"Null date is empty", last_payment, "row\tNULL\n", payment_date, ""},
      {"no row", benefit, "", benefit_yn, "No"},
      {"Integer 1", benefit, "row\tI2:1\n", benefit_yn, "Yes"},
      {"Byte 0", benefit, "row\tUI1:0\n", benefit_yn, "No"},
      {"rows walked to the end", aged, "row\tCY:1000000\tI4:45\nrow\tCY:2000000\tI4:10\nrow\tCY:500000\tNULL\n",
       [&] { return kx.AgedInvBalances(kPathText, 5, 30, 60).ToFixedString(); }, "100.0000"},
  };
  BoxRecorder recorder;
  for (const Case& c : cases) {
    Script("statement\t" + c.statement + "\n" + c.rows);
    CheckEq(c.call(), c.expected, c.what);
  }
  CheckEq(recorder.Text(), std::string(), "no boxes");
  TakeLog();

  Script("statement\t" + aged + "\nrow\tCY:1000000\tI4:45\n");
  kx.AgedInvBalances(kPathText, 5, 30, 60);
  CheckLog(TakeLog(),
           {"Connection#1.State -> 1", "Recordset#1.Create",
            "Recordset#1.Open(BSTR:\"" + aged + "\", DISPATCH:Connection#1, I4:3, I4:1, I4:-1)",
            "Recordset#1.EOF -> False", "Recordset#1.Fields.Item(I2:1).Value -> I4:45",
            "Recordset#1.Fields.Item(I2:0).Value -> CY:1000000",
            "Recordset#1.MoveNext", "Recordset#1.EOF -> True", "Recordset#1.Close", "Recordset#1.Release"},
           "a multi-row lookup reads EOF, the fields and MoveNext");
}

void Errors() {
  Group("errors: the labelled box once per object, the connection failure box once per thread");
  ScopedProgId jet(L"Microsoft.Jet.OLEDB.4.0");
  NewThreadState();
  Script("statement\t" + kCreditStatement + "\nfail\t-2147217865\tThe table 'Credit' does not exist.\n" +
         "statement\t" + kFeeStatement + "\nfail\t-2147217904\t\n");
  const std::string credit_box = BoxText("QORVEL", 0, "CreditAmount\n-2147217865\nThe table 'Credit' does not exist.");
  const std::string fee_box = BoxText("QORVEL", 0, "InvoiceFee\n-2147217904\n");
  {
    BoxRecorder recorder;
    KX first(Env::Default());
    CheckEq(first.CreditAmount(kPathText, 417), Currency::FromRaw(-100), "error result");
    CheckEq(first.CreditAmount(kPathText, 417), Currency::FromRaw(-100), "error result again");
    CheckEq(first.InvoiceFee(kPathText, 77), Currency::FromRaw(-100), "another method's error result");
    KX second(Env::Default());
    CheckEq(second.CreditAmount(kPathText, 417), Currency::FromRaw(-100), "error result on a new object");
    CheckEq(recorder.Text(), credit_box + fee_box + credit_box,
               "one box per method and object, with the provider's number and description");
  }
  const std::vector<std::string> log = TakeLog();
  auto count = [&](const std::string& suffix) {
    return std::count_if(log.begin(), log.end(), [&](const std::string& line) {
      return line.rfind("Recordset#", 0) == 0 && line.size() > suffix.size() &&
             line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
    });
  };
  CheckEq(count(".Create"), std::ptrdiff_t{4}, "a recordset per call");
  CheckEq(count(".Release"), std::ptrdiff_t{4}, "every failed call's recordset is released");
  CheckEq(count(".Close"), std::ptrdiff_t{0}, "a failed call's recordset is not closed");

  NewThreadState();
  Script("open-fail\tmissing.mdb\t-2147467259\tCould not find file 'C:\\missing.mdb'.\n");
  const std::string connect_box = ConnectBox("C:\\missing.mdb", "Could not find file 'C:\\missing.mdb'.");
  BoxRecorder recorder;
  KX a(Env::Default());
  CheckEq(a.CreditAmount(u"C:\\missing.mdb", 417), Currency(), "a failed connection returns the default");
  KX b(Env::Default());
  CheckEq(b.PymtCountByDateRange(u"C:\\missing.mdb", 5, u"1/1/2010", u"2/1/2010"), Long{0},
          "again on another object");
  CheckEq(recorder.Text(), connect_box, "one connection failure box on the thread");
}

void ProviderFallback() {
  Group("provider fallback where the Jet provider is not registered");
  using platform::windows::ChooseProvider;
  const char16_t* const providers[] = {u"Microsoft.Jet.OLEDB.4.0", u"Microsoft.ACE.OLEDB.12.0",
                                       u"Microsoft.ACE.OLEDB.16.0"};
  for (const char16_t* p : providers) {
    if (platform::windows::IsProgIdRegistered(p)) {
      Skip("a provider ProgID is registered in the prefix itself; use a fresh prefix");
      return;
    }
  }
  // Which of the three are registered, and the choice.
  const std::pair<std::array<bool, 3>, int> cases[] = {
      {{true, true, true}, 0}, {{false, true, true}, 1}, {{false, false, true}, 2}, {{false, false, false}, 0}};
  for (const auto& [registered, chosen] : cases) {
    std::optional<ScopedProgId> scoped[3];
    std::string what;
    for (int i = 0; i < 3; ++i) {
      if (registered[i]) scoped[i].emplace(reinterpret_cast<const wchar_t*>(providers[i]));
      what += ToUtf8(providers[i]) + (registered[i] ? " yes " : " no ");
    }
    CheckEq(ChooseProvider(providers[0]), Text(providers[chosen]), what);
    CheckEq(ChooseProvider(u"SQLOLEDB"), Text(u"SQLOLEDB"), what + ": another provider is kept");
  }

  ScopedProgId ace12(reinterpret_cast<const wchar_t*>(providers[1]));
  NewThreadState();
  Script("statement\t" + kCreditStatement + "\nrow\tCY:1\n");
  KX kx(Env::Default());
  kx.CreditAmount(kPathText, 417);
  const std::vector<std::string> log = TakeLog();
  Check(log.size() > 2 && log[2] == "Connection#1.Provider = BSTR:\"Microsoft.ACE.OLEDB.12.0\"",
        "the connection of a lookup gets the newer provider", log.size() > 2 ? log[2] : "short log");
}

// Two threads meet here before going on.
class Rendezvous {
 public:
  void ArriveAndWait() {
    if (InterlockedIncrement(&arrived_) == 2) {
      event_.Set();
    } else {
      event_.Wait();
    }
  }

 private:
  Event event_;
  LONG arrived_ = 0;
};

// Two threads at once, each in its own apartment with its own KX objects:
// each gets its own connection and its own connection failure box. One
// thread lets its state go inside its apartment (as the server does at the
// thread's last CoUninitialize); the other ends with the connection still
// held, which is then leaked, never released outside an apartment.
void Threads() {
  Group("threads: a connection and a failure box per thread");
  ScopedProgId jet(L"Microsoft.Jet.OLEDB.4.0");
  NewThreadState();
  Script("open-fail\tmissing\t-2147467259\tCould not find the file.\nstatement\t" + kCreditStatement +
         "\nrow\tCY:10000\n");
  struct Outcome {
    Currency failed_first, failed_again, found;
  };
  Outcome outcomes[2];
  BoxRecorder recorder;
  Rendezvous both_in_apartments;
  Rendezvous both_done;
  auto run = [&](int index) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    both_in_apartments.ArriveAndWait();
    {
      const Text n = index == 0 ? u"0" : u"1";
      KX first(Env::Default());
      KX second(Env::Default());
      outcomes[index].failed_first = first.CreditAmount(u"C:\\missing" + n + u".mdb", 417);
      outcomes[index].failed_again = second.CreditAmount(u"C:\\missing" + n + u".mdb", 417);
      outcomes[index].found = second.CreditAmount(u"C:\\thread" + n + u".mdb", 417);
      if (index == 0) modmain::ResetThisThread();
    }
    both_done.ArriveAndWait();  // both still hold their apartments here
    CoUninitialize();
  };
  std::thread one(run, 0);
  std::thread two(run, 1);
  one.join();
  two.join();
  for (const Outcome& o : outcomes) {
    CheckEq(o.failed_first, Currency(), "failed connection");
    CheckEq(o.failed_again, Currency(), "failed connection again");
    CheckEq(o.found, Currency::FromRaw(10000), "lookup on the thread's own connection");
  }
  auto failure_box = [](const std::string& n) { return ConnectBox("C:\\missing" + n + ".mdb", "Could not find the file."); };
  const std::string boxes = recorder.Text();
  Check(boxes == failure_box("0") + failure_box("1") || boxes == failure_box("1") + failure_box("0"),
        "one failure box per thread", boxes);

  // Which connection each thread opened on its own path.
  const std::vector<std::string> log = TakeLog();
  auto has = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
  auto connection_of = [&](const std::string& n) -> std::string {
    for (const std::string& line : log) {
      if (line.find(".Open(BSTR:\"data source=C:\\thread" + n + ".mdb;") != std::string::npos) {
        return line.substr(0, line.find('.'));
      }
    }
    return "none";
  };
  const std::string c0 = connection_of("0");
  const std::string c1 = connection_of("1");
  Check(c0 != "none" && c1 != "none" && c0 != c1, "each thread opens its own connection", c0 + ", " + c1);
  Check(has("Connection#1.Create") && has("Connection#2.Create") && !has("Connection#3.Create"),
        "one connection per thread");
  for (const std::string& c : {c0, c1}) {
    const bool used = std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return line.find(".Open(BSTR:\"" + kCreditStatement + "\", DISPATCH:" + c + ", I4:3, I4:1, I4:-1)") !=
             std::string::npos;
    });
    Check(used, "the thread's recordset runs on its own connection " + c);
  }
  Check(has(c0 + ".Release"), "a state let go inside the apartment releases its connection");
  Check(!has(c1 + ".Release"), "a connection held past CoUninitialize is leaked, not released");
}

// Removes this run's script, log and box files and their folder.
void RemoveWorkFolder() {
  for (const std::wstring& path : {ScriptPath(), LogPath(), BoxPath()}) DeleteFileW(path.c_str());
  RemoveDirectoryW(Folder().c_str());
}

// Calls the double's DllRegisterServer or DllUnregisterServer.
bool CallDouble(const char* entry) {
  using Entry = HRESULT(WINAPI*)();
  HMODULE dll = LoadLibraryW(L"qorvel_ado_double.dll");
  const auto call = dll ? reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(dll, entry))) : nullptr;
  return call != nullptr && SUCCEEDED(call());
}

bool RegisterDouble() {
  Group("test double registration");
  if (!Check(CallDouble("DllRegisterServer"), "qorvel_ado_double.dll loads and registers")) return false;
  CLSID clsid{};
  const bool found = SUCCEEDED(CLSIDFromProgID(L"ADODB.Connection", &clsid)) && IsEqualCLSID(clsid, kDoubleConnection);
  return Check(found, "ADODB.Connection is the double");
}

}  // namespace
}  // namespace qorvel

// With the argument "threads": only the test of two threads at once. With
// "exit-holding-connection": the process ends while its main thread still
// holds an open connection inside its apartment, as a host that never
// uninitializes does; it must exit normally.
int main(int argc, char** argv) {
  using namespace qorvel;
  SetEnvironmentVariableW(L"QORVEL_ADO_SCRIPT", ScriptPath().c_str());
  SetEnvironmentVariableW(L"QORVEL_ADO_LOG", LogPath().c_str());
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool exit_holding = mode == "exit-holding-connection";
  if (RegisterDouble()) {
    if (exit_holding) {
      Group("exit holding a connection");
      Script("statement\t" + kCreditStatement + "\nrow\tCY:1\n");
      static KX kx(Env::Default());  // lives until the process ends
      CheckEq(kx.CreditAmount(kPathText, 417), Currency::FromRaw(1), "lookup");
      Check(modmain::ThisThread().DBConnection != nullptr, "the thread holds its connection");
    } else if (mode == "threads") {
      Threads();
    } else {
      WhatReachesTheDataAccessObjects();
      Results();
      Errors();
      ProviderFallback();
    }
    if (!exit_holding) modmain::ResetThisThread();
  }
  CallDouble("DllUnregisterServer");
  if (!exit_holding) CoUninitialize();
  RemoveWorkFolder();
  return wintest::Finish();
}
