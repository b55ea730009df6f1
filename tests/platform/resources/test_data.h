// Helpers shared by the resource tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <windows.h>

// The call fails (returns FALSE, null or 0) and sets the Win32 error.
#define EXPECT_FAILS_WITH(error, call)                                                                                \
    do {                                                                                                               \
        EXPECT_FALSE(call);                                                                                            \
        EXPECT_EQ(static_cast<DWORD>(error), GetLastError()) << #call;                                                \
    } while (0)

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
