// A test double of the system's data access objects: an in-process COM
// server that registers itself under the ProgIDs "ADODB.Connection" and
// "ADODB.Recordset" (with class identifiers of its own), answers statements
// from a script and logs every call, so that the Windows database adapter
// can be tested under Wine, whose own data access objects open no database.
//
// QorvelAdoScript(script) sets the script (UTF-8), one entry per line,
// fields separated by tabs:
//   open-fail   <text>  <number>  <description>   Connection.Open fails when
//                                                  the connection string
//                                                  contains <text>
//   statement   <exact statement text>             starts a statement's answer
//   row         <value>  <value> ...               one row of the answer
//   fail        <number>  <description>            the statement fails
// Values: NULL, or TYPE:text with TYPE one of I2, I4, CY, BSTR, BOOL (the
// text read in the invariant locale). A statement that is not in the script
// fails with -2147217865 (no such table), so that a wrong one is noticed.
//
// QorvelAdoTakeLog() returns the calls logged since it was last called, one
// line per call, for example:
//   Connection#1.Provider = BSTR:"Microsoft.Jet.OLEDB.4.0"
//   Recordset#1.Open(BSTR:"Select ...", DISPATCH:Connection#1, I4:3, I4:1, I4:-1)
//   Recordset#1.Fields.Item(I2:0).Value -> CY:123.45
// Objects are numbered per class in order of appearance in each taken log.
#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/split_tabs.h"

namespace {

// {F4E65985-9F04-46FF-8404-13875DD5FEC2}
constexpr CLSID kConnectionClsid = {0xf4e65985, 0x9f04, 0x46ff, {0x84, 0x04, 0x13, 0x87, 0x5d, 0xd5, 0xfe, 0xc2}};
// {8A992F53-4318-431F-A2A2-98AB402BBF9F}
constexpr CLSID kRecordsetClsid = {0x8a992f53, 0x4318, 0x431f, {0xa2, 0xa2, 0x98, 0xab, 0x40, 0x2b, 0xbf, 0x9f}};

struct Answer {
  std::vector<std::vector<std::string>> rows;  // values as the script writes them
  long failure = 0;
  std::string description;
};

HMODULE g_module = nullptr;
std::mutex g_mutex;  // guards everything below
std::string g_log;
std::map<const void*, std::string> g_names;  // objects named in the log since it was last taken
std::map<std::string, int> g_counts;         // by kind
std::map<std::string, Answer> g_answers;     // by statement
std::vector<std::pair<std::string, Answer>> g_open_failures;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_log += line + "\n";
}

// The object's name in the log ("Recordset#2"); "?" for an unnamed object
// when no kind is given.
std::string NameOf(const void* object, const char* kind = nullptr) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const auto found = g_names.find(object);
  if (found != g_names.end()) return found->second;
  return kind ? g_names[object] = std::string(kind).append("#").append(std::to_string(++g_counts[kind])) : "?";
}

std::string Utf8(const wchar_t* wide) {
  char out[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, sizeof out - 1, nullptr, nullptr);
  return out;
}

// The text of a VT_BSTR argument; "" for any other.
std::string Text(const VARIANT* v) { return V_VT(v) == VT_BSTR && V_BSTR(v) ? Utf8(V_BSTR(v)) : ""; }

BSTR NewBstr(const std::string& utf8) {
  wchar_t wide[4096] = {};
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide, 4095);
  return SysAllocString(wide);
}

const std::pair<VARTYPE, const char*> kTypes[] = {{VT_EMPTY, "EMPTY"}, {VT_NULL, "NULL"}, {VT_I2, "I2"},
                                                  {VT_I4, "I4"},       {VT_CY, "CY"},     {VT_BSTR, "BSTR"},
                                                  {VT_BOOL, "BOOL"},   {VT_DISPATCH, "DISPATCH"}};

