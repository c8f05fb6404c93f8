// The engine's readers of single values: exact decimal, money, ISO date
// and GUID text and the stored form of extended date/time values; Jet text
// and its case-insensitive comparison (JETTEXT; the collation itself is
// exercised by the dialect's results tests); file headers and the Jet 3
// database password (Jet 4 passwords on real files are database_test.cc's).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "jet/file_format.h"
#include "jet/text.h"
#include "jet/values.h"

namespace qorvel::jet {
namespace {

TEST(ParseDecimalTest, ReadsExactDecimals) {
  const std::pair<const char*, const char*> cases[] = {  // the text, Decimal::ToString and the scale
      {"0", "0/0"}, {"-12.3400", "-12.34/4"}, {" +5 ", "5/0"}, {".5", "0.5/1"}, {"5.", "5/0"}, {"-0.000", "0/3"},
      {"79228162514264337593543950335", "79228162514264337593543950335/0"},  // 2^96 - 1
      {"79228162514264337593543950336", "none"},                            // 2^96
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001/28"},
      {"0.00000000000000000000000000001", "none"},  // 29 decimals
      {"1e5", "none"}, {"", "none"}, {"-", "none"}, {".", "none"}, {"1.2.3", "none"},
  };
  for (const auto& [text, expected] : cases) {
    const auto value = ParseDecimal(text);
    EXPECT_EQ(value ? value->ToString() + "/" + std::to_string(value->scale) : "none", expected) << text;
  }
}

TEST(ParseMoneyTest, ReadsTenThousandthsExactly) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"-20.00", -200000}, {"250.5", 2505000}, {"-0.00005", 0},
      {"12.34565", 123456}, {"12.34575", 123458}, {"12.345651", 123457},  // halves to even
      {"922337203685477.5807", INT64_MAX}, {"-922337203685477.5808", INT64_MIN},
      {"922337203685477.5808", std::nullopt}, {"922337203685477.58075", std::nullopt},  // beyond, rounded or not
      {"-922337203685477.58085", INT64_MIN},  // half to even keeps ...5808
      {"-922337203685477.58086", std::nullopt}, {"1e3", std::nullopt}, {"", std::nullopt},
  };
  for (const auto& [text, raw] : cases) EXPECT_EQ(ParseMoney(text), raw) << text;
}

TEST(ParseIsoDateTimeTest, ReadsDatesAndTimes) {
  const std::pair<const char*, std::optional<DateTime>> cases[] = {
      {"2011-03-31", DateTime::FromParts(2011, 3, 31)},
      {"2011-03-31T23:00:59", DateTime::FromParts(2011, 3, 31, 23, 0, 59)},
      {"2011-03-31 23:00:59.250", DateTime::FromParts(2011, 3, 31, 23, 0, 59)}, {"1899-12-29 06:00:00", DateTime(-1.25)},
      {"2011-02-29", std::nullopt},       {"2011-3-31", std::nullopt},   {"03/31/2011", std::nullopt},
      {"2011-03-31 24:00", std::nullopt}, {"2011-03-31x", std::nullopt}, {"2011-03-31 23:00:", std::nullopt},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseIsoDateTime(std::string_view(text)), value) << text;
  EXPECT_EQ(ParseIsoDateTime(TextView(u"2011-03-31")), DateTime::FromParts(2011, 3, 31));
  EXPECT_EQ(ParseIsoDateTime(TextView(u"２011-03-31")), std::nullopt);
}

TEST(NormalizeGuidTest, WritesBracedUpperCase) {
  const std::string canonical = "{A0000001-0000-4000-8000-000000000417}";
  for (const char* text : {"{a0000001-0000-4000-8000-000000000417}", "A0000001-0000-4000-8000-000000000417",
                           "a0000001000040008000000000000417", " {A0000001-0000-4000-8000-000000000417} "}) {
    EXPECT_EQ(NormalizeGuid(text), canonical) << text;
  }
  for (const char* text : {"{A0000001-0000-4000-8000000000000417}", "A0000001-0000-4000-8000-00000000041",
                           "G0000001-0000-4000-8000-000000000417", "", "{}"}) {
    EXPECT_EQ(NormalizeGuid(text), std::nullopt) << text;
  }
}

