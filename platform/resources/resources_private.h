// Private to platform/resources: the modules that carry resource tables.
#pragma once

#include <string>

#include <winbase.h>

#include "resource_table.h"

namespace qor::resources {

// The main program's load base: what a null HMODULE stands for.
HMODULE MainModule();

// The resource of that type and name in the module (null: the main program), or null
// with *error set to ERROR_RESOURCE_DATA_NOT_FOUND (the module has no resources),
// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
const QorResourceEntry* FindEntry(HMODULE module, LPCWSTR name, LPCWSTR type, DWORD* error);

// Whether the pointer is an entry of a table registered now (an HRSRC we handed out).
bool IsEntry(const void* entry);

// The loaded module whose file is this one (any path to the same file), or null.
HMODULE ModuleOfFile(const std::string& path);

}  // namespace qor::resources
