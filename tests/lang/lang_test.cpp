// The control's texts: the suite's string store in the registry, the user's language, and
// the module's own string table behind them. No language library lies beside this program,
// so the user's languages come from the locale environment.
#include <thread>

#include "lang_test_support.h"

namespace {

const char16_t kAdfWarning[] = u"Please, check if paper is properly inserted before ADF scan starts";

TEST_F(LanguageTest, TableIsNamedAfterTheModule)
{
    EXPECT_EQ(u"QORRes-test_lang.xml", std::u16string(GetResourceTableName()));
    CString name(u"unchanged");
    ASSERT_TRUE(GetModuleBaseName(nullptr, name));
    EXPECT_EQ(u"test_lang", std::u16string(name));

    name = u"unchanged";
    static int notAModule;
    EXPECT_FALSE(GetModuleBaseName(reinterpret_cast<HMODULE>(&notAModule), name));
    EXPECT_EQ(u"unchanged", std::u16string(name));
}

TEST_F(LanguageTest, WithoutTheStoreTheModulesTextsAreUsed)
{
    EXPECT_EQ(u"Cancel", Text(101));
    EXPECT_EQ(kAdfWarning, Text(104));
    EXPECT_EQ(u"<none>", Text(999));

    // A store without this module's table, or without the text, changes nothing.
    AddLanguage(u"English", u"en-US");
    SetText(u"English\\QORRes-Other.xml", u"String#101", u"Other module");
    SetString(u"English", 102, u"Go back");
    EXPECT_EQ(u"Cancel", Text(101));
    EXPECT_EQ(u"Go back", Text(102));
}

TEST_F(LanguageTest, FirstPreferredLanguageInTheStoreWins)
{
    setenv("LANGUAGE", "fr_FR.UTF-8:de_DE", 1);
    AddGermanAndEnglish();
    SetCurrentLanguage(u"English");
    EXPECT_EQ(u"Abbrechen", Text(101));
    // The language is Deutsch even for a text its table lacks: that one is the module's.
    SetString(u"English", 102, u"Go back");
    EXPECT_EQ(u"Back", Text(102));

    // Codes that match nothing keep English, whatever "CurrentLanguage" names.
    ResetResolvedLanguage();
    setenv("LANGUAGE", "fr_FR:it_IT", 1);
    SetCurrentLanguage(u"Deutsch");
    EXPECT_EQ(u"Cancel scan", Text(101));
}

TEST_F(LanguageTest, FailedResolutionIsRetriedAndSuccessKept)
{
    setenv("LANGUAGE", "fr_FR:de_DE", 1);
    AddLanguage(u"English", u"en-US");
    SetString(u"English", 101, u"Cancel scan");
    EXPECT_EQ(u"Cancel scan", Text(101));

    // No match was made, so the next lookup looks again and finds the new language.
    AddLanguage(u"Francais", u"fr-FR");
    SetString(u"Francais", 101, u"Annuler");
    EXPECT_EQ(u"Annuler", Text(101));

    // Resolved: later changes of the user's languages or of the store are not seen.
    setenv("LANGUAGE", "en_US", 1);
    AddLanguage(u"Francais", u"fr-CA");
    EXPECT_EQ(u"Annuler", Text(101));
}

TEST_F(LanguageTest, WithoutPreferredLanguagesCurrentLanguageDecides)
{
    AddGermanAndEnglish();
    SetCurrentLanguage(u"Deutsch");
    EXPECT_EQ(u"Abbrechen", Text(101));

    ResetResolvedLanguage();
    HKEY resources = Key(u"");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(resources, u"CurrentLanguage"));
    RegCloseKey(resources);
    EXPECT_EQ(u"Cancel scan", Text(101));

    // An empty name names no language.
    ResetResolvedLanguage();
    SetCurrentLanguage(u"");
    EXPECT_EQ(u"Cancel scan", Text(101));
}

TEST_F(LanguageTest, StoreWithoutLanguageCodesLeavesItToCurrentLanguage)
{
    setenv("LANGUAGE", "de_DE", 1);
    // Codes that are no REG_SZ, or empty, do not count.
    const DWORD number = 7;
    SetValue(u"Deutsch", nullptr, REG_DWORD, &number, sizeof number);
    SetValue(u"English", nullptr, REG_SZ, u"", 0);
    Key(u"Francais");
    SetString(u"Deutsch", 101, u"Abbrechen");
    SetString(u"Francais", 101, u"Annuler");
    SetCurrentLanguage(u"Francais");
    EXPECT_EQ(u"Annuler", Text(101));
}

TEST_F(LanguageTest, LocaleVariablesChooseTheLanguage)
{
    AddGermanAndEnglish();
    SetCurrentLanguage(u"English");
    setenv("LC_ALL", "C", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(u"Abbrechen", Text(101));
}

TEST_F(LanguageTest, MultiStringValueBecomesLines)
{
    AddLanguage(u"English", u"en-US");
    const char16_t lines[] = u"a\0b\0";  // the literal adds the list's final NUL
    SetValue(TablePath(u"English"), u"String#104", REG_MULTI_SZ, lines, sizeof lines);
    EXPECT_EQ(u"a\nb\n", Text(104));

    // A REG_SZ keeps what follows its first NUL out of the text.
    SetValue(TablePath(u"English"), u"String#103", REG_SZ, lines, sizeof lines);
    EXPECT_EQ(u"a", Text(103));
}

TEST_F(LanguageTest, EmptyOrOversizedValuesFallBack)
{
    AddLanguage(u"English", u"en-US");
    SetValue(TablePath(u"English"), u"String#101", REG_SZ, u"", 0);
    EXPECT_EQ(u"Cancel", Text(101));

    // 8192 bytes fit, even without a terminator; one character more does not.
    const std::u16string full(4096, u'x');
    SetValue(TablePath(u"English"), u"String#102", REG_SZ, full.data(), 8192);
    EXPECT_EQ(full, Text(102));
    const std::u16string longer(4097, u'y');
    SetValue(TablePath(u"English"), u"String#103", REG_SZ, longer.data(), 8194);
    EXPECT_EQ(u"Upload", Text(103));
}

TEST_F(LanguageTest, LookupsReachTheValueNamedForTheId)
{
    AddLanguage(u"English", u"en-US");
    SetText(TablePath(u"English"), u"Caption", u"Scan");
    SetString(u"English", 4000000000u, u"Large id");
    const CString table = GetResourceTableName();
    CString text(u"unchanged");
    EXPECT_TRUE(QueryResourceValue(table, u"Caption", &text));
    EXPECT_EQ(u"Scan", std::u16string(text));
    EXPECT_TRUE(LookupResourceString(table, 4000000000u, &text));
    EXPECT_EQ(u"Large id", std::u16string(text));

    text = u"unchanged";
    EXPECT_FALSE(LookupResourceString(table, 4, &text));
    EXPECT_FALSE(QueryResourceValue(nullptr, u"Caption", &text));
    EXPECT_EQ(u"unchanged", std::u16string(text));
}

TEST_F(LanguageTest, ConcurrentFirstLookupsAgree)
{
    setenv("LANGUAGE", "de_DE", 1);
    AddGermanAndEnglish();
    std::vector<std::u16string> texts(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < texts.size(); ++i)
        threads.emplace_back([&texts, i] { texts[i] = Text(101); });
    for (std::thread& thread : threads)
        thread.join();
    for (const std::u16string& text : texts)
        EXPECT_EQ(u"Abbrechen", text);
}

}  // namespace
