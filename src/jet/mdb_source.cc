// Reading Jet and ACE files through libmdb.
//
// libmdb gives us the catalog, the table definitions and the cracking of a
// row into fields; we walk the data pages ourselves (so that every page
// number is checked against the file before it is read, and every loop over
// file data is bounded), decode the fixed-width values from the page buffer
// and read text and memo values from their stored bytes. libmdb's own text
// rendering of values is not used: it loses dates outside 1900-2099 and the
// last hyphen of a GUID, and it costs a string per cell.
// mdbtools.h includes glib.h inside its extern "C" block, where glib's C++
// parts (templates) cannot be compiled; including glib.h first keeps its
// include guard from letting that happen.
#include <glib.h>
#include <mdbtools.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "jet/errors.h"
#include "jet/source.h"
#include "jet/text.h"
#include "qorvel/variant.h"

namespace qorvel::jet {
namespace {

constexpr int kOffsetMask = 0x1fff;
constexpr int kDeletedFlag = 0x4000;
constexpr int kMaxRowsPerPage = 1000;  // libmdb's own bound in mdb_find_row
constexpr int kMaxColumnNumber = 256;
constexpr std::size_t kMemoHeader = 12;

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
template <typename T>
T GetRaw(const unsigned char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

std::optional<JetType> TypeOfColumn(int mdb_type) {
  switch (mdb_type) {
    case MDB_BOOL: return JetType::kBoolean;
    case MDB_BYTE: return JetType::kByte;
    case MDB_INT: return JetType::kInteger;
    case MDB_LONGINT: return JetType::kLong;
    case MDB_COMPLEX: return JetType::kLong;  // the id of the column's hidden value table
    case MDB_MONEY: return JetType::kCurrency;
    case MDB_FLOAT: return JetType::kSingle;
    case MDB_DOUBLE: return JetType::kDouble;
    case MDB_DATETIME: return JetType::kDateTime;
    case MDB_TEXT: return JetType::kText;
    case MDB_MEMO: return JetType::kMemo;
    case MDB_REPID: return JetType::kGuid;
    case MDB_NUMERIC: return JetType::kNumeric;
    default: return std::nullopt;  // binary, OLE and unknown types
  }
}

// The stored width of a fixed-width value.
std::size_t WidthOf(JetType type) {
  switch (type) {
    case JetType::kByte: return 1;
    case JetType::kInteger: return 2;
    case JetType::kLong: return 4;
    case JetType::kSingle: return 4;
    case JetType::kDouble:
    case JetType::kCurrency:
    case JetType::kDateTime: return 8;
    case JetType::kGuid: return 16;
    case JetType::kNumeric: return 17;
    default: return 0;
  }
}

void AppendHex(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 15];
}

struct ColumnRef {
  int field;  // index into the table's libmdb columns (and the cracked fields)
  JetType type;
  int scale;  // Numeric only
};

// Owners of libmdb's handles.
struct CloseMdb {
  void operator()(MdbHandle* mdb) const noexcept { mdb_close(mdb); }
};
using MdbOwner = std::unique_ptr<MdbHandle, CloseMdb>;

struct FreeTableDef {
  void operator()(MdbTableDef* def) const noexcept { mdb_free_tabledef(def); }
};
using TableDefOwner = std::unique_ptr<MdbTableDef, FreeTableDef>;

struct TableRef {
  TableDefOwner def;
  std::vector<ColumnRef> columns;
};

class MdbSource final : public TableSource {
 public:
  MdbSource(const std::filesystem::path& path, FileFormat format, std::uintmax_t file_size)
      : path_(path), format_(format), page_size_(PageSize(format)),
        pages_(file_size / PageSize(format)), mdb_(mdb_open(path.c_str(), MDB_NOFLAGS)) {
    // On a failure the members free what was read and close the file as the
    // constructor unwinds.
    if (mdb_ == nullptr) Damaged(u"its first page cannot be read");
    if ((format == FileFormat::kJet3) != static_cast<bool>(IS_JET3(mdb_)) ||
        mdb_->fmt->pg_size != static_cast<ssize_t>(page_size_)) {
      Damaged(u"its version is not one the reader knows");
    }
    ReadDefinitions();
  }

