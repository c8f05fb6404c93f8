// Recognising a database file by its first page, and the Jet database
// password kept in that page; the checks a file must pass to be opened.
//
// A Jet or ACE file says "Standard Jet DB" or "Standard ACE DB" at offset 4
// and its version in the byte at 0x14; a SQLite file begins with
// "SQLite format 3\0". The Jet password lives in the masked part of page 0:
// bytes 0x18 onwards are XORed with an RC4 keystream (key c7 da 39 6b),
// 126 bytes in Jet 4 and later, 124 in Jet 3. After unmasking, Jet 4 keeps
// the password as 20 UTF-16 code units at 0x42, each byte XORed once more
// with byte (i mod 4) of the little-endian integer part of the creation
// date (the double at 0x72); Jet 3 keeps 20 single-byte characters there
// (code page 1252) with no date mask. All zero means no password.
#ifndef QORVEL_JET_FILE_FORMAT_H_
#define QORVEL_JET_FILE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "qorvel/types.h"

namespace qorvel::jet {

struct FileStamp;  // system.h

enum class FileFormat {
  kUnknown,  // none of the formats below
  kJet3,     // Jet 3 (pages of 2 KB)
  kJet4,     // Jet 4 (pages of 4 KB)
  kAce,      // ACE 12 and later (the Jet 4 page layout)
  kSqlite,   // SQLite 3
};

// The bytes the recognition and the password need: the first 0x98 bytes of
// the file (shorter input is recognised as far as it goes).
inline constexpr std::size_t kHeaderBytes = 0x98;

// What the first bytes say. `jet_version` receives the version byte of a
// Jet/ACE file (0 Jet 3, 1 Jet 4, 2 to 6 ACE) when not null; a version
// byte no reader knows is kUnknown.
FileFormat RecognizeFormat(std::span<const std::uint8_t> header, int* jet_version = nullptr);

// A short name of the format for descriptions ("Jet 4", "SQLite").
const char16_t* FormatName(FileFormat format);

// The page size of a Jet/ACE format. Precondition: format is kJet3, kJet4 or kAce.
std::size_t PageSize(FileFormat format);

// The database password stored in a Jet/ACE header, without its padding;
// empty when the file has none. Precondition: format is kJet3, kJet4 or
// kAce and header holds at least kHeaderBytes bytes.
Text StoredPassword(std::span<const std::uint8_t> header, FileFormat format);

// The RC4 keystream of `key`, `length` bytes long.
std::vector<std::uint8_t> Rc4Keystream(std::span<const std::uint8_t> key, std::size_t length);

// Recognises the file behind `path` (whose stamp was just taken) by its
// header and checks the password; returns its format. Raises
// AutomationError: kErrNotADatabase (empty, or not a database), kErrDamaged
// (a Jet/ACE version no reader knows), kErrTruncated (shorter than its
// header says, or not a whole number of pages), kErrWrongPassword, and what
// opening the file raises.
FileFormat CheckFile(const std::filesystem::path& path, const FileStamp& stamp, TextView password);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_FILE_FORMAT_H_
