// The tables of a Jet or ACE file: the catalog, the table definitions and
// the rows, read by the units of this folder (doc/jet_format.md describes
// the format as they read it).
//
// The catalog is the system table MSysObjects, defined on page 2; its rows
// name every object with its type, flags and the page of its definition
// (the low 24 bits of its id). The user tables are the objects of type 1
// without the system flags. ACE files keep each table's properties in the
// catalog too (LvProp), among them the result types of calculated columns.
//
// Definitions and column readings are read once and shared by every reader
// of the file; each reader keeps its own page buffers, so that readers on
// different threads read rows side by side from the one open file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "jet/reader/definition.h"
#include "jet/reader/field_values.h"
#include "jet/reader/page_file.h"
#include "jet/reader/page_map.h"
#include "jet/reader/row_layout.h"
#include "jet/source.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

constexpr std::uint32_t kCatalogPage = 2;
constexpr char16_t kCatalogName[] = u"MSysObjects";
constexpr std::int16_t kTableObject = 1;
constexpr std::uint32_t kSystemObjectFlags = 0x80000002u;

Text KindOfUnsupported(int stored) {
  // A complex column holds only the key of its values in a hidden table.
  if (stored == kStoredComplex) return u"attachment, multi-value or version history";
  return u"unknown type " + FromUtf8(std::to_string(stored));
}

// The result types of a table's calculated columns, (folded column name,
// stored type), from the table's properties (MSysObjects.LvProp): "MR2\0",
// then blocks of a 32-bit length (the block's, its own included) and a
// 16-bit kind. Kind 0x80 lists the property names, each a 16-bit byte
// length and UTF-16 text; kinds 0 (the table) and 1 (a column) start with
// a 32-bit length of their name part (this length, a 16-bit byte length and
// the UTF-16 name), then properties: a 16-bit length (the property's),
// a flag byte, a type byte, a 16-bit index into the names, a 16-bit value
// length and the value. What does not fit this layout is not read.
std::vector<std::pair<Text, int>> ResultTypes(std::span<const std::uint8_t> props) {
  std::vector<std::pair<Text, int>> types;
  if (props.size() < 4 || std::memcmp(props.data(), "MR2", 4) != 0) return types;
  const auto utf16 = [&](std::size_t at, std::size_t bytes) {
    Text text;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) text += static_cast<char16_t>(Get16(props.data() + at + i));
    return text;
  };
  std::vector<Text> names;
  for (std::size_t block = 4; block + 6 <= props.size();) {
    const std::size_t length = Get32(props.data() + block);
    const std::size_t kind = Get16(props.data() + block + 4);
    if (length < 6 || length > props.size() - block) break;
    const std::size_t end = block + length;
    if (kind == 0x80) {
      for (std::size_t at = block + 6; at + 2 <= end;) {
        const std::size_t bytes = Get16(props.data() + at);
        if (bytes > end - at - 2) break;
        names.push_back(FoldText(utf16(at + 2, bytes)));
        at += 2 + bytes;
      }
    } else if (kind == 1 && block + 12 <= end) {
      const std::size_t name_part = Get32(props.data() + block + 6);
      const std::size_t name_bytes = Get16(props.data() + block + 10);
      if (name_part < 6 || name_part > end - block - 6 || name_bytes > name_part - 6) break;
      const Text column = FoldText(utf16(block + 12, name_bytes));
      for (std::size_t at = block + 6 + name_part; at + 8 <= end;) {
        const std::size_t size = Get16(props.data() + at);
        const std::size_t value_size = Get16(props.data() + at + 6);
        const std::size_t name = Get16(props.data() + at + 4);
        if (size < 8 || size > end - at || value_size > size - 8) break;
        if (value_size == 1 && name < names.size() && names[name] == u"RESULTTYPE") {
          types.emplace_back(column, props[at + 8]);
        }
        at += size;
      }
    }
    block = end;
  }
  return types;
}

// What every reader of one opened file shares; never changed once read.
struct OpenedFile {
  PageFile file;
  std::vector<TableInfo> tables;
  std::vector<TableDefinition> definitions;         // one per table
  std::vector<std::vector<ColumnReading>> readings;  // one per table, one per column of its TableInfo

  OpenedFile(const std::filesystem::path& path, FileFormat format, std::uint64_t size) : file(path, format, size) {}
};

class JetSource final : public TableSource {
 public:
  explicit JetSource(std::shared_ptr<const OpenedFile> opened)
      : opened_(std::move(opened)), file_(opened_->file), decoder_(file_) {}

  // Reads the catalog and the definitions of the user tables.
  static std::shared_ptr<const OpenedFile> Open(const std::filesystem::path& path, FileFormat format,
                                                std::uint64_t size) {
    auto opened = std::make_shared<OpenedFile>(path, format, size);
    if (opened->file.pages() <= kCatalogPage) opened->file.Truncated(kCatalogName);
    JetSource reader(opened);
    reader.ReadCatalog(*opened);
    AssignMirrorNames(opened->tables);
    return opened;
  }

