// Structural damage in Jet files: copies of billing.mdb made as the test
// runs, each with one kind of change that no Jet file can hold, must fail
// with the engine's damaged (or truncated) error rather than read back as
// data; in the same table, the changes that an unclean close can leave (a
// stale row count in a table definition, a stale free-space map) must not
// stop the file or change its data. Nothing may reach standard error while
// any of these files are read, nor while files with the column types the
// billing files never use are read, whole or damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/errors.h"
#include "jet/file_format.h"
#include "jet/source.h"
#include "jet/table_image.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel::jet {
namespace {

using ::qorvel::testing::SharedPath;
using testing::TempDir;

// Jet 4 layout: pages of 4096 bytes; a page's type in its first byte; a
// data page's free space at 2, owner at 4, row count at 12 and row offsets
// from 14; a table definition's next page at 4, variable-column count at
// 43, column count at 45, index count at 51, page map reference (row, then
// a 3-byte page) at 55, free-space map reference at 59, column entries of
// 25 bytes after 63 + 12 per index, each with its number at 5, its
// variable-length number at 7 and its flags at 15 (0x01: fixed width).
constexpr std::size_t kPage = 4096;
constexpr unsigned char kDataPage = 0x01;
constexpr unsigned char kDefinitionPage = 0x02;

struct File {
  std::string bytes;

