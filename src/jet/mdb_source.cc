// Reading Jet and ACE files through libmdb.
//
// libmdb gives us the catalog, the table definitions and the cracking of a
// row into fields; we walk the data pages ourselves (so that every page
// number is checked against the file before it is read, and every loop over
// file data is bounded), decode the fixed-width values from the page buffer
// and read text and memo values from their stored bytes. Data pages, page
// maps and long values are read (and in an encrypted file decrypted) by us,
// with pread, never through libmdb's page reader. libmdb's own text
// rendering of values is not used: it loses dates outside 1900-2099 and the
// last hyphen of a GUID, and it costs a string per cell.
// mdbtools.h includes glib.h inside its extern "C" block, where glib's C++
// parts (templates) cannot be compiled; including glib.h first keeps its
// include guard from letting that happen.
#include <glib.h>
#include <mdbtools.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "jet/errors.h"
#include "jet/file_format.h"
#include "jet/source.h"
#include "jet/text.h"
#include "jet/values.h"
#include "qorvel/variant.h"

namespace qorvel::jet {
namespace {

constexpr int kOffsetMask = 0x1fff;
constexpr int kDeletedFlag = 0x4000;
constexpr int kMaxColumnNumber = 256;
constexpr std::size_t kMemoHeader = 12;
constexpr std::size_t kDecimalSize = 16;  // the automation's decimal
// A calculated column's value: 16 bytes, the length of the data (32 bits),
// the data, then 3 bytes. The data is in the form of the expression's
// result type.
constexpr std::size_t kCalculatedHeader = 20;
// The column entry's flags that mark a calculated column (2010 and later).
constexpr std::size_t kColumnExtraFlags = 16;
constexpr std::uint8_t kCalculatedFlags = 0xC0;

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

// The type 2019 files give to the extended date/time.
constexpr int kMdbExtendedDateTime = 0x14;

// The engine's type of a libmdb column type; nothing for the types it does
// not read, whose kind KindOfUnsupported names.
std::optional<JetType> TypeOfColumn(int mdb_type) {
  switch (mdb_type) {
    case MDB_BOOL: return JetType::kBoolean;
    case MDB_BYTE: return JetType::kByte;
    case MDB_INT: return JetType::kInteger;
    case MDB_LONGINT: return JetType::kLong;
    case MDB_MONEY: return JetType::kCurrency;
    case MDB_FLOAT: return JetType::kSingle;
    case MDB_DOUBLE: return JetType::kDouble;
    case MDB_DATETIME: return JetType::kDateTime;
    case MDB_TEXT: return JetType::kText;
    case MDB_MEMO: return JetType::kMemo;
    case MDB_REPID: return JetType::kGuid;
    case MDB_NUMERIC: return JetType::kNumeric;
    case MDB_BINARY: return JetType::kBinary;
    case MDB_OLE: return JetType::kOle;
    case kMdbExtendedDateTime: return JetType::kDateTimeExtended;
    default: return std::nullopt;
  }
}

Text KindOfUnsupported(int mdb_type) {
  // A complex column holds only the key of its values in a hidden table.
  if (mdb_type == MDB_COMPLEX) return u"attachment, multi-value or version history";
  return u"unknown type " + FromUtf8(std::to_string(mdb_type));
}

// The types a calculated column's data can have here.
bool IsCalculable(JetType type) {
  return type != JetType::kBinary && type != JetType::kOle && type != JetType::kDateTimeExtended;
}

// The result types of a table's calculated columns, (folded column name,
// libmdb type), from the table's properties (MSysObjects.LvProp): "MR2\0",
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
    case JetType::kDateTimeExtended: return kExtendedDateTimeSize;
    default: return 0;
  }
}

// A stored GUID as its text, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: the
// first three groups are little-endian numbers, the last two groups' bytes
// are in order.
std::string_view GuidText(const std::uint8_t* p, std::array<char, 38>& out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  static constexpr int kByteOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::size_t at = 0;
  out[at++] = '{';
  for (int k = 0; k < 16; ++k) {
    if (k == 4 || k == 6 || k == 8 || k == 10) out[at++] = '-';
    const std::uint8_t byte = p[kByteOrder[k]];
    out[at++] = kDigits[byte >> 4];
    out[at++] = kDigits[byte & 15];
  }
  out[at++] = '}';
  return {out.data(), at};
}

