// The ways the component's methods and routines report an error: the
// labelled error box, the date format box, the connection failure box and
// the re-raise of modMain's routines, plus the error being handled as an
// AutomationError. Which method uses which style is in kx/method_styles.h.
//
// Each box function shows its box only while the flag it is given is false,
// and then sets it: that is the once-per-object rule for the methods' flags
// and the once-per-thread rule for ConnectErrorShown. Prompts use CR LF line
// breaks.
#ifndef QORVEL_MODMAIN_ERROR_STYLES_H_
#define QORVEL_MODMAIN_ERROR_STYLES_H_

#include "qorvel/automation_error.h"
#include "qorvel/env.h"
#include "qorvel/types.h"

namespace qorvel::modmain {

inline constexpr Long kBoxOkOnly = 0;
inline constexpr Long kBoxInformation = 64;

// The error that is being handled, as an AutomationError: an AutomationError
// as it is; running out of memory as error 7; anything else as error 51.
// Precondition: called inside a catch block.
AutomationError CurrentError() noexcept;

// Labelled error box: if `shown` is false, shows label CR LF number CR LF
// description (OK only, no icon, default title) and sets `shown`.
void ShowLabelledErrorBox(Env& env, bool& shown, TextView label, const AutomationError& error);

// Date format box: if `shown` is false, shows the defaulting notice with the
// description (information icon, empty title given) and sets `shown`.
void ShowDateFormatBox(Env& env, bool& shown, const AutomationError& error);

// Connection failure box: if `shown` is false, shows the notice that the
// database at `path` could not be opened, with the description twice
// (information icon, default title) and sets `shown`.
void ShowConnectionFailureBox(Env& env, bool& shown, TextView path, const AutomationError& error);

// Re-raise style: the error goes on with "Error In " + routine + CR LF in
// front of its description, the same number.
[[noreturn]] void RaiseAgain(TextView routine, AutomationError error);

}  // namespace qorvel::modmain

#endif  // QORVEL_MODMAIN_ERROR_STYLES_H_
