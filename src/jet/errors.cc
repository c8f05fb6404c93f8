// Raising the engine's errors.
#include "jet/errors.h"

namespace qorvel::jet {

void Raise(Long number, std::u16string_view description) {
  throw AutomationError(number, Text(description));
}

namespace {

// A path's own text: UTF-16 already where paths are wide (Windows), taken
// as UTF-8 elsewhere.
template <typename Char>
Text NativeText(const std::basic_string<Char>& native) {
  if constexpr (sizeof(Char) == sizeof(char16_t)) {
    return Text(native.begin(), native.end());
  } else {
    return FromUtf8(native);
  }
}

}  // namespace

Text PathText(const std::filesystem::path& path) { return NativeText(path.native()); }

}  // namespace qorvel::jet