  const std::vector<TableInfo>& tables() const override { return opened_->tables; }

  std::unique_ptr<TableSource> OpenAnother() const override { return std::make_unique<JetSource>(opened_); }

  std::uintmax_t SizeHint(std::size_t index) override {
    return PagesOf(file_, opened_->definitions[index].page_map, opened_->tables[index].name).size() *
           file_.page_size();
  }

  void ReadRows(std::size_t index, RowSink& sink) override {
    const TableInfo& info = opened_->tables[index];
    const std::vector<ColumnReading>& readings = opened_->readings[index];
    decoder_.UseTable(opened_->definitions[index]);
    ForEachRow(opened_->definitions[index], info.name, [&](const std::uint8_t* page) {
      for (std::size_t c = 0; c < readings.size(); ++c) {
        decoder_.Store(info, readings[c], page, fields_[readings[c].field], static_cast<int>(c), sink);
      }
      sink.EndRow();
    });
  }

 private:
  // Calls `visit` with each live row of the table cracked into fields_, on
  // its page. Every page the map lists must be a data page of the table
  // whose free space agrees with its row table, every live row must lie
  // between the row table and the row before it, and every field inside
  // its row; a map that lists no page while the definition counts rows is
  // damage too (a stale count after an unclean close is off by the last
  // changes, not by the whole table).
  template <typename Visit>
  void ForEachRow(const TableDefinition& table, std::u16string_view name, Visit&& visit) {
    const Layout& layout = file_.layout();
    const std::vector<std::uint32_t> pages = PagesOf(file_, table.page_map, name);
    if (pages.empty() && table.rows != 0) {
      file_.Damaged(u"the page map of table '" + Text(name) + u"' lists no page, but its definition counts " +
                    FromUtf8(std::to_string(table.rows)) + u" rows");
    }
    for (const std::uint32_t number : pages) {
      const std::uint8_t* page = DataPage(number, name);
      if (page[0] != kDataPageType || Get32(page + 4) != table.first_page) {
        file_.Damaged(u"page " + PageText(number) + u", listed in the page map of table '" + Text(name) +
                      u"', is not one of its data pages");
      }
      const RowTable rows = RowsOf(layout, page);
      if (!rows.fits) file_.Damaged(u"the row count of page " + PageText(number) + u" cannot fit its page");
      if (!FreeSpaceAgrees(layout, page, rows)) {
        file_.Damaged(u"the free space of page " + PageText(number) + u" disagrees with its row table");
      }
      for (std::size_t row = 0; row < rows.count; ++row) {
        const RowPlace place = PlaceOf(layout, page, rows, row);
        if (place.deleted) continue;
        if (!place.fits) file_.Damaged(u"a row of page " + PageText(number) + u" lies outside its page");
        if (!CrackRow(layout, table, page, place, fields_, offsets_)) {
          file_.Damaged(u"a field of a row of table '" + Text(name) + u"' lies beyond its row");
        }
        visit(page);
      }
    }
  }

  // Page `number` of a table's rows: the pages of a table mostly follow
  // each other, so a run of them is read at once into a window.
  const std::uint8_t* DataPage(std::uint64_t number, std::u16string_view table) {
    const std::size_t size = file_.page_size();
    if (number < window_first_ || number >= window_first_ + window_pages_) {
      // One page at first; a window once the pages run on.
      const bool run = number == last_page_ + 1;
      const std::uint64_t wanted = std::min<std::uint64_t>(run ? kWindowPages : 1, file_.pages() - number);
      window_.resize(static_cast<std::size_t>(wanted) * size);
      window_first_ = number;
      window_pages_ = file_.Read(number, static_cast<std::size_t>(wanted), window_.data());
      if (window_pages_ == 0) file_.Truncated(table);
    }
    last_page_ = number;
    return window_.data() + (number - window_first_) * size;
  }

  // The catalog's columns this reader uses, by name and stored type.
  struct CatalogColumns {
    std::optional<std::size_t> id, name, type, flags, properties;
  };

