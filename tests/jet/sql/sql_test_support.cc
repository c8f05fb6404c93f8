// Test support for the SQL dialect.
#include "sql_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "jet/sql/resolver.h"
#include "jet/sqlite_handles.h"
#include "jet/table_schema.h"
#include "jet/text.h"
#include "jet/values.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"

namespace qorvel::sql_test {
namespace {

using jet::ColumnInfo;
using jet::TableInfo;

// A table from "Name:type Name:type ...", the types as JetTypeName spells
// them.
TableInfo Table(std::u16string name, std::string sqlite_name, std::string_view columns) {
  TableInfo table{std::move(name), {}, std::move(sqlite_name)};
  while (!columns.empty()) {
    const std::size_t colon = columns.find(':');
    const std::size_t end = std::min(columns.find(' '), columns.size());
    const std::string_view type_name = columns.substr(colon + 1, end - colon - 1);
    int type = 0;
    while (type_name != jet::JetTypeName(static_cast<JetType>(type))) {
      if (++type > static_cast<int>(JetType::kNumeric)) throw std::invalid_argument("type");
    }
    table.columns.push_back({FromUtf8(columns.substr(0, colon)), static_cast<JetType>(type)});
    columns.remove_prefix(std::min(end + 1, columns.size()));
  }
  return table;
}

// The value of column `i` of the current row as a Variant of `type`,
// checking that SQLite holds it in the storage form of that type.
Variant ReadCell(sqlite3_stmt* statement, int i, JetType type) {
  const int stored = sqlite3_column_type(statement, i);
  if (stored == SQLITE_NULL) return Variant::Null();
  const bool is_text =
      jet::sql::ClassOf(type) == jet::sql::ValueClass::kText || type == JetType::kNumeric;
  const bool is_real =
      type == JetType::kSingle || type == JetType::kDouble || type == JetType::kDateTime;
  EXPECT_EQ(stored, is_text ? SQLITE_TEXT : is_real ? SQLITE_FLOAT : SQLITE_INTEGER)
      << "column " << i << " of type " << jet::JetTypeName(type) << " is not in its storage form";
  const sqlite3_int64 integer = sqlite3_column_int64(statement, i);
  const double number = sqlite3_column_double(statement, i);
  switch (type) {
    case JetType::kByte: return Variant::FromByte(static_cast<std::uint8_t>(integer));
    case JetType::kInteger: return Variant::FromInteger(static_cast<Integer>(integer));
    case JetType::kLong: return Variant::FromLong(static_cast<Long>(integer));
    case JetType::kBoolean: return Variant::FromBoolean(integer != 0);
    case JetType::kSingle: return Variant::FromSingle(static_cast<float>(number));
    case JetType::kDouble: return Variant::FromDouble(number);
    case JetType::kCurrency: return Variant::FromCurrency(Currency::FromRaw(integer));
    case JetType::kDateTime: return Variant::FromDate(DateTime(number));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
      return Variant::FromText(FromUtf8(text != nullptr ? text : ""));
    }
  }
}

}  // namespace

const TableInfo* FakeCatalog::FindTable(std::u16string_view name) const {
  for (const TableInfo& table : tables_) {
    if (jet::sql::SameName(table.name, name)) return &table;
  }
  return nullptr;
}

FakeCatalog LookupCatalog() {
  FakeCatalog catalog;
  catalog.Add(
      Table(u"ActivityLog", "m_ActivityLog",
            "GUID:GUID PeopleID:Long Active:Integer ActivityDate:DateTime Fee:Currency "
            "Balance:Currency InvoiceNumber:Long InvoiceDate:DateTime CareProviderID:Text"));
  catalog.Add(Table(u"Payment", "m_Payment",
                    "ActivityLogGUID:GUID Active:Integer PaymentDate:DateTime "
                    "DateEntered:DateTime Payment:Currency WriteOff:Currency"));
  catalog.Add(Table(u"Credit", "m_Credit \"2\"",
                    "PeopleID:Long Balance:Currency Active:Integer Retainer:Integer"));
  catalog.Add(Table(u"Invoice", "m_Invoice",
                    "InvoiceNumber:Long PeopleID:Long Status:Integer DateEntered:DateTime"));
  catalog.Add(Table(u"CaseClientContact", "m_CaseClientContact",
                    "PeopleID:Long Category:Text DateEntered:DateTime DateModified:DateTime"));
  catalog.Add(Table(u"Client", "m_Client",
                    "PeopleID:Long FirstName:Text DateEntered:DateTime DateModified:DateTime"));
  catalog.Add(
      Table(u"LTCBenefit", "m_LTCBenefit", "PeopleID:Long BenefitType:Text Enabled:Integer"));
  catalog.Add(Table(u"AllTypes", "m_AllTypes",
                    "Grp:Long Byt:Byte Int:Integer Lng:Long Sng:Single Dbl:Double Cur:Currency "
                    "Dat:DateTime Txt:Text Mem:Memo Boo:Boolean Gid:GUID Num:Numeric"));
  return catalog;
}

