// Self-registration: the class KX, its ProgIDs and the type library, for
// the whole machine (HKEY_LOCAL_MACHINE\Software\Classes, what
// DllRegisterServer writes) or for the current user only
// (HKEY_CURRENT_USER\Software\Classes, through DllInstall).
//
// Keys written under the classes root:
//   CLSID\{class}                          "KX"
//     InprocServer32                       the DLL's path; ThreadingModel "Apartment"
//     ProgID                               "QORVEL.KX.1"
//     VersionIndependentProgID             "QORVEL.KX"
//     TypeLib                              "{library}"
//     Version                              "1.0"
//     Programmable
//   QORVEL.KX                              "KX"; CLSID {class}; CurVer "QORVEL.KX.1"
//   QORVEL.KX.1                            "KX"; CLSID {class}
// and the type library through RegisterTypeLib(ForUser). Unregistering
// removes exactly these keys and the type library's registration.
#ifndef QORVEL_SERVER_REGISTRATION_H_
#define QORVEL_SERVER_REGISTRATION_H_

#include "server/com.h"

namespace qorvel::server {

enum class Scope { kMachine, kUser };

inline constexpr char16_t kProgId[] = u"QORVEL.KX";
inline constexpr char16_t kVersionedProgId[] = u"QORVEL.KX.1";

// Writes the registration; on failure removes what it wrote and returns
// SELFREG_E_CLASS or SELFREG_E_TYPELIB.
HRESULT Register(Scope scope) noexcept;

// Removes the registration; S_OK also when nothing was registered.
HRESULT Unregister(Scope scope) noexcept;

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_REGISTRATION_H_
