// Structural damage in Jet files: copies of billing.mdb made as the test
// runs, each with one kind of change that no Jet file can hold, must fail
// with the engine's damaged (or truncated) error rather than read back as
// data; changes that an unclean close can leave (a stale row count in a
// table definition, a stale free-space map) must not stop the file or
// change its data. Nothing libmdb prints may reach standard error while
// such files are read; nor while files with the column types the billing
// files never use are read, whole or damaged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/errors.h"
#include "jet/file_format.h"
#include "jet/mirror.h"
#include "jet/source.h"
#include "qorvel/automation_error.h"
#include "shared_dir.h"
#include "support/jet_support.h"

namespace qorvel::jet {
namespace {

using ::qorvel::testing::SharedPath;
using testing::TempDir;

// Jet 4 layout: pages of 4096 bytes; a page's type in its first byte; a
// data page's owner at 4, row count at 12 and row offsets from 14; a table
// definition's next page at 4, column count at 45, index count at 51, page
// map reference (row, then a 3-byte page) at 55, free-space map reference
// at 59, column entries of 25 bytes after 63 + 12 per index, each with its
// number at 5.
constexpr std::size_t kPage = 4096;
constexpr unsigned char kDataPage = 0x01;
constexpr unsigned char kDefinitionPage = 0x02;

struct File {
  std::string bytes;

  std::size_t pages() const { return bytes.size() / kPage; }
  unsigned char type(std::size_t page) const { return static_cast<unsigned char>(bytes[page * kPage]); }
  std::uint32_t Get16(std::size_t at) const {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
  }
  std::uint32_t Get32(std::size_t at) const { return Get16(at) | Get16(at + 2) << 16; }
  void Put16(std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xff);
  }
  void Put32(std::size_t at, std::uint32_t value) {
    Put16(at, value & 0xffff);
    Put16(at + 2, value >> 16);
  }

