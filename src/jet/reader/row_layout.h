// The rows of a data page and the fields of a row.
//
// A data page keeps its row count after its header and a table of row
// starts after the count; rows are stored from the end of the page down,
// each ending where the one before it starts; the low 13 bits of a start
// are its offset. A start with flag 0x4000 is not read: a deleted row (with
// 0x8000 too) or what is left where a row moved from (the row is read at
// its new place, whose start has 0x8000 alone). The free-space count at 2
// is the room between the row table and the lowest row.
//
// A row holds its column count first; the fixed-width values after it, each
// at its column's fixed offset; at its end the null mask (a bit per column
// number, set for a value that is present; a Yes/No value is its bit), and
// before the mask, when the table has variable-length columns, their count
// and their offsets from the row's start, one more than the count (the
// last is where the variable data ends). Jet 3 keeps one-byte counts and
// offsets, with a table of "jumps" that add 256 to the offsets from the
// value each names.
#ifndef QORVEL_JET_READER_ROW_LAYOUT_H_
#define QORVEL_JET_READER_ROW_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/reader/definition.h"
#include "jet/reader/layout.h"

namespace qorvel::jet {

// The row table of a data page.
struct RowTable {
  std::size_t count = 0;
  std::size_t end = 0;  // the first byte after the row table
  bool fits = false;    // the table ends inside the page
};
RowTable RowsOf(const Layout& layout, const std::uint8_t* page);

// Whether the page's free-space count is the room between its row table
// and its lowest row. Precondition: rows.fits.
bool FreeSpaceAgrees(const Layout& layout, const std::uint8_t* page, const RowTable& rows);

// Where row `row` lies. Precondition: rows.fits and row < rows.count.
struct RowPlace {
  std::size_t start = 0;  // from the page's start
  std::size_t size = 0;
  bool deleted = false;
  bool fits = false;  // between the row table and the row before it
};
RowPlace PlaceOf(const Layout& layout, const std::uint8_t* page, const RowTable& rows, std::size_t row);

// One value of a row: where it lies in the page, or Null.
struct Field {
  std::size_t start = 0;
  std::size_t size = 0;
  bool null = true;
};

// Cracks the live row at `place` of `page` into one field per column of
// `table`, in its order. False when the row's column count, null mask,
// variable offsets or a value do not fit the row. `offsets` is room the
// call reuses. Precondition: place.fits.
bool CrackRow(const Layout& layout, const TableDefinition& table, const std::uint8_t* page,
              const RowPlace& place, std::vector<Field>& fields, std::vector<std::size_t>& offsets);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_READER_ROW_LAYOUT_H_