  const std::vector<TableInfo>& tables() const override { return tables_; }

  void ReadRows(std::size_t index, RowSink& sink) override {
    TableRef& table = refs_[index];
    const TableInfo& info = tables_[index];
    MdbTableDef* def = table.def.get();
    std::vector<MdbField> fields(def->num_cols);
    text_.resize(table.columns.size());
    ForEachRow(def, info.name, fields, [&] {
      for (std::size_t c = 0; c < table.columns.size(); ++c) {
        StoreField(info, table.columns[c], fields[table.columns[c].field], static_cast<int>(c), sink);
      }
      sink.EndRow();
    });
  }

 private:
  [[noreturn]] void Damaged(std::u16string_view what) const {
    Raise(kErrDamaged, u"The database file '" + PathText(path_) + u"' is damaged: " + Text(what) + u".");
  }
  [[noreturn]] void Truncated(std::u16string_view table) const {
    Raise(kErrTruncated, u"The database file '" + PathText(path_) +
                             u"' is truncated: table '" + Text(table) +
                             u"' refers to a page beyond the end of the file.");
  }
  [[noreturn]] void DamagedValue(const TableInfo& table, int column) const {
    Damaged(u"a value of column '" + table.columns[static_cast<std::size_t>(column)].name +
            u"' in table '" + table.name + u"' cannot be read");
  }

