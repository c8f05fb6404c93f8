// The process-wide settings of the host: message box handler and user
// locale, and the display text of a value; the routing of message boxes to
// the host and the block form of a box on standard error.
#include "platform/host_settings.h"

#include <cstdio>
#include <mutex>
#include <shared_mutex>

#include "platform/locale.h"
#include "platform/variant_conversion.h"
#include "qorvel/automation_error.h"

namespace qorvel {
namespace {

std::shared_mutex handler_mutex;
// The boxes of the calling thread's innermost MessageBoxCapture, or null.
thread_local std::vector<MessageBoxCapture::Box>* tls_capture = nullptr;

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

MessageBoxCapture::MessageBoxCapture() : outer_(tls_capture) { tls_capture = &boxes_; }

MessageBoxCapture::~MessageBoxCapture() { tls_capture = outer_; }

bool platform::OfferBoxToHost(const Text& prompt, Long buttons, const std::optional<Text>& title) {
  if (tls_capture != nullptr) {
    tls_capture->push_back({prompt, buttons, title});
    return true;
  }
  MessageBoxHandler handler;
  {
    std::shared_lock<std::shared_mutex> lock(handler_mutex);
    handler = Handler();
  }
  if (!handler) return false;
  handler(prompt, buttons, title);
  return true;
}

void platform::WriteBoxToStandardError(const Text& prompt, Long buttons, const Text& title) {
  Text lines;
  for (char16_t ch : prompt) {
    if (ch != u'\r') lines.push_back(ch);
  }
  static std::mutex write_mutex;
  std::lock_guard<std::mutex> lock(write_mutex);
  std::fprintf(stderr, "[%s] (message box, buttons %ld)\n%s\n", ToUtf8(title).c_str(),
               static_cast<long>(buttons), ToUtf8(lines).c_str());
  std::fflush(stderr);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  std::unique_lock<std::shared_mutex> lock(handler_mutex);
  Handler() = std::move(handler);
}

bool SetUserLocale(std::string_view name) {
  auto locale = platform::FindLocale(name);
  if (!locale) return false;
  platform::SetUserLocale(std::move(locale));
  return true;
}

std::string UserLocaleName() { return platform::UserLocale().info().name; }

std::vector<std::string> AvailableLocales() { return platform::LocaleNames(); }

Text DecimalSeparator() { return platform::UserLocale().info().decimal; }

Text DisplayText(const Variant& value) {
  if (value.IsNull()) return Text();
  try {
    return platform::VariantToText(value, platform::UserLocale());
  } catch (const AutomationError&) {
    return Text();
  }
}

}  // namespace qorvel
