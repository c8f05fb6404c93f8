// Helpers shared by the engine's tests: default options, temporary folders,
// files' bytes and errors.
#ifndef QORVEL_TESTS_SUPPORT_JET_SUPPORT_H_
#define QORVEL_TESTS_SUPPORT_JET_SUPPORT_H_

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "qorvel/automation_error.h"
#include "qorvel/types.h"

namespace qorvel::jet::testing {

inline constexpr char16_t kPassword[] = u"PZqfnWM4062";

// Options with ISO date literals and a fixed clock (2012-06-15 12:00).
DatabaseOptions TestOptions();

// Opens a fixture (a path under the shared folder) with the component's password.
std::unique_ptr<Database> OpenShared(const std::string& relative, TextView password = kPassword);

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The bytes of a file, and writing bytes to a file.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// An encrypted copy of the unencrypted Jet file `bytes`: `key` stored in the
// masked header (whose plain key is 0, so the mask needs no unmasking), and
// every page after the first XORed with the RC4 keystream of the key XOR
// the page number, as the engine decrypts them.
std::string Encrypted(std::string bytes, std::size_t page_size, std::uint32_t key);

// The error `body` raises: number 0 and no description when it raises none.
AutomationError ErrorOf(const std::function<void()>& body);

// A Variant's type and text, for failure messages.
std::string Describe(const Variant& value);

}  // namespace qorvel::jet::testing

#endif  // QORVEL_TESTS_SUPPORT_JET_SUPPORT_H_
