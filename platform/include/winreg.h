// advapi32: the registry (platform/registry).
#pragma once

#include "windef.h"
#include "winerror.h"
