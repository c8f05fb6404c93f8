// Page maps: which pages hold a table's rows.
//
// A table definition refers (page << 8 | row) to two rows of data pages:
// its page map and its free-space map. A map row begins with its kind:
// kind 0 is the number of the page its bitmap starts at, then the bitmap
// (bit i set: page start + i belongs to the table); kind 1 is a list of
// 4-byte numbers of map pages (type 0x05), each a bitmap after a 4-byte
// header, the k-th standing for the k-th run of (page size - 4) * 8 pages.
#ifndef QORVEL_JET_READER_PAGE_MAP_H_
#define QORVEL_JET_READER_PAGE_MAP_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/reader/page_file.h"

namespace qorvel::jet {

// The bytes of the map row that `reference` names, checked: a live row of a
// data page; for the page map (`page_map`), of a known kind whose map pages
// are map pages inside the file. The free-space map's contents are not
// read: they may be stale after an unclean close. Raises kErrDamaged, or
// kErrTruncated naming `table`.
std::vector<std::uint8_t> ReadMapRow(const PageFile& file, std::uint32_t reference, std::u16string_view table,
                                     bool page_map);

// The pages a page map lists, in order. Raises as ReadMapRow.
// Precondition: map came from ReadMapRow.
std::vector<std::uint32_t> PagesOf(const PageFile& file, const std::vector<std::uint8_t>& map,
                                   std::u16string_view table);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_READER_PAGE_MAP_H_
