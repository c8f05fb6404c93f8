// The library on the Windows platform's own environment (Env::Default())
// under Wine, against a test double of the data access objects: what
// reaches the data access objects (provider, connection string, Open
// arguments, statements, recordset options, the calls in order), the
// provider's errors in the boxes (read from standard error, where a test
// build writes them), the provider fallback, and that the setting for the
// engine keeps them out (a connection and a failure box per thread are the
// library's own tests'; releasing only inside an apartment, platform_test's). What the library makes of the rows is the Linux tests' business, and
// the real files through the DLL are the server tests'.
//
// The double is two classes of this program, registered as class objects
// in the test's apartment (Wine looks them up per apartment) and
// named by the ProgIDs "ADODB.Connection" and "ADODB.Recordset" while the
// test runs: it answers statements from g_answers and logs every call.
// Needs a build with QORVEL_RECORD_MESSAGE_BOXES; writes the ProgIDs in the
// Wine prefix's registry and restores them at the end.
#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
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
using platform::windows::FromWide;
using platform::windows::Wide;

// What the double answers to a statement: rows of values written TYPE:text
// (the text read in the invariant locale; TYPE I4, CY or BSTR), or a
// failure. A statement it has no answer for fails with
// -2147217865 (no such table), so that a wrong one is noticed.
struct Answer {
  std::vector<std::vector<std::string>> rows;
  long failure = 0;
  std::string description{};
};
std::map<std::string, Answer> g_answers;        // by statement
std::pair<std::string, Answer> g_open_failure;  // Connection.Open fails when the connection string holds this text

std::mutex g_mutex;                   // guards the log and the counts
std::string g_log;                    // one line per call, e.g. Recordset#1.Fields.Item(I2:0).Value -> CY:123.45
std::map<std::string, int> g_counts;  // objects created by kind since the log was last taken

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_log += line + "\n";
}

// The calls logged since the last call; the objects created after it are
// numbered per kind from 1 again.
std::string TakeLog() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_counts.clear();
  return std::exchange(g_log, std::string());
}

// The text of a VT_BSTR; "" for any other.
std::string BstrText(const VARIANT* v) { return V_VT(v) == VT_BSTR ? ToUtf8(FromWide(V_BSTR(v))) : ""; }

const std::pair<VARTYPE, const char*> kTypes[] = {{VT_I4, "I4"}, {VT_CY, "CY"}, {VT_BSTR, "BSTR"}};

std::string NameOf(IDispatch* object);

// A value as the log writes it: its type, and its text in the invariant
// locale (a connection by its name).
std::string Describe(const VARIANT& v) {
  if (V_VT(&v) == VT_DISPATCH) return "DISPATCH:" + NameOf(V_DISPATCH(&v));
  std::string type = "VT" + std::to_string(V_VT(&v));
  for (const auto& [vt, name] : kTypes) type = vt == V_VT(&v) ? name : type;
  VARIANT text;
  VariantInit(&text);
  // VariantChangeTypeEx only reads its source, though it is declared writable.
  if (FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR))) return type;
  const std::string quote = V_VT(&v) == VT_BSTR ? "\"" : "";
  type += ":" + quote + BstrText(&text) + quote;
  VariantClear(&text);
  return type;
}

// A value as an Answer writes it.
void Parse(const std::string& value, VARIANT* v) {
  const std::string type = value.substr(0, value.find(':'));
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = SysAllocString(Wide(FromUtf8(value.substr(std::min(value.size(), type.size() + 1)))));
  for (const auto& [vt, name] : kTypes) {
    if (type == name && vt != VT_BSTR) VariantChangeTypeEx(v, v, LOCALE_INVARIANT, 0, vt);
  }
}

HRESULT Raise(EXCEPINFO* info, const Answer& failure) {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->scode = static_cast<SCODE>(failure.failure);
    info->bstrDescription = SysAllocString(Wide(FromUtf8(failure.description)));
  }
  return DISP_E_EXCEPTION;
}

