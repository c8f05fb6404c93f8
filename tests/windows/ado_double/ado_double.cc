// A test double of the system's data access objects: an in-process COM
// server that registers itself under the ProgIDs "ADODB.Connection" and
// "ADODB.Recordset" (with class identifiers of its own), answers statements
// from a script and logs every call, so that the Windows database adapter
// can be tested under Wine, whose own data access objects open no database.
//
// Script (the file named by QORVEL_ADO_SCRIPT, UTF-8, read at every
// Connection.Open and Recordset.Open), one entry per line, fields separated
// by tabs:
//   open-fail   <text>  <number>  <description>   Open fails when the
//                                                  connection string
//                                                  contains <text>
//   statement   <exact statement text>             starts a statement's answer
//   row         <value>  <value> ...               one row of the answer
//   fail        <number>  <description>            the statement fails
// Values: NULL, I2:n, I4:n, R4:x, R8:x, CY:<ten-thousandths>, DATE:x,
// BSTR:text, BOOL:n, UI1:n. A statement that is not in the script fails
// with -2147217865 (no such table) so that a wrong statement is noticed.
//
// Log (the file named by QORVEL_ADO_LOG, UTF-8, appended), one line per
// call, for example:
//   Connection#1.Provider = BSTR:"Microsoft.Jet.OLEDB.4.0"
//   Connection#1.Open(BSTR:"data source=...", BSTR:"", BSTR:"", I4:-1)
//   Recordset#1.Open(BSTR:"Select ...", DISPATCH:Connection#1, I4:3, I4:1, I4:-1)
//   Recordset#1.Fields.Item(I2:0).Value -> CY:1234500
//   Connection#1.Release
// Objects are numbered per class in the order they are created.
#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/split_tabs.h"

namespace {

using qorvel::testing::SplitTabs;

// {F4E65985-9F04-46FF-8404-13875DD5FEC2}
constexpr CLSID kConnectionClsid = {0xf4e65985, 0x9f04, 0x46ff, {0x84, 0x04, 0x13, 0x87, 0x5d, 0xd5, 0xfe, 0xc2}};
// {8A992F53-4318-431F-A2A2-98AB402BBF9F}
constexpr CLSID kRecordsetClsid = {0x8a992f53, 0x4318, 0x431f, {0xa2, 0xa2, 0x98, 0xab, 0x40, 0x2b, 0xbf, 0x9f}};

HMODULE g_module = nullptr;
std::mutex g_mutex;  // the log, the object registry

// ---------------------------------------------------------------------------
// Text

std::string Utf8(const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  std::string out(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  const int size = static_cast<int>(utf8.size());
  std::wstring out(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), static_cast<int>(out.size()));
  return out;
}

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  return n == 0 || n >= MAX_PATH * 2 ? std::wstring() : std::wstring(buffer, n);
}

void Log(const std::string& line) {
  const std::wstring path = EnvironmentValue(L"QORVEL_ADO_LOG");
  if (path.empty()) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  std::ofstream(path.c_str(), std::ios::app | std::ios::binary) << line << '\n';
}

std::string Describe(const VARIANT& v);

std::string BstrText(BSTR b) { return b == nullptr ? std::string() : Utf8(std::wstring(b, SysStringLen(b))); }

// ---------------------------------------------------------------------------
// Script

struct Failure {
  long number = 0;
  std::string description;
};

struct Answer {
  std::vector<std::vector<std::string>> rows;  // typed values as written
  std::optional<Failure> failure;
};

struct Script {
  std::map<std::string, Answer> answers;
  std::vector<std::pair<std::string, Failure>> open_failures;  // by text in the connection string
};

Script ReadScript() {
  Script script;
  const std::wstring path = EnvironmentValue(L"QORVEL_ADO_SCRIPT");
  if (path.empty()) return script;
  std::ifstream in(path.c_str(), std::ios::binary);
  Answer* current = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = SplitTabs(line);
    if (f[0] == "open-fail" && f.size() >= 4) {
      script.open_failures.push_back({f[1], {std::strtol(f[2].c_str(), nullptr, 10), f[3]}});
    } else if (f[0] == "statement" && f.size() >= 2) {
      current = &script.answers[f[1]];
      *current = Answer();
    } else if (f[0] == "row" && current != nullptr) {
      current->rows.emplace_back(f.begin() + 1, f.end());
    } else if (f[0] == "fail" && current != nullptr && f.size() >= 3) {
      current->failure = Failure{std::strtol(f[1].c_str(), nullptr, 10), f[2]};
    }
  }
  return script;
}

