// The ANSI code pages of the POSIX adapter's locales: the code of a
// character in Windows-1252, or in code page 932 (Shift-JIS with the
// Windows extensions) for Japanese, as Locale::AnsiCode gives it.
#ifndef QORVEL_PLATFORM_POSIX_ANSI_CODE_PAGES_H_
#define QORVEL_PLATFORM_POSIX_ANSI_CODE_PAGES_H_

namespace qorvel::platform {

// The code of `ch` in Windows-1252: the byte, or '?' when it has none.
int Cp1252Code(char16_t ch);

// The code of `ch` in code page 932: a byte, or a lead byte and a trail
// byte as one number (lead * 256 + trail), or '?' when it has none (all
// but ASCII and half-width katakana when the C library has no CP932
// converter).
int Cp932Code(char16_t ch);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_POSIX_ANSI_CODE_PAGES_H_
