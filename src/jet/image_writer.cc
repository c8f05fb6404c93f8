// ImageWriter: a table's copy written as SQLite database pages.
#include "jet/image_writer.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/text_ops.h"
#include "jet/row_sink.h"
#include "jet/system.h"
#include "jet/table_schema.h"
#include "jet/text.h"

namespace qorvel::jet {

// A fixed-capacity array of plain values in a block of memory of its own:
// the keys of a large index would otherwise take fresh memory from the heap
// a small page at a time, and each such page costs the kernel a fault. An
// array of more than a few pages gets a block of at least one large page.
template <typename T>
class BlockArray {
 public:
  explicit BlockArray(std::size_t capacity)
      : block_(MemoryBlock::Reserve(BlockSize(capacity))), data_(reinterpret_cast<T*>(block_.data())) {}
  void push_back(const T& value) { data_[size_++] = value; }
  void resize(std::size_t size) { size_ = size; }
  std::size_t size() const { return size_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  static std::size_t BlockSize(std::size_t capacity) {
    const std::size_t bytes = std::max<std::size_t>(capacity, 1) * sizeof(T);
    return bytes >= (std::size_t{256} << 10) ? std::max(bytes, std::size_t{2} << 20) : bytes;
  }

  MemoryBlock block_;
  T* data_;
  std::size_t size_ = 0;
};

namespace {

constexpr std::size_t kUsable = ImageWriter::kPageSize;
// The most of a payload kept in its cell, and the least kept when the rest
// overflows, for the cells of table leaves and of indexes.
constexpr std::size_t kTableMaxLocal = kUsable - 35;
constexpr std::size_t kIndexMaxLocal = (kUsable - 12) * 64 / 255 - 23;
constexpr std::size_t kMinLocal = (kUsable - 12) * 32 / 255 - 23;

// The bytes of a payload of `total` bytes that its cell keeps, the rest
// going to overflow pages.
std::size_t LocalSize(std::size_t total, std::size_t max_local) {
  if (total <= max_local) return total;
  const std::size_t local = kMinLocal + (total - kMinLocal) % (kUsable - 4);
  return local <= max_local ? local : kMinLocal;
}

constexpr unsigned char kIndexInterior = 0x02;
constexpr unsigned char kTableInterior = 0x05;
constexpr unsigned char kIndexLeaf = 0x0A;
constexpr unsigned char kTableLeaf = 0x0D;

// Integers that a REAL column keeps in integer form (larger ones as reals).
constexpr std::int64_t kRealAsIntegerMax = 140737488355327;  // 2^47 - 1

void Put16(unsigned char* p, std::size_t v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}

void Put32(unsigned char* p, std::uint32_t v) {
  for (int i = 3; i >= 0; --i, v >>= 8) p[i] = static_cast<unsigned char>(v);
}

std::size_t VarintSize(std::uint64_t v) {
  if (v >> 56 != 0) return 9;
  std::size_t n = 1;
  while (v >>= 7) ++n;
  return n;
}

void PutVarint(std::string& out, std::uint64_t v) {
  unsigned char bytes[9];
  if (v >> 56 != 0) {
    bytes[8] = static_cast<unsigned char>(v);
    v >>= 8;
    for (int i = 7; i >= 0; --i, v >>= 7) bytes[i] = static_cast<unsigned char>((v & 0x7f) | 0x80);
    out.append(reinterpret_cast<const char*>(bytes), 9);
    return;
  }
  std::size_t n = 0;
  bytes[8] = static_cast<unsigned char>(v & 0x7f);  // the last byte, without the flag
  for (v >>= 7, n = 1; v != 0; v >>= 7, ++n) bytes[8 - n] = static_cast<unsigned char>((v & 0x7f) | 0x80);
  out.append(reinterpret_cast<const char*>(bytes + 9 - n), n);
}

std::uint64_t GetVarint(const unsigned char* p, std::size_t* length) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    v = (v << 7) | (p[i] & 0x7f);
    if ((p[i] & 0x80) == 0) {
      *length = i + 1;
      return v;
    }
  }
  *length = 9;
  return (v << 8) | p[8];
}

// The bytes a value of the serial type takes in a record's body.
std::size_t SerialSize(std::uint64_t serial) {
  static constexpr std::size_t kSizes[] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0, 0, 0};
  return serial < 12 ? kSizes[serial] : static_cast<std::size_t>((serial - 12) / 2);
}

