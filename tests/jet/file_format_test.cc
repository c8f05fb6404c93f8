// Recognising files by their header, and the Jet database password. (The
// header's RC4 mask on real files is pinned down by the password tests of
// database_test.cc, which open the fixtures.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "jet/file_format.h"

namespace qorvel::jet {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A header of kHeaderBytes with `magic` at offset 4 and the version byte.
std::vector<std::uint8_t> JetHeader(const char* magic, std::uint8_t version) {
  std::vector<std::uint8_t> header(kHeaderBytes, 0);
  std::memcpy(header.data() + 4, magic, 15);
  header[0x14] = version;
  return header;
}

TEST(RecognizeFormatTest, ReadsTheHeader) {
  std::vector<std::uint8_t> sqlite(100, 0);
  std::memcpy(sqlite.data(), "SQLite format 3", 16);
  std::vector<std::uint8_t> sqlite_no_nul = sqlite;
  sqlite_no_nul[15] = ' ';
  const struct {
    std::vector<std::uint8_t> header;
    FileFormat format;
    int version;  // -1: none reported
  } cases[] = {
      {JetHeader("Standard Jet DB", 0), FileFormat::kJet3, 0},
      {JetHeader("Standard Jet DB", 1), FileFormat::kJet4, 1},
      {JetHeader("Standard Jet DB", 2), FileFormat::kUnknown, 2},
      {JetHeader("Standard ACE DB", 2), FileFormat::kAce, 2},
      {JetHeader("Standard ACE DB", 6), FileFormat::kAce, 6},
      {JetHeader("Standard ACE DB", 7), FileFormat::kUnknown, 7},
      {JetHeader("Standard ACE DB", 1), FileFormat::kUnknown, 1},
      {JetHeader("Standard Foo DB", 1), FileFormat::kUnknown, -1},
      {sqlite, FileFormat::kSqlite, -1},
      {sqlite_no_nul, FileFormat::kUnknown, -1},
      {Bytes("PK\x03\x04 not a database at all, just some zip-like bytes"), FileFormat::kUnknown, -1},
      {Bytes(std::string("\0\x01\0\0Standard Jet", 16)), FileFormat::kUnknown, -1},
      {{}, FileFormat::kUnknown, -1},
  };
  for (const auto& c : cases) {
    int version = -1;
    const std::string what(c.header.begin(), c.header.begin() + std::min<std::size_t>(c.header.size(), 24));
    EXPECT_EQ(RecognizeFormat(c.header, &version), c.format) << what;
    EXPECT_EQ(version, c.version) << what;
  }
}

// Masks a header the way a Jet file stores it (the inverse of reading).
void Mask(std::vector<std::uint8_t>& header, std::size_t length) {
  const std::uint8_t key[] = {0xc7, 0xda, 0x39, 0x6b};
  const auto stream = Rc4Keystream(key, length);
  for (std::size_t i = 0; i < length; ++i) header[0x18 + i] ^= stream[i];
}

TEST(StoredPasswordTest, Jet4PasswordIsUtf16MaskedWithTheCreationDate) {
  auto header = JetHeader("Standard Jet DB", 1);
  const double created = 38143.546523784724;  // an integer part of 0x000094FF
  std::memcpy(header.data() + 0x72, &created, sizeof created);
  const std::u16string password = u"pässwörd ЖΩ";
  const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(created));
  for (std::size_t i = 0; i < password.size(); ++i) {
    header[0x42 + 2 * i] = static_cast<std::uint8_t>(password[i] & 0xFF);
    header[0x42 + 2 * i + 1] = static_cast<std::uint8_t>(password[i] >> 8);
  }
  for (std::size_t i = 0; i < 40; ++i) header[0x42 + i] ^= static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
  Mask(header, 126);
  EXPECT_EQ(StoredPassword(header, FileFormat::kJet4), password);
  EXPECT_EQ(StoredPassword(header, FileFormat::kAce), password);
  auto none = JetHeader("Standard Jet DB", 1);
  Mask(none, 126);
  EXPECT_EQ(StoredPassword(none, FileFormat::kJet4), u"");
}

TEST(StoredPasswordTest, Jet3PasswordIsSingleBytesWithoutDateMask) {
  auto header = JetHeader("Standard Jet DB", 0);
  const double created = 38143.5;
  std::memcpy(header.data() + 0x72, &created, sizeof created);
  const std::string password = "Geheim\xE9\x80";  // é and the euro sign in code page 1252
  std::memcpy(header.data() + 0x42, password.data(), password.size());
  header[0x18 + 124] = 0x5A;  // beyond the Jet 3 mask: must stay as it is
  Mask(header, 124);
  EXPECT_EQ(StoredPassword(header, FileFormat::kJet3), u"Geheim\u00E9\u20AC");
  EXPECT_EQ(header[0x18 + 124], 0x5A);
}

}  // namespace
}  // namespace qorvel::jet
