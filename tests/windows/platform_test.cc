// The Windows adapter's own pieces under Wine: database values from every
// VARIANT type, errors from HRESULTs and error objects, the rule that COM
// objects are never released outside an apartment, and the message box of
// Env::Default() with its title rules (read from standard error, where a
// test build writes boxes), after the host's capture and handler.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "check.h"
#include "platform/windows/com.h"
#include "qorvel/automation_error.h"
#include "qorvel/env.h"
#include "qorvel/host.h"

namespace qorvel {
namespace {

using namespace qorvel::wintest;
using platform::windows::RaiseForHresult;
using platform::windows::ToVariant;

// The value's type and text, or the error number.
std::string Describe(const std::function<Variant()>& read) {
  try {
    const Variant v = read();
    std::string text;
    switch (v.type()) {
      case VarType::kNull: text = "Null"; break;
      case VarType::kInteger: text = std::to_string(v.AsInteger()); break;
      case VarType::kLong: text = std::to_string(v.AsLong()); break;
      case VarType::kSingle: text = std::to_string(v.AsSingle()); break;
      case VarType::kDouble: text = std::to_string(v.AsDouble()); break;
      case VarType::kCurrency: text = v.AsCurrency().ToFixedString(); break;
      case VarType::kDate: text = std::to_string(v.AsDate().value()); break;
      case VarType::kText:
        text = '"';
        text += ToUtf8(v.AsText());
        text += '"';
        break;
      case VarType::kBoolean: text = v.AsBoolean() ? "True" : "False"; break;
      case VarType::kDecimal: text = v.AsDecimal().ToString(); break;
      case VarType::kByte: text = std::to_string(v.AsByte()); break;
      default: text = "?"; break;
    }
    std::string described = VarTypeName(v.type());
    described += ' ';
    described += text;
    return described;
  } catch (const AutomationError& e) {
    return "error " + std::to_string(e.number());
  }
}

void DatabaseValues() {
  Group("database values from VARIANTs");
  struct Case {
    const char* what;
    std::function<void(VARIANT*)> fill;
    std::string expected;
  };
  const Case cases[] = {
      {"Null", [](VARIANT* v) { V_VT(v) = VT_NULL; }, "Null Null"},
      {"I2", [](VARIANT* v) { V_VT(v) = VT_I2; V_I2(v) = -7; }, std::string(VarTypeName(VarType::kInteger)) + " -7"},
      {"I4", [](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = 123456; }, std::string(VarTypeName(VarType::kLong)) + " 123456"},
      {"CY", [](VARIANT* v) { V_VT(v) = VT_CY; V_CY(v).int64 = -1234567; }, std::string(VarTypeName(VarType::kCurrency)) + " -123.4567"},
      {"BOOL true", [](VARIANT* v) { V_VT(v) = VT_BOOL; V_BOOL(v) = VARIANT_TRUE; }, std::string(VarTypeName(VarType::kBoolean)) + " True"},
      {"UI1", [](VARIANT* v) { V_VT(v) = VT_UI1; V_UI1(v) = 200; }, std::string(VarTypeName(VarType::kByte)) + " 200"},
      {"BSTR", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = SysAllocString(L"S\u00E9n"); }, std::string(VarTypeName(VarType::kText)) + " \"S\u00E9n\""},
      {"null BSTR", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = nullptr; }, std::string(VarTypeName(VarType::kText)) + " \"\""},
      {"DECIMAL",
       [](VARIANT* v) {
         DECIMAL d{};
         d.scale = 2;
         d.sign = DECIMAL_NEG;
         d.Lo64 = 12345;
         V_DECIMAL(v) = d;
         V_VT(v) = VT_DECIMAL;
       },
       std::string(VarTypeName(VarType::kDecimal)) + " -123.45"},
      {"I8 becomes text", [](VARIANT* v) { V_VT(v) = VT_I8; V_I8(v) = 9007199254740993LL; }, std::string(VarTypeName(VarType::kText)) + " \"9007199254740993\""},
      {"Empty becomes text", [](VARIANT* v) { V_VT(v) = VT_EMPTY; }, std::string(VarTypeName(VarType::kText)) + " \"\""},
      {"unknown type is a type mismatch", [](VARIANT* v) { V_VT(v) = VT_UNKNOWN; V_UNKNOWN(v) = nullptr; }, "error 13"},
  };
  for (const Case& c : cases) {
    VARIANT v;
    VariantInit(&v);
    c.fill(&v);
    CheckEq(Describe([&] { return ToVariant(v); }), c.expected, c.what);
    if (V_VT(&v) != VT_UNKNOWN) VariantClear(&v);
  }
}

