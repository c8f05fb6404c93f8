// Decoding Jet text and the case-insensitive text comparison.
#include "jet/text.h"

#include <sqlite3.h>

#include <array>

#include "base/text_ops.h"
#include "jet/catalog.h"

namespace qorvel::jet {
namespace {

// The upper case of a code unit below kFoldLimit (identity elsewhere).
constexpr char32_t kFoldLimit = 0x0530;

constexpr char16_t ComputeUpper(char32_t c) {
  auto u = [](char32_t v) { return static_cast<char16_t>(v); };
  // ASCII and Latin-1.
  if (c >= 'a' && c <= 'z') return u(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return u(c - 0x20);
  if (c == 0xFF) return u(0x178);
  // Latin Extended-A: pairs, upper case first, with a few exceptions.
  if (c >= 0x100 && c <= 0x12F) return u(c & ~1u);
  if (c == 0x131) return u('I');  // dotless i
  if (c >= 0x132 && c <= 0x137) return u(c & ~1u);
  if (c >= 0x139 && c <= 0x148) return u((c & 1u) ? c : c - 1);
  if (c >= 0x14A && c <= 0x177) return u(c & ~1u);
  if (c >= 0x179 && c <= 0x17E) return u((c & 1u) ? c : c - 1);
  if (c == 0x17F) return u('S');  // long s
  // Greek.
  if (c == 0x3AC) return u(0x386);
  if (c >= 0x3AD && c <= 0x3AF) return u(c - 0x3AD + 0x388);
  if (c >= 0x3B1 && c <= 0x3C1) return u(c - 0x20);
  if (c == 0x3C2) return u(0x3A3);  // final sigma
  if (c >= 0x3C3 && c <= 0x3CB) return u(c - 0x20);
  if (c == 0x3CC) return u(0x38C);
  if (c == 0x3CD || c == 0x3CE) return u(c - 0x3CD + 0x38E);
  // Cyrillic.
  if (c >= 0x430 && c <= 0x44F) return u(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return u(c - 0x50);
  if (c >= 0x460 && c <= 0x481) return u(c & ~1u);
  if (c >= 0x48A && c <= 0x4BF) return u(c & ~1u);
  if (c >= 0x4C1 && c <= 0x4CE) return u((c & 1u) ? c : c - 1);
  if (c == 0x4CF) return u(0x4C0);
  if (c >= 0x4D0 && c <= 0x52F) return u(c & ~1u);
  return u(c);
}

constexpr std::array<char16_t, kFoldLimit> BuildFoldTable() {
  std::array<char16_t, kFoldLimit> table{};
  for (char32_t c = 0; c < kFoldLimit; ++c) table[c] = ComputeUpper(c);
  return table;
}

constexpr std::array<char16_t, kFoldLimit> kFold = BuildFoldTable();

constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Turns UTF-16 code units into UTF-8, pairing surrogates.
class Utf8Writer {
 public:
  explicit Utf8Writer(std::string& out) : out_(out) {}
  ~Utf8Writer() {
    if (high_ != 0) AppendUtf8(out_, 0xFFFD);
  }
  void Unit(char32_t unit) {
    if (high_ != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
        return;
      }
      AppendUtf8(out_, 0xFFFD);
      high_ = 0;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_ = unit;
      return;
    }
    AppendUtf8(out_, unit);
  }

 private:
  std::string& out_;
  char32_t high_ = 0;
};

// Reads the next code point of UTF-8 text at `i` and advances `i`.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  const std::size_t n = s.size();
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < n && (byte(i + 1) & 0xC0) == 0x80) {
    const char32_t cp = ((b0 & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
    i += 2;
    return cp;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF && i + 2 < n && (byte(i + 1) & 0xC0) == 0x80 &&
      (byte(i + 2) & 0xC0) == 0x80) {
    const char32_t cp = ((b0 & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
    i += 3;
    return (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) ? 0xFFFD : cp;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4 && i + 3 < n && (byte(i + 1) & 0xC0) == 0x80 &&
      (byte(i + 2) & 0xC0) == 0x80 && (byte(i + 3) & 0xC0) == 0x80) {
    const char32_t cp = ((b0 & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) |
                        ((byte(i + 2) & 0x3Fu) << 6) | (byte(i + 3) & 0x3Fu);
    i += 4;
    return (cp < 0x10000 || cp > 0x10FFFF) ? 0xFFFD : cp;
  }
  ++i;
  return 0xFFFD;
}

// Reads UTF-16 code units out of UTF-8 text, one at a time.
class UnitReader {
 public:
  UnitReader(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}
  bool AtEnd() const { return pending_ == 0 && pos_ >= text_.size(); }
  char16_t Next() {
    if (pending_ != 0) {
      const char16_t unit = pending_;
      pending_ = 0;
      return unit;
    }
    char32_t cp = NextCodePoint(text_, pos_);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      pending_ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      return static_cast<char16_t>(0xD800 + (cp >> 10));
    }
    return static_cast<char16_t>(cp);
  }

 private:
  std::string_view text_;
  std::size_t pos_;
  char16_t pending_ = 0;
};

int CollationCallback(void*, int length_a, const void* a, int length_b, const void* b) {
  return CompareText(std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(length_a)),
                     std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(length_b)));
}

}  // namespace

void AppendJet4Text(std::span<const std::uint8_t> bytes, std::string& out) {
  const std::size_t n = bytes.size();
  Utf8Writer writer(out);
  if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    // Compressed: single bytes stand for U+0001..U+00FF; a 00 byte switches
    // to UTF-16LE pairs and the next 00 switches back.
    bool compressed = true;
    std::size_t i = 2;
    while (i < n) {
      if (bytes[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        writer.Unit(bytes[i]);
        ++i;
      } else if (i + 1 < n) {
        writer.Unit(static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8)));
        i += 2;
      } else {
        break;  // odd trailing byte
      }
    }
    return;
  }
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    writer.Unit(static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
}

char16_t FromCodePage1252(std::uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

void AppendJet3Text(std::span<const std::uint8_t> bytes, std::string& out) {
  for (const std::uint8_t b : bytes) AppendUtf8(out, FromCodePage1252(b));
}

char16_t FoldCase(char16_t unit) { return unit < kFoldLimit ? kFold[unit] : unit; }

Text FoldText(TextView text) {
  Text out(text);
  for (auto& unit : out) unit = FoldCase(unit);
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  // Fast path: skip the bytes the texts share (equal bytes stay equal when
  // folded) and fold only where they differ, as long as that is ASCII.
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t i = 0;
  for (;;) {
    while (i < n && a[i] == b[i]) ++i;
    if (i == n) {
      if (a.size() == b.size()) return 0;
      return a.size() < b.size() ? -1 : 1;
    }
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) >= 0x80) break;
    const char16_t fa = kFold[ca];
    const char16_t fb = kFold[cb];
    if (fa != fb) return fa < fb ? -1 : 1;
    ++i;
  }
  // Compare the rest code unit by code unit, from the start of the
  // character that differs (the bytes before it are the same in both, so
  // both texts have a character boundary there).
  const auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
  for (int back = 0; back < 3 && i > 0 && (continuation(a[i]) || continuation(b[i])); ++back) --i;
  UnitReader ra(a, i);
  UnitReader rb(b, i);
  while (!ra.AtEnd() && !rb.AtEnd()) {
    const char16_t fa = FoldCase(ra.Next());
    const char16_t fb = FoldCase(rb.Next());
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (ra.AtEnd() && rb.AtEnd()) return 0;
  return ra.AtEnd() ? -1 : 1;
}

int RegisterTextCollation(sqlite3* db) {
  return sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, CollationCallback,
                                     nullptr);
}

}  // namespace qorvel::jet
