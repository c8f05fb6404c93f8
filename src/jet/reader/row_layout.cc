// Rows of data pages, and cracking a row into its fields.
#include "jet/reader/row_layout.h"

namespace qorvel::jet {
namespace {

constexpr std::size_t kOffsetMask = 0x1fff;
constexpr std::size_t kDeletedFlag = 0x4000;

// The offsets of a row's variable-length values (count + 1 of them, from
// the row's start), as Jet 3 keeps them: a byte each from `pointer` down,
// plus 256 for each jump passed. The jumps (one per 256 bytes of the row,
// the last one unused when the offsets do not reach it) name the first
// value they apply to, from the byte before the variable count down.
bool Jet3Offsets(const std::uint8_t* row, std::size_t size, std::size_t mask, std::size_t count,
                 std::vector<std::size_t>& offsets) {
  const std::size_t last = size - 1;
  const std::size_t jumps_all = last / 256;
  if (last < mask + jumps_all + 1) return false;
  const std::size_t pointer = last - mask - jumps_all - 1;
  if (pointer < 1 + count) return false;
  std::size_t jumps = jumps_all;
  if ((pointer - count) / 256 < jumps) --jumps;
  std::size_t used = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    while (used < jumps && i == row[last - mask - used - 1]) ++used;
    offsets.push_back(row[pointer - i] + used * 256);
  }
  return true;
}

}  // namespace

RowTable RowsOf(const Layout& layout, const std::uint8_t* page) {
  RowTable rows;
  rows.count = Get16(page + layout.row_count);
  rows.end = layout.row_count + 2 + 2 * rows.count;
  rows.fits = rows.end <= layout.page_size;
  return rows;
}

bool FreeSpaceAgrees(const Layout& layout, const std::uint8_t* page, const RowTable& rows) {
  std::size_t lowest = layout.page_size;
  for (std::size_t row = 0; row < rows.count; ++row) {
    const std::size_t start = Get16(page + layout.row_count + 2 + 2 * row) & kOffsetMask;
    if (start < lowest) lowest = start;
  }
  return lowest >= rows.end && Get16(page + 2) == lowest - rows.end;
}

RowPlace PlaceOf(const Layout& layout, const std::uint8_t* page, const RowTable& rows, std::size_t row) {
  const std::uint8_t* table = page + layout.row_count + 2;
  const std::uint16_t raw = Get16(table + 2 * row);
  const std::size_t end = row == 0 ? layout.page_size : (Get16(table + 2 * (row - 1)) & kOffsetMask);
  RowPlace place;
  place.deleted = (raw & kDeletedFlag) != 0;
  place.start = raw & kOffsetMask;
  place.fits = place.start >= rows.end && place.start < end && end <= layout.page_size;
  place.size = place.fits ? end - place.start : 0;
  return place;
}

bool CrackRow(const Layout& layout, const TableDefinition& table, const std::uint8_t* page,
              const RowPlace& place, std::vector<Field>& fields, std::vector<std::size_t>& offsets) {
  const std::uint8_t* row = page + place.start;
  const std::size_t size = place.size;
  const std::size_t count_size = layout.count_size;
  if (size < count_size) return false;
  const std::size_t columns = count_size == 1 ? row[0] : Get16(row);
  const std::size_t mask = (columns + 7) / 8;
  if (size < count_size + mask + count_size) return false;
  const std::uint8_t* null_mask = row + size - mask;
  offsets.clear();
  std::size_t variables = 0;
  if (table.variable_columns > 0) {
    if (count_size == 1) {
      variables = row[size - 1 - mask];
      if (!Jet3Offsets(row, size, mask, variables, offsets)) return false;
    } else {
      variables = Get16(row + size - mask - 2);
      if (size < count_size + mask + 4 + 2 * variables) return false;
      for (std::size_t i = 0; i <= variables; ++i) offsets.push_back(Get16(row + size - mask - 4 - 2 * i));
    }
  }
  if (variables > columns) return false;
  for (std::size_t v = 0; v < variables; ++v) {
    if (offsets[v] > offsets[v + 1] || offsets[v + 1] > size) return false;
  }
  // The first (column count - variable count) fixed columns, in column
  // number order, have values in the row; a row written before the others
  // were added has none of theirs.
  const std::size_t fixed_in_row = columns - variables;
  std::size_t fixed_found = 0;
  fields.resize(table.columns.size());
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const ColumnEntry& column = table.columns[c];
    Field& field = fields[c];
    field = Field{};
    if (column.fixed) {
      if (fixed_found++ >= fixed_in_row) continue;
      field.start = count_size + column.fixed_offset;
      field.size = column.size;
      if (field.start + field.size > size) return false;
    } else {
      if (column.variable >= variables) continue;
      field.start = offsets[column.variable];
      field.size = offsets[column.variable + 1] - field.start;
    }
    field.null = column.number >= columns || (null_mask[column.number / 8] & (1u << (column.number % 8))) == 0;
    field.start += place.start;
  }
  return true;
}

}  // namespace qorvel::jet
