// The COM object of class KX: the dual interface _KX over one qorvel::KX.
//
// The early-bound methods convert their arguments (BSTR, long, short,
// VARIANT_BOOL, DATE) to the library's types, call the KX object and convert
// its result back; by-reference arguments are read, never written. Late
// binding goes through the type library embedded in the DLL, so names,
// dispatch identifiers and parameter types have one source, qorvel.idl.
#ifndef QORVEL_SERVER_KX_OBJECT_H_
#define QORVEL_SERVER_KX_OBJECT_H_

#include "server/com.h"

namespace qorvel::server {

// A new KX object queried for `iid`, and the calling thread's clean-up
// registered. Precondition: `out` is not null.
HRESULT CreateKxObject(REFIID iid, void** out) noexcept;

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_KX_OBJECT_H_
