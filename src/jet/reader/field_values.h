// The values of a row's fields, decoded from their stored bytes into the
// mirror's forms (catalog.h), with the long values (memo, OLE) they refer
// to.
//
// A memo or OLE field is a 12-byte header, then (for an inline value) the
// bytes: the header's first 32 bits are the value's length with two flags
// in its top bits: 0x80000000 the bytes follow in the row, 0x40000000 they
// are one row of a long-value page, neither: a chain of such rows, each
// starting with the page-and-row of the next (0 ends it). The next 32 bits
// name the first row (page << 8 | row). Long-value pages are data pages
// with "LVAL" at 4.
//
// An ACE calculated column's value is a 20-byte header whose last 32 bits
// are the length of the data after it, in the form of the expression's
// result type; a long one is stored as a memo is.
#ifndef QORVEL_JET_READER_FIELD_VALUES_H_
#define QORVEL_JET_READER_FIELD_VALUES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/catalog.h"
#include "jet/reader/page_file.h"
#include "jet/reader/row_layout.h"
#include "jet/row_sink.h"

namespace qorvel::jet {

// How a column's values are read.
struct ColumnReading {
  std::size_t field = 0;  // its place among the table's column entries (and a row's fields)
  JetType type = JetType::kLong;
  int scale = 0;               // Numeric
  bool calculated = false;
  bool long_value = false;     // a calculated memo: its value is a long value
  std::size_t width = 0;       // the least size of a value (of a calculated column's data)
};

// The engine's type of a stored column type, and of a calculated column
// whose expression has the stored result type; nothing for the types the
// engine does not read.
std::optional<JetType> TypeOfStored(int stored, bool calculated);

// How `entry` is read when its values have `type`.
ColumnReading ReadingOf(std::size_t field, JetType type, int scale, bool calculated);

// Decodes fields for one reader of the file; its buffers are reused from
// value to value, so one reader serves one thread.
class FieldDecoder {
 public:
  explicit FieldDecoder(const PageFile& file) : file_(file) {}

  // Reads the values of `table` from now on: its long values lie on the
  // long-value pages it owns. Precondition: table outlives the reading.
  void UseTable(const TableDefinition& table) { long_value_pages_ = &table.long_value_pages; }

  // Stores the value of `field` of the row on `page` into column `index` of
  // `sink`. Raises kErrDamaged naming the column of `table` when the value
  // cannot be read.
  void Store(const TableInfo& table, const ColumnReading& column, const std::uint8_t* page, const Field& field,
             int index, RowSink& sink);

  // The bytes of the long value whose field is `p`, `size` bytes (see
  // above): valid until the next long value is read. Nothing when it cannot
  // be read: a reference to page 0, to a page that is not a long-value
  // page of the table, to a row its page does not have; a chain whose bytes
  // differ from the length its header states; flags no value has.
  std::optional<std::span<const std::uint8_t>> LongValue(const std::uint8_t* p, std::size_t size);

 private:
  // Row `reference` of a long-value page: false when it cannot be read.
  bool FindLongValueRow(std::uint32_t reference, std::span<const std::uint8_t>* row);
  std::span<const std::uint8_t> LongValue(const TableInfo& table, int index, const std::uint8_t* p, std::size_t size);
  [[noreturn]] void DamagedValue(const TableInfo& table, int index) const;

  const PageFile& file_;
  const std::vector<std::uint32_t>* long_value_pages_ = nullptr;
  std::string text_;
  std::vector<std::uint8_t> chain_;  // a chained long value's bytes
  std::vector<std::uint8_t> blob_;
  // The long-value page last read (0: none; page 0 is the header).
  std::vector<std::uint8_t> long_value_page_;
  std::uint64_t long_value_page_number_ = 0;
};

}  // namespace qorvel::jet

#endif  // QORVEL_JET_READER_FIELD_VALUES_H_
