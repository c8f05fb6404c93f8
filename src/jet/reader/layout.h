// Where the reader finds what it reads in the pages of a Jet 3 file and of
// a Jet 4 or ACE file (ACE keeps the Jet 4 layout), and the little-endian
// numbers it reads there. doc/jet_format.md describes each field.
#ifndef QORVEL_JET_READER_LAYOUT_H_
#define QORVEL_JET_READER_LAYOUT_H_

#include <cstddef>
#include <cstdint>

#include "jet/file_format.h"

namespace qorvel::jet {

// The page types the reader meets (the first byte of every page).
inline constexpr std::uint8_t kDataPageType = 0x01;
inline constexpr std::uint8_t kDefinitionPageType = 0x02;
inline constexpr std::uint8_t kMapPageType = 0x05;

struct Layout {
  std::size_t page_size;
  // Jet 3 keeps one-byte counts where Jet 4 keeps two-byte ones: a row's
  // column count and variable offsets, a column name's length.
  std::size_t count_size;
  // Data pages: the row count, followed by the row table.
  std::size_t row_count;
  // Table definitions. Column numbers are given once: the highest count
  // (max_columns) counts the columns a table ever had, deleted ones too.
  std::size_t rows;
  std::size_t max_columns;
  std::size_t variable_columns;
  std::size_t columns;
  std::size_t logical_indexes;
  std::size_t real_indexes;
  std::size_t page_map;
  std::size_t free_map;
  std::size_t first_entry;       // the real-index entries, then the column entries
  std::size_t real_index_entry;  // the size of one
  std::size_t column_entry;      // the size of one
  // After the column names: a block per real index, an entry per logical
  // index, the logical indexes' names, then the long-value columns' maps.
  std::size_t real_index_block;
  std::size_t logical_index_entry;
  // In a real index block: its ten (column number, order) slots, then its
  // flags. In a logical index entry: the real index it uses, and its kind.
  std::size_t index_columns;
  std::size_t index_flags;
  std::size_t logical_real_index;
  std::size_t logical_index_kind;
  // Column entries.
  std::size_t column_number;
  std::size_t variable_number;
  std::size_t scale;
  std::size_t column_flags;
  std::size_t fixed_offset;
  std::size_t column_size;
};

inline constexpr Layout kJet3Layout = {2048, 1, 8, 12, 21, 23, 25, 27, 31, 35, 39, 43, 8, 18, 39, 20, 0, 38, 4, 19, 1, 3, 12, 13, 14, 16};
inline constexpr Layout kJet4Layout = {4096, 2, 12, 16, 41, 43, 45, 47, 51, 55, 59, 63, 12, 25, 52, 28, 4, 46, 8, 23, 5, 7, 12, 15, 21, 23};

// Precondition: format is kJet3, kJet4 or kAce.
inline const Layout& LayoutOf(FileFormat format) {
  return format == FileFormat::kJet3 ? kJet3Layout : kJet4Layout;
}

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace qorvel::jet

#endif  // QORVEL_JET_READER_LAYOUT_H_
