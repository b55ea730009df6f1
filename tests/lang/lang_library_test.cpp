// The user's languages from the suite's language library, which lies beside this program.
#include "lang_test_support.h"

namespace {

TEST_F(LanguageTest, TheLibrarysListComesBeforeTheEnvironment)
{
    setenv("QOR_TEST_TRMLX_LANGUAGES", "fr-FR:de-DE", 1);
    setenv("LANGUAGE", "en_US", 1);
    AddGermanAndEnglish();
    EXPECT_EQ(u"Abbrechen", Text(101));
}

TEST_F(LanguageTest, AListFillingTheWholeBufferIsRead)
{
    std::string list = "xx:";
    while (list.size() < 2043)
        list += "x:";
    list += "de-DE";
    ASSERT_EQ(2048u, list.size());
    setenv("QOR_TEST_TRMLX_LANGUAGES", list.c_str(), 1);
    AddGermanAndEnglish();
    EXPECT_EQ(u"Abbrechen", Text(101));
}

TEST_F(LanguageTest, AFailedLibraryCallLeavesItToCurrentLanguage)
{
    // The library is there, so the environment is not asked.
    setenv("LANGUAGE", "de_DE", 1);
    AddGermanAndEnglish();
    SetCurrentLanguage(u"English");
    EXPECT_EQ(u"Cancel scan", Text(101));
}

}  // namespace
