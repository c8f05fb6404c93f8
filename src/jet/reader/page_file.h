// A Jet or ACE file as a run of pages: reading them at their offsets and,
// in an encrypted file, decrypting them; and the errors every unit of the
// reader raises about the file.
//
// An encrypted file keeps its key in the masked part of page 0 (the 32-bit
// number at 0x3e once the header's RC4 mask is undone; 0 means the pages
// are plain). Every page after the first is XORed with the RC4 keystream
// whose key is that number XOR the page number, four bytes little-endian.
#ifndef QORVEL_JET_READER_PAGE_FILE_H_
#define QORVEL_JET_READER_PAGE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "jet/file_format.h"
#include "jet/reader/layout.h"
#include "jet/system.h"
#include "qorvel/types.h"

namespace qorvel::jet {

class PageFile {
 public:
  // Opens the file at `path`, of `size` bytes when the caller looked at it.
  // Raises AutomationError as ReadOnlyFile::Open does, or kErrTruncated
  // when its first page cannot be read.
  // Precondition: format is kJet3, kJet4 or kAce.
  PageFile(const std::filesystem::path& path, FileFormat format, std::uint64_t size);

  FileFormat format() const { return format_; }
  const Layout& layout() const { return layout_; }
  std::size_t page_size() const { return layout_.page_size; }
  // The whole pages the file had when it was opened.
  std::uint64_t pages() const { return pages_; }

  // Reads up to `count` pages from page `first` into `buffer` (room for
  // `count` pages), decrypted; returns how many were read whole. Any number
  // of threads may read at once.
  std::size_t Read(std::uint64_t first, std::size_t count, std::uint8_t* buffer) const;

  // Reads page `page` into `buffer`; kErrTruncated naming `table` when the
  // page lies beyond the file or cannot be read whole.
  void ReadPage(std::uint64_t page, std::uint8_t* buffer, std::u16string_view table) const;

  // Appends stored text (names and values) to `out` as UTF-8: Jet 3 keeps
  // code page 1252, Jet 4 and ACE UTF-16 or its compressed form.
  void AppendText(std::span<const std::uint8_t> bytes, std::string& out) const;

  // kErrDamaged: "The database file '<path>' is damaged: <what>."
  [[noreturn]] void Damaged(std::u16string_view what) const;
  // kErrTruncated: the table refers to a page beyond the end of the file.
  [[noreturn]] void Truncated(std::u16string_view table) const;

 private:
  std::filesystem::path path_;
  FileFormat format_;
  const Layout& layout_;
  std::uint64_t pages_;
  std::uint32_t key_ = 0;
  std::unique_ptr<ReadOnlyFile> file_;
};

// A page number as the descriptions write it.
Text PageText(std::uint64_t page);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_READER_PAGE_FILE_H_