// A Connection or a Recordset, late bound by member name (DISPIDs are 1 +
// the index in kMembers), named in the log by its kind and its number,
// where it logs its creation and last release. A recordset's Fields and
// Fields.Item(i) are the recordset itself, the item's index held for Value.
class AdoObject final : public IDispatch {
 public:
  explicit AdoObject(bool connection) : connection_(connection) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::string kind = connection ? "Connection" : "Recordset";
    name_ = kind + "#" + std::to_string(++g_counts[kind]);
    g_log += name_ + ".Create\n";
  }
  const std::string& Name() const { return name_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ? this : nullptr;
    if (*out != nullptr) AddRef();
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) Log(Name() + ".Release");
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    *ids = DISPID_UNKNOWN;
    for (std::size_t k = 0; k < std::size(kMembers); ++k) {
      if (_wcsicmp(names[0], kMembers[k]) == 0) *ids = static_cast<DISPID>(k + 1);
    }
    return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT*) override {
    if (id < 1 || static_cast<std::size_t>(id) > std::size(kMembers)) return DISP_E_MEMBERNOTFOUND;
    std::vector<VARIANT*> args;  // in declaration order: IDispatch passes the last one first
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
    VARIANT dropped;  // the result nobody asked for
    VariantInit(&dropped);
    const HRESULT hr = Call(kMembers[id - 1], flags, args, result ? result : &dropped, info);
    VariantClear(&dropped);
    return hr;
  }

 private:
  static constexpr const wchar_t* kMembers[] = {L"State", L"Provider", L"Open",  L"Close",   L"EOF",
                                                L"Fields", L"Item",    L"Value", L"MoveNext"};

  // Answers a call and logs it.
  HRESULT Call(const std::wstring& name, WORD flags, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* info) {
    std::string line = "." + ToUtf8(FromWide(name.c_str()));
    if (name == L"Open") {
      line += "(";
      for (const VARIANT* a : args) line += (line.back() == '(' ? "" : ", ") + Describe(*a);
      line += ")";
    }
    if (name == L"Provider" && args.size() == 1) line += " = " + Describe(*args[0]);
    HRESULT hr = S_OK;
    if (name == L"State" && connection_) {
      line += open_ ? " -> 1" : " -> 0";
      V_VT(result) = VT_I4;
      V_I4(result) = open_ ? 1 : 0;
    } else if (name == L"Provider" && connection_ && (flags & DISPATCH_PROPERTYPUT) && args.size() == 1) {
    } else if (name == L"Open" && connection_ && !args.empty()) {
      const auto& [text, failure] = g_open_failure;
      if (!text.empty() && BstrText(args[0]).find(text) != std::string::npos) hr = Raise(info, failure);
      open_ = SUCCEEDED(hr);
    } else if (name == L"Open" && args.size() == 5) {
      const auto answer = g_answers.find(BstrText(args[0]));
      if (answer == g_answers.end()) {
        hr = Raise(info, {{}, -2147217865, "The test double has no answer for this statement."});
      } else if (answer->second.failure != 0) {
        hr = Raise(info, answer->second);
      }
      if (SUCCEEDED(hr)) rows_ = answer->second.rows;
    } else if (name == L"Close") {
      open_ = false;
    } else if (name == L"EOF") {
      line += rows_.empty() ? " -> True" : " -> False";
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = rows_.empty() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (name == L"Fields" || (name == L"Item" && args.size() == 1 && V_VT(args[0]) == VT_I2)) {
      line.clear();
      if (name == L"Item") item_ = V_I2(args[0]);
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = this;
      ++refs_;
    } else if (name == L"Value" && !rows_.empty() && static_cast<std::size_t>(item_) < rows_[0].size()) {
      Parse(rows_[0][static_cast<std::size_t>(item_)], result);
      line = ".Fields.Item(I2:" + std::to_string(item_) + ").Value -> " + Describe(*result);
    } else if (name == L"MoveNext" && !rows_.empty()) {
      rows_.erase(rows_.begin());
    } else {
      hr = Raise(info, {{}, 3021, "Not a call the test double answers (no current record?)."});
    }
    if (!line.empty()) Log(Name() + line);
    return hr;
  }

  std::atomic<long> refs_{1};
  const bool connection_;
  std::string name_;
  bool open_ = false;
  std::vector<std::vector<std::string>> rows_;  // from the current one
  short item_ = 0;
};