DateTime ReadTestDate(std::u16string_view text) {
  if (const auto iso = jet::ParseIsoDateTime(text)) return *iso;
  return platform::FindLocale("en-US")->TextToDate(Text(text));
}

double Date(int year, int month, int day, int hour, int minute, int second) {
  return DateTime::FromParts(year, month, day, hour, minute, second).value().value();
}

TestDatabase::TestDatabase(FakeCatalog catalog) : catalog_(std::move(catalog)) {
  if (jet::OpenConnection(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &db_) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open an in-memory database";
    return;
  }
  EXPECT_EQ(jet::RegisterTextCollation(db_.get()), SQLITE_OK);
  jet::sql::RegisterFunctions(db_.get(), [this] { return now_; });
  // Each column declared as the mirror declares it.
  for (const TableInfo& table : catalog_.tables()) {
    std::string sql = "CREATE TABLE " + jet::QuoteIdentifier(table.sqlite_name) + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      const JetType type = table.columns[i].type;
      sql += (i > 0 ? ", " : "") + jet::QuoteIdentifier(ToUtf8(table.columns[i].name)) + " " +
             jet::DeclaredType(type);
      if (jet::sql::ClassOf(type) == jet::sql::ValueClass::kText) sql += std::string(" COLLATE ") + jet::kTextCollation;
    }
    Exec(sql + ")");
  }
}

void TestDatabase::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << (error != nullptr ? error : "?");
  }
  sqlite3_free(error);
}

void TestDatabase::Insert(std::string_view table, const std::vector<std::string>& values) {
  const TableInfo* info = catalog_.FindTable(FromUtf8(table));
  ASSERT_NE(info, nullptr) << table;
  ASSERT_EQ(values.size(), info->columns.size()) << table;
  std::string sql = "INSERT INTO " + jet::QuoteIdentifier(info->sqlite_name) + " VALUES (";
  for (std::size_t i = 0; i < values.size(); ++i) sql += (i > 0 ? ", " : "") + values[i];
  Exec(sql + ")");
}

Result TestDatabase::Run(std::u16string_view statement) {
  const jet::sql::Translation translation = jet::sql::Translate(statement, catalog_, ReadTestDate);
  EXPECT_EQ(translation.parameters, jet::sql::Shape(statement, ReadTestDate).literals)
      << ToUtf8(statement);
  int prepared = SQLITE_OK;
  const jet::Statement statement_handle = jet::PrepareStatement(db_.get(), translation.sqlite_sql, &prepared);
  if (!statement_handle) throw jet::sql::ErrorFromSqlite(db_.get(), prepared);
  sqlite3_stmt* raw = statement_handle.get();
  jet::sql::BindParameters(raw, translation.parameters);
  Result result;
  result.columns = translation.columns;
  EXPECT_EQ(sqlite3_column_count(raw), static_cast<int>(translation.columns.size()));
  for (;;) {
    const int rc = sqlite3_step(raw);
    if (rc == SQLITE_DONE) return result;
    if (rc != SQLITE_ROW) throw jet::sql::ErrorFromSqlite(db_.get(), rc);
    std::vector<Variant> row;
    for (std::size_t i = 0; i < translation.columns.size(); ++i) {
      row.push_back(ReadCell(raw, static_cast<int>(i), translation.columns[i].type));
    }
    result.rows.push_back(std::move(row));
  }
}

}  // namespace qorvel::sql_test