TEST(ExtendedDateTimeTest, ReadsTheStoredFormExactly) {
  const std::pair<const char*, const char*> cases[] = {  // the 41 characters before the NUL, the text
      {"0000000000000000000:0000000000000000000:7", "0001-01-01 00:00:00.0000000"},
      {"0000000000000737954:0000000819123456789:7", "2021-06-14 22:45:12.3456789"},
      {"0000000000000730178:0000000000000000000:7", "2000-02-29 00:00:00.0000000"},  // a leap day
      {"0000000000003652059:0000000000000000000:7", "none"},  // 1 January 10000
      {"0000000000000737592:0000000864000000000:7", "none"},  // a whole day of ticks
      {"0000000000000737592:0000000000000000000:8", "none"},  // eight fractional digits
      {"000000000000073759x:0000000000000000000:7", "none"}, {"0000000000000737592 0000000000000000000:7", "none"},
      {"-000000000000737592:0000000000000000000:7", "none"},
      {"9999999999999999999:9999999999999999999:7", "none"},  // beyond 64 bits
  };
  for (const auto& [chars, expected] : cases) {
    std::array<std::uint8_t, kExtendedDateTimeSize> stored{};
    std::memcpy(stored.data(), chars, kExtendedDateTimeSize - 1);
    const auto text = ExtendedDateTimeText(stored);
    EXPECT_EQ(text.value_or("none"), expected) << chars;
    EXPECT_TRUE(!text || IsExtendedDateTimeText(*text)) << *text;
  }
}

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareTextTest, FoldsCaseAsJetDoes) {
  const std::tuple<const char*, const char*, int> cases[] = {  // a, b, the sign of their comparison
      {"Billing", "billing", 0}, {"", "", 0}, {"a", "", 1}, {"abc", "ABD", -1}, {"ab", "ABC", -1},
      {"Grüße", "GRÜSSE", 1},      // ß does not fold to SS
      {"grüße", "GRÜßE", 0},       // ü / Ü (Latin-1)
      {"ÿ", "Ÿ", 0},               // U+00FF / U+0178
      {"Łódź", "ŁÓDŹ", 0},         // Latin Extended-A
      {"ı", "I", 0},               // dotless i folds to I
      {"Σίσυφος", "ΣΊΣΥΦΟΣ", 0},  // Greek with final sigma
      {"日本語", "日本誤", -1},
      {"a\xff", "a\xff", 0},       // invalid UTF-8 compares as U+FFFD
      {"z", "é", -1},              // code unit order after folding
      {"😀", "\xef\xbf\xbd", -1},  // U+D83D < U+FFFD as UTF-16 code units
  };
  for (const auto& [a, b, sign] : cases) {
    EXPECT_EQ(Sign(CompareText(a, b)), sign) << a << " vs " << b;
    EXPECT_EQ(Sign(CompareText(b, a)), -sign) << b << " vs " << a;
  }
}

std::string Jet4(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  AppendJet4Text(bytes, out);
  return out;
}

TEST(JetTextTest, DecodesUtf16TheCompressedFormAndCodePage1252) {
  EXPECT_EQ(Jet4({'A', 0, 'b', 0}), "Ab");
  EXPECT_EQ(Jet4({0xE9, 0x00, 0xE5, 0x65}), "é\xe6\x97\xa5");  // é, 日
  EXPECT_EQ(Jet4({'A', 0, 'b'}), "A");                          // odd byte dropped
  EXPECT_EQ(Jet4({0x3D, 0xD8, 0x00, 0xDE}), "😀");              // surrogate pair
  EXPECT_EQ(Jet4({0x3D, 0xD8, 'x', 0}), "\xef\xbf\xbdx");       // unpaired surrogate
  // Compressed: FF FE, then single bytes; 00 switches to pairs and back.
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'H', 'i', 0xE9}), "Hié");
  EXPECT_EQ(Jet4({0xFF, 0xFE, 'a', 0x00, 0xE5, 0x65, 0x00, 'b'}), "a\xe6\x97\xa5" "b");
  EXPECT_EQ(Jet4({0xFF, 0xFE}), "");
  EXPECT_EQ(Jet4({0xFF, 0xFE, 0x00, 0x41}), "");  // a lone trailing byte in pair mode
  // Jet 3: code page 1252.
  std::string out;
  AppendJet3Text(std::vector<std::uint8_t>{'O', 0x92, 'B', 0x80, 0xE9, 0x81}, out);
  EXPECT_EQ(out, "O\xe2\x80\x99" "B\xe2\x82\xac\xc3\xa9\xc2\x81");
}


// A header of kHeaderBytes with `magic` at offset 4 and the version byte.
std::vector<std::uint8_t> JetHeader(const char* magic, std::uint8_t version) {
  std::vector<std::uint8_t> header(kHeaderBytes, 0);
  std::memcpy(header.data() + 4, magic, 15);
  header[0x14] = version;
  return header;
}

// The versions no Jet or ACE file has (the known ones are read from the
// fixtures of each format), and a header of neither kind.
TEST(RecognizeFormatTest, ReadsTheHeader) {
  const std::tuple<std::vector<std::uint8_t>, int> cases[] = {  // the version, -1 for none
      {JetHeader("Standard Jet DB", 2), 2}, {JetHeader("Standard ACE DB", 7), 7}, {JetHeader("Standard Foo DB", 1), -1}};
  for (const auto& [header, expected_version] : cases) {
    int version = -1;
    EXPECT_EQ(RecognizeFormat(header, &version), FileFormat::kUnknown) << expected_version;
    EXPECT_EQ(version, expected_version);
  }
}

// Masks a header the way a Jet file stores it (the inverse of reading).
void Mask(std::vector<std::uint8_t>& header, std::size_t length) {
  const std::uint8_t key[] = {0xc7, 0xda, 0x39, 0x6b};
  const auto stream = Rc4Keystream(key, length);
  for (std::size_t i = 0; i < length; ++i) header[0x18 + i] ^= stream[i];
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