std::string ErrorOf(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const AutomationError& e) {
    return std::to_string(e.number()) + " " + ToUtf8(e.description());
  }
  return "nothing raised";
}

void Errors() {
  Group("errors from HRESULTs");
  CheckEq(ErrorOf([] { RaiseForHresult(DISP_E_TYPEMISMATCH); }), std::string("13 Type mismatch"), "type mismatch");
  CheckEq(ErrorOf([] { RaiseForHresult(DISP_E_OVERFLOW); }), std::string("6 Overflow"), "overflow");
  {
    // The thread's error object gives the description.
    ICreateErrorInfo* create = nullptr;
    CreateErrorInfo(&create);
    create->SetDescription(const_cast<LPOLESTR>(L"The provider's own words."));
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    create->Release();
    CheckEq(ErrorOf([] { RaiseForHresult(E_FAIL); }), std::string("-2147467259 The provider's own words."),
            "the error object's description, the HRESULT as the number");
  }
  const std::string system = ErrorOf([] { RaiseForHresult(REGDB_E_CLASSNOTREG); });
  Check(system.rfind("-2147221164 ", 0) == 0 && system.size() > 12, "without an error object, the system's text",
        system);
}

// An object that counts its Release calls.
class Counted final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(++releases); }
  int releases = 0;
};

void ReleaseOnlyInAnApartment() {
  Group("COM objects are released only inside an apartment");
  struct Case {
    const char* what;
    bool apartment;
    bool other_thread_in_mta;  // the process keeps a multithreaded apartment
    int releases;
  };
  const Case cases[] = {{"in an apartment", true, false, 1},
                        {"after CoUninitialize", false, false, 0},
                        {"after CoUninitialize, another thread in the MTA", false, true, 0}};
  for (const Case& c : cases) {
    Event mta_ready, mta_done;
    std::thread mta;
    if (c.other_thread_in_mta) {
      mta = std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        mta_ready.Set();
        mta_done.Wait();
        CoUninitialize();
      });
      mta_ready.Wait();
    }
    Counted object;
    std::thread worker([&] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      auto held = platform::windows::ComPtr<IUnknown>::Adopt(&object);
      if (!c.apartment) {
        CoUninitialize();
        held.Reset();
      } else {
        held.Reset();
        CoUninitialize();
      }
    });
    worker.join();
    mta_done.Set();
    if (mta.joinable()) mta.join();
    CheckEq(object.releases, c.releases, c.what);
  }
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L".txt";
}

void MessageBoxes() {
  Group("message box of the Windows environment");
  struct Case {
    const char* what;
    Text prompt;
    Long buttons;
    std::optional<Text> title;
    std::string written;
  };
  const Case cases[] = {
      {"no title: the application title", u"Line one\r\nLine two", 64, std::nullopt,
       "[QORVEL] (message box, buttons 64)\nLine one\nLine two\n"},
      {"an empty title is shown as it is", u"Error Determining Date Format", 64, Text(),
       "[] (message box, buttons 64)\nError Determining Date Format\n"},
      {"a given title", u"x", 0, Text(u"Caption"), "[Caption] (message box, buttons 0)\nx\n"},
      {"an empty prompt", u"", 0, std::nullopt, "[QORVEL] (message box, buttons 0)\n\n"},
  };
  const std::wstring path = TempFile(L"qorvel-boxes-");
  for (const Case& c : cases) {
    StderrToFile capture(path);
    Env::Default()->ShowMessageBox(c.prompt, c.buttons, c.title);
    CheckEq(capture.Text(), c.written, c.what);
  }

  // The host's capture takes the box first, then the host's handler.
  StderrToFile capture(path);
  {
    MessageBoxCapture boxes;
    Env::Default()->ShowMessageBox(u"captured", 0, std::nullopt);
    CheckEq(boxes.boxes().size(), std::size_t{1}, "the thread's capture collects the box");
  }
  int handled = 0;
  SetMessageBoxHandler([&](const Text&, Long, const std::optional<Text>&) { ++handled; });
  Env::Default()->ShowMessageBox(u"handled", 0, std::nullopt);
  SetMessageBoxHandler(nullptr);
  CheckEq(handled, 1, "the host's handler gets the box");
  CheckEq(capture.Text(), std::string(), "neither is also written");
  DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace qorvel

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  qorvel::DatabaseValues();
  qorvel::Errors();
  qorvel::ReleaseOnlyInAnApartment();
  qorvel::MessageBoxes();
  CoUninitialize();
  return qorvel::wintest::Finish();
}
