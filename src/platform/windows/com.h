// Owning handles for the COM and automation resources the Windows adapters
// use (interface pointers, BSTRs, VARIANTs), the conversions between our
// UTF-16 Text and the system's wide strings, and the translation of a
// failed HRESULT into an AutomationError.
//
// Interface pointers are released only while the calling thread still has
// an apartment and the process is not shutting down: a thread's connection
// can outlive the thread's CoUninitialize (it belongs to the thread's module
// data), and releasing it then would call into an apartment that is gone.
// Such pointers are leaked instead.
#ifndef QORVEL_PLATFORM_WINDOWS_COM_H_
#define QORVEL_PLATFORM_WINDOWS_COM_H_

// windows.h first: the other system headers build on its types.
#include <windows.h>

#include <oleauto.h>

#include <utility>

#include "qorvel/types.h"
#include "qorvel/variant.h"

namespace qorvel::platform::windows {

// Text and the system's wide strings are both UTF-16 code units; on this
// platform wchar_t is 16 bits, so the casts below only change the element
// type's name.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
// For the system functions declared to take a writable string that they
// only read.
inline wchar_t* Wide(Text& text) { return reinterpret_cast<wchar_t*>(text.data()); }
inline Text FromWide(const wchar_t* text, std::size_t length) {
  return Text(reinterpret_cast<const char16_t*>(text), length);
}
Text FromWide(const wchar_t* text);  // NUL-terminated; null gives ""
// The text of a BSTR (its length is its own; null is the empty text).
inline Text FromBstr(BSTR b) { return b == nullptr ? Text() : FromWide(b, SysStringLen(b)); }

// Whether COM objects may be released on the calling thread now: it is in
// an apartment and the process is not exiting.
bool CanReleaseComObjects();

// Releases `unknown` when CanReleaseComObjects(), else leaks it.
void ReleaseComObject(IUnknown* unknown);

// An owned reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over a reference the caller owns.
  static ComPtr Adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters. Precondition: the pointer is empty.
  T** Receive() { return &p_; }
  void Reset() {
    if (p_ != nullptr) ReleaseComObject(std::exchange(p_, nullptr));
  }

 private:
  T* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const Text& text);  // raises 7 when out of memory
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  // For out-parameters. Precondition: the string is empty.
  BSTR* Receive() { return &b_; }
  // The text; a null BSTR is the empty text.
  Text ToText() const { return FromBstr(b_); }
  // Gives up ownership.
  BSTR Release() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

// An owned VARIANT, cleared on destruction.
class VariantValue {
 public:
  VariantValue() { VariantInit(&v_); }
  VariantValue(const VariantValue&) = delete;
  VariantValue& operator=(const VariantValue&) = delete;
  ~VariantValue() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }
  VARTYPE type() const { return V_VT(&v_); }

 private:
  VARIANT v_;
};

// Raises the AutomationError for a failed HRESULT: the number is the
// HRESULT read as a Long; the description is the thread's error object's
// (IErrorInfo), when `source` says it supports error objects or `source`
// is null, else the system's message text for the number, else
// "Automation error 0x…" with the number in hexadecimal. The standard
// conversion failures keep the automation numbers: DISP_E_TYPEMISMATCH
// raises 13 and DISP_E_OVERFLOW raises 6.
[[noreturn]] void RaiseForHresult(HRESULT hr, IUnknown* source = nullptr);

// A database value from a VARIANT: Null, the integer, real, money, date,
// text, Boolean, decimal and byte types as they are; any other type
// (Empty included) converted to text with VariantChangeType, or 13 when it
// has none.
Variant ToVariant(const VARIANT& value);

}  // namespace qorvel::platform::windows

#endif  // QORVEL_PLATFORM_WINDOWS_COM_H_
