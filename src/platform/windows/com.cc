// COM handles, error translation and VARIANT reading for the Windows
// adapters.
#include "platform/windows/com.h"

#include <cstdio>
#include <cwchar>

#include "qorvel/automation_error.h"

namespace qorvel::platform::windows {
namespace {

// ntdll's RtlDllShutdownInProgress, looked up at run time because the
// import libraries do not declare it: true while the process is exiting.
using ShutdownQuery = BOOLEAN(WINAPI*)();

bool ProcessIsExiting() {
  static const ShutdownQuery query = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC proc = ntdll != nullptr ? GetProcAddress(ntdll, "RtlDllShutdownInProgress") : nullptr;
    // A FARPROC is converted to the function's real type through void*,
    // as GetProcAddress requires.
    return reinterpret_cast<ShutdownQuery>(reinterpret_cast<void*>(proc));
  }();
  return query != nullptr && query() != 0;
}

// The system's message text for an HRESULT, without its final line break.
Text SystemMessage(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Text text;
  if (length != 0 && buffer != nullptr) text = FromWide(buffer, length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
  return text;
}

// The description of the thread's error object, when there is one.
bool ErrorObjectDescription(Text* description) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Receive()) != S_OK || !info) return false;
  Bstr text;
  if (FAILED(info->GetDescription(text.Receive()))) return false;
  *description = text.ToText();
  return true;
}

}  // namespace

Text FromWide(const wchar_t* text) { return text == nullptr ? Text() : FromWide(text, std::wcslen(text)); }

bool CanReleaseComObjects() {
  if (ProcessIsExiting()) return false;
  // A thread that left its apartment still reads as in the implicit
  // multithreaded apartment while another thread of the process keeps one
  // open; it has no apartment of its own any more.
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA;
}

void ReleaseComObject(IUnknown* unknown) {
  if (unknown != nullptr && CanReleaseComObjects()) unknown->Release();
}

Bstr::Bstr(const Text& text) {
  b_ = SysAllocStringLen(Wide(text), static_cast<UINT>(text.size()));
  if (b_ == nullptr) RaiseOutOfMemory();
}

void RaiseForHresult(HRESULT hr, IUnknown* source) {
  if (hr == DISP_E_TYPEMISMATCH) RaiseTypeMismatch();
  if (hr == DISP_E_OVERFLOW) RaiseOverflow();
  if (hr == E_OUTOFMEMORY) RaiseOutOfMemory();
  Text description;
  bool found = false;
  if (source != nullptr) {
    // Only an object that says it reports errors through an error object
    // left one for this call; anything else on the thread is stale.
    ComPtr<ISupportErrorInfo> support;
    if (SUCCEEDED(source->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.Receive())))) {
      found = ErrorObjectDescription(&description);
    }
  } else {
    found = ErrorObjectDescription(&description);
  }
  if (!found) description = SystemMessage(hr);
  if (description.empty()) {
    // A code the system has no text for still gets a description a
    // report designer can look up.
    wchar_t code[32];
    std::swprintf(code, 32, L"Automation error 0x%08lX", static_cast<unsigned long>(hr));
    description = FromWide(code);
  }
  throw AutomationError(static_cast<Long>(hr), std::move(description));
}

Variant ToVariant(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_NULL: return Variant::Null();
    case VT_I2: return Variant::FromInteger(V_I2(&value));
    case VT_I4: return Variant::FromLong(static_cast<Long>(V_I4(&value)));
    case VT_R4: return Variant::FromSingle(V_R4(&value));
    case VT_R8: return Variant::FromDouble(V_R8(&value));
    case VT_CY: return Variant::FromCurrency(Currency::FromRaw(V_CY(&value).int64));
    case VT_DATE: return Variant::FromDate(DateTime(V_DATE(&value)));
    case VT_BSTR: return Variant::FromText(FromBstr(V_BSTR(&value)));
    case VT_BOOL: return Variant::FromBoolean(V_BOOL(&value) != VARIANT_FALSE);
    case VT_DECIMAL: {
      const DECIMAL& d = V_DECIMAL(&value);
      Decimal decimal;
      decimal.scale = d.scale;
      decimal.negative = (d.sign & DECIMAL_NEG) != 0;
      decimal.hi = d.Hi32;
      decimal.lo = d.Lo64;
      return Variant::FromDecimal(decimal);
    }
    case VT_UI1: return Variant::FromByte(V_UI1(&value));
    default: break;
  }
  VariantValue text;
  // VariantChangeType only reads its source, though it is declared writable.
  const HRESULT hr = VariantChangeType(text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
  if (FAILED(hr) || text.type() != VT_BSTR) RaiseTypeMismatch();
  return Variant::FromText(FromBstr(V_BSTR(text.get())));
}

}  // namespace qorvel::platform::windows
