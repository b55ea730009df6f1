// The layout of an embedded resource table, shared by the platform and the sources that
// rcembed generates. A module's resources are built into the module itself as one table of
// entries; a static initialiser in the generated source hands the table to the platform,
// which files it under the module that contains it (its load base, as HMODULE).
#pragma once

#include <cstddef>

// One resource: a type and a name, each a number or an upper-case UTF-16 string, and
// its bytes. A string type or name is set when non-null; the number is used otherwise.
struct QorResourceEntry {
    const char16_t* typeName;
    unsigned short typeId;
    const char16_t* name;
    unsigned short id;
    const unsigned char* data;
    unsigned long size;
};

#define QOR_RESOURCE_TABLE_VERSION 1

struct QorResourceTable {
    unsigned version;
    const QorResourceEntry* entries;
    std::size_t count;
};

// Called at load and unload of the module that holds the table. The table must live in
// that module: the platform finds the module from the table's address.
extern "C" void QorRegisterResourceTable(const QorResourceTable* table);
extern "C" void QorUnregisterResourceTable(const QorResourceTable* table);
