// What a host has set for the whole process (see qorvel/host.h), as the
// platform adapters read it: each adapter's message box first offers the box
// to the thread's capture, then to the host's handler, and shows it its own
// way only when neither takes it.
#ifndef QORVEL_PLATFORM_HOST_SETTINGS_H_
#define QORVEL_PLATFORM_HOST_SETTINGS_H_

#include <optional>

#include "qorvel/host.h"

namespace qorvel::platform {

// Offers a box to the calling thread's MessageBoxCapture, then to the
// host's handler; returns whether one of them took it (the platform then
// shows nothing).
bool OfferBoxToHost(const Text& prompt, Long buttons, const std::optional<Text>& title);

// Writes a box to standard error as a block: a header line with the title
// and the buttons-and-icon value, then the prompt with its CR LF as line
// breaks. Boxes of several threads never interleave. (How the POSIX
// platform shows its boxes, and how a Windows test build records them.)
void WriteBoxToStandardError(const Text& prompt, Long buttons, const Text& title);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_HOST_SETTINGS_H_