// Every IDispatch the adapter hands the double is one of its own.
std::string NameOf(IDispatch* object) { return static_cast<AdoObject*>(object)->Name(); }

// The class object of the double's Connections or Recordsets (static).
struct Factory final : public IClassFactory {
  explicit Factory(bool connections) : connection(connections) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
    auto* object = new AdoObject(connection);
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  const bool connection;
};

// The double's classes: Connection, Recordset.
const wchar_t* const kDoubleClasses[] = {L"{F4E65985-9F04-46FF-8404-13875DD5FEC2}",
                                         L"{8A992F53-4318-431F-A2A2-98AB402BBF9F}"};

// The double's class objects in the calling thread's apartment, until it ends.
bool RegisterDouble() {
  static Factory factories[] = {Factory(true), Factory(false)};
  bool ok = true;
  for (int i = 0; i < 2; ++i) {
    CLSID clsid;
    DWORD cookie = 0;
    ok = ok && SUCCEEDED(CLSIDFromString(kDoubleClasses[i], &clsid)) &&
         SUCCEEDED(CoRegisterClassObject(clsid, &factories[i], CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  }
  return ok;
}

// A ProgID that names `clsid` while the object lives (the provider
// fallback looks only at whether the ProgID exists); the class it named
// before, if any, is named again afterwards. Under HKEY_CLASSES_ROOT: Wine
// 8 does not read the current user's Software\Classes when it resolves a
// ProgID.
class ScopedProgId {
 public:
  explicit ScopedProgId(const char16_t* prog_id, const wchar_t* clsid = L"{6D1B0C1E-3F52-4C55-9D0E-0B1C2D3E4F50}")
      : prog_id_(reinterpret_cast<const wchar_t*>(prog_id)), key_(prog_id_ + L"\\CLSID") {
    DWORD size = sizeof saved_;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, saved_, &size) != ERROR_SUCCESS) {
      saved_[0] = 0;
    }
    Name(clsid);
  }
  ScopedProgId(const ScopedProgId&) = delete;
  ScopedProgId& operator=(const ScopedProgId&) = delete;
  ~ScopedProgId() {
    if (saved_[0]) Name(saved_);
    if (!saved_[0]) RegDeleteTreeW(HKEY_CLASSES_ROOT, prog_id_.c_str());
  }

 private:
  void Name(const wchar_t* clsid) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr, REG_SZ, clsid,
                    static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t)));
  }
  const std::wstring prog_id_, key_;
  wchar_t saved_[64];
};

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

const char16_t kJet[] = u"Microsoft.Jet.OLEDB.4.0";
const Text kPath = u"C:\\data\\billing.mdb";
const std::string kCredit = "Select Sum(Balance) From Credit Where Active = 1 And PeopleID = 417";