  std::size_t pages() const { return bytes.size() / kPage; }
  unsigned char type(std::size_t page) const { return static_cast<unsigned char>(bytes[page * kPage]); }
  // The little-endian number of `width` bytes at `at`, and writing one.
  std::uint32_t Get(std::size_t at, int width) const {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  }
  void Put(std::size_t at, int width, std::uint32_t value) {
    for (int i = 0; i < width; ++i, value >>= 8) bytes[at + i] = static_cast<char>(value & 0xff);
  }
  // Pages of `page_type` after the catalog's (definitions: the first page
  // of each only; data pages: those holding rows of user tables).
  std::vector<std::size_t> Pages(unsigned char page_type) const {
    std::vector<std::size_t> out;
    for (std::size_t p = 3; p < pages(); ++p) {
      if (type(p) == page_type &&
          (page_type != kDataPage || (Get(p * kPage + 4, 4) > 2 && Get(p * kPage + 12, 2) > 0))) {
        out.push_back(p);
      }
    }
    return out;
  }
  // The offsets of the column entries of each user table's definition, and
  // of the column names after them in definition `d`.
  std::vector<std::size_t> ColumnEntries() const {
    std::vector<std::size_t> out;
    for (const std::size_t d : Pages(kDefinitionPage)) {
      const std::size_t count = Get(d * kPage + 45, 2);
      for (std::size_t c = 0; c < count; ++c) out.push_back(Names(d) - 25 * (count - c));
    }
    return out;
  }
  std::size_t Names(std::size_t d) const {
    return d * kPage + 63 + 12 * Get(d * kPage + 51, 4) + 25 * Get(d * kPage + 45, 2);
  }
  // Where row `row` of page `page` starts and ends (absolute offsets).
  std::pair<std::size_t, std::size_t> Row(std::size_t page, std::size_t row) const {
    const std::size_t base = page * kPage;
    const std::size_t start = Get(base + 14 + 2 * row, 2) & 0x1fff;
    const std::size_t end = row == 0 ? kPage : Get(base + 14 + 2 * (row - 1), 2) & 0x1fff;
    return {base + start, base + end};
  }
  // The row that definition `d`'s map reference at `at` (55: the page map,
  // 59: the free-space map) names.
  std::pair<std::size_t, std::size_t> MapRow(std::size_t d, std::size_t at) const {
    const std::uint32_t ref = Get(d * kPage + at, 4);
    return Row(ref >> 8, ref & 0xff);
  }
};

// Opens the file and reads every table; the error number, or 0.
long ReadAll(const std::filesystem::path& path, std::vector<std::size_t>* rows = nullptr) {
  return testing::ErrorOf([&] {
           auto db = Database::Open(path, testing::kPassword, testing::TestOptions());
           for (const TableInfo& table : db->tables()) {
             const std::size_t count = db->ReadTable(table.name).row_count();
             if (rows != nullptr) rows->push_back(count);
           }
         }).number();
}

struct Damage {
  const char* what;
  std::function<void(File&)> change;
  long error;
};

// A change that `change` makes at each page of `page_type` (definitions:
// the first page of each user table's; data pages: those of user tables'
// rows), and one writing the number that `value` gives (`width` bytes at
// `at`), or `value` itself.
std::function<void(File&)> OnPages(unsigned char page_type, const std::function<void(File&, std::size_t)>& change) {
  return [=](File& f) {
    for (const std::size_t p : f.Pages(page_type)) change(f, p);
  };
}
std::function<void(File&)> Poke(unsigned char page_type, std::size_t at, int width,
                                const std::function<std::uint32_t(const File&, std::size_t)>& value) {
  return OnPages(page_type, [=](File& f, std::size_t p) { f.Put(p * kPage + at, width, value(f, p)); });
}
std::function<void(File&)> Poke(unsigned char page_type, std::size_t at, int width, std::uint32_t value) {
  return Poke(page_type, at, width, [value](const File&, std::size_t) { return value; });
}
// A change that `change` makes at the offset of each column entry.
std::function<void(File&)> OnColumns(const std::function<void(File&, std::size_t)>& change) {
  return [=](File& f) {
    for (const std::size_t c : f.ColumnEntries()) change(f, c);
  };
}

// Each change applies to every user table (so that the tables the reader
// reads are hit whatever their order); the catalog is left alone.
std::vector<Damage> StructuralDamage() {
  constexpr unsigned char kDefinition = kDefinitionPage, kData = kDataPage;
  return {
      {"data page's row count 0x8000", Poke(kData, 12, 2, 0x8000), kErrDamaged},
      {"column number's high byte set", OnColumns([](File& f, std::size_t c) { f.Put(c + 6, 1, 1); }), kErrDamaged},
      {"variable-length number beyond the table's count",
       OnColumns([](File& f, std::size_t c) {
         if ((f.bytes[c + 15] & 1) == 0) f.Put(c + 7, 2, f.Get(c / kPage * kPage + 43, 2));
       }),
       kErrDamaged},
      {"fixed-width columns (Long, Date/Time...) marked variable-length",
       OnColumns([](File& f, std::size_t c) { f.bytes[c + 15] = static_cast<char>(f.bytes[c + 15] & ~1); }),
       kErrDamaged},
      {"row count lowered, so that the free space disagrees",
       Poke(kData, 12, 2, [](const File& f, std::size_t p) { return f.Get(p * kPage + 12, 2) - 1; }), kErrDamaged},
      {"page map listing no page while the definition counts rows",
       OnPages(kDefinition,
               [](File& f, std::size_t d) {
                 const auto [start, end] = f.MapRow(d, 55);
                 std::fill(f.bytes.begin() + start + 1, f.bytes.begin() + end, '\0');
               }),
       kErrDamaged},
      {"two columns with one number",
       OnPages(kDefinition,
               [](File& f, std::size_t d) {
                 const std::size_t columns = d * kPage + 63 + 12 * f.Get(d * kPage + 51, 4);
                 if (f.Get(d * kPage + 45, 2) >= 2) f.Put(columns + 25 + 5, 2, f.Get(columns + 5, 2));
               }),
       kErrDamaged},
      {"definition page of another type", Poke(kDefinition, 0, 1, kDataPage), kErrDamaged},
      {"more columns than the definition can hold", Poke(kDefinition, 45, 2, 0xffff), kErrDamaged},
      {"column name running past the definition's pages",
       OnPages(kDefinition, [](File& f, std::size_t d) { f.Put(f.Names(d), 2, 0xfff0); }), kErrDamaged},
      {"column name with a control character (the mirror's SQL would end at a NUL)",
       OnPages(kDefinition, [](File& f, std::size_t d) { f.Put(f.Names(d) + 2, 2, 0); }), kErrDamaged},
      {"page map of an unknown kind",
       OnPages(kDefinition, [](File& f, std::size_t d) { f.bytes[f.MapRow(d, 55).first] = 7; }), kErrDamaged},
      {"page map reference to a row its page does not have", Poke(kDefinition, 55, 1, 0xf0), kErrDamaged},
      {"page map reference to a definition page",
       Poke(kDefinition, 55, 4, [](const File&, std::size_t d) { return static_cast<std::uint32_t>(d << 8); }),
       kErrDamaged},
      {"page map reference beyond the end of the file", Poke(kDefinition, 55, 4, 0xffffff00u), kErrTruncated},
      {"data page listed in a page map turned into an index page", Poke(kData, 0, 1, 0x03), kErrDamaged},
      {"data page listed in a page map owned by another table", Poke(kData, 4, 4, 2), kErrDamaged},
      {"row starting beyond its page", Poke(kData, 14, 2, 0x1000), kErrDamaged},
      {"variable-length field beyond its row",
       OnPages(kData,
               [](File& f, std::size_t p) {
                 // The variable fields' offsets lie before the variable count
                 // and the null mask at the end of the row.
                 const auto [start, end] = f.Row(p, 0);
                 const std::size_t count_at = end - (f.Get(start, 2) + 7) / 8 - 2;
                 const std::size_t variables = f.Get(count_at, 2);
                 if (variables == 0 || variables > 64) return;
                 for (std::size_t v = 0; v <= variables; ++v) f.Put(count_at - 2 - 2 * v, 2, 0x0ff0);
               }),
       kErrDamaged},
      // What an unclean close leaves: the file reads as before.
      {"row counts of the definitions zeroed", Poke(kDefinition, 16, 4, 0), 0},
      {"row counts of the definitions too high", Poke(kDefinition, 16, 4, 999999), 0},
      {"free-space maps emptied",
       OnPages(kDefinition,
               [](File& f, std::size_t d) {
                 const auto [start, end] = f.MapRow(d, 59);
                 std::fill(f.bytes.begin() + start + 5, f.bytes.begin() + end, '\0');
               }),
       0},
  };
}

// The references of memo and OLE values to their long-value rows in the
// user tables of `file`: the offsets of each value's 4-byte page-and-row,
// found as a length (flags 0x00 or 0x40 in its top byte) followed by a
// reference to a row that a long-value page ("LVAL" after the page's type)
// has.
std::vector<std::size_t> LongValueRefs(const File& f) {
  const auto is_long_value_page = [&](std::size_t p) {
    return p < f.pages() && f.type(p) == kDataPage && f.bytes.compare(p * kPage + 4, 4, "LVAL") == 0;
  };
  std::vector<std::size_t> refs;
  for (std::size_t p = 3; p < f.pages(); ++p) {
    if (f.type(p) != kDataPage || is_long_value_page(p) || f.Get(p * kPage + 4, 4) <= 2) continue;
    for (std::size_t at = p * kPage + 16; at + 8 <= (p + 1) * kPage; ++at) {
      const std::uint32_t header = f.Get(at, 4);
      const std::uint32_t ref = f.Get(at + 4, 4);
      if ((header >> 24 == 0x00 || header >> 24 == 0x40) && (header & 0xffffff) != 0 &&
          is_long_value_page(ref >> 8) && (ref & 0xff) < f.Get((ref >> 8) * kPage + 12, 2)) {
        refs.push_back(at + 4);
      }
    }
  }
  return refs;
}

// Damage to the memo column of types.mdb and its long values (its 14 KB
// memo and its shorter ones): each change applies to every reference
// LongValueRefs finds.
std::function<void(File&)> OnRefs(const std::function<void(File&, std::size_t)>& change) {
  return [=](File& f) {
    const auto refs = LongValueRefs(f);
    EXPECT_FALSE(refs.empty());
    for (const std::size_t ref : refs) change(f, ref);
  };
}
std::vector<Damage> LongValueDamage() {
  return {
      {"long value in one row on page 0",
       OnRefs([](File& f, std::size_t ref) {
         f.bytes[ref - 1] = 0x40;
         f.Put(ref + 1, 3, 0);
       }),
       kErrDamaged},
      {"memo column marked fixed-width",
       OnColumns([](File& f, std::size_t c) {
         if (f.bytes[c] == 0x0c) f.bytes[c + 15] = static_cast<char>(f.bytes[c + 15] | 1);
       }),
       kErrDamaged},
      {"long value on a data page that is not a long-value page",
       OnRefs([](File& f, std::size_t ref) { f.Put(ref + 1, 3, static_cast<std::uint32_t>(ref / kPage)); }),
       kErrDamaged},
      {"long value in a row its page does not have",
       OnRefs([](File& f, std::size_t ref) { f.bytes[ref] = static_cast<char>(0xf0); }), kErrDamaged},
      {"long value a byte longer than its rows",
       OnRefs([](File& f, std::size_t ref) { f.Put(ref - 4, 3, f.Get(ref - 4, 3) + 1); }), kErrDamaged},
  };
}

// A change of every stored copy of `find` into `replace`; a fixture that
// does not hold `find` fails the test.
std::function<void(File&)> Replace(const std::string& find, const std::string& replace) {
  return [=](File& f) {
    EXPECT_NE(f.bytes.find(find), std::string::npos) << "the fixture does not hold the value";
    for (std::size_t at = f.bytes.find(find); at != std::string::npos; at = f.bytes.find(find, at + 1)) {
      f.bytes.replace(at, replace.size(), replace);
    }
  };
}

class StructureTest : public ::testing::Test {
 protected:
  void SetUp() override { QORVEL_REQUIRE_SHARED("fixtures/billing.mdb"); }
  // Writes `bytes` to a file and reads it whole: its error (0 for none)
  // must be one of `errors`, and nothing may be printed on the host's
  // standard error. Read without error, its tables hold `rows` rows when
  // that is given.
  void ExpectRead(const std::string& what, const std::string& bytes, std::initializer_list<long> errors,
                  const std::vector<std::size_t>* rows = nullptr) {
    const auto path = temp_ / "damaged.mdb";
    testing::WriteFileBytes(path, bytes);
    std::vector<std::size_t> read;
    ::testing::internal::CaptureStderr();  // file descriptor 2, for the length of the read
    const long error = ReadAll(path, &read);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << what;
    EXPECT_TRUE(std::find(errors.begin(), errors.end(), error) != errors.end()) << what << ": error " << error;
    if (rows != nullptr && error == 0) {
      EXPECT_EQ(read, *rows) << what;
    }
  }
  TempDir temp_;
};

// Each fixture reads whole, then each of its damaged copies fails with the
// error its row names, or (an unclean close) reads the same rows.
TEST_F(StructureTest, DamageThatNoFileCanHoldIsAnError) {
  using namespace std::string_literals;
  const std::pair<const char*, std::vector<Damage>> fixtures[] = {
      {"fixtures/billing.mdb", StructuralDamage()}, {"fixtures/types.mdb", LongValueDamage()},
      // The types the billing files never use. (The stored form's own checks
      // are values_test.cc's: one stands for them.)
      {"fixtures/access-samples/calcFieldTestV2010.accdb",
       {{"a calculated value's data longer than the value",
         Replace("\x0e\0\0\0\xff\xfeWayne, Bruce"s, "\xee\0\0\0\xff\xfeWayne, Bruce"s), kErrDamaged}}},
      {"fixtures/access-samples/extDateTestV2019.accdb",
       {{"an extended date/time with a letter among its digits",
         Replace("0000000000000737592:", "00000000000007375x2:"), kErrDamaged}}},
  };
  for (const auto& [fixture, damages] : fixtures) {
    const File original{testing::ReadFileBytes(SharedPath(fixture))};
    std::vector<std::size_t> rows;
    testing::WriteFileBytes(temp_ / "original.mdb", original.bytes);
    ASSERT_EQ(ReadAll(temp_ / "original.mdb", &rows), 0) << fixture;
    for (const Damage& d : damages) {
      File file = original;
      d.change(file);
      ExpectRead(d.what, file.bytes, {d.error}, &rows);
    }
  }
}

// Cuts at page boundaries read or fail with one of the file errors, and
// fixtures of three formats, among them the files with binary, OLE,
// calculated, extended date/time, complex and unknown columns, read whole;
// nothing is printed on standard error. (Damage at random is the loader
// fuzzer's.)
TEST_F(StructureTest, NothingReachesStandardError) {
  const File billing{testing::ReadFileBytes(SharedPath("fixtures/billing.mdb"))};
  for (std::size_t pages = 1; pages < billing.pages(); pages += 3) {
    ExpectRead("cut at page " + std::to_string(pages), billing.bytes.substr(0, pages * kPage),
               {0, kErrDamaged, kErrTruncated, kErrNotADatabase});
  }
  for (const char* name : {"types.mdb", "access-samples/testV1997.mdb", "access-samples/testV2007.accdb",
                           "access-samples/binIdxTestV2010.accdb", "access-samples/calcFieldTestV2010.accdb",
                           "access-samples/extDateTestV2019.accdb", "access-samples/complexDataTestV2010.accdb",
                           "access-samples/unsupportedFieldsTestV2007.accdb"}) {
    ExpectRead(name, testing::ReadFileBytes(SharedPath("fixtures/") / name), {0});
  }
}

// A file cut short after it was opened, while its tables are read (another
// program replacing it in place): every table either reads whole or fails
// with the engine's error, and nothing is printed.
TEST_F(StructureTest, AFileCutWhileItIsReadIsAnErrorNotALine) {
  for (const std::string name :
       {"fixtures/billing.mdb", "encrypted fixtures/billing.mdb", "fixtures/access-samples/binIdxTestV2010.accdb"}) {
    const bool encrypted = name.starts_with("encrypted ");
    const auto original = SharedPath(encrypted ? name.substr(10) : name);
    if (!std::filesystem::exists(original)) continue;
    std::string bytes = testing::ReadFileBytes(original);
    const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const FileFormat format = RecognizeFormat(std::span(header, kHeaderBytes));
    if (encrypted) bytes = testing::Encrypted(bytes, PageSize(format), 0x5A17C0DEu);
    const auto copy = temp_ / "cut.mdb";
    testing::WriteFileBytes(copy, bytes);
    const auto source = OpenJetSource(copy, format, bytes.size());
    std::filesystem::resize_file(copy, bytes.size() / 2);
    for (std::size_t t = 0; t < source->tables().size(); ++t) {
      ::testing::internal::CaptureStderr();
      const auto read = [&](RowSink& sink) { source->ReadRows(t, sink); };
      const long error = testing::ErrorOf([&] { TableImage::Load(source->tables()[t], read, {}, 0); }).number();
      EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << name << ", table " << t;
      EXPECT_TRUE(error == 0 || error == kErrTruncated || error == kErrDamaged) << name << ": " << error;
    }
  }
}

}  // namespace
}  // namespace qorvel::jet
