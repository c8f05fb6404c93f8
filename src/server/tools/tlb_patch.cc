// tlb_patch: finishes the type library that widl writes for QORVEL.dll.
//
//   tlb_patch INPUT.tlb OUTPUT.tlb
//
// Runs on the build machine during the cross build, so it is plain portable
// C++ with no Windows headers. It edits the library in place, never moving
// a byte:
// - every coclass flagged as an application object also gets the
//   predeclared-identity flag (widl has no attribute for it);
// - the build time that widl stores (a 32-bit custom data value, and the
//   time in its "Created by WIDL version ... at ..." text) is blanked, so
//   that two builds of the library are byte-identical.
// Exits 0 on success, 1 with a message on standard error when the input is
// not a type library of the expected layout (nothing is written then).
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kTypeKindMask = 0xF;
constexpr std::uint32_t kTypeKindCoclass = 5;
constexpr std::uint32_t kTypeFlagAppObject = 0x1;
constexpr std::uint32_t kTypeFlagPredeclId = 0x8;
constexpr std::uint32_t kHelpDllFlag = 0x100;
constexpr std::uint16_t kVtBstr = 8;
constexpr std::uint16_t kVtUi4 = 19;

constexpr std::size_t kHeaderSize = 0x54;
constexpr std::size_t kTypeInfoSize = 0x64;
constexpr std::size_t kSegmentCount = 15;
enum Segment { kTypeInfoTab = 0, kGuidTab = 5, kCustData = 11, kCdGuids = 12 };

// The GUIDs under which widl stores its creation time and creation text,
// in their in-file byte order.
constexpr std::array<std::uint8_t, 16> kTimeGuid = {0x63, 0xba, 0x77, 0xde, 0x7c, 0x51, 0xd1, 0x11,
                                                    0xa2, 0xda, 0x00, 0x00, 0xf8, 0x77, 0x3c, 0xe9};
constexpr std::array<std::uint8_t, 16> kInfoGuid = {0x65, 0xba, 0x77, 0xde, 0x7c, 0x51, 0xd1, 0x11,
                                                    0xa2, 0xda, 0x00, 0x00, 0xf8, 0x77, 0x3c, 0xe9};

struct Failure {
  std::string what;
};

class Library {
 public:
  explicit Library(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
    if (bytes_.size() < kHeaderSize || std::memcmp(bytes_.data(), "MSFT", 4) != 0) {
      throw Failure{"not a type library (no MSFT header)"};
    }
    std::size_t pos = kHeaderSize;
    if (U32(0x14) & kHelpDllFlag) pos += 4;
    type_infos_ = U32(0x20);
    pos += 4 * std::size_t{type_infos_};  // the type info offsets
    for (std::size_t i = 0; i < kSegmentCount; ++i) {
      segments_[i] = {U32(pos + 16 * i), U32(pos + 16 * i + 4)};
    }
  }

  // Sets the predeclared-identity flag of application-object coclasses;
  // returns how many it marked.
  int MarkPredeclared() {
    int marked = 0;
    for (std::uint32_t i = 0; i < type_infos_; ++i) {
      const std::size_t base = At(kTypeInfoTab, i * kTypeInfoSize, kTypeInfoSize);
      const std::uint32_t flags = U32(base + 0x30);
      if ((U32(base) & kTypeKindMask) == kTypeKindCoclass && (flags & kTypeFlagAppObject)) {
        PutU32(base + 0x30, flags | kTypeFlagPredeclId);
        ++marked;
      }
    }
    return marked;
  }

  // Blanks the creation time in the library's custom data; returns how many
  // values it blanked.
  int BlankBuildTime() {
    int blanked = 0;
    std::uint32_t entry = U32(0x40);
    for (int guard = 0; entry != 0xFFFFFFFF; ++guard) {
      if (guard > 1000) throw Failure{"custom data list does not end"};
      const std::size_t cd = At(kCdGuids, entry, 12);
      const std::size_t guid = At(kGuidTab, U32(cd), 16);
      const std::size_t data = At(kCustData, U32(cd + 4), 2);
      const std::uint16_t vt = static_cast<std::uint16_t>(bytes_[data] | bytes_[data + 1] << 8);
      if (SameGuid(guid, kTimeGuid) && vt == kVtUi4) {
        PutU32(At(kCustData, U32(cd + 4) + 2, 4), 0);
        ++blanked;
      } else if (SameGuid(guid, kInfoGuid) && vt == kVtBstr) {
        const std::uint32_t length = U32(At(kCustData, U32(cd + 4) + 2, 4));
        const std::size_t text = At(kCustData, U32(cd + 4) + 6, length);
        const std::string info(bytes_.begin() + text, bytes_.begin() + text + length);
        const std::size_t at = info.find(" at ");
        if (at != std::string::npos) {
          for (std::size_t k = at; k < length; ++k) bytes_[text + k] = ' ';
          ++blanked;
        }
      }
      entry = U32(cd + 8);
    }
    return blanked;
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  struct Extent {
    std::uint32_t offset, length;
  };

  // The file position of `length` bytes at `offset` inside a segment.
  std::size_t At(Segment segment, std::size_t offset, std::size_t length) const {
    const Extent& s = segments_[segment];
    if (offset > s.length || length > s.length - offset || s.offset + std::size_t{s.length} > bytes_.size()) {
      throw Failure{"offset outside its segment"};
    }
    return s.offset + offset;
  }

  bool SameGuid(std::size_t pos, const std::array<std::uint8_t, 16>& guid) const {
    return std::memcmp(bytes_.data() + pos, guid.data(), guid.size()) == 0;
  }

  std::uint32_t U32(std::size_t pos) const {
    if (pos + 4 > bytes_.size()) throw Failure{"truncated"};
    return static_cast<std::uint32_t>(bytes_[pos]) | static_cast<std::uint32_t>(bytes_[pos + 1]) << 8 |
           static_cast<std::uint32_t>(bytes_[pos + 2]) << 16 |
           static_cast<std::uint32_t>(bytes_[pos + 3]) << 24;
  }

  void PutU32(std::size_t pos, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes_[pos + k] = static_cast<std::uint8_t>(value >> (8 * k));
  }

  std::vector<std::uint8_t> bytes_;
  std::uint32_t type_infos_ = 0;
  std::array<Extent, kSegmentCount> segments_{};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tlb_patch INPUT.tlb OUTPUT.tlb\n");
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "tlb_patch: cannot read %s\n", argv[1]);
    return 1;
  }
  try {
    Library library(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    if (library.MarkPredeclared() == 0) throw Failure{"no application-object coclass"};
    if (library.BlankBuildTime() != 2) throw Failure{"widl's build time not found"};
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(library.bytes().data()),
              static_cast<std::streamsize>(library.bytes().size()));
    if (!out) throw Failure{"cannot write the output"};
  } catch (const Failure& failure) {
    std::fprintf(stderr, "tlb_patch: %s: %s\n", argv[1], failure.what.c_str());
    return 1;
  }
  return 0;
}