// The serial type SQLite stores an integer with.
std::uint64_t IntegerSerial(std::int64_t v) {
  if (v == 0 || v == 1) return 8 + static_cast<std::uint64_t>(v);
  const std::uint64_t u = static_cast<std::uint64_t>(v < 0 ? ~v : v);
  if (u <= 127) return 1;
  if (u <= 32767) return 2;
  if (u <= 8388607) return 3;
  if (u <= 2147483647) return 4;
  if (u <= 0x7fffffffffffULL) return 5;
  return 6;
}

// A record being made: serial types and body apart, joined by Finish.
class Record {
 public:
  void Null() { PutVarint(types_, 0); }
  void Integer(std::int64_t v) {
    const std::uint64_t serial = IntegerSerial(v);
    PutVarint(types_, serial);
    BigEndian(static_cast<std::uint64_t>(v), SerialSize(serial));
  }
  void Real(double r) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &r, sizeof bits);
    PutVarint(types_, 7);
    BigEndian(bits, 8);
  }
  void Bytes(std::uint64_t serial_base, const char* data, std::size_t size) {
    PutVarint(types_, serial_base + 2 * static_cast<std::uint64_t>(size));
    body_.append(data, size);
  }
  // A value copied from another record, as it is stored there.
  void Raw(std::uint64_t serial, const unsigned char* data, std::size_t size) {
    PutVarint(types_, serial);
    body_.append(reinterpret_cast<const char*>(data), size);
  }
  // The record; the maker is empty afterwards.
  void Finish(std::string& out) {
    std::size_t prefix = 1;
    while (VarintSize(types_.size() + prefix) > prefix) ++prefix;
    out.clear();
    PutVarint(out, types_.size() + prefix);
    out += types_;
    out += body_;
    types_.clear();
    body_.clear();
  }

 private:
  void BigEndian(std::uint64_t v, std::size_t size) {
    for (std::size_t i = size; i-- > 0;) body_.push_back(static_cast<char>(v >> (8 * i)));
  }

  std::string types_;
  std::string body_;
};

// SQLite's column affinities, by the letters it gives them: the numeric
// ones are the last three.
constexpr char kBlobAffinity = 'A';
constexpr char kTextAffinity = 'B';
constexpr char kNumericAffinity = 'C';
constexpr char kIntegerAffinity = 'D';
constexpr char kRealAffinity = 'E';

// The affinity SQLite gives a column of the declared type, by its rules.
char AffinityOf(std::string_view declared) {
  const std::string upper = AsciiUppercase(declared);
  const auto has = [&](const char* part) { return upper.find(part) != std::string::npos; };
  if (has("INT")) return kIntegerAffinity;
  if (has("CHAR") || has("CLOB") || has("TEXT")) return kTextAffinity;
  if (has("BLOB") || upper.empty()) return kBlobAffinity;
  if (has("REAL") || has("FLOA") || has("DOUB")) return kRealAffinity;
  return kNumericAffinity;
}

