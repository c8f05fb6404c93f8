// Reading and checking table definitions. Of the index definitions between
// the column names and the long-value columns' maps the reader keeps what
// a copy of the table declares (columns, primary key, unique); it never
// reads the index pages themselves.
#include "jet/reader/definition.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "jet/reader/page_map.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

// The entry's second flags byte (ACE) and the bits that mark a calculated
// column there.
constexpr std::size_t kExtraFlags = 16;
constexpr std::uint8_t kCalculatedFlags = 0xC0;
constexpr std::uint8_t kFixedFlag = 0x01;

// A real index's flag for unique keys; a logical index's kinds; an unused
// column slot of a real index.
constexpr std::uint8_t kUniqueIndex = 0x01;
constexpr std::uint8_t kPrimaryKey = 0x01;
constexpr std::uint8_t kRelationship = 0x02;
constexpr std::size_t kIndexColumnSlots = 10;
constexpr std::uint16_t kNoColumn = 0xFFFF;

// Whether the fixed-width flag disagrees with the column's type. Values of
// the number, date and GUID types may be kept either way (a value kept
// with the variable-length ones has the type's width); a Yes/No value is
// its null bit, kept with the fixed-width ones; memo and OLE values are
// long values, never fixed-width.
bool WidthDisagrees(int type, bool fixed) {
  switch (type) {
    case kStoredBoolean: return !fixed;
    case kStoredMemo:
    case kStoredOle: return fixed;
    default: return false;
  }
}

// The definition's pages as one run of bytes.
std::vector<std::uint8_t> JoinPages(const PageFile& file, std::uint32_t first, std::u16string_view table) {
  const std::size_t size = file.page_size();
  std::vector<std::uint8_t> page(size);
  std::vector<std::uint8_t> bytes;
  std::uint64_t chain = 0;
  for (std::uint64_t number = first;;) {
    file.ReadPage(number, page.data(), table);
    if (page[0] != kDefinitionPageType) {
      file.Damaged(u"page " + PageText(number) + u" of the definition of table '" + Text(table) +
                   u"' is not a definition page");
    }
    bytes.insert(bytes.end(), page.begin() + (bytes.empty() ? 0 : 8), page.end());
    number = Get32(page.data() + 4);
    if (number == 0) return bytes;
    if (++chain > file.pages()) file.Damaged(u"the definition of table '" + Text(table) + u"' does not end");
  }
}

// The indexes whose blocks and entries start at `at`: one per real index
// that a primary key or an index of the table's own uses (several logical
// indexes may share one real index).
std::vector<IndexEntry> ReadIndexes(std::span<const std::uint8_t> at, std::uint64_t real_indexes,
                                    std::uint64_t logical_indexes, const Layout& layout,
                                    const std::vector<ColumnEntry>& columns) {
  std::vector<std::optional<IndexEntry>> real(static_cast<std::size_t>(real_indexes));
  const std::uint8_t* logical = at.data() + real_indexes * layout.real_index_block;
  for (std::uint64_t i = 0; i < logical_indexes; ++i) {
    const std::uint8_t* entry = logical + i * layout.logical_index_entry;
    const std::uint32_t number = Get32(entry + layout.logical_real_index);
    const std::uint8_t kind = entry[layout.logical_index_kind];
    if (number >= real_indexes || kind == kRelationship) continue;
    std::optional<IndexEntry>& index = real[number];
    if (!index) {
      const std::uint8_t* block = at.data() + number * layout.real_index_block;
      index.emplace();
      index->unique = (block[layout.index_flags] & kUniqueIndex) != 0;
      for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
        const std::uint16_t column = Get16(block + layout.index_columns + 3 * slot);
        if (column == kNoColumn) continue;
        const bool known = std::any_of(columns.begin(), columns.end(),
                                       [&](const ColumnEntry& c) { return c.number == column; });
        if (!known) {
          index->columns.clear();
          break;
        }
        index->columns.push_back(column);
      }
    }
    index->primary = index->primary || kind == kPrimaryKey;
  }
  std::vector<IndexEntry> indexes;
  for (std::optional<IndexEntry>& index : real) {
    if (index && !index->columns.empty()) indexes.push_back(std::move(*index));
  }
  return indexes;
}

}  // namespace

bool IsName(TextView name) {
  for (const char16_t c : name) {
    if (c < 0x20) return false;
  }
  return true;
}

