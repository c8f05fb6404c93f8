// Decoding Jet text and the case-insensitive comparison (JETTEXT; the
// collation itself is exercised by the dialect's results tests).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/text.h"

namespace qorvel::jet {
namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareTextTest, FoldsCaseAsJetDoes) {
  const struct {
    const char* a;
    const char* b;
    int expected;  // sign
  } cases[] = {
      {"Billing", "billing", 0}, {"", "", 0}, {"a", "", 1}, {"abc", "ABD", -1}, {"ab", "ABC", -1},
      {"Grüße", "GRÜSSE", 1},      // ß does not fold to SS
      {"grüße", "GRÜßE", 0},       // ü / Ü (Latin-1)
      {"ÿ", "Ÿ", 0},               // U+00FF / U+0178
      {"Łódź", "ŁÓDŹ", 0},         // Latin Extended-A
      {"ı", "I", 0},               // dotless i folds to I
      {"Σίσυφος", "ΣΊΣΥΦΟΣ", 0},  // Greek with final sigma
      {"Москва", "МОСКВА", 0}, {"ёж", "ЁЖ", 0}, {"日本語", "日本誤", -1},
      {"a\xff", "a\xff", 0},       // invalid UTF-8 compares as U+FFFD
      {"z", "é", -1},              // code unit order after folding
      {"😀", "\xef\xbf\xbd", -1},  // U+D83D < U+FFFD as UTF-16 code units
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sign(CompareText(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(CompareText(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
  }
}

TEST(FoldCaseTest, LeavesCharactersWithoutCaseAlone) {
  for (const char16_t c : {u'0', u'_', u'÷', u'×', u'ß', u'µ', u'€', u'日', char16_t{0xD800}}) {
    EXPECT_EQ(FoldCase(c), c);
  }
  EXPECT_EQ(FoldText(u"aBcÀàŒœ"), u"ABCÀÀŒŒ");
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

}  // namespace
}  // namespace qorvel::jet