// A typed value as the script writes it: a BSTR's text, a CY's count of
// ten-thousandths, any other number converted from a double.
void ParseValue(const std::string& text, VARIANT* v) {
  VariantInit(v);
  const std::size_t colon = text.find(':');
  const std::string type = text.substr(0, colon);
  const std::string value = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  static const std::map<std::string, VARTYPE> kTypes = {{"NULL", VT_NULL}, {"I2", VT_I2},     {"I4", VT_I4},
                                                        {"R4", VT_R4},     {"R8", VT_R8},     {"CY", VT_CY},
                                                        {"DATE", VT_DATE}, {"BSTR", VT_BSTR}, {"BOOL", VT_BOOL},
                                                        {"UI1", VT_UI1}};
  const auto found = kTypes.find(type);
  if (found == kTypes.end()) return;
  if (found->second == VT_NULL) {
    V_VT(v) = VT_NULL;
  } else if (found->second == VT_BSTR) {
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocString(Wide(value).c_str());
  } else if (found->second == VT_CY) {
    V_VT(v) = VT_CY;
    V_CY(v).int64 = std::strtoll(value.c_str(), nullptr, 10);
  } else {
    V_VT(v) = VT_R8;
    V_R8(v) = std::strtod(value.c_str(), nullptr);
    VariantChangeType(v, v, 0, found->second);
  }
}

// ---------------------------------------------------------------------------
// Objects

HRESULT Raise(EXCEPINFO* info, long number, const std::string& description) {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->scode = static_cast<SCODE>(number);
    info->bstrSource = SysAllocString(L"ADO test double");
    info->bstrDescription = SysAllocString(Wide(description).c_str());
  }
  return DISP_E_EXCEPTION;
}

// IDispatch over a table of member names; DISPIDs are 1 + the index. A
// numbered object ("Recordset#1") logs its creation and last release.
class DispatchBase : public IDispatch {
 public:
  DispatchBase(std::vector<const wchar_t*> names, const char* kind = nullptr, int* count = nullptr)
      : names_(std::move(names)) {
    if (kind == nullptr) return;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      name_ = std::string(kind) + "#" + std::to_string(++*count);
    }
    Log(name_ + ".Create");
  }
  virtual ~DispatchBase() = default;
  const std::string& Name() const { return name_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) {
      if (!name_.empty()) Log(name_ + ".Release");
      OnLastRelease();
      delete this;
    }
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (std::size_t k = 0; k < names_.size(); ++k) {
        if (_wcsicmp(names[i], names_[k]) == 0) ids[i] = static_cast<DISPID>(k + 1);
      }
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT*) override {
    if (id < 1 || static_cast<std::size_t>(id) > names_.size()) return DISP_E_MEMBERNOTFOUND;
    // Arguments in declaration order (IDispatch passes the last one first).
    std::vector<VARIANT*> args;
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
    // The members always have a result to fill; one nobody asked for is
    // dropped.
    VARIANT dropped;
    VariantInit(&dropped);
    const HRESULT hr = Call(names_[static_cast<std::size_t>(id - 1)], flags, args, result ? result : &dropped, info);
    VariantClear(&dropped);
    return hr;
  }

 protected:
  // Precondition: `result` is not null.
  virtual HRESULT Call(const std::wstring& name, WORD flags, const std::vector<VARIANT*>& args, VARIANT* result,
                       EXCEPINFO* info) = 0;
  virtual void OnLastRelease() {}

 private:
  std::atomic<long> refs_{1};
  std::vector<const wchar_t*> names_;
  std::string name_;
};

std::string ArgList(const std::vector<VARIANT*>& args) {
  std::string out;
  for (const VARIANT* a : args) out += (out.empty() ? "" : ", ") + Describe(*a);
  return out;
}

class Connection;
std::map<IDispatch*, Connection*> g_connections;  // live connections, for Recordset.Open's log
int g_connection_count = 0;
int g_recordset_count = 0;

