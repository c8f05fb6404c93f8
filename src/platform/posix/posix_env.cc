// Placeholder.
#include "platform/env.h"
