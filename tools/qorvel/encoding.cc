// Conversions between UTF-8 and the encodings that files and terminals of
// an office use, through iconv; line splitting that respects the code
// units of the encoding.
#include "encoding.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "qorvel/types.h"

namespace qorvel::tool {
namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));

// "UTF-8", "utf8", "Utf_8" all name UTF-8.
bool IsUtf8(const std::string& name) {
  std::string folded;
  for (const char c : name) {
    if (c != '-' && c != '_') folded += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return folded.empty() || folded == "UTF8";
}

std::string Hex(unsigned char byte) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", byte);
  return buf;
}

// How the encoding of an input was chosen, for the error messages.
enum class Origin { kDefault, kOption, kByteOrderMark };

// Why `bytes` is not valid `encoding`, where the fault is at `offset`.
std::string Invalid(const std::string& encoding, Origin origin, std::string_view bytes, std::size_t offset,
                    const char* what) {
  std::string message = "not valid " + encoding + " (";
  if (offset < bytes.size()) {
    message += "byte " + Hex(static_cast<unsigned char>(bytes[offset])) + " at byte " + std::to_string(offset + 1) +
               " of the " + what + ")";
  } else {
    message += std::string("cut short at the end of the ") + what + ")";
  }
  switch (origin) {
    case Origin::kDefault:
      return message + "; name its encoding with --encoding, e.g. --encoding windows-1252";
    case Origin::kOption:
      return message + "; check the name given to --encoding";
    case Origin::kByteOrderMark:
      return message + ", as its byte-order mark says (a byte-order mark decides over --encoding)";
  }
  return message;
}

// Decodes one line or text; the error is empty when it could be read.
std::string DecodeOne(std::string_view bytes, const std::string& encoding, Origin origin, Converter* converter,
                      const char* what, std::string* utf8) {
  std::size_t offset = 0;
  if (!converter) {
    if (const auto bad = InvalidUtf8At(bytes)) return Invalid("UTF-8", origin, bytes, *bad, what);
    utf8->assign(bytes);
    return {};
  }
  if (!converter->Convert(bytes, utf8, &offset)) return Invalid(encoding, origin, bytes, offset, what);
  return {};
}

// The decoder of `encoding`: null for UTF-8, which is checked, not converted.
std::unique_ptr<Converter> DecoderFor(const std::string& encoding) {
  return IsUtf8(encoding) ? nullptr : Converter::Open("UTF-8", encoding);
}

}  // namespace

std::unique_ptr<Converter> Converter::Open(const std::string& to, const std::string& from) {
  const iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == kNoConversion) return nullptr;
  return std::unique_ptr<Converter>(new Converter(cd));
}

Converter::~Converter() { iconv_close(cd_); }

bool Converter::Convert(std::string_view in, std::string* out, std::size_t* offset) {
  out->clear();
  iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  // iconv's input parameter is char** for historical reasons; it never
  // writes through it.
  char* in_ptr = const_cast<char*>(in.data());
  std::size_t in_left = in.size();
  char buffer[4096];
  for (;;) {
    char* out_ptr = buffer;
    std::size_t out_left = sizeof buffer;
    const std::size_t result = in_left ? iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left)
                                       : iconv(cd_, nullptr, nullptr, &out_ptr, &out_left);
    out->append(buffer, static_cast<std::size_t>(out_ptr - buffer));
    if (result != static_cast<std::size_t>(-1)) {
      if (in_left == 0) return true;
      continue;
    }
    if (errno == E2BIG) continue;
    *offset = in.size() - in_left;
    return false;
  }
}

bool KnownEncoding(const std::string& name) {
  // A suffix such as //TRANSLIT or //IGNORE would let iconv replace or drop
  // what it cannot convert, which the tool never does.
  if (name.empty() || name.find('/') != std::string::npos) return false;
  return Converter::Open("UTF-8", name) && Converter::Open(name, "UTF-8");
}

std::optional<std::pair<std::string, std::size_t>> ByteOrderMark(std::string_view bytes) {
  // UTF-32LE before UTF-16LE: its mark begins with UTF-16LE's.
  if (bytes.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4)) return std::pair{std::string("UTF-32LE"), 4};
  if (bytes.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4)) return std::pair{std::string("UTF-32BE"), 4};
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::pair{std::string("UTF-8"), 3};
  if (bytes.substr(0, 2) == "\xFF\xFE") return std::pair{std::string("UTF-16LE"), 2};
  if (bytes.substr(0, 2) == "\xFE\xFF") return std::pair{std::string("UTF-16BE"), 2};
  return std::nullopt;
}

std::vector<DecodedLine> DecodeLines(std::string_view bytes, const std::string& encoding) {
  std::string name = encoding.empty() ? "UTF-8" : encoding;
  Origin origin = encoding.empty() ? Origin::kDefault : Origin::kOption;
  if (const auto mark = ByteOrderMark(bytes)) {
    name = mark->first;
    origin = Origin::kByteOrderMark;
    bytes.remove_prefix(mark->second);
  }
  const std::unique_ptr<Converter> decoder = DecoderFor(name);

  // The line feed of the encoding; its length is the code unit.
  const std::string newline = decoder ? OutputEncoder(name).newline() : std::string("\n");
  const std::size_t unit = newline.size();

  std::vector<DecodedLine> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = start;
    while (end < bytes.size() && bytes.compare(end, unit, newline) != 0) end += unit;
    const std::string_view raw = bytes.substr(start, std::min(end, bytes.size()) - start);
    DecodedLine line;
    line.error = DecodeOne(raw, name, origin, decoder.get(), "line", &line.utf8);
    if (line.error.empty() && !line.utf8.empty() && line.utf8.back() == '\r') line.utf8.pop_back();
    lines.push_back(std::move(line));
    start = end + unit;
  }
  return lines;
}

bool DecodeText(std::string_view bytes, const std::string& encoding, std::string* utf8, std::string* error) {
  const std::unique_ptr<Converter> decoder = DecoderFor(encoding);
  *error = DecodeOne(bytes, encoding.empty() ? "UTF-8" : encoding,
                     encoding.empty() ? Origin::kDefault : Origin::kOption, decoder.get(), "argument", utf8);
  return error->empty();
}

OutputEncoder::OutputEncoder(const std::string& encoding) {
  if (IsUtf8(encoding)) return;
  converter_ = Converter::Open(encoding, "UTF-8");
  // Some encoders (UTF-16, UTF-32) begin every conversion with a
  // byte-order mark: it is what one line feed gives beyond the growth from
  // one line feed to two.
  std::string one, two;
  std::size_t offset = 0;
  if (converter_ && converter_->Convert("\n", &one, &offset) && converter_->Convert("\n\n", &two, &offset) &&
      two.size() > one.size() && two.size() - one.size() <= one.size()) {
    const std::size_t unit = two.size() - one.size();
    mark_ = one.substr(0, one.size() - unit);
    newline_ = one.substr(one.size() - unit);
  }
}

bool OutputEncoder::Encode(std::string_view utf8, std::string* out) {
  if (!converter_) {
    out->assign(utf8);
    return true;
  }
  std::size_t offset = 0;
  if (!converter_->Convert(utf8, out, &offset)) return false;
  if (!mark_.empty() && out->compare(0, mark_.size(), mark_) == 0) out->erase(0, mark_.size());
  return true;
}

}  // namespace qorvel::tool