class Connection final : public DispatchBase {
 public:
  Connection() : DispatchBase({L"State", L"Provider", L"Open", L"Close"}, "Connection", &g_connection_count) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_connections[this] = this;
  }
  bool is_open() const { return open_; }

 protected:
  HRESULT Call(const std::wstring& name, WORD flags, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* info) override {
    if (name == L"State") {
      Log(Name() + ".State -> " + (open_ ? "1" : "0"));
      V_VT(result) = VT_I4;
      V_I4(result) = open_ ? 1 : 0;
      return S_OK;
    }
    if (name == L"Provider") {
      if ((flags & DISPATCH_PROPERTYPUT) != 0 && args.size() == 1) {
        Log(Name() + ".Provider = " + Describe(*args[0]));
        return S_OK;
      }
      return DISP_E_MEMBERNOTFOUND;
    }
    if (name == L"Open") {
      Log(Name() + ".Open(" + ArgList(args) + ")");
      if (open_) return Raise(info, static_cast<long>(0x800A0E79), "Operation is not allowed when the object is open.");
      const std::string connection_string =
          !args.empty() && V_VT(args[0]) == VT_BSTR ? BstrText(V_BSTR(args[0])) : std::string();
      for (const auto& [text, failure] : ReadScript().open_failures) {
        if (connection_string.find(text) != std::string::npos) return Raise(info, failure.number, failure.description);
      }
      open_ = true;
      return S_OK;
    }
    if (name == L"Close") {
      Log(Name() + ".Close");
      if (!open_) return Raise(info, static_cast<long>(0x800A0E78), "Operation is not allowed when the object is closed.");
      open_ = false;
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }
  void OnLastRelease() override {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_connections.erase(this);
  }

 private:
  bool open_ = false;
};

std::string Describe(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_I2: return "I2:" + std::to_string(V_I2(&v));
    case VT_I4: return "I4:" + std::to_string(V_I4(&v));
    case VT_R8: return "R8:" + std::to_string(V_R8(&v));
    case VT_CY: return "CY:" + std::to_string(V_CY(&v).int64);
    case VT_BOOL: return std::string("BOOL:") + (V_BOOL(&v) ? "-1" : "0");
    case VT_BSTR: return "BSTR:\"" + BstrText(V_BSTR(&v)) + "\"";
    case VT_DISPATCH: {
      std::lock_guard<std::mutex> lock(g_mutex);
      const auto found = g_connections.find(V_DISPATCH(&v));
      return "DISPATCH:" + (found != g_connections.end() ? found->second->Name() : std::string("?"));
    }
    default: return "VT" + std::to_string(V_VT(&v));
  }
}

// The current row of a recordset, as Fields and Field objects see it.
struct Cursor {
  std::vector<std::vector<std::string>> rows;
  std::size_t position = 0;
  bool open = false;
  bool at_end() const { return !open || position >= rows.size(); }
};

class Field final : public DispatchBase {
 public:
  Field(std::string owner, std::string value) : DispatchBase({L"Value"}), owner_(std::move(owner)), value_(std::move(value)) {}

 protected:
  HRESULT Call(const std::wstring&, WORD, const std::vector<VARIANT*>&, VARIANT* result, EXCEPINFO*) override {
    ParseValue(value_, result);
    Log(owner_ + ".Value -> " + Describe(*result));
    return S_OK;
  }

 private:
  std::string owner_;
  std::string value_;
};

class Fields final : public DispatchBase {
 public:
  Fields(std::string owner, const Cursor& cursor) : DispatchBase({L"Item", L"Count"}), owner_(std::move(owner)), cursor_(cursor) {}

