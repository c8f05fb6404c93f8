// Table definitions: the pages (type 0x02) that describe a table.
//
// A definition may run over several pages, each naming the next at 4; the
// reader joins them into one run of bytes (the first page whole, the others
// after their 8-byte headers). The run holds the table's counts, the
// references to its page map and free-space map, one entry per real index,
// one entry per column, then the columns' names. layout.h gives the places.
#ifndef QORVEL_JET_READER_DEFINITION_H_
#define QORVEL_JET_READER_DEFINITION_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/reader/page_file.h"
#include "qorvel/types.h"

namespace qorvel::jet {

// The column types as the file codes them.
enum StoredType : int {
  kStoredBoolean = 0x01,
  kStoredByte = 0x02,
  kStoredInteger = 0x03,
  kStoredLong = 0x04,
  kStoredCurrency = 0x05,
  kStoredSingle = 0x06,
  kStoredDouble = 0x07,
  kStoredDateTime = 0x08,
  kStoredBinary = 0x09,
  kStoredText = 0x0a,
  kStoredOle = 0x0b,
  kStoredMemo = 0x0c,
  kStoredGuid = 0x0f,
  kStoredNumeric = 0x10,
  kStoredComplex = 0x12,  // attachments, multiple values, version history
  kStoredDateTimeExtended = 0x14,
};

struct ColumnEntry {
  int type = 0;              // a StoredType, or a code no reader knows
  std::size_t number = 0;    // its bit in each row's null mask
  std::size_t variable = 0;  // its place among the variable-length values
  std::size_t fixed_offset = 0;
  std::size_t size = 0;      // of a fixed-width value (0 for Yes/No)
  bool fixed = false;
  bool calculated = false;   // ACE: the value carries a header (see field_values.h)
  int precision = 0;         // Numeric
  int scale = 0;             // Numeric
  Text name;
};

// An index the table declares (its primary key, or an index of its own;
// the indexes kept for relationships are left out): its columns by number,
// in key order.
struct IndexEntry {
  std::vector<std::size_t> columns;
  bool primary = false;
  bool unique = false;
};

struct TableDefinition {
  std::uint32_t first_page = 0;  // the owner that its data pages name
  std::uint32_t rows = 0;        // as the definition counts them (stale after an unclean close)
  std::size_t variable_columns = 0;
  std::vector<ColumnEntry> columns;        // in column-number order
  std::vector<std::uint8_t> page_map;      // the page map's row (page_map.h)
  // The long-value pages the table's memo and OLE columns own, sorted (from
  // the map each such column has after the index definitions).
  std::vector<std::uint32_t> long_value_pages;
  std::vector<IndexEntry> indexes;
};

// Whether `name` can name a table or a column: no control characters
// (U+0000 to U+001F), which the file format never writes in a name.
bool IsName(TextView name);

// Reads and checks the definition that starts at page `first`. Raises
// kErrDamaged when it cannot be a definition: a page of another type, a
// chain that never ends, entries or names past its pages, a name IsName
// refuses, a column number
// the table never gave (at or beyond its count of numbers given) or one
// used twice, the same for variable-length numbers, a fixed-width flag that
// disagrees with the column's type, a column without a name or two with
// one name, a page map or free-space map that ReadMapRow refuses, index
// definitions or long-value column maps past the definition's bytes. An
// index naming a column the table does not have is left out of `indexes`.
// kErrTruncated when it names a page beyond the file.
TableDefinition ReadDefinition(const PageFile& file, std::uint32_t first, std::u16string_view table);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_READER_DEFINITION_H_
