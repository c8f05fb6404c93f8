// Test support for the SQL dialect.
#include "sql_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

#include "jet/sql/resolver.h"
#include "jet/sqlite_handles.h"
#include "jet/table_schema.h"
#include "jet/text.h"
#include "jet/values.h"
#include "platform/locale.h"
#include "qorvel/automation_error.h"

namespace qorvel::sql_test {
namespace {

using jet::TableInfo;

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
  using enum JetType;
  FakeCatalog catalog;
  catalog.Add({u"ActivityLog",
               {{u"GUID", kGuid}, {u"PeopleID", kLong}, {u"Active", kInteger}, {u"ActivityDate", kDateTime},
                {u"Fee", kCurrency}, {u"Balance", kCurrency}, {u"InvoiceNumber", kLong}, {u"InvoiceDate", kDateTime},
                {u"CareProviderID", kText}},
               "m_ActivityLog"});
  catalog.Add({u"Payment",
               {{u"ActivityLogGUID", kGuid}, {u"Active", kInteger}, {u"PaymentDate", kDateTime},
                {u"DateEntered", kDateTime}, {u"Payment", kCurrency}, {u"WriteOff", kCurrency}},
               "m_Payment"});
  catalog.Add({u"Credit",
               {{u"PeopleID", kLong}, {u"Balance", kCurrency}, {u"Active", kInteger}, {u"Retainer", kInteger}},
               "m_Credit \"2\""});
  catalog.Add({u"Invoice",
               {{u"InvoiceNumber", kLong}, {u"PeopleID", kLong}, {u"Status", kInteger}, {u"DateEntered", kDateTime}},
               "m_Invoice"});
  catalog.Add({u"CaseClientContact",
               {{u"PeopleID", kLong}, {u"Category", kText}, {u"DateEntered", kDateTime}, {u"DateModified", kDateTime}},
               "m_CaseClientContact"});
  catalog.Add({u"Client",
               {{u"PeopleID", kLong}, {u"FirstName", kText}, {u"DateEntered", kDateTime}, {u"DateModified", kDateTime}},
               "m_Client"});
  catalog.Add({u"LTCBenefit", {{u"PeopleID", kLong}, {u"BenefitType", kText}, {u"Enabled", kInteger}}, "m_LTCBenefit"});
  catalog.Add({u"AllTypes",
               {{u"Grp", kLong}, {u"Byt", kByte}, {u"Int", kInteger}, {u"Lng", kLong}, {u"Sng", kSingle},
                {u"Dbl", kDouble}, {u"Cur", kCurrency}, {u"Dat", kDateTime}, {u"Txt", kText}, {u"Mem", kMemo},
                {u"Boo", kBoolean}, {u"Gid", kGuid}, {u"Num", kNumeric}},
               "m_AllTypes"});
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
