// Helpers shared by the engine's tests.
#include "support/jet_support.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "jet/errors.h"
#include "jet/file_format.h"
#include "jet/values.h"
#include "qorvel/host.h"
#include "shared_dir.h"

namespace qorvel::jet::testing {

DatabaseOptions TestOptions() {
  DatabaseOptions options;
  options.read_date = [](std::u16string_view text) {
    const auto date = ParseIsoDateTime(text);
    if (!date) Raise(kErrSyntax, u"not an ISO date: " + Text(text));
    return *date;
  };
  options.now = [] { return *DateTime::FromParts(2012, 6, 15, 12, 0, 0); };
  return options;
}

std::unique_ptr<Database> OpenShared(const std::string& relative, TextView password) {
  return Database::Open(::qorvel::testing::SharedPath(relative), password, TestOptions());
}

TempDir::TempDir() {
  std::random_device random;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() / ("qorvel-jet-" + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Encrypted(std::string bytes, std::size_t page_size, std::uint32_t key) {
  constexpr std::size_t kKeyOffset = 0x3e;
  for (std::size_t i = 0; i < 4; ++i) bytes[kKeyOffset + i] = static_cast<char>(bytes[kKeyOffset + i] ^ (key >> (8 * i)));
  for (std::size_t page = 1; (page + 1) * page_size <= bytes.size(); ++page) {
    const auto k = static_cast<std::uint32_t>(key ^ page);
    const std::uint8_t page_key[4] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k >> 8),
                                      static_cast<std::uint8_t>(k >> 16), static_cast<std::uint8_t>(k >> 24)};
    const std::vector<std::uint8_t> keystream = Rc4Keystream(page_key, page_size);
    for (std::size_t i = 0; i < page_size; ++i) {
      bytes[page * page_size + i] = static_cast<char>(bytes[page * page_size + i] ^ keystream[i]);
    }
  }
  return bytes;
}

AutomationError ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const AutomationError& error) {
    return error;
  }
  return AutomationError(0, u"");
}

std::string Describe(const Variant& value) {
  return std::string(VarTypeName(value.type())) + " " + ToUtf8(DisplayText(value));
}

}  // namespace qorvel::jet::testing