TableDefinition ReadDefinition(const PageFile& file, std::uint32_t first, std::u16string_view table) {
  const Layout& layout = file.layout();
  const std::vector<std::uint8_t> def = JoinPages(file, first, table);
  const auto damaged = [&](std::u16string_view what) { file.Damaged(what); };
  const Text of_table = u"table '" + Text(table) + u"'";

  TableDefinition result;
  result.first_page = first;
  result.rows = Get32(def.data() + layout.rows);
  result.variable_columns = Get16(def.data() + layout.variable_columns);
  const std::size_t columns = Get16(def.data() + layout.columns);
  const std::size_t numbers_given = Get16(def.data() + layout.max_columns);
  const std::uint64_t real_indexes = Get32(def.data() + layout.real_indexes);
  const std::uint64_t entries = layout.first_entry + real_indexes * layout.real_index_entry;
  // The names follow the column entries, each after its length.
  std::uint64_t end = entries + std::uint64_t{columns} * layout.column_entry;
  std::vector<std::pair<std::size_t, std::size_t>> names;  // (start, bytes)
  for (std::size_t c = 0; c < columns && end + layout.count_size <= def.size(); ++c) {
    const auto at = static_cast<std::size_t>(end);
    const std::size_t bytes = layout.count_size == 1 ? def[at] : Get16(def.data() + at);
    names.emplace_back(at + layout.count_size, bytes);
    end += layout.count_size + bytes;
  }
  if (Get32(def.data() + 8) > def.size() || names.size() < columns || end > def.size()) {
    damaged(u"the definition of " + of_table + u" does not fit its pages");
  }

  std::vector<bool> numbers(numbers_given);
  std::vector<bool> variables(result.variable_columns);
  for (std::size_t c = 0; c < columns; ++c) {
    const std::uint8_t* entry = def.data() + entries + c * layout.column_entry;
    ColumnEntry column;
    column.type = entry[0];
    column.number = Get16(entry + layout.column_number);
    column.variable = Get16(entry + layout.variable_number);
    column.fixed_offset = Get16(entry + layout.fixed_offset);
    column.size = column.type == kStoredBoolean ? 0 : Get16(entry + layout.column_size);
    column.fixed = (entry[layout.column_flags] & kFixedFlag) != 0;
    column.calculated = file.format() == FileFormat::kAce && layout.column_entry > kExtraFlags &&
                        (entry[kExtraFlags] & kCalculatedFlags) == kCalculatedFlags;
    column.precision = entry[layout.scale - 1];
    column.scale = entry[layout.scale];
    const auto [name_at, name_bytes] = names[c];
    std::string name;
    file.AppendText(std::span(def.data() + name_at, name_bytes), name);
    column.name = FromUtf8(name);
    const Text called = u"column '" + column.name + u"' of " + of_table;

    if (column.name.empty()) damaged(u"a column of " + of_table + u" has no name");
    if (!IsName(column.name)) damaged(u"a column of " + of_table + u" has a name with a control character");
    // The number places the column's null bit, the variable number its
    // value among the variable-length ones: a number the table never gave,
    // or two columns with one number, would read what is not the column's.
    if (column.number >= numbers_given) damaged(called + u" has a number its table cannot hold");
    if (numbers[column.number]) damaged(u"two columns of " + of_table + u" have the same number");
    numbers[column.number] = true;
    if (!column.fixed) {
      if (column.variable >= variables.size()) {
        damaged(called + u" has a variable-length number its table cannot hold");
      }
      if (variables[column.variable]) damaged(u"two columns of " + of_table + u" have the same variable-length number");
      variables[column.variable] = true;
    }
    if (WidthDisagrees(column.type, column.fixed)) {
      damaged(called + u" is marked " + (column.fixed ? u"fixed" : u"variable") + u"-width, which its type is not");
    }
    for (const ColumnEntry& known : result.columns) {
      if (FoldText(known.name) == FoldText(column.name)) {
        damaged(of_table + u" has two columns named '" + column.name + u"'");
      }
    }
    result.columns.push_back(std::move(column));
  }
  std::stable_sort(result.columns.begin(), result.columns.end(),
                   [](const ColumnEntry& a, const ColumnEntry& b) { return a.number < b.number; });

  result.page_map = ReadMapRow(file, Get32(def.data() + layout.page_map), table, true);
  ReadMapRow(file, Get32(def.data() + layout.free_map), table, false);

  // The indexes' blocks, entries and names; then, for each long-value
  // column, its number and the references of the map of the long-value
  // pages it owns and of their free-space map, up to the number 0xFFFF.
  const std::uint64_t logical_indexes = Get32(def.data() + layout.logical_indexes);
  const std::uint64_t blocks = end;
  end += real_indexes * layout.real_index_block + logical_indexes * layout.logical_index_entry;
  if (end > def.size()) damaged(u"the definition of " + of_table + u" does not fit its pages");
  result.indexes = ReadIndexes(std::span(def).subspan(static_cast<std::size_t>(blocks)), real_indexes, logical_indexes, layout, result.columns);
  for (std::uint64_t i = 0; i < logical_indexes && end + layout.count_size <= def.size(); ++i) {
    const auto at = static_cast<std::size_t>(end);
    end += layout.count_size + (layout.count_size == 1 ? def[at] : Get16(def.data() + at));
  }
  constexpr std::size_t kColumnMap = 10;
  for (;;) {
    if (end + 2 > def.size()) damaged(u"the definition of " + of_table + u" does not fit its pages");
    const auto at = static_cast<std::size_t>(end);
    if (Get16(def.data() + at) == 0xFFFF) break;
    if (end + kColumnMap > def.size()) damaged(u"the definition of " + of_table + u" does not fit its pages");
    const std::vector<std::uint8_t> map = ReadMapRow(file, Get32(def.data() + at + 2), table, true);
    const std::vector<std::uint32_t> pages = PagesOf(file, map, table);
    result.long_value_pages.insert(result.long_value_pages.end(), pages.begin(), pages.end());
    end += kColumnMap;
  }
  std::sort(result.long_value_pages.begin(), result.long_value_pages.end());
  return result;
}

}  // namespace qorvel::jet
