// The declared types of a table's copy and its CREATE TABLE statement.
#include "jet/table_schema.h"

#include <array>
#include <cstddef>

#include "base/text_ops.h"
#include "jet/sqlite_handles.h"
#include "qorvel/types.h"

namespace qorvel::jet {
namespace {

struct DeclaredName {
  JetType type;
  const char* declared;
};

constexpr std::array<DeclaredName, 15> kDeclared = {{
    {JetType::kByte, "JetByte INTEGER"},
    {JetType::kInteger, "JetInteger INTEGER"},
    {JetType::kLong, "JetLong INTEGER"},
    {JetType::kSingle, "JetSingle REAL"},
    {JetType::kDouble, "JetDouble REAL"},
    {JetType::kCurrency, "JetCurrency INTEGER"},
    {JetType::kDateTime, "JetDateTime REAL"},
    {JetType::kText, "JetText TEXT"},
    {JetType::kMemo, "JetMemo TEXT"},
    {JetType::kBoolean, "JetBoolean INTEGER"},
    {JetType::kGuid, "JetGUID TEXT"},
    {JetType::kNumeric, "JetNumeric TEXT"},
    {JetType::kBinary, "JetBinary BLOB"},
    {JetType::kOle, "JetOLE BLOB"},
    {JetType::kDateTimeExtended, "JetDateTimeExtended TEXT"},
}};

}  // namespace

// GUIDs are stored in one canonical upper-case form, so they compare
// exactly, which makes a join on them as cheap as one on numbers.
bool UsesTextCollation(JetType type) { return type == JetType::kText || type == JetType::kMemo; }

const char* DeclaredType(JetType type) {
  for (const auto& entry : kDeclared) {
    if (entry.type == type) return entry.declared;
  }
  return "TEXT";
}

std::optional<JetType> JetTypeOfDeclared(std::string_view declared) {
  for (const auto& entry : kDeclared) {
    if (EqualsIgnoringAsciiCase(declared, entry.declared)) return entry.type;
  }
  return std::nullopt;
}

std::string CreateTableSql(const std::string& schema_and_name, const TableInfo& table, bool with_collation) {
  std::string sql = "CREATE TABLE " + schema_and_name + " (";
  // SQLite needs a column; a table whose columns are all of kinds the
  // engine leaves out gets a BLOB placeholder, which readers leave out too.
  if (table.columns.empty()) sql += QuoteIdentifier(kNoColumnsPlaceholder) + " BLOB";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnInfo& column = table.columns[i];
    if (i > 0) sql += ", ";
    sql += QuoteIdentifier(ToUtf8(column.name));
    sql += ' ';
    sql += DeclaredType(column.type);
    if (with_collation && UsesTextCollation(column.type)) {
      sql += " COLLATE ";
      sql += kTextCollation;
    }
  }
  sql += ")";
  return sql;
}

}  // namespace qorvel::jet