  void ReadCatalog(OpenedFile& opened) {
    const TableDefinition catalog = ReadDefinition(file_, kCatalogPage, kCatalogName);
    CatalogColumns at;
    for (std::size_t c = 0; c < catalog.columns.size(); ++c) {
      const ColumnEntry& column = catalog.columns[c];
      const auto is = [&](std::u16string_view name, int type) { return column.name == name && column.type == type; };
      if (is(u"Id", kStoredLong)) at.id = c;
      if (is(u"Name", kStoredText)) at.name = c;
      if (is(u"Type", kStoredInteger)) at.type = c;
      if (is(u"Flags", kStoredLong)) at.flags = c;
      if (is(u"LvProp", kStoredOle)) at.properties = c;  // read only in ACE files, for calculated columns
    }
    if (!at.id || !at.name || !at.type || !at.flags) file_.Damaged(u"its catalog cannot be read");
    decoder_.UseTable(catalog);
    struct Entry {
      Text name;
      std::uint32_t page;
      std::vector<std::uint8_t> properties;
    };
    std::vector<Entry> entries;
    std::size_t objects = 0;  // every object, system ones included
    std::string name;
    ForEachRow(catalog, kCatalogName, [&](const std::uint8_t* page) {
      const auto fixed = [&](std::size_t c, std::size_t width) {
        return !fields_[c].null && fields_[c].size >= width;
      };
      if (!fixed(*at.id, 4) || !fixed(*at.type, 2) || !fixed(*at.flags, 4) || !fixed(*at.name, 0)) return;
      ++objects;
      const auto type = static_cast<std::int16_t>(Get16(page + fields_[*at.type].start));
      const std::uint32_t flags = Get32(page + fields_[*at.flags].start);
      if (type != kTableObject || (flags & kSystemObjectFlags) != 0) return;  // user tables only
      name.clear();
      file_.AppendText(std::span(page + fields_[*at.name].start, fields_[*at.name].size), name);
      if (name.empty()) return;
      Text table = FromUtf8(name);
      if (!IsName(table)) file_.Damaged(u"a table in its catalog has a name with a control character");
      Entry& entry =
          entries.emplace_back(Entry{std::move(table), Get32(page + fields_[*at.id].start) & 0x00FFFFFFu, {}});
      if (!at.properties || file_.format() != FileFormat::kAce) return;
      const Field& props = fields_[*at.properties];
      if (props.null || props.size == 0) return;
      const auto value = decoder_.LongValue(page + props.start, props.size);
      if (!value) file_.Damaged(u"the properties of table '" + entry.name + u"' cannot be read");
      entry.properties.assign(value->begin(), value->end());
    });
    if (objects == 0) file_.Damaged(u"its catalog is empty");
    for (const Entry& entry : entries) ReadTable(opened, entry.name, entry.page, entry.properties);
  }

  void ReadTable(OpenedFile& opened, const Text& name, std::uint32_t page, std::span<const std::uint8_t> properties) {
    for (const TableInfo& known : opened.tables) {
      if (FoldText(known.name) == FoldText(name)) return;  // keep the first of a damaged pair
    }
    TableDefinition definition = ReadDefinition(file_, page, name);
    const auto result_types = ResultTypes(properties);
    TableInfo info;
    info.name = name;
    std::vector<ColumnReading> readings;
    for (std::size_t c = 0; c < definition.columns.size(); ++c) {
      const ColumnEntry& column = definition.columns[c];
      int stored = column.type;
      if (column.calculated) {
        // The data has the expression's result type, which the column's
        // properties name; the column's own type may differ.
        for (const auto& [folded, result] : result_types) {
          if (folded == FoldText(column.name) && TypeOfStored(result, false)) stored = result;
        }
      }
      const auto type = TypeOfStored(stored, column.calculated);
      if (!type) {
        info.unsupported.push_back({column.name, KindOfUnsupported(stored)});
        continue;
      }
      if (*type == JetType::kNumeric && !column.calculated && column.scale > 28) {
        file_.Damaged(u"the columns of table '" + name + u"' cannot be read");
      }
      readings.push_back(ReadingOf(c, *type, column.scale, column.calculated));
      ColumnInfo& added = info.columns.emplace_back(ColumnInfo{column.name, *type});
      if (*type == JetType::kText) {
        added.length = static_cast<int>(file_.format() == FileFormat::kJet3 ? column.size : column.size / 2);
      } else if (*type == JetType::kNumeric && !column.calculated) {
        added.precision = column.precision;
        added.scale = column.scale;
      }
    }
    for (const IndexEntry& index : definition.indexes) {
      IndexInfo& added = info.indexes.emplace_back(IndexInfo{{}, index.primary, index.unique});
      for (const std::size_t number : index.columns) {
        const auto c = std::find_if(definition.columns.begin(), definition.columns.end(),
                                    [&](const ColumnEntry& e) { return e.number == number; });
        const bool kept = std::any_of(info.columns.begin(), info.columns.end(),
                                      [&](const ColumnInfo& k) { return k.name == c->name; });
        if (!kept) {
          info.indexes.pop_back();
          break;
        }
        added.columns.push_back(c->name);
      }
    }
    opened.tables.push_back(std::move(info));
    opened.definitions.push_back(std::move(definition));
    opened.readings.push_back(std::move(readings));
  }

  std::shared_ptr<const OpenedFile> opened_;
  const PageFile& file_;
  FieldDecoder decoder_;
  std::vector<Field> fields_;  // the row being read
  std::vector<std::size_t> offsets_;
  // Data pages read ahead: window_pages_ pages from page window_first_.
  static constexpr std::uint64_t kWindowPages = 32;
  std::vector<std::uint8_t> window_;
  std::uint64_t window_first_ = 0;
  std::uint64_t window_pages_ = 0;
  std::uint64_t last_page_ = 0;
};

}  // namespace

std::unique_ptr<TableSource> OpenJetSource(const std::filesystem::path& path, FileFormat format,
                                           std::uintmax_t file_size) {
  return std::make_unique<JetSource>(JetSource::Open(path, format, file_size));
}

}  // namespace qorvel::jet
