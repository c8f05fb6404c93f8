// Defines the component's GUIDs (LIBID_QORVEL, IID__KX, CLSID_KX) once, from
// the declarations that widl generates from qorvel.idl.
#include <windows.h>
#include <initguid.h>
#undef GetDateFormat

#include "qorvel_idl.h"
