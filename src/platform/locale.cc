// Placeholder until the locale table lands.
#include "platform/locale.h"