// Whether a real holds an integer that a numeric column keeps as one.
bool AsInteger(double r, std::int64_t* v) {
  if (!(r > -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  *v = static_cast<std::int64_t>(r);
  return static_cast<double>(*v) == r && *v != INT64_MIN && *v != INT64_MAX;
}

// SQLite's order of an integer and a real.
int CompareIntegerReal(std::int64_t i, double r) {
  if (r < -9223372036854775808.0) return 1;
  if (r >= 9223372036854775808.0) return -1;
  const auto y = static_cast<std::int64_t>(r);
  if (i < y) return -1;
  if (i > y) return 1;
  const auto s = static_cast<double>(i);
  if (s < r) return -1;
  if (s > r) return 1;
  return 0;
}

}  // namespace

// A page being filled with cells.
struct ImageWriter::Page {
  unsigned char* data = nullptr;
  std::uint32_t number = 0;
  std::size_t header = 0;  // where the b-tree header starts (100 on page 1)
  unsigned char type = 0;
  std::size_t cells = 0;
  std::size_t content = kUsable;  // where the cells begin
  std::uint32_t right = 0;        // an interior page's right-most child

  std::size_t HeaderSize() const { return type == kIndexInterior || type == kTableInterior ? 12 : 8; }
  std::size_t Free() const { return content - (header + HeaderSize() + 2 * cells); }
  void Close() {
    unsigned char* h = data + header;
    h[0] = type;
    Put16(h + 3, cells);
    Put16(h + 5, content);
    if (HeaderSize() == 12) Put32(h + 8, right);
  }
};

// A child page and the key that leads to it: the largest rowid below it
// (tables), or the index entry that follows it (indexes).
struct ImageWriter::Child {
  std::uint32_t page;
  std::uint64_t key;
};

// A column's value in one row, as its record stores it.
struct ImageWriter::Key {
  const unsigned char* data;  // the value's bytes in its record
  std::uint64_t serial;
  std::uint64_t rowid;
  std::uint32_t size;
  int kind;  // 0 Null, 1 integer, 2 real, 3 text, 4 BLOB

  // SQLite's order of the kinds: Null, numbers, text, BLOB.
  int Rank() const { return kind <= 1 ? kind : kind - 1; }
  std::int64_t Integer() const {
    if (serial >= 8) return static_cast<std::int64_t>(serial - 8);
    return static_cast<std::int64_t>(Bits());
  }
  double Real() const {
    const std::uint64_t bits = Bits();
    double r = 0;
    std::memcpy(&r, &bits, sizeof r);
    return r;
  }
  std::string_view Bytes() const { return {reinterpret_cast<const char*>(data), size}; }

 private:
  // The stored bytes, big-endian, sign-extended.
  std::uint64_t Bits() const {
    std::uint64_t v = size > 0 && (data[0] & 0x80) != 0 ? ~std::uint64_t{0} : 0;
    for (std::uint32_t b = 0; b < size; ++b) v = v << 8 | data[b];
    return v;
  }
};

class ImageWriter::Sink : public RowSink {
 public:
  explicit Sink(ImageWriter& writer)
      : RowSink(std::max<std::size_t>(writer.table_.columns.size(), 1), 32), writer_(writer) {}

 private:
  void Write(std::size_t first, std::size_t count) override {
    for (std::size_t row = first; row < first + count; ++row) {
      if (writer_.table_.columns.empty()) {
        record_.Null();
      } else {
        for (std::size_t c = 0; c < writer_.table_.columns.size(); ++c) Put(writer_.affinity_[c], value(row, c));
      }
      record_.Finish(bytes_);
      writer_.AddRecord(bytes_);
    }
  }

  // The value as SQLite stores it in a column of the affinity.
  void Put(char affinity, const Value& v) {
    const bool numeric = affinity >= kNumericAffinity;
    switch (v.kind) {
      case Value::Kind::kNull: record_.Null(); return;
      case Value::Kind::kInteger:
        if (affinity == kTextAffinity) throw NotWritable{};
        if (affinity == kRealAffinity && (v.integer > kRealAsIntegerMax || v.integer < -kRealAsIntegerMax - 1)) {
          record_.Real(static_cast<double>(v.integer));
        } else {
          record_.Integer(v.integer);
        }
        return;
      case Value::Kind::kReal: {
        if (std::isnan(v.real)) {
          record_.Null();  // SQLite binds NaN as Null
          return;
        }
        if (affinity == kTextAffinity) throw NotWritable{};
        std::int64_t i = 0;
        if (numeric && AsInteger(v.real, &i) &&
            (affinity != kRealAffinity || (i <= kRealAsIntegerMax && i >= -kRealAsIntegerMax - 1))) {
          record_.Integer(i);
        } else {
          record_.Real(v.real);
        }
        return;
      }
      case Value::Kind::kText:
        if (numeric) throw NotWritable{};
        record_.Bytes(13, bytes(v), v.size);
        return;
      case Value::Kind::kBlob: record_.Bytes(12, bytes(v), v.size); return;
    }
  }

  ImageWriter& writer_;
  Record record_;
  std::string bytes_;
};

ImageWriter::ImageWriter(const TableInfo& table, unsigned char* block, std::size_t capacity)
    : table_(table), block_(block), capacity_(capacity), sink_(std::make_unique<Sink>(*this)) {
  for (const ColumnInfo& column : table.columns) {
    affinity_.push_back(AffinityOf(DeclaredType(column.type)));
    folded_.push_back(UsesTextCollation(column.type));
  }
}

ImageWriter::~ImageWriter() = default;

RowSink& ImageWriter::sink() { return *sink_; }

unsigned char* ImageWriter::NewPage(std::uint32_t* number) {
  if ((static_cast<std::size_t>(pages_) + 1) * kPageSize > capacity_) throw PagesFull{};
  *number = ++pages_;
  return block_ + static_cast<std::size_t>(pages_ - 1) * kPageSize;
}

bool ImageWriter::PutCell(Page& page, const std::string& prefix, const std::string& payload,
                          std::size_t max_local) {
  const std::size_t total = payload.size();
  const std::size_t local = LocalSize(total, max_local);
  const std::size_t size = std::max<std::size_t>(prefix.size() + local + (local < total ? 4 : 0), 4);
  if (page.Free() < size + 2) return false;
  page.content -= size;
  unsigned char* cell = page.data + page.content;
  std::memcpy(cell, prefix.data(), prefix.size());
  std::memcpy(cell + prefix.size(), payload.data(), local);
  Put16(page.data + page.header + page.HeaderSize() + 2 * page.cells, page.content);
  ++page.cells;
  // The rest in a chain of overflow pages: each the next one's number, then
  // the bytes.
  unsigned char* link = cell + prefix.size() + local;
  for (std::size_t at = local; at < total;) {
    std::uint32_t number = 0;
    unsigned char* overflow = NewPage(&number);
    Put32(link, number);
    const std::size_t n = std::min(total - at, kUsable - 4);
    std::memcpy(overflow + 4, payload.data() + at, n);
    at += n;
    link = overflow;
  }
  return true;
}

void ImageWriter::AddRecord(const std::string& record) {
  ++rows_;
  std::string prefix;
  PutVarint(prefix, record.size());
  PutVarint(prefix, rows_);
  // A record fits in an empty leaf: what it does not keep overflows.
  if (!leaf_ || !PutCell(*leaf_, prefix, record, kTableMaxLocal)) {
    if (leaf_) CloseLeafOfRows(rows_ - 1);
    OpenLeafOfRows();
    PutCell(*leaf_, prefix, record, kTableMaxLocal);
  }
}

void ImageWriter::OpenLeafOfRows() {
  leaf_ = std::make_unique<Page>();
  leaf_->type = kTableLeaf;
  leaf_->data = NewPage(&leaf_->number);
}

void ImageWriter::CloseLeafOfRows(std::uint64_t last_rowid) {
  leaf_->Close();
  leaves_.push_back({leaf_->number, last_rowid});
  leaf_.reset();
}

void ImageWriter::EndRows() {
  if (!leaf_) OpenLeafOfRows();  // a table without rows has one empty leaf
  CloseLeafOfRows(rows_);
  table_root_ = TableLevels(leaves_);
}

std::uint32_t ImageWriter::TableLevels(std::vector<Child> children) {
  while (children.size() > 1) {
    // Each page takes children while their cells fit, its last child as
    // the right-most (no cell); a page is never left with one child only.
    std::vector<std::size_t> ends;  // one past each page's last child
    std::size_t used = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
      const std::size_t size = 2 + 4 + VarintSize(children[i].key);
      if (used + size > kUsable - 12) {
        ends.push_back(i + 1);  // child i is this page's right-most
        used = 0;
        continue;
      }
      used += size;
    }
    if (ends.empty() || ends.back() != children.size()) ends.push_back(children.size());
    if (ends.size() > 1 && ends.back() - ends[ends.size() - 2] == 1) --ends[ends.size() - 2];
    std::vector<Child> parents;
    std::size_t begin = 0;
    for (const std::size_t end : ends) {
      Page page;
      page.type = kTableInterior;
      page.data = NewPage(&page.number);
      std::string prefix;
      for (std::size_t i = begin; i + 1 < end; ++i) {
        prefix.resize(4);
        Put32(reinterpret_cast<unsigned char*>(prefix.data()), children[i].page);
        PutVarint(prefix, children[i].key);
        PutCell(page, prefix, std::string(), 0);
      }
      page.right = children[end - 1].page;
      page.Close();
      parents.push_back({page.number, children[end - 1].key});
      begin = end;
    }
    children = std::move(parents);
  }
  return children.front().page;
}