  // Definition pages of tables other than the catalog (the first page of
  // each definition only).
  std::vector<std::size_t> Definitions() const {
    std::vector<std::size_t> out;
    for (std::size_t p = 3; p < pages(); ++p) {
      if (type(p) == kDefinitionPage) out.push_back(p);
    }
    return out;
  }
  std::uint32_t MapRef(std::size_t definition, std::size_t at = 55) const {
    return Get32(definition * kPage + at);
  }
  // The data pages owned by the definitions of user data, not the catalog's.
  std::vector<std::size_t> DataPages() const {
    std::vector<std::size_t> out;
    for (std::size_t p = 3; p < pages(); ++p) {
      if (type(p) == kDataPage && Get32(p * kPage + 4) > 2 && Get16(p * kPage + 12) > 0) out.push_back(p);
    }
    return out;
  }
  // Where row `row` of page `page` starts and ends (absolute offsets).
  std::pair<std::size_t, std::size_t> Row(std::size_t page, std::size_t row) const {
    const std::size_t base = page * kPage;
    const std::size_t start = Get16(base + 14 + 2 * row) & 0x1fff;
    const std::size_t end = row == 0 ? kPage : Get16(base + 14 + 2 * (row - 1)) & 0x1fff;
    return {base + start, base + end};
  }
};

File Billing() { return File{testing::ReadFileBytes(SharedPath("fixtures/billing.mdb"))}; }

// Opens the file and reads every table; the error number, or 0.
long ReadAll(const std::filesystem::path& path, std::vector<std::size_t>* rows = nullptr) {
  try {
    auto db = Database::Open(path, testing::kPassword, testing::TestOptions());
    for (const TableInfo& table : db->tables()) {
      const ResultSet result = db->ReadTable(table.name);
      if (rows != nullptr) rows->push_back(result.row_count());
    }
    return 0;
  } catch (const AutomationError& error) {
    return error.number();
  }
}

// Runs `read` with file descriptor 2 sent to a file, and returns what was
// written there. Only this test process's descriptor changes, and only for
// the length of the call.
std::string CaptureStandardError(const TempDir& temp, const std::function<void()>& read) {
  const auto path = temp / "stderr.txt";
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (saved < 0 || file < 0) {
    ADD_FAILURE() << "cannot redirect standard error";
    return {};
  }
  ::dup2(file, 2);
  ::close(file);
  read();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  return testing::ReadFileBytes(path);
}

struct Damage {
  const char* what;
  std::function<void(File&)> change;
  long error;
};

// Each change applies to every user table (so that the tables the reader
// reads are hit whatever their order); the catalog is left alone unless the
// case says otherwise.
std::vector<Damage> StructuralDamage() {
  return {
      {"page map's page zeroed",
       [](File& f) {
         const std::uint32_t catalog_map = f.MapRef(2) >> 8;
         for (const std::size_t d : f.Definitions()) {
           const std::uint32_t page = f.MapRef(d) >> 8;
           if (page != catalog_map) std::fill_n(f.bytes.begin() + page * kPage, kPage, '\0');
         }
       },
       kErrDamaged},
      {"data page's row count 0x8000",
       [](File& f) {
         for (const std::size_t p : f.DataPages()) f.Put16(p * kPage + 12, 0x8000);
       },
       kErrDamaged},
      {"catalog's data page's row count 0x8000",
       [](File& f) {
         for (std::size_t p = 3; p < f.pages(); ++p) {
           if (f.type(p) == kDataPage && f.Get32(p * kPage + 4) == 2) f.Put16(p * kPage + 12, 0x8000);
         }
       },
       kErrDamaged},
      {"two columns with one number",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) {
           const std::size_t columns = d * kPage + 63 + 12 * f.Get32(d * kPage + 51);
           if (f.Get16(d * kPage + 45) >= 2) f.Put16(columns + 25 + 5, f.Get16(columns + 5));
         }
       },
       kErrDamaged},
      {"definition page of another type",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.bytes[d * kPage] = static_cast<char>(kDataPage);
       },
       kErrDamaged},
      {"definition continued on a data page",
       [](File& f) {
         const std::size_t data = f.DataPages().front();
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 4, static_cast<std::uint32_t>(data));
       },
       kErrDamaged},
      {"definition continued beyond the end of the file",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 4, 0x00ffffff);
       },
       kErrTruncated},
      {"more columns than the definition can hold",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put16(d * kPage + 45, 0xffff);
       },
       kErrDamaged},
      {"column name running past the definition's pages",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) {
           const std::size_t names = d * kPage + 63 + 12 * f.Get32(d * kPage + 51) + 25 * f.Get16(d * kPage + 45);
           f.Put16(names, 0xfff0);
         }
       },
       kErrDamaged},
      {"page map of an unknown kind",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) {
           const std::uint32_t ref = f.MapRef(d);
           f.bytes[f.Row(ref >> 8, ref & 0xff).first] = 7;
         }
       },
       kErrDamaged},
      {"page map reference to a row its page does not have",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.bytes[d * kPage + 55] = static_cast<char>(0xf0);
       },
       kErrDamaged},
      {"page map reference to a definition page",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 55, static_cast<std::uint32_t>(d << 8));
       },
       kErrDamaged},
      {"free-space map reference to a definition page",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 59, static_cast<std::uint32_t>(d << 8));
       },
       kErrDamaged},
      {"page map reference beyond the end of the file",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 55, 0xffffff00u);
       },
       kErrTruncated},
      {"data page listed in a page map turned into an index page",
       [](File& f) {
         for (const std::size_t p : f.DataPages()) f.bytes[p * kPage] = 0x03;
       },
       kErrDamaged},
      {"data page listed in a page map owned by another table",
       [](File& f) {
         for (const std::size_t p : f.DataPages()) f.Put32(p * kPage + 4, 2);
       },
       kErrDamaged},
      {"row starting beyond its page",
       [](File& f) {
         for (const std::size_t p : f.DataPages()) f.Put16(p * kPage + 14, 0x1000);
       },
       kErrDamaged},
      {"row starting inside the row table",
       [](File& f) {
         for (const std::size_t p : f.DataPages()) f.Put16(p * kPage + 14, 0x0004);
       },
       kErrDamaged},
      {"variable-length field beyond its row",
       [](File& f) {
         // The variable fields' offsets lie before the variable count and
         // the null mask at the end of the row.
         for (const std::size_t p : f.DataPages()) {
           const auto [start, end] = f.Row(p, 0);
           const std::size_t mask = (f.Get16(start) + 7) / 8;
           const std::size_t count_at = end - mask - 2;
           const std::size_t variables = f.Get16(count_at);
           if (variables == 0 || variables > 64) continue;
           for (std::size_t v = 0; v <= variables; ++v) f.Put16(count_at - 2 - 2 * v, 0x0ff0);
         }
       },
       kErrDamaged},
  };
}

// Values of the types the billing files never use, changed in place into
// what no file can hold: every stored copy of `find` becomes `replace`.
struct ValueDamage {
  const char* file;
  const char* what;
  std::string find;
  std::string replace;
};

