// PageFile: pages read at their offsets and decrypted.
#include "jet/reader/page_file.h"

#include <array>
#include <string>
#include <vector>

#include "jet/errors.h"
#include "jet/text.h"

namespace qorvel::jet {
namespace {

constexpr std::size_t kMaskStart = 0x18;
constexpr std::size_t kKeyOffset = 0x3e;
constexpr std::array<std::uint8_t, 4> kHeaderKey = {0xc7, 0xda, 0x39, 0x6b};

}  // namespace

PageFile::PageFile(const std::filesystem::path& path, FileFormat format, std::uint64_t size)
    : path_(path), format_(format), layout_(LayoutOf(format)), pages_(size / LayoutOf(format).page_size),
      file_(ReadOnlyFile::Open(path)) {
  std::array<std::uint8_t, kKeyOffset + 4> header{};
  if (file_->ReadAt(0, header.data(), header.size()) != header.size()) Truncated(u"MSysObjects");
  const std::vector<std::uint8_t> mask = Rc4Keystream(kHeaderKey, header.size() - kMaskStart);
  for (std::size_t i = kMaskStart; i < header.size(); ++i) header[i] ^= mask[i - kMaskStart];
  key_ = Get32(header.data() + kKeyOffset);
}

std::size_t PageFile::Read(std::uint64_t first, std::size_t count, std::uint8_t* buffer) const {
  const std::size_t size = page_size();
  const std::size_t pages = file_->ReadAt(first * size, buffer, count * size) / size;
  for (std::size_t k = 0; key_ != 0 && k < pages; ++k) {
    const std::uint64_t page = first + k;
    if (page == 0) continue;
    const auto key = static_cast<std::uint32_t>(key_ ^ static_cast<std::uint32_t>(page));
    const std::uint8_t key_bytes[4] = {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
                                       static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 24)};
    const std::vector<std::uint8_t> keystream = Rc4Keystream(key_bytes, size);
    std::uint8_t* data = buffer + k * size;
    for (std::size_t i = 0; i < size; ++i) data[i] ^= keystream[i];
  }
  return pages;
}

void PageFile::ReadPage(std::uint64_t page, std::uint8_t* buffer, std::u16string_view table) const {
  if (page >= pages_ || Read(page, 1, buffer) != 1) Truncated(table);
}

void PageFile::AppendText(std::span<const std::uint8_t> bytes, std::string& out) const {
  if (format_ == FileFormat::kJet3) {
    AppendJet3Text(bytes, out);
  } else {
    AppendJet4Text(bytes, out);
  }
}

void PageFile::Damaged(std::u16string_view what) const {
  Raise(kErrDamaged, u"The database file '" + PathText(path_) + u"' is damaged: " + Text(what) + u".");
}

void PageFile::Truncated(std::u16string_view table) const {
  Raise(kErrTruncated, u"The database file '" + PathText(path_) + u"' is truncated: table '" + Text(table) +
                           u"' refers to a page beyond the end of the file.");
}

Text PageText(std::uint64_t page) { return FromUtf8(std::to_string(page)); }

}  // namespace qorvel::jet