ImageWriter::KeyArray ImageWriter::Keys(std::size_t column, std::size_t limit) const {
  KeyArray keys(static_cast<std::size_t>(std::min<std::uint64_t>(rows_, limit)));
  std::string payload;
  for (const Child& leaf : leaves_) {
    const unsigned char* page = block_ + static_cast<std::size_t>(leaf.page - 1) * kPageSize;
    const std::size_t cells = static_cast<std::size_t>(page[3]) << 8 | page[4];
    for (std::size_t c = 0; c < cells && keys.size() < limit; ++c) {
      const unsigned char* cell = page + (static_cast<std::size_t>(page[8 + 2 * c]) << 8 | page[9 + 2 * c]);
      std::size_t n = 0;
      const auto total = static_cast<std::size_t>(GetVarint(cell, &n));  // a payload we wrote
      cell += n;
      Key key{};
      key.rowid = GetVarint(cell, &n);
      cell += n;
      const unsigned char* record = cell;
      if (total > kTableMaxLocal) {
        // Gathered from the overflow pages, and kept while the keys are.
        const std::size_t local = LocalSize(total, kTableMaxLocal);
        payload.assign(reinterpret_cast<const char*>(cell), local);
        std::uint32_t next = static_cast<std::uint32_t>(cell[local]) << 24 | cell[local + 1] << 16 |
                             cell[local + 2] << 8 | cell[local + 3];
        while (payload.size() < total) {
          const unsigned char* overflow = block_ + static_cast<std::size_t>(next - 1) * kPageSize;
          payload.append(reinterpret_cast<const char*>(overflow + 4),
                         std::min<std::size_t>(total - payload.size(), kUsable - 4));
          next = static_cast<std::uint32_t>(overflow[0]) << 24 | overflow[1] << 16 | overflow[2] << 8 | overflow[3];
        }
        gathered_.push_back(payload);
        record = reinterpret_cast<const unsigned char*>(gathered_.back().data());
      }
      const auto header_size = static_cast<std::size_t>(GetVarint(record, &n));
      const unsigned char* type = record + n;
      const unsigned char* data = record + header_size;
      for (std::size_t i = 0;; ++i) {
        key.serial = GetVarint(type, &n);
        type += n;
        key.size = static_cast<std::uint32_t>(SerialSize(key.serial));
        if (i == column) break;
        data += key.size;
      }
      key.data = data;
      key.kind = key.serial == 0 ? 0 : key.serial == 7 ? 2 : key.serial <= 9 ? 1 : key.serial % 2 == 1 ? 3 : 4;
      keys.push_back(key);
    }
  }
  return keys;
}