std::vector<ValueDamage> NewerTypeDamage() {
  using namespace std::string_literals;
  static constexpr char kCalculated[] = "fixtures/access-samples/calcFieldTestV2010.accdb";
  static constexpr char kExtended[] = "fixtures/access-samples/extDateTestV2019.accdb";
  return {
      {kCalculated, "a calculated value's data longer than the value", "\x0e\0\0\0\xff\xfeWayne, Bruce"s,
       "\xee\0\0\0\xff\xfeWayne, Bruce"s},
      {kCalculated, "a calculated value's length past 32 bits", "\x0e\0\0\0\xff\xfeWayne, Bruce"s,
       "\x0e\0\0\x80\xff\xfeWayne, Bruce"s},
      {kExtended, "an extended date/time with a letter among its digits", "0000000000000737592:",
       "00000000000007375x2:"},
      {kExtended, "an extended date/time after 9999", "0000000000000737592:", "0000000000009737592:"},
      {kExtended, "an extended date/time past the end of a day", ":0000000459000000000:",
       ":0000000959000000000:"},
  };
}

// The file with the damage applied, or nothing when the fixture is absent
// or does not hold `find`.
std::optional<std::string> Damaged(const ValueDamage& damage) {
  if (!std::filesystem::exists(SharedPath(damage.file))) return std::nullopt;
  std::string bytes = testing::ReadFileBytes(SharedPath(damage.file));
  std::size_t found = 0;
  for (std::size_t at = bytes.find(damage.find); at != std::string::npos; at = bytes.find(damage.find, at + 1)) {
    bytes.replace(at, damage.replace.size(), damage.replace);
    ++found;
  }
  if (found == 0) return std::nullopt;
  return bytes;
}

class StructureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(SharedPath("fixtures/billing.mdb"))) {
      GTEST_SKIP() << "no fixture at " << SharedPath("fixtures/billing.mdb").string();
    }
  }
  TempDir temp_;
};

TEST_F(StructureTest, DamageThatNoFileCanHoldIsAnError) {
  int index = 0;
  for (const Damage& d : StructuralDamage()) {
    File file = Billing();
    d.change(file);
    const auto path = temp_ / ("damaged" + std::to_string(index++) + ".mdb");
    testing::WriteFileBytes(path, file.bytes);
    EXPECT_EQ(ReadAll(path), d.error) << d.what;
  }
}

TEST_F(StructureTest, ImpossibleValuesOfTheNewerTypesAreErrors) {
  for (const ValueDamage& d : NewerTypeDamage()) {
    const auto bytes = Damaged(d);
    if (!bytes) {
      ADD_FAILURE() << d.what << ": " << d.file << " is missing or does not hold the value";
      continue;
    }
    const auto path = temp_ / "damaged.accdb";
    testing::WriteFileBytes(path, *bytes);
    EXPECT_EQ(ReadAll(path), kErrDamaged) << d.what;
  }
}

TEST_F(StructureTest, StaleCountsAndFreeSpaceMapsStillRead) {
  std::vector<std::size_t> original;
  const auto good = temp_ / "good.mdb";
  testing::WriteFileBytes(good, Billing().bytes);
  ASSERT_EQ(ReadAll(good, &original), 0);
  const std::vector<std::pair<const char*, std::function<void(File&)>>> stale = {
      {"row counts of the definitions zeroed",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 16, 0);
       }},
      {"row counts of the definitions too high",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) f.Put32(d * kPage + 16, 999999);
       }},
      {"free-space maps emptied",
       [](File& f) {
         for (const std::size_t d : f.Definitions()) {
           const std::uint32_t ref = f.MapRef(d, 59);
           const auto [start, end] = f.Row(ref >> 8, ref & 0xff);
           std::fill(f.bytes.begin() + static_cast<long>(start) + 5, f.bytes.begin() + static_cast<long>(end), '\0');
         }
       }},
  };
  for (const auto& [what, change] : stale) {
    File file = Billing();
    change(file);
    const auto path = temp_ / "stale.mdb";
    testing::WriteFileBytes(path, file.bytes);
    std::vector<std::size_t> rows;
    EXPECT_EQ(ReadAll(path, &rows), 0) << what;
    EXPECT_EQ(rows, original) << what;
  }
}

