// Text in other encodings than UTF-8 at the tool's edges: batch files and
// call arguments as Windows editors and spreadsheets save them, and output
// for programs that read a code page. The conversions go through iconv of
// the C library, so any encoding it knows (windows-1252, ISO-8859-15,
// UTF-16LE, CP850, ...) can be named.
//
// Input is never repaired: bytes that are not valid in the encoding make
// the line (or argument) an error that says so and names --encoding.
#ifndef QORVEL_TOOLS_ENCODING_H_
#define QORVEL_TOOLS_ENCODING_H_

#include <iconv.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorvel::tool {

// One direction of conversion, owning its iconv descriptor. A Converter is
// used by one thread at a time.
class Converter {
 public:
  // The conversion from the encoding `from` to the encoding `to`, names as
  // iconv knows them; null when it knows either name not.
  static std::unique_ptr<Converter> Open(const std::string& to, const std::string& from);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `in` into `*out`. False when `in` holds a sequence that
  // is invalid or cut short in the source encoding, or a character that the
  // target encoding cannot represent; `*offset` is then the position of the
  // first byte at fault and `*out` what was converted before it.
  bool Convert(std::string_view in, std::string* out, std::size_t* offset);

 private:
  explicit Converter(iconv_t cd) : cd_(cd) {}
  iconv_t cd_;
};

// Whether iconv knows the encoding `name` (both ways with UTF-8).
bool KnownEncoding(const std::string& name);

// One line of input, decoded.
struct DecodedLine {
  std::string utf8;   // the line without its line end, in UTF-8
  std::string error;  // why the line could not be read; empty when it could
};

// The encoding of an input that starts with a byte-order mark (UTF-8,
// UTF-16LE, UTF-16BE, UTF-32LE, UTF-32BE) and the mark's length; nullopt
// when it starts with none.
std::optional<std::pair<std::string, std::size_t>> ByteOrderMark(std::string_view bytes);

// Splits `bytes` into lines and decodes each into UTF-8. A byte-order mark
// decides the encoding and is dropped; without one the encoding is
// `encoding`, UTF-8 when it is empty. Lines end at a line feed of the
// encoding (so UTF-16 input is split on its code units); a carriage return
// before it is dropped; a line feed at the very end ends the last line.
// A line that is not valid in its encoding comes back with an error that
// names the encoding, the byte at fault and the option --encoding.
// Precondition: `encoding` is empty or KnownEncoding(encoding).
std::vector<DecodedLine> DecodeLines(std::string_view bytes, const std::string& encoding);

// Decodes one text (an argument) from `encoding` (UTF-8 when empty) into
// `*utf8`. False when it is not valid, with `*error` saying where, as a
// line's error does. Precondition as DecodeLines.
bool DecodeText(std::string_view bytes, const std::string& encoding, std::string* utf8, std::string* error);

// Text for the output: UTF-8 as it is when `encoding` is empty, otherwise
// converted through its own Converter.
class OutputEncoder {
 public:
  // Precondition: `encoding` is empty or KnownEncoding(encoding).
  explicit OutputEncoder(const std::string& encoding);
  // `utf8` in the output encoding, without a byte-order mark; false when
  // it holds a character the encoding cannot represent.
  bool Encode(std::string_view utf8, std::string* out);
  // A line feed in the output encoding.
  const std::string& newline() const { return newline_; }
  // The byte-order mark that the encoding puts at the start of a text
  // (UTF-16 and UTF-32 without an endianness in the name); empty for most.
  const std::string& mark() const { return mark_; }

 private:
  std::unique_ptr<Converter> converter_;
  std::string newline_ = "\n";
  std::string mark_;
};

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_ENCODING_H_
