// The ANSI code pages: Windows-1252 from its table, code page 932 from the
// C library's converter.
#include "platform/posix/ansi_code_pages.h"

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qorvel::platform {
namespace {

constexpr int kUnmappable = u'?';

// Windows-1252 bytes 0x80-0x9F; the five unassigned bytes carry the C1
// control of the same number, as the Windows code page table does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Code page 932 (Shift-JIS with the Windows extensions) for every BMP
// character, from the C library's CP932 converter, built on first use.
// Characters it cannot encode, and all when the converter is missing, get
// the unmappable code.
const std::vector<std::uint16_t>& Cp932Codes() {
  static const std::vector<std::uint16_t>* const codes = [] {
    auto* table = new std::vector<std::uint16_t>(0x10000, static_cast<std::uint16_t>(kUnmappable));
    for (unsigned ch = 0; ch < 0x80; ++ch) (*table)[ch] = static_cast<std::uint16_t>(ch);
    const iconv_t cd = iconv_open("CP932", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1))) return table;
    for (unsigned ch = 0x80; ch < 0x10000; ++ch) {
      if (ch >= 0xD800 && ch <= 0xDFFF) continue;
      char in[2] = {static_cast<char>(ch & 0xFF), static_cast<char>(ch >> 8)};
      char out[8];
      char* in_ptr = in;
      char* out_ptr = out;
      std::size_t in_left = sizeof in;
      std::size_t out_left = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) continue;
      const std::size_t len = sizeof out - out_left;
      const auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(out[k])); };
      if (len == 1) (*table)[ch] = static_cast<std::uint16_t>(byte(0));
      if (len == 2) (*table)[ch] = static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
    }
    iconv_close(cd);
    return table;
  }();
  return *codes;
}

}  // namespace

int Cp1252Code(char16_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return ch;
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == ch) return 0x80 + i;
  }
  return kUnmappable;
}

int Cp932Code(char16_t ch) {
  if (ch < 0x80) return ch;
  if (ch >= 0xFF61 && ch <= 0xFF9F) return ch - 0xFF61 + 0xA1;  // half-width katakana
  return Cp932Codes()[ch];
}

}  // namespace qorvel::platform
