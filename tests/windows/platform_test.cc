// The Windows adapter's own pieces under Wine: database values from every
// VARIANT type, errors from HRESULTs and error objects, the rule that COM
// objects are never released outside an apartment, and the title of
// Env::Default()'s message box (read from standard error, where a test
// build writes boxes), after the host's handler.
#include <windows.h>

#include <functional>
#include <optional>
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

template <class Set>
VARIANT Of(VARTYPE type, Set set) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  set(v);
  return v;
}

// What `raise` raised: its number and description.
std::string ErrorOf(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const AutomationError& e) {
    return std::to_string(e.number()) + " " + ToUtf8(e.description());
  }
  return "nothing raised";
}

void DatabaseValues() {
  Group("database values from VARIANTs");
  DECIMAL decimal{};
  decimal.scale = 2;
  decimal.sign = DECIMAL_NEG;
  decimal.Lo64 = 12345;
  const std::pair<VARIANT, Variant> cases[] = {
      {Of(VT_NULL, [](VARIANT&) {}), Variant::Null()},
      {Of(VT_I2, [](VARIANT& v) { V_I2(&v) = -7; }), Variant::FromInteger(-7)},
      {Of(VT_I4, [](VARIANT& v) { V_I4(&v) = 123456; }), Variant::FromLong(123456)},
      {Of(VT_R4, [](VARIANT& v) { V_R4(&v) = 0.5f; }), Variant::FromSingle(0.5f)},
      {Of(VT_R8, [](VARIANT& v) { V_R8(&v) = 12.345; }), Variant::FromDouble(12.345)},
      {Of(VT_CY, [](VARIANT& v) { V_CY(&v).int64 = -1234567; }), Variant::FromCurrency(Currency::FromRaw(-1234567))},
      {Of(VT_DATE, [](VARIANT& v) { V_DATE(&v) = 40268.5; }), Variant::FromDate(DateTime(40268.5))},
      {Of(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; }), Variant::FromBoolean(true)},
      {Of(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 200; }), Variant::FromByte(200)},
      {Of(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = SysAllocString(L"S\u00E9n"); }), Variant::FromText(u"S\u00E9n")},
      {Of(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; }), Variant::FromText(u"")},
      {Of(VT_DECIMAL, [&](VARIANT& v) { V_DECIMAL(&v) = decimal; V_VT(&v) = VT_DECIMAL; }), Variant::FromDecimal({2, true, 0, 12345})},
      // Other types as their text.
      {Of(VT_I8, [](VARIANT& v) { V_I8(&v) = 9007199254740993LL; }), Variant::FromText(u"9007199254740993")},
      {Of(VT_EMPTY, [](VARIANT&) {}), Variant::FromText(u"")},
  };
  for (const auto& [given, expected] : cases) {
    CheckEq(ToVariant(given) == expected, true, "VARIANT type " + std::to_string(V_VT(&given)));
    VariantClear(const_cast<VARIANT*>(&given));
  }
  VARIANT unknown = Of(VT_UNKNOWN, [](VARIANT& v) { V_UNKNOWN(&v) = nullptr; });
  CheckEq(ErrorOf([&] { ToVariant(unknown); }), std::string("13 Type mismatch"), "an unknown is a type mismatch");
}

void Errors() {
  Group("errors from HRESULTs");
  CheckEq(ErrorOf([] { RaiseForHresult(DISP_E_TYPEMISMATCH); }), std::string("13 Type mismatch"), "type mismatch");
  CheckEq(ErrorOf([] { RaiseForHresult(DISP_E_OVERFLOW); }), std::string("6 Overflow"), "overflow");
  // The thread's error object gives the description.
  ICreateErrorInfo* create = nullptr;
  IErrorInfo* info = nullptr;
  CreateErrorInfo(&create);
  create->SetDescription(const_cast<LPOLESTR>(L"The provider's own words."));
  create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
  SetErrorInfo(0, info);
  info->Release();
  create->Release();
  CheckEq(ErrorOf([] { RaiseForHresult(E_FAIL); }), std::string("-2147467259 The provider's own words."),
          "the error object's description, the HRESULT as the number");
  const std::string system = ErrorOf([] { RaiseForHresult(REGDB_E_CLASSNOTREG); });
  Check(system.rfind("-2147221164 ", 0) == 0 && system.size() > 12, "without an error object, the system's text", system);
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
    std::thread([&] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      auto held = platform::windows::ComPtr<IUnknown>::Adopt(&object);
      if (!c.apartment) CoUninitialize();
      held.Reset();
      if (c.apartment) CoUninitialize();
    }).join();
    mta_done.Set();
    if (mta.joinable()) mta.join();
    CheckEq(object.releases, c.releases, c.what);
  }
}

void MessageBoxes() {
  Group("message box of the Windows environment");
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = temp + (L"qorvel-boxes-" + std::to_wstring(GetCurrentProcessId()) + L".txt");
  // (The application's title, where none is given, is in every box the
  // other Wine tests read.)
  StderrToFile empty(path);
  Env::Default()->ShowMessageBox(u"Line one\r\nLine two", 64, Text());
  CheckEq(empty.Text(), std::string("[] (message box, buttons 64)\nLine one\nLine two\n"), "an empty title as it is");
  StderrToFile capture(path);
  int handled = 0;
  SetMessageBoxHandler([&](const Text&, Long, const std::optional<Text>&) { ++handled; });
  Env::Default()->ShowMessageBox(u"handled", 0, std::nullopt);
  SetMessageBoxHandler(nullptr);
  CheckEq(handled, 1, "the host's handler gets the box");
  CheckEq(capture.Text(), std::string(), "and it is not also written");
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
