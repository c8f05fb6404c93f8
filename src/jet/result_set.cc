// Reading a prepared statement's rows into a ResultSet.
#include "jet/result_set.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "jet/values.h"

namespace qorvel::jet {
namespace {

Variant IntegerVariant(JetType type, std::int64_t v) {
  switch (type) {
    case JetType::kByte:
      if (v < 0 || v > 255) RaiseOverflow();
      return Variant::FromByte(static_cast<std::uint8_t>(v));
    case JetType::kInteger:
      if (v < -32768 || v > 32767) RaiseOverflow();
      return Variant::FromInteger(static_cast<Integer>(v));
    default:
      if (v < -2147483648LL || v > 2147483647LL) RaiseOverflow();
      return Variant::FromLong(static_cast<Long>(v));
  }
}

// The value of result column `c` of the current row as the Variant of its
// Jet type.
Variant ColumnValue(sqlite3_stmt* stmt, int c, JetType type) {
  const int storage = sqlite3_column_type(stmt, c);
  if (storage == SQLITE_NULL) return Variant::Null();
  switch (type) {
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLong:
      if (storage == SQLITE_FLOAT) {
        const double d = sqlite3_column_double(stmt, c);
        if (!(d > -9.2e18 && d < 9.2e18)) RaiseOverflow();
        return IntegerVariant(type, std::llround(d));
      }
      return IntegerVariant(type, sqlite3_column_int64(stmt, c));
    case JetType::kSingle: return Variant::FromSingle(static_cast<float>(sqlite3_column_double(stmt, c)));
    case JetType::kDouble: return Variant::FromDouble(sqlite3_column_double(stmt, c));
    case JetType::kCurrency:
      if (storage == SQLITE_FLOAT) {
        const double d = std::nearbyint(sqlite3_column_double(stmt, c));
        if (!(d > -9.2e18 && d < 9.2e18)) RaiseOverflow();
        return Variant::FromCurrency(Currency::FromRaw(static_cast<std::int64_t>(d)));
      }
      return Variant::FromCurrency(Currency::FromRaw(sqlite3_column_int64(stmt, c)));
    case JetType::kDateTime: return Variant::FromDate(DateTime(sqlite3_column_double(stmt, c)));
    case JetType::kBoolean: return Variant::FromBoolean(sqlite3_column_double(stmt, c) != 0);
    case JetType::kBinary:
    case JetType::kOle: {
      // The bytes as upper-case hexadecimal digits, two per byte.
      static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
      const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, c));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
      if (bytes == nullptr && size > 0) RaiseOutOfMemory();
      Text hex(2 * size, u'0');
      for (std::size_t i = 0; i < size; ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 15];
      }
      return Variant::FromText(std::move(hex));
    }
    case JetType::kText:
    case JetType::kMemo:
    case JetType::kGuid:
    case JetType::kDateTimeExtended: {
      const auto* units = static_cast<const char16_t*>(sqlite3_column_text16(stmt, c));
      if (units == nullptr) RaiseOutOfMemory();
      return Variant::FromText(Text(units, static_cast<std::size_t>(sqlite3_column_bytes16(stmt, c)) / 2));
    }
    case JetType::kNumeric: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      if (text == nullptr) RaiseOutOfMemory();
      if (const auto decimal = ParseDecimal(text)) return Variant::FromDecimal(*decimal);
      return Variant::FromDouble(sqlite3_column_double(stmt, c));
    }
  }
  return Variant::Null();
}

}  // namespace

void CollectRows(sqlite3* db, sqlite3_stmt* stmt, ResultSet& result, std::size_t expected_rows) {
  constexpr std::size_t kRowsAtOnce = 64;
  result.values.reserve(result.columns.size() * std::clamp<std::size_t>(expected_rows, 1, kRowsAtOnce));
  CollectRowsInBatches(db, stmt, result, std::numeric_limits<std::size_t>::max(), nullptr);
}

void CollectRowsInBatches(sqlite3* db, sqlite3_stmt* stmt, ResultSet& result, std::size_t batch_rows,
                          const std::function<void(const ResultSet&)>& batch) {
  const int count = static_cast<int>(result.columns.size());
  std::size_t rows = result.row_count();
  for (;;) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) {
      const AutomationError error = sql::ErrorFromSqlite(db, rc);
      sqlite3_reset(stmt);
      throw error;
    }
    for (int c = 0; c < count; ++c) {
      result.values.push_back(ColumnValue(stmt, c, result.columns[static_cast<std::size_t>(c)].type));
    }
    if (++rows == batch_rows) {
      batch(result);
      result.values.clear();
      rows = 0;
    }
  }
  sqlite3_reset(stmt);
}

}  // namespace qorvel::jet