struct ColumnRef {
  int field;  // index into the table's libmdb columns (and the cracked fields)
  JetType type;
  int scale;  // Numeric only
  // A calculated column: its values carry a header, and a long one is
  // stored as a memo is.
  bool calculated = false;
  bool long_value = false;
  // The least size of a value (of a calculated column's data).
  std::size_t width = 0;
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
  // Reads the file at `open_path`, named `path` in messages.
  MdbSource(const std::filesystem::path& path, const std::filesystem::path& open_path, FileFormat format,
            std::uintmax_t file_size)
      : path_(path), format_(format), page_size_(PageSize(format)),
        pages_(file_size / PageSize(format)), mdb_(mdb_open(open_path.c_str(), MDB_NOFLAGS)) {
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

  // Opens the file this handle has open (through its descriptor, so that a
  // file renamed over the path since is not the one read); null when its
  // tables are no longer the same (written over in place meanwhile).
  std::unique_ptr<TableSource> OpenAnother() const override {
    const std::filesystem::path same_file = "/proc/self/fd/" + std::to_string(fileno(mdb_->f->stream));
    auto another = std::make_unique<MdbSource>(path_, same_file, format_, pages_ * page_size_);
    if (another->tables_ != tables_) return nullptr;  // written over meanwhile: take turns
    return another;
  }

  std::uintmax_t SizeHint(std::size_t index) override {
    return DataPagesOf(refs_[index].def.get(), tables_[index].name).size() * page_size_;
  }

  void ReadRows(std::size_t index, RowSink& sink) override {
    TableRef& table = refs_[index];
    const TableInfo& info = tables_[index];
    MdbTableDef* def = table.def.get();
    std::vector<MdbField> fields(def->num_cols);
    text_.resize(table.columns.size());
    blobs_.resize(table.columns.size());
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
  // (one per column of the table definition). Deleted rows are skipped; a
  // row table that cannot fit its page, a live row outside its page and a
  // field outside its row are damage.
  template <typename Visit>
  void ForEachRow(MdbTableDef* def, std::u16string_view table, std::vector<MdbField>& fields,
                  Visit&& visit) {
    ForEachDataPage(def, table, [&](guint32 page) {
      const RowTable rows = RowsOf(mdb_->pg_buf);
      if (!rows.fits) Damaged(u"the row count of page " + PageText(page) + u" cannot fit its page");
      for (std::size_t row = 0; row < rows.count; ++row) {
        const RowPlace place = PlaceOf(mdb_->pg_buf, rows, row);
        if (place.deleted) continue;
        if (!place.fits) Damaged(u"a row of page " + PageText(page) + u" lies outside its page");
        if (!FieldsFitRow(def, place.start, place.size)) {
          Damaged(u"a field of a row of table '" + Text(table) + u"' lies beyond its row");
        }
        const int cracked = mdb_crack_row(def, static_cast<int>(place.start), place.size, fields.data());
        if (cracked < 0) Damaged(u"a row of table '" + Text(table) + u"' cannot be read");
        for (const MdbField& field : fields) {
          if (field.is_null || field.siz <= 0) continue;
          if (field.start < static_cast<long>(place.start) ||
              static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.siz) > place.start + place.size) {
            Damaged(u"a field of a row of table '" + Text(table) + u"' lies beyond its row");
          }
        }
        visit();
      }
    });
  }

  // Checks a row's layout as libmdb's row cracker reads it, before it does
  // (it reports a field outside its row on standard error): the column
  // count first; at the end the null mask, before it the count of
  // variable-length fields and their offsets from the row's start (one
  // more than the count: the last is where the variable data ends). Jet 3
  // keeps one-byte counts and offsets, with a table of "jumps" that add 256
  // to the offsets from the field each names. True when every field the
  // cracker will place lies inside the row.
  bool FieldsFitRow(MdbTableDef* def, std::size_t start, std::size_t size) {
    const unsigned char* row = mdb_->pg_buf + start;
    const bool jet3 = format_ == FileFormat::kJet3;
    const std::size_t count_size = jet3 ? 1 : 2;
    if (size < count_size) return false;
    const std::size_t columns = jet3 ? row[0] : Get16(row);
    const std::size_t mask = (columns + 7) / 8;
    if (size < count_size + mask + count_size) return false;
    std::vector<std::size_t>& offsets = offsets_;
    offsets.clear();
    std::size_t variables = 0;
    if (def->num_var_cols > 0) {
      const std::size_t last = size - 1;  // the row's last byte
      if (jet3) {
        variables = row[last - mask];
        const long pointer = static_cast<long>(last - mask) - static_cast<long>((size - 1) / 256) - 1;
        long jumps = static_cast<long>((size - 1) / 256);
        if (pointer < static_cast<long>(count_size + variables)) return false;
        if ((pointer - static_cast<long>(variables)) / 256 < jumps) --jumps;
        long used = 0;
        for (std::size_t i = 0; i <= variables; ++i) {
          while (used < jumps && i == row[last - mask - static_cast<std::size_t>(used) - 1]) ++used;
          offsets.push_back(row[static_cast<std::size_t>(pointer) - i] + static_cast<std::size_t>(used) * 256);
        }
      } else {
        variables = Get16(row + last - mask - 1);
        if (size < count_size + mask + 4 + 2 * variables) return false;
        for (std::size_t i = 0; i <= variables; ++i) offsets.push_back(Get16(row + size - mask - 4 - 2 * i));
      }
    }
    if (variables > columns) return false;
    for (std::size_t v = 0; v < variables; ++v) {
      if (offsets[v] > offsets[v + 1] || offsets[v + 1] > size) return false;
    }
    const std::size_t fixed_in_row = columns - variables;
    std::size_t found = 0;
    for (unsigned c = 0; c < def->num_cols && found < fixed_in_row; ++c) {
      const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, c));
      if (!column->is_fixed) continue;
      ++found;
      if (column->fixed_offset < 0 || column->col_size < 0 ||
          static_cast<std::size_t>(column->fixed_offset) + count_size + static_cast<std::size_t>(column->col_size) > size) {
        return false;
      }
    }
    return true;
  }

  // The row table of a data page: its count, and whether the count fits.
  struct RowTable {
    std::size_t count = 0;
    std::size_t end = 0;  // the first byte after the row table
    bool fits = false;
  };
  RowTable RowsOf(const unsigned char* page) const {
    RowTable rows;
    const std::size_t at = mdb_->fmt->row_count_offset;
    rows.count = Get16(page + at);
    rows.end = at + 2 + 2 * rows.count;
    rows.fits = rows.end <= page_size_;
    return rows;
  }

  // Where row `row` of a page lies: rows are stored from the end of the page
  // down, each ending where the one before it starts. Precondition:
  // rows.fits and row < rows.count.
  struct RowPlace {
    std::size_t start = 0;
    std::size_t size = 0;
    bool deleted = false;
    bool fits = false;
  };
  RowPlace PlaceOf(const unsigned char* page, const RowTable& rows, std::size_t row) const {
    const std::size_t table = static_cast<std::size_t>(mdb_->fmt->row_count_offset) + 2;
    const std::uint16_t raw = Get16(page + table + 2 * row);
    const std::size_t end = row == 0 ? page_size_ : (Get16(page + table + 2 * (row - 1)) & kOffsetMask);
    RowPlace place;
    place.deleted = (raw & kDeletedFlag) != 0;
    place.start = raw & kOffsetMask;
    place.fits = place.start >= rows.end && place.start < end && end <= page_size_;
    place.size = place.fits ? end - place.start : 0;
    return place;
  }

  static Text PageText(std::uintmax_t page) { return FromUtf8(std::to_string(page)); }

  // Reads page `page` into the handle's second page buffer. Truncated when
  // the page lies beyond the end of the file (checked here, so that libmdb
  // never reads past it: it reports that on the host's standard error).
  const unsigned char* ReadCheckPage(std::uintmax_t page, std::u16string_view table) {
    if (page >= pages_ || !ReadPageInto(page, mdb_->alt_pg_buf)) Truncated(table);
    return mdb_->alt_pg_buf;
  }

  // Reads page `page` whole into `buffer` (page_size_ bytes), with one
  // system call and never a line on standard error, even when the file was
  // cut short since it was opened. False when the page cannot be read whole.
  bool ReadPageInto(std::uintmax_t page, unsigned char* buffer) { return ReadPages(page, 1, buffer) == 1; }

  // Reads up to `count` pages from page `first` into `buffer`, with pread
  // (never a line on standard error), decrypted when the file is; returns
  // how many were read whole.
  std::size_t ReadPages(std::uintmax_t first, std::size_t count, unsigned char* buffer) {
    const std::size_t bytes = count * page_size_;
    std::size_t got = 0;
    while (got < bytes) {
      const ssize_t n = ::pread(fileno(mdb_->f->stream), buffer + got, bytes - got,
                                static_cast<off_t>(first * page_size_ + got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    const std::size_t pages = got / page_size_;
    if (mdb_->f->db_key != 0) {
      for (std::size_t k = 0; k < pages; ++k) Decrypt(first + k, buffer + k * page_size_);
    }
    return pages;
  }

  // An encrypted file's pages after the first are XORed with an RC4
  // keystream whose key is the file's key XOR the page number (four bytes,
  // little-endian).
  void Decrypt(std::uintmax_t page, unsigned char* data) const {
    if (page == 0) return;
    const auto key = static_cast<std::uint32_t>(mdb_->f->db_key ^ static_cast<std::uint32_t>(page));
    const std::uint8_t key_bytes[4] = {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
                                       static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 24)};
    const std::vector<std::uint8_t> keystream = Rc4Keystream(key_bytes, page_size_);
    for (std::size_t i = 0; i < page_size_; ++i) data[i] ^= keystream[i];
  }

  // Checks the structure of a table definition before libmdb reads it, so
  // that libmdb meets nothing it would complain about on standard error and
  // nothing that cannot be valid passes as data: every page of the
  // definition is a definition page inside the file, the columns fit the
  // definition, and the page map and free-space map are rows of data pages
  // (the page map of a kind that exists, its map pages inside the file).
  // What the definition says about the table's contents (its row count,
  // which pages have space) is not checked: it may be stale after an
  // unclean close.
  void CheckDefinition(std::uintmax_t first, std::u16string_view table) {
    const MdbFormatConstants& fmt = *mdb_->fmt;
    // The definition as one run of bytes, as libmdb reads it: the first
    // page whole, then each further page after its 8-byte header.
    std::vector<unsigned char>& def = definition_;
    def.clear();
    std::uintmax_t chain = 0;
    for (std::uintmax_t page = first;;) {
      const unsigned char* p = ReadCheckPage(page, table);
      if (p[0] != MDB_PAGE_TABLE) {
        Damaged(u"page " + PageText(page) + u" of the definition of table '" + Text(table) +
                u"' is not a definition page");
      }
      def.insert(def.end(), p + (def.empty() ? 0 : 8), p + page_size_);
      ++chain;
      page = Get32(p + 4);
      if (page == 0) break;
      if (chain > pages_) Damaged(u"the definition of table '" + Text(table) + u"' does not end");
    }
    // The column entries follow the index entries; the column names (each
    // with its length) follow the column entries. All must lie inside the
    // definition's pages: libmdb would read on past them.
    const std::uint64_t length = Get32(def.data() + 8);
    const std::uint64_t columns = Get16(def.data() + fmt.tab_num_cols_offset);
    const std::uint64_t real_indexes = Get32(def.data() + fmt.tab_num_ridxs_offset);
    std::uint64_t end = fmt.tab_cols_start_offset + real_indexes * fmt.tab_ridx_entry_size +
                        columns * fmt.tab_col_entry_size;
    const bool jet3 = format_ == FileFormat::kJet3;
    std::uint64_t named = 0;
    for (; named < columns && end + (jet3 ? 1 : 2) <= def.size(); ++named) {
      const std::size_t at = static_cast<std::size_t>(end);
      end += jet3 ? 1u + def[at] : 2u + Get16(def.data() + at);
    }
    if (length > def.size() || named < columns || end > def.size()) {
      Damaged(u"the definition of table '" + Text(table) + u"' does not fit its pages");
    }
    const auto& head = def;
    CheckMapRow(Get32(head.data() + fmt.tab_free_map_offset), table, false);
    CheckMapRow(Get32(head.data() + fmt.tab_usage_map_offset), table, true);
  }

  // Checks a page-and-row reference to a table's page map (`usage`) or
  // free-space map.
  void CheckMapRow(std::uint32_t pg_row, std::u16string_view table, bool usage) {
    const std::u16string what = std::u16string(usage ? u"the page map" : u"the free-space map") +
                                u" of table '" + Text(table) + u"'";
    const unsigned char* p = ReadCheckPage(pg_row >> 8, table);
    const RowTable rows = RowsOf(p);
    const std::size_t row = pg_row & 0xff;
    if (p[0] != MDB_PAGE_DATA || !rows.fits || row >= rows.count) Damaged(what + u" is not a page map");
    const RowPlace place = PlaceOf(p, rows, row);
    if (place.deleted || !place.fits) Damaged(what + u" is not a page map");
    if (!usage) return;
    const unsigned char* map = p + place.start;
    if (map[0] == 0) {  // a start page and a bitmap
      if (place.size < 5) Damaged(what + u" is not a page map");
      return;
    }
    if (map[0] != 1) Damaged(what + u" is not a page map");
    // A list of map pages, each a page of bits; libmdb reads them itself.
    std::vector<std::uint32_t> map_pages;
    for (std::size_t at = 1; at + 4 <= place.size; at += 4) {
      if (const std::uint32_t page = Get32(map + at); page != 0) map_pages.push_back(page);
    }
    for (const std::uint32_t page : map_pages) {
      if (ReadCheckPage(page, table)[0] != MDB_PAGE_MAP) Damaged(what + u" is not a page map");
    }
  }

  // Calls `visit` with each data page of the table loaded in mdb_->pg_buf,
  // in the order of the table's page map. Every page the map lists must be
  // a data page of the table.
  template <typename Visit>
  void ForEachDataPage(MdbTableDef* def, std::u16string_view table, Visit&& visit) {
    const auto owner = static_cast<long>(def->entry->table_pg);
    for (const std::uint32_t page : DataPagesOf(def, table)) {
      if (!ReadDataPage(page)) Truncated(table);
      if (mdb_->pg_buf[0] != MDB_PAGE_DATA || mdb_get_int32(mdb_->pg_buf, 4) != owner) {
        Damaged(u"page " + PageText(page) + u", listed in the page map of table '" + Text(table) +
                u"', is not one of its data pages");
      }
      visit(page);
    }
  }

  // The data pages a table's page map lists, in order: the pages whose bits
  // are set in a bitmap that follows the map's first page number (kind 0),
  // or in the bitmap pages the map lists (kind 1, each page's bits after a
  // 4-byte header), page 0 ending the list, as libmdb's walk of the map
  // (mdb_map_find_next) gives them. Read here because that walk reads a
  // bitmap page again for every page it finds there.
  std::vector<std::uint32_t> DataPagesOf(MdbTableDef* def, std::u16string_view table) {
    const auto cannot_read = [&] { Damaged(u"the page map of table '" + Text(table) + u"' cannot be read"); };
    if (def->usage_map == nullptr || def->map_sz < 5) cannot_read();  // a kind byte and a page number at least
    const auto* map = static_cast<const unsigned char*>(def->usage_map);
    const auto size = static_cast<std::size_t>(def->map_sz);
    std::vector<std::uint32_t> pages;
    // Adds the pages of bits [from, count) of `bits`, bit i standing for
    // page first + i; false at page 0.
    const auto add = [&](const unsigned char* bits, std::uint64_t count, std::uint64_t first, std::uint64_t from) {
      for (std::uint64_t i = from; i < count; ++i) {
        if ((bits[i / 8] & (1u << (i % 8))) == 0) continue;
        const std::uint64_t page = first + i;
        if (page == 0) return false;
        if (page >= pages_) Truncated(table);
        pages.push_back(static_cast<std::uint32_t>(page));
      }
      return true;
    };
    if (map[0] == 0) {
      add(map + 5, (size - 5) * 8, Get32(map + 1), 0);
    } else if (map[0] == 1) {
      const std::uint64_t bits = (page_size_ - 4) * 8;
      for (std::size_t k = 0; k < (size - 1) / 4; ++k) {
        const std::uint32_t map_page = Get32(map + 1 + 4 * k);
        if (map_page == 0) continue;
        const unsigned char* p = ReadCheckPage(map_page, table);
        if (p[0] != MDB_PAGE_MAP) cannot_read();
        // The first bit of the first bitmap stands for page 0, the header.
        if (!add(p + 4, bits, k * bits, k == 0 ? 1 : 0)) break;
      }
    } else {
      cannot_read();
    }
    return pages;
  }

  // Reads page `page` into the handle's page buffer, as mdb_read_pg does,
  // in fewer system calls: libmdb makes four for every page, and the pages
  // of a table mostly follow each other, so a run of them is read at once
  // into a window. False when the page cannot be read whole.
  bool ReadDataPage(std::uintmax_t page) {
    if (page < window_first_ || page >= window_first_ + window_pages_) {
      // One page at first; a window once the pages run on.
      const bool run = page == last_page_ + 1;
      const std::uintmax_t wanted = std::min<std::uintmax_t>(run ? kWindowPages : 1, pages_ - page);
      window_.resize(static_cast<std::size_t>(wanted) * page_size_);
      window_first_ = page;
      window_pages_ = ReadPages(page, static_cast<std::size_t>(wanted), window_.data());
      if (window_pages_ == 0) return false;
    }
    last_page_ = page;
    std::memcpy(mdb_->pg_buf, window_.data() + (page - window_first_) * page_size_, page_size_);
    mdb_->cur_pg = static_cast<guint32>(page);
    mdb_->cur_pos = 0;
    return true;
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
    CheckDefinition(2, u"MSysObjects");
    const TableDefOwner catalog(mdb_read_table(&system_objects));
    if (catalog == nullptr) Damaged(u"its catalog cannot be read");
    ReadCatalog(catalog.get());
    for (std::size_t i = 0; i < entries_.size(); ++i) ReadTable(entries_[i].get(), i);
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
    int props = -1;  // read only in ACE files, for their calculated columns
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
      if (matches("LvProp", MDB_OLE)) props = static_cast<int>(c);
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
      std::vector<std::uint8_t>& properties = properties_.emplace_back();
      if (props < 0 || format_ != FileFormat::kAce) return;
      const MdbField& props_field = fields[static_cast<std::size_t>(props)];
      if (props_field.is_null || props_field.siz <= 0) return;
      const auto value = LongValue(mdb_->pg_buf + props_field.start, static_cast<std::size_t>(props_field.siz));
      if (!value) Damaged(u"the properties of table '" + FromUtf8(object_name) + u"' cannot be read");
      properties.assign(value->begin(), value->end());
    });
    if (objects == 0) Damaged(u"its catalog is empty");
  }

  // Which column numbers are calculated columns, from the column entries
  // of the table definition last checked (CheckDefinition keeps its bytes).
  // Only ACE files have them.
  std::vector<bool> CalculatedColumns(const MdbTableDef* def) const {
    std::vector<bool> calculated(kMaxColumnNumber);
    if (format_ != FileFormat::kAce) return calculated;
    const MdbFormatConstants& fmt = *mdb_->fmt;
    const std::size_t start = static_cast<std::size_t>(fmt.tab_cols_start_offset) +
                              static_cast<std::size_t>(def->num_real_idxs) * static_cast<std::size_t>(fmt.tab_ridx_entry_size);
    const auto size = static_cast<std::size_t>(fmt.tab_col_entry_size);
    for (std::size_t c = 0; c < def->num_cols; ++c) {
      const std::size_t at = start + c * size;
      if (at + size > definition_.size() || size <= kColumnExtraFlags) break;  // checked by CheckDefinition
      const std::size_t number = Get16(definition_.data() + at + 5);
      if (number < calculated.size()) {
        calculated[number] = (definition_[at + kColumnExtraFlags] & kCalculatedFlags) == kCalculatedFlags;
      }
    }
    return calculated;
  }

  void ReadTable(MdbCatalogEntry* entry, std::size_t entry_index) {
    const Text name = FromUtf8(entry->object_name);
    for (const TableInfo& known : tables_) {
      if (FoldText(known.name) == FoldText(name)) return;  // keep the first of a damaged pair
    }
    CheckDefinition(entry->table_pg, name);
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
    const std::vector<bool> calculated = CalculatedColumns(table.def.get());
    const auto result_types = ResultTypes(properties_[entry_index]);
    std::vector<bool> numbers(kMaxColumnNumber);
    for (unsigned c = 0; c < table.def->num_cols; ++c) {
      auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table.def->columns, c));
      if (column->col_num < 0 || column->col_num >= kMaxColumnNumber) {
        Damaged(u"the columns of table '" + name + u"' cannot be read");
      }
      // The number places the column's null bit and value in each row: two
      // columns with one number would read each other's values.
      if (numbers[static_cast<std::size_t>(column->col_num)]) {
        Damaged(u"two columns of table '" + name + u"' have the same number");
      }
      numbers[static_cast<std::size_t>(column->col_num)] = true;
      Text column_name = FromUtf8(column->name);
      if (column_name.empty()) Damaged(u"a column of table '" + name + u"' has no name");
      for (const ColumnInfo& known : info.columns) {
        if (FoldText(known.name) == FoldText(column_name)) {
          Damaged(u"table '" + name + u"' has two columns named '" + column_name + u"'");
        }
      }
      ColumnRef column_ref{static_cast<int>(c), JetType::kLong, column->col_prec};
      column_ref.calculated = calculated[static_cast<std::size_t>(column->col_num)];
      int stored_type = column->col_type;
      if (column_ref.calculated) {
        // The data has the expression's result type, which the column's
        // properties name; the column's own type may differ.
        for (const auto& [folded, result] : result_types) {
          if (folded == FoldText(column_name) && TypeOfColumn(result)) stored_type = result;
        }
      }
      const auto type = TypeOfColumn(stored_type);
      if (!type || (column_ref.calculated && !IsCalculable(*type))) {
        info.unsupported.push_back({std::move(column_name), KindOfUnsupported(stored_type)});
        continue;
      }
      column_ref.type = *type;
      column_ref.long_value = column_ref.calculated && column_ref.type == JetType::kMemo;
      column_ref.width = WidthOf(column_ref.type);
      if (column_ref.calculated && column_ref.type == JetType::kNumeric) column_ref.width = kDecimalSize;
      if (column_ref.calculated && column_ref.type == JetType::kBoolean) column_ref.width = 1;
      // libmdb keeps a Numeric column's scale in col_prec (and its
      // precision in col_scale); its own rendering reads them that way.
      if (column_ref.type == JetType::kNumeric && !column_ref.calculated &&
          (column_ref.scale < 0 || column_ref.scale > 28)) {
        Damaged(u"the columns of table '" + name + u"' cannot be read");
      }
      table.columns.push_back(column_ref);
      info.columns.push_back({std::move(column_name), *type});
    }
    tables_.push_back(std::move(info));
  }

  void StoreField(const TableInfo& table, const ColumnRef& column, const MdbField& field, int index,
                  RowSink& sink) {
    if (column.type == JetType::kBoolean && !column.calculated) {
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
    auto size = static_cast<std::size_t>(field.siz);
    if (column.calculated) [[unlikely]] {
      // The value is the data after its header, in the form of the
      // expression's result type (the column's type here).
      const std::span<const std::uint8_t> data =
          CalculatedData(table, index, column.long_value ? LongValue(table, index, p, size) : std::span(p, size));
      if (data.empty()) {
        sink.SetNull(index);
        return;
      }
      p = data.data();
      size = data.size();
    }
    if (size < column.width) DamagedValue(table, index);
    std::string& text = text_[static_cast<std::size_t>(index)];
    switch (column.type) {
      case JetType::kByte: sink.SetInteger(index, p[0]); return;
      case JetType::kInteger: sink.SetInteger(index, static_cast<std::int16_t>(Get16(p))); return;
      case JetType::kLong: sink.SetInteger(index, static_cast<std::int32_t>(Get32(p))); return;
      case JetType::kSingle: sink.SetReal(index, GetRaw<float>(p)); return;
      case JetType::kDouble:
      case JetType::kDateTime: sink.SetReal(index, GetRaw<double>(p)); return;
      case JetType::kCurrency: sink.SetInteger(index, GetRaw<std::int64_t>(p)); return;
      case JetType::kBoolean: sink.SetInteger(index, p[0] != 0 ? -1 : 0); return;  // calculated only
      case JetType::kGuid: {
        std::array<char, 38> guid;
        sink.SetText(index, GuidText(p, guid));
        return;
      }
      case JetType::kNumeric: {
        Decimal value;
        if (column.calculated) {
          // The automation's decimal: two bytes (the precision), the scale,
          // the sign, the high 32 bits and the low 64 bits of the magnitude.
          if (p[2] > 28 || (p[3] & 0x7f) != 0) DamagedValue(table, index);
          value.scale = p[2];
          value.negative = (p[3] & 0x80) != 0;
          value.hi = Get32(p + 4);
          value.lo = static_cast<std::uint64_t>(Get32(p + 8)) | (static_cast<std::uint64_t>(Get32(p + 12)) << 32);
        } else {
          // A sign byte, then a 128-bit magnitude as four little-endian
          // 32-bit words, the most significant first.
          if (Get32(p + 1) != 0) DamagedValue(table, index);
          value.negative = (p[0] & 0x80) != 0;
          value.scale = static_cast<std::uint8_t>(column.scale);
          value.hi = Get32(p + 5);
          value.lo = (static_cast<std::uint64_t>(Get32(p + 9)) << 32) | Get32(p + 13);
        }
        text = value.ToString();
        sink.SetText(index, text);
        return;
      }
      case JetType::kText:
        text.clear();
        AppendText(std::span(p, size), text);
        sink.SetText(index, text);
        return;
      case JetType::kMemo:
        text.clear();
        AppendText(column.calculated ? std::span(p, size) : LongValue(table, index, p, size), text);
        sink.SetText(index, text);
        return;
      case JetType::kBinary: sink.SetBlob(index, std::span(p, size)); return;
      case JetType::kOle: {
        const std::span<const std::uint8_t> bytes = LongValue(table, index, p, size);
        std::vector<std::uint8_t>& blob = blobs_[static_cast<std::size_t>(index)];
        blob.assign(bytes.begin(), bytes.end());
        sink.SetBlob(index, blob);
        return;
      }
      case JetType::kDateTimeExtended: {
        const auto iso = ExtendedDateTimeText(std::span<const std::uint8_t, kExtendedDateTimeSize>(p, kExtendedDateTimeSize));
        if (!iso) DamagedValue(table, index);
        text = *iso;
        sink.SetText(index, text);
        return;
      }
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
    const std::uintmax_t page = pg_row >> 8;
    const std::size_t row = pg_row & 0xff;
    // Page 0 is the file's header, never a long-value page (and the
    // number that marks "no page read yet" below).
    if (page == 0 || page >= pages_) return false;
    if (page != long_value_page_) {
      long_value_.resize(page_size_);
      long_value_page_ = 0;
      if (!ReadPageInto(page, long_value_.data())) return false;
      long_value_page_ = page;
    }
    const unsigned char* p = long_value_.data();
    if (p[0] != MDB_PAGE_DATA) return false;
    // The row's start as stored: a start with flag bits set lies beyond any
    // page, and is not a value.
    const std::size_t table = static_cast<std::size_t>(mdb_->fmt->row_count_offset) + 2;
    if (table + 2 * row + 2 > page_size_) return false;
    const std::size_t start = Get16(p + table + 2 * row);
    const std::size_t end = row == 0 ? page_size_ : (Get16(p + table + 2 * (row - 1)) & kOffsetMask);
    if (start >= page_size_ || start > end || end > page_size_) return false;
    *data = p + start;
    *length = end - start;
    return true;
  }


  void AppendText(std::span<const std::uint8_t> bytes, std::string& out) const {
    if (format_ == FileFormat::kJet3) {
      AppendJet3Text(bytes, out);
    } else {
      AppendJet4Text(bytes, out);
    }
  }

  // The bytes of a long value (memo, OLE): inline in the row, in one row of
  // a long-value page, or in a chain of such rows, each starting with the
  // page-and-row of the next. `p` and `size` are the value's field in the
  // row; a field shorter than its header holds no bytes. The bytes lie in a
  // page buffer or in memo_, valid until the next long value is read.
  // Nothing when the value cannot be read.
  std::optional<std::span<const std::uint8_t>> LongValue(const unsigned char* p, std::size_t size) {
    if (size < kMemoHeader) return std::span<const std::uint8_t>();
    const std::uint32_t header = Get32(p);
    if ((header & 0x80000000u) != 0) return std::span(p + kMemoHeader, size - kMemoHeader);
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    if ((header & 0x40000000u) != 0) {
      if (!FindLongValueRow(Get32(p + 4), &data, &length)) return std::nullopt;
      return std::span(data, length);
    }
    if ((header & 0xff000000u) != 0) return std::nullopt;
    const std::size_t total = header;
    memo_.clear();
    std::uint32_t next = Get32(p + 4);
    const std::uintmax_t max_links = 4 * pages_ + 16;
    for (std::uintmax_t links = 0; next != 0; ++links) {
      if (links > max_links) return std::nullopt;
      if (!FindLongValueRow(next, &data, &length) || length < 4) return std::nullopt;
      if (memo_.size() + (length - 4) > total) break;
      memo_.insert(memo_.end(), data + 4, data + length);
      next = Get32(data);
    }
    return std::span<const std::uint8_t>(memo_);
  }

  std::span<const std::uint8_t> LongValue(const TableInfo& table, int index, const unsigned char* p,
                                          std::size_t size) {
    const auto value = LongValue(p, size);
    if (!value) DamagedValue(table, index);
    return *value;
  }

  // The data of a calculated column's value (empty for Null), after its
  // header; a value too short for its header or its data is damage.
  std::span<const std::uint8_t> CalculatedData(const TableInfo& table, int index, std::span<const std::uint8_t> value) {
    if (value.size() < kCalculatedHeader) DamagedValue(table, index);
    const std::size_t length = Get32(value.data() + kCalculatedHeader - 4);
    if (length > value.size() - kCalculatedHeader) DamagedValue(table, index);
    return value.subspan(kCalculatedHeader, length);
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
  std::vector<std::vector<std::uint8_t>> blobs_;  // a row's OLE values, one per column
  std::vector<std::vector<std::uint8_t>> properties_;  // per entry of entries_: its LvProp (ACE only)
  std::vector<std::size_t> offsets_;  // a row's variable-length field offsets
  std::vector<unsigned char> definition_;  // a table definition's bytes
  // Data pages read ahead: window_pages_ pages from page window_first_.
  static constexpr std::uintmax_t kWindowPages = 32;
  std::vector<unsigned char> window_;
  std::uintmax_t window_first_ = 0;
  std::uintmax_t window_pages_ = 0;
  std::uintmax_t last_page_ = 0;
  // The long-value page last read (0: none; page 0 is the header).
  std::vector<unsigned char> long_value_;
  std::uintmax_t long_value_page_ = 0;
};

}  // namespace

std::unique_ptr<TableSource> OpenMdbSource(const std::filesystem::path& path, FileFormat format,
                                           std::uintmax_t file_size) {
  return std::make_unique<MdbSource>(path, path, format, file_size);
}

}  // namespace qorvel::jet
