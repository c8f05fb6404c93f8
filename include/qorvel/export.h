// QORVEL_API marks what the shared library exports: the public classes and
// functions of these headers. Everything else in libqorvel.so is compiled
// with hidden visibility and stays internal, so a program that links the
// library can depend only on what these headers declare.
//
// On Windows the macro is empty: QORVEL.dll exports only its COM entry
// points, named in its module-definition file, and hosts reach KX through
// COM, never through C++ symbols.
#ifndef QORVEL_EXPORT_H_
#define QORVEL_EXPORT_H_

#if defined(_WIN32)
#define QORVEL_API
#elif defined(__GNUC__)
#define QORVEL_API __attribute__((visibility("default")))
#else
#define QORVEL_API
#endif

#endif  // QORVEL_EXPORT_H_