// A value as the log writes it: its type, and its text in the invariant
// locale (a connection by its name).
std::string Describe(const VARIANT& v) {
  std::string type = "VT" + std::to_string(V_VT(&v));
  for (const auto& [vt, name] : kTypes) type = vt == V_VT(&v) ? name : type;
  if (V_VT(&v) == VT_DISPATCH) return type + ":" + NameOf(V_DISPATCH(&v));
  VARIANT text;
  VariantInit(&text);
  // VariantChangeTypeEx only reads its source, though it is declared writable.
  if (FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR))) return type;
  const std::string quote = V_VT(&v) == VT_BSTR ? "\"" : "";
  type += ":" + quote + (V_BSTR(&text) ? Utf8(V_BSTR(&text)) : "") + quote;
  VariantClear(&text);
  return type;
}

// A value as the script writes it.
void Parse(const std::string& value, VARIANT* v) {
  const std::string type = value.substr(0, value.find(':'));
  V_VT(v) = VT_BSTR;
  V_BSTR(v) = NewBstr(value.substr(std::min(value.size(), type.size() + 1)));
  if (type == "NULL") {
    VariantClear(v);
    V_VT(v) = VT_NULL;
  }
  for (const auto& [vt, name] : kTypes) {
    if (type == name && vt != VT_NULL && vt != VT_BSTR) VariantChangeTypeEx(v, v, LOCALE_INVARIANT, 0, vt);
  }
}

HRESULT Raise(EXCEPINFO* info, long number, const std::string& description) {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->scode = static_cast<SCODE>(number);
    info->bstrDescription = NewBstr(description);
  }
  return DISP_E_EXCEPTION;
}

std::string ArgList(const std::vector<VARIANT*>& args) {
  std::string out;
  for (const VARIANT* a : args) out += (out.empty() ? "" : ", ") + Describe(*a);
  return out;
}

// A Connection or a Recordset, late bound by member name (DISPIDs are 1 +
// the index in kMembers), numbered in the log, where it logs its creation
// and last release. A recordset's Fields and Fields.Item(i) are the
// recordset itself, the item's index held for Value.
class AdoObject final : public IDispatch {
 public:
  explicit AdoObject(bool connection) : kind_(connection ? "Connection" : "Recordset") { Log(Name() + ".Create"); }
  std::string Name() const { return NameOf(this, kind_); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ? this : nullptr;
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) {
      Log(Name() + ".Release");
      std::lock_guard<std::mutex> lock(g_mutex);
      g_names.erase(this);
    }
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

  // Answers a call and logs it (where the log needs no lock held).
  HRESULT Call(const std::wstring& name, WORD flags, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* info) {
    const bool connection = kind_[0] == 'C';
    std::string line = std::string(".").append(Utf8(name.c_str()));
    if (name == L"Open") line.append("(").append(ArgList(args)).append(")");
    if (name == L"Provider" && args.size() == 1) line.append(" = ").append(Describe(*args[0]));
    HRESULT hr = S_OK;
    {
      std::lock_guard<std::mutex> lock(g_mutex);  // the script
      if (name == L"State" && connection) {
        line += open_ ? " -> 1" : " -> 0";
        V_VT(result) = VT_I4;
        V_I4(result) = open_ ? 1 : 0;
      } else if (name == L"Provider" && connection && (flags & DISPATCH_PROPERTYPUT) && args.size() == 1) {
      } else if (name == L"Open" && connection && !args.empty()) {
        for (const auto& [text, failure] : g_open_failures) {
          if (Text(args[0]).find(text) != std::string::npos) hr = Raise(info, failure.failure, failure.description);
        }
        open_ = SUCCEEDED(hr);
      } else if (name == L"Open" && args.size() == 5) {
        const auto answer = g_answers.find(Text(args[0]));
        if (answer == g_answers.end()) {
          hr = Raise(info, -2147217865, "The test double has no answer for this statement.");
        } else if (answer->second.failure != 0) {
          hr = Raise(info, answer->second.failure, answer->second.description);
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
        line = std::string(".Fields.Item(I2:").append(std::to_string(item_)).append(").Value -> ").append(Describe(*result));
      } else if (name == L"MoveNext" && !rows_.empty()) {
        rows_.erase(rows_.begin());
      } else {
        hr = Raise(info, 3021, "Not a call the test double answers (no current record?).");
      }
    }
    if (!line.empty()) Log(Name() + line);
    return hr;
  }

  std::atomic<long> refs_{1};
  const char* kind_;
  bool open_ = false;
  std::vector<std::vector<std::string>> rows_;  // from the current one
  short item_ = 0;
};

class Factory final : public IClassFactory {
 public:
  explicit Factory(bool connection) : connection_(connection) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static objects
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
    auto* object = new AdoObject(connection_);
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  bool connection_;
};

Factory g_connection_factory(true);
Factory g_recordset_factory(false);

// Registration goes to HKEY_CLASSES_ROOT: Wine 8 resolves ProgIDs and
// class identifiers there only (it does not read the current user's
// Software\Classes), and in a test prefix that is writable.
std::wstring GetValue(const std::wstring& key, const wchar_t* name) {
  wchar_t buffer[256];
  DWORD size = sizeof buffer;
  return RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) ? L"" : buffer;
}

bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

const std::pair<const wchar_t*, const CLSID*> kRegistrations[] = {{L"ADODB.Connection", &kConnectionClsid},
                                                                  {L"ADODB.Recordset", &kRecordsetClsid}};

std::wstring ClassKey(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (IsEqualCLSID(clsid, kConnectionClsid)) return g_connection_factory.QueryInterface(iid, out);
  if (IsEqualCLSID(clsid, kRecordsetClsid)) return g_recordset_factory.QueryInterface(iid, out);
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

// The log and the script live in this module: it stays loaded.
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

// The ProgIDs name the two classes (the class a ProgID named before is kept
// beside it, to be restored), served by this file in the apartment model.
HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  for (const auto& [prog, clsid] : kRegistrations) {
    const std::wstring cls = ClassKey(*clsid), before = GetValue(prog + std::wstring(L"\\CLSID"), nullptr);
    if ((!before.empty() && before != cls.substr(6) && !SetValue(prog, L"SavedCLSID", before)) ||
        !SetValue(prog + std::wstring(L"\\CLSID"), nullptr, cls.substr(6)) ||
        !SetValue(cls + L"\\InprocServer32", nullptr, path) ||
        !SetValue(cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment")) {
      return E_FAIL;
    }
  }
  return S_OK;
}

// Removes the classes and gives the ProgIDs back their former classes.
HRESULT WINAPI DllUnregisterServer() {
  for (const auto& [prog, clsid] : kRegistrations) {
    const std::wstring before = GetValue(prog, L"SavedCLSID");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(*clsid).c_str());
    if (before.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, prog);
    if (!before.empty()) SetValue(prog + std::wstring(L"\\CLSID"), nullptr, before);
    RegDeleteKeyValueW(HKEY_CLASSES_ROOT, prog, L"SavedCLSID");
  }
  return S_OK;
}

void QorvelAdoScript(const char* script) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_answers.clear();
  g_open_failures.clear();
  std::istringstream in(script);
  Answer* current = nullptr;
  for (std::string line; std::getline(in, line);) {
    const std::vector<std::string> f = qorvel::testing::SplitTabs(line);
    if (f[0] == "open-fail" && f.size() >= 4) {
      g_open_failures.push_back({f[1], Answer{{}, std::strtol(f[2].c_str(), nullptr, 10), f[3]}});
    } else if (f[0] == "statement" && f.size() >= 2) {
      current = &(g_answers[f[1]] = Answer());
    } else if (f[0] == "row" && current != nullptr) {
      current->rows.emplace_back(f.begin() + 1, f.end());
    } else if (f[0] == "fail" && current != nullptr && f.size() >= 3) {
      *current = Answer{{}, std::strtol(f[1].c_str(), nullptr, 10), f[2]};
    }
  }
}

// The text stays valid until the next call.
const char* QorvelAdoTakeLog() {
  static std::string taken;
  std::lock_guard<std::mutex> lock(g_mutex);
  taken = std::exchange(g_log, std::string());
  g_names.clear();
  g_counts.clear();
  return taken.c_str();
}

}  // extern "C"
