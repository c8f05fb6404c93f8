// The error styles' boxes and the re-raise of modMain's routines.
#include "modmain/error_styles.h"

#include <exception>
#include <new>

#include "base/text_ops.h"

namespace qorvel::modmain {

AutomationError CurrentError() noexcept {
  try {
    throw;
  } catch (const AutomationError& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return AutomationError(kErrOutOfMemory, u"Out of memory");
  } catch (...) {
    return AutomationError(kErrInternal, u"Internal error");
  }
}

void ShowLabelledErrorBox(Env& env, bool& shown, TextView label,
                          const AutomationError& error) {
  if (shown) return;
  Text prompt(label);
  prompt += kCrLf;
  prompt += DecimalText(error.number());
  prompt += kCrLf;
  prompt += error.description();
  env.ShowMessageBox(prompt, kBoxOkOnly, std::nullopt);
  shown = true;
}

void ShowDateFormatBox(Env& env, bool& shown, const AutomationError& error) {
  if (shown) return;
  Text prompt = u"Error Determining Date Format - Defaulting to 'MM/dd/yyyy'.";
  prompt += kCrLf;
  prompt += u"Error Message - ";
  prompt += error.description();
  env.ShowMessageBox(prompt, kBoxInformation, Text());
  shown = true;
}

void ShowConnectionFailureBox(Env& env, bool& shown, TextView path,
                              const AutomationError& error) {
  if (shown) return;
  Text prompt = u"Unable to connect to ";
  prompt += path;
  prompt += u".";
  prompt += kCrLf;
  prompt += u"Some report information may be missing or incorrect.";
  prompt += kCrLf;
  prompt += u"Please restart your computer or contact support.";
  prompt += kCrLf;
  prompt += kCrLf;
  prompt += error.description();
  prompt += kCrLf;
  prompt += error.description();
  env.ShowMessageBox(prompt, kBoxInformation, std::nullopt);
  shown = true;
}

void RaiseAgain(TextView routine, AutomationError error) {
  Text description = u"Error In ";
  description += routine;
  description += kCrLf;
  description += error.description();
  error.set_description(std::move(description));
  throw error;
}

}  // namespace qorvel::modmain
