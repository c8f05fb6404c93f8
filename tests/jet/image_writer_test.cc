// A table's copy written as pages by our own code holds what SQLite itself
// would have stored for the same rows: the same values of the same storage
// classes, and b-trees that SQLite's integrity check accepts (every index
// entry present, in its collation's order), through overflow pages and
// interior levels.
#include "jet/image_writer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "jet/row_sink.h"
#include "jet/sqlite_connection.h"
#include "jet/sqlite_handles.h"
#include "jet/table_image.h"
#include "jet/table_schema.h"

namespace qorvel::jet {
namespace {

struct Blob {
  std::string bytes;
};
using Value = std::variant<std::monostate, std::int64_t, double, std::string, Blob>;

const TableInfo kTable{u"T",
                       {{u"Id", JetType::kLong},
                        {u"Amount", JetType::kDouble},
                        {u"Name", JetType::kText},
                        {u"Key", JetType::kGuid},
                        {u"Data", JetType::kBinary}},
                       "T"};

// Values of every kind in every column, the edges of SQLite's conversions
// among them; then enough rows, with long texts, for overflow pages and
// interior levels.
std::vector<std::vector<Value>> Rows(bool text_in_number) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<std::vector<Value>> rows = {
      {std::int64_t{1}, std::int64_t{140737488355327}, std::string("abc"), std::string("{A}"), Blob{}},
      {2.0, std::int64_t{140737488355328}, std::string("ABC"), std::string("{a}"), 2.0},
      {2.5, 1e300, std::string("\xC3\xA4\xC3\xB6"), std::string(""), std::int64_t{3}},
      {nan, 3.0, std::string("\xC3\x84\xC3\x96"), std::monostate{}, std::string("t")},
      {-0.0, -0.0, std::string(""), std::string("{B}"), Blob{"\x01\x02"}},
      {9.3e18, nan, std::monostate{}, std::string("{b}"), 1e-300},
      {std::numeric_limits<std::int64_t>::min(), std::int64_t{-5}, std::string("x"), std::string("{C}"), nan},
      {std::numeric_limits<std::int64_t>::max(), 40000.5, std::string("X"), std::string("{c}"), std::monostate{}},
  };
  if (text_in_number) rows.push_back({std::string("12"), std::string("4.5"), std::int64_t{7}, 8.5, Blob{"z"}});
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "name " + std::to_string((i * 7919) % 3001) + std::string(i % 97 == 0 ? 6000 : 20, 'n');
    rows.push_back({std::int64_t{(i * 104729) % 100003 - 50000}, i * 0.25, name,
                    "{" + std::to_string((i * 31337) % 65537) + "-GUID}", Blob{std::string(i % 50, 'b')}});
  }
  return rows;
}

void Set(RowSink& sink, int column, const Value& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) sink.SetInteger(column, *i);
  if (const auto* r = std::get_if<double>(&value)) sink.SetReal(column, *r);
  if (const auto* s = std::get_if<std::string>(&value)) sink.SetText(column, *s);
  if (const auto* b = std::get_if<Blob>(&value)) {
    sink.SetBlob(column, {reinterpret_cast<const std::uint8_t*>(b->bytes.data()), b->bytes.size()});
  }
  if (std::holds_alternative<std::monostate>(value)) sink.SetNull(column);
}

void Bind(sqlite3_stmt* stmt, int at, const Value& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) sqlite3_bind_int64(stmt, at, *i);
  if (const auto* r = std::get_if<double>(&value)) sqlite3_bind_double(stmt, at, *r);
  if (const auto* s = std::get_if<std::string>(&value)) {
    sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
  }
  if (const auto* b = std::get_if<Blob>(&value)) {
    sqlite3_bind_zeroblob(stmt, at, 0);
    if (!b->bytes.empty()) sqlite3_bind_blob(stmt, at, b->bytes.data(), static_cast<int>(b->bytes.size()), nullptr);
  }
  if (std::holds_alternative<std::monostate>(value)) sqlite3_bind_null(stmt, at);
}

// Every value of the table, with its storage class, in rowid order; then
// the rowids in each column's order (read from its index when `indexed`).
std::string Dump(sqlite3* db, bool indexed) {
  std::string dump;
  const auto run = [&](const std::string& sql) {
    int rc = SQLITE_OK;
    const Statement stmt = PrepareStatement(db, sql, &rc);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << sqlite3_errmsg(db);
    while (rc == SQLITE_OK && sqlite3_step(stmt.get()) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(stmt.get()); ++c) {
        const unsigned char* text = sqlite3_column_text(stmt.get(), c);
        dump += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
        dump += '|';
      }
      dump += '\n';
    }
  };
  run("SELECT typeof(Id), quote(Id), typeof(Amount), quote(Amount), typeof(Name), quote(Name), typeof(Key), "
      "quote(Key), typeof(Data), quote(Data) FROM T ORDER BY rowid");
  int index = 0;
  for (const char* column : {"Id", "Amount", "Name", "Key", "Data"}) {
    const std::string by = indexed ? " INDEXED BY ix" + std::to_string(++index) + "_T" : "";
    run(std::string("SELECT rowid FROM T") + by + " ORDER BY " + column + ", rowid");
  }
  return dump;
}

TEST(ImageWriterTest, PagesHoldWhatSqliteWouldStore) {
  for (const bool text_in_number : {false, true}) {
    SCOPED_TRACE(text_in_number ? "a text in a number column: through SQLite" : "written as pages");
    const std::vector<std::vector<Value>> rows = Rows(text_in_number);
    const auto image = TableImage::Load(
        kTable,
        [&](RowSink& sink) {
          for (const auto& row : rows) {
            for (std::size_t c = 0; c < row.size(); ++c) Set(sink, static_cast<int>(c), row[c]);
            sink.EndRow();
          }
        },
        {u"Id", u"Amount", u"Name", u"Key", u"Data"}, 0);
    for (const char16_t* column : {u"Id", u"Amount", u"Name", u"Key", u"Data"}) {
      EXPECT_TRUE(image->HasIndex(column));
    }

    const Connection copy = OpenInMemory();
    auto* bytes = static_cast<unsigned char*>(sqlite3_malloc64(image->size()));
    std::memcpy(bytes, image->data(), image->size());
    const auto size = static_cast<sqlite3_int64>(image->size());
    ASSERT_EQ(sqlite3_deserialize(copy.get(), "main", bytes, size, size,
                                  SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY),
              SQLITE_OK);
    int rc = SQLITE_OK;
    const Statement check = PrepareStatement(copy.get(), "PRAGMA integrity_check", &rc);
    ASSERT_EQ(sqlite3_step(check.get()), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0)), "ok");

    const Connection reference = OpenInMemory();
    Exec(reference.get(), CreateTableSql("T", kTable, true));
    const Statement insert = PrepareStatement(reference.get(), "INSERT INTO T VALUES (?, ?, ?, ?, ?)", &rc);
    for (const auto& row : rows) {
      for (std::size_t c = 0; c < row.size(); ++c) Bind(insert.get(), static_cast<int>(c + 1), row[c]);
      ASSERT_EQ(sqlite3_step(insert.get()), SQLITE_DONE);
      sqlite3_reset(insert.get());
    }
    const std::string written = Dump(copy.get(), true);
    const std::string expected = Dump(reference.get(), false);
    const auto first = std::mismatch(written.begin(), written.end(), expected.begin(), expected.end()).first;
    EXPECT_TRUE(written == expected) << "from byte " << (first - written.begin()) << ": "
                                     << written.substr(static_cast<std::size_t>(first - written.begin()), 80);
  }
}

}  // namespace
}  // namespace qorvel::jet
