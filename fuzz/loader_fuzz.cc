// Fuzz target for the Jet file loader.
//
// An input is a list of edits to one of the fixture files (read from the
// shared folder once, at start): each edit picks a region of the file by
// kind (the header page, the catalog's definition, another table
// definition, a page map, a data page, or anywhere), a page of that kind, an
// offset weighted toward the page's first bytes (where the page header,
// counts, row table and column entries lie), and one to four bytes to write
// there; a last edit may cut the file short. The copy is written to a
// temporary file, opened and every table read. The only outcomes allowed
// are success and the engine's file errors; anything else aborts, and the
// sanitizers report memory faults.
#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"
#include "jet/errors.h"
#include "qorvel/automation_error.h"
#include "support/jet_support.h"

namespace qorvel {
namespace {

enum Region { kHeader, kCatalog, kDefinition, kMap, kData, kAnywhere, kRegions };

struct Fixture {
  std::string bytes;
  std::size_t page = 4096;
  std::array<std::vector<std::size_t>, kRegions> pages;  // page numbers by region
};

std::vector<Fixture> LoadFixtures() {
  std::vector<Fixture> fixtures;
  // The last four hold binary, OLE, calculated and extended date/time
  // columns.
  for (const char* name : {"billing.mdb", "types.mdb", "access-samples/testV1997.mdb",
                           "access-samples/testV2007.accdb", "access-samples/binIdxTestV2010.accdb",
                           "access-samples/test2V2000.mdb", "access-samples/calcFieldTestV2010.accdb",
                           "access-samples/extDateTestV2019.accdb"}) {
    std::ifstream file(std::filesystem::path(QORVEL_SHARED_DIR) / "fixtures" / name, std::ios::binary);
    if (!file) continue;
    Fixture f;
    f.bytes.assign(std::istreambuf_iterator<char>(file), {});
    if (f.bytes.size() < 0x20) continue;
    f.page = f.bytes[0x14] == 0 ? 2048 : 4096;
    const std::size_t count = f.bytes.size() / f.page;
    for (std::size_t p = 0; p < count; ++p) {
      const auto type = static_cast<unsigned char>(f.bytes[p * f.page]);
      f.pages[kAnywhere].push_back(p);
      if (p == 0) f.pages[kHeader].push_back(p);
      if (p == 2) f.pages[kCatalog].push_back(p);
      if (type == 0x02 && p != 2) f.pages[kDefinition].push_back(p);
      if (type == 0x05) f.pages[kMap].push_back(p);
      if (type == 0x01) f.pages[kData].push_back(p);
    }
    // Page maps mostly live in rows of data pages: the pages the table
    // definitions name for their maps count as map pages too.
    for (const std::size_t p : f.pages[kDefinition]) {
      const std::size_t at = p * f.page + (f.page == 2048 ? 35 : 55);
      const std::size_t map_page = static_cast<unsigned char>(f.bytes[at + 1]) |
                                   static_cast<unsigned char>(f.bytes[at + 2]) << 8 |
                                   static_cast<std::size_t>(static_cast<unsigned char>(f.bytes[at + 3])) << 16;
      if (map_page < count) f.pages[kMap].push_back(map_page);
    }
    fixtures.push_back(std::move(f));
  }
  if (fixtures.empty()) {
    std::fprintf(stderr, "loader_fuzz: no fixtures under %s/fixtures\n", QORVEL_SHARED_DIR);
    std::abort();
  }
  return fixtures;
}

void RunOne(const std::uint8_t* data, std::size_t size) {
  static const std::vector<Fixture> fixtures = LoadFixtures();
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("loader_fuzz." + std::to_string(::getpid()) + ".mdb");
  FuzzedDataProvider in(data, size);
  const Fixture& f = fixtures[in.ConsumeIntegralInRange<std::size_t>(0, fixtures.size() - 1)];
  std::string bytes = f.bytes;
  const int edits = in.ConsumeIntegralInRange(1, 8);
  for (int e = 0; e < edits && in.remaining_bytes() > 0; ++e) {
    const auto& pages = f.pages[in.ConsumeIntegralInRange(0, kRegions - 1)];
    if (pages.empty()) continue;
    const std::size_t page = pages[in.ConsumeIntegralInRange<std::size_t>(0, pages.size() - 1)];
    const std::size_t offset = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::size_t>(0, 96)
                                                : in.ConsumeIntegralInRange<std::size_t>(0, f.page - 1);
    const int count = in.ConsumeIntegralInRange(1, 4);
    for (int k = 0; k < count; ++k) {
      const std::size_t at = page * f.page + offset + static_cast<std::size_t>(k);
      if (at < bytes.size()) bytes[at] = static_cast<char>(in.ConsumeIntegral<std::uint8_t>());
    }
  }
  if (in.ConsumeIntegralInRange(0, 15) == 0) {
    bytes.resize(in.ConsumeIntegralInRange<std::size_t>(0, bytes.size()));
  }
  jet::testing::WriteFileBytes(path, bytes);
  try {
    // Nobody writes the file while it is read: no wait for it to be still.
    jet::DatabaseOptions options = jet::testing::TestOptions();
    options.settle_time = {};
    auto db = jet::Database::Open(path, jet::testing::kPassword, std::move(options));
    for (const jet::TableInfo& table : db->tables()) db->ReadTable(table.name);
  } catch (const AutomationError& error) {
    const long n = error.number();
    if (n != jet::kErrDamaged && n != jet::kErrTruncated && n != jet::kErrNotADatabase &&
        n != jet::kErrWrongPassword) {
      std::fprintf(stderr, "loader_fuzz: unexpected error %ld: %s\n", n, error.what());
      std::abort();
    }
  }
}

}  // namespace
}  // namespace qorvel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qorvel::RunOne(data, size);
  return 0;
}
