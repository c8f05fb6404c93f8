// The Windows and COM declarations the server uses, the generated
// declaration of _KX with the component's GUIDs, and RAII owners for COM
// pointers, BSTRs, VARIANTs and registry keys.
//
// windows.h defines GetDateFormat as a macro for its own function; it is
// undefined here, before the generated header declares the method
// _KX::GetDateFormat, so that the method keeps its name everywhere. Include
// this header instead of windows.h and the generated one.
#ifndef QORVEL_SERVER_COM_H_
#define QORVEL_SERVER_COM_H_

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#undef GetDateFormat

#include <utility>

#include "qorvel_idl.h"
#include "qorvel/types.h"

namespace qorvel::server {

// An owned reference to a COM object.
template <class T>
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

  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // For functions that hand out a reference; releases the current one.
  T** Out() {
    Reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// An owned BSTR (null is the empty text).
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(TextView text)
      : b_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  BSTR* Out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }

 private:
  BSTR b_ = nullptr;
};

// An owned VARIANT, cleared when it goes.
class OwnedVariant {
 public:
  OwnedVariant() { VariantInit(&v_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  ~OwnedVariant() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }

 private:
  VARIANT v_;
};

// An owned registry key.
class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  HKEY* Out() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
    return &key_;
  }

 private:
  HKEY key_ = nullptr;
};

// Text from a BSTR (null is the empty text).
inline Text FromBstr(BSTR b) {
  return b ? Text(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : Text();
}

// The wide-character view of a Text (wchar_t is 16 bits on Windows).
inline const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_COM_H_