 protected:
  HRESULT Call(const std::wstring& name, WORD, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* info) override {
    if (name != L"Item" || args.size() != 1) return DISP_E_BADPARAMCOUNT;
    const std::string field = owner_ + ".Fields.Item(" + Describe(*args[0]) + ")";
    VARIANT index;
    VariantInit(&index);
    if (FAILED(VariantChangeType(&index, args[0], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
    if (cursor_.at_end()) {
      Log(field + " -> no current row");
      return Raise(info, static_cast<long>(0x800A0BCD),
                   "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                   "requires a current record.");
    }
    const std::vector<std::string>& row = cursor_.rows[cursor_.position];
    if (V_I4(&index) < 0 || static_cast<std::size_t>(V_I4(&index)) >= row.size()) {
      Log(field + " -> no such item");
      return Raise(info, static_cast<long>(0x800A0CC1),
                   "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    }
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = new Field(field, row[static_cast<std::size_t>(V_I4(&index))]);
    return S_OK;
  }

 private:
  std::string owner_;
  Cursor cursor_;  // a snapshot of the current row: fields are read at once
};

class Recordset final : public DispatchBase {
 public:
  Recordset() : DispatchBase({L"Open", L"EOF", L"Fields", L"MoveNext", L"Close"}, "Recordset", &g_recordset_count) {}

 protected:
  HRESULT Call(const std::wstring& name, WORD, const std::vector<VARIANT*>& args, VARIANT* result,
               EXCEPINFO* info) override {
    if (name == L"Open") {
      Log(Name() + ".Open(" + ArgList(args) + ")");
      if (args.size() != 5 || V_VT(args[0]) != VT_BSTR) return DISP_E_BADPARAMCOUNT;
      Connection* connection = nullptr;
      if (V_VT(args[1]) == VT_DISPATCH) {
        std::lock_guard<std::mutex> lock(g_mutex);
        const auto found = g_connections.find(V_DISPATCH(args[1]));
        if (found != g_connections.end()) connection = found->second;
      }
      if (connection == nullptr || !connection->is_open()) {
        return Raise(info, static_cast<long>(0x800A0E7D),
                     "The connection cannot be used to perform this operation. It is either closed or invalid in "
                     "this context.");
      }
      const Script script = ReadScript();
      const auto answer = script.answers.find(BstrText(V_BSTR(args[0])));
      if (answer == script.answers.end()) {
        return Raise(info, -2147217865, "The test double has no answer for this statement.");
      }
      if (const auto& failure = answer->second.failure) return Raise(info, failure->number, failure->description);
      cursor_ = Cursor{answer->second.rows, 0, true};
      return S_OK;
    }
    if (name == L"EOF") {
      const bool eof = cursor_.at_end();
      Log(Name() + ".EOF -> " + (eof ? "True" : "False"));
      V_VT(result) = VT_BOOL;
      V_BOOL(result) = eof ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    if (name == L"Fields") {
      V_VT(result) = VT_DISPATCH;
      V_DISPATCH(result) = new Fields(Name(), cursor_);
      return S_OK;
    }
    if (name == L"MoveNext") {
      Log(Name() + ".MoveNext");
      if (cursor_.at_end()) {
        return Raise(info, static_cast<long>(0x800A0BCD), "Either BOF or EOF is True.");
      }
      ++cursor_.position;
      return S_OK;
    }
    if (name == L"Close") {
      Log(Name() + ".Close");
      if (!cursor_.open) return Raise(info, static_cast<long>(0x800A0E78), "Operation is not allowed when the object is closed.");
      cursor_ = Cursor();
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  Cursor cursor_;
};

// ---------------------------------------------------------------------------
// Class factory and registration

class Factory final : public IClassFactory {
 public:
  explicit Factory(bool connection) : connection_(connection) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static objects
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    DispatchBase* object = connection_ ? static_cast<DispatchBase*>(new Connection) : new Recordset;
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

std::wstring GetValue(const std::wstring& key, const wchar_t* name) {
  wchar_t buffer[256];
  DWORD size = sizeof buffer;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) {
    return {};
  }
  return buffer;
}

std::wstring GuidText(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return text;
}

// Registration goes to HKEY_CLASSES_ROOT: Wine 8 resolves ProgIDs and
// class identifiers there only (it does not read the current user's
// Software\Classes), and in a test prefix that is writable.
bool SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

struct Registration {
  const wchar_t* prog_id;
  const CLSID* clsid;
};
constexpr Registration kRegistrations[] = {{L"ADODB.Connection", &kConnectionClsid},
                                           {L"ADODB.Recordset", &kRecordsetClsid}};

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

// The log and the object numbering live in this module: it stays loaded.
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

// Registers the two classes: the ProgIDs with their class identifiers (the
// class a ProgID named before is kept beside it, to be restored), the class
// identifiers with this file as their in-process server (apartment model).
HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  for (const Registration& r : kRegistrations) {
    const std::wstring clsid = GuidText(*r.clsid);
    const std::wstring prog = r.prog_id;
    const std::wstring cls = L"CLSID\\" + clsid;
    const std::wstring before = GetValue(prog + L"\\CLSID", nullptr);
    if (!before.empty() && before != clsid && !SetValue(prog, L"SavedCLSID", before)) return E_FAIL;
    if (!SetValue(prog, nullptr, r.prog_id) || !SetValue(prog + L"\\CLSID", nullptr, clsid) ||
        !SetValue(cls, nullptr, r.prog_id) || !SetValue(cls + L"\\ProgID", nullptr, r.prog_id) ||
        !SetValue(cls + L"\\InprocServer32", nullptr, path) ||
        !SetValue(cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment")) {
      return E_FAIL;
    }
  }
  return S_OK;
}

// Removes the classes and gives the ProgIDs back their former classes.
HRESULT WINAPI DllUnregisterServer() {
  for (const Registration& r : kRegistrations) {
    const std::wstring prog = r.prog_id;
    const std::wstring before = GetValue(prog, L"SavedCLSID");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*r.clsid)).c_str());
    if (before.empty()) {
      RegDeleteTreeW(HKEY_CLASSES_ROOT, prog.c_str());
    } else {
      SetValue(prog + L"\\CLSID", nullptr, before);
      RegDeleteKeyValueW(HKEY_CLASSES_ROOT, prog.c_str(), L"SavedCLSID");
    }
  }
  return S_OK;
}

}  // extern "C"
