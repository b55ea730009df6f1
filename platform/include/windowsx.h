// The message crackers' coordinate macros (GET_X_LPARAM, GET_Y_LPARAM). This platform
// defines them with the base types in windef.h; the header exists so that code includes
// them from where Windows keeps them.
#pragma once

#include "windef.h"
