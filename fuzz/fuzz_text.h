// Texts for the fuzz targets: up to `max_units` UTF-16 code units, either
// one input byte per code unit (so that digits, blanks, separators, quotes
// and keywords come quickly) or two bytes per code unit (any code unit,
// surrogates included).
#ifndef QORVEL_FUZZ_FUZZ_TEXT_H_
#define QORVEL_FUZZ_FUZZ_TEXT_H_

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <string>

#include "qorvel/types.h"

namespace qorvel::fuzz {

inline Text ConsumeText(FuzzedDataProvider& in, std::size_t max_units) {
  const bool wide = in.ConsumeBool();
  const std::string bytes = in.ConsumeRandomLengthString(wide ? 2 * max_units : max_units);
  Text text;
  if (!wide) {
    for (unsigned char b : bytes) text.push_back(b);
    return text;
  }
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

}  // namespace qorvel::fuzz

#endif  // QORVEL_FUZZ_FUZZ_TEXT_H_
