// The user's preferred UI languages, read from the locale environment.
#include <gtest/gtest.h>
#include <winbase.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kLocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

// Each test starts with no locale variable set and gets the caller's values back after.
class PreferredLanguages : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kLocaleVariables) {
            const char* value = std::getenv(name);
            m_saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }

    void TearDown() override
    {
        for (size_t i = 0; i < m_saved.size(); ++i) {
            if (m_saved[i])
                setenv(kLocaleVariables[i], m_saved[i]->c_str(), 1);
            else
                unsetenv(kLocaleVariables[i]);
        }
    }

    // The list as one text with '|' for every NUL, e.g. "fr-FR|de-DE||"; "<failed>" on failure.
    static std::u16string List(ULONG* count = nullptr)
    {
        ULONG number = 0xdead;
        ULONG size = 0;
        if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &number, nullptr, &size))
            return u"<size query failed>";
        std::vector<WCHAR> buffer(size + 4, u'#');
        ULONG got = size;
        if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &number, buffer.data(), &got))
            return u"<failed>";
        EXPECT_EQ(size, got);
        EXPECT_EQ(u'#', buffer[size]) << "written past the stated size";
        if (count)
            *count = number;
        std::u16string text(buffer.data(), got);
        for (char16_t& c : text) {
            if (c == 0)
                c = u'|';
        }
        return text;
    }

    std::vector<std::optional<std::string>> m_saved;
};

TEST_F(PreferredLanguages, FirstLocaleVariableThatNamesALanguageInWindowsSpelling)
{
    ULONG count = 7;
    EXPECT_EQ(u"||", List(&count)) << "without a language the list is empty";
    EXPECT_EQ(0u, count);
    // Each row sets one more variable, in the order the rows are given.
    std::string longName = "de";  // valid subtags, but longer than any locale name may be
    for (int i = 0; i < 10; ++i)
        longName += "_abcdefgh";
    const struct {
        const char* name;
        std::string value;
        const char16_t* expected;
    } rows[] = {
        {"LANG", longName, u"||"},
        {"LANG", "pt_BR.UTF-8", u"pt-BR||"},
        {"LC_MESSAGES", "POSIX", u"pt-BR||"},
        {"LC_ALL", "C.UTF-8", u"pt-BR||"},
        {"LC_MESSAGES", "es_ES", u"es-ES||"},
        {"LC_ALL", "nl_BE", u"nl-BE||"},
        // An empty LANGUAGE counts as unset, as does one that names nothing.
        {"LANGUAGE", "", u"nl-BE||"},
        {"LANGUAGE", "C", u"nl-BE||"},
        {"LANGUAGE", std::string(100, 'a'), u"nl-BE||"},
        {"LANGUAGE", "fr_FR.UTF-8:de_DE", u"fr-FR|de-DE||"},
        {"LANGUAGE", "DE_de@euro:sr_RS@latin:en:zh_Hant_tw:pt_BR:pt_BR.ISO-8859-1", u"de-DE|sr-RS|en|zh-Hant-TW|pt-BR||"},
        {"LANGUAGE", "../etc:de DE:_DE:fr__FR:e1_GB:toolonglanguage:POSIX::it_IT", u"it-IT||"},
    };
    for (const auto& row : rows) {
        setenv(row.name, row.value.c_str(), 1);
        EXPECT_EQ(row.expected, List(&count)) << row.name << "=" << row.value;
    }
    EXPECT_EQ(1u, count);
}

TEST_F(PreferredLanguages, BufferSizesFollowWin32)
{
    setenv("LANGUAGE", "fr_FR:de_DE", 1);
    ULONG count = 0;
    ULONG size = 0;
    // A null buffer with size 0 asks for the size, terminators included.
    ASSERT_TRUE(GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size));
    EXPECT_EQ(13u, size);
    EXPECT_EQ(2u, count);

    WCHAR buffer[16];
    size = 12;
    SetLastError(0);
    EXPECT_FALSE(GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, buffer, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(13u, size);

    // The format defaults to names.
    size = 16;
    ASSERT_TRUE(GetUserPreferredUILanguages(0, &count, buffer, &size));
    EXPECT_EQ(13u, size);
    EXPECT_EQ(std::u16string(u"fr-FR\0de-DE\0", 13), std::u16string(buffer, 13));
}

TEST_F(PreferredLanguages, BadArgumentsAreRefused)
{
    ULONG count = 0;
    ULONG size = 0;
    WCHAR buffer[32];
    struct Case {
        DWORD flags;
        PULONG count;
        PZZWSTR buffer;
        ULONG size;
        bool nullSize;
        DWORD error;
    } const cases[] = {
        {MUI_LANGUAGE_ID | MUI_LANGUAGE_NAME, &count, buffer, 32, false, ERROR_INVALID_PARAMETER},
        {0x10 | MUI_LANGUAGE_NAME, &count, buffer, 32, false, ERROR_INVALID_PARAMETER},
        {MUI_LANGUAGE_NAME, nullptr, buffer, 32, false, ERROR_INVALID_PARAMETER},
        {MUI_LANGUAGE_NAME, &count, buffer, 0, true, ERROR_INVALID_PARAMETER},
        {MUI_LANGUAGE_NAME, &count, nullptr, 5, false, ERROR_INVALID_PARAMETER},
        {MUI_LANGUAGE_ID, &count, buffer, 32, false, ERROR_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        size = c.size;
        SetLastError(0);
        EXPECT_FALSE(GetUserPreferredUILanguages(c.flags, c.count, c.buffer, c.nullSize ? nullptr : &size))
            << "flags " << c.flags;
        EXPECT_EQ(c.error, GetLastError()) << "flags " << c.flags;
    }
}

}  // namespace
