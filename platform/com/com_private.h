// Helpers shared by the files of platform/com.
#pragma once

#include <oleauto.h>

namespace qor::com {

// True when vt may stand in a VARIANT: a base type with VT_ARRAY and/or VT_BYREF.
// VT_RECORD is refused: records need IRecordInfo, which this platform does not provide.
bool IsValidVariantType(VARTYPE vt);

// The size of one value of a base type (a pointer for strings and interfaces), 0 when
// the type has no fixed-size value.
ULONG ValueSize(VARTYPE vt);

}  // namespace qor::com
