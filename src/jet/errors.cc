// Raising the engine's errors.
#include "jet/errors.h"

namespace qorvel::jet {

void Raise(Long number, std::u16string_view description) {
  throw AutomationError(number, Text(description));
}

Text PathText(const std::filesystem::path& path) { return FromUtf8(path.string()); }

}  // namespace qorvel::jet
