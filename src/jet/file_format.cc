// Recognising database files and reading the Jet database password.
#include "jet/file_format.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "jet/text.h"

namespace qorvel::jet {
namespace {

constexpr std::size_t kMaskStart = 0x18;
constexpr std::size_t kJet4MaskLength = 126;
constexpr std::size_t kJet3MaskLength = 124;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kJet4PasswordBytes = 40;
constexpr std::size_t kJet3PasswordBytes = 20;
constexpr std::size_t kCreationDateOffset = 0x72;
constexpr std::array<std::uint8_t, 4> kHeaderKey = {0xc7, 0xda, 0x39, 0x6b};
// ACE 12 (2007) is version 2, ACE 17 (2019 and later) version 6.
constexpr int kLastAceVersion = 6;

bool HasAt(std::span<const std::uint8_t> bytes, std::size_t offset, const char* text,
           std::size_t length) {
  return bytes.size() >= offset + length && std::memcmp(bytes.data() + offset, text, length) == 0;
}

// The 32-bit integer part of the creation date, as the mask uses it.
// Out-of-range dates (a damaged header) give 0 rather than undefined
// behaviour.
std::int32_t DateMask(const std::uint8_t* unmasked_header) {
  double date = 0;
  std::memcpy(&date, unmasked_header + kCreationDateOffset, sizeof date);
  if (!(date > -2147483648.0 && date < 2147483648.0)) return 0;
  return static_cast<std::int32_t>(date);
}

}  // namespace

FileFormat RecognizeFormat(std::span<const std::uint8_t> header, int* jet_version) {
  if (HasAt(header, 0, "SQLite format 3\0", 16)) return FileFormat::kSqlite;
  const bool jet = HasAt(header, 4, "Standard Jet DB", 15);
  const bool ace = HasAt(header, 4, "Standard ACE DB", 15);
  if ((!jet && !ace) || header.size() <= 0x14) return FileFormat::kUnknown;
  const int version = header[0x14];
  if (jet_version != nullptr) *jet_version = version;
  if (jet && version == 0) return FileFormat::kJet3;
  if (jet && version == 1) return FileFormat::kJet4;
  if (ace && version >= 2 && version <= kLastAceVersion) return FileFormat::kAce;
  return FileFormat::kUnknown;
}

const char16_t* FormatName(FileFormat format) {
  switch (format) {
    case FileFormat::kJet3: return u"Jet 3";
    case FileFormat::kJet4: return u"Jet 4";
    case FileFormat::kAce: return u"ACE";
    case FileFormat::kSqlite: return u"SQLite";
    case FileFormat::kUnknown: break;
  }
  return u"unknown";
}

std::size_t PageSize(FileFormat format) { return format == FileFormat::kJet3 ? 2048 : 4096; }

std::vector<std::uint8_t> Rc4Keystream(std::span<const std::uint8_t> key, std::size_t length) {
  std::array<std::uint8_t, 256> s{};
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  std::vector<std::uint8_t> out(length);
  std::uint8_t a = 0;
  std::uint8_t b = 0;
  for (auto& byte : out) {
    a = static_cast<std::uint8_t>(a + 1);
    b = static_cast<std::uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    byte = s[static_cast<std::uint8_t>(s[a] + s[b])];
  }
  return out;
}

Text StoredPassword(std::span<const std::uint8_t> header, FileFormat format) {
  std::array<std::uint8_t, kHeaderBytes> page{};
  std::copy_n(header.begin(), std::min(header.size(), page.size()), page.begin());
  const bool jet3 = format == FileFormat::kJet3;
  const std::size_t mask_length = jet3 ? kJet3MaskLength : kJet4MaskLength;
  const auto keystream = Rc4Keystream(kHeaderKey, mask_length);
  for (std::size_t i = 0; i < mask_length; ++i) page[kMaskStart + i] ^= keystream[i];

  Text password;
  if (jet3) {
    for (std::size_t i = 0; i < kJet3PasswordBytes; ++i) {
      const std::uint8_t c = page[kPasswordOffset + i];
      if (c == 0) break;
      password.push_back(FromCodePage1252(c));
    }
    return password;
  }
  const auto mask = static_cast<std::uint32_t>(DateMask(page.data()));
  for (std::size_t i = 0; i < kJet4PasswordBytes; i += 2) {
    const auto lo = static_cast<std::uint8_t>(page[kPasswordOffset + i] ^ (mask >> (8 * (i % 4))));
    const auto hi =
        static_cast<std::uint8_t>(page[kPasswordOffset + i + 1] ^ (mask >> (8 * ((i + 1) % 4))));
    const auto unit = static_cast<char16_t>(lo | (hi << 8));
    if (unit == 0) break;
    password.push_back(unit);
  }
  return password;
}

}  // namespace qorvel::jet
