// Per-thread clean-up of the module data (the thread's database connection)
// while the thread's apartment is still alive.
//
// The connection is an apartment-bound COM object held in a thread_local;
// left to the thread_local's destructor it would be released after
// CoUninitialize, or after the DLL's code is gone. So the server, on the
// first object a thread creates, registers an IInitializeSpy on that
// thread; when the thread's last CoUninitialize begins, the spy drops the
// thread's module data and revokes itself. While a spy is registered the
// DLL reports that it cannot be unloaded.
#ifndef QORVEL_SERVER_THREAD_CLEANUP_H_
#define QORVEL_SERVER_THREAD_CLEANUP_H_

namespace qorvel::server {

// Registers the calling thread's spy unless it has one, or the thread has
// no apartment of its own (no apartment, or only the process's implicit
// MTA: then it never uninitialises one). Never throws.
void WatchThisThread() noexcept;

}  // namespace qorvel::server

#endif  // QORVEL_SERVER_THREAD_CLEANUP_H_
