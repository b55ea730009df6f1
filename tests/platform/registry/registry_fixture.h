// Every registry test runs against hive files of its own in a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <qor_registry.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qor_registry_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        setenv("QOR_REGISTRY_DIR", m_folder.c_str(), 1);
        qor::ResetRegistry();
    }

    void TearDown() override
    {
        qor::ResetRegistry();
        std::error_code ignored;
        std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_folder, ignored);
    }

    // A key created (or opened) with all access; the test fails if that does not work.
    static HKEY Create(HKEY parent, LPCWSTR path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        return key;
    }

    static LSTATUS Open(HKEY parent, LPCWSTR path, HKEY* key, REGSAM access = KEY_READ)
    {
        return RegOpenKeyExW(parent, path, 0, access, key);
    }

    static bool Exists(HKEY parent, LPCWSTR path)
    {
        HKEY key = nullptr;
        if (Open(parent, path, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    static LSTATUS SetText(HKEY key, LPCWSTR name, std::u16string_view text)
    {
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }

    // The text of a REG_SZ value, or "<error N>" / "<type N>" when it cannot be read as one.
    static std::u16string GetText(HKEY key, LPCWSTR name)
    {
        WCHAR buffer[512] = {};
        DWORD size = sizeof(buffer) - sizeof(WCHAR);
        DWORD type = 0;
        const LSTATUS status =
            RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        if (status != ERROR_SUCCESS)
            return u"<error " + Number(status) + u">";
        if (type != REG_SZ)
            return u"<type " + Number(type) + u">";
        return buffer;
    }

    static std::vector<std::u16string> SubKeys(HKEY key)
    {
        std::vector<std::u16string> names;
        WCHAR name[256];
        for (DWORD index = 0;; ++index) {
            DWORD length = 256;
            const LSTATUS status = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

    // The text of a value of the key at path, or "<no key>".
    static std::u16string Text(HKEY root, const std::u16string& path, LPCWSTR name = nullptr)
    {
        HKEY key = nullptr;
        if (Open(root, path.c_str(), &key) != ERROR_SUCCESS)
            return u"<no key>";
        std::u16string text = GetText(key, name);
        RegCloseKey(key);
        return text;
    }

    static std::vector<std::u16string> SubKeysOf(HKEY root, const std::u16string& path)
    {
        HKEY key = nullptr;
        if (Open(root, path.c_str(), &key) != ERROR_SUCCESS)
            return {u"<no key>"};
        std::vector<std::u16string> names = SubKeys(key);
        RegCloseKey(key);
        return names;
    }

    static std::u16string Number(long n)
    {
        std::u16string text;
        for (char c : std::to_string(n))
            text += static_cast<char16_t>(c);
        return text;
    }

    std::string m_folder;
};
