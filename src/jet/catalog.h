// The column types of a database table as the engine keeps them, and the
// catalog through which the statement translator looks tables up.
//
// The mirror stores each Jet type in SQLite as follows, and the translator
// relies on it:
//   Byte, Integer, Long, Boolean  INTEGER (Boolean as -1/0)
//   Single, Double                REAL
//   Currency                      INTEGER, a count of ten-thousandths
//   DateTime                      REAL, the automation date
//   Text, Memo                    TEXT, collation JETTEXT (case-insensitive)
//   GUID                          TEXT "{8-4-4-4-12}", upper case, compared exactly
//   Numeric                       TEXT, the exact decimal ("-12.3400" → "-12.34")
//   Binary, OLE                   BLOB, the stored bytes
//   DateTimeExtended              TEXT "yyyy-mm-dd hh:mm:ss.fffffff" (years 1 to
//                                 9999, seven fractional digits)
#ifndef QORVEL_JET_CATALOG_H_
#define QORVEL_JET_CATALOG_H_

#include <string>
#include <string_view>
#include <vector>

namespace qorvel::jet {

enum class JetType {
  kByte,
  kInteger,
  kLong,
  kSingle,
  kDouble,
  kCurrency,
  kDateTime,
  kText,
  kMemo,
  kBoolean,
  kGuid,
  kNumeric,
  kBinary,
  kOle,
  kDateTimeExtended,
};

const char* JetTypeName(JetType type);

struct ColumnInfo {
  std::u16string name;  // as the file spells it
  JetType type;
  // What the file declares of the values' size, 0 where it declares none:
  // a Text column's most characters, a Numeric column's digits.
  int length = 0;
  int precision = 0;
  int scale = 0;
  friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

// A column of the file whose values the engine cannot read, and why.
struct UnsupportedColumn {
  std::u16string name;  // as the file spells it
  std::u16string kind;  // "attachment, multi-value or version history", "unknown type 70"
  friend bool operator==(const UnsupportedColumn&, const UnsupportedColumn&) = default;
};

// An index a Jet file declares on a table (its primary key and its own
// indexes, not those kept for relationships), by its columns in key order.
struct IndexInfo {
  std::vector<std::u16string> columns;  // as the file spells them
  bool primary = false;
  bool unique = false;
  friend bool operator==(const IndexInfo&, const IndexInfo&) = default;
};

struct TableInfo {
  std::u16string name;  // as the file spells it
  std::vector<ColumnInfo> columns;
  // The SQLite name of the mirror table, unquoted (QuoteIdentifier quotes
  // it for SQL).
  std::string sqlite_name;
  // The columns left out of `columns`, in the file's order.
  std::vector<UnsupportedColumn> unsupported = {};
  // The indexes the file declares whose columns are all in `columns`.
  std::vector<IndexInfo> indexes = {};
  friend bool operator==(const TableInfo&, const TableInfo&) = default;
};

// Looks tables up by name, case-insensitively as the Jet engine does.
class Catalog {
 public:
  virtual ~Catalog() = default;
  // The table, or null when the database has none by that name.
  virtual const TableInfo* FindTable(std::u16string_view name) const = 0;
};

// The column that a copy of a table without columns gets (SQLite needs
// one), declared BLOB; readers of the copy leave it out.
inline constexpr char kNoColumnsPlaceholder[] = "(no columns)";

// The name of the case-insensitive text collation the mirror registers on
// its SQLite connection.
inline constexpr char kTextCollation[] = "JETTEXT";

}  // namespace qorvel::jet

#endif  // QORVEL_JET_CATALOG_H_
