// Releasing a thread's own objects when the thread ends, where the platform
// allows it.
#ifndef QORVEL_PLATFORM_THREAD_EXIT_H_
#define QORVEL_PLATFORM_THREAD_EXIT_H_

namespace qorvel::platform {

// Has `release` run on the calling thread when that thread ends; a later
// call replaces the earlier one (one function per thread).
//
// On POSIX systems it runs as the thread ends. On Windows nothing runs then:
// a thread's COM objects may only be released inside their apartment, which
// is gone by then, and a mingw DLL's thread-local destructors can run after
// their storage is freed. There the server releases a thread's state when
// the thread's apartment closes, and the state of any other thread is left
// to the process.
void AtThreadExit(void (*release)()) noexcept;

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_THREAD_EXIT_H_