// Short files and every structural change above: libmdb is never led to
// print on the host's standard error.
TEST_F(StructureTest, NothingReachesStandardError) {
  std::vector<std::filesystem::path> files;
  const File billing = Billing();
  for (std::size_t pages = 1; pages < billing.pages(); pages += 3) {
    for (const std::size_t extra : {std::size_t{0}, std::size_t{1000}}) {
      files.push_back(temp_ / ("short" + std::to_string(files.size()) + ".mdb"));
      testing::WriteFileBytes(files.back(), billing.bytes.substr(0, pages * kPage + extra));
    }
  }
  for (const Damage& d : StructuralDamage()) {
    File file = billing;
    d.change(file);
    files.push_back(temp_ / ("damaged" + std::to_string(files.size()) + ".mdb"));
    testing::WriteFileBytes(files.back(), file.bytes);
  }
  for (const ValueDamage& d : NewerTypeDamage()) {
    if (const auto bytes = Damaged(d)) {
      files.push_back(temp_ / ("value" + std::to_string(files.size()) + ".accdb"));
      testing::WriteFileBytes(files.back(), *bytes);
    }
  }
  // Random damage of the kinds the random test in database_test.cc makes
  // (scattered bytes, a page of noise, a cut anywhere, a page header field),
  // to fixtures of three formats, among them the files with binary, OLE,
  // calculated, extended date/time, complex and unknown columns (read whole
  // too: libmdb has a warning for each value of a type it does not know).
  for (const char* name : {"fixtures/billing.mdb", "fixtures/types.mdb", "fixtures/access-samples/testV1997.mdb",
                           "fixtures/access-samples/testV2007.accdb", "fixtures/access-samples/test2V2000.mdb",
                           "fixtures/access-samples/binIdxTestV2010.accdb",
                           "fixtures/access-samples/calcFieldTestV2010.accdb",
                           "fixtures/access-samples/extDateTestV2019.accdb",
                           "fixtures/access-samples/complexDataTestV2010.accdb",
                           "fixtures/access-samples/unsupportedFieldsTestV2007.accdb"}) {
    if (!std::filesystem::exists(SharedPath(name))) continue;
    files.push_back(SharedPath(name));
    const std::string original = testing::ReadFileBytes(SharedPath(name));
    const std::size_t page = original[0x14] == 0 ? 2048 : 4096;
    for (unsigned i = 0; i < 160; ++i) {
      std::mt19937 random(i);
      std::string bytes = original;
      switch (i % 4) {
        case 0:
          for (unsigned k = 0, n = 1u << (random() % 9); k < n; ++k) bytes[random() % bytes.size()] = static_cast<char>(random());
          break;
        case 1: {
          const std::size_t p = random() % (bytes.size() / page);
          for (std::size_t k = 0; k < page; ++k) bytes[p * page + k] = static_cast<char>(random());
          break;
        }
        case 2: bytes.resize(random() % bytes.size()); break;
        default: {
          const std::size_t at = (random() % (bytes.size() / page)) * page + random() % 64;
          for (std::size_t k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(random());
        }
      }
      files.push_back(temp_ / ("random" + std::to_string(files.size()) + ".mdb"));
      testing::WriteFileBytes(files.back(), bytes);
    }
  }
  for (const auto& path : files) {
    long error = 0;
    const std::string printed = CaptureStandardError(temp_, [&] { error = ReadAll(path); });
    EXPECT_EQ(printed, "") << path;
    EXPECT_TRUE(error == 0 || error == kErrDamaged || error == kErrTruncated || error == kErrNotADatabase ||
                error == kErrWrongPassword)
        << path << ": " << error;
  }
}

// A file cut short after it was opened, while its tables are read (another
// program replacing it in place): every table either reads whole or fails
// with the engine's error, and libmdb prints nothing.
TEST_F(StructureTest, AFileCutWhileItIsReadIsAnErrorNotALine) {
  for (const char* name : {"fixtures/billing.mdb", "fixtures/access-samples/test2V2000.mdb",
                           "fixtures/access-samples/testV2007.accdb", "fixtures/access-samples/binIdxTestV2010.accdb"}) {
    if (!std::filesystem::exists(SharedPath(name))) continue;
    const std::string bytes = testing::ReadFileBytes(SharedPath(name));
    const auto copy = temp_ / "cut.mdb";
    testing::WriteFileBytes(copy, bytes);
    const auto* header = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const FileFormat format = RecognizeFormat(std::span(header, kHeaderBytes));
    const auto source = OpenMdbSource(copy, format, bytes.size());
    std::filesystem::resize_file(copy, bytes.size() / 2);
    for (std::size_t t = 0; t < source->tables().size(); ++t) {
      long error = 0;
      const std::string printed = CaptureStandardError(temp_, [&] {
        try {
          TableImage::Load(source->tables()[t], [&](RowSink& sink) { source->ReadRows(t, sink); }, {}, 0);
        } catch (const AutomationError& e) {
          error = e.number();
        }
      });
      EXPECT_EQ(printed, "") << name << ", table " << t;
      EXPECT_TRUE(error == 0 || error == kErrTruncated || error == kErrDamaged) << name << ": " << error;
    }
  }
}

}  // namespace
}  // namespace qorvel::jet
