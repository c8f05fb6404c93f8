// Reading the server's tables and their column types.
#include "pg/server_catalog.h"

#include <libpq-fe.h>

#include <cstdlib>

#include "jet/text.h"
#include "pg/server.h"

namespace qorvel::pg {
namespace {

constexpr char kCatalogQuery[] =
    "SELECT c.relname, a.attname,"
    " CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE a.atttypid END,"
    " CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END,"
    " pg_catalog.format_type(a.atttypid, a.atttypmod)"
    " FROM pg_catalog.pg_class c"
    " JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped"
    " JOIN pg_catalog.pg_type t ON t.oid = a.atttypid"
    " WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') AND pg_catalog.pg_table_is_visible(c.oid)"
    " AND c.relnamespace NOT IN ('pg_catalog'::regnamespace, 'information_schema'::regnamespace)"
    " ORDER BY c.relname COLLATE \"C\", c.oid, a.attnum";

constexpr int kMaxText = 255;  // the longest Jet Text column

}  // namespace

std::optional<jet::JetType> JetTypeOf(unsigned oid, int modifier) {
  using jet::JetType;
  switch (oid) {
    case kBoolOid: return JetType::kBoolean;
    case kByteaOid: return JetType::kBinary;
    case kInt2Oid: return JetType::kInteger;
    case kInt4Oid: return JetType::kLong;
    case kInt8Oid: return JetType::kNumeric;
    case kFloat4Oid: return JetType::kSingle;
    case kFloat8Oid: return JetType::kDouble;
    case kNumericOid: {
      // The modifier holds (precision << 16 | scale) + 4.
      const bool money = modifier >= 4 && ((modifier - 4) >> 16) == 19 && ((modifier - 4) & 0xffff) == 4;
      return money ? JetType::kCurrency : JetType::kNumeric;
    }
    case kCharOid:
    case kNameOid: return JetType::kText;
    case kTextOid: return JetType::kMemo;
    case kVarcharOid:
    case kBpcharOid:  // the modifier is the length + 4
      return modifier >= 4 && modifier - 4 <= kMaxText ? JetType::kText : JetType::kMemo;
    case kDateOid:
    case kTimestampOid:
    case kTimestampTzOid: return JetType::kDateTime;
    case kUuidOid: return JetType::kGuid;
    default: return std::nullopt;
  }
}

void ServerCatalog::Load(pg_conn* connection, std::string_view uri) {
  const ResultHandle result = Run(connection, kCatalogQuery, PGRES_TUPLES_OK, uri, u"reading the catalog");
  std::vector<jet::TableInfo> tables;
  const int rows = PQntuples(result.get());
  for (int r = 0; r < rows; ++r) {
    const Text table = FromUtf8(PQgetvalue(result.get(), r, 0));
    if (tables.empty() || tables.back().name != table) tables.push_back(jet::TableInfo{table, {}, {}});
    jet::TableInfo& info = tables.back();
    const Text column = FromUtf8(PQgetvalue(result.get(), r, 1));
    const auto oid = static_cast<unsigned>(std::strtoul(PQgetvalue(result.get(), r, 2), nullptr, 10));
    const int modifier = std::atoi(PQgetvalue(result.get(), r, 3));
    if (const auto type = JetTypeOf(oid, modifier)) {
      info.columns.push_back({column, *type});
    } else {
      info.unsupported.push_back({column, u"PostgreSQL type " + FromUtf8(PQgetvalue(result.get(), r, 4))});
    }
  }
  tables_ = std::move(tables);
  by_name_.clear();
  exact_.clear();
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    by_name_.emplace(jet::FoldText(tables_[i].name), i);
    exact_.emplace(tables_[i].name, i);
  }
}

const jet::TableInfo* ServerCatalog::FindTable(std::u16string_view name) const {
  if (const auto exact = exact_.find(std::u16string(name)); exact != exact_.end()) return &tables_[exact->second];
  const auto it = by_name_.find(jet::FoldText(name));
  return it != by_name_.end() ? &tables_[it->second] : nullptr;
}

}  // namespace qorvel::pg
