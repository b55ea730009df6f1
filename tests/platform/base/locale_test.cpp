// The thread's locale: per thread, the default locales taken as the locales they stand for,
// bad identifiers refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;
constexpr LCID kGerman = 0x0407;

TEST(ThreadLocale, StartsAsTheUsersAndIsKeptPerThread)
{
    std::thread([] {
        EXPECT_EQ(GetUserDefaultLCID(), GetThreadLocale());
        EXPECT_EQ(kEnglishUnitedStates, GetThreadLocale());
        ASSERT_TRUE(SetThreadLocale(kGerman));
        EXPECT_EQ(kGerman, GetThreadLocale());
        std::thread([] { EXPECT_EQ(kEnglishUnitedStates, GetThreadLocale()); }).join();
        EXPECT_EQ(kGerman, GetThreadLocale());
    }).join();
    EXPECT_EQ(kEnglishUnitedStates, GetThreadLocale());
}

TEST(ThreadLocale, DefaultLocalesAreTakenAsTheLocalesTheyStandFor)
{
    std::thread([] {
        ASSERT_TRUE(SetThreadLocale(kGerman));
        ASSERT_TRUE(SetThreadLocale(LOCALE_SYSTEM_DEFAULT));
        EXPECT_EQ(GetSystemDefaultLCID(), GetThreadLocale());
        ASSERT_TRUE(SetThreadLocale(kGerman));
        ASSERT_TRUE(SetThreadLocale(LOCALE_USER_DEFAULT));
        EXPECT_EQ(GetUserDefaultLCID(), GetThreadLocale());
    }).join();
}

TEST(ThreadLocale, BadIdentifiersAreRefusedAndChangeNothing)
{
    std::thread([] {
        ASSERT_TRUE(SetThreadLocale(kGerman));
        for (LCID bad : {LCID{0}, LCID{0x10407}, LCID{0x01000409}}) {
            SetLastError(0);
            EXPECT_FALSE(SetThreadLocale(bad)) << std::hex << bad;
            EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
            EXPECT_EQ(kGerman, GetThreadLocale());
        }
    }).join();
}

}  // namespace
