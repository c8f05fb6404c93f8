// The Windows and COM declarations the server uses, the generated
// declaration of _KX with the component's GUIDs, the platform's RAII owners
// for COM pointers, BSTRs and VARIANTs, and an owner for registry keys.
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

#include "qorvel_idl.h"
#include "qorvel/types.h"
#include "platform/windows/com.h"

namespace qorvel::server {

using platform::windows::Bstr;
using platform::windows::ComPtr;
using platform::windows::FromBstr;
using platform::windows::VariantValue;
using platform::windows::Wide;

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

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_COM_H_
