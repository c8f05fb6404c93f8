// Text as the engine reads and compares it: decoding the text bytes of a
// Jet file into UTF-8, and the case-insensitive comparison that the mirror
// registers on SQLite as the collation JETTEXT.
//
// The comparison folds each UTF-16 code unit to upper case (ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic; other characters compare as they
// are) and then compares code unit by code unit, so "smith" = "SMITH" and
// "grüße" = "GRÜSSE" is false but "Ærø" = "æRØ" is true.
#ifndef QORVEL_JET_TEXT_H_
#define QORVEL_JET_TEXT_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "qorvel/types.h"

struct sqlite3;

namespace qorvel::jet {

// Decodes the stored bytes of a Jet 4 / ACE text value (UTF-16LE, or the
// compressed form that begins FF FE) and appends its UTF-8 form to `out`.
// Unpaired surrogates become U+FFFD; an odd trailing byte is dropped.
void AppendJet4Text(std::span<const std::uint8_t> bytes, std::string& out);

// Decodes the bytes of a Jet 3 text value (code page 1252) into UTF-8.
void AppendJet3Text(std::span<const std::uint8_t> bytes, std::string& out);


// The character of code page 1252 with the given byte.
char16_t FromCodePage1252(std::uint8_t byte);

// The upper-case fold of one UTF-16 code unit.
char16_t FoldCase(char16_t unit);

// The text with every code unit folded (the key of case-insensitive lookups).
Text FoldText(TextView text);

// Compares two UTF-8 texts case-insensitively (see above): negative, zero
// or positive. Invalid UTF-8 bytes compare as U+FFFD.
int CompareText(std::string_view a, std::string_view b);

// Registers CompareText on `db` as the collation named kTextCollation.
// Returns the SQLite result code.
int RegisterTextCollation(sqlite3* db);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_TEXT_H_
