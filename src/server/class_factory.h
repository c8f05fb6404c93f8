// The class factory of KX, handed out by DllGetClassObject.
#ifndef QORVEL_SERVER_CLASS_FACTORY_H_
#define QORVEL_SERVER_CLASS_FACTORY_H_

#include "server/com.h"

namespace qorvel::server {

// A new factory, queried for `iid`. Precondition: `out` is not null.
HRESULT CreateClassFactory(REFIID iid, void** out) noexcept;

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_CLASS_FACTORY_H_
