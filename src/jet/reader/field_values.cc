// Decoding field values and reading long values.
#include "jet/reader/field_values.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "jet/values.h"
#include "qorvel/variant.h"

namespace qorvel::jet {
namespace {

constexpr std::size_t kLongValueHeader = 12;
constexpr std::uint32_t kInlineFlag = 0x80000000u;
constexpr std::uint32_t kOneRowFlag = 0x40000000u;
constexpr std::uint32_t kLengthMask = 0x3fffffffu;
constexpr std::size_t kCalculatedHeader = 20;
constexpr std::size_t kDecimalSize = 16;  // the automation's decimal, in calculated values
constexpr std::size_t kOffsetMask = 0x1fff;

template <typename T>
T GetRaw(const std::uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
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

// The stored width of a fixed-width value.
std::size_t WidthOf(JetType type) {
  switch (type) {
    case JetType::kByte: return 1;
    case JetType::kInteger: return 2;
    case JetType::kLong:
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

}  // namespace

std::optional<JetType> TypeOfStored(int stored, bool calculated) {
  std::optional<JetType> type;
  switch (stored) {
    case kStoredBoolean: type = JetType::kBoolean; break;
    case kStoredByte: type = JetType::kByte; break;
    case kStoredInteger: type = JetType::kInteger; break;
    case kStoredLong: type = JetType::kLong; break;
    case kStoredCurrency: type = JetType::kCurrency; break;
    case kStoredSingle: type = JetType::kSingle; break;
    case kStoredDouble: type = JetType::kDouble; break;
    case kStoredDateTime: type = JetType::kDateTime; break;
    case kStoredText: type = JetType::kText; break;
    case kStoredMemo: type = JetType::kMemo; break;
    case kStoredGuid: type = JetType::kGuid; break;
    case kStoredNumeric: type = JetType::kNumeric; break;
    case kStoredBinary: type = JetType::kBinary; break;
    case kStoredOle: type = JetType::kOle; break;
    case kStoredDateTimeExtended: type = JetType::kDateTimeExtended; break;
    default: return std::nullopt;
  }
  // A calculated value's data has one of the expression types.
  if (calculated && (type == JetType::kBinary || type == JetType::kOle || type == JetType::kDateTimeExtended)) {
    return std::nullopt;
  }
  return type;
}

ColumnReading ReadingOf(std::size_t field, JetType type, int scale, bool calculated) {
  ColumnReading reading{field, type, scale, calculated};
  reading.long_value = calculated && type == JetType::kMemo;
  reading.width = WidthOf(type);
  if (calculated && type == JetType::kNumeric) reading.width = kDecimalSize;
  if (calculated && type == JetType::kBoolean) reading.width = 1;
  return reading;
}

void FieldDecoder::DamagedValue(const TableInfo& table, int index) const {
  file_.Damaged(u"a value of column '" + table.columns[static_cast<std::size_t>(index)].name + u"' in table '" +
                table.name + u"' cannot be read");
}

void FieldDecoder::Store(const TableInfo& table, const ColumnReading& column, const std::uint8_t* page,
                         const Field& field, int index, RowSink& sink) {
  if (column.type == JetType::kBoolean && !column.calculated) {
    // A Yes/No value lives in the null bit: set means Yes.
    sink.SetInteger(index, field.null ? 0 : -1);
    return;
  }
  if (field.null) {
    sink.SetNull(index);
    return;
  }
  const std::uint8_t* p = page + field.start;
  std::size_t size = field.size;
  if (column.calculated) [[unlikely]] {
    // The value is the data after its header, in the form of the
    // expression's result type (the column's type here).
    const std::span<const std::uint8_t> value =
        column.long_value ? LongValue(table, index, p, size) : std::span(p, size);
    if (value.size() < kCalculatedHeader) DamagedValue(table, index);
    const std::size_t length = Get32(value.data() + kCalculatedHeader - 4);
    if (length > value.size() - kCalculatedHeader) DamagedValue(table, index);
    if (length == 0) {
      sink.SetNull(index);
      return;
    }
    p = value.data() + kCalculatedHeader;
    size = length;
  }
  if (size < column.width) DamagedValue(table, index);
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
      text_ = value.ToString();
      sink.SetText(index, text_);
      return;
    }
    case JetType::kText:
      text_.clear();
      file_.AppendText(std::span(p, size), text_);
      sink.SetText(index, text_);
      return;
    case JetType::kMemo:
      text_.clear();
      file_.AppendText(column.calculated ? std::span(p, size) : LongValue(table, index, p, size), text_);
      sink.SetText(index, text_);
      return;
    case JetType::kBinary: sink.SetBlob(index, std::span(p, size)); return;
    case JetType::kOle: {
      const std::span<const std::uint8_t> bytes = LongValue(table, index, p, size);
      blob_.assign(bytes.begin(), bytes.end());
      sink.SetBlob(index, blob_);
      return;
    }
    case JetType::kDateTimeExtended: {
      const auto iso = ExtendedDateTimeText(std::span<const std::uint8_t, kExtendedDateTimeSize>(p, kExtendedDateTimeSize));
      if (!iso) DamagedValue(table, index);
      text_ = *iso;
      sink.SetText(index, text_);
      return;
    }
  }
}

bool FieldDecoder::FindLongValueRow(std::uint32_t reference, std::span<const std::uint8_t>* row) {
  const std::uint64_t page = reference >> 8;
  const std::size_t number = reference & 0xff;
  // Page 0 is the file's header, never a long-value page (and the number
  // that marks "no page read yet").
  if (page == 0 || page >= file_.pages()) return false;
  if (long_value_pages_ == nullptr ||
      !std::binary_search(long_value_pages_->begin(), long_value_pages_->end(), static_cast<std::uint32_t>(page))) {
    return false;
  }
  const Layout& layout = file_.layout();
  if (page != long_value_page_number_) {
    long_value_page_.resize(layout.page_size);
    long_value_page_number_ = 0;
    if (file_.Read(page, 1, long_value_page_.data()) != 1) return false;
    long_value_page_number_ = page;
  }
  const std::uint8_t* p = long_value_page_.data();
  if (p[0] != kDataPageType || std::memcmp(p + 4, "LVAL", 4) != 0) return false;
  const RowTable rows = RowsOf(layout, p);
  if (!rows.fits || number >= rows.count || !FreeSpaceAgrees(layout, p, rows)) return false;
  // A start with flag bits set (a deleted row) is not a value.
  const std::size_t start = Get16(p + layout.row_count + 2 + 2 * number);
  const std::size_t end =
      number == 0 ? layout.page_size : (Get16(p + layout.row_count + 2 + 2 * (number - 1)) & kOffsetMask);
  if (start < rows.end || start > end || end > layout.page_size) return false;
  *row = std::span(p + start, end - start);
  return true;
}

std::optional<std::span<const std::uint8_t>> FieldDecoder::LongValue(const std::uint8_t* p, std::size_t size) {
  if (size < kLongValueHeader) return std::span<const std::uint8_t>();
  const std::uint32_t header = Get32(p);
  const std::size_t length = header & kLengthMask;
  std::span<const std::uint8_t> row;
  if ((header & kInlineFlag) != 0) {
    if ((header & kOneRowFlag) != 0 || length != size - kLongValueHeader) return std::nullopt;
    return std::span(p + kLongValueHeader, length);
  }
  if ((header & kOneRowFlag) != 0) {
    if (!FindLongValueRow(Get32(p + 4), &row) || row.size() != length) return std::nullopt;
    return row;
  }
  chain_.clear();
  const std::uint64_t max_links = 4 * file_.pages() + 16;
  std::uint32_t next = Get32(p + 4);
  for (std::uint64_t links = 0; chain_.size() < length; ++links) {
    if (next == 0 || links > max_links) return std::nullopt;
    if (!FindLongValueRow(next, &row) || row.size() < 4 || row.size() - 4 > length - chain_.size()) {
      return std::nullopt;
    }
    chain_.insert(chain_.end(), row.begin() + 4, row.end());
    next = Get32(row.data());
  }
  return std::span<const std::uint8_t>(chain_);
}

std::span<const std::uint8_t> FieldDecoder::LongValue(const TableInfo& table, int index, const std::uint8_t* p,
                                                      std::size_t size) {
  const auto value = LongValue(p, size);
  if (!value) DamagedValue(table, index);
  return *value;
}

}  // namespace qorvel::jet
