// The tables of a server database as the dialect's resolver sees them: every
// table, view and foreign table on the connection's search path, with its
// columns' server types read as Jet types:
//   numeric(19,4)                      Currency
//   numeric of any other kind, bigint  Numeric (exact, as Decimal)
//   smallint / integer                 Integer / Long
//   real / double precision            Single / Double
//   boolean                            Yes/No
//   timestamp, timestamptz, date       Date/Time
//   uuid                               GUID
//   varchar(n) and char(n) to 255      Text
//   text, longer or unbounded varchar  Memo
//   bytea                              Binary
// Domains count as their base type. Columns of any other type are listed
// as unsupported, so a statement that names one says so. Names keep the
// server's spelling; lookups by name ignore letter case as Jet's do.
#ifndef QORVEL_PG_SERVER_CATALOG_H_
#define QORVEL_PG_SERVER_CATALOG_H_

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/catalog.h"

struct pg_conn;

namespace qorvel::pg {

// The server's type identifiers (pg_type oids) that the back end reads.
enum TypeOid : unsigned {
  kBoolOid = 16,
  kByteaOid = 17,
  kCharOid = 18,
  kNameOid = 19,
  kInt8Oid = 20,
  kInt2Oid = 21,
  kInt4Oid = 23,
  kTextOid = 25,
  kFloat4Oid = 700,
  kFloat8Oid = 701,
  kBpcharOid = 1042,
  kVarcharOid = 1043,
  kDateOid = 1082,
  kTimestampOid = 1114,
  kTimestampTzOid = 1184,
  kNumericOid = 1700,
  kUuidOid = 2950,
};

// The Jet type of a column of server type `oid` with type modifier
// `modifier` (-1 for none), or nothing for a type the table above lacks.
std::optional<jet::JetType> JetTypeOf(unsigned oid, int modifier);

class ServerCatalog final : public jet::Catalog {
 public:
  // Reads the tables visible on `connection` (replacing those read
  // before; pointers to them become invalid). Raises AutomationError (the
  // server's failure, its message without the passwords of `uri`).
  void Load(pg_conn* connection, std::string_view uri);

  // The table, ignoring letter case; where two tables differ only in case,
  // the one spelt exactly so, else the first in name order.
  const jet::TableInfo* FindTable(std::u16string_view name) const override;

  // Every table read, in name order.
  const std::vector<jet::TableInfo>& tables() const { return tables_; }

 private:
  std::vector<jet::TableInfo> tables_;
  std::unordered_map<std::u16string, std::size_t> by_name_;  // folded name -> first index
  std::unordered_map<std::u16string, std::size_t> exact_;    // name -> index
};

}  // namespace qorvel::pg

#endif  // QORVEL_PG_SERVER_CATALOG_H_