namespace {

// SQLite's order of two values of a column (with the text collation when
// `folded`).
int CompareValues(const auto& a, const auto& b, bool folded) {
  if (a.Rank() != b.Rank()) return a.Rank() < b.Rank() ? -1 : 1;
  switch (a.Rank()) {
    case 0: return 0;
    case 1:
      if (a.kind == 1 && b.kind == 1) return a.Integer() < b.Integer() ? -1 : a.Integer() > b.Integer() ? 1 : 0;
      if (a.kind == 2 && b.kind == 2) return a.Real() < b.Real() ? -1 : a.Real() > b.Real() ? 1 : 0;
      return a.kind == 1 ? CompareIntegerReal(a.Integer(), b.Real()) : -CompareIntegerReal(b.Integer(), a.Real());
    default:
      if (a.kind == 3 && folded) return CompareText(a.Bytes(), b.Bytes());
      const int c = a.Bytes().compare(b.Bytes());
      return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
}

// A key's place in an index, for sorting: a number that orders keys
// alone (integers), or first (texts and BLOBs compared bytewise: their
// first eight bytes), then the key's position.
struct Placed {
  std::uint64_t first;
  std::uint32_t at;
};

// Sorts by `first`, keeping the order of equals: a radix sort a byte at a
// time, passing over the bytes that every key shares.
void SortByFirst(BlockArray<Placed>& placed) {
  BlockArray<Placed> other(placed.size());
  other.resize(placed.size());
  for (int shift = 0; shift < 64; shift += 8) {
    std::size_t counts[256] = {};
    for (const Placed& p : placed) ++counts[(p.first >> shift) & 0xff];
    if (placed.size() == 0 || counts[(placed[0].first >> shift) & 0xff] == placed.size()) continue;
    std::size_t at = 0;
    for (std::size_t& count : counts) at += std::exchange(count, at);
    for (const Placed& p : placed) other[counts[(p.first >> shift) & 0xff]++] = p;
    std::swap(placed, other);
  }
}

std::uint64_t FirstBytes(std::string_view bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) v = v << 8 | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u);
  return v;
}

}  // namespace