  // Calls `visit` with each live row of the table cracked into `fields`
  // (one per column of the table definition). Deleted rows and rows that
  // cannot be placed inside their page are skipped, as libmdb skips them.
  template <typename Visit>
  void ForEachRow(MdbTableDef* def, std::u16string_view table, std::vector<MdbField>& fields,
                  Visit&& visit) {
    const int row_count_offset = mdb_->fmt->row_count_offset;
    ForEachDataPage(def, table, [&] {
      const int rows = mdb_get_int16(mdb_->pg_buf, row_count_offset);
      for (int row = 0; row < rows && row <= kMaxRowsPerPage; ++row) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb_.get(), row, &start, &size) != 0 || size == 0) continue;
        if ((start & kDeletedFlag) != 0) continue;
        start &= kOffsetMask;
        if (!InPage(start, size) || mdb_crack_row(def, start, size, fields.data()) < 0) continue;
        visit();
      }
    });
  }

  // Calls `visit` with each data page of the table loaded in mdb_->pg_buf,
  // in the order of the table's usage map (or of the file when the map is
  // of a kind libmdb does not know).
  template <typename Visit>
  void ForEachDataPage(MdbTableDef* def, std::u16string_view table, Visit&& visit) {
    if (def->usage_map == nullptr || def->map_sz < 5) {  // a kind byte and a page number at least
      Damaged(u"the page map of table '" + Text(table) + u"' cannot be read");
    }
    const auto owner = static_cast<long>(def->entry->table_pg);
    guint32 current = 0;
    bool by_map = true;
    for (std::uintmax_t steps = 0;; ++steps) {
      if (steps > pages_ + 1) Damaged(u"the page list of table '" + Text(table) + u"' does not end");
      guint32 next = 0;
      if (by_map) {
        const gint32 found = mdb_map_find_next(mdb_.get(), def->usage_map, static_cast<unsigned>(def->map_sz), current);
        if (found < 0) {
          by_map = false;  // unknown map: visit every page of the file
          continue;
        }
        if (found == 0) return;
        next = static_cast<guint32>(found);
        if (next <= current) Damaged(u"the page list of table '" + Text(table) + u"' goes backwards");
      } else {
        next = current + 1;
        if (next >= pages_) return;
      }
      if (next >= pages_) Truncated(table);
      if (mdb_read_pg(mdb_.get(), next) != static_cast<ssize_t>(page_size_)) Truncated(table);
      current = next;
      if (mdb_->pg_buf[0] != MDB_PAGE_DATA || mdb_get_int32(mdb_->pg_buf, 4) != owner) continue;
      visit();
    }
  }

  // Reads the catalog (table MSysObjects, defined on page 2) ourselves:
  // libmdb's catalog reader also parses every object's property blob, which
  // on a damaged file can loop without end. Only the name, type, flags and
  // id of each object are needed.
  void ReadDefinitions() {
    if (pages_ < 3) Truncated(u"MSysObjects");
    MdbCatalogEntry system_objects{};
    system_objects.mdb = mdb_.get();
    system_objects.object_type = MDB_TABLE;
    system_objects.table_pg = 2;
    std::strcpy(system_objects.object_name, "MSysObjects");
    const TableDefOwner catalog(mdb_read_table(&system_objects));
    if (catalog == nullptr) Damaged(u"its catalog cannot be read");
    ReadCatalog(catalog.get());
    for (auto& entry : entries_) ReadTable(entry.get());
    AssignMirrorNames(tables_);
  }

  void ReadCatalog(MdbTableDef* catalog) {
    if (mdb_read_columns(catalog) == nullptr || catalog->columns == nullptr ||
        catalog->columns->len != catalog->num_cols) {
      Damaged(u"its catalog cannot be read");
    }
    int id = -1;
    int name = -1;
    int type = -1;
    int flags = -1;
    for (unsigned c = 0; c < catalog->num_cols; ++c) {
      const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(catalog->columns, c));
      const std::string_view column_name = column->name;
      const auto matches = [&](const char* wanted, int mdb_type) {
        return column_name == wanted && column->col_type == mdb_type;
      };
      if (matches("Id", MDB_LONGINT)) id = static_cast<int>(c);
      if (matches("Name", MDB_TEXT)) name = static_cast<int>(c);
      if (matches("Type", MDB_INT)) type = static_cast<int>(c);
      if (matches("Flags", MDB_LONGINT)) flags = static_cast<int>(c);
    }
    if (id < 0 || name < 0 || type < 0 || flags < 0) Damaged(u"its catalog cannot be read");
    std::vector<MdbField> fields(catalog->num_cols);
    std::string object_name;
    std::size_t objects = 0;  // every object, system ones included
    ForEachRow(catalog, u"MSysObjects", fields, [&] {
      const auto fixed = [&](int c, std::size_t width) {
        const MdbField& f = fields[static_cast<std::size_t>(c)];
        return !f.is_null && f.siz >= 0 && static_cast<std::size_t>(f.siz) >= width &&
               InPage(f.start, static_cast<std::size_t>(f.siz));
      };
      if (!fixed(id, 4) || !fixed(type, 2) || !fixed(flags, 4) || !fixed(name, 0)) return;
      ++objects;
      const auto object_type = static_cast<std::int16_t>(Get16(mdb_->pg_buf + fields[static_cast<std::size_t>(type)].start));
      const std::uint32_t object_flags = Get32(mdb_->pg_buf + fields[static_cast<std::size_t>(flags)].start);
      if (object_type != MDB_TABLE || (object_flags & 0x80000002u) != 0) return;  // user tables only
      const MdbField& name_field = fields[static_cast<std::size_t>(name)];
      object_name.clear();
      AppendText(std::span(mdb_->pg_buf + name_field.start, static_cast<std::size_t>(name_field.siz)),
                 object_name);
      if (object_name.empty() || object_name.size() > MDB_MAX_OBJ_NAME) return;
      auto entry = std::make_unique<MdbCatalogEntry>();
      *entry = MdbCatalogEntry{};
      entry->mdb = mdb_.get();
      entry->object_type = MDB_TABLE;
      entry->flags = static_cast<int>(object_flags);
      entry->table_pg = Get32(mdb_->pg_buf + fields[static_cast<std::size_t>(id)].start) & 0x00FFFFFFu;
      std::memcpy(entry->object_name, object_name.data(), object_name.size());
      entries_.push_back(std::move(entry));
    });
    if (objects == 0) Damaged(u"its catalog is empty");
  }

  void ReadTable(MdbCatalogEntry* entry) {
    const Text name = FromUtf8(entry->object_name);
    for (const TableInfo& known : tables_) {
      if (FoldText(known.name) == FoldText(name)) return;  // keep the first of a damaged pair
    }
    if (entry->table_pg >= pages_) Truncated(name);
    TableRef ref;
    ref.def.reset(mdb_read_table(entry));
    if (ref.def == nullptr) Damaged(u"the definition of table '" + name + u"' cannot be read");
    refs_.push_back(std::move(ref));
    TableRef& table = refs_.back();
    if (mdb_read_columns(table.def.get()) == nullptr || table.def->columns == nullptr ||
        table.def->columns->len != table.def->num_cols) {
      Damaged(u"the columns of table '" + name + u"' cannot be read");
    }
    TableInfo info;
    info.name = name;
    for (unsigned c = 0; c < table.def->num_cols; ++c) {
      auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table.def->columns, c));
      if (column->col_num < 0 || column->col_num >= kMaxColumnNumber) {
        Damaged(u"the columns of table '" + name + u"' cannot be read");
      }
      const auto type = TypeOfColumn(column->col_type);
      if (!type) continue;
      // libmdb keeps a Numeric column's scale in col_prec (and its
      // precision in col_scale); its own rendering reads them that way.
      const int scale = column->col_prec;
      if (*type == JetType::kNumeric && (scale < 0 || scale > 28)) {
        Damaged(u"the columns of table '" + name + u"' cannot be read");
      }
      Text column_name = FromUtf8(column->name);
      for (const ColumnInfo& known : info.columns) {
        if (FoldText(known.name) == FoldText(column_name)) {
          Damaged(u"table '" + name + u"' has two columns named '" + column_name + u"'");
        }
      }
      if (column_name.empty()) Damaged(u"a column of table '" + name + u"' has no name");
      table.columns.push_back({static_cast<int>(c), *type, scale});
      info.columns.push_back({std::move(column_name), *type});
    }
    tables_.push_back(std::move(info));
  }

  void StoreField(const TableInfo& table, const ColumnRef& column, const MdbField& field, int index,
                  RowSink& sink) {
    if (column.type == JetType::kBoolean) {
      // A Yes/No value lives in the null bit: set means Yes.
      sink.SetInteger(index, field.is_null ? 0 : -1);
      return;
    }
    if (field.is_null) {
      sink.SetNull(index);
      return;
    }
    if (field.siz < 0 || !InPage(field.start, static_cast<std::size_t>(field.siz))) {
      DamagedValue(table, index);
    }
    const unsigned char* p = mdb_->pg_buf + field.start;
    const std::size_t width = WidthOf(column.type);
    if (width > 0 && (field.siz < 0 || static_cast<std::size_t>(field.siz) < width)) {
      DamagedValue(table, index);
    }
    std::string& text = text_[static_cast<std::size_t>(index)];
    switch (column.type) {
      case JetType::kByte: sink.SetInteger(index, p[0]); return;
      case JetType::kInteger: sink.SetInteger(index, static_cast<std::int16_t>(Get16(p))); return;
      case JetType::kLong: sink.SetInteger(index, static_cast<std::int32_t>(Get32(p))); return;
      case JetType::kSingle: sink.SetReal(index, GetRaw<float>(p)); return;
      case JetType::kDouble:
      case JetType::kDateTime: sink.SetReal(index, GetRaw<double>(p)); return;
      case JetType::kCurrency: sink.SetInteger(index, GetRaw<std::int64_t>(p)); return;
      case JetType::kGuid:
        text.clear();
        text += '{';
        for (const int i : {3, 2, 1, 0}) AppendHex(text, p[i]);
        text += '-';
        for (const int i : {5, 4}) AppendHex(text, p[i]);
        text += '-';
        for (const int i : {7, 6}) AppendHex(text, p[i]);
        text += '-';
        for (const int i : {8, 9}) AppendHex(text, p[i]);
        text += '-';
        for (int i = 10; i < 16; ++i) AppendHex(text, p[i]);
        text += '}';
        sink.SetText(index, text);
        return;
      case JetType::kNumeric: {
        // A sign byte, then a 128-bit magnitude as four little-endian
        // 32-bit words, the most significant first.
        if (Get32(p + 1) != 0) DamagedValue(table, index);
        Decimal value;
        value.negative = (p[0] & 0x80) != 0;
        value.scale = static_cast<std::uint8_t>(column.scale);
        value.hi = Get32(p + 5);
        value.lo = (static_cast<std::uint64_t>(Get32(p + 9)) << 32) | Get32(p + 13);
        text = value.ToString();
        sink.SetText(index, text);
        return;
      }
      case JetType::kText:
        text.clear();
        AppendText(std::span(p, static_cast<std::size_t>(field.siz)), text);
        sink.SetText(index, text);
        return;
      case JetType::kMemo:
        text.clear();
        ReadMemo(table, index, p, static_cast<std::size_t>(field.siz), text);
        sink.SetText(index, text);
        return;
      case JetType::kBoolean: break;
    }
  }

  // True when [start, start + size) lies within a page.
  bool InPage(long start, std::size_t size) const {
    return start >= 0 && static_cast<std::size_t>(start) <= page_size_ &&
           size <= page_size_ - static_cast<std::size_t>(start);
  }

  // Finds row `pg_row` (page << 8 | row) of a long-value page; false when it
  // cannot be read or does not lie within its page.
  bool FindLongValueRow(std::uint32_t pg_row, const std::uint8_t** data, std::size_t* length) {
    void* buffer = nullptr;
    int offset = 0;
    size_t size = 0;
    if ((pg_row >> 8) >= pages_) return false;
    if (mdb_find_pg_row(mdb_.get(), static_cast<int>(pg_row), &buffer, &offset, &size) != 0) return false;
    if (buffer == nullptr || !InPage(offset, size)) return false;
    *data = static_cast<const std::uint8_t*>(buffer) + offset;
    *length = size;
    return true;
  }

  void AppendText(std::span<const std::uint8_t> bytes, std::string& out) const {
    if (format_ == FileFormat::kJet3) {
      AppendJet3Text(bytes, out);
    } else {
      AppendJet4Text(bytes, out);
    }
  }

  // A memo value: inline in the row, in one row of a long-value page, or in
  // a chain of such rows, each starting with the page-and-row of the next.
  void ReadMemo(const TableInfo& table, int index, const unsigned char* p, std::size_t size,
                std::string& out) {
    if (size < kMemoHeader) return;
    const std::uint32_t header = Get32(p);
    if ((header & 0x80000000u) != 0) {
      AppendText(std::span(p + kMemoHeader, size - kMemoHeader), out);
      return;
    }
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    if ((header & 0x40000000u) != 0) {
      if (!FindLongValueRow(Get32(p + 4), &data, &length)) DamagedValue(table, index);
      AppendText(std::span(data, length), out);
      return;
    }
    if ((header & 0xff000000u) != 0) DamagedValue(table, index);
    const std::size_t total = header;
    memo_.clear();
    std::uint32_t next = Get32(p + 4);
    const std::uintmax_t max_links = 4 * pages_ + 16;
    for (std::uintmax_t links = 0; next != 0; ++links) {
      if (links > max_links) DamagedValue(table, index);
      if (!FindLongValueRow(next, &data, &length) || length < 4) DamagedValue(table, index);
      if (memo_.size() + (length - 4) > total) break;
      memo_.insert(memo_.end(), data + 4, data + length);
      next = Get32(data);
    }
    AppendText(memo_, out);
  }

  std::filesystem::path path_;
  FileFormat format_;
  std::size_t page_size_;
  std::uintmax_t pages_;
  // Members go in the reverse order of their declaration: the table
  // definitions before the file.
  MdbOwner mdb_;
  std::vector<std::unique_ptr<MdbCatalogEntry>> entries_;  // the user tables' catalog entries
  std::vector<TableInfo> tables_;
  std::vector<TableRef> refs_;  // the table definitions, one per entry of tables_
  std::vector<std::string> text_;
  std::vector<std::uint8_t> memo_;
};

}  // namespace

std::unique_ptr<TableSource> OpenMdbSource(const std::filesystem::path& path, FileFormat format,
                                           std::uintmax_t file_size) {
  return std::make_unique<MdbSource>(path, format, file_size);
}

}  // namespace qorvel::jet
