// What a host has set for the whole process (see qorvel/host.h), as the
// platform adapters read it.
#ifndef QORVEL_PLATFORM_HOST_SETTINGS_H_
#define QORVEL_PLATFORM_HOST_SETTINGS_H_

#include "qorvel/host.h"

namespace qorvel::platform {

// The host's message box handler, or an empty one when the platform shows
// boxes its own way.
MessageBoxHandler HostMessageBoxHandler();

}  // namespace qorvel::platform

#endif  // QORVEL_PLATFORM_HOST_SETTINGS_H_
