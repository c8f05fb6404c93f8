// The QORVEL report functions: everything a C++ host needs.
#ifndef QORVEL_QORVEL_H_
#define QORVEL_QORVEL_H_

#include "qorvel/automation_error.h"
#include "qorvel/currency.h"
#include "qorvel/database.h"
#include "qorvel/date_time.h"
#include "qorvel/dispatch.h"
#include "qorvel/env.h"
#include "qorvel/export.h"
#include "qorvel/host.h"
#include "qorvel/kx.h"
#include "qorvel/kx_interface.h"
#include "qorvel/types.h"
#include "qorvel/variant.h"

#endif  // QORVEL_QORVEL_H_