// The log's lines of a connection's Open and of a recordset's on it.
std::string ConnectionOpen(const std::string& path) {
  return "Connection#1.Open(BSTR:\"data source=" + path + ";Jet OLEDB:Database Password=PZqfnWM4062;\", BSTR:\"\", "
         "BSTR:\"\", I4:-1)";
}
std::string RecordsetOpen(const std::string& statement, const std::string& connection = "Connection#1") {
  return "Recordset#1.Open(BSTR:\"" + statement + "\", DISPATCH:" + connection + ", I4:3, I4:1, I4:-1)";
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
  g_answers = {{kCredit, {{{"CY:123.45"}}}}};
  CheckEq(kx.CreditAmount(kPath, 417), Currency::FromRaw(1234500), "CreditAmount");
  CheckEq(TakeLog(), Lines({"Connection#1.Create", "Connection#1.State -> 0",
                            "Connection#1.Provider = BSTR:\"Microsoft.Jet.OLEDB.4.0\"", ConnectionOpen("C:\\data\\billing.mdb"),
                            "Recordset#1.Create", RecordsetOpen(kCredit),
                            "Recordset#1.Fields.Item(I2:0).Value -> CY:123.45", "Recordset#1.Close",
                            "Recordset#1.Release"}),
          "the first lookup on the thread");
  // (When the thread's connection is reused, closed and opened again is
  // modMain's, tested on the recording fake.)
  kx.CreditAmount(u"C:\\data\\other.mdb", 417);
  Check(TakeLog().find("Connection#1.Close\n") != std::string::npos, "another path closes the connection");

  Group("rows walked with EOF and MoveNext");
  const std::string aged =
      "Select Balance, DateDiff('d', InvoiceDate, Now()) As Age From ActivityLog Where Active = 1 And InvoiceDate "
      "Is Not Null And PeopleID = 5";
  g_answers = {{aged, {{{"CY:100", "I4:45"}}}}};
  CheckEq(kx.AgedInvBalances(u"C:\\data\\other.mdb", 5, 30, 60), Currency::FromRaw(1000000), "AgedInvBalances");
  CheckEq(TakeLog(), Lines({"Connection#1.State -> 1", "Recordset#1.Create", RecordsetOpen(aged),
                            "Recordset#1.EOF -> False", "Recordset#1.Fields.Item(I2:1).Value -> I4:45",
                            "Recordset#1.Fields.Item(I2:0).Value -> CY:100", "Recordset#1.MoveNext",
                            "Recordset#1.EOF -> True", "Recordset#1.Close", "Recordset#1.Release"}),
          "a multi-row lookup");
  CheckEq(recorder.Text(), std::string(), "no boxes");

  Group("the provider's error: its number and description in the box; the recordset released, not closed");
  g_answers = {{kCredit, {{}, -2147217865, "The table 'Credit' does not exist."}}};
  StderrToFile failing(BoxPath());
  CheckEq(kx.CreditAmount(u"C:\\data\\other.mdb", 417), Currency::FromRaw(-100), "error result");
  CheckEq(failing.Text(), BoxText(0, "CreditAmount\n-2147217865\nThe table 'Credit' does not exist."), "box");
  CheckEq(TakeLog(), Lines({"Connection#1.State -> 1", "Recordset#1.Create", RecordsetOpen(kCredit), "Recordset#1.Release"}),
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
  g_answers = {{kCredit, {{{"CY:1"}}}}};
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
  Check(KX(Env::Default()).CreditAmount(FromUtf8(billing), 417) > Currency(), "CreditAmount from the file");
  CheckEq(TakeLog(), std::string(), "the data access objects' calls");
  NewThreadState();
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\QORVEL", L"Engine");
}

}  // namespace
}  // namespace qorvel

// With the argument "exit-holding-connection": the process ends while its
// main thread still holds an open connection inside its apartment, as a
// host that never uninitializes does; it must exit normally.
int main(int argc, char** argv) {
  using namespace qorvel;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool exit_holding = mode == "exit-holding-connection";
  {
    wintest::Group("test double registration");
    ScopedProgId connection(u"ADODB.Connection", kDoubleClasses[0]), recordset(u"ADODB.Recordset", kDoubleClasses[1]);
    if (CHECK(RegisterDouble())) {
      if (exit_holding) {
        wintest::Group("exit holding a connection");
        static ScopedProgId jet(kJet);
        g_answers = {{kCredit, {{{"CY:1"}}}}};
        static KX kx(Env::Default());  // lives until the process ends
        CHECK_EQ(kx.CreditAmount(kPath, 417), Currency::FromRaw(10000));
        CHECK(modmain::ThisThread().DBConnection != nullptr);
      } else {
        WhatReachesTheDataAccessObjects();
        ProviderFallback();
        BuiltInEngineSetting();
      }
      if (!exit_holding) modmain::ResetThisThread();
    }
  }
  if (!exit_holding) CoUninitialize();
  DeleteFileW(BoxPath().c_str());
  return wintest::Finish();
}
