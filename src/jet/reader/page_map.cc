// Reading page maps.
#include "jet/reader/page_map.h"

#include "jet/reader/row_layout.h"

namespace qorvel::jet {
namespace {

constexpr std::size_t kInlineMapHeader = 5;  // the kind and the first page
constexpr std::size_t kMapPageHeader = 4;

}  // namespace

std::vector<std::uint8_t> ReadMapRow(const PageFile& file, std::uint32_t reference, std::u16string_view table,
                                     bool page_map) {
  const Text what = Text(page_map ? u"the page map" : u"the free-space map") + u" of table '" + Text(table) + u"'";
  const auto not_a_map = [&] { file.Damaged(what + u" is not a page map"); };
  const Layout& layout = file.layout();
  std::vector<std::uint8_t> page(layout.page_size);
  file.ReadPage(reference >> 8, page.data(), table);
  const RowTable rows = RowsOf(layout, page.data());
  const std::size_t row = reference & 0xff;
  if (page[0] != kDataPageType || !rows.fits || row >= rows.count) not_a_map();
  const RowPlace place = PlaceOf(layout, page.data(), rows, row);
  if (place.deleted || !place.fits) not_a_map();
  std::vector<std::uint8_t> map(page.begin() + static_cast<std::ptrdiff_t>(place.start),
                                page.begin() + static_cast<std::ptrdiff_t>(place.start + place.size));
  if (!page_map) return map;
  if (map.size() < kInlineMapHeader || map[0] > 1) not_a_map();
  if (map[0] == 1) {
    for (std::size_t at = 1; at + 4 <= map.size(); at += 4) {
      const std::uint32_t map_page = Get32(map.data() + at);
      if (map_page == 0) continue;
      file.ReadPage(map_page, page.data(), table);
      if (page[0] != kMapPageType) not_a_map();
    }
  }
  return map;
}

std::vector<std::uint32_t> PagesOf(const PageFile& file, const std::vector<std::uint8_t>& map,
                                   std::u16string_view table) {
  std::vector<std::uint32_t> pages;
  // Adds the pages of bits [from, count) of `bits`, bit i standing for page
  // first + i; false at page 0, which ends the list.
  const auto add = [&](const std::uint8_t* bits, std::uint64_t count, std::uint64_t first, std::uint64_t from) {
    for (std::uint64_t i = from; i < count; ++i) {
      if ((bits[i / 8] & (1u << (i % 8))) == 0) continue;
      const std::uint64_t page = first + i;
      if (page == 0) return false;
      if (page >= file.pages()) file.Truncated(table);
      pages.push_back(static_cast<std::uint32_t>(page));
    }
    return true;
  };
  if (map[0] == 0) {
    add(map.data() + kInlineMapHeader, (map.size() - kInlineMapHeader) * 8, Get32(map.data() + 1), 0);
    return pages;
  }
  std::vector<std::uint8_t> page(file.page_size());
  const std::uint64_t bits = (file.page_size() - kMapPageHeader) * 8;
  for (std::size_t k = 0; k < (map.size() - 1) / 4; ++k) {
    const std::uint32_t map_page = Get32(map.data() + 1 + 4 * k);
    if (map_page == 0) continue;
    file.ReadPage(map_page, page.data(), table);
    if (page[0] != kMapPageType) file.Damaged(u"the page map of table '" + Text(table) + u"' cannot be read");
    // The first bit of the first bitmap stands for page 0, the header.
    if (!add(page.data() + kMapPageHeader, bits, k * bits, k == 0 ? 1 : 0)) break;
  }
  return pages;
}

}  // namespace qorvel::jet
