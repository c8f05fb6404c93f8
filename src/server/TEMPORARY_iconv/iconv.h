// TEMPORARY (delete with TEMPORARY_library.cmake): mingw has no iconv; the
// table locale uses it only for the Japanese code page, which this
// stand-in reports as unavailable.
#ifndef QORVEL_TEMPORARY_ICONV_H_
#define QORVEL_TEMPORARY_ICONV_H_
#include <cstddef>
#include <cstdint>
using iconv_t = void*;
inline iconv_t iconv_open(const char*, const char*) { return reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)); }
inline std::size_t iconv(iconv_t, char**, std::size_t*, char**, std::size_t*) { return static_cast<std::size_t>(-1); }
inline int iconv_close(iconv_t) { return 0; }
#endif
