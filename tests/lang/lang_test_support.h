// Every language test runs against a registry of its own in a fresh temporary folder, with
// no locale variable set and no language resolved yet.
#pragma once

#include <gtest/gtest.h>
#include <qor_registry.h>
#include <windows.h>

#include <LangResources.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class LanguageTest : public ::testing::Test {
protected:
    static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG",
                                                 "QOR_TEST_TRMLX_LANGUAGES"};
    static constexpr WCHAR kResources[] = u"SOFTWARE\\Velmora\\Scrivane\\Resources";

    void SetUp() override
    {
        char pattern[] = "/tmp/qor_lang_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
        m_savedRegistryDir = Saved("QOR_REGISTRY_DIR");
        setenv("QOR_REGISTRY_DIR", m_folder.c_str(), 1);
        for (const char* name : kVariables) {
            m_savedVariables.push_back(Saved(name));
            unsetenv(name);
        }
        qor::ResetRegistry();
        ResetResolvedLanguage();
    }

    void TearDown() override
    {
        ResetResolvedLanguage();
        qor::ResetRegistry();
        Restore("QOR_REGISTRY_DIR", m_savedRegistryDir);
        for (size_t i = 0; i < m_savedVariables.size(); ++i)
            Restore(kVariables[i], m_savedVariables[i]);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // The text LoadLocalizedString gives, or "<none>".
    static std::u16string Text(UINT id)
    {
        CString text;
        return LoadLocalizedString(id, text) ? std::u16string(text.GetString()) : u"<none>";
    }

    // Resources\<path>, created; the test fails if that does not work.
    static HKEY Key(const std::u16string& path)
    {
        std::u16string full = kResources;
        if (!path.empty())
            full += u"\\" + path;
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        return key;
    }

    static void SetValue(const std::u16string& path, LPCWSTR name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = Key(path);
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }

    static void SetText(const std::u16string& path, LPCWSTR name, const std::u16string& text)
    {
        SetValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }

    // A language key named name whose default value is code.
    static void AddLanguage(const std::u16string& name, const std::u16string& code) { SetText(name, nullptr, code); }

    static void SetCurrentLanguage(const std::u16string& name) { SetText(u"", u"CurrentLanguage", name); }

    // String id of this module's table in language.
    static void SetString(const std::u16string& language, UINT id, const std::u16string& text)
    {
        SetText(TablePath(language), ValueName(id).c_str(), text);
    }

    static std::u16string TablePath(const std::u16string& language)
    {
        return language + u"\\" + GetResourceTableName().GetString();
    }

    static std::u16string ValueName(UINT id)
    {
        std::u16string name = u"String#";
        for (char c : std::to_string(id))
            name += static_cast<char16_t>(c);
        return name;
    }

    // Deutsch (de-DE) and English (en-US), each with its own text 101.
    static void AddGermanAndEnglish()
    {
        AddLanguage(u"Deutsch", u"de-DE");
        AddLanguage(u"English", u"en-US");
        SetString(u"Deutsch", 101, u"Abbrechen");
        SetString(u"English", 101, u"Cancel scan");
    }

private:
    static std::optional<std::string> Saved(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }

    static void Restore(const char* name, const std::optional<std::string>& value)
    {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }

    std::string m_folder;
    std::optional<std::string> m_savedRegistryDir;
    std::vector<std::optional<std::string>> m_savedVariables;
};