int ImageWriter::DistinctInSample(std::size_t column, int sample) const {
  const KeyArray keys = Keys(column, static_cast<std::size_t>(std::max(sample, 0)));
  const BlockArray<std::uint32_t> order = IndexOrder(keys, folded_[column]);
  int distinct = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Key& key = keys[order[i]];
    if (key.kind != 0 && (i == 0 || CompareValues(keys[order[i - 1]], key, folded_[column]) != 0)) ++distinct;
  }
  gathered_.clear();
  return distinct;
}

BlockArray<std::uint32_t> ImageWriter::IndexOrder(const KeyArray& keys, bool folded) {
  // Nulls first, in rowid order; then the values, each kind in the order
  // that costs least to reach.
  BlockArray<std::uint32_t> order(keys.size());
  bool integers = true;
  bool bytewise = true;
  int kind = -1;
  for (std::uint32_t i = 0; i < keys.size(); ++i) {
    if (keys[i].kind == 0) {
      order.push_back(i);
      continue;
    }
    integers = integers && keys[i].kind == 1;
    bytewise = bytewise && (kind == -1 || keys[i].kind == kind) && keys[i].kind >= 3 && !(keys[i].kind == 3 && folded);
    kind = keys[i].kind;
  }
  const std::size_t nulls = order.size();
  if (integers || bytewise) {
    BlockArray<Placed> placed(keys.size() - nulls);
    for (std::uint32_t i = 0; i < keys.size(); ++i) {
      if (keys[i].kind == 0) continue;
      placed.push_back({integers ? static_cast<std::uint64_t>(keys[i].Integer()) ^ (std::uint64_t{1} << 63)
                                 : FirstBytes(keys[i].Bytes()),
                        i});
    }
    SortByFirst(placed);
    // Keys alike in their first eight bytes: by all their bytes.
    for (auto run = placed.begin(); !integers && run != placed.end();) {
      const auto end = std::find_if(run, placed.end(), [&](const Placed& p) { return p.first != run->first; });
      if (end - run > 1) {
        std::sort(run, end, [&](const Placed& a, const Placed& b) {
          const int c = keys[a.at].Bytes().compare(keys[b.at].Bytes());
          return c != 0 ? c < 0 : a.at < b.at;
        });
      }
      run = end;
    }
    for (const Placed& p : placed) order.push_back(p.at);
    return order;
  }
  for (std::uint32_t i = 0; i < keys.size(); ++i) {
    if (keys[i].kind != 0) order.push_back(i);
  }
  std::sort(order.begin() + nulls, order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int c = CompareValues(keys[a], keys[b], folded);
    return c != 0 ? c < 0 : a < b;
  });
  return order;
}

