// OLE controls' error codes (CONNECT_E_*, ...). This platform defines them with the other
// HRESULTs in winerror.h; the header exists so that code includes them from where Windows
// keeps them.
#pragma once

#include "winerror.h"
