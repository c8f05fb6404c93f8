// The server's module-wide state: its own module handle and path, and the
// counts that decide whether the DLL may be unloaded (live objects, class
// factory locks, threads with a registered clean-up spy).
#ifndef QORVEL_SERVER_MODULE_H_
#define QORVEL_SERVER_MODULE_H_

#include "server/com.h"

namespace qorvel::server {

// The DLL's module handle, recorded at process attach.
HMODULE Module();

// The DLL's full path, or the empty text if it cannot be found.
Text ModulePath();

// Counts. An object counts from its construction to its destruction; a lock
// from IClassFactory::LockServer(TRUE) to LockServer(FALSE); a spy while it
// is registered on its thread.
void AddObject();
void ReleaseObject();
void AddLock();
void ReleaseLock();
void AddSpy();
void ReleaseSpy();

// True when nothing above is outstanding, so the code may go.
bool CanUnload();

// The type library embedded in the DLL (resource 1), loaded without
// registering it. Returns the status of LoadTypeLibEx.
HRESULT LoadOwnTypeLib(ComPtr<ITypeLib>& library);

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_MODULE_H_