void ImageWriter::AddIndex(std::size_t column, const std::string& name, const std::string& create_sql) {
  if (rows_ > UINT32_MAX) throw NotWritable{};  // entries are counted in 32 bits
  KeyArray keys = Keys(column, SIZE_MAX);
  {
    // The keys in the index's order, so that laying them out reads them
    // one after another.
    const BlockArray<std::uint32_t> order = IndexOrder(keys, folded_[column]);
    KeyArray sorted(keys.size());
    for (const std::uint32_t i : order) sorted.push_back(keys[i]);
    std::swap(keys, sorted);
  }
  // An entry: its record (the value, then the rowid), after its size.
  const auto payload_size = [&](const Key& key) {
    const std::uint64_t rowid_serial = IntegerSerial(static_cast<std::int64_t>(key.rowid));
    return 2 + VarintSize(key.serial) + key.size + SerialSize(rowid_serial);
  };
  const auto cell_size = [&](const Key& key, bool interior) {
    const std::size_t total = payload_size(key);
    const std::size_t local = LocalSize(total, kIndexMaxLocal);
    const std::size_t overflow = local < total ? 4 : 0;
    return std::max<std::size_t>((interior ? 4 : 0) + VarintSize(total) + local + overflow, 4) + 2;
  };
  Record record;
  std::string entry;
  std::string prefix;
  // One level at a time: each page takes entries while their cells fit;
  // the entry that does not fit goes up to the level above, between this
  // page and the next. The last entry never goes up (the page after it
  // would be empty): the one before it does.
  std::vector<Child> items;  // (left child, entry) of the level being laid out
  items.reserve(keys.size());
  for (std::uint32_t i = 0; i < keys.size(); ++i) items.push_back({0, i});
  std::uint32_t right = 0;  // the level's right-most child
  bool interior = false;
  for (;;) {
    std::vector<bool> up(items.size(), false);
    std::size_t used = 0;
    std::size_t last = 0;  // the page's last item
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::size_t size = cell_size(keys[static_cast<std::size_t>(items[i].key)], interior);
      if (used + size <= kUsable - (interior ? 12 : 8)) {
        used += size;
        last = i;
      } else if (i + 1 == items.size()) {
        up[last] = true;
        used = size;
      } else {
        up[i] = true;
        used = 0;
      }
    }
    std::vector<Child> parents;
    Page page;
    const auto open = [&] {
      page = Page();
      page.type = interior ? kIndexInterior : kIndexLeaf;
      page.data = NewPage(&page.number);
    };
    open();
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (up[i]) {
        page.right = items[i].page;
        page.Close();
        parents.push_back({page.number, items[i].key});
        open();
        continue;
      }
      const Key& key = keys[static_cast<std::size_t>(items[i].key)];
#if defined(__GNUC__)
      // The values lie in the table's pages in the rows' order, not the
      // index's: asking for one some entries ahead hides most of the wait
      // for memory (a builtin of GCC and Clang; others go without).
      if (!interior && i + 16 < items.size()) __builtin_prefetch(keys[i + 16].data);
#endif
      record.Raw(key.serial, key.data, key.size);
      record.Integer(static_cast<std::int64_t>(key.rowid));
      record.Finish(entry);
      prefix.clear();
      if (interior) {
        prefix.resize(4);
        Put32(reinterpret_cast<unsigned char*>(prefix.data()), items[i].page);
      }
      PutVarint(prefix, entry.size());
      PutCell(page, prefix, entry, kIndexMaxLocal);
    }
    page.right = right;
    page.Close();
    if (parents.empty()) {
      indexes_.push_back({name, create_sql, page.number});
      gathered_.clear();
      return;
    }
    items = std::move(parents);
    right = page.number;
    interior = true;
  }
}

std::size_t ImageWriter::Finish(const std::string& name, const std::string& create_sql) {
  Page page;
  page.data = block_;
  page.number = 1;
  page.header = 100;
  page.type = kTableLeaf;
  Record record;
  std::string payload;
  std::string prefix;
  std::uint64_t rowid = 0;
  const auto row = [&](const char* type, const std::string& object, const std::string& sql, std::uint32_t root) {
    record.Bytes(13, type, std::strlen(type));
    record.Bytes(13, object.data(), object.size());
    record.Bytes(13, name.data(), name.size());
    record.Integer(root);
    record.Bytes(13, sql.data(), sql.size());
    record.Finish(payload);
    prefix.clear();
    PutVarint(prefix, payload.size());
    PutVarint(prefix, ++rowid);
    if (!PutCell(page, prefix, payload, kTableMaxLocal)) throw NotWritable{};
  };
  row("table", name, create_sql, table_root_);
  for (const Schema& index : indexes_) row("index", index.name, index.sql, index.root);
  page.Close();

  unsigned char* h = block_;
  std::memcpy(h, "SQLite format 3", 16);
  Put16(h + 16, kPageSize);
  h[18] = 1;  // the rollback journal's file format
  h[19] = 1;
  h[20] = 0;  // no bytes reserved at the end of each page
  h[21] = 64;
  h[22] = 32;
  h[23] = 32;
  Put32(h + 24, 1);       // change counter
  Put32(h + 28, pages_);  // pages
  Put32(h + 40, 1);       // schema cookie
  Put32(h + 44, 4);       // schema format
  Put32(h + 56, 1);       // UTF-8
  Put32(h + 92, 1);       // the page count is valid for change 1
  Put32(h + 96, static_cast<std::uint32_t>(sqlite3_libversion_number()));
  return static_cast<std::size_t>(pages_) * kPageSize;
}

}  // namespace qorvel::jet
