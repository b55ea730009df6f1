// Helpers shared by the resource tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <windows.h>

inline std::vector<unsigned char> ReadTestFile(const char* name)
{
    std::ifstream in(std::string(QOR_RES_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes of a resource of the test program, through the Win32 calls.
inline std::vector<unsigned char> ResourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return {};
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    return {data, data + SizeofResource(module, found)};
}
