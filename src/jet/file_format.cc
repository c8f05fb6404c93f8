// Recognising database files, reading the Jet database password and
// checking a file before it is opened.
#include "jet/file_format.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/text_ops.h"
#include "jet/errors.h"
#include "jet/system.h"
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

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

// A SQLite file shorter than the page count its header gives.
bool SqliteTruncated(const std::vector<std::uint8_t>& header, std::uintmax_t size) {
  if (header.size() < 100) return true;
  std::uint32_t page_size = (static_cast<std::uint32_t>(header[16]) << 8) | header[17];
  if (page_size == 1) page_size = 65536;
  const std::uint32_t pages = BigEndian32(&header[28]);
  const bool pages_valid = pages != 0 && BigEndian32(&header[24]) == BigEndian32(&header[92]);
  return pages_valid && static_cast<std::uintmax_t>(pages) * page_size > size;
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

FileFormat CheckFile(const std::filesystem::path& path, const FileStamp& stamp, TextView password) {
  std::vector<std::uint8_t> header(kHeaderBytes);
  header.resize(ReadOnlyFile::Open(path)->ReadAt(0, header.data(), header.size()));
  const auto size = static_cast<std::uintmax_t>(stamp.size);
  const Text quoted = u"'" + PathText(path) + u"'";

  if (header.empty()) Raise(kErrNotADatabase, u"The file " + quoted + u" is empty; it is not a database.");
  int version = -1;
  const FileFormat format = RecognizeFormat(header, &version);
  switch (format) {
    case FileFormat::kUnknown:
      if (version >= 0) {
        Raise(kErrDamaged, u"The database file " + quoted + u" is damaged: its header gives version " +
                               DecimalText(version) + u", which is not a Jet or ACE version.");
      }
      Raise(kErrNotADatabase, u"The file " + quoted +
                                  u" is not a database: it is neither a Jet/ACE (.mdb, .accdb) nor a "
                                  u"SQLite file.");
    case FileFormat::kSqlite:
      if (SqliteTruncated(header, size)) {
        Raise(kErrTruncated, u"The database file " + quoted +
                                 u" is truncated: it is shorter than its header says.");
      }
      return format;
    case FileFormat::kJet3:
    case FileFormat::kJet4:
    case FileFormat::kAce: {
      const std::size_t page = PageSize(format);
      if (size < kHeaderBytes || size % page != 0) {
        Raise(kErrTruncated, u"The database file " + quoted +
                                 u" is truncated: its size is not a whole number of pages.");
      }
      const Text stored = StoredPassword(header, format);
      if (!stored.empty() && stored != password) {
        Raise(kErrWrongPassword, u"The database password given does not open the file " + quoted + u".");
      }
      return format;
    }
  }
  Raise(kErrNotADatabase, u"The file " + quoted + u" is not a database.");
}

}  // namespace qorvel::jet
