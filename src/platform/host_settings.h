// What a host has set for the whole process (see qorvel/host.h), as the
// platform adapters read it: each adapter's message box first offers the box
// to the thread's capture, then to the host's handler, and shows it its own
// way only when neither takes it.
#ifndef QORVEL_PLATFORM_HOST_SETTINGS_H_
#define QORVEL_PLATFORM_HOST_SETTINGS_H_

#include "qorvel/host.h"

namespace qorvel::platform {

// The host's message box handler, or an empty one when the platform shows
// boxes its own way.
MessageBoxHandler HostMessageBoxHandler();

// Hands the box to the calling thread's MessageBoxCapture, if it has one;
// returns whether it did (the platform then shows nothing).
bool CaptureMessageBox(const Text& prompt, Long buttons, const std::optional<Text>& title);

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_HOST_SETTINGS_H_
